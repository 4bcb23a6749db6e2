#pragma once

#include <cstdint>

#include "host/RelaxedFloat.h"
#include "plugin/engine/DelayLine.h"
#include "plugin/engine/GateSequencer.h"
#include "plugin/engine/ResonantFilter.h"
#include "plugin/engine/TransportTracker.h"
#include "plugin/engine/TriangleLfo.h"

namespace engine {

// One filter-and-delay unit: a feedback delay line, then the filter, then
// the volume (the pan is applied in the mix).
struct FdUnit {
  DelayLine line;
  ResonantFilter filter;
  float DelaySeconds = 0.0f;
  float FdOut = 0.0f;
};

// The parameter slots as one block reads them. Slots change from other
// threads without a lock, so a change lands between two blocks; reading each
// slot once per block keeps a block's samples consistent and its cost low.
struct BlockSlots {
  struct Unit {
    bool enabled;
    float delay;  // samples, within the ring
    float feedback, mode, resonance, volume;
  };
  bool stepOn[17], tieOn[17];  // indexed by step 1..16
  float shuffle;
  bool bothUnits;  // both units enabled: they run side by side
  bool gateOn;    // "Gate Enable" above 0.5: the mono sum is gated
  bool dryGated;  // "Gate Enable" at least 0.5: the dry path is the gated mono sum
  float gateVolume;
  Unit unit[2];
  // The modulated values as pairs: FD1's and FD2's pan and LFO depth on it,
  // and likewise for the cutoff.
  Pair pan, lfoPan, cutoff, lfoCutoff;
  Pair feedback, resonance, volume;
  Pair highPass;  // all ones for a unit whose mode is at least 0.5
  bool lfoRampsPositive;  // both LFOs have a slope: their values are computed as a pair
  Pair lfoRamps;
};

}  // namespace engine

// The audio engine: tempo and transport tracking, the gate, two
// filter-and-delay units and two LFOs, run sample by sample in a fixed order
// and mixed into a stereo pair. All state lives inline (the delay memory
// too); nothing is allocated while processing.
class AudioEngine {
 public:
  // One block. params is the effect's working set (slots 1..61). accumulate
  // adds the result to the outputs instead of storing it. Inputs and outputs
  // may be the same memory.
  void ProcessBlock(const RelaxedFloat* params, const engine::HostTime& time, float sampleRate, float** inputs,
                    float** outputs, std::int32_t sampleFrames, bool accumulate);

  // The block derivations alone: tempo, lengths, transport, LFO ramps, delay
  // times, and the slots the block's samples read.
  void DeriveBlock(const RelaxedFloat* params, const engine::HostTime& time, float sampleRate,
                   std::int32_t sampleFrames);
  // One sample of the current block: k is its index within the block.
  void ProcessSample(float left, float right, std::int32_t k, float& outLeft, float& outRight);

  // The rate the engine runs at: the effect's, or 44100 while that is no
  // usable rate.
  static double UsableRate(float sampleRate);

  engine::TransportTracker transport;
  engine::GateSequencer gate;
  engine::TriangleLfo lfo[2];
  engine::FdUnit fd[2];

 private:
  template <bool accumulate>
  void Run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::int32_t frames);
  inline void Sample(float left, float right, std::int32_t k, float& outLeft, float& outRight);
  inline float RunUnit(engine::FdUnit& unit, const engine::BlockSlots::Unit& slots, float input, float cutoff);
  inline void RunBothUnits(float input, engine::Pair cutoffs);

  double rate_ = 44100.0;
  engine::BlockSlots slots_{};
};
