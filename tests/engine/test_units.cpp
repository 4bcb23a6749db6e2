// The engine's units on their own: the figures of tempo tracking, gate,
// filter, delay line and LFO, and the guards for values no song has.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "plugin/engine/AudioEngine.h"
#include "plugin/engine/Rounding.h"
#include "tests/engine/EngineFixture.h"

namespace {

using engine::HostTime;
using engine::TransportTracker;
using enginetest::kPlayingFlags;
using namespace parameters;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Rounding, WholePartIsFloorExceptOddWholeNumbers) {
  const struct {
    double x;
    std::int64_t whole;
  } cases[] = {{3.0, 2}, {4.0, 4}, {2.7, 2}, {0.5, 0}, {-0.25, -1}, {5.0, 4}, {0.0, 0}, {1.0, 0}, {-1.0, -2}};
  for (const auto& c : cases) EXPECT_EQ(engine::WholePart(c.x), c.whole) << c.x;
  EXPECT_EQ(engine::Nearest(220.5), 220);
  EXPECT_EQ(engine::Nearest(221.5), 222);
}

// ---- tempo and transport ----------------------------------------------------

TransportTracker Derived(double rate, double tempo, double ppq = 0.0, std::int32_t flags = kPlayingFlags,
                         std::int32_t frames = 0) {
  TransportTracker t;
  t.DeriveLengths(HostTime{0.0, ppq, tempo, flags}, rate);
  t.DeriveTransport(flags, frames, 0.0f);
  return t;
}

TEST(Transport, BarAndStepLengths) {
  const struct {
    double rate, tempo;
    int bar;
    float step;
    int half;
  } cases[] = {{44100, 120, 88200, 5512, 2756},
               {48000, 140, 82286, 5143, 2571},
               {44100, 128, 82688, 5168, 2584},
               {96000, 90, 256000, 16000, 8000}};
  for (const auto& c : cases) {
    const TransportTracker t = Derived(c.rate, c.tempo);
    EXPECT_EQ(t.BarSamples, c.bar) << c.rate << " Hz, " << c.tempo << " BPM";
    EXPECT_EQ(t.StepSamples, c.step);
    EXPECT_EQ(t.HalfStep, c.half);
  }
}

// The step of every sample of one block from the given position.
std::vector<int> Steps(TransportTracker& t, int frames, float shuffle = 0.0f) {
  std::vector<int> steps;
  for (int k = 0; k < frames; ++k) {
    t.PositionTick(k, shuffle);
    t.PreviousStep = t.CurrentStep;
    steps.push_back(t.CurrentStep);
  }
  return steps;
}

TEST(Transport, StepBoundariesAndWholePartOnEvenStepStarts) {
  TransportTracker t = Derived(44100, 120);
  const std::vector<int> steps = Steps(t, 11026);
  EXPECT_EQ(steps[0], 1);
  EXPECT_EQ(steps[5512], 1) << "5512.5 is the boundary";
  EXPECT_EQ(steps[5513], 2);
  EXPECT_EQ(steps[11024], 2);
  EXPECT_EQ(steps[11025], 3);

  // Exactly five steps in (1.25 beats): read as step 5 for that one sample.
  TransportTracker u = Derived(44100, 120, 1.25);
  const std::vector<int> at5 = Steps(u, 2);
  EXPECT_EQ(at5[0], 5);
  EXPECT_EQ(at5[1], 6);
}

TEST(Transport, ShuffleDelaysEvenStepsOnly) {
  TransportTracker t = Derived(44100, 120);
  const std::vector<int> steps = Steps(t, 16540, 0.5f);
  EXPECT_EQ(t.ShuffleShift, 1378.0);
  EXPECT_EQ(steps[6890], 1) << "step 2 begins at 5512.5 + 1378";
  EXPECT_EQ(steps[6891], 2);
  EXPECT_EQ(steps[11024], 2);
  EXPECT_EQ(steps[11025], 3) << "step 3 on time";
}

