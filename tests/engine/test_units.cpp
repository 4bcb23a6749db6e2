// The engine's units on their own: the figures of tempo tracking, gate,
// filter, delay line and LFO, and the guards for values no song has.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "plugin/engine/AudioEngine.h"
#include "plugin/engine/Rounding.h"
#include "tests/engine/EngineFixture.h"
#include "tests/engine/EngineTime.h"

namespace {

using engine::TransportTracker;
using enginetest::kPlaying;
using enginetest::kStarting;
using enginetest::kStopped;
using enginetest::Time;
using enginetest::TimeState;

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

TransportTracker Derived(double rate, double tempo, double ppq = 0.0, TimeState state = kPlaying,
                         std::int32_t frames = 0, float shuffle = 0.0f) {
  TransportTracker t;
  t.DeriveLengths(Time(ppq, tempo, state), rate);
  t.DeriveTransport(Time(ppq, tempo, state), frames, shuffle);
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
  TransportTracker t = Derived(44100, 120, 0.0, kPlaying, 16540, 0.5f);
  const std::vector<int> steps = Steps(t, 16540, 0.5f);
  EXPECT_EQ(t.ShuffleShift, 1378.0);
  EXPECT_EQ(steps[6890], 1) << "step 2 begins at 5512.5 + 1378";
  EXPECT_EQ(steps[6891], 2);
  EXPECT_EQ(steps[11024], 2);
  EXPECT_EQ(steps[11025], 3) << "step 3 on time";
}

TEST(Transport, StoppedPositionCyclesThroughTheWholeBar) {
  TransportTracker t = Derived(44100, 120, 0.0, kStopped);
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
  constexpr TimeState kStart = kStarting;
  TransportTracker t;
  auto block = [&](double ppq, TimeState state, int frames, float shuffle = 0.0f) {
    t.DeriveLengths(Time(ppq, 120.0, state), 44100.0);
    t.DeriveTransport(Time(ppq, 120.0, state), frames, shuffle);
  };
  // Stopped, then a start inside step 3: the first sample is a change into
  // step 3.
  block(0.0, kStopped, 512);
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
  block(1.0, kStopped, 512);
  Steps(t, 512);
  block(1.0, kPlaying, 512);
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
    block(0.0, kStopped, 64, 1.0f);
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
    exact.DeriveLengths(Time(ppq, 120.0), 44100.0);
    exact.DeriveTransport(Time(ppq, 120.0), 256, 0.0f);
    rounded.DeriveLengths(Time(jittered, 120.0, kStarting), 44100.0);
    rounded.DeriveTransport(Time(jittered, 120.0, kStarting), 256, 0.0f);
    for (int s : Steps(exact, 256)) a.push_back(s);
    for (int s : Steps(rounded, 256)) b.push_back(s);
  }
  EXPECT_EQ(a, b);
  for (std::size_t i = 1; i < b.size(); ++i) ASSERT_GE(b[i], b[i - 1]) << i;
}

TEST(Transport, ToleranceTellsAHostsRoundingFromAJump) {
  // A block that disagrees with the clock by less than 1/480 beat (at
  // least 32 samples) continues it, even with the changed bit; more is a
  // jump, which restarts the step. Offsets in samples, either way.
  const struct {
    double tempo;
    double within, beyond;
  } cases[] = {{120.0, 45.0, 47.0}, {999.0, 31.0, 33.0}, {60.0, 91.0, 93.0}};
  for (const auto& c : cases) {
    for (double sign : {1.0, -1.0}) {
      for (double offset : {c.within, c.beyond}) {
        const double perSample = c.tempo / (60.0 * 44100.0);
        TransportTracker t;
        const double start = 0.3;  // inside step 2, well away from its ends
        t.DeriveLengths(Time(start, c.tempo, kStarting), 44100.0);
        t.DeriveTransport(Time(start, c.tempo, kStarting), 64, 0.0f);
        Steps(t, 64);
        const engine::TimeRecord next = Time(start + (64 + sign * offset) * perSample, c.tempo, kStarting);
        t.DeriveLengths(next, 44100.0);
        t.DeriveTransport(next, 64, 0.0f);
        const bool jumped = t.PreviousStep == 0;
        EXPECT_EQ(jumped, offset == c.beyond) << c.tempo << " BPM, " << sign * offset << " samples";
      }
    }
  }
}

