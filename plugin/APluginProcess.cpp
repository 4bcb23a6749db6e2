#include <cstring>

#include "plugin/APlugin.h"

namespace {

// The time request's filter word: transport changed and playing, song
// position, tempo and time signature.
constexpr VstInt32 kTimeFilter =
    kVstTransportChanged | kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
static_assert(kTimeFilter == 0x2603);

void clear(float** outputs, VstInt32 sampleFrames) {
  if (outputs == nullptr || sampleFrames <= 0) return;
  for (int channel = 0; channel < 2; ++channel)
    if (outputs[channel] != nullptr) std::memset(outputs[channel], 0, sizeof(float) * sampleFrames);
}

// The host's time record in the engine's terms.
engine::TimeRecord timeRecordOf(const VstTimeInfo& info) {
  engine::TimeRecord time;
  time.beats = info.ppqPos;
  time.samplePosition = info.samplePos;
  time.tempo = info.tempo;
  time.beatsValid = (info.flags & kVstPpqPosValid) != 0;
  time.tempoValid = (info.flags & kVstTempoValid) != 0;
  time.playing = (info.flags & kVstTransportPlaying) != 0;
  time.transportChanged = (info.flags & kVstTransportChanged) != 0;
  return time;
}

// The working set as the block plays it: each slot read once.
engine::Settings settingsOf(const RelaxedFloat* params) {
  float slots[parameters::kLast + 1] = {};
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) slots[i] = params[i].load();
  return engine::Settings::FromSlots(slots);
}

// One block of either kind. Without time information nothing musical can be
// derived: the block is abandoned (silence when replacing, nothing added
// otherwise) and the audio thread only notes it, never waiting on a message.
void runBlock(APlugin& plugin, std::atomic<std::uint8_t>& notice, float** inputs, float** outputs,
              VstInt32 sampleFrames, bool accumulate) {
  const VstTimeInfo* info = plugin.getTimeInfo(kTimeFilter);
  if (info == nullptr || info->flags == 0) {
    std::uint8_t none = 0;
    notice.compare_exchange_strong(none, 1, std::memory_order_relaxed);
    if (!accumulate) clear(outputs, sampleFrames);
    return;
  }
  // Time information is back: the editor stops showing the message.
  if (notice.load(std::memory_order_relaxed) != 0) notice.store(0, std::memory_order_relaxed);
  plugin.engine.ProcessBlock(settingsOf(plugin.params), timeRecordOf(*info), plugin.getSampleRate(), inputs,
                             outputs, sampleFrames, accumulate);
}

// A data byte of a MIDI message is seven bits; a malformed one with the top
// bit set still gives a value within 0..1.
float midiValue(unsigned char dataByte) {
  return static_cast<float>((dataByte & 0x7F) / 127.0);
}

}  // namespace

void APlugin::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
  runBlock(*this, timeinfonotice, inputs, outputs, sampleFrames, true);
}

void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  runBlock(*this, timeinfonotice, inputs, outputs, sampleFrames, false);
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
