// realhost-check: reads what a real host recorded around the plug-in and checks
// it against the host's grid and against our own renderer.
//
//   realhost-check join LEFT.wav RIGHT.wav OUT.wav
//       two mono files into one stereo 32-bit float file (the renderer's input)
//   realhost-check analyse [options]
//       prints one "PASS name: ..." or "FAIL name: ..." line per check and
//       exits with the number of failed checks
//
// The test's set-up makes the right output the gated dry signal alone and
// left minus right FD1's echo alone; see params.txt.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Audio {
  int rate = 0;
  std::vector<std::vector<float>> channels;
  std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

bool readAudio(const std::string& path, Audio& audio) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), sf_strerror(nullptr));
    return false;
  }
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  audio.rate = info.samplerate;
  audio.channels.assign(info.channels, std::vector<float>(static_cast<std::size_t>(got)));
  for (sf_count_t i = 0; i < got; ++i)
    for (int c = 0; c < info.channels; ++c)
      audio.channels[c][i] = interleaved[static_cast<std::size_t>(i) * info.channels + c];
  return true;
}

bool readMono(const std::string& path, std::vector<float>& samples, int& rate) {
  Audio audio;
  if (!readAudio(path, audio)) return false;
  if (audio.channels.size() != 1) {
    std::fprintf(stderr, "%s: expected one channel, found %zu\n", path.c_str(), audio.channels.size());
    return false;
  }
  samples = std::move(audio.channels[0]);
  rate = audio.rate;
  return true;
}

int join(const std::string& left, const std::string& right, const std::string& out) {
  std::vector<float> l, r;
  int rateL = 0, rateR = 0;
  if (!readMono(left, l, rateL) || !readMono(right, r, rateR)) return 2;
  if (rateL != rateR || l.size() != r.size()) {
    std::fprintf(stderr, "join: the two files differ in rate or length\n");
    return 2;
  }
  SF_INFO info{};
  info.samplerate = rateL;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(out.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 2;
  }
  std::vector<float> interleaved(l.size() * 2);
  for (std::size_t i = 0; i < l.size(); ++i) {
    interleaved[2 * i] = l[i];
    interleaved[2 * i + 1] = r[i];
  }
  const bool ok = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(l.size())) ==
                  static_cast<sf_count_t>(l.size());
  sf_close(file);
  return ok ? 0 : 2;
}

struct Options {
  double tempo = 0;
  int bars = 0;
  std::vector<int> steps;
  double delayBeats = 0;
  int tolerance = 3;
  std::string label = "run";
  std::string inLeft, inRight, capLeft, capRight, reference, twinLeft, twinRight;
};

class Report {
 public:
  explicit Report(std::string label) : label_(std::move(label)) {}
  void check(bool ok, const std::string& name, const std::string& detail) {
    std::printf("%s %s %s: %s\n", ok ? "PASS" : "FAIL", label_.c_str(), name.c_str(), detail.c_str());
    std::fflush(stdout);
    if (!ok) ++failed_;
  }
  int failed() const { return failed_; }

 private:
  std::string label_;
  int failed_ = 0;
};

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buffer[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buffer, sizeof buffer, fmt, args);
  va_end(args);
  return buffer;
}

// First samples of each burst: a non-zero sample after at least `quiet`
// samples that are exactly zero. Between bursts the gate's level is exactly 0,
// so the dry output is exactly 0 there.
std::vector<std::size_t> onsets(const std::vector<float>& x, std::size_t end, std::size_t quiet) {
  std::vector<std::size_t> found;
  std::size_t zeros = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (x[i] == 0.0f) {
      ++zeros;
      continue;
    }
    if (zeros >= quiet) found.push_back(i);
    zeros = 0;
  }
  return found;
}

// Lag (in samples, with a parabolic refinement) at which `echo` best matches
// `dry` over [from, to), searched within centre +- span.
double echoLag(const std::vector<float>& dry, const std::vector<float>& echo, std::size_t from,
               std::size_t to, double centre, int span) {
  const long first = static_cast<long>(std::floor(centre)) - span;
  std::vector<double> corr(2 * span + 2, 0.0);
  for (std::size_t k = 0; k < corr.size(); ++k) {
    const long lag = first + static_cast<long>(k);
    double sum = 0;
    for (std::size_t n = from; n < to; ++n) {
      const long j = static_cast<long>(n) + lag;
      if (j < 0 || j >= static_cast<long>(echo.size())) continue;
      sum += static_cast<double>(dry[n]) * echo[j];
    }
    corr[k] = sum;
  }
  const std::size_t best =
      static_cast<std::size_t>(std::max_element(corr.begin(), corr.end()) - corr.begin());
  double fraction = 0;
  if (best > 0 && best + 1 < corr.size()) {
    const double a = corr[best - 1], b = corr[best], c = corr[best + 1];
    const double denominator = a - 2 * b + c;
    if (denominator != 0) fraction = 0.5 * (a - c) / denominator;
  }
  return static_cast<double>(first + static_cast<long>(best)) + fraction;
}

