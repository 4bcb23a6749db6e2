// plonkrift-plot's grid: bars where the song's position puts them, and bar
// labels that never run into each other however long the file.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tools/plot/Grid.h"

namespace {

// Seven pixels a character, about DejaVu Sans at 12 px.
double Width(const std::string& text) {
  return 7.0 * static_cast<double>(text.size());
}

constexpr double kGap = 12.0, kColumns = 1280.0;

plot::Timeline Fit(double rate, double tempo, double start, double seconds) {
  return {rate, tempo, start, std::max(1.0, seconds * rate / kColumns), kColumns};
}

TEST(PlotGrid, TheFirstSampleIsAtTheStartPositionInBeats) {
  // 120 BPM at 48 kHz, one sample a pixel: a beat is 24000 pixels.
  plot::Timeline t{48000.0, 120.0, 0.0, 1.0, kColumns};
  EXPECT_EQ(plot::X(t, 0.0), 0.0);
  EXPECT_EQ(plot::X(t, 1.0), 24000.0);
  t.start = 8.0;  // as plonkrift-render --start 8: bar 3 begins with the first sample
  t.samplesPerPixel = 480.0;
  const plot::Labels labels = plot::BarLabels(t, Width, kGap);
  ASSERT_FALSE(labels.labels.empty());
  EXPECT_EQ(labels.labels[0].bar, 3);
  EXPECT_EQ(labels.labels[0].x, 0.0);
  EXPECT_EQ(labels.labels[0].text, "bar 3");
  ASSERT_GE(labels.labels.size(), 2u);
  EXPECT_EQ(labels.labels[1].x, 4 * 50.0) << "a bar is 4 beats of 50 pixels";

  // Half a beat before the song's first bar: bar 1 sits half a beat in.
  t.start = -0.5;
  EXPECT_EQ(plot::BarLabels(t, Width, kGap).labels[0].bar, 1);
  EXPECT_EQ(plot::BarLabels(t, Width, kGap).labels[0].x, 25.0);
}

TEST(PlotGrid, LabelsNeverOverlapAndAreThinnedOnlyAsFarAsNeeded) {
  const struct {
    const char* what;
    double rate, tempo, start, seconds;
  } cases[] = {
      {"the README's demo, 8 s", 44100, 120, 0, 8},
      {"one minute", 44100, 120, 0, 60},
      {"five minutes", 48000, 93, 8, 300},
      {"an hour, fast", 44100, 174, 0, 3600},
      {"ten hours at 1000 BPM", 8000, 1000, 0, 36000},
      {"far into the song", 96000, 140, 1e6, 600},
      {"before the song's start", 44100, 120, -64.5, 120},
  };
  for (const auto& c : cases) {
    const plot::Timeline t = Fit(c.rate, c.tempo, c.start, c.seconds);
    const plot::Labels labels = plot::BarLabels(t, Width, kGap);
    const double pixelsPerBar = plot::X(t, c.start + 4.0);
    ASSERT_GE(labels.labels.size(), 2u) << c.what;
    double widest = 0.0;
    for (std::size_t i = 0; i < labels.labels.size(); ++i) {
      const plot::Label& label = labels.labels[i];
      widest = std::max(widest, Width(label.text));
      EXPECT_EQ(label.text, "bar " + std::to_string(label.bar)) << c.what;
      EXPECT_EQ((label.bar - 1) % labels.step, 0) << c.what << ": counted from bar 1";
      EXPECT_GE(label.x, 0.0) << c.what;
      EXPECT_LE(label.x, kColumns) << c.what;
      if (i + 1 < labels.labels.size()) {
        EXPECT_LE(label.x + Width(label.text) + kGap, labels.labels[i + 1].x + 1e-6)
            << c.what << ": " << label.text << " runs into " << labels.labels[i + 1].text;
        EXPECT_EQ(labels.labels[i + 1].bar - label.bar, labels.step) << c.what;
      }
    }
    // Every labelled bar inside the plot is there, and half the step would not fit.
    EXPECT_LT(labels.labels.front().x, pixelsPerBar * labels.step) << c.what;
    EXPECT_GT(labels.labels.back().x + pixelsPerBar * labels.step, kColumns) << c.what;
    if (labels.step > 1) {
      EXPECT_GT(widest + kGap, pixelsPerBar * labels.step / 2) << c.what;
    }
  }
  EXPECT_EQ(plot::BarLabels(Fit(44100, 120, 0, 8), Width, kGap).step, 1) << "short files label every bar";
}

TEST(PlotGrid, GridLinesKeepTheirDistanceAndBarsAreLinedWhereLabelled) {
  const struct {
    double tempo, seconds;
    bool sixteenths, beats;
  } cases[] = {
      {120, 8, true, true}, {120, 60, false, true}, {120, 600, false, false}, {174, 3600, false, false}};
  for (const auto& c : cases) {
    const plot::Timeline t = Fit(44100, c.tempo, 0.0, c.seconds);
    const plot::Labels labels = plot::BarLabels(t, Width, kGap);
    const std::vector<plot::Line> lines = plot::GridLines(t, 4.0, labels.step);
    bool sixteenths = false, beats = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      sixteenths = sixteenths || lines[i].level == plot::Level::kSixteenth;
      beats = beats || lines[i].level == plot::Level::kBeat;
      if (i > 0) {
        EXPECT_GE(lines[i].x - lines[i - 1].x, 4.0 - 1e-9) << c.seconds << " s";
      }
    }
    EXPECT_EQ(sixteenths, c.sixteenths) << c.seconds << " s";
    EXPECT_EQ(beats, c.beats) << c.seconds << " s";
    for (const plot::Label& label : labels.labels) {
      const bool lined = std::any_of(lines.begin(), lines.end(), [&](const plot::Line& line) {
        return line.level == plot::Level::kBar && line.x == label.x;
      });
      EXPECT_TRUE(lined) << c.seconds << " s: " << label.text;
    }
  }
}

}  // namespace
