#pragma once

// Plays a song through the built library as a host does: one instance, a
// time record updated for every block, blocks of a chosen size.

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "plugin/Parameters.h"
#include "tests/plugin/engine/EngineFixture.h"
#include "tools/hostkit/PluginHost.h"

namespace enginetest {

constexpr std::int32_t kPlayingFlags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;

inline hostkit::PluginLibrary& Library() {
  static hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  return library;
}

struct HostRun {
  double rate = 44100.0;
  double tempo = 120.0;
  double startBeat = 0.0;
  // The time record of each block, made from the exact position; a test may
  // change it (a host's rounding, missing bits).
  std::function<void(VstTimeInfo&, long long firstSample, int blockIndex)> shape;
  std::unique_ptr<hostkit::PluginHost> host = std::make_unique<hostkit::PluginHost>();
  VstTimeInfo time{};
  long long played = 0;
  int blocks = 0;

  HostRun() {
    host->timeInfo = &time;
    host->create(Library().entry());
  }
  AEffect* effect() const { return host->effect(); }
  bool ok() const { return Library().ok() && host->effect() != nullptr; }
  void set(int index, float value) { host->setParameter(index, value); }

  // Plays the input in blocks of the given size; returns the output.
  Stereo play(const Stereo& in, int blockSize, bool replacing = true, bool playing = true) {
    Stereo out(in.size());
    for (std::size_t at = 0; at < in.size(); at += static_cast<std::size_t>(blockSize)) {
      const int frames = static_cast<int>(std::min<std::size_t>(blockSize, in.size() - at));
      time = VstTimeInfo{};
      time.samplePos = static_cast<double>(played);
      time.sampleRate = rate;
      time.ppqPos = startBeat + static_cast<double>(played) * tempo / 60.0 / rate;
      time.tempo = tempo;
      time.flags = (playing ? kVstTransportPlaying : 0) | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
      if (blocks == 0 && playing) time.flags |= kVstTransportChanged;
      if (shape) shape(time, played, blocks);
      float* ins[2] = {const_cast<float*>(in.left.data() + at), const_cast<float*>(in.right.data() + at)};
      float* outs[2] = {out.left.data() + at, out.right.data() + at};
      if (replacing)
        host->processReplacing(ins, outs, frames);
      else
        host->process(ins, outs, frames);
      played += frames;
      ++blocks;
    }
    return out;
  }
};

}  // namespace enginetest
