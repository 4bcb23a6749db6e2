#include "tests/lv2/Lv2Host.h"

#include <lv2/atom/atom.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace lv2test {

namespace {

// urid:map as hosts implement it: a table of URIs, ids from 1.
std::mutex mapMutex;
std::vector<std::string> mapped;

LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
  const std::lock_guard<std::mutex> lock(mapMutex);
  for (std::size_t i = 0; i < mapped.size(); ++i)
    if (mapped[i] == uri) return static_cast<LV2_URID>(i + 1);
  mapped.emplace_back(uri);
  return static_cast<LV2_URID>(mapped.size());
}

const char* Unmap(LV2_URID_Unmap_Handle, LV2_URID urid) {
  const std::lock_guard<std::mutex> lock(mapMutex);
  return urid >= 1 && urid <= mapped.size() ? mapped[urid - 1].c_str() : nullptr;
}

LV2_URID_Map mapFeatureData{nullptr, Map};
LV2_URID_Unmap unmapFeatureData{nullptr, Unmap};
LV2_Feature mapFeature{LV2_URID__map, &mapFeatureData};
LV2_Feature unmapFeature{LV2_URID__unmap, &unmapFeatureData};

void Append(std::vector<std::uint8_t>& bytes, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  bytes.insert(bytes.end(), p, p + size);
}

void Pad(std::vector<std::uint8_t>& bytes, std::size_t from) {
  while ((bytes.size() - from) % 8 != 0) bytes.push_back(0);
}

// One property of an object: key, context, then the value atom, padded.
template <typename T>
void Property(std::vector<std::uint8_t>& bytes, LV2_URID key, LV2_URID type, T value) {
  const std::size_t start = bytes.size();
  const std::uint32_t head[2] = {key, 0};
  Append(bytes, head, sizeof head);
  const LV2_Atom atom{sizeof(T), type};
  Append(bytes, &atom, sizeof atom);
  Append(bytes, &value, sizeof value);
  Pad(bytes, start);
}

}  // namespace

Position Position::At(double beats, double tempo, bool rolling, std::int64_t frame) {
  Position p;
  const double bar = std::floor(beats / 4.0);
  p.frame = frame;
  p.speed = rolling ? 1.0f : 0.0f;
  p.bar = static_cast<std::int64_t>(bar);
  p.barBeat = static_cast<float>(beats - bar * 4.0);
  p.beatUnit = 4;
  p.beatsPerBar = 4.0f;
  p.beatsPerMinute = static_cast<float>(tempo);
  return p;
}

World& World::Get() {
  static World world;
  return world;
}

World::World() {
  world_ = lilv_world_new();
  // The LV2 vocabularies that the bundle's Turtle refers to, then the
  // bundle itself: nothing else that the machine has installed.
  for (const char* vocabulary :
       {"core", "atom", "time", "urid", "presets", "units", "port-props", "ui", "options"}) {
    const std::string path = std::string(PLONKRIFT_LV2_VOCABULARY_DIR) + "/" + vocabulary + ".lv2/";
    LilvNode* bundle = lilv_new_file_uri(world_, nullptr, path.c_str());
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
  }
  LilvNode* bundle = lilv_new_file_uri(world_, nullptr, PLONKRIFT_LV2_BUNDLE "/");
  lilv_world_load_bundle(world_, bundle);
  lilv_node_free(bundle);
  lilv_world_load_specifications(world_);
  LilvNode* uri = lilv_new_uri(world_, lv2plugin::kUri);
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
  lilv_node_free(uri);
  if (plugin_ == nullptr) error = std::string("no plug-in ") + lv2plugin::kUri + " in " PLONKRIFT_LV2_BUNDLE;
}

Instance::Instance(double rate, bool withMap) {
  const World& world = World::Get();
  if (world.plugin() == nullptr) return;
  // Control ports start at the defaults the plug-in's description gives.
  std::vector<float> defaults(lilv_plugin_get_num_ports(world.plugin()), 0.0f);
  lilv_plugin_get_port_ranges_float(world.plugin(), nullptr, nullptr, defaults.data());
  for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
    if (lv2plugin::portOfSlot(slot) < defaults.size()) slots[slot] = defaults[lv2plugin::portOfSlot(slot)];
  const LV2_Feature* withFeatures[] = {&mapFeature, &unmapFeature, nullptr};
  const LV2_Feature* without[] = {nullptr};
  instance_ = lilv_plugin_instantiate(world.plugin(), rate, withMap ? withFeatures : without);
  if (instance_ == nullptr) return;
  for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
    lilv_instance_connect_port(instance_, lv2plugin::portOfSlot(slot), &slots[slot]);
  lilv_instance_connect_port(instance_, lv2plugin::kControl, sequence_);
  lilv_instance_connect_port(instance_, lv2plugin::kTimeMissing, &timeMissing);
}

Instance::~Instance() {
  if (instance_ != nullptr) lilv_instance_free(instance_);
}

void Instance::activate() {
  lilv_instance_activate(instance_);
}
void Instance::deactivate() {
  lilv_instance_deactivate(instance_);
}

void Instance::disconnectSlot(int slot) {
  lilv_instance_connect_port(instance_, lv2plugin::portOfSlot(slot), nullptr);
}

std::uint32_t Instance::urid(const char* uri) {
  return Map(nullptr, uri);
}

