// The saved state against arbitrary bytes, as a host may hand back anything
// it stored. Refused, the core is as it was; accepted, it holds only values a
// write could leave, and its save loads again into an equal core with the
// same bytes. The same bytes through a host stream in uneven pieces: the
// stream reads one state and stops, and agrees with the buffer form on the
// bytes it read.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "plugin/core/EffectState.h"
#include "tests/plugin/core/CoreSnapshot.h"

namespace {

// Cores are a few MiB each (the engine's delay memory): made once, and put
// back into a fresh core's state before each use.
struct Cores {
  std::unique_ptr<EffectCore> a = std::make_unique<EffectCore>(), b = std::make_unique<EffectCore>();
  const std::vector<std::uint8_t> freshBytes = stateBytes(*a);
  const CoreSnapshot fresh = CoreSnapshot::Of(*a);

  EffectCore& reset(EffectCore& core) const {
    if (!loadState(core, freshBytes) || !(CoreSnapshot::Of(core) == fresh)) std::abort();
    return core;
  }
};

void Require(bool condition) {
  if (!condition) std::abort();
}

bool HoldsOnlyClampedValues(const EffectCore& core) {
  const auto stored = [](float v) {
    return std::bit_cast<std::uint32_t>(v) == std::bit_cast<std::uint32_t>(parameters::clamped(v));
  };
  for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot) {
    if (!stored(core.params[slot].load())) return false;
    for (int p = 0; p < EffectCore::kNumPrograms; ++p)
      if (!stored(core.programs[p].values[slot].load())) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Cores cores;
  const std::span<const std::uint8_t> bytes(data, size);
  EffectCore& a = cores.reset(*cores.a);
  EffectCore& b = cores.reset(*cores.b);

  const bool accepted = loadState(a, bytes);
  if (!accepted) Require(CoreSnapshot::Of(a) == cores.fresh);
  if (accepted) {
    Require(HoldsOnlyClampedValues(a));
    const std::vector<std::uint8_t> saved = stateBytes(a);
    Require(loadState(b, saved));
    Require(CoreSnapshot::Of(b) == CoreSnapshot::Of(a));
    Require(stateBytes(b) == saved);
    cores.reset(b);
  }

  // Pieces of 1 to 13 bytes, never more than asked; the reader notes how far
  // it was asked to reach.
  std::size_t position = 0, furthest = 0, calls = 0;
  const StateReader read = [&](void* out, std::int64_t asked) -> std::int64_t {
    Require(asked > 0);
    furthest = std::max(furthest, position + static_cast<std::size_t>(asked));
    const std::size_t piece = 1 + (calls++ * 7) % 13;
    const std::size_t n = std::min({static_cast<std::size_t>(asked), piece, size - position});
    std::memcpy(out, data + position, n);
    position += n;
    return static_cast<std::int64_t>(n);
  };
  const bool streamed = loadState(b, read);
  Require(furthest <= kStateMaxSize);
  if (accepted) Require(streamed && position == size && CoreSnapshot::Of(b) == CoreSnapshot::Of(a));
  if (!streamed) Require(CoreSnapshot::Of(b) == cores.fresh);
  if (streamed && !accepted) {
    // A state followed by other data: the stream read the state alone.
    Require(position < size);
    EffectCore& prefix = cores.reset(a);
    Require(loadState(prefix, bytes.first(position)));
    Require(CoreSnapshot::Of(prefix) == CoreSnapshot::Of(b));
  }
  return 0;
}
