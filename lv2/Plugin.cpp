// The effect as an LV2 plug-in: the effect's core behind stereo audio ports,
// one control port per parameter slot, an atom port for the host's
// time:Position and a control output that tells whether time information is
// missing. Everything that needs memory happens in instantiate and activate;
// run() only reads ports and processes.

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "lv2/HostTime.h"
#include "lv2/Ports.h"
#include "plugin/Parameters.h"
#include "plugin/core/EffectCore.h"

namespace {

using namespace lv2plugin;

struct Urids {
  LV2_URID atomBlank, atomObject, atomSequence, atomFloat, atomDouble, atomInt, atomLong, atomBeatTime;
  LV2_URID position, frame, speed, bar, barBeat, beat, beatUnit, beatsPerBar, beatsPerMinute;

  explicit Urids(const LV2_URID_Map& map) {
    const auto id = [&](const char* uri) { return map.map(map.handle, uri); };
    atomBlank = id(LV2_ATOM__Blank);
    atomObject = id(LV2_ATOM__Object);
    atomSequence = id(LV2_ATOM__Sequence);
    atomFloat = id(LV2_ATOM__Float);
    atomDouble = id(LV2_ATOM__Double);
    atomInt = id(LV2_ATOM__Int);
    atomLong = id(LV2_ATOM__Long);
    atomBeatTime = id(LV2_ATOM__beatTime);
    position = id(LV2_TIME__Position);
    frame = id(LV2_TIME__frame);
    speed = id(LV2_TIME__speed);
    bar = id(LV2_TIME__bar);
    barBeat = id(LV2_TIME__barBeat);
    beat = id(LV2_TIME__beat);
    beatUnit = id(LV2_TIME__beatUnit);
    beatsPerBar = id(LV2_TIME__beatsPerBar);
    beatsPerMinute = id(LV2_TIME__beatsPerMinute);
  }
};

struct Instance {
  Instance(double rate, const LV2_URID_Map& map)
      : urids(map), time(rate), sampleRate(static_cast<float>(rate)) {}

