#pragma once

// A small LV2 host on lilv: finds the bundle built with this tree, makes
// instances with the features a host offers, keeps their control ports and
// sends time:Position objects on the atom port at the frames asked for, as a
// host does when its transport starts, stops, jumps or changes tempo.

#include <lilv/lilv.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lv2/Ports.h"
#include "plugin/Parameters.h"

namespace lv2test {

// A time:Position as a host writes it: each field with its LV2 type (frame
// and bar Long, speed, barBeat, beatsPerBar and beatsPerMinute Float,
// beatUnit Int, beat Double); an empty field is left out.
struct Position {
  std::optional<std::int64_t> frame, bar;
  std::optional<float> speed, barBeat, beatsPerBar, beatsPerMinute;
  std::optional<std::int32_t> beatUnit;
  std::optional<double> beat;

  // A 4/4 song at the given tempo, positioned at beats (quarter notes).
  static Position At(double beats, double tempo, bool rolling, std::int64_t frame);
};

// The lilv world with the LV2 vocabularies and our bundle loaded.
class World {
 public:
  static World& Get();
  LilvWorld* world() const { return world_; }
  const LilvPlugin* plugin() const { return plugin_; }
  std::string error;

 private:
  World();
  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
};

class Instance {
 public:
  // withMap false: the host offers no urid:map.
  explicit Instance(double rate, bool withMap = true);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool ok() const { return instance_ != nullptr; }
  void activate();
  void deactivate();

  // Control ports by slot 1..61; all at their defaults to begin with.
  float slots[parameters::kLast + 1] = {};
  // Connects a slot's port to nothing (the host leaves it unconnected).
  void disconnectSlot(int slot);
  // The plug-in's time_missing output as the last run left it.
  float timeMissing = -1.0f;

  // A time:Position at the given frame of the next run.
  void send(std::uint32_t frame, const Position& position);
  // Any object as an event, for hostile cases.
  void sendRaw(std::uint32_t frame, const std::vector<std::uint8_t>& atom);

  // One block; in and out may be the same memory. run is prepare (the
  // event sequence written, the buffers connected) and then process (the
  // plug-in's run alone, as on a host's audio thread).
  void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);
  void prepare(const float* inLeft, const float* inRight, float* outLeft, float* outRight);
  void process(std::uint32_t frames);

  // Applies a preset of the bundle through lilv's state API (the way hosts
  // load presets): answers false when it is not found.
  bool applyPreset(const std::string& uri);

  std::uint32_t urid(const char* uri);

 private:
  struct Event {
    std::uint32_t frame;
    std::vector<std::uint8_t> atom;  // an LV2_Atom with its body
  };
  LilvInstance* instance_ = nullptr;
  std::vector<Event> events_;
  alignas(16) std::uint8_t sequence_[1 << 16];
};

// The URIs of the bundle's presets with their labels, in the order lilv lists them.
std::vector<std::pair<std::string, std::string>> Presets();

}  // namespace lv2test