TEST(Transport, StoppedPositionCyclesThroughTheWholeBar) {
  TransportTracker t = Derived(44100, 120, 0.0, kVstPpqPosValid | kVstTempoValid);
  double last = -1.0;
  int wraps = 0;
  for (int k = 0; k < 2 * 88201; ++k) {
    t.PositionTick(k, 0.0f);
    if (t.BarPosition < last) {
      ++wraps;
      EXPECT_EQ(last, 88200.0);
      EXPECT_EQ(t.BarPosition, 0.0);
    }
    last = t.BarPosition;
  }
  EXPECT_EQ(wraps, 2) << "a period of 88201 samples";
}

TEST(Transport, StartOrJumpBeginsTheStepUnderThePlayPosition) {
  constexpr std::int32_t kStart = kPlayingFlags | kVstTransportChanged;
  TransportTracker t;
  auto block = [&](double ppq, std::int32_t flags, int frames, float shuffle = 0.0f) {
    t.DeriveLengths(HostTime{0.0, ppq, 120.0, flags}, 44100.0);
    t.DeriveTransport(flags, frames, shuffle);
  };
  // Stopped, then a start inside step 3: the first sample is a change into
  // step 3.
  block(0.0, kVstPpqPosValid | kVstTempoValid, 512);
  Steps(t, 512);
  block(0.55, kStart, 512);
  EXPECT_EQ(t.PreviousStep, 0);
  EXPECT_EQ(Steps(t, 1)[0], 3);
  Steps(t, 511);
  // The changed bit on a block that continues the last one resets nothing.
  const int before = t.CurrentStep;
  block(0.55 + 512 / 22050.0, kStart, 512);
  EXPECT_EQ(t.CurrentStep, before);
  EXPECT_EQ(t.PreviousStep, before);
  // A jump with the bit does, into step 1 as into any other.
  Steps(t, 512);
  block(4.0, kStart, 512);
  EXPECT_EQ(t.PreviousStep, 0);
  EXPECT_EQ(Steps(t, 1)[0], 1);
  // A start without the bit (some hosts never set it) is a start too.
  block(1.0, kVstPpqPosValid | kVstTempoValid, 512);
  Steps(t, 512);
  block(1.0, kPlayingFlags, 512);
  EXPECT_EQ(t.PreviousStep, 0);
  EXPECT_EQ(Steps(t, 1)[0], 5);

  // With shuffle 1 even steps begin half a step late: a start in the first
  // half of step 4's sixteenth is still step 3, in its second half step 4.
  const struct {
    double ppq;
    int step;
  } shuffled[] = {
      {1.0 + 0.25 * 0.1, 5}, {0.75 + 0.25 * 0.3, 3}, {0.75 + 0.25 * 0.7, 4}, {0.5 + 0.25 * 0.9, 3}};
  for (const auto& c : shuffled) {
    block(0.0, kVstPpqPosValid | kVstTempoValid, 64, 1.0f);
    block(c.ppq, kStart, 64, 1.0f);
    EXPECT_EQ(Steps(t, 1, 1.0f)[0], c.step) << c.ppq;
  }
}

TEST(Transport, HostRoundingNeverStepsBackwards) {
  // Positions rounded to 1/1920 beat (as one host sends them) around the
  // boundary of steps 1 and 2: the step sequence is the one of exact positions.
  TransportTracker exact, rounded;
  std::vector<int> a, b;
  for (int block = 0; block < 40; ++block) {
    const double ppq = block * 256 / 22050.0;
    const double jittered = std::round(ppq * 1920.0) / 1920.0;
    exact.DeriveLengths(HostTime{0.0, ppq, 120.0, kPlayingFlags}, 44100.0);
    exact.DeriveTransport(kPlayingFlags, 256, 0.0f);
    rounded.DeriveLengths(HostTime{0.0, jittered, 120.0, kPlayingFlags | kVstTransportChanged}, 44100.0);
    rounded.DeriveTransport(kPlayingFlags | kVstTransportChanged, 256, 0.0f);
    for (int s : Steps(exact, 256)) a.push_back(s);
    for (int s : Steps(rounded, 256)) b.push_back(s);
  }
  EXPECT_EQ(a, b);
  for (std::size_t i = 1; i < b.size(); ++i) ASSERT_GE(b[i], b[i - 1]) << i;
}

