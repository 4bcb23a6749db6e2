// What each unit and setting does to the output, heard through the built
// library: each unit apart from the other, the delay ring's limit, and the
// sample rate the host sets.

#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugin/engine/HostRun.h"

namespace {

using enginetest::HostRun;
using enginetest::Noise;
using enginetest::Stereo;
using namespace parameters;

// No dry path, units panned hard apart with no LFO on the pan; FD1 a
// high-pass and FD2 a low-pass, each with its own delay and feedback.
void Apart(HostRun& run, bool fd1, bool fd2) {
  run.set(kGateVolume, 0.0f);
  run.set(kFd1Pan, 1.0f);
  run.set(kFd2Pan, 0.0f);
  run.set(kFd1LfoPan, 0.0f);
  run.set(kFd2LfoPan, 0.0f);
  run.set(kFd1FilterType, 0.0f);
  run.set(kFd2FilterType, 1.0f);
  run.set(kFd1DelayTime, 0.3f);
  run.set(kFd2DelayTime, 0.55f);
  run.set(kFd1Feedback, 0.6f);
  run.set(kFd2Feedback, 0.4f);
  run.set(kFd1Enable, fd1 ? 1.0f : 0.0f);
  run.set(kFd2Enable, fd2 ? 1.0f : 0.0f);
}

TEST(UnitsHeard, BothUnitsSoundAsEachUnitAlone) {
  const Stereo in = Noise(3 * 44100, 41);
  for (int block : {4096, 333, 64}) {
    HostRun both, first, second;
    Apart(both, true, true);
    Apart(first, true, false);
    Apart(second, false, true);
    const Stereo b = both.play(in, block), one = first.play(in, block), two = second.play(in, block);
    ASSERT_EQ(b.left, one.left) << "FD1, blocks of " << block;
    ASSERT_EQ(b.right, two.right) << "FD2, blocks of " << block;
    for (float v : one.right) ASSERT_EQ(v, 0.0f);
    float heard = 0.0f;
    for (float v : two.right) heard = std::max(heard, std::fabs(v));
    EXPECT_GT(heard, 0.05f);
  }
}

TEST(UnitsHeard, ADelayLongerThanTheRingEchoesOneRingLater) {
  // One beat at 10 BPM and 48 kHz is 288000 samples, longer than the ring of
  // 192000, and is held to it; 0.6 beats (172800 samples) fit.
  const struct {
    float delayTime;
    long echo;
  } cases[] = {{1.0f, 192000}, {0.6f, 172800}};
  for (const auto& c : cases) {
    HostRun run;
    run.rate = 48000.0;
    run.tempo = 10.0;
    run.host->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    run.set(kGateEnable, 0.0f);
    run.set(kGateVolume, 0.0f);
    run.set(kFd2Enable, 0.0f);
    run.set(kFd1Feedback, 0.0f);
    run.set(kFd1Reso, 0.0f);
    run.set(kFd1LfoCutoff, 0.0f);
    run.set(kFd1DelayTime, c.delayTime);
    Stereo in(200000);
    in.left[0] = 1.0f;
    const Stereo out = run.play(in, 4096);
    // The first sample above the line's tiny anti-denormal offsets.
    long first = -1;
    for (long i = 0; i < static_cast<long>(out.size()) && first < 0; ++i)
      if (std::fabs(out.left[i]) > 1e-6f) first = i;
    EXPECT_EQ(first, c.echo) << c.delayTime;
  }
}

TEST(UnitsHeard, TheHostsSampleRateSetsWhereStepsBegin) {
  // Step 5 alone at 120 BPM from the downbeat: it begins on beat 2, half a
  // second in, whatever the rate.
  for (double rate : {48000.0, 96000.0, 22050.0}) {
    HostRun run;
    run.rate = rate;
    run.host->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    for (int n = 0; n < 16; ++n) run.set(kStep1 + n, n == 4 ? 1.0f : 0.0f), run.set(kTie1 + n, 0.0f);
    run.set(kGateAttack, 0.0f);
    run.set(kGateDecay, 0.2f);
    run.set(kGateVolume, 1.0f);
    run.set(kFd1Enable, 0.0f);
    run.set(kFd2Enable, 0.0f);
    Stereo in(static_cast<std::size_t>(rate));
    for (std::size_t i = 0; i < in.size(); ++i) in.left[i] = in.right[i] = 0.5f;
    const Stereo out = run.play(in, 512);
    long onset = -1;
    for (long i = 300; i + 1 < static_cast<long>(out.size()); ++i)
      if (out.left[i] == 0.0f && out.left[i + 1] > 0.0f) {
        onset = i;
        break;
      }
    EXPECT_NEAR(onset, rate / 2.0, 1.0) << rate << " Hz";
  }
}

}  // namespace
