// plonkrift-plot: draws the input and the output of a render one above the
// other, with the host's sixteenth-note grid, so the gate's steps and the
// echoes can be seen against the beat.

#include <cairo.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Stereo {
  double rate = 0.0;
  std::vector<float> left, right;
};

bool Read(const std::string& path, Stereo& audio) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "plonkrift-plot: cannot read '%s': %s\n", path.c_str(), sf_strerror(nullptr));
    return false;
  }
  std::vector<float> frames(static_cast<std::size_t>(info.frames) * info.channels);
  const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  audio.rate = info.samplerate;
  for (sf_count_t n = 0; n < read; ++n) {
    audio.left.push_back(frames[n * info.channels]);
    audio.right.push_back(frames[n * info.channels + info.channels - 1]);
  }
  return true;
}

struct Lane {
  double top, height;
  const char* title;
};

// Min and max of each pixel column, both channels drawn in their own colour.
void DrawWave(cairo_t* cr, const std::vector<float>& samples, double samplesPerPixel, const Lane& lane, double x0,
              int columns, double peak, double r, double g, double b) {
  const double middle = lane.top + lane.height / 2.0, scale = lane.height / 2.0 / peak;
  cairo_set_source_rgba(cr, r, g, b, 0.85);
  cairo_set_line_width(cr, 1.0);
  for (int x = 0; x < columns; ++x) {
    const auto from = static_cast<std::size_t>(x * samplesPerPixel);
    const auto to = std::min(samples.size(), static_cast<std::size_t>((x + 1) * samplesPerPixel) + 1);
    if (from >= to) break;
    const auto [lo, hi] = std::minmax_element(samples.begin() + from, samples.begin() + to);
    cairo_move_to(cr, x0 + x + 0.5, middle - std::clamp(*hi / peak, -1.0, 1.0) * scale * peak);
    cairo_line_to(cr, x0 + x + 0.5, middle - std::clamp(*lo / peak, -1.0, 1.0) * scale * peak + 0.5);
  }
  cairo_stroke(cr);
}

float Peak(const Stereo& a) {
  float peak = 1e-6f;
  for (float v : a.left) peak = std::max(peak, std::fabs(v));
  for (float v : a.right) peak = std::max(peak, std::fabs(v));
  return peak;
}

int Usage() {
  std::fputs(
      "usage: plonkrift-plot DRY.wav WET.wav -o PLOT.png [--tempo BPM] [--start BEATS] [--seconds S]\n"
      "Draws the input and the output of a render with the sixteenth-note grid of the song.\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string output;
  double tempo = 120.0, start = 0.0, seconds = 0.0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&](double& v) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      v = std::strtod(argv[++i], &end);
      return end != nullptr && *end == '\0' && std::isfinite(v);
    };
    if (arg == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (arg == "--tempo") {
      if (!next(tempo) || tempo <= 0.0) return Usage();
    } else if (arg == "--start") {
      if (!next(start)) return Usage();
    } else if (arg == "--seconds") {
      if (!next(seconds) || seconds <= 0.0) return Usage();
    } else if (!arg.empty() && arg[0] != '-') {
      files.push_back(arg);
    } else {
      return Usage();
    }
  }
  if (files.size() != 2 || output.empty()) return Usage();
  Stereo dry, wet;
  if (!Read(files[0], dry) || !Read(files[1], wet)) return 1;

  const int width = 1400, height = 560, margin = 60;
  const int columns = width - 2 * margin;
  const std::size_t shown = seconds > 0.0 ? std::min(wet.left.size(), static_cast<std::size_t>(seconds * wet.rate))
                                          : wet.left.size();
  const double samplesPerPixel = std::max(1.0, static_cast<double>(shown) / columns);
  const Lane lanes[2] = {{50.0, 210.0, "input"}, {300.0, 210.0, "output (left amber, right blue)"}};

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.09, 0.09, 0.1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  // The grid: every sixteenth note, brighter on beats, brightest on bars.
  const double samplesPerSixteenth = wet.rate * 60.0 / tempo / 4.0;
  const double firstSixteenth = std::ceil(start * 4.0);
  for (double s = firstSixteenth;; s += 1.0) {
    const double at = (s / 4.0 - start) * 4.0 * samplesPerSixteenth;
    const double x = margin + at / samplesPerPixel;
    if (x > margin + columns) break;
    const long sixteenth = static_cast<long>(s);
    const bool bar = sixteenth % 16 == 0, beat = sixteenth % 4 == 0;
    cairo_set_source_rgba(cr, 1, 1, 1, bar ? 0.45 : beat ? 0.22 : 0.08);
    cairo_set_line_width(cr, bar ? 1.5 : 1.0);
    cairo_move_to(cr, std::floor(x) + 0.5, 40);
    cairo_line_to(cr, std::floor(x) + 0.5, 520);
    cairo_stroke(cr);
    if (bar) {
      char label[32];
      std::snprintf(label, sizeof label, "bar %ld", sixteenth / 16 + 1);
      cairo_set_font_size(cr, 12);
      cairo_move_to(cr, x + 4, 540);
      cairo_show_text(cr, label);
    }
  }

  const double dryPeak = Peak(dry), wetPeak = Peak(wet);
  DrawWave(cr, dry.left, samplesPerPixel, lanes[0], margin, columns, dryPeak, 0.8, 0.8, 0.8);
  DrawWave(cr, wet.left, samplesPerPixel, lanes[1], margin, columns, wetPeak, 1.0, 0.62, 0.2);
  DrawWave(cr, wet.right, samplesPerPixel, lanes[1], margin, columns, wetPeak, 0.35, 0.65, 1.0);

  cairo_set_source_rgb(cr, 0.92, 0.92, 0.92);
  cairo_set_font_size(cr, 14);
  for (const Lane& lane : lanes) {
    cairo_move_to(cr, margin, lane.top - 8);
    cairo_show_text(cr, lane.title);
  }
  char caption[96];
  std::snprintf(caption, sizeof caption, "%.6g BPM, %.0f Hz, grid: sixteenth notes", tempo, wet.rate);
  cairo_move_to(cr, width - margin - 300, 30);
  cairo_show_text(cr, caption);

  cairo_destroy(cr);
  const cairo_status_t status = cairo_surface_write_to_png(surface, output.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "plonkrift-plot: cannot write '%s'\n", output.c_str());
    return 1;
  }
  std::printf("plotted %s and %s to %s\n", files[0].c_str(), files[1].c_str(), output.c_str());
  return 0;
}