TEST(Transport, MissingValidBitsUseSamplePositionAndTheLastTempo) {
  TransportTracker t;
  t.DeriveLengths(HostTime{0.0, 0.0, 60.0, kVstTransportPlaying | kVstPpqPosValid}, 44100.0);
  EXPECT_EQ(t.Tempo, 120.0) << "120 until a valid tempo arrives";
  t.DeriveLengths(HostTime{0.0, 0.0, 140.0, kPlayingFlags}, 44100.0);
  t.DeriveLengths(HostTime{0.0, 0.0, 60.0, kVstTransportPlaying | kVstPpqPosValid}, 44100.0);
  EXPECT_EQ(t.Tempo, 140.0);
  // One and a half beats at 120 BPM, from samplePos alone.
  t.DeriveLengths(HostTime{33075.0, 0.0, 120.0, kVstTransportPlaying | kVstTempoValid}, 44100.0);
  EXPECT_EQ(t.BeatInBar, 1);
  EXPECT_EQ(t.BeatFraction, 0.5f);
}

TEST(Transport, UnusableTimesKeepBarPositiveAndStepInRange) {
  const double tempos[] = {0.0, -120.0, kNaN, kInf, -kInf, 1e-300, 1e300, 4.9e-324};
  const double positions[] = {-1.0, -0.25, -1e9, kNaN, kInf, -kInf, 2147483648.5, 1e300, 3.0e12};
  for (double tempo : tempos) {
    for (double ppq : positions) {
      for (std::int32_t flags : {kPlayingFlags, kPlayingFlags | kVstTransportChanged, std::int32_t{kVstTempoValid}}) {
        TransportTracker t;
        t.DeriveLengths(HostTime{ppq, ppq, tempo, flags}, 44100.0);
        t.DeriveTransport(flags, 200000, 1.0f);
        ASSERT_GE(t.BarSamples, TransportTracker::kMinBarSamples);
        ASSERT_LE(t.BarSamples, TransportTracker::kMaxBarSamples);
        ASSERT_TRUE(std::isfinite(t.Tempo) && t.Tempo > 0.0);
        // A block four bars long at the smallest bar length.
        for (int k = 0; k < 200000; k += 997) {
          t.PositionTick(k, 1.0f);
          ASSERT_TRUE(t.CurrentStep >= 1 && t.CurrentStep <= 16) << tempo << " " << ppq << " " << k;
        }
      }
    }
  }
}

TEST(Transport, BlocksLongerThanABarKeepCountingSteps) {
  TransportTracker t = Derived(44100, 120, 0.0, kPlayingFlags, 88200 * 3);
  const std::vector<int> steps = Steps(t, 88200 * 3);
  EXPECT_EQ(steps[88200 + 5513], 2) << "the second bar counts like the first";
  EXPECT_EQ(steps[2 * 88200 + 11025], 3);
}

// ---- gate -------------------------------------------------------------------

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

// The whole engine from silence with the given slots; returns the gate level
// of each sample.
std::vector<float> GateLevels(enginetest::Params& p, int frames, std::int32_t flags) {
  auto e = std::make_unique<AudioEngine>();
  e->DeriveBlock(p.data(), HostTime{0.0, 0.0, 120.0, flags}, 44100.0f, frames);
  std::vector<float> levels;
  for (int k = 0; k < frames; ++k) {
    float l, r;
    e->ProcessSample(0.0f, 0.0f, k, l, r);
    levels.push_back(e->gate.GateLevel);
  }
  return levels;
}

