// What a host may hand the engine that no song has: unusable time records,
// odd block lengths, samples that are not numbers, every slot at its limits.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/plugin/engine/HostRun.h"

namespace {

using enginetest::AllFinite;
using enginetest::HostRun;
using enginetest::Noise;
using enginetest::Stereo;
using namespace parameters;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(HostBadInput, UnusableTempoAndPositionGiveFiniteOutput) {
  const Stereo in = Noise(6000, 2);
  const double tempos[] = {0.0, -90.0, kNaN, kInf, 1e-300, 1e300};
  const double positions[] = {-3.5, kNaN, -kInf, 2147483648.0 * 3.0, 1e300};
  for (double tempo : tempos) {
    for (double ppq : positions) {
      HostRun run;
      run.set(kGateShuffle, 1.0f);
      run.shape = [&](VstTimeInfo& t, long long, int block) {
        t.tempo = tempo;
        t.ppqPos = ppq + block;  // stays unusable; jumps every block
      };
      ASSERT_TRUE(AllFinite(run.play(in, 1500))) << tempo << " " << ppq;
    }
  }
}

TEST(HostBadInput, BlockLengthsZeroNegativeAndAMillion) {
  auto empty = [](HostRun& run) {
    float* none[2] = {nullptr, nullptr};
    run.time.tempo = 120.0;
    run.time.flags = enginetest::kPlayingFlags;
    run.host->processReplacing(none, none, 0);
    run.host->processReplacing(none, none, -1);
    run.host->process(nullptr, nullptr, -1);
    run.host->processReplacing(nullptr, nullptr, 512);
  };
  HostRun run, ordinary;
  empty(run);
  empty(ordinary);
  // A million frames in one block (more than eleven bars at 120 BPM).
  const Stereo in = Noise(1000000, 3);
  const Stereo out = run.play(in, 1000000);
  EXPECT_TRUE(AllFinite(out));
  // The same million in ordinary blocks gives the same sound.
  EXPECT_EQ(ordinary.play(in, 1024).left, out.left);
}

TEST(HostBadInput, NonFiniteSamplesNeverPoisonTheEffect) {
  // A block of NaN and infinities sounds like a block of silence; before and
  // after it everything is as usual.
  Stereo bad = Noise(20000, 6), silent = bad;
  for (int i = 5000; i < 6000; ++i) {
    bad.left[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    bad.right[i] = -std::numeric_limits<float>::infinity();
    silent.left[i] = silent.right[i] = 0.0f;
  }
  HostRun a, b;
  const Stereo out = a.play(bad, 512);
  EXPECT_TRUE(AllFinite(out));
  EXPECT_EQ(out.left, b.play(silent, 512).left);
}

TEST(HostBadInput, HugeSamplesLeaveTheEffectSound) {
  // The largest floats overflow the mono sum; whatever that block sounds
  // like, the delay lines and filters keep finite values and the effect
  // sounds as usual once the input is.
  Stereo in = Noise(30000, 15);
  for (int i = 1000; i < 3000; ++i) in.left[i] = in.right[i] = (i % 2 ? 1.0f : -1.0f) * 3.4e38f;
  for (float resonance : {0.0f, 1.0f}) {
    HostRun run;
    run.set(kFd1Reso, resonance);
    run.set(kFd2Reso, resonance);
    run.set(kFd1Feedback, 1.0f);
    const Stereo out = run.play(in, 512);
    for (std::size_t i = 3000; i < out.size(); ++i) {
      ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
    }
  }
}

TEST(HostBadInput, EverySlotAtZeroAndAtOneForSecondsOfNoise) {
  const Stereo in = Noise(5 * 44100, 10, 1.0f);
  for (float value : {0.0f, 1.0f}) {
    HostRun run;
    for (int i = kFirst; i <= kLast; ++i) run.set(i, value);
    const Stereo out = run.play(in, 2048);
    ASSERT_TRUE(AllFinite(out)) << value;
  }
}

TEST(HostBadInput, SlowTempoAtAHighRateLimitsTheDelayToTheRing) {
  // One beat at 20 BPM and 192 kHz is 576000 samples, three rings.
  HostRun run;
  run.rate = 192000.0;
  run.tempo = 20.0;
  run.host->dispatch(effSetSampleRate, 0, 0, nullptr, 192000.0f);
  run.set(kFd1DelayTime, 1.0f);
  run.set(kFd2DelayTime, 1.0f);
  EXPECT_TRUE(AllFinite(run.play(Noise(400000, 11), 4096)));
  // A sample rate that is no rate is taken as 44100.
  HostRun odd;
  odd.host->dispatch(effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
  HostRun usual;
  const Stereo in = Noise(5000, 12);
  EXPECT_EQ(odd.play(in, 500).left, usual.play(in, 500).left);
}

}  // namespace
