#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tools/hostkit/PluginHost.h"

// A test that drives one instance of the built plug-in library through its
// entry, as a host does.
class PluginFixture : public ::testing::Test {
 protected:
  static hostkit::PluginLibrary& library() {
    static hostkit::PluginLibrary lib(hostkit::defaultPluginPath());
    return lib;
  }

  void SetUp() override {
    ASSERT_TRUE(library().ok()) << library().error();
    host = std::make_unique<hostkit::PluginHost>();
    effect = host->create(library().entry());
    ASSERT_NE(effect, nullptr);
  }

  void TearDown() override { host.reset(); }

  std::unique_ptr<hostkit::PluginHost> host;
  AEffect* effect = nullptr;
};