TEST(Gate, AttackRunningIntoAnOffStep) {
  enginetest::Params p;
  for (int i = 0; i < 16; ++i) p.set(kStep1 + i, 0.0f), p.set(kTie1 + i, 0.0f);
  p.set(kStep1, 1.0f);
  p.set(kGateAttack, 1.0f);
  p.set(kGateDecay, 1.0f);
  // The first block plays without the transport-changed bit, so its first
  // sample triggers step 1 from silence.
  const std::vector<float> level = GateLevels(p, 6000, kPlayingFlags);
  EXPECT_NEAR(level[5512], 0.4714, 1e-4);
  EXPECT_NEAR(level[5513], 0.4895, 1e-4);
}

TEST(Gate, AllStepsOffDiesWithinTheClickGuard) {
  enginetest::Params p;
  for (int i = 0; i < 16; ++i) p.set(kStep1 + i, 0.0f), p.set(kTie1 + i, 0.0f);
  const std::vector<float> level = GateLevels(p, 1000, kPlayingFlags);
  EXPECT_GT(level[0], 0.0f);
  EXPECT_EQ(level[220], 0.0f);
  EXPECT_EQ(level[999], 0.0f);
}

// ---- filter -----------------------------------------------------------------

TEST(Filter, FirstSampleFromRest) {
  engine::ResonantFilter low, high;
  EXPECT_EQ(low.FilterTick(0.0f, 0.0f, 0.5f, 1.0f), 0.25f);
  EXPECT_EQ(low.FilterStage1, 0.5f);
  EXPECT_EQ(high.FilterTick(1.0f, 0.0f, 0.5f, 1.0f), 0.75f);
  const float out = high.FilterTick(0.5f, 0.0f, 0.5f, 0.0f);
  EXPECT_EQ(out, -high.FilterStage2) << "mode 0.5 is the high-pass";
}

TEST(Filter, ConstantInputSettlesAndCutoffIsLimited) {
  engine::ResonantFilter low, high;
  float l = 0, h = 1;
  for (int i = 0; i < 2000; ++i) l = low.FilterTick(0.0f, 0.0f, 0.3f, 0.8f), h = high.FilterTick(1.0f, 0.0f, 0.3f, 0.8f);
  EXPECT_NEAR(l, 0.8f, 1e-6);
  EXPECT_NEAR(h, 0.0f, 1e-6);

  for (auto [outside, limit] : {std::pair{0.05f, 0.1f}, std::pair{0.95f, 0.9f}}) {
    engine::ResonantFilter a, b;
    const auto input = enginetest::Noise(500, 3);
    for (int i = 0; i < 500; ++i)
      ASSERT_EQ(a.FilterTick(0.0f, 0.7f, outside, input.left[i]), b.FilterTick(0.0f, 0.7f, limit, input.left[i]));
  }
  EXPECT_EQ(engine::ResonantFilter::FeedbackAmount(1.0f, 0.9f), 10.999998f) << "11 in exact arithmetic";
  EXPECT_EQ(engine::ResonantFilter::FeedbackAmount(0.0f, 0.9f), 0.0f);
}

// ---- delay line -------------------------------------------------------------

TEST(Delay, DelayTimeFromTempoAndImpulseRepeats) {
  enginetest::Params p;
  p.set(kFd1DelayTime, 0.5f);
  auto e = std::make_unique<AudioEngine>();
  e->DeriveBlock(p.data(), HostTime{0.0, 0.0, 120.0, kPlayingFlags}, 44100.0f, 1);
  float l, r;
  e->ProcessSample(0.0f, 0.0f, 0, l, r);
  EXPECT_EQ(e->fd[0].DelaySeconds, 0.25f);

  auto line = std::make_unique<engine::DelayLine>();
  std::vector<float> out;
  for (int n = 0; n < 22100; ++n) out.push_back(line->DelayTick(n == 0 ? 1.0f : 0.0f, 0.5f, 11025.0f));
  EXPECT_NEAR(out[11025], 1.0f, 1e-6);
  EXPECT_NEAR(out[22050], 0.5f, 1e-6);
  EXPECT_NEAR(out[11024], 0.0f, 1e-6);
  EXPECT_NEAR(out[11026], 0.0f, 1e-6);
}