  Urids urids;
  HostTime time;
  float sampleRate;
  // The core holds the engine's delay memory inline (a few MiB): on the heap.
  std::unique_ptr<EffectCore> core = std::make_unique<EffectCore>();
  const float* audioIn[2] = {};
  float* audioOut[2] = {};
  const LV2_Atom_Sequence* control = nullptr;
  const float* slots[parameters::kLast + 1] = {};
  float* timeMissing = nullptr;
};

// A number of any of the atom's numeric types.
std::optional<double> NumberOf(const Urids& u, const LV2_Atom* atom) {
  if (atom == nullptr) return std::nullopt;
  if (atom->type == u.atomFloat && atom->size >= sizeof(float))
    return reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
  if (atom->type == u.atomDouble && atom->size >= sizeof(double))
    return reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
  if (atom->type == u.atomInt && atom->size >= sizeof(std::int32_t))
    return reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
  if (atom->type == u.atomLong && atom->size >= sizeof(std::int64_t))
    return static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
  return std::nullopt;
}

bool IsPosition(const Urids& u, const LV2_Atom* atom) {
  if (atom->type != u.atomObject && atom->type != u.atomBlank) return false;
  if (atom->size < sizeof(LV2_Atom_Object_Body)) return false;
  return reinterpret_cast<const LV2_Atom_Object*>(atom)->body.otype == u.position;
}

PositionFields FieldsOf(const Urids& u, const LV2_Atom_Object* object) {
  const LV2_Atom *frame = nullptr, *speed = nullptr, *bar = nullptr, *barBeat = nullptr, *beat = nullptr,
                 *beatUnit = nullptr, *beatsPerBar = nullptr, *beatsPerMinute = nullptr;
  lv2_atom_object_get(object, u.frame, &frame, u.speed, &speed, u.bar, &bar, u.barBeat, &barBeat, u.beat,
                      &beat, u.beatUnit, &beatUnit, u.beatsPerBar, &beatsPerBar, u.beatsPerMinute,
                      &beatsPerMinute, 0);
  PositionFields f;
  f.frame = NumberOf(u, frame);
  f.speed = NumberOf(u, speed);
  f.bar = NumberOf(u, bar);
  f.barBeat = NumberOf(u, barBeat);
  f.beat = NumberOf(u, beat);
  f.beatUnit = NumberOf(u, beatUnit);
  f.beatsPerBar = NumberOf(u, beatsPerBar);
  f.beatsPerMinute = NumberOf(u, beatsPerMinute);
  return f;
}

void Clear(float* out, std::uint32_t from, std::uint32_t to) {
  if (out != nullptr && to > from) std::memset(out + from, 0, sizeof(float) * (to - from));
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
  // A rate no audio interface runs at would make the bar length meaningless.
  if (!(rate >= 1.0 && rate <= 1e7)) return nullptr;
  const LV2_URID_Map* map = nullptr;
  for (int i = 0; features != nullptr && features[i] != nullptr; ++i)
    if (features[i]->URI != nullptr && std::strcmp(features[i]->URI, LV2_URID__map) == 0)
      map = static_cast<const LV2_URID_Map*>(features[i]->data);
  if (map == nullptr || map->map == nullptr) return nullptr;
  try {
    return new Instance(rate, *map);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void connect_port(LV2_Handle handle, std::uint32_t port, void* data) {
  auto& self = *static_cast<Instance*>(handle);
  switch (port) {
    case kInLeft:
    case kInRight:
      self.audioIn[port - kInLeft] = static_cast<const float*>(data);
      break;
    case kOutLeft:
    case kOutRight:
      self.audioOut[port - kOutLeft] = static_cast<float*>(data);
      break;
    case kControl:
      self.control = static_cast<const LV2_Atom_Sequence*>(data);
      break;
    case kTimeMissing:
      self.timeMissing = static_cast<float*>(data);
      break;
    default:
      if (isSlotPort(port)) self.slots[slotOfPort(port)] = static_cast<const float*>(data);
      break;
  }
}

void activate(LV2_Handle handle) {
  // A new run starts from silence: delay lines, filters, gate and LFOs as
  // after instantiation. The host's transport is as it was; the engine
  // takes it up again as a start.
  auto& self = *static_cast<Instance*>(handle);
  try {
    // The working set is the ports' and there are no programs: a new core
    // loses nothing.
    self.core = std::make_unique<EffectCore>();
  } catch (const std::bad_alloc&) {
    // The old core stays: its echoes are better than no plug-in.
  }
  self.time.Restart();
}

// Frames from..to with the time as it stands at from.
void Process(Instance& self, std::uint32_t from, std::uint32_t to) {
  if (to <= from) return;
  // The engine counts frames in 32-bit signed integers.
  constexpr std::uint32_t kMostFrames = 1u << 30;
  for (std::uint32_t at = from; at < to;) {
    const std::uint32_t n = to - at < kMostFrames ? to - at : kMostFrames;
    float* in[2] = {const_cast<float*>(self.audioIn[0]) + at, const_cast<float*>(self.audioIn[1]) + at};
    float* out[2] = {self.audioOut[0] + at, self.audioOut[1] + at};
    // Until the host has sent a position there is no time information.
    if (self.time.known()) {
      const engine::TimeRecord record = self.time.Record();
      self.core->processBlock(&record, self.sampleRate, in, out, static_cast<std::int32_t>(n), false);
      self.time.Advance(n);
    } else {
      self.core->processBlock(nullptr, self.sampleRate, in, out, static_cast<std::int32_t>(n), false);
    }
    at += n;
  }
}

void run(LV2_Handle handle, std::uint32_t frames) {
  auto& self = *static_cast<Instance*>(handle);
  if (self.audioIn[0] == nullptr || self.audioIn[1] == nullptr || self.audioOut[0] == nullptr ||
      self.audioOut[1] == nullptr) {
    Clear(self.audioOut[0], 0, frames);
    Clear(self.audioOut[1], 0, frames);
    return;
  }
  // Each port read once into the working set (an unconnected one plays its
  // default): the block plays with one set of values.
  EffectCore& core = *self.core;
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i)
    core.setParameter(i, self.slots[i] != nullptr ? *self.slots[i] : parameters::defaultValue(i));

  // A time:Position takes effect at its frame: the block is played in parts
  // split there.
  std::uint32_t done = 0;
  const LV2_Atom_Sequence* sequence = self.control;
  const Urids& u = self.urids;
  // Events in beat time carry no frame: they apply at the block's start.
  const bool frameTime = sequence != nullptr && sequence->body.unit != u.atomBeatTime;
  if (sequence != nullptr && sequence->atom.type == u.atomSequence &&
      sequence->atom.size >= sizeof(LV2_Atom_Sequence_Body)) {
    LV2_ATOM_SEQUENCE_FOREACH(sequence, event) {
      if (!IsPosition(u, &event->body)) continue;
      std::uint32_t at = done;
      if (frameTime && event->time.frames > static_cast<std::int64_t>(done))
        at = event->time.frames < static_cast<std::int64_t>(frames)
                 ? static_cast<std::uint32_t>(event->time.frames)
                 : frames;
      Process(self, done, at);
      done = at;
      self.time.Take(FieldsOf(u, reinterpret_cast<const LV2_Atom_Object*>(&event->body)));
    }
  }
  Process(self, done, frames);
  if (self.timeMissing != nullptr) *self.timeMissing = core.timeInfoMissing() ? 1.0f : 0.0f;
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) {
  delete static_cast<Instance*>(handle);
}

const void* extension_data(const char*) {
  return nullptr;
}

const LV2_Descriptor kDescriptor = {lv2plugin::kUri, instantiate, connect_port,  activate, run,
                                    deactivate,      cleanup,     extension_data};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
