// Tempo and transport: bar and step lengths, the step of every sample, shuffle,
// starts and jumps, hosts' rounding, and times no song has.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "plugin/engine/Rounding.h"
#include "plugin/engine/TransportTracker.h"
#include "tests/plugin/engine/EngineTime.h"

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

TEST(Transport, ABlockThatStartsBehindTheLastOneEndedDoesNotStepBack) {
  // Positions on 1/1920-beat ticks at 120 BPM: the second block is said to
  // start ten samples after the first ended, the third eighteen samples
  // before the second ended. The second ends in step 3 (from sample 11025
  // of the bar); the third starts where step 2 would still be.
  const struct {
    int tick;
    int frames;
    TimeState state;
  } blocks[] = {{0, 1138, kStarting}, {100, 9883, kPlaying}, {959, 512, kPlaying}};
  TransportTracker t;
  std::vector<int> steps;
  for (const auto& b : blocks) {
    const engine::TimeRecord time = Time(b.tick / 1920.0, 120.0, b.state);
    t.DeriveLengths(time, 44100.0);
    t.DeriveTransport(time, b.frames, 0.0f);
    for (int s : Steps(t, b.frames)) steps.push_back(s);
  }
  std::vector<int> heard;  // the steps in the order they began
  for (int s : steps)
    if (heard.empty() || heard.back() != s) heard.push_back(s);
  EXPECT_EQ(heard, (std::vector<int>{1, 2, 3}));
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

}  // namespace