TEST(Transport, MissingValidBitsUseSamplePositionAndTheLastTempo) {
  TransportTracker t;
  constexpr TimeState kNoTempo{true, false, true, false}, kNoBeats{true, false, false, true};
  t.DeriveLengths(Time(0.0, 60.0, kNoTempo), 44100.0);
  EXPECT_EQ(t.Tempo, 120.0) << "120 until a valid tempo arrives";
  t.DeriveLengths(Time(0.0, 140.0), 44100.0);
  t.DeriveLengths(Time(0.0, 60.0, kNoTempo), 44100.0);
  EXPECT_EQ(t.Tempo, 140.0);
  // One and a half beats at 120 BPM, from the sample position alone.
  t.DeriveLengths(Time(0.0, 120.0, kNoBeats, 33075.0), 44100.0);
  EXPECT_EQ(t.BeatInBar, 1);
  EXPECT_EQ(t.BeatFraction, 0.5f);
}

TEST(Transport, UnusableTimesKeepBarPositiveAndStepInRange) {
  const double tempos[] = {0.0, -120.0, kNaN, kInf, -kInf, 1e-300, 1e300, 4.9e-324};
  const double positions[] = {-1.0, -0.25, -1e9, kNaN, kInf, -kInf, 2147483648.5, 1e300, 3.0e12};
  for (double tempo : tempos) {
    for (double ppq : positions) {
      for (TimeState state : {kPlaying, kStarting, TimeState{false, false, false, true}}) {
        TransportTracker t;
        t.DeriveLengths(Time(ppq, tempo, state, ppq), 44100.0);
        t.DeriveTransport(Time(ppq, tempo, state, ppq), 200000, 1.0f);
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
  TransportTracker t = Derived(44100, 120, 0.0, kPlaying, 88200 * 3);
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

// The whole engine from silence with the given slots, one sample per block
// from song position 0 at 120 BPM; returns the gate level of each sample.
std::vector<float> GateLevels(const engine::Settings& settings, int frames) {
  auto e = std::make_unique<AudioEngine>();
  std::vector<float> levels;
  float in = 0.0f, outL, outR;
  float* ins[2] = {&in, &in};
  float* outs[2] = {&outL, &outR};
  for (int k = 0; k < frames; ++k) {
    e->ProcessBlock(settings, Time(k / 22050.0, 120.0), 44100.0f, ins, outs, 1, false);
    levels.push_back(e->gate.GateLevel);
  }
  return levels;
}

TEST(Gate, AttackRunningIntoAnOffStep) {
  engine::Settings p = engine::Settings::Defaults();
  for (int i = 0; i < 16; ++i) p.step[i] = p.tie[i] = 0.0f;
  p.step[0] = 1.0f;
  p.gateAttack = 1.0f;
  p.gateDecay = 1.0f;
  // The first block plays without the transport-changed bit, so its first
  // sample triggers step 1 from silence.
  const std::vector<float> level = GateLevels(p, 6000);
  EXPECT_NEAR(level[5512], 0.4714, 1e-4);
  EXPECT_NEAR(level[5513], 0.4895, 1e-4);
}

TEST(Gate, AllStepsOffDiesWithinTheClickGuard) {
  engine::Settings p = engine::Settings::Defaults();
  for (int i = 0; i < 16; ++i) p.step[i] = p.tie[i] = 0.0f;
  const std::vector<float> level = GateLevels(p, 1000);
  EXPECT_GT(level[0], 0.0f);
  EXPECT_EQ(level[220], 0.0f);
  EXPECT_EQ(level[999], 0.0f);
}

// ---- filter ----------------------------------------------------------------

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

// ---- delay lines --------------------------------------------------------------

// FD units with the given delays (in samples) and feedback, the filter out
// of the way; Delay runs one sample of both delay lines.
struct Units {
  std::unique_ptr<engine::FdUnits> fd = std::make_unique<engine::FdUnits>();
  Units(float delay0, float delay1, float feedback, bool enabled1 = true) {
    engine::FdUnits::Settings s{};
    s.enabled[0] = true;
    s.enabled[1] = enabled1;
    s.delay[0] = engine::DelayLine::Limit(delay0);
    s.delay[1] = engine::DelayLine::Limit(delay1);
    s.feedback = Both(feedback);
    s.resonance = Both(0.0);
    s.volume = Both(1.0);
    s.highPass = engine::Mask(false, false);
    fd->DeriveBlock(s);
  }
  Pair Delay(float input) {
    fd->PlanSpan(1);
    return fd->DelayTick<false>(input);
  }
};

TEST(Delay, DelayTimeFromTempoAndImpulseRepeats) {
  engine::Settings p = engine::Settings::Defaults();
  p.fd[0].delayTime = 0.5f;
  auto e = std::make_unique<AudioEngine>();
  e->DeriveBlock(p, Time(0.0, 120.0), 44100.0f, 1);
  EXPECT_EQ(e->fd.DelaySeconds[0], 0.25f);

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
    u.fd->line[0] = fill.fd->line[0];
    // Cell 0 holds what was written a full ring ago.
    for (int n = 0; n < 50; ++n)
      ASSERT_NEAR(u.Delay(0.0f)[0], static_cast<float>(n % 1000) / 1000.0f, 1e-6) << delay;
  }
}

TEST(Delay, FractionalReadBelowCellZeroUsesTheRingsLastCell) {
  Units u(0.5f, 0.5f, 0.0f);
  u.fd->line[0].cells[191999] = 1.0f;
  u.fd->line[0].WriteIndex = 1;
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
  for (float cell : u.fd->line[0].cells) ASSERT_TRUE(std::isfinite(cell));
}

TEST(Delay, AUnitThatIsOffKeepsItsLineAndWritePosition) {
  Units on(3.0f, 3.0f, 0.0f), off(3.0f, 3.0f, 0.0f, false);
  for (int n = 0; n < 10; ++n) on.Delay(1.0f), off.Delay(1.0f);
  EXPECT_EQ(on.fd->line[1].WriteIndex, 10);
  EXPECT_EQ(off.fd->line[1].WriteIndex, 0);
  EXPECT_EQ(off.fd->line[1].cells[0], 0.0f);
  EXPECT_EQ(off.fd->line[0].WriteIndex, 10) << "the other unit runs on";
}

// The read position follows the write index by a fixed amount through each
// planned span: every read of a span lands on the cell and fraction the
// read position itself gives, at the ends of float binades, at the ring's
// end and for whole-number positions of either parity.
TEST(Delay, PlannedReadsLandWhereTheReadPositionSays) {
  constexpr int kRing = engine::DelayLine::kRing;
  const float delays[] = {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 100.25f, 6000.0f, 11025.5f, 16383.7f, 16384.0f,
                          65535.99f, 65536.0f, 131072.0f, 191999.5f, 192000.0f, 1.0f / 64, 7.0f / 3};
  const std::int32_t starts[] = {0, 1, 2, 3, 16383, 16384, 16385, 32767, 65535, 65536, 100000, 131071, 191990, 191999};
  auto line = std::make_unique<engine::DelayLine>();
  int spans = 0;
  for (float delay : delays) {
    for (std::int32_t start : starts) {
      line->WriteIndex = start;
      while (line->WriteIndex < std::min(start + 70000, kRing - 1)) {
        const engine::DelayLine::Plan plan = line->PlanRun(delay, 8192);
        ASSERT_GT(plan.end, line->WriteIndex);
        ++spans;
        for (; line->WriteIndex < plan.end; ++line->WriteIndex) {
          const auto planned = line->LocatePlanned(plan), exact = line->Locate(delay);
          ASSERT_TRUE(planned.b == exact.b && planned.t == exact.t)
              << "delay " << delay << " write index " << line->WriteIndex;
        }
      }
    }
  }
  EXPECT_GT(spans, 500);
}

// ---- LFO --------------------------------------------------------------------

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
