#pragma once

#include <span>
#include <string_view>

#include "plugin/Parameters.h"

// The presets shipped in presets/*.preset, compiled in by the build
// (plonkrift-preset-table) through the parameter table's text conversions,
// so every format offers the same values under the same names.
struct FactoryPreset {
  std::string_view id;                  // the file's name without its extension: "dub-echo"
  std::string_view label;               // the first comment's words before its colon: "Dub echo"
  std::string_view comment;             // the rest of that first paragraph of comments
  float values[parameters::kLast + 1];  // slots 1..61: the file's values over the defaults
};

// In the order of their file names.
std::span<const FactoryPreset> FactoryPresets();
