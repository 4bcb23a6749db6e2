// The LV2 entry points as a validating host uses them: instantiate and
// cleanup cycles, hostile port values and time positions, blocks of every
// length, no time information, and run() counted for allocations and locks.

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/lv2/Lv2Host.h"
#include "tests/validator/Interpose.h"
#include "tools/render/DemoSignal.h"

namespace lv2test {
namespace {

using parameters::kFirst;
using parameters::kLast;

constexpr double kRate = 44100.0;
constexpr double kTempo = 120.0;
constexpr std::uint32_t kBar = 88200;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Stereo {
  std::vector<float> left, right;
  bool finite() const {
    for (std::size_t i = 0; i < left.size(); ++i)
      if (!std::isfinite(left[i]) || !std::isfinite(right[i])) return false;
    return true;
  }
  bool silent() const {
    for (std::size_t i = 0; i < left.size(); ++i)
      if (left[i] != 0.0f || right[i] != 0.0f) return false;
    return true;
  }
  bool operator==(const Stereo& o) const {
    return left.size() == o.left.size() &&
           std::memcmp(left.data(), o.left.data(), left.size() * sizeof(float)) == 0 &&
           std::memcmp(right.data(), o.right.data(), right.size() * sizeof(float)) == 0;
  }
};

// The demo's first frames.
struct Demo {
  explicit Demo(std::size_t frames) : left(frames), right(frames) {
    render::Demo demo(kRate, kTempo);
    demo.read(left.data(), right.data(), frames);
  }
  std::vector<float> left, right;
};

using Events = std::vector<std::pair<std::uint32_t, Position>>;  // at song frames

// Plays frames of the demo in blocks of the given sizes (in turn), each
// position in the block that holds its frame; the host sends the start of
// the song at frame 0 unless told not to.
Stereo Play(Instance& plugin, std::uint32_t frames, std::vector<std::uint32_t> blocks = {256},
            bool sendStart = true, const Events& events = {}) {
  static const Demo demo(4 * kBar);
  Stereo out{std::vector<float>(frames, -7.0f), std::vector<float>(frames, -7.0f)};
  if (sendStart) plugin.send(0, Position::At(0.0, kTempo, true, 0));
  for (std::uint32_t at = 0, n = 0; at < frames; ++n) {
    const std::uint32_t count = std::min(frames - at, blocks[n % blocks.size()]);
    for (const auto& [frame, position] : events)
      if (frame >= at && frame < at + count) plugin.send(frame - at, position);
    plugin.run(demo.left.data() + at, demo.right.data() + at, out.left.data() + at, out.right.data() + at,
               count);
    at += count;
  }
  return out;
}

Stereo Fresh(std::uint32_t frames, std::vector<std::uint32_t> blocks = {256}) {
  Instance plugin(kRate);
  plugin.activate();
  return Play(plugin, frames, blocks);
}

TEST(Lv2Validator, InstantiateAndCleanupCycles) {
  for (int cycle = 0; cycle < 40; ++cycle) {
    const double rate = std::array{8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0}[cycle % 7];
    Instance plugin(rate);
    ASSERT_TRUE(plugin.ok()) << rate;
    if (cycle % 3 == 0) continue;  // cleanup of an instance that never ran
    plugin.activate();
    const Stereo out = Play(plugin, 1024);
    EXPECT_TRUE(out.finite());
    plugin.deactivate();
    if (cycle % 2 == 0) {
      plugin.activate();
      Play(plugin, 64);
      plugin.deactivate();
    }
  }
}

TEST(Lv2Validator, RefusesHostsWithoutUridMapAndRatesNoHostRuns) {
  EXPECT_FALSE(Instance(kRate, false).ok());
  for (double rate : {0.0, -44100.0, 0.5, 1e12, std::nan(""), HUGE_VAL, -HUGE_VAL})
    EXPECT_FALSE(Instance(rate).ok()) << rate;
}

TEST(Lv2Validator, ActivateStartsAgainFromSilence) {
  Instance plugin(kRate);
  plugin.activate();
  Play(plugin, kBar / 2);
  plugin.deactivate();
  plugin.activate();
  EXPECT_TRUE(Play(plugin, kBar) == Fresh(kBar));
}

// A port value beyond 0..1, or not a number, plays as the value a VST 2
// host's setParameter would store: clamped, NaN as 0.
struct HostileValue {
  float value, stored;
};
const HostileValue kHostileValues[] = {{kNaN, 0.0f},    {-kNaN, 0.0f},   {kInf, 1.0f}, {-kInf, 0.0f},
                                       {1e30f, 1.0f},   {-1e30f, 0.0f},  {1.5f, 1.0f}, {-0.0f, 0.0f},
                                       {-1e-45f, 0.0f}, {1e-45f, 1e-45f}};

TEST(Lv2Validator, EveryPortAtZeroOneAndHostileValuesPlaysFinite) {
  for (float value : {0.0f, 1.0f}) {
    Instance plugin(kRate);
    for (int slot = kFirst; slot <= kLast; ++slot) plugin.slots[slot] = value;
    plugin.activate();
    const Stereo out = Play(plugin, kBar);
    EXPECT_TRUE(out.finite()) << value;
  }
  for (const HostileValue& h : kHostileValues) {
    SCOPED_TRACE(h.value);
    Instance hostile(kRate), clamped(kRate);
    for (int slot = kFirst; slot <= kLast; ++slot) {
      hostile.slots[slot] = h.value;
      clamped.slots[slot] = h.stored;
    }
    hostile.activate();
    clamped.activate();
    const Stereo out = Play(hostile, kBar / 4);
    EXPECT_TRUE(out.finite());
    EXPECT_TRUE(out == Play(clamped, kBar / 4));
  }
}

TEST(Lv2Validator, EachPortAloneAtAHostileValuePlaysItsClampedValue) {
  for (int slot = kFirst; slot <= kLast; ++slot) {
    for (const HostileValue& h : {kHostileValues[0], kHostileValues[4], kHostileValues[5]}) {
      SCOPED_TRACE(std::string(parameters::name(slot)) + " = " + std::to_string(h.value));
      Instance hostile(kRate), clamped(kRate);
      hostile.slots[slot] = h.value;
      clamped.slots[slot] = h.stored;
      hostile.activate();
      clamped.activate();
      EXPECT_TRUE(Play(hostile, 8192) == Play(clamped, 8192));
    }
  }
}

TEST(Lv2Validator, UnconnectedControlPortsPlayTheirDefaults) {
  Instance plugin(kRate);
  for (int slot = kFirst; slot <= kLast; ++slot) {
    plugin.slots[slot] = 0.0f;
    plugin.disconnectSlot(slot);
  }
  plugin.activate();
  EXPECT_TRUE(Play(plugin, kBar) == Fresh(kBar));
}

// Positions no host should send, each field alone.
Position Bad(int which, double value) {
  Position p = Position::At(2.0, kTempo, true, 44100);
  switch (which) {
    case 0:
      p.bar = static_cast<std::int64_t>(std::isfinite(value) ? value : -1);
      p.barBeat = static_cast<float>(value);
      break;
    case 1:
      p.barBeat = static_cast<float>(value);
      break;
    case 2:
      p.beat = value;
      break;
    case 3:
      p.beatsPerMinute = static_cast<float>(value);
      break;
    case 4:
      p.speed = static_cast<float>(value);
      break;
    case 5:
      p.frame =
          std::isfinite(value) ? static_cast<std::int64_t>(std::fmax(-9e18, std::fmin(9e18, value))) : -1;
      break;
    case 6:
      p.beatUnit =
          static_cast<std::int32_t>(std::isfinite(value) ? std::fmax(-1e9, std::fmin(1e9, value)) : 0);
      break;
    default:
      p.beatsPerBar = static_cast<float>(value);
      break;
  }
  return p;
}

TEST(Lv2Validator, HostileTimePositionsLeaveTheOutputFiniteAndAGoodOneRestoresIt) {
  const double values[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, -1.0, -1e15, 1e15, 0.0, 1e300};
  // Gate only, short decay: after a good position the output is again
  // exactly what a fresh instance plays at that position.
  const auto gateOnly = [](Instance& plugin) {
    plugin.slots[parameters::kFd1Enable] = 0.0f;
    plugin.slots[parameters::kFd2Enable] = 0.0f;
  };
  for (int field = 0; field < 8; ++field) {
    for (double value : values) {
      SCOPED_TRACE("field " + std::to_string(field) + " = " + std::to_string(value));
      Instance plugin(kRate);
      gateOnly(plugin);
      plugin.activate();
      // Two bars after the bad position, the host positions bar 3 (beat 8).
      const Stereo out =
          Play(plugin, 3 * kBar, {4096}, true,
               {{1000, Bad(field, value)}, {2 * kBar, Position::At(8.0, kTempo, true, 2 * kBar)}});
      ASSERT_TRUE(out.finite());

      // The reference plays bar 3 from a fresh start at beat 8.
      Instance fresh(kRate);
      gateOnly(fresh);
      fresh.activate();
      static const Demo demo(4 * kBar);
      Stereo ref{std::vector<float>(kBar), std::vector<float>(kBar)};
      fresh.send(0, Position::At(8.0, kTempo, true, 2 * kBar));
      fresh.run(demo.left.data() + 2 * kBar, demo.right.data() + 2 * kBar, ref.left.data(), ref.right.data(),
                kBar);
      // The gate's state settles within the bar's first step.
      const std::size_t settled = kBar / 16;
      EXPECT_TRUE(
          std::equal(out.left.begin() + 2 * kBar + settled, out.left.end(), ref.left.begin() + settled) &&
          std::equal(out.right.begin() + 2 * kBar + settled, out.right.end(), ref.right.begin() + settled));
    }
  }
}

TEST(Lv2Validator, BlocksOfOneFrameAndLongBlocksPlayAsHostBlocksDo) {
  const Stereo reference = Fresh(kBar);
  EXPECT_TRUE(Fresh(kBar, {1}) == reference);
  EXPECT_TRUE(Fresh(kBar, {kBar}) == reference);
  EXPECT_TRUE(Fresh(kBar, {0, 7, 0, 4096, 0, 1}) == reference);
}

TEST(Lv2Validator, ABlockOfNoFramesWritesNothing) {
  Instance plugin(kRate);
  plugin.activate();
  plugin.send(0, Position::At(0.0, kTempo, true, 0));
  float in[4] = {0.5f, 0.5f, 0.5f, 0.5f}, out[4] = {-3.0f, -3.0f, -3.0f, -3.0f};
  plugin.run(in, in, out, out + 2, 0);
  for (float x : out) EXPECT_EQ(x, -3.0f);
}

TEST(Lv2Validator, WithoutTimeInformationTheOutputIsSilentUntilAPositionArrives) {
  Instance plugin(kRate);
  plugin.activate();
  const Stereo silent = Play(plugin, kBar, {512}, false);
  EXPECT_TRUE(silent.silent());
  EXPECT_EQ(plugin.timeMissing, 1.0f) << "the plug-in reports it";
  // Other atoms are no time information either.
  std::vector<std::uint8_t> notPosition(16, 0);
  reinterpret_cast<LV2_Atom*>(notPosition.data())->size = 8;
  reinterpret_cast<LV2_Atom*>(notPosition.data())->type = plugin.urid(LV2_ATOM__Object);
  reinterpret_cast<std::uint32_t*>(notPosition.data())[3] = plugin.urid(LV2_TIME__Rate);
  plugin.sendRaw(0, notPosition);
  EXPECT_TRUE(Play(plugin, 1024, {1024}, false).silent());

  // A position in the middle of a block: silence before it, sound after.
  static const Demo demo(8192);
  Stereo out{std::vector<float>(8192, -7.0f), std::vector<float>(8192, -7.0f)};
  plugin.send(3000, Position::At(0.0, kTempo, true, 0));
  plugin.run(demo.left.data(), demo.right.data(), out.left.data(), out.right.data(), 8192);
  EXPECT_TRUE(std::all_of(out.left.begin(), out.left.begin() + 3000, [](float x) { return x == 0.0f; }));
  EXPECT_TRUE(std::any_of(out.left.begin() + 3000, out.left.end(), [](float x) { return x != 0.0f; }));
  EXPECT_EQ(plugin.timeMissing, 0.0f) << "the block ended with time information";
}

TEST(Lv2Validator, InPlaceBuffersPlayAsSeparateOnes) {
  static const Demo demo(kBar);
  Instance plugin(kRate);
  plugin.activate();
  plugin.send(0, Position::At(0.0, kTempo, true, 0));
  Stereo buffer{demo.left, demo.right};
  for (std::uint32_t at = 0; at < kBar; at += 441)
    plugin.run(buffer.left.data() + at, buffer.right.data() + at, buffer.left.data() + at,
               buffer.right.data() + at, 441);
  EXPECT_TRUE(buffer == Fresh(kBar));
}

TEST(Lv2Validator, RunNeitherAllocatesNorLocks) {
  if (!validator::interposerActive()) GTEST_SKIP() << "the sanitizer owns the allocator";
  static const Demo demo(kBar);
  Instance plugin(kRate);
  plugin.activate();
  std::vector<float> left(4096), right(4096);
  const auto before = validator::audioCallCounts();
  for (std::uint32_t at = 0, n = 0; at + 4096 <= kBar; at += 4096, ++n) {
    // Positions, hostile ones among them, and parameter changes on the way.
    if (n % 3 == 0) plugin.send(n % 4096, Position::At(n * 0.25, kTempo + n, n % 5 != 4, at));
    if (n % 7 == 3) plugin.send(17, Bad(static_cast<int>(n % 8), std::nan("")));
    plugin.slots[kFirst + n % kLast] = n % 2 ? 1.0f : kNaN;
    plugin.prepare(demo.left.data() + at, demo.right.data() + at, left.data(), right.data());
    const validator::AudioCallScope audio;
    plugin.process(n % 2 ? 4096 : 1);
  }
  const auto after = validator::audioCallCounts();
  EXPECT_EQ(after.allocations - before.allocations, 0u);
  EXPECT_EQ(after.frees - before.frees, 0u);
  EXPECT_EQ(after.locks - before.locks, 0u);
}

}  // namespace
}  // namespace lv2test
