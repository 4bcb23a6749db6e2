// The gate's envelope: ramps, ties, levels below zero, and ramps that shrink.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "plugin/engine/AudioEngine.h"
#include "plugin/engine/GateSequencer.h"
#include "tests/plugin/engine/EngineTime.h"

namespace {

using enginetest::Time;

TEST(Gate, RampFromSilence) {
  engine::GateSequencer gate;
  gate.DeriveLengths(5512.0f, 0.0f, 0.5f);
  EXPECT_EQ(gate.AttackLength, 220.0f);
  EXPECT_EQ(gate.DecayLength, 5732.0f);
  gate.GateLevel = 0.0f;
  gate.StepChange(true, false);
  std::vector<float> level;
  for (int i = 0; i < 5800; ++i) {
    gate.LevelTick();
    level.push_back(gate.GateLevel);
    gate.Countdown();
  }
  EXPECT_EQ(level[0], 0.0f) << "a step starts from the level before";
  EXPECT_NEAR(level[220], 1.0 - 220.0 / 5732.0, 1e-6);
  EXPECT_NEAR(level[220], 0.9616, 1e-4);
  EXPECT_GT(level[5731], 0.0f);
  EXPECT_EQ(level[5732], 0.0f);
}

TEST(Gate, TieHoldsAndAttackLongerThanDecayGoesBelowZero) {
  engine::GateSequencer gate;
  gate.DeriveLengths(5512.0f, 1.0f, 0.0f);  // attack 5732, decay 220
  gate.StepChange(true, false);
  float lowest = 1.0f;
  for (int i = 0; i < 5732; ++i) {
    gate.LevelTick();
    if (i > 0) {
      EXPECT_LE(gate.GateLevel, 0.0f) << i;
    }
    lowest = std::min(lowest, gate.GateLevel);
    gate.Countdown();
  }
  EXPECT_LT(lowest, -0.5f) << "inverted polarity while the attack runs; nothing clamps it";

  engine::GateSequencer tied;
  tied.DeriveLengths(5512.0f, 0.0f, 1.0f);
  tied.StepChange(true, false);
  for (int i = 0; i < 1000; ++i) tied.LevelTick(), tied.Countdown();
  tied.LevelTick();
  const float held = tied.GateLevel;
  tied.StepChange(false, true);  // a tied step that is off
  for (int i = 0; i < 3000; ++i) {
    tied.LevelTick();
    ASSERT_EQ(tied.GateLevel, held) << i;
    tied.Countdown();
  }
}

// The whole engine from silence with the given slots, one sample per block
// from song position 0 at 120 BPM; returns the gate level of each sample.
std::vector<float> GateLevels(const engine::Settings& settings, int frames) {
  auto e = std::make_unique<engine::AudioEngine>();
  std::vector<float> levels;
  float in = 0.0f, outL, outR;
  float* ins[2] = {&in, &in};
  float* outs[2] = {&outL, &outR};
  for (int k = 0; k < frames; ++k) {
    e->ProcessBlock(settings, Time(k / 22050.0, 120.0), 44100.0f, ins, outs, 1, false);
    levels.push_back(e->Gate.GateLevel);
  }
  return levels;
}

TEST(Gate, AttackRunningIntoAnOffStep) {
  engine::Settings p = engine::Settings::Defaults();
  for (int i = 0; i < 16; ++i) p.Step[i] = p.Tie[i] = 0.0f;
  p.Step[0] = 1.0f;
  p.GateAttack = 1.0f;
  p.GateDecay = 1.0f;
  // The first block plays without the transport-changed bit, so its first
  // sample triggers step 1 from silence.
  const std::vector<float> level = GateLevels(p, 6000);
  EXPECT_NEAR(level[5512], 0.4714, 1e-4);
  EXPECT_NEAR(level[5513], 0.4895, 1e-4);
}

TEST(Gate, AllStepsOffDiesWithinTheClickGuard) {
  engine::Settings p = engine::Settings::Defaults();
  for (int i = 0; i < 16; ++i) p.Step[i] = p.Tie[i] = 0.0f;
  const std::vector<float> level = GateLevels(p, 1000);
  EXPECT_GT(level[0], 0.0f);
  EXPECT_EQ(level[220], 0.0f);
  EXPECT_EQ(level[999], 0.0f);
}

// A ramp whose length shrinks below its remaining count (a lower sample rate,
// or "Gate Decay" turned down in mid-ramp) never lifts the level above 1, and
// the envelope stays finite however often it happens.
TEST(Gate, ShrinkingRampsKeepTheLevelAtMostOne) {
  engine::GateSequencer gate;
  for (int round = 0; round < 50; ++round) {
    gate.DeriveLengths(48000.0f, 0.955f, 1.0f);  // a step at 384 kHz
    gate.StepChange(true, false);
    for (int k = 0; k < 100; ++k) {
      gate.LevelTick();
      gate.Countdown();
    }
    gate.DeriveLengths(1000.0f, 0.955f, 0.1f);  // the same step at 8 kHz
    for (int k = 0; k < 3000; ++k) {
      if (k % 1000 == 500) gate.StepChange(k % 2000 == 1500, false);  // off, on, off
      gate.LevelTick();
      ASSERT_LE(gate.GateLevel, 1.0f) << "round " << round << " sample " << k;
      ASSERT_TRUE(std::isfinite(gate.AttackDepth));
      gate.Countdown();
    }
  }
}

}  // namespace
