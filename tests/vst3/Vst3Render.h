#pragma once

// The VST3 bundle played as a host plays it, through our VST3 host kit, for
// holding it against the VST 2 library's render (tests/support/Vst2Reference).

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Vst2Reference.h"
#include "tools/hostkit/Vst3Host.h"

namespace vst3test {

using reference::Change;
using reference::Difference;
using reference::kProgram;
using reference::RenderVst;
using reference::Segment;
using reference::Song;
using reference::Stereo;
using reference::Values;

// The bundle built with this tree, loaded once for the test program.
hostkit::Vst3Module& Module();
// A new instance of the bundle's effect (check ok() and faults()).
std::unique_ptr<hostkit::Vst3Plugin> NewPlugin();

// How the host plays: block sizes in turn (a block also ends where a
// segment starts: a host says where its transport is only at a block's
// start), and how it sets the program and values before playback: as
// parameter changes at offset 0 of the first block, or on the controller
// before the processor starts.
struct Playing {
  std::vector<std::int32_t> blocks{256};
  enum class SetBy { Changes, Controller } setBy = SetBy::Changes;
  // False: the host has set the instance up already (for the song's rate
  // and blocks of at least the largest size).
  bool setUp = true;
};

// The program-change parameter as the controller describes it.
struct ProgramParameter {
  vst3::ParamID id = 0;
  std::int32_t entries = 0;  // stepCount + 1
  double valueOf(int entry) const { return entries > 1 ? static_cast<double>(entry) / (entries - 1) : 0.0; }
};
ProgramParameter FindProgramParameter(hostkit::Vst3Plugin& plugin);

// The host's transport at a frame of the song as a ProcessContext: the song
// position in quarter notes and in samples (which runs on across a tempo
// change and jumps where the song position jumps), tempo and 4/4.
vst3::ProcessContext ContextAt(const Song& song, std::int64_t at);

// Plays the song through an instance that is made: sets it up at the
// song's rate (unless playing says it is), starts it, plays every block with the transport
// and the song's changes at their offsets, stops it. The program (-1: none)
// and values are set as playing says. Faults go to the instance's list.
Stereo Play(hostkit::Vst3Plugin& plugin, const Song& song, const Playing& playing, const Values& values = {},
            int program = -1);

// A fresh instance, played and closed; faults (with a reference the plug-in
// kept) are written to faults.
Stereo RenderVst3(const Song& song, const Playing& playing, const Values& values, int program,
                  std::string& faults);

}  // namespace vst3test
