#pragma once

#include <cstdint>

#include "plugin/engine/FdUnits.h"
#include "plugin/engine/GateSequencer.h"
#include "plugin/engine/Settings.h"
#include "plugin/engine/TimeRecord.h"
#include "plugin/engine/TransportTracker.h"
#include "plugin/engine/TriangleLfo.h"

namespace engine {

// The parameter slots as one block reads them. Slots change from other
// threads without a lock, so a change lands between two blocks; reading each
// slot once per block keeps a block's samples consistent and its cost low.
struct BlockSlots {
  bool StepOn[17], TieOn[17];  // indexed by step 1..16
  float Shuffle;
  bool GateOn;    // "Gate Enable" above 0.5: the mono sum is gated
  bool DryGated;  // "Gate Enable" at least 0.5: the dry path is the gated mono sum
  double GateVolume;
  // The modulated values as pairs: FD1's and FD2's pan and LFO depth on it,
  // and likewise for the cutoff.
  Pair Pan, LfoPan, Cutoff, LfoCutoff;
};

// The audio engine: tempo and transport tracking, the gate, two
// filter-and-delay units and two LFOs, run sample by sample in a fixed order
// and mixed into a stereo pair. All state lives inline (the delay memory
// too); nothing is allocated while processing.
class AudioEngine {
 public:
  // One block with the given parameter values and time information.
  // accumulate adds the result to the outputs instead of storing it. Inputs
  // and outputs may be the same memory.
  void ProcessBlock(const Settings& settings, const TimeRecord& time, float sampleRate, float** inputs,
                    float** outputs, std::int32_t sampleFrames, bool accumulate);

  // The block derivations alone: tempo, lengths, transport, LFO ramps, delay
  // times, and the slots the block's samples read.
  void DeriveBlock(const Settings& settings, const TimeRecord& time, float sampleRate,
                   std::int32_t sampleFrames);

  // The rate the engine runs at: the effect's, or 44100 while that is no
  // usable rate.
  static double UsableRate(float sampleRate);

  TransportTracker Transport;
  GateSequencer Gate;
  TriangleLfo Lfo;
  FdUnits Fd;

 private:
  // The block's samples from..to-1, within one span of planned delay reads;
  // kAll: both units on.
  template <bool kAccumulate, bool kAll>
  void Run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::int32_t from,
           std::int32_t to);
  template <bool kAll>
  inline void Sample(float left, float right, std::int32_t k, float& outLeft, float& outRight);

  double rate_ = 44100.0;
  BlockSlots slots_{};
};

}  // namespace engine
