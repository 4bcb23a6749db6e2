#pragma once

// The same song through both plug-in formats: the VST 2 library through
// hostkit (as plonkrift-render plays it, tests/support/Vst2Reference) and the
// LV2 bundle through our lilv host, with the built-in demo as input.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/lv2/Lv2Host.h"
#include "tests/support/Vst2Reference.h"

namespace lv2test {

using reference::Difference;
using reference::RenderVst;
using reference::Segment;
using reference::Song;
using reference::Stereo;
using reference::Values;

// How the LV2 host plays: block sizes in turn, and whether it sends a
// time:Position every block (with time:beat) or only where a segment starts
// (with bar and barBeat, as Ardour does).
struct Lv2Playing {
  std::vector<std::uint32_t> blocks{256};
  bool positionEveryBlock = false;
};

Stereo RenderLv2(const Song& song, const Lv2Playing& playing, const Values& values,
                 const std::string& preset = "");

}  // namespace lv2test