int analyse(const Options& o) {
  Report report(o.label);
  Audio inL, inR, capL, capR;
  std::vector<float> l, r;
  if (!readAudio(o.inLeft, inL) || !readAudio(o.inRight, inR) || !readAudio(o.capLeft, capL) ||
      !readAudio(o.capRight, capR))
    return 100;
  const int rate = capL.rate;
  const double beat = rate * 60.0 / o.tempo;
  const double step = beat / 4.0;
  const auto songEnd = static_cast<std::size_t>(std::ceil(beat * 4 * o.bars));
  const std::vector<float>& outL = capL.channels[0];
  const std::vector<float>& outR = capR.channels[0];

  report.check(capL.frames() >= songEnd && capR.frames() == capL.frames() && inL.frames() == capL.frames() &&
                   inR.frames() == capL.frames(),
               "recorded-length",
               format("%zu frames recorded on each of the four channels, %zu needed for %d bars",
                      capL.frames(), songEnd, o.bars));
  if (report.failed() != 0) return report.failed();

  // The known input: the dummy backend's DC device gives 0.5 on every channel.
  std::size_t badInput = 0;
  for (std::size_t i = 0; i < songEnd; ++i)
    if (inL.channels[0][i] != 0.5f || inR.channels[0][i] != 0.5f) ++badInput;
  report.check(badInput == 0, "known-input",
               format("%zu of %zu input frames differ from 0.5", badInput, songEnd));

  std::size_t nonFinite = 0;
  for (std::size_t i = 0; i < capL.frames(); ++i)
    if (!std::isfinite(outL[i]) || !std::isfinite(outR[i])) ++nonFinite;
  report.check(nonFinite == 0, "finite-output", format("%zu non-finite frames", nonFinite));

  // Gate steps against the host's sixteenth-note grid.
  const std::vector<std::size_t> found = onsets(outR, songEnd, 64);
  std::vector<double> expected;
  for (int bar = 0; bar < o.bars; ++bar)
    for (int s : o.steps) expected.push_back((bar * 16 + s - 1) * step);
  double worst = 0, lowest = 1e9, highest = -1e9;
  std::size_t matched = 0;
  std::vector<std::size_t> matchedOnsets;
  for (double t : expected) {
    const auto it = std::min_element(found.begin(), found.end(), [t](std::size_t a, std::size_t b) {
      return std::fabs(static_cast<double>(a) - t) < std::fabs(static_cast<double>(b) - t);
    });
    if (it == found.end() || std::fabs(static_cast<double>(*it) - t) > step / 4) continue;
    ++matched;
    matchedOnsets.push_back(*it);
    const double error = static_cast<double>(*it) - t;
    worst = std::max(worst, std::fabs(error));
    lowest = std::min(lowest, error);
    highest = std::max(highest, error);
  }
  report.check(
      matched == expected.size() && found.size() == expected.size() && worst <= o.tolerance, "gate-grid",
      format("%zu of %zu steps found (%zu bursts in all); first gated sample minus grid time: %.2f to %.2f "
             "samples (limit %d)",
             matched, expected.size(), found.size(), matched ? lowest : 0.0, matched ? highest : 0.0,
             o.tolerance));

  // FD1's echo: left minus right, compared with the dry burst it repeats.
  std::vector<float> echo(capL.frames());
  for (std::size_t i = 0; i < echo.size(); ++i) echo[i] = outL[i] - outR[i];
  const double delay = o.delayBeats * beat;
  double echoWorst = 0, echoLow = 1e9, echoHigh = -1e9;
  std::size_t measured = 0;
  for (std::size_t onset : matchedOnsets) {
    const std::size_t to = std::min(onset + static_cast<std::size_t>(step * 1.5), songEnd);
    if (onset + static_cast<std::size_t>(delay) + 64 >= capL.frames()) continue;
    const double lag = echoLag(outR, echo, onset, to, delay, 32);
    const double error = lag - delay;
    ++measured;
    echoWorst = std::max(echoWorst, std::fabs(error));
    echoLow = std::min(echoLow, error);
    echoHigh = std::max(echoHigh, error);
  }
  // The low-pass after the delay line adds about a quarter of a sample.
  report.check(measured > 0 && measured == matchedOnsets.size() && echoWorst <= 1.0, "fd1-echo",
               format("%zu echoes at %.3f samples (%.2f beat); measured lag minus delay %.3f to %.3f samples "
                      "(limit 1)",
                      measured, delay, o.delayBeats, measured ? echoLow : 0.0, measured ? echoHigh : 0.0));

  // Our renderer, fed the recorded input: the host's time information must
  // drive the engine to the same output. The first beat is left out: there
  // the host still held the steps and FD1 off by automation.
  if (!o.reference.empty()) {
    Audio ref;
    if (!readAudio(o.reference, ref) || ref.channels.size() != 2) return report.failed() + 1;
    const std::size_t from = static_cast<std::size_t>(beat);
    const std::size_t to = std::min(songEnd, ref.frames());
    long bestLag = 0;
    double bestError = 1e30;
    for (long lag = -1024; lag <= 1024; ++lag) {
      double error = 0;
      for (std::size_t i = from; i < to; i += 7) {
        const long j = static_cast<long>(i) + lag;
        if (j < 0 || j >= static_cast<long>(capL.frames())) continue;
        error += std::fabs(outL[j] - ref.channels[0][i]) + std::fabs(outR[j] - ref.channels[1][i]);
      }
      if (error < bestError) {
        bestError = error;
        bestLag = lag;
      }
    }
    // The right output (the gated dry signal) must agree exactly: the steps
    // come from the host's positions alone. The left carries FD1's echo,
    // whose fractional read position is a 32-bit float of the delay line's
    // write index; in the host FD1 is switched on by automation a block after
    // the song starts, so that index (and its rounding) is not the
    // renderer's: the echo agrees to float resolution, not bit for bit.
    double echoDiff = 0;
    std::size_t dryDiffering = 0;
    for (std::size_t i = from; i < to; ++i) {
      const long j = static_cast<long>(i) + bestLag;
      if (j < 0 || j >= static_cast<long>(capL.frames())) {
        ++dryDiffering;
        continue;
      }
      if (outR[j] != ref.channels[1][i]) ++dryDiffering;
      echoDiff = std::max(echoDiff, static_cast<double>(std::fabs(outL[j] - ref.channels[0][i])));
    }
    report.check(bestLag == 0 && dryDiffering == 0 && echoDiff <= 1e-4, "matches-renderer",
                 format("best alignment %ld samples; from beat 2 to bar %d: %zu dry frames differ, largest "
                        "difference with the echo %.3g (limit 1e-4)",
                        bestLag, o.bars, dryDiffering, echoDiff));
  }

  if (!o.twinLeft.empty()) {
    Audio twinL, twinR;
    if (!readAudio(o.twinLeft, twinL) || !readAudio(o.twinRight, twinR)) return report.failed() + 1;
    const std::size_t n = std::min(twinL.frames(), capL.frames());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < n; ++i)
      if (std::memcmp(&twinL.channels[0][i], &outL[i], sizeof(float)) != 0 ||
          std::memcmp(&twinR.channels[0][i], &outR[i], sizeof(float)) != 0)
        ++differing;
    report.check(n >= songEnd && differing == 0, "identical-renders",
                 format("%zu of %zu frames differ between two renders", differing, n));
  }
  return report.failed();
}

