#include "tools/plot/Grid.h"

#include <algorithm>
#include <cmath>

namespace plot {

namespace {

double SamplesPerBeat(const Timeline& t) {
  return t.rate * 60.0 / t.tempo;
}

double PixelsPerBeat(const Timeline& t) {
  return SamplesPerBeat(t) / t.samplesPerPixel;
}

// The song position at the right edge, in beats.
double EndBeat(const Timeline& t) {
  return t.start + t.width / PixelsPerBeat(t);
}

// a mod b for a positive b, also for negative a (bars before the song's first).
long long FloorMod(long long a, long long b) {
  return ((a % b) + b) % b;
}

std::vector<Label> LabelsEvery(const Timeline& t, long long step) {
  std::vector<Label> labels;
  const auto first = static_cast<long long>(std::ceil(t.start / 4.0));
  const auto last = static_cast<long long>(std::floor(EndBeat(t) / 4.0));
  for (long long k = first + FloorMod(-first, step); k <= last; k += step)
    labels.push_back(
        {static_cast<long>(k + 1), X(t, 4.0 * static_cast<double>(k)), "bar " + std::to_string(k + 1)});
  return labels;
}

}  // namespace

double X(const Timeline& t, double beat) {
  return (beat - t.start) * PixelsPerBeat(t);
}

Labels BarLabels(const Timeline& t, const std::function<double(const std::string&)>& width, double gap) {
  const double pixelsPerBar = 4.0 * PixelsPerBeat(t);
  for (long long step = 1;; step *= 2) {
    std::vector<Label> labels = LabelsEvery(t, step);
    double widest = 0.0;
    for (const Label& label : labels) widest = std::max(widest, width(label.text));
    // One label (or none) cannot overlap another.
    if (labels.size() < 2 || widest + gap <= pixelsPerBar * static_cast<double>(step))
      return {static_cast<int>(step), std::move(labels)};
  }
}

std::vector<Line> GridLines(const Timeline& t, double minSpacing, int barStep) {
  const double pixelsPerSixteenth = PixelsPerBeat(t) / 4.0;
  // The finest level whose lines keep their distance, in sixteenths.
  long long unit = 16LL * barStep;
  if (pixelsPerSixteenth >= minSpacing)
    unit = 1;
  else if (4.0 * pixelsPerSixteenth >= minSpacing)
    unit = 4;
  else if (16.0 * pixelsPerSixteenth >= minSpacing)
    unit = 16;
  std::vector<Line> lines;
  const auto first = static_cast<long long>(std::ceil(t.start * 4.0));
  for (long long s = first + FloorMod(-first, unit);; s += unit) {
    const double x = X(t, static_cast<double>(s) / 4.0);
    if (x > t.width) break;
    lines.push_back({x, s % 16 == 0 ? Level::kBar : s % 4 == 0 ? Level::kBeat : Level::kSixteenth});
  }
  return lines;
}

}  // namespace plot
