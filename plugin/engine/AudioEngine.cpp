#include "plugin/engine/AudioEngine.h"

#include <cmath>
#include <limits>

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
  transport.DeriveTransport(time.flags, sampleFrames, params[kGateShuffle].load());
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
  s.lfoRampsPositive = lfo[0].LfoRamp > 0.0 && lfo[1].LfoRamp > 0.0;
  s.lfoRamps = engine::MakePair(lfo[0].LfoRamp, lfo[1].LfoRamp);
  auto pair = [&](int offset) {
    return engine::MakePair(params[kFd1Enable + offset].load(), params[kFd2Enable + offset].load());
  };
  s.pan = pair(kPan);
  s.lfoPan = pair(kLfoPan);
  s.cutoff = pair(kCutoff);
  s.lfoCutoff = pair(kLfoCutoff);
  s.feedback = engine::MakePair(s.unit[0].feedback, s.unit[1].feedback);
  s.resonance = engine::MakePair(s.unit[0].resonance, s.unit[1].resonance);
  s.volume = engine::MakePair(s.unit[0].volume, s.unit[1].volume);
  s.highPass = engine::Mask(s.unit[0].mode >= 0.5f, s.unit[1].mode >= 0.5f);
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
  using engine::MakePair;
  const engine::BlockSlots& s = slots_;
  engine::FdUnit &one = fd[0], &two = fd[1];
  const DelayLine::Taps a = one.line.Read(s.unit[0].delay), b = two.line.Read(s.unit[1].delay);
  const Pair d = DelayLine::Interpolate<Pair>(MakePair(a.y0, b.y0), MakePair(a.y1, b.y1), MakePair(a.y2, b.y2),
                                              MakePair(a.y3, b.y3), MakePair(a.t, b.t));
  Pair written = DelayLine::Recirculated<Pair>(d, s.feedback, engine::Both(input));
  // A sample too large for a float (rounded to infinity) never enters a ring.
  written = engine::Select(engine::Below(written, std::numeric_limits<double>::infinity()), written);
  one.line.WriteFinite(static_cast<float>(written[0]));
  two.line.WriteFinite(static_cast<float>(written[1]));

  Pair stage1 = MakePair(one.filter.FilterStage1, two.filter.FilterStage1);
  Pair stage2 = MakePair(one.filter.FilterStage2, two.filter.FilterStage2);
  engine::ResonantFilter::Integrate<Pair>(cutoffs, s.resonance, d, stage1, stage2);
  // A runaway stage (or NaN) restarts its filter from rest.
  const Pair sane = engine::Below(stage2, engine::ResonantFilter::kRunawayLimit);
  stage1 = engine::Select(sane, stage1);
  stage2 = engine::Select(sane, stage2);
  one.filter.FilterStage1 = static_cast<float>(stage1[0]);
  two.filter.FilterStage1 = static_cast<float>(stage1[1]);
  one.filter.FilterStage2 = static_cast<float>(stage2[0]);
  two.filter.FilterStage2 = static_cast<float>(stage2[1]);
  const Pair filtered = engine::Choose(s.highPass, engine::RoundToFloat(d - stage2), stage2);
  const Pair out = engine::RoundToFloat(filtered * s.volume);
  one.FdOut = static_cast<float>(out[0]);
  two.FdOut = static_cast<float>(out[1]);
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

  lfo[0].Count();
  lfo[1].Count();
  Pair values;
  if (s.lfoRampsPositive) {
    values = engine::TriangleLfo::Value(engine::MakePair(lfo[0].LfoCount, lfo[1].LfoCount), s.lfoRamps);
    lfo[0].LfoValue = static_cast<float>(values[0]);
    lfo[1].LfoValue = static_cast<float>(values[1]);
  } else {
    for (engine::TriangleLfo& l : lfo)
      if (l.LfoRamp > 0.0) l.LfoValue = static_cast<float>(engine::TriangleLfo::Value(double(l.LfoCount), l.LfoRamp));
    values = engine::MakePair(lfo[0].LfoValue, lfo[1].LfoValue);
  }
  const Pair halves = values * 0.5;
  const double half1 = halves[0];

  // FD1's pan and both cutoffs follow LFO1; FD2's pan follows LFO2.
  const Pair pans = Modulated(halves, s.lfoPan, s.pan);
  const Pair cutoffs = Modulated(engine::MakePair(half1, half1), s.lfoCutoff, s.cutoff);

  if (s.bothUnits) {
    RunBothUnits(g, cutoffs);
  } else {
    fd[0].FdOut = RunUnit(fd[0], s.unit[0], g, static_cast<float>(cutoffs[0]));
    fd[1].FdOut = RunUnit(fd[1], s.unit[1], g, static_cast<float>(cutoffs[1]));
  }

  // Left and right side by side: dry x volume + FD1 x pan1 + FD2 x pan2,
  // with 1 - pan on the right (a pan of 1 is fully left).
  const Pair dry = s.dryGated ? engine::MakePair(g, g) : engine::MakePair(left, right);
  const Pair side1 = engine::MakePair(pans[0], 1.0 - pans[0]), side2 = engine::MakePair(pans[1], 1.0 - pans[1]);
  const Pair out = engine::RoundToFloat(dry * static_cast<double>(s.gateVolume) + fd[0].FdOut * side1 +
                                        fd[1].FdOut * side2);
  outLeft = static_cast<float>(out[0]);
  outRight = static_cast<float>(out[1]);

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