TEST(Delay, ZeroReadsTheOldestCellAndLongerDelaysAreLimitedToTheRing) {
  constexpr int kRing = engine::DelayLine::kRing;
  for (float delay : {0.0f, 192000.0f, 250000.0f, 1e30f, std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN()}) {
    auto line = std::make_unique<engine::DelayLine>();
    for (int n = 0; n < kRing; ++n) line->DelayTick(static_cast<float>(n % 1000) / 1000.0f, 0.0f, 100.0f);
    // Cell 0 holds what was written a full ring ago.
    for (int n = 0; n < 50; ++n)
      ASSERT_NEAR(line->DelayTick(0.0f, 0.0f, delay), static_cast<float>(n % 1000) / 1000.0f, 1e-6) << delay;
  }
}

TEST(Delay, FractionalReadBelowCellZeroUsesTheRingsLastCell) {
  auto line = std::make_unique<engine::DelayLine>();
  line->cells[191999] = 1.0f;
  line->WriteIndex = 1;
  EXPECT_EQ(line->DelayTick(0.0f, 0.0f, 0.5f), -0.0625f);
}

TEST(Delay, NoGlitchWhereTheRingWraps) {
  auto line = std::make_unique<engine::DelayLine>();
  auto x = [](int n) { return static_cast<float>((n * 7) % 1001) / 1001.0f; };
  for (int n = 0; n < 3 * 192000 + 10; ++n) {
    const float out = line->DelayTick(x(n), 0.0f, 100.0f);
    if (n >= 100) {
      ASSERT_NEAR(out, x(n - 100), 1e-6) << n;
    }
  }
}

TEST(Delay, NonFiniteWritesNeverEnterTheRing) {
  auto line = std::make_unique<engine::DelayLine>();
  line->DelayTick(std::numeric_limits<float>::max(), 1.0f, 10.0f);
  for (int n = 0; n < 40; ++n) line->DelayTick(std::numeric_limits<float>::max(), 1.0f, 10.0f);
  for (float cell : line->cells) ASSERT_TRUE(std::isfinite(cell));
}

// ---- LFO --------------------------------------------------------------------

TEST(Lfo, RampTurningPointAndCycle) {
  engine::TriangleLfo lfo;
  lfo.DeriveRamp(88200, 0.1f);
  EXPECT_NEAR(lfo.LfoRamp, 44100.0007, 1e-4);
  int turnCount = 0, cycle = 0;
  float lowest = 1.0f;
  for (int n = 1; n <= 88202 * 2; ++n) {
    lfo.Tick();
    if (lfo.LfoValue < lowest) lowest = lfo.LfoValue, turnCount = lfo.LfoCount;
    if (lfo.LfoCount == 0 && cycle == 0) cycle = n;
  }
  EXPECT_EQ(turnCount, 44101);
  EXPECT_NEAR(lowest, -1.0000453f, 1e-7);
  EXPECT_EQ(cycle, 88202);
}

TEST(Lfo, RampOfZeroHoldsAFiniteValue) {
  engine::TriangleLfo lfo;
  lfo.DeriveRamp(88200, 0.2f);
  for (int n = 0; n < 1000; ++n) lfo.Tick();
  const float before = lfo.LfoValue;
  lfo.DeriveRamp(88200, 0.0f);
  for (int n = 0; n < 1000; ++n) {
    lfo.Tick();
    ASSERT_EQ(lfo.LfoValue, before);
  }
}

TEST(Lfo, HalvingThePeriodDropsBelowMinusOneUntilTheCountIsBack) {
  engine::TriangleLfo lfo;
  lfo.DeriveRamp(88200, 0.8f);
  for (int n = 0; n < 300000; ++n) lfo.Tick();
  lfo.DeriveRamp(88200, 0.4f);  // ramp 176400, count at 300000
  lfo.Tick();
  EXPECT_LT(lfo.LfoValue, -1.0f);
  EXPECT_EQ(lfo.LfoDirection, -1);
}

}  // namespace

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