void Instance::send(std::uint32_t frame, const Position& p) {
  std::vector<std::uint8_t> atom;
  const LV2_Atom header{0, urid(LV2_ATOM__Object)};
  Append(atom, &header, sizeof header);
  const LV2_Atom_Object_Body body{0, urid(LV2_TIME__Position)};
  Append(atom, &body, sizeof body);
  if (p.frame) Property(atom, urid(LV2_TIME__frame), urid(LV2_ATOM__Long), *p.frame);
  if (p.speed) Property(atom, urid(LV2_TIME__speed), urid(LV2_ATOM__Float), *p.speed);
  if (p.bar) Property(atom, urid(LV2_TIME__bar), urid(LV2_ATOM__Long), *p.bar);
  if (p.barBeat) Property(atom, urid(LV2_TIME__barBeat), urid(LV2_ATOM__Float), *p.barBeat);
  if (p.beat) Property(atom, urid(LV2_TIME__beat), urid(LV2_ATOM__Double), *p.beat);
  if (p.beatUnit) Property(atom, urid(LV2_TIME__beatUnit), urid(LV2_ATOM__Int), *p.beatUnit);
  if (p.beatsPerBar) Property(atom, urid(LV2_TIME__beatsPerBar), urid(LV2_ATOM__Float), *p.beatsPerBar);
  if (p.beatsPerMinute)
    Property(atom, urid(LV2_TIME__beatsPerMinute), urid(LV2_ATOM__Float), *p.beatsPerMinute);
  reinterpret_cast<LV2_Atom*>(atom.data())->size = static_cast<std::uint32_t>(atom.size() - sizeof(LV2_Atom));
  sendRaw(frame, atom);
}

void Instance::sendRaw(std::uint32_t frame, const std::vector<std::uint8_t>& atom) {
  events_.push_back({frame, atom});
}

void Instance::run(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::uint32_t frames) {
  prepare(inLeft, inRight, outLeft, outRight);
  process(frames);
}

void Instance::process(std::uint32_t frames) {
  lilv_instance_run(instance_, frames);
}

void Instance::prepare(const float* inLeft, const float* inRight, float* outLeft, float* outRight) {
  // The sequence of this block's events, in frame order.
  std::vector<std::uint8_t> bytes;
  const LV2_Atom_Sequence header{{0, urid(LV2_ATOM__Sequence)}, {0, 0}};
  Append(bytes, &header, sizeof header);
  std::stable_sort(events_.begin(), events_.end(),
                   [](const Event& a, const Event& b) { return a.frame < b.frame; });
  for (const Event& event : events_) {
    const std::size_t start = bytes.size();
    const std::int64_t time = event.frame;
    Append(bytes, &time, sizeof time);
    Append(bytes, event.atom.data(), event.atom.size());
    Pad(bytes, start);
  }
  events_.clear();
  reinterpret_cast<LV2_Atom*>(bytes.data())->size =
      static_cast<std::uint32_t>(bytes.size() - sizeof(LV2_Atom));
  std::memcpy(sequence_, bytes.data(), std::min(bytes.size(), sizeof sequence_));
  lilv_instance_connect_port(instance_, lv2plugin::kInLeft, const_cast<float*>(inLeft));
  lilv_instance_connect_port(instance_, lv2plugin::kInRight, const_cast<float*>(inRight));
  lilv_instance_connect_port(instance_, lv2plugin::kOutLeft, outLeft);
  lilv_instance_connect_port(instance_, lv2plugin::kOutRight, outRight);
}

namespace {

void SetPortValue(const char* symbol, void* user, const void* value, std::uint32_t size, std::uint32_t type) {
  auto* self = static_cast<Instance*>(user);
  const World& world = World::Get();
  LilvNode* name = lilv_new_string(world.world(), symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(world.plugin(), name);
  lilv_node_free(name);
  if (port == nullptr) return;
  const std::uint32_t index = lilv_port_get_index(world.plugin(), port);
  if (!lv2plugin::isSlotPort(index)) return;
  float number = 0.0f;
  if (type == self->urid(LV2_ATOM__Float) && size == sizeof(float))
    std::memcpy(&number, value, sizeof number);
  else if (type == self->urid(LV2_ATOM__Double) && size == sizeof(double))
    number = static_cast<float>(*static_cast<const double*>(value));
  else
    return;
  self->slots[lv2plugin::slotOfPort(index)] = number;
}

}  // namespace

bool Instance::applyPreset(const std::string& uri) {
  LilvWorld* world = World::Get().world();
  LilvNode* node = lilv_new_uri(world, uri.c_str());
  lilv_world_load_resource(world, node);
  LilvState* state = lilv_state_new_from_world(world, &mapFeatureData, node);
  lilv_node_free(node);
  if (state == nullptr) return false;
  lilv_state_restore(state, instance_, SetPortValue, this, 0, nullptr);
  lilv_state_free(state);
  return true;
}

std::vector<std::pair<std::string, std::string>> Presets() {
  const World& world = World::Get();
  std::vector<std::pair<std::string, std::string>> found;
  if (world.plugin() == nullptr) return found;
  LilvNode* presetClass = lilv_new_uri(world.world(), "http://lv2plug.in/ns/ext/presets#Preset");
  LilvNode* label = lilv_new_uri(world.world(), "http://www.w3.org/2000/01/rdf-schema#label");
  LilvNodes* presets = lilv_plugin_get_related(world.plugin(), presetClass);
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    lilv_world_load_resource(world.world(), preset);
    LilvNode* name = lilv_world_get(world.world(), preset, label, nullptr);
    found.emplace_back(lilv_node_as_uri(preset), name != nullptr ? lilv_node_as_string(name) : "");
    lilv_node_free(name);
  }
  lilv_nodes_free(presets);
  lilv_node_free(label);
  lilv_node_free(presetClass);
  return found;
}

}  // namespace lv2test
