// plonkrift-plot: draws the input and the output of a render one above the
// other, with the host's sixteenth-note grid, so the gate's steps and the
// echoes can be seen against the beat. Tempo and start are given as they were
// to plonkrift-render. Exit status 0 on success, 1 when the files cannot be
// read or plotted together, 2 on a mistake on the command line.

#include <cairo.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/cli/CommandLine.h"
#include "tools/plot/Grid.h"

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
void DrawWave(cairo_t* cr, const std::vector<float>& samples, double samplesPerPixel, const Lane& lane,
              double x0, int columns, double peak, double r, double g, double b) {
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

constexpr const char* kUsage =
    "usage: plonkrift-plot [options] DRY WET -o PLOT.png\n"
    "Draws the input (DRY) and the output (WET) of a render, audio files of one sample rate,\n"
    "with the sixteenth-note grid of the song they were rendered at.\n"
    "  -o, --output FILE     the PNG file to write (required)\n"
    "  --tempo BPM           song tempo, 1 to 1000 (default 120), as given to plonkrift-render\n"
    "  --start BEATS         song position of the first sample, in beats (default 0), as given\n"
    "                        to plonkrift-render\n"
    "  --seconds S           plot only the first S seconds\n"
    "  -h, --help            this text\n"
    "  --version             the version\n"
    "Exit status: 0 done, 1 the files could not be read or plotted, 2 a mistake on the command line.\n";

// The renderer's limits, so that what it renders can be plotted.
constexpr double kMinTempo = 1.0, kMaxTempo = 1000.0, kMaxStart = 1e9;

struct Options {
  std::vector<std::string> files;
  std::string output;
  double tempo = 120.0, start = 0.0, seconds = 0.0;
  bool help = false, version = false;
};

// Throws cli::Mistake for anything the tool cannot do as asked.
Options Parse(int argc, char** argv) {
  enum { kOutput, kTempo, kStart, kSeconds, kHelp, kVersion };
  cli::CommandLine line(argc, argv,
                        {{kOutput, "output", 'o', true},
                         {kTempo, "tempo", 0, true},
                         {kStart, "start", 0, true},
                         {kSeconds, "seconds", 0, true},
                         {kHelp, "help", 'h'},
                         {kVersion, "version"}});
  Options options;
  for (int option; (option = line.next()) != cli::CommandLine::kEnd;) {
    switch (option) {
      case kOutput:
        options.output = line.file();
        break;
      case kTempo:
        options.tempo = line.number(kMinTempo, kMaxTempo);
        break;
      case kStart:
        options.start = line.number(-kMaxStart, kMaxStart);
        break;
      case kSeconds:
        options.seconds = line.number(0.0, 1e9);
        if (options.seconds == 0.0)
          throw cli::Mistake(std::string("--seconds: must be more than 0: ") + line.value());
        break;
      case kHelp:
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
    }
  }
  options.files = line.operands();
  if (options.help || options.version) return options;
  if (options.files.size() != 2)
    throw cli::Mistake("give two audio files, the input and the output of a render (" +
                       std::to_string(options.files.size()) + " given)");
  if (options.output.empty()) throw cli::Mistake("no output file: give -o PLOT.png");
  return options;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "plonkrift-plot: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const auto status = cli::ParseCommandLine("plonkrift-plot", kUsage, Parse, argc, argv, options))
    return *status;
  const std::vector<std::string>& files = options.files;
  Stereo dry, wet;
  if (!Read(files[0], dry) || !Read(files[1], wet)) return 1;
  // One grid serves both lanes only when their samples are equally long.
  if (dry.rate != wet.rate)
    return Fail("sample rates differ: '" + files[0] + "' is " + std::to_string(static_cast<long>(dry.rate)) +
                " Hz, '" + files[1] + "' is " + std::to_string(static_cast<long>(wet.rate)) + " Hz");

  const int width = 1400, height = 560, margin = 60;
  const int columns = width - 2 * margin;
  const std::size_t shown =
      options.seconds > 0.0 ? std::min(wet.left.size(), static_cast<std::size_t>(options.seconds * wet.rate))
                            : wet.left.size();
  const double samplesPerPixel = std::max(1.0, static_cast<double>(shown) / columns);
  const Lane lanes[2] = {{50.0, 210.0, "input"}, {300.0, 210.0, "output (left amber, right blue)"}};

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.09, 0.09, 0.1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  // Bar labels as many as fit side by side; grid lines where they keep apart.
  const plot::Timeline timeline{wet.rate, options.tempo, options.start, samplesPerPixel,
                                static_cast<double>(columns)};
  cairo_set_font_size(cr, 12);
  const plot::Labels labels = plot::BarLabels(
      timeline,
      [cr](const std::string& text) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, text.c_str(), &extents);
        return extents.x_advance;
      },
      12.0);
  const std::vector<plot::Line> lines = plot::GridLines(timeline, 4.0, labels.step);
  // The finest level drawn names the grid in the caption.
  plot::Level finest = plot::Level::kBar;
  for (const plot::Line& line : lines) {
    const bool bar = line.level == plot::Level::kBar, beat = line.level == plot::Level::kBeat;
    finest = std::min(finest, line.level);
    const double x = margin + line.x;
    cairo_set_source_rgba(cr, 1, 1, 1, bar ? 0.45 : beat ? 0.22 : 0.08);
    cairo_set_line_width(cr, bar ? 1.5 : 1.0);
    cairo_move_to(cr, std::floor(x) + 0.5, 40);
    cairo_line_to(cr, std::floor(x) + 0.5, 520);
    cairo_stroke(cr);
  }
  cairo_set_source_rgba(cr, 1, 1, 1, 0.45);
  for (const plot::Label& label : labels.labels) {
    cairo_move_to(cr, margin + label.x + 4, 540);
    cairo_show_text(cr, label.text.c_str());
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
  std::snprintf(caption, sizeof caption, "%.6g BPM, %.0f Hz, grid: %s", options.tempo, wet.rate,
                finest == plot::Level::kSixteenth ? "sixteenth notes"
                : finest == plot::Level::kBeat    ? "beats"
                                                  : "bars");
  cairo_move_to(cr, width - margin - 300, 30);
  cairo_show_text(cr, caption);

  cairo_destroy(cr);
  const cairo_status_t status = cairo_surface_write_to_png(surface, options.output.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) return Fail("cannot write '" + options.output + "'");
  std::printf("plotted %s and %s to %s\n", files[0].c_str(), files[1].c_str(), options.output.c_str());
  return 0;
}
