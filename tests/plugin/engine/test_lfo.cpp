// Both LFOs: ramps, turning points, a ramp of zero, a halved period.

#include <gtest/gtest.h>

#include "plugin/engine/TriangleLfo.h"

namespace {

using engine::Pair;

TEST(Lfo, RampTurningPointAndCycle) {
  engine::TriangleLfo lfo;
  lfo.DeriveRamps(88200, 0.1f, 0.2f);
  EXPECT_NEAR(lfo.LfoRamp[0], 44100.0007, 1e-4);
  int turnCount = 0, cycle = 0;
  double lowest = 1.0;
  for (int n = 1; n <= 88202 * 2; ++n) {
    // A new block now and then: the turning points hold across blocks.
    if (n % 1000 == 0) lfo.DeriveRamps(88200, 0.1f, 0.2f);
    lfo.Tick();
    if (lfo.LfoValue[0] < lowest) lowest = lfo.LfoValue[0], turnCount = lfo.LfoCount(0);
    if (lfo.LfoCount(0) == 0 && cycle == 0) cycle = n;
  }
  EXPECT_EQ(turnCount, 44101);
  EXPECT_NEAR(lowest, -1.0000453, 1e-7);
  EXPECT_EQ(cycle, 88202);
  // The second LFO on its own ramp (88200.0013): one cycle of 2 x 88201
  // samples, two samples into the next.
  EXPECT_EQ(lfo.LfoCount(1), 2);
  EXPECT_EQ(lfo.LfoDirection(1), 1);
}

TEST(Lfo, RampOfZeroHoldsAFiniteValue) {
  engine::TriangleLfo lfo;
  lfo.DeriveRamps(88200, 0.2f, 0.2f);
  for (int n = 0; n < 1000; ++n) lfo.Tick();
  const Pair before = lfo.LfoValue;
  lfo.DeriveRamps(88200, 0.0f, 0.2f);
  for (int n = 0; n < 1000; ++n) {
    lfo.Tick();
    ASSERT_EQ(lfo.LfoValue[0], before[0]);
  }
  EXPECT_LT(lfo.LfoValue[1], before[1]) << "the other LFO moves on";
}

TEST(Lfo, HalvingThePeriodDropsBelowMinusOneUntilTheCountIsBack) {
  engine::TriangleLfo lfo;
  lfo.DeriveRamps(88200, 0.8f, 0.8f);
  for (int n = 0; n < 300000; ++n) lfo.Tick();
  lfo.DeriveRamps(88200, 0.4f, 0.8f);  // ramp 176400, count at 300000
  lfo.Tick();
  EXPECT_LT(lfo.LfoValue[0], -1.0);
  EXPECT_EQ(lfo.LfoDirection(0), -1);
  EXPECT_EQ(lfo.LfoDirection(1), 1);
}

}  // namespace
