// The units' filters, both lanes at once: first samples, settling, the cutoff's
// limits, a stopped lane and the runaway reset.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "plugin/engine/ResonantFilter.h"
#include "tests/plugin/engine/EngineFixture.h"

namespace {

using engine::Both;
using engine::MakePair;
using engine::Pair;

// Both lanes of the filter at once: FD1 low-pass, FD2 high-pass.
struct Filters {
  engine::ResonantFilter filter;
  Pair Tick(float resonance, float cutoff, float input, Pair run = engine::Mask(true, true)) {
    return filter.FilterTick(run, engine::Mask(false, true), Both(resonance), Both(cutoff), Both(input));
  }
};

TEST(Filter, FirstSampleFromRest) {
  Filters f;
  const Pair out = f.Tick(0.0f, 0.5f, 1.0f);
  EXPECT_EQ(out[0], 0.25) << "low-pass";
  EXPECT_EQ(out[1], 0.75) << "high-pass";
  EXPECT_EQ(f.filter.FilterStage1[0], 0.5);
  EXPECT_EQ(f.filter.FilterStage2[1], 0.25);
}

TEST(Filter, ConstantInputSettlesAndCutoffIsLimited) {
  Filters f;
  Pair out{};
  for (int i = 0; i < 2000; ++i) out = f.Tick(0.0f, 0.3f, 0.8f);
  EXPECT_NEAR(out[0], 0.8, 1e-6);
  EXPECT_NEAR(out[1], 0.0, 1e-6);

  for (auto [outside, limit] : {std::pair{0.05f, 0.1f}, std::pair{0.95f, 0.9f}}) {
    Filters a, b;
    const auto input = enginetest::Noise(500, 3);
    for (int i = 0; i < 500; ++i) {
      const Pair x = a.Tick(0.7f, outside, input.left[i]), y = b.Tick(0.7f, limit, input.left[i]);
      ASSERT_TRUE(x[0] == y[0] && x[1] == y[1]) << outside;
    }
  }
  EXPECT_EQ(engine::ResonantFilter::FeedbackAmount(Both(1.0f), Both(0.9f))[0], 10.999998f) << "11 exactly";
  EXPECT_EQ(engine::ResonantFilter::FeedbackAmount(Both(0.0f), Both(0.9f))[0], 0.0f);
}

TEST(Filter, AStoppedLaneKeepsItsStateAndARunawayRestartsFromRest) {
  // A stage past 1e15 (or NaN) is no sound: the lane that runs restarts
  // from rest and then sounds as a fresh filter does; the stopped lane
  // never moves.
  const auto input = enginetest::Noise(300, 4);
  for (float wild : {3e38f, -1e20f, std::numeric_limits<float>::quiet_NaN()}) {
    Filters f, fresh;
    f.Tick(0.3f, 0.5f, 1.0f);
    const Pair before = f.filter.FilterStage2;
    const Pair run = engine::Mask(true, false);
    for (int i = 0; i < 10; ++i) f.Tick(0.9f, 0.7f, input.left[i], run);
    f.Tick(0.9f, 0.7f, wild, run);
    EXPECT_EQ(f.filter.FilterStage1[0], 0.0) << wild;
    EXPECT_EQ(f.filter.FilterStage2[0], 0.0) << wild;
    for (int i = 10; i < 300; ++i) {
      const Pair a = f.Tick(0.9f, 0.7f, input.left[i], run), b = fresh.Tick(0.9f, 0.7f, input.left[i], run);
      ASSERT_EQ(a[0], b[0]) << wild << " sample " << i;
    }
    EXPECT_EQ(f.filter.FilterStage2[1], before[1]) << "the stopped lane";
  }
}

}  // namespace
