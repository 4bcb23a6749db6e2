// When the gate opens, heard through the built library: notes on the host's
// grid for minutes on end, and the step under the play position opening at
// a start or a jump.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/plugin/engine/HostRun.h"

namespace {

using enginetest::HostRun;
using namespace parameters;

// The gate alone on a constant input (0.5 on both sides: a mono sum of 1),
// so the output is the gate's level. Only the given steps are on.
void GateOnly(HostRun& run, std::initializer_list<int> stepsOn, float decay) {
  for (int n = 1; n <= 16; ++n) {
    run.set(kStep1 + n - 1, 0.0f);
    run.set(kTie1 + n - 1, 0.0f);
  }
  for (int n : stepsOn) run.set(kStep1 + n - 1, 1.0f);
  run.set(kGateEnable, 1.0f);
  run.set(kGateAttack, 0.0f);
  run.set(kGateDecay, decay);
  run.set(kGateShuffle, 0.0f);
  run.set(kGateVolume, 1.0f);
  run.set(kFd1Enable, 0.0f);
  run.set(kFd2Enable, 0.0f);
}

// Plays one block of the constant input with the given time record and
// appends its left output.
void PlayBlock(HostRun& run, double ppq, double tempo, std::int32_t flags, int frames,
               std::vector<float>& out) {
  std::vector<float> in(static_cast<std::size_t>(frames), 0.5f), left(in.size()), right(in.size());
  run.time = VstTimeInfo{};
  run.time.samplePos = static_cast<double>(run.played);
  run.time.sampleRate = run.rate;
  run.time.ppqPos = ppq;
  run.time.tempo = tempo;
  run.time.flags = flags;
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {left.data(), right.data()};
  run.host->processReplacing(ins, outs, frames);
  run.played += frames;
  out.insert(out.end(), left.begin(), left.end());
}

// The samples where a note starts: the level is 0 there and rises after.
std::vector<long long> Onsets(const std::vector<float>& level) {
  std::vector<long long> onsets;
  for (std::size_t i = 0; i + 1 < level.size(); ++i)
    if (level[i] == 0.0f && level[i + 1] > 0.0f) onsets.push_back(static_cast<long long>(i));
  return onsets;
}

TEST(GateTiming, OneNotePerBarOnTheHostsGridForThreeAndAHalfMinutes) {
  // 130 BPM from beat 0.2318, step 5 alone: a note on every bar's second
  // beat. A drifting step clock came in early and then snapped back with a
  // note where step 6 rests.
  HostRun run;
  ASSERT_TRUE(run.ok());
  GateOnly(run, {5}, 0.3f);
  constexpr double kTempo = 130.0, kStart = 0.2318, kRate = 44100.0;
  constexpr long long kTotal = 210 * 44100;
  std::vector<float> level;
  level.reserve(kTotal);
  for (long long at = 0; at < kTotal; at += 512) {
    const std::int32_t flags = at == 0 ? 0x2603 : 0x2602;
    PlayBlock(run, kStart + static_cast<double>(at) * kTempo / (60.0 * kRate), kTempo, flags, 512, level);
  }
  const std::vector<long long> onsets = Onsets(level);
  std::vector<long long> grid;
  for (double beat = 1.0;; beat += 4.0) {
    const long long sample = static_cast<long long>(std::ceil((beat - kStart) * 60.0 * kRate / kTempo));
    if (sample + 1 >= static_cast<long long>(level.size())) break;
    grid.push_back(sample);
  }
  ASSERT_EQ(onsets.size(), grid.size()) << "one note per bar, none between";
  for (std::size_t i = 0; i < grid.size(); ++i)
    ASSERT_LE(std::llabs(onsets[i] - grid[i]), 1) << "bar " << i + 1;
}

TEST(GateTiming, StartAndJumpOpenTheStepUnderThePlayPosition) {
  // Before the start the host runs the effect stopped for a while, at some
  // position; after it, the note of the step under the play position
  // begins at the first sample played.
  const struct {
    const char* what;
    double from;   // where the host plays (or stands) before
    bool playing;  // playing before: the start is a jump
    double to;     // the position it starts or jumps to
    int step;      // the step on there
    bool tied;
  } cases[] = {
      {"start on the downbeat", 0.0, false, 0.0, 1, false},
      {"start inside step 1", 3.0, false, 0.1, 1, false},
      {"start inside a tied step 1", 2.0, false, 4.1, 1, true},
      {"start inside step 7", 0.0, false, 1.6, 7, false},
      {"jump back to the downbeat (a loop)", 3.5, true, 0.0, 1, false},
      {"jump inside step 1", 1.1, true, 8.13, 1, false},
  };
  constexpr int kStepSamples = 5512;
  for (const auto& c : cases) {
    HostRun run;
    ASSERT_TRUE(run.ok());
    GateOnly(run, {c.step}, 0.1f);
    if (c.tied) run.set(kTie1 + c.step - 1, 1.0f);
    std::vector<float> level;
    const std::int32_t before = (c.playing ? kVstTransportPlaying : 0) | kVstPpqPosValid | kVstTempoValid;
    // A second before: stopped at a standing position, or playing a bar
    // where only the other steps sound.
    for (int b = 0; b < 86; ++b)
      PlayBlock(run, c.playing ? c.from + b * 512 / 22050.0 : c.from, 120.0, before | (b == 0 ? 1 : 0), 512,
                level);
    const std::size_t start = level.size();
    const std::int32_t startFlags =
        kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid;
    for (int b = 0; b < 40; ++b)
      PlayBlock(run, c.to + b * 256 / 22050.0, 120.0,
                b == 0 ? startFlags : startFlags & ~kVstTransportChanged, 256, level);
    const std::vector<float> after(level.begin() + static_cast<long>(start), level.end());
    // Silent before; the attack starts at the first sample played and
    // takes 220 samples (while the short decay runs).
    EXPECT_EQ(after[0], 0.0f) << c.what;
    EXPECT_GT(after[1], 0.0f) << c.what;
    EXPECT_GT(after[220], 0.8f) << c.what;
    // A tied step holds its level to the step's end; an untied one with a
    // short decay has fallen silent well before.
    const double left = (std::ceil(c.to * 4.0 + 1e-9) - c.to * 4.0) * kStepSamples;
    const float nearEnd = after[static_cast<std::size_t>(left) - 50];
    if (c.tied)
      EXPECT_GT(nearEnd, 0.99f) << c.what;
    else
      EXPECT_EQ(nearEnd, 0.0f) << c.what;
  }
}

}  // namespace
