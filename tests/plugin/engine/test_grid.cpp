// The step clock against the host's own grid over long takes: hosts that send
// exact positions, hosts that round or jitter them, tempo changes, every
// block size. Each step must begin where the host's position says it does.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "plugin/engine/Rounding.h"
#include "plugin/engine/TransportTracker.h"
#include "tests/plugin/engine/EngineTime.h"

namespace {

using engine::TransportTracker;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The arithmetic is what these takes check; under the sanitizers a minute
// of each keeps the run short.
constexpr double kTakeSeconds = 60.0;
#else
constexpr double kTakeSeconds = 600.0;
#endif

// One take: a host playing from startBeat. tempo and blockSize may change
// from block to block; report turns the exact position into what the host
// sends.
struct Take {
  std::string name;
  double rate = 44100.0;
  std::function<double(int block)> tempo;
  std::function<int(int block)> blockSize;
  double startBeat = 0.0;
  float shuffle = 0.0f;
  std::function<double(double exactBeats, int block)> report = [](double beats, int) { return beats; };
  double seconds = kTakeSeconds;
  // A host that rounds a start between two of its ticks tells the clock
  // where it is only to within half a tick; what its later reports tell is
  // learned over the first blocks. Steps within this many seconds of the
  // start are held to that half tick only.
  double learning = 0.0;
};

struct Change {
  long long sample;
  int step;
};

struct GridResult {
  double worst = 0.0;          // largest distance of a step's start from the grid, in samples
  double worstLearning = 0.0;  // the same while the clock was still learning
  int extra = 0;               // step changes the grid does not have (a retrigger, a step backwards)
  int missing = 0;             // steps of the grid that never began
  long long steps = 0;
};

// The step that the grid puts at a position within the bar (beats 0..4):
// sixteen to the bar, even steps late by the shuffle (in sixteenths).
int GridStep(double beatInBar, double shift16) {
  const double sixteenths = beatInBar * 4.0;
  const int n = static_cast<int>(std::floor(sixteenths)) & 15;
  const int step = n + 1;
  if (step % 2 == 0 && sixteenths - std::floor(sixteenths) < shift16) return step - 1;
  return step;
}

// Half a tick of 1/1920 beat, in samples.
double HalfTick(double rate, double tempo) {
  return 0.5 / 1920.0 * 60.0 * rate / tempo;
}

// Plays the take through a tracker and compares every step change with the
// grid of the exact position. Changes are matched in order; one that
// starts too far from its grid change (8 samples, or half a tick while the
// clock learns) counts as extra and the grid's as missing.
GridResult PlayAgainstGrid(const Take& take) {
  const double slack = 8.0 + (take.learning > 0.0 ? HalfTick(take.rate, take.tempo(0)) : 0.0);
  TransportTracker t;
  std::vector<Change> actual, expected;
  const long long total = static_cast<long long>(take.seconds * take.rate);
  double beats = take.startBeat;  // the exact position of the block's first sample
  long long at = 0;
  for (int block = 0; at < total; ++block) {
    const double tempo = take.tempo(block);
    const int frames = static_cast<int>(std::min<long long>(take.blockSize(block), total - at));
    const engine::TimeRecord time = enginetest::Time(
        take.report(beats, block), tempo, block == 0 ? enginetest::kStarting : enginetest::kPlaying);
    t.DeriveLengths(time, take.rate);
    t.DeriveTransport(time, frames, take.shuffle);
    const double perSample = tempo / (60.0 * take.rate);
    const double shift16 = t.HalfStep * static_cast<double>(take.shuffle) * 16.0 / t.BarSamples;
    for (int k = 0; k < frames; ++k) {
      t.PositionTick(k, take.shuffle);
      if (t.CurrentStep != t.PreviousStep && at + k > 0) actual.push_back({at + k, t.CurrentStep});
      t.PreviousStep = t.CurrentStep;
    }
    // The grid's changes within this block, from the exact position (a
    // change at the very end belongs to a block that never plays).
    const double end = beats + frames * perSample;
    const double barStart = std::floor(beats / 4.0) * 4.0;
    int previous = GridStep(beats - barStart, shift16);
    for (double sixteenth = std::floor(beats * 4.0); sixteenth / 4.0 < end; sixteenth += 1.0) {
      for (double offset : {0.0, shift16}) {
        const double boundary = (sixteenth + offset) / 4.0;
        if (boundary <= beats || boundary >= end) continue;
        const long long sample = at + static_cast<long long>(std::ceil((boundary - beats) / perSample));
        if (sample >= total) continue;
        const double inBar = boundary - std::floor(boundary / 4.0) * 4.0;
        const int step = GridStep(inBar + 1e-9, shift16);
        if (step != previous) expected.push_back({sample, step});
        previous = step;
      }
    }
    beats = end;
    at += frames;
  }

  const long long learned = static_cast<long long>(take.learning * take.rate);
  GridResult r;
  r.steps = static_cast<long long>(expected.size());
  std::size_t a = 0;
  for (const Change& e : expected) {
    // Changes before this one that match nothing are extra.
    while (a < actual.size() && actual[a].sample < e.sample - slack) ++a, ++r.extra;
    if (a < actual.size() && actual[a].step == e.step &&
        std::fabs(double(actual[a].sample - e.sample)) <= slack) {
      double& worst = e.sample < learned ? r.worstLearning : r.worst;
      worst = std::max(worst, std::fabs(double(actual[a].sample - e.sample)));
      ++a;
    } else {
      ++r.missing;
    }
  }
  r.extra += static_cast<int>(actual.size() - a);
  return r;
}

std::function<double(int)> Constant(double value) {
  return [value](int) { return value; };
}
std::function<int(int)> Blocks(int frames) {
  return [frames](int) { return frames; };
}
// Block sizes as a host with a varying period hands them: 1 to 8192 frames.
std::function<int(int)> RandomBlocks(unsigned seed) {
  return [seed](int block) {
    std::mt19937 random(seed + static_cast<unsigned>(block));
    return 1 + static_cast<int>(random() % 8192);
  };
}

TEST(Grid, ExactHostsPositionsKeepEveryStepWithinASampleForTenMinutes) {
  const Take takes[] = {
      {"44.1 kHz 130 BPM blocks of 512 from beat 0.2318", 44100, Constant(130), Blocks(512), 0.2318},
      {"44.1 kHz 128 BPM blocks of 512", 44100, Constant(128), Blocks(512)},
      {"48 kHz 61 BPM blocks of 256, shuffle 0.5", 48000, Constant(61), Blocks(256), 0.0, 0.5f},
      {"8 kHz 999 BPM blocks of 8192, shuffle 1", 8000, Constant(999), Blocks(8192), 1.7, 1.0f},
      {"8 kHz 20 BPM blocks of 1", 8000, Constant(20), Blocks(1), 3.1},
      {"384 kHz 20 BPM blocks of 4096, shuffle 0.3", 384000, Constant(20), Blocks(4096), 0.0, 0.3f},
      {"384 kHz 999 BPM blocks of 8192", 384000, Constant(999), Blocks(8192), 2.5},
      {"96 kHz 93.7 BPM blocks of 1 to 8192, shuffle 0.7", 96000, Constant(93.7), RandomBlocks(3), 0.9, 0.7f},
      {"22.05 kHz 177.3 BPM blocks of 64", 22050, Constant(177.3), Blocks(64), 1.0},
      {"44.1 kHz tempo changing every 50 blocks, shuffle 0.4", 44100,
       [](int block) { return 70.0 + 110.0 * ((block / 50) % 7) / 6.0 + 0.37 * ((block / 50) % 3); },
       Blocks(1024), 0.0, 0.4f},
  };
  for (const Take& take : takes) {
    const GridResult r = PlayAgainstGrid(take);
    EXPECT_LE(r.worst, 1.0) << take.name;
    EXPECT_EQ(r.extra, 0) << take.name;
    EXPECT_EQ(r.missing, 0) << take.name;
    EXPECT_GT(r.steps, 50) << take.name;
  }
}

// The host's position rounded to 1/1920 beat per block.
double OnTicks(double beats, int) {
  return std::round(beats * 1920.0) / 1920.0;
}

TEST(Grid, RoundedAndJitteredPositionsStayWithinTwoSamplesAndNeverRetrigger) {
  // Up to 16 samples either way at 44.1 kHz and 140 BPM, from the block
  // after the first (the start itself is where the host located).
  auto jitter = [](unsigned seed) {
    return [seed](double beats, int block) {
      if (block == 0) return beats;
      std::mt19937 random(seed + static_cast<unsigned>(block));
      const double samples = std::uniform_real_distribution<double>(-16.0, 16.0)(random);
      return beats + samples * 140.0 / (60.0 * 44100.0);
    };
  };
  auto jitterFromTheStart = [](double beats, int block) {
    std::mt19937 random(7u + static_cast<unsigned>(block));
    return beats + std::uniform_real_distribution<double>(-16.0, 16.0)(random) * 140.0 / (60.0 * 44100.0);
  };
  const Take takes[] = {
      {"1/1920 beat, 44.1 kHz 120 BPM, from bar 1", 44100, Constant(120), Blocks(512), 0.0, 0.0f, OnTicks},
      {"1/1920 beat, 384 kHz 20 BPM, from beat 2 and a tick", 384000, Constant(20), Blocks(4096),
       2.0 + 1 / 1920.0, 0.0f, OnTicks},
      {"1/1920 beat, 48 kHz 999 BPM blocks of 64", 48000, Constant(999), Blocks(64), 0.5, 0.0f, OnTicks},
      {"1/1920 beat, tempo changes, shuffle 0.5", 48000,
       [](int block) { return 90.0 + 40.0 * ((block / 200) % 3); }, Blocks(480), 0.75, 0.5f, OnTicks},
      {"1/1920 beat, 44.1 kHz 120 BPM, from between two ticks", 44100, Constant(120), Blocks(512), 0.3701,
       0.3f, OnTicks, kTakeSeconds, 2.0},
      {"1/1920 beat, 384 kHz 20 BPM, from between two ticks", 384000, Constant(20), Blocks(4096), 1.12345,
       0.0f, OnTicks, kTakeSeconds, 12.0},
      {"1/1920 beat, tempo changes, from between two ticks", 48000,
       [](int block) { return 90.0 + 40.0 * ((block / 200) % 3); }, Blocks(480), 0.77, 0.5f, OnTicks,
       kTakeSeconds, 2.0},
      {"16 samples of jitter, 44.1 kHz 140 BPM", 44100, Constant(140), Blocks(256), 0.4321, 0.6f, jitter(11)},
      {"16 samples of jitter from bar 1, blocks of 1024", 44100, Constant(140), Blocks(1024), 0.0, 0.0f,
       jitter(12)},
      {"16 samples of jitter at the start too", 44100, Constant(140), Blocks(128), 1.3, 0.2f,
       jitterFromTheStart, kTakeSeconds, 2.0},
  };
  for (const Take& take : takes) {
    const GridResult r = PlayAgainstGrid(take);
    EXPECT_LE(r.worst, 2.0) << take.name;
    EXPECT_LE(r.worstLearning, std::max(2.0, HalfTick(take.rate, take.tempo(0)))) << take.name;
    EXPECT_EQ(r.extra, 0) << take.name;
    EXPECT_EQ(r.missing, 0) << take.name;
    EXPECT_GT(r.steps, 50) << take.name;
  }
}

}  // namespace
