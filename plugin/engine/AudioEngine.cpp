#include "plugin/engine/AudioEngine.h"

#include <cmath>
#include <limits>

#include "plugin/engine/FloatModeGuard.h"

namespace engine {

namespace {

// Pans and cutoffs move by LFO value x depth x 0.5 and stay within 0..1
// (first at most 1, then at least 0). halfLfo x depth is exact in double:
// the same as LFO value x depth x 0.5.
inline Pair Modulated(Pair halfLfo, Pair depth, Pair base) {
  return AtLeast(AtMost(RoundToFloat(halfLfo * depth + base), 1.0), 0.0);
}

// A sample the host hands over that is not a number (or is infinite) is
// taken as silence: it must not reach the delay lines, filters or outputs.
inline float Finite(float sample) {
  return std::fabs(sample) <= 3.402823466e38f ? sample : 0.0f;
}

}  // namespace

double AudioEngine::UsableRate(float sampleRate) {
  return std::isfinite(sampleRate) && sampleRate > 0.0f ? sampleRate : 44100.0;
}

void AudioEngine::DeriveBlock(const Settings& settings, const TimeRecord& time, float sampleRate,
                              std::int32_t sampleFrames) {
  rate_ = UsableRate(sampleRate);
  Transport.DeriveLengths(time, rate_);
  Gate.DeriveLengths(Transport.StepSamples, settings.GateAttack, settings.GateDecay);
  Transport.DeriveTransport(time, sampleFrames, settings.GateShuffle);
  Lfo.DeriveRamps(Transport.BarSamples, settings.LfoPeriod[0], settings.LfoPeriod[1]);

  BlockSlots& s = slots_;
  for (int n = 1; n <= 16; ++n) {
    s.StepOn[n] = settings.Step[n - 1] > 0.5f;
    s.TieOn[n] = settings.Tie[n - 1] > 0.5f;
  }
  s.Shuffle = settings.GateShuffle;
  s.GateOn = settings.GateEnable > 0.5f;
  s.DryGated = settings.GateEnable >= 0.5f;
  s.GateVolume = settings.GateVolume;

  FdUnits::Settings units;
  float feedback[2], resonance[2];
  bool highPass[2];
  for (int u = 0; u < 2; ++u) {
    const Settings::Unit& p = settings.Fd[u];
    units.Enabled[u] = p.Enable > 0.5f;
    // "Delay Time" 0 divides by zero on purpose: the reciprocal of the
    // infinity is a delay of 0.
    Fd.DelaySeconds[u] = static_cast<float>(1.0 / ((Transport.Tempo / 60.0) / p.DelayTime));
    units.Delay[u] = DelayLine::Limit(static_cast<float>(static_cast<double>(Fd.DelaySeconds[u]) * rate_));
    feedback[u] = p.Feedback;
    resonance[u] = p.Reso;
    // The mode is 1 - "Filter Type"; at least 0.5 is the high-pass.
    highPass[u] = static_cast<float>(1.0 - p.FilterType) >= 0.5f;
  }
  units.Feedback = MakePair(feedback[0], feedback[1]);
  units.Resonance = MakePair(resonance[0], resonance[1]);
  units.Volume = MakePair(settings.Fd[0].Volume, settings.Fd[1].Volume);
  units.HighPass = Mask(highPass[0], highPass[1]);
  Fd.DeriveBlock(units);

  const Settings::Unit &one = settings.Fd[0], &two = settings.Fd[1];
  s.Pan = MakePair(one.Pan, two.Pan);
  s.LfoPan = MakePair(one.LfoPan, two.LfoPan);
  s.Cutoff = MakePair(one.Cutoff, two.Cutoff);
  s.LfoCutoff = MakePair(one.LfoCutoff, two.LfoCutoff);
}

template <bool kAll>
__attribute__((always_inline)) inline void AudioEngine::Sample(float left, float right, std::int32_t k,
                                                               float& outLeft, float& outRight) {
  const BlockSlots& s = slots_;
  left = Finite(left);
  right = Finite(right);

  Transport.PositionTick(k, s.Shuffle);
  if (Transport.CurrentStep != Transport.PreviousStep) {
    const int n = Transport.CurrentStep;
    Gate.StepChange(s.StepOn[n], s.TieOn[n]);
  }
  Transport.PreviousStep = Transport.CurrentStep;
  Gate.LevelTick();

  const float m = left + right;  // one rounding: as in double, then rounded
  const float g = s.GateOn ? m * Gate.GateLevel : m;

  const Pair halves = Lfo.Tick() * 0.5;
  const double half1 = halves[0];

  // FD1's pan and both cutoffs follow LFO1; FD2's pan follows LFO2.
  const Pair pans = Modulated(halves, s.LfoPan, s.Pan);
  const Pair cutoffs = Modulated(MakePair(half1, half1), s.LfoCutoff, s.Cutoff);
  const Pair fdOut = Fd.Tick<kAll>(g, cutoffs);

  // Left and right side by side: dry x volume + FD1 x pan1 + FD2 x pan2,
  // with 1 - pan on the right (a pan of 1 is fully left).
  const Pair dry = s.DryGated ? Both(g) : MakePair(left, right);
  const Pair rights = 1.0 - pans;
  const Pair side1 = Lows(pans, rights), side2 = Highs(pans, rights);
  const Pair out =
      RoundToFloat(dry * s.GateVolume + Lows(fdOut, fdOut) * side1 + Highs(fdOut, fdOut) * side2);
  outLeft = static_cast<float>(out[0]);
  outRight = static_cast<float>(out[1]);

  // The step is always 1..16 (the tracker reads it modulo 16), so it never
  // needs folding back after the sample.
  Gate.Countdown();
}

template <bool kAccumulate, bool kAll>
void AudioEngine::Run(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                      std::int32_t from, std::int32_t to) {
  for (std::int32_t k = from; k < to; ++k) {
    // Both inputs are read before either output is written: the buffers may
    // be the same memory.
    const float left = inLeft[k], right = inRight[k];
    float l, r;
    Sample<kAll>(left, right, k, l, r);
    if (kAccumulate) {
      outLeft[k] += l;
      outRight[k] += r;
    } else {
      outLeft[k] = l;
      outRight[k] = r;
    }
  }
}

void AudioEngine::ProcessBlock(const Settings& settings, const TimeRecord& time, float sampleRate,
                               float** inputs, float** outputs, std::int32_t sampleFrames, bool accumulate) {
  const bool buffers = inputs != nullptr && outputs != nullptr && inputs[0] != nullptr &&
                       inputs[1] != nullptr && outputs[0] != nullptr && outputs[1] != nullptr;
  const std::int32_t frames = buffers && sampleFrames > 0 ? sampleFrames : 0;
  // Denormals flushed while the block runs; the caller's mode comes back.
  const FloatModeGuard mode;
  DeriveBlock(settings, time, sampleRate, frames);
  if (frames < 1) return;
  // In spans over which both delay reads follow their writes by a fixed
  // amount.
  const bool both = Fd.BothOn();
  for (std::int32_t k = 0; k < frames;) {
    const std::int32_t end = k + Fd.PlanSpan(frames - k);
    if (accumulate && both)
      Run<true, true>(inputs[0], inputs[1], outputs[0], outputs[1], k, end);
    else if (accumulate)
      Run<true, false>(inputs[0], inputs[1], outputs[0], outputs[1], k, end);
    else if (both)
      Run<false, true>(inputs[0], inputs[1], outputs[0], outputs[1], k, end);
    else
      Run<false, false>(inputs[0], inputs[1], outputs[0], outputs[1], k, end);
    k = end;
  }
}

}  // namespace engine
