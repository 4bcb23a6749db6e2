#include "plugin/APlugin.h"

namespace {

// The time request's filter word: transport changed and playing, song
// position, tempo and time signature.
constexpr VstInt32 kTimeFilter =
    kVstTransportChanged | kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
static_assert(kTimeFilter == 0x2603);

// A data byte of a MIDI message is seven bits; a malformed one with the top
// bit set still gives a value within 0..1.
float midiValue(unsigned char dataByte) {
  return static_cast<float>((dataByte & 0x7F) / 127.0);
}

}  // namespace

engine::TimeRecord APlugin::timeRecordOf(const VstTimeInfo& info) {
  engine::TimeRecord time;
  time.Beats = info.ppqPos;
  time.SamplePosition = info.samplePos;
  time.Tempo = info.tempo;
  time.BeatsValid = (info.flags & kVstPpqPosValid) != 0;
  time.TempoValid = (info.flags & kVstTempoValid) != 0;
  time.Playing = (info.flags & kVstTransportPlaying) != 0;
  time.TransportChanged = (info.flags & kVstTransportChanged) != 0;
  if ((info.flags & kVstTimeSigValid) != 0 && info.timeSigNumerator > 0 && info.timeSigDenominator > 0) {
    time.BeatsPerBar = info.timeSigNumerator;
    time.BeatUnit = info.timeSigDenominator;
    time.MeterValid = true;
  }
  return time;
}

// One block of either kind. A host that answers no record, or one whose
// flags are all 0, gives no time information.
void APlugin::runBlock(float** inputs, float** outputs, VstInt32 sampleFrames, bool accumulate) {
  const VstTimeInfo* info = getTimeInfo(kTimeFilter);
  const bool timed = info != nullptr && info->flags != 0;
  const engine::TimeRecord time = timed ? timeRecordOf(*info) : engine::TimeRecord{};
  core.processBlock(timed ? &time : nullptr, getSampleRate(), inputs, outputs, sampleFrames, accumulate);
}

void APlugin::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
  runBlock(inputs, outputs, sampleFrames, true);
}

void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  runBlock(inputs, outputs, sampleFrames, false);
}

VstInt32 APlugin::processEvents(VstEvents* events) {
  // The list is a count, a pointer-sized reserved word and the event
  // pointers; a negative count or a missing event is skipped.
  if (events == nullptr) return 1;
  const VstInt32 count = events->numEvents;
  for (VstInt32 i = 0; i < count; ++i) {
    const VstEvent* event = events->events[i];
    if (event == nullptr || event->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    const auto status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
    const auto second = static_cast<unsigned char>(midi->midiData[1]);
    const auto third = static_cast<unsigned char>(midi->midiData[2]);
    switch (status) {
      case 0x90:
        if (third != 0) params[parameters::kMidiValue].store(midiValue(third));
        break;
      case 0xB0:
        params[parameters::kMidiValue].store(midiValue(third));
        updateEditor();
        break;
      case 0xE0:
        params[parameters::kMidiValue].store(midiValue(second));
        updateEditor();
        break;
      default:
        break;
    }
  }
  return 1;
}
