#pragma once

#include <cstddef>

#include "host/RelaxedFloat.h"
#include "plugin/Parameters.h"

// A named set of values for parameter slots 1 to 61.
class APluginProgram {
 public:
  static constexpr std::size_t kNameCapacity = 52;  // 51 characters and the terminator

  APluginProgram();
  virtual ~APluginProgram() = default;
  APluginProgram(const APluginProgram&) = delete;
  APluginProgram& operator=(const APluginProgram&) = delete;

  // Stores at most 51 characters of a host's text.
  void setName(const char* text);

  RelaxedFloat values[parameters::kLast + 1];  // indexed 1..61
  char name[kNameCapacity];
};
