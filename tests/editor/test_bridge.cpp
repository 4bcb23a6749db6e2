// The editor object's open count, rectangle and mirror of the parameters.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "editor/APluginEditor.h"
#include "editor/StoredForm.h"
#include "framework/core/FormStream.h"
#include "framework/window/Backend.h"
#include "framework/window/Headless.h"
#include "image/DIBDataStream.h"
#include "plugin/APlugin.h"

namespace {

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override {
    // Windows in memory: the test's parent handle stands for a host window.
    backend = std::make_shared<framework::THeadlessBackend>();
    plugin = std::make_unique<APlugin>(nullptr);
    editor = static_cast<APluginEditor*>(plugin->getEditor());
    editor->setWindowSystem(backend);
  }
  void TearDown() override { plugin.reset(); }
  std::shared_ptr<framework::THeadlessBackend> backend;
  std::unique_ptr<APlugin> plugin;
  APluginEditor* editor = nullptr;
  int parent = 0;  // stands for the host's window
};

TEST_F(Bridge, OpensAreCountedAndTheLastCloseTakesTheWindowOutOfTheHosts) {
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f), 1);
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f), 1);
  TPluginEditorWindow* window = editor->getWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->Visible());
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  ASSERT_EQ(editor->getWindow(), window) << "still open once: the window stays";
  EXPECT_FALSE(window->Visible());
  EXPECT_FALSE(plugin->isEditorClosed());
  plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f);
  EXPECT_EQ(editor->getWindow(), window) << "reopening shows the same window";
  EXPECT_TRUE(window->Visible());
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  EXPECT_TRUE(plugin->isEditorClosed());
  EXPECT_EQ(editor->openCount(), 0);
  // The host's window may go now: ours has left it, hidden, and is kept
  // with its controls.
  ASSERT_EQ(backend->Windows().size(), 1u);
  EXPECT_EQ(backend->Windows()[0]->ParentHandle(), 0u);
  EXPECT_FALSE(backend->Windows()[0]->Visible());
  ASSERT_EQ(editor->getWindow(), window);
  EXPECT_FALSE(window->Visible());
  int another = 0;
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, &another, 0.0f), 1);
  EXPECT_EQ(editor->getWindow(), window);
  EXPECT_TRUE(window->Visible());
  ASSERT_EQ(backend->Windows().size(), 1u);
  EXPECT_EQ(backend->Windows()[0]->ParentHandle(), reinterpret_cast<framework::TWindowHandle>(&another));
}

TEST_F(Bridge, CloseWithoutOpenOnlyMarksTheEditorClosed) {
  EXPECT_FALSE(plugin->isEditorClosed());
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(editor->openCount(), 0);
  EXPECT_TRUE(plugin->isEditorClosed());
  plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
}

TEST_F(Bridge, OpenWithoutParentIsRefused) {
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, nullptr, 0.0f), 0);
  // Without a window system given, a handle that is no window of the
  // desktop is refused too.
  editor->setWindowSystem(nullptr);
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f), 0);
  EXPECT_EQ(editor->openCount(), 0);
  EXPECT_EQ(editor->getWindow(), nullptr);
}

TEST_F(Bridge, MirrorFollowsParametersOnlyWhileOpen) {
  plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f);
  EXPECT_EQ(editor->mirrorValue(41), 0.1f);
  plugin->setParameter(41, 0.8f);
  EXPECT_EQ(editor->mirrorValue(41), 0.8f);
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  plugin->setParameter(41, 0.2f);
  plugin->dispatcher(effSetProgram, 0, 3, nullptr, 0.0f);
  EXPECT_EQ(editor->mirrorValue(41), 0.8f) << "a closed editor's copy is left alone";
  plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f);
  EXPECT_EQ(editor->mirrorValue(41), 0.1f) << "opening copies the current program's values";
}

TEST_F(Bridge, RectangleIsTheWindowsSizeAlways) {
  ERect* rect = nullptr;
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(plugin->dispatcher(effEditGetRect, 0, 0, &rect, 0.0f), 1);
    EXPECT_EQ(rect->right - rect->left, 719);
    EXPECT_EQ(rect->bottom - rect->top, 512);
    plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f);
  }
}

TEST_F(Bridge, DestroyingTheEffectWithTheEditorOpenTakesItsWindowAway) {
  plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f);
  ASSERT_EQ(backend->Windows().size(), 1u);
  plugin.reset();  // the leak checker and ASan watch this too
  EXPECT_TRUE(backend->Windows().empty());
}

// An effect has the editor's pictures decoded for the process before any
// editor opens, so that the first one finds them ready.
TEST_F(Bridge, PicturesAreDecodedBeforeTheFirstOpen) {
  std::vector<std::span<const std::uint8_t>> pictures;
  framework::ForEachBinaryValue(StoredEditorForm(),
                                [&](std::string_view path, std::span<const std::uint8_t> value) {
                                  if (path == "DIB.Data") pictures.push_back(value);
                                });
  ASSERT_EQ(pictures.size(), 15u);
  const auto ready = [&] {
    return std::all_of(pictures.begin(), pictures.end(), [](auto v) { return image::SharedPictureReady(v); });
  };
  if (ready()) GTEST_SKIP() << "decoded already by an earlier test of this process";
  // (The effect of SetUp started it; no editor of it ever opens here.)
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!ready() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(ready());
  EXPECT_EQ(editor->openCount(), 0);
}

}  // namespace
