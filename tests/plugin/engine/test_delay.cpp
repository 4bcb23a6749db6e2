// The delay lines through the units' two-lane path: delay times, the ring and
// its limit, wrapping, non-finite writes, a unit left off, planned reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "plugin/engine/AudioEngine.h"
#include "plugin/engine/FdUnits.h"
#include "tests/plugin/engine/EngineTime.h"

namespace {

using engine::Both;
using engine::Pair;
using enginetest::Time;

// FD units with the given delays (in samples) and feedback, the filter out
// of the way; Delay runs one sample of both delay lines.
struct Units {
  std::unique_ptr<engine::FdUnits> fd = std::make_unique<engine::FdUnits>();
  Units(float delay0, float delay1, float feedback, bool enabled1 = true) {
    engine::FdUnits::Settings s{};
    s.Enabled[0] = true;
    s.Enabled[1] = enabled1;
    s.Delay[0] = engine::DelayLine::Limit(delay0);
    s.Delay[1] = engine::DelayLine::Limit(delay1);
    s.Feedback = Both(feedback);
    s.Resonance = Both(0.0);
    s.Volume = Both(1.0);
    s.HighPass = engine::Mask(false, false);
    fd->DeriveBlock(s);
  }
  Pair Delay(float input) {
    fd->PlanSpan(1);
    return fd->DelayTick<false>(input);
  }
};

TEST(Delay, DelayTimeFromTempoAndImpulseRepeats) {
  engine::Settings p = engine::Settings::Defaults();
  p.Fd[0].DelayTime = 0.5f;
  auto e = std::make_unique<engine::AudioEngine>();
  e->DeriveBlock(p, Time(0.0, 120.0), 44100.0f, 1);
  EXPECT_EQ(e->Fd.DelaySeconds[0], 0.25f);

  Units u(11025.0f, 11025.5f, 0.5f);
  std::vector<Pair> out;
  for (int n = 0; n < 22100; ++n) out.push_back(u.Delay(n == 0 ? 1.0f : 0.0f));
  EXPECT_NEAR(out[11025][0], 1.0, 1e-6);
  EXPECT_NEAR(out[22050][0], 0.5, 1e-6);
  EXPECT_NEAR(out[11024][0], 0.0, 1e-6);
  EXPECT_NEAR(out[11026][0], 0.0, 1e-6);
  // Half a sample later: between the cells, on both sides of the impulse.
  EXPECT_GT(out[11025][1], 0.4);
  EXPECT_GT(out[11026][1], 0.4);
}

TEST(Delay, ZeroReadsTheOldestCellAndLongerDelaysAreLimitedToTheRing) {
  constexpr int kRing = engine::DelayLine::kRing;
  for (float delay : {0.0f, 192000.0f, 250000.0f, 1e30f, std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN()}) {
    Units fill(100.0f, 100.0f, 0.0f);
    for (int n = 0; n < kRing; ++n) fill.Delay(static_cast<float>(n % 1000) / 1000.0f);
    Units u(delay, delay, 0.0f);
    u.fd->Line[0] = fill.fd->Line[0];
    // Cell 0 holds what was written a full ring ago.
    for (int n = 0; n < 50; ++n)
      ASSERT_NEAR(u.Delay(0.0f)[0], static_cast<float>(n % 1000) / 1000.0f, 1e-6) << delay;
  }
}

TEST(Delay, FractionalReadBelowCellZeroUsesTheRingsLastCell) {
  Units u(0.5f, 0.5f, 0.0f);
  u.fd->Line[0].Cells[191999] = 1.0f;
  u.fd->Line[0].WriteIndex = 1;
  EXPECT_EQ(u.Delay(0.0f)[0], -0.0625);
}

TEST(Delay, NoGlitchWhereTheRingWraps) {
  Units u(100.0f, 100.0f, 0.0f);
  auto x = [](int n) { return static_cast<float>((n * 7) % 1001) / 1001.0f; };
  for (int n = 0; n < 3 * 192000 + 10; ++n) {
    const double out = u.Delay(x(n))[0];
    if (n >= 100) {
      ASSERT_NEAR(out, x(n - 100), 1e-6) << n;
    }
  }
}

TEST(Delay, NonFiniteWritesNeverEnterTheRing) {
  Units u(10.0f, 10.0f, 1.0f);
  for (int n = 0; n < 41; ++n) u.Delay(std::numeric_limits<float>::max());
  for (float cell : u.fd->Line[0].Cells) ASSERT_TRUE(std::isfinite(cell));
}

TEST(Delay, AUnitThatIsOffKeepsItsLineAndWritePosition) {
  Units on(3.0f, 3.0f, 0.0f), off(3.0f, 3.0f, 0.0f, false);
  for (int n = 0; n < 10; ++n) on.Delay(1.0f), off.Delay(1.0f);
  EXPECT_EQ(on.fd->Line[1].WriteIndex, 10);
  EXPECT_EQ(off.fd->Line[1].WriteIndex, 0);
  EXPECT_EQ(off.fd->Line[1].Cells[0], 0.0f);
  EXPECT_EQ(off.fd->Line[0].WriteIndex, 10) << "the other unit runs on";
}

// The read position follows the write index by a fixed amount through each
// planned span: every read of a span lands on the cell and fraction the
// read position itself gives, at the ends of float binades, at the ring's
// end and for whole-number positions of either parity.
TEST(Delay, PlannedReadsLandWhereTheReadPositionSays) {
  constexpr int kRing = engine::DelayLine::kRing;
  const float delays[] = {0.0f,      0.5f,      1.0f,      2.0f,      3.0f,      100.25f,
                          6000.0f,   11025.5f,  16383.7f,  16384.0f,  65535.99f, 65536.0f,
                          131072.0f, 191999.5f, 192000.0f, 1.0f / 64, 7.0f / 3};
  const std::int32_t starts[] = {0,     1,     2,     3,      16383,  16384,  16385,
                                 32767, 65535, 65536, 100000, 131071, 191990, 191999};
  auto line = std::make_unique<engine::DelayLine>();
  int spans = 0;
  for (float delay : delays) {
    for (std::int32_t start : starts) {
      line->WriteIndex = start;
      while (line->WriteIndex < std::min(start + 70000, kRing - 1)) {
        const engine::DelayLine::Plan plan = line->PlanRun(delay, 8192);
        ASSERT_GT(plan.End, line->WriteIndex);
        ++spans;
        for (; line->WriteIndex < plan.End; ++line->WriteIndex) {
          const auto planned = line->LocatePlanned(plan), exact = line->Locate(delay);
          ASSERT_TRUE(planned.Cell == exact.Cell && planned.Fraction == exact.Fraction)
              << "delay " << delay << " write index " << line->WriteIndex;
        }
      }
    }
  }
  EXPECT_GT(spans, 500);
}

}  // namespace