std::vector<int> parseList(const std::string& text) {
  std::vector<int> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    out.push_back(std::atoi(text.substr(start, comma - start).c_str()));
    start = comma + 1;
  }
  return out;
}

int usage() {
  std::fprintf(stderr,
               "usage: realhost-check join LEFT RIGHT OUT\n"
               "       realhost-check analyse --tempo BPM --bars N --steps 5,8,.. --delay-beats B\n"
               "           --input L R --capture L R [--reference REF] [--twin L R] [--label TEXT]\n"
               "           [--tolerance SAMPLES]\n");
  return 100;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  if (command == "join") return argc == 5 ? join(argv[2], argv[3], argv[4]) : usage();
  if (command != "analyse") return usage();
  Options o;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", a.c_str());
        std::exit(100);
      }
      return argv[++i];
    };
    if (a == "--tempo")
      o.tempo = std::atof(next().c_str());
    else if (a == "--bars")
      o.bars = std::atoi(next().c_str());
    else if (a == "--steps")
      o.steps = parseList(next());
    else if (a == "--delay-beats")
      o.delayBeats = std::atof(next().c_str());
    else if (a == "--tolerance")
      o.tolerance = std::atoi(next().c_str());
    else if (a == "--label")
      o.label = next();
    else if (a == "--reference")
      o.reference = next();
    else if (a == "--input") {
      o.inLeft = next();
      o.inRight = next();
    } else if (a == "--capture") {
      o.capLeft = next();
      o.capRight = next();
    } else if (a == "--twin") {
      o.twinLeft = next();
      o.twinRight = next();
    } else
      return usage();
  }
  if (o.tempo <= 0 || o.bars <= 0 || o.steps.empty() || o.capLeft.empty() || o.inLeft.empty()) return usage();
  return analyse(o);
}
