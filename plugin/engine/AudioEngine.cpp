#include "plugin/engine/AudioEngine.h"

#include <cmath>

#include "plugin/Parameters.h"

using namespace parameters;

namespace {

using engine::Pair;

// Pans and cutoffs move by LFO value x depth x 0.5 and stay within 0..1
// (first at most 1, then at least 0). halfLfo x depth is exact in double:
// the same as LFO value x depth x 0.5.
inline Pair Modulated(Pair halfLfo, Pair depth, Pair base) {
  return engine::AtLeast(engine::AtMost(engine::RoundToFloat(halfLfo * depth + base), 1.0), 0.0);
}

// A sample the host hands over that is not a number (or is infinite) is
// taken as silence: it must not reach the delay lines, filters or outputs.
inline float Finite(float sample) { return std::fabs(sample) <= 3.402823466e38f ? sample : 0.0f; }

// The two units' slots are laid out alike from their "Enable" slot.
constexpr int kEnable = 0, kCutoff = 1, kReso = 2, kFilterType = 3, kDelayTime = 4, kFeedback = 5, kPan = 6,
              kLfoCutoff = 8, kLfoPan = 9;
static_assert(kFd1Enable + kLfoPan == kFd1LfoPan && kFd2Enable + kLfoPan == kFd2LfoPan);
static_assert(kFd2Enable + kFeedback == kFd2Feedback && kFd1Enable + kPan == kFd1Pan);

}  // namespace

double AudioEngine::UsableRate(float sampleRate) {
  return std::isfinite(sampleRate) && sampleRate > 0.0f ? sampleRate : 44100.0;
}

void AudioEngine::DeriveBlock(const RelaxedFloat* params, const engine::HostTime& time, float sampleRate,
                              std::int32_t sampleFrames) {
  rate_ = UsableRate(sampleRate);
  transport.DeriveLengths(time, rate_);
  gate.DeriveLengths(transport.StepSamples, params[kGateAttack].load(), params[kGateDecay].load());
  transport.DeriveTransport(time.flags, sampleFrames);
  lfo[0].DeriveRamp(transport.BarSamples, params[kLfo1Period].load());
  lfo[1].DeriveRamp(transport.BarSamples, params[kLfo2Period].load());

  engine::BlockSlots& s = slots_;
  for (int n = 1; n <= 16; ++n) {
    s.stepOn[n] = params[kStep1 + n - 1].load() > 0.5f;
    s.tieOn[n] = params[kTie1 + n - 1].load() > 0.5f;
  }
  s.shuffle = params[kGateShuffle].load();
  const float gateEnable = params[kGateEnable].load();
  s.gateOn = gateEnable > 0.5f;
  s.dryGated = gateEnable >= 0.5f;
  s.gateVolume = params[kGateVolume].load();
  const int firstSlot[2] = {kFd1Enable, kFd2Enable};
  const float volume[2] = {params[kFd1Volume].load(), params[kFd2Volume].load()};
  for (int u = 0; u < 2; ++u) {
    const RelaxedFloat* p = params + firstSlot[u];
    engine::BlockSlots::Unit& unit = s.unit[u];
    unit.enabled = p[kEnable].load() > 0.5f;
    // "Delay Time" 0 divides by zero on purpose: the reciprocal of the
    // infinity is a delay of 0.
    fd[u].DelaySeconds = static_cast<float>(1.0 / ((transport.Tempo / 60.0) / p[kDelayTime].load()));
    unit.delay = engine::DelayLine::Limit(static_cast<float>(static_cast<double>(fd[u].DelaySeconds) * rate_));
    unit.feedback = p[kFeedback].load();
    unit.mode = static_cast<float>(1.0 - p[kFilterType].load());
    unit.resonance = p[kReso].load();
    unit.volume = volume[u];
  }
  s.bothUnits = s.unit[0].enabled && s.unit[1].enabled;
  auto pair = [&](int offset) {
    return engine::MakePair(params[kFd1Enable + offset].load(), params[kFd2Enable + offset].load());
  };
  s.pan = pair(kPan);
  s.lfoPan = pair(kLfoPan);
  s.cutoff = pair(kCutoff);
  s.lfoCutoff = pair(kLfoCutoff);
}

inline float AudioEngine::RunUnit(engine::FdUnit& unit, const engine::BlockSlots::Unit& slots, float input,
                                  float cutoff) {
  if (!slots.enabled) return 0.0f;
  const float d = unit.line.Tick(input, slots.feedback, slots.delay);
  const float f = unit.filter.FilterTick(slots.mode, slots.resonance, cutoff, d);
  return static_cast<float>(static_cast<double>(f) * slots.volume);
}

