#include "vst3/ContextTime.h"

namespace vst3plugin {

namespace {

using vst3::ProcessContext;

constexpr std::uint32_t kTimeFlags = ProcessContext::kPlaying | ProcessContext::kProjectTimeMusicValid |
                                     ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                                     ProcessContext::kBarPositionValid;

}  // namespace

bool ContextTime::Read(const ProcessContext* context, std::int32_t frames, engine::TimeRecord& record) {
  if (context == nullptr || (context->state & kTimeFlags) == 0) {
    known_ = false;
    return false;
  }
  const std::uint32_t state = context->state;
  record = engine::TimeRecord{};
  record.Beats = context->projectTimeMusic;
  record.SamplePosition = static_cast<double>(context->projectTimeSamples);
  record.Tempo = context->tempo;
  record.BeatsValid = (state & ProcessContext::kProjectTimeMusicValid) != 0;
  record.TempoValid = (state & ProcessContext::kTempoValid) != 0;
  record.Playing = (state & ProcessContext::kPlaying) != 0;
  record.TransportChanged = !known_ || record.Playing != wasPlaying_ ||
                            (record.Playing && context->projectTimeSamples != expected_);
  if ((state & ProcessContext::kTimeSigValid) != 0 && context->timeSigNumerator > 0 &&
      context->timeSigDenominator > 0) {
    record.BeatsPerBar = context->timeSigNumerator;
    record.BeatUnit = context->timeSigDenominator;
    record.MeterValid = true;
  }
  known_ = true;
  wasPlaying_ = record.Playing;
  expected_ = context->projectTimeSamples + (record.Playing && frames > 0 ? frames : 0);
  return true;
}

engine::TimeRecord ContextTime::Later(const engine::TimeRecord& start, std::int32_t offset,
                                      double sampleRate) {
  engine::TimeRecord later = start;
  later.TransportChanged = false;
  if (!start.Playing || offset <= 0) return later;
  later.SamplePosition = start.SamplePosition + offset;
  if (start.BeatsValid && start.TempoValid && sampleRate > 0.0)
    later.Beats = start.Beats + static_cast<double>(offset) * start.Tempo / (60.0 * sampleRate);
  return later;
}

}  // namespace vst3plugin
