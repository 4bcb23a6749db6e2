// The LV2 plug-in's view of the host's transport between time:Position
// objects, on its own: sequences of positions and played frames, each with
// the time record the engine would get.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "lv2/HostTime.h"

namespace {

using lv2plugin::HostTime;
using lv2plugin::PositionFields;

constexpr double kRate = 44100.0;

// A 4/4 song at 120 BPM, rolling, at a bar and beat of it.
PositionFields Rolling(double frame, double bar, double barBeat, double speed = 1.0) {
  return {.frame = frame,
          .speed = speed,
          .bar = bar,
          .barBeat = barBeat,
          .beatUnit = 4.0,
          .beatsPerBar = 4.0,
          .beatsPerMinute = 120.0};
}

struct Expected {
  double beats, frame, tempo;
  bool playing, changed;
};

// One thing that happens: a position taken, the record a block starting
// then gets, and the frames that block plays.
struct Step {
  std::optional<PositionFields> take;
  std::int64_t played = 0;
  std::optional<Expected> record;
};

struct Sequence {
  const char* what;
  std::vector<Step> steps;
};

const Sequence kSequences[] = {
    {"start, then the position runs on at the tempo",
     {{Rolling(0, 0, 0), 22050, Expected{0.0, 0, 120, true, true}},
      {{}, 22050, Expected{1.0, 22050, 120, true, false}},
      {{}, 0, Expected{2.0, 44100, 120, true, false}}}},
    {"a position the host repeats where it runs on is no change",
     {{Rolling(0, 0, 0), 22050, Expected{0.0, 0, 120, true, true}},
      {Rolling(22050, 0, 1), 0, Expected{1.0, 22050, 120, true, false}}}},
    {"a jump forward",
     {{Rolling(0, 0, 0), 22050, Expected{0.0, 0, 120, true, true}},
      {Rolling(22050, 4, 0), 0, Expected{16.0, 22050, 120, true, true}}}},
    {"a loop back to the start",
     {{Rolling(0, 1, 0), 88200, Expected{4.0, 0, 120, true, true}},
      {Rolling(88200, 1, 0), 11025, Expected{4.0, 88200, 120, true, true}},
      {{}, 0, Expected{4.5, 99225, 120, true, false}}}},
    {"speed 0 stops and holds the position",
     {{Rolling(0, 0, 0), 44100, Expected{0.0, 0, 120, true, true}},
      {Rolling(44100, 0, 2, 0.0), 5000, Expected{2.0, 44100, 120, false, true}},
      {{}, 0, Expected{2.0, 44100, 120, false, false}},
      {Rolling(44100, 0, 2, 1.0), 0, Expected{2.0, 44100, 120, true, true}}}},
    {"fields left out run on from the last position",
     {{Rolling(0, 0, 0), 44100, Expected{0.0, 0, 120, true, true}},
      {PositionFields{.beatsPerMinute = 60.0}, 44100, Expected{2.0, 44100, 60, true, false}},
      {{}, 0, Expected{3.0, 88200, 60, true, false}}}},
    {"a position in the middle of a block, before which nothing was known",
     {{{}, 3000, {}},
      {Rolling(3000, 0, 0), 5192, Expected{0.0, 3000, 120, true, true}},
      {{}, 0, Expected{5192.0 / 22050.0, 8192, 120, true, false}}}},
    {"beats and tempo count the host's beat unit: eighth notes",
     {{PositionFields{
           .frame = 0, .speed = 1, .beat = 6, .beatUnit = 8, .beatsPerBar = 6, .beatsPerMinute = 240},
       22050, Expected{3.0, 0, 120, true, true}},
      {PositionFields{.frame = 22050,
                      .speed = 1,
                      .bar = 1,
                      .barBeat = 3,
                      .beatUnit = 8,
                      .beatsPerBar = 6,
                      .beatsPerMinute = 240},
       0, Expected{4.5, 22050, 120, true, true}}}},
};

TEST(HostTime, SequencesOfPositions) {
  for (const Sequence& sequence : kSequences) {
    SCOPED_TRACE(sequence.what);
    HostTime time(kRate);
    EXPECT_FALSE(time.known());
    int n = 0;
    for (const Step& step : sequence.steps) {
      SCOPED_TRACE("step " + std::to_string(n++));
      if (step.take) time.Take(*step.take);
      if (step.record) {
        ASSERT_TRUE(time.known());
        const engine::TimeRecord r = time.Record();
        EXPECT_DOUBLE_EQ(r.Beats, step.record->beats);
        EXPECT_EQ(r.SamplePosition, step.record->frame);
        EXPECT_EQ(r.Tempo, step.record->tempo);
        EXPECT_TRUE(r.BeatsValid && r.TempoValid);
        EXPECT_EQ(r.Playing, step.record->playing);
        EXPECT_EQ(r.TransportChanged, step.record->changed);
      }
      time.Advance(step.played);
    }
  }
}

TEST(HostTime, TheMeterIsCarriedAsSentAndRunsOn) {
  HostTime time(kRate);
  time.Take(PositionFields{.frame = 0, .speed = 1, .beat = 0, .beatsPerMinute = 120});
  engine::TimeRecord r = time.Record();
  EXPECT_FALSE(r.MeterValid);
  EXPECT_EQ(r.BeatsPerBar, 4.0);
  EXPECT_EQ(r.BeatUnit, 4.0);
  time.Take(PositionFields{.frame = 0,
                           .speed = 1,
                           .bar = 2,
                           .barBeat = 0,
                           .beatUnit = 8,
                           .beatsPerBar = 7,
                           .beatsPerMinute = 240});
  r = time.Record();
  EXPECT_TRUE(r.MeterValid);
  EXPECT_EQ(r.BeatsPerBar, 7.0);
  EXPECT_EQ(r.BeatUnit, 8.0);
  EXPECT_DOUBLE_EQ(r.Beats, 7.0) << "two bars of 7/8 are seven quarter notes";
  time.Take(PositionFields{.speed = 0});
  r = time.Record();
  EXPECT_EQ(r.BeatsPerBar, 7.0);
  EXPECT_EQ(r.BeatUnit, 8.0);
  time.Take(PositionFields{.beatUnit = -2, .beatsPerBar = std::nan("")});
  EXPECT_EQ(time.Record().BeatsPerBar, 7.0) << "a meter no host means is not taken";
}

TEST(HostTime, ActivatingAgainIsAStart) {
  HostTime time(kRate);
  time.Take(Rolling(0, 0, 0));
  EXPECT_TRUE(time.Record().TransportChanged);
  EXPECT_FALSE(time.Record().TransportChanged) << "reading the record consumes the change";
  time.Restart();
  EXPECT_TRUE(time.Record().TransportChanged);
}

}  // namespace