// Both units at once: the same steps as RunUnit for each, with the
// arithmetic of the two side by side.
inline void AudioEngine::RunBothUnits(float input, Pair cutoffs) {
  using engine::DelayLine;
  const engine::BlockSlots::Unit& u0 = slots_.unit[0];
  const engine::BlockSlots::Unit& u1 = slots_.unit[1];
  const DelayLine::Taps a = fd[0].line.Read(u0.delay), b = fd[1].line.Read(u1.delay);
  const Pair d = DelayLine::Interpolate<Pair>(engine::MakePair(a.y0, b.y0), engine::MakePair(a.y1, b.y1),
                                              engine::MakePair(a.y2, b.y2), engine::MakePair(a.y3, b.y3),
                                              engine::MakePair(a.t, b.t));
  const Pair in = engine::MakePair(input, input);
  const Pair written = DelayLine::Recirculated<Pair>(d, engine::MakePair(u0.feedback, u1.feedback), in);
  fd[0].line.Write(static_cast<float>(written[0]));
  fd[1].line.Write(static_cast<float>(written[1]));

  Pair stage1 = engine::MakePair(fd[0].filter.FilterStage1, fd[1].filter.FilterStage1);
  Pair stage2 = engine::MakePair(fd[0].filter.FilterStage2, fd[1].filter.FilterStage2);
  engine::ResonantFilter::Integrate<Pair>(cutoffs, engine::MakePair(u0.resonance, u1.resonance), d, stage1, stage2);
  const float f0 = fd[0].filter.Output(u0.mode, static_cast<float>(d[0]), static_cast<float>(stage1[0]),
                                       static_cast<float>(stage2[0]));
  const float f1 = fd[1].filter.Output(u1.mode, static_cast<float>(d[1]), static_cast<float>(stage1[1]),
                                       static_cast<float>(stage2[1]));
  const Pair out = engine::RoundToFloat(engine::MakePair(f0, f1) * engine::MakePair(u0.volume, u1.volume));
  fd[0].FdOut = static_cast<float>(out[0]);
  fd[1].FdOut = static_cast<float>(out[1]);
}

__attribute__((always_inline)) inline void AudioEngine::Sample(float left, float right, std::int32_t k,
                                                               float& outLeft, float& outRight) {
  const engine::BlockSlots& s = slots_;
  left = Finite(left);
  right = Finite(right);

  transport.PositionTick(k, s.shuffle);
  if (transport.CurrentStep != transport.PreviousStep) {
    const int n = transport.CurrentStep;
    gate.StepChange(s.stepOn[n], s.tieOn[n]);
  }
  transport.PreviousStep = transport.CurrentStep;
  gate.LevelTick();

  const float m = left + right;  // one rounding: as in double, then rounded
  const float g = s.gateOn ? m * gate.GateLevel : m;

  lfo[0].Tick();
  lfo[1].Tick();
  const double half1 = static_cast<double>(lfo[0].LfoValue) * 0.5, half2 = static_cast<double>(lfo[1].LfoValue) * 0.5;

  // FD1's pan and both cutoffs follow LFO1; FD2's pan follows LFO2.
  const Pair pans = Modulated(engine::MakePair(half1, half2), s.lfoPan, s.pan);
  const Pair cutoffs = Modulated(engine::MakePair(half1, half1), s.lfoCutoff, s.cutoff);

  if (s.bothUnits) {
    RunBothUnits(g, cutoffs);
  } else {
    fd[0].FdOut = RunUnit(fd[0], s.unit[0], g, static_cast<float>(cutoffs[0]));
    fd[1].FdOut = RunUnit(fd[1], s.unit[1], g, static_cast<float>(cutoffs[1]));
  }

  const double pan1 = pans[0], pan2 = pans[1];
  const double dryLeft = s.dryGated ? g : left, dryRight = s.dryGated ? g : right;
  const double volume = s.gateVolume;
  const double out1 = fd[0].FdOut, out2 = fd[1].FdOut;
  outLeft = static_cast<float>(dryLeft * volume + out1 * pan1 + out2 * pan2);
  outRight = static_cast<float>(dryRight * volume + out1 * (1.0 - pan1) + out2 * (1.0 - pan2));

  gate.Countdown();
  if (transport.CurrentStep > 16) transport.CurrentStep = 1;
}

void AudioEngine::ProcessSample(float left, float right, std::int32_t k, float& outLeft, float& outRight) {
  Sample(left, right, k, outLeft, outRight);
}

template <bool accumulate>
void AudioEngine::Run(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                      std::int32_t frames) {
  for (std::int32_t k = 0; k < frames; ++k) {
    // Both inputs are read before either output is written: the buffers may
    // be the same memory.
    const float left = inLeft[k], right = inRight[k];
    float l, r;
    Sample(left, right, k, l, r);
    if (accumulate) {
      outLeft[k] += l;
      outRight[k] += r;
    } else {
      outLeft[k] = l;
      outRight[k] = r;
    }
  }
}

void AudioEngine::ProcessBlock(const RelaxedFloat* params, const engine::HostTime& time, float sampleRate,
                               float** inputs, float** outputs, std::int32_t sampleFrames, bool accumulate) {
  const bool buffers = inputs != nullptr && outputs != nullptr && inputs[0] != nullptr && inputs[1] != nullptr &&
                       outputs[0] != nullptr && outputs[1] != nullptr;
  const std::int32_t frames = buffers && sampleFrames > 0 ? sampleFrames : 0;
  DeriveBlock(params, time, sampleRate, frames);
  if (frames < 1) return;
  if (accumulate)
    Run<true>(inputs[0], inputs[1], outputs[0], outputs[1], frames);
  else
    Run<false>(inputs[0], inputs[1], outputs[0], outputs[1], frames);
}
