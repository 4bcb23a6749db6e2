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
  // DelaySeconds is a function of the tempo and the "Delay Time" slot only;
  // it is recomputed when either changes.
  double delayTempo = -1.0;
  float delayTime = -1.0f;
};

}  // namespace engine

// The audio engine: tempo and transport tracking, the gate, two
// filter-and-delay units and two LFOs, run sample by sample in a fixed order
// and mixed into a stereo pair. All state lives inline (the delay memory
// too); nothing is allocated while processing.
class AudioEngine {
 public:
  // One block. params is the effect's working set (slots 1..61); the engine
  // reads each slot as one relaxed load when it needs it. accumulate adds the
  // result to the outputs instead of storing it. Inputs and outputs may be
  // the same memory.
  void ProcessBlock(const RelaxedFloat* params, const engine::HostTime& time, float sampleRate, float** inputs,
                    float** outputs, std::int32_t sampleFrames, bool accumulate);

  // The block derivations alone (tempo, lengths, transport, LFO ramps).
  void DeriveBlock(const RelaxedFloat* params, const engine::HostTime& time, float sampleRate,
                   std::int32_t sampleFrames);
  // One sample: k is its index within the block.
  void ProcessSample(const RelaxedFloat* params, float left, float right, std::int32_t k, float& outLeft,
                     float& outRight);

  // The rate the engine runs at: the effect's, or 44100 while that is no
  // usable rate.
  static double UsableRate(float sampleRate);

  engine::TransportTracker transport;
  engine::GateSequencer gate;
  engine::TriangleLfo lfo[2];
  engine::FdUnit fd[2];

 private:
  float DelaySamples(engine::FdUnit& unit, float delayTime);
  float RunUnit(engine::FdUnit& unit, const RelaxedFloat* params, int firstSlot, float input, float cutoff);

  double rate_ = 44100.0;
};
