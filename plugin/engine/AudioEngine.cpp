#include "plugin/engine/AudioEngine.h"

#include <cmath>
#include <limits>

#include "plugin/engine/FloatModeGuard.h"

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
inline float Finite(float sample) {
  return std::fabs(sample) <= 3.402823466e38f ? sample : 0.0f;
}

}  // namespace

double AudioEngine::UsableRate(float sampleRate) {
  return std::isfinite(sampleRate) && sampleRate > 0.0f ? sampleRate : 44100.0;
}

void AudioEngine::DeriveBlock(const engine::Settings& settings, const engine::TimeRecord& time,
                              float sampleRate, std::int32_t sampleFrames) {
  rate_ = UsableRate(sampleRate);
  transport.DeriveLengths(time, rate_);
  gate.DeriveLengths(transport.StepSamples, settings.gateAttack, settings.gateDecay);
  transport.DeriveTransport(time, sampleFrames, settings.gateShuffle);
  lfo.DeriveRamps(transport.BarSamples, settings.lfoPeriod[0], settings.lfoPeriod[1]);

  engine::BlockSlots& s = slots_;
  for (int n = 1; n <= 16; ++n) {
    s.stepOn[n] = settings.step[n - 1] > 0.5f;
    s.tieOn[n] = settings.tie[n - 1] > 0.5f;
  }
  s.shuffle = settings.gateShuffle;
  s.gateOn = settings.gateEnable > 0.5f;
  s.dryGated = settings.gateEnable >= 0.5f;
  s.gateVolume = settings.gateVolume;

  engine::FdUnits::Settings units;
  float feedback[2], resonance[2];
  bool highPass[2];
  for (int u = 0; u < 2; ++u) {
    const engine::Settings::Unit& p = settings.fd[u];
    units.enabled[u] = p.enable > 0.5f;
    // "Delay Time" 0 divides by zero on purpose: the reciprocal of the
    // infinity is a delay of 0.
    fd.DelaySeconds[u] = static_cast<float>(1.0 / ((transport.Tempo / 60.0) / p.delayTime));
    units.delay[u] =
        engine::DelayLine::Limit(static_cast<float>(static_cast<double>(fd.DelaySeconds[u]) * rate_));
    feedback[u] = p.feedback;
    resonance[u] = p.reso;
    // The mode is 1 - "Filter Type"; at least 0.5 is the high-pass.
    highPass[u] = static_cast<float>(1.0 - p.filterType) >= 0.5f;
  }
  units.feedback = engine::MakePair(feedback[0], feedback[1]);
  units.resonance = engine::MakePair(resonance[0], resonance[1]);
  units.volume = engine::MakePair(settings.fd[0].volume, settings.fd[1].volume);
  units.highPass = engine::Mask(highPass[0], highPass[1]);
  fd.DeriveBlock(units);

  const engine::Settings::Unit &one = settings.fd[0], &two = settings.fd[1];
  s.pan = engine::MakePair(one.pan, two.pan);
  s.lfoPan = engine::MakePair(one.lfoPan, two.lfoPan);
  s.cutoff = engine::MakePair(one.cutoff, two.cutoff);
  s.lfoCutoff = engine::MakePair(one.lfoCutoff, two.lfoCutoff);
}

template <bool kAll>
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

  const Pair halves = lfo.Tick() * 0.5;
  const double half1 = halves[0];

  // FD1's pan and both cutoffs follow LFO1; FD2's pan follows LFO2.
  const Pair pans = Modulated(halves, s.lfoPan, s.pan);
  const Pair cutoffs = Modulated(engine::MakePair(half1, half1), s.lfoCutoff, s.cutoff);
  const Pair fdOut = fd.Tick<kAll>(g, cutoffs);

  // Left and right side by side: dry x volume + FD1 x pan1 + FD2 x pan2,
  // with 1 - pan on the right (a pan of 1 is fully left).
  const Pair dry = s.dryGated ? engine::Both(g) : engine::MakePair(left, right);
  const Pair rights = 1.0 - pans;
  const Pair side1 = engine::Lows(pans, rights), side2 = engine::Highs(pans, rights);
  const Pair out = engine::RoundToFloat(dry * s.gateVolume + engine::Lows(fdOut, fdOut) * side1 +
                                        engine::Highs(fdOut, fdOut) * side2);
  outLeft = static_cast<float>(out[0]);
  outRight = static_cast<float>(out[1]);

  // The step is always 1..16 (the tracker reads it modulo 16), so it never
  // needs folding back after the sample.
  gate.Countdown();
}

template <bool accumulate, bool kAll>
void AudioEngine::Run(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                      std::int32_t from, std::int32_t to) {
  for (std::int32_t k = from; k < to; ++k) {
    // Both inputs are read before either output is written: the buffers may
    // be the same memory.
    const float left = inLeft[k], right = inRight[k];
    float l, r;
    Sample<kAll>(left, right, k, l, r);
    if (accumulate) {
      outLeft[k] += l;
      outRight[k] += r;
    } else {
      outLeft[k] = l;
      outRight[k] = r;
    }
  }
}

void AudioEngine::ProcessBlock(const engine::Settings& settings, const engine::TimeRecord& time,
                               float sampleRate, float** inputs, float** outputs, std::int32_t sampleFrames,
                               bool accumulate) {
  const bool buffers = inputs != nullptr && outputs != nullptr && inputs[0] != nullptr &&
                       inputs[1] != nullptr && outputs[0] != nullptr && outputs[1] != nullptr;
  const std::int32_t frames = buffers && sampleFrames > 0 ? sampleFrames : 0;
  // Denormals flushed while the block runs; the caller's mode comes back.
  const engine::FloatModeGuard mode;
  DeriveBlock(settings, time, sampleRate, frames);
  if (frames < 1) return;
  // In spans over which both delay reads follow their writes by a fixed
  // amount.
  const bool both = fd.BothOn();
  for (std::int32_t k = 0; k < frames;) {
    const std::int32_t end = k + fd.PlanSpan(frames - k);
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
