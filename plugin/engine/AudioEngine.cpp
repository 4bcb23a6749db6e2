#include "plugin/engine/AudioEngine.h"

#include <cmath>

#include "plugin/Parameters.h"

using namespace parameters;

namespace {

// Pan and cutoff move by LFO value x depth x 0.5 and stay within 0..1.
inline float Modulated(float lfoValue, float depth, float base) {
  float value = static_cast<float>(static_cast<double>(lfoValue) * depth * 0.5 + base);
  if (value > 1.0f) value = 1.0f;
  if (value < 0.0f) value = 0.0f;
  return value;
}

// A sample the host hands over that is not a number (or is infinite) is
// taken as silence: it must not reach the delay lines, filters or outputs.
inline float Finite(float sample) { return std::isfinite(sample) ? sample : 0.0f; }

// The two units' slots are laid out alike from their "Enable" slot.
constexpr int kEnable = 0, kCutoff = 1, kReso = 2, kFilterType = 3, kDelayTime = 4, kFeedback = 5;
static_assert(kFd2Enable + kFeedback == kFd2Feedback && kFd1Enable + kDelayTime == kFd1DelayTime);

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
}

float AudioEngine::DelaySamples(engine::FdUnit& unit, float delayTime) {
  if (delayTime != unit.delayTime || transport.Tempo != unit.delayTempo) {
    // "Delay Time" 0 divides by zero on purpose: the reciprocal of the
    // infinity is a delay of 0.
    unit.DelaySeconds = static_cast<float>(1.0 / ((transport.Tempo / 60.0) / delayTime));
    unit.delayTime = delayTime;
    unit.delayTempo = transport.Tempo;
  }
  return static_cast<float>(static_cast<double>(unit.DelaySeconds) * rate_);
}

float AudioEngine::RunUnit(engine::FdUnit& unit, const RelaxedFloat* params, int firstSlot, float input,
                           float cutoff) {
  const float delay = DelaySamples(unit, params[firstSlot + kDelayTime].load());
  if (!(params[firstSlot + kEnable].load() > 0.5f)) return 0.0f;
  const float d = unit.line.DelayTick(input, params[firstSlot + kFeedback].load(), delay);
  const float mode = static_cast<float>(1.0 - params[firstSlot + kFilterType].load());
  return unit.filter.FilterTick(mode, params[firstSlot + kReso].load(), cutoff, d);
}

void AudioEngine::ProcessSample(const RelaxedFloat* params, float left, float right, std::int32_t k,
                                float& outLeft, float& outRight) {
  left = Finite(left);
  right = Finite(right);

  transport.PositionTick(k, params[kGateShuffle].load());
  if (transport.CurrentStep != transport.PreviousStep) {
    const int n = transport.CurrentStep;
    gate.StepChange(params[kStep1 + n - 1].load() > 0.5f, params[kTie1 + n - 1].load() > 0.5f);
  }
  transport.PreviousStep = transport.CurrentStep;
  gate.LevelTick();

  const float gateEnable = params[kGateEnable].load();
  const float m = static_cast<float>(static_cast<double>(left) + right);
  const float g = gateEnable > 0.5f ? static_cast<float>(static_cast<double>(m) * gate.GateLevel) : m;

  lfo[0].Tick();
  lfo[1].Tick();
  const float lfo1 = lfo[0].LfoValue, lfo2 = lfo[1].LfoValue;

  const float pan1 = Modulated(lfo1, params[kFd1LfoPan].load(), params[kFd1Pan].load());
  const float pan2 = Modulated(lfo2, params[kFd2LfoPan].load(), params[kFd2Pan].load());
  const float cutoff1 = Modulated(lfo1, params[kFd1LfoCutoff].load(), params[kFd1Cutoff].load());
  const float cutoff2 = Modulated(lfo1, params[kFd2LfoCutoff].load(), params[kFd2Cutoff].load());

  const float f1 = RunUnit(fd[0], params, kFd1Enable, g, cutoff1);
  fd[0].FdOut = static_cast<float>(static_cast<double>(f1) * params[kFd1Volume].load());
  const float f2 = RunUnit(fd[1], params, kFd2Enable, g, cutoff2);
  fd[1].FdOut = static_cast<float>(static_cast<double>(f2) * params[kFd2Volume].load());

  const bool gated = gateEnable >= 0.5f;
  const double dryLeft = gated ? g : left, dryRight = gated ? g : right;
  const double volume = params[kGateVolume].load();
  const double out1 = fd[0].FdOut, out2 = fd[1].FdOut;
  outLeft = static_cast<float>(dryLeft * volume + out1 * pan1 + out2 * pan2);
  outRight = static_cast<float>(dryRight * volume + out1 * (1.0 - pan1) + out2 * (1.0 - pan2));

  gate.Countdown();
  if (transport.CurrentStep > 16) transport.CurrentStep = 1;
}

void AudioEngine::ProcessBlock(const RelaxedFloat* params, const engine::HostTime& time, float sampleRate,
                               float** inputs, float** outputs, std::int32_t sampleFrames, bool accumulate) {
  const bool buffers = inputs != nullptr && outputs != nullptr && inputs[0] != nullptr && inputs[1] != nullptr &&
                       outputs[0] != nullptr && outputs[1] != nullptr;
  const std::int32_t frames = buffers && sampleFrames > 0 ? sampleFrames : 0;
  DeriveBlock(params, time, sampleRate, frames);
  if (frames < 1) return;

  const float* inLeft = inputs[0];
  const float* inRight = inputs[1];
  float* outLeft = outputs[0];
  float* outRight = outputs[1];
  for (std::int32_t k = 0; k < frames; ++k) {
    // Both inputs are read before either output is written: the buffers may
    // be the same memory.
    const float left = inLeft[k], right = inRight[k];
    float l, r;
    ProcessSample(params, left, right, k, l, r);
    if (accumulate) {
      outLeft[k] += l;
      outRight[k] += r;
    } else {
      outLeft[k] = l;
      outRight[k] = r;
    }
  }
}
