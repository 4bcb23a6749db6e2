#include "tools/render/AudioFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tools/render/SafeFile.h"

namespace render {

namespace {

struct KnownFormat {
  const char* type;  // as --type takes it
  const char* name;
  int major;
  int lossySubtype;  // 0: PCM or float
  bool hasFloat;
  const char* extensions[3];
};

constexpr KnownFormat kFormats[] = {
    {"wav", "WAV", SF_FORMAT_WAV, 0, true, {"wav", "wave", nullptr}},
    {"rf64", "RF64", SF_FORMAT_RF64, 0, true, {"rf64", nullptr, nullptr}},
    {"w64", "W64", SF_FORMAT_W64, 0, true, {"w64", nullptr, nullptr}},
    {"flac", "FLAC", SF_FORMAT_FLAC, 0, false, {"flac", nullptr, nullptr}},
    {"aiff", "AIFF", SF_FORMAT_AIFF, 0, true, {"aiff", "aif", "aifc"}},
    {"caf", "CAF", SF_FORMAT_CAF, 0, true, {"caf", nullptr, nullptr}},
    {"au", "AU", SF_FORMAT_AU, 0, true, {"au", "snd", nullptr}},
    {"ogg", "OGG Vorbis", SF_FORMAT_OGG, SF_FORMAT_VORBIS, false, {"ogg", "oga", nullptr}},
    {"opus", "OGG Opus", SF_FORMAT_OGG, SF_FORMAT_OPUS, false, {"opus", nullptr, nullptr}},
    {"mp3", "MP3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, false, {"mp3", nullptr, nullptr}},
};

// A WAV whose data may pass this size is written as RF64 (the 32-bit sizes
// of WAV end at 4 GiB; the rest leaves room for the header).
constexpr sf_count_t kWavLimit = 0xFFFFFFFFll - (1ll << 20);

// libsndfile marks an unknown length with a huge count.
constexpr sf_count_t kUnknownFrames = SF_COUNT_MAX / 16;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const KnownFormat* ByType(const std::string& type) {
  for (const KnownFormat& f : kFormats)
    if (Lower(type) == f.type) return &f;
  return nullptr;
}

const KnownFormat* ByExtension(const std::string& extension) {
  for (const KnownFormat& f : kFormats)
    for (const char* e : f.extensions)
      if (e != nullptr && extension == e) return &f;
  return nullptr;
}

std::string Extension(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = base.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  return Lower(base.substr(dot + 1));
}

}  // namespace

std::string FormatNames() {
  std::string names;
  for (const KnownFormat& f : kFormats) names += (names.empty() ? "" : ", ") + std::string(f.type);
  return names;
}

std::string OutputFormat::describe() const {
  if (lossy) return name;
  return name + (bits == 32 ? ", 32-bit float" : ", " + std::to_string(bits) + "-bit");
}

bool ChooseFormat(const std::string& path, const std::string& type, std::optional<int> bits,
                  OutputFormat& format, std::string& error) {
  const KnownFormat* chosen = nullptr;
  if (!type.empty()) {
    chosen = ByType(type);
    if (chosen == nullptr)
      return error = "--type: unknown format: " + type + " (give " + FormatNames() + ")", false;
  }
  if (path == "-") {
    if (chosen == nullptr) return error = "standard output needs --type (" + FormatNames() + ")", false;
  } else {
    const std::string extension = Extension(path);
    const KnownFormat* named = ByExtension(extension);
    if (named != nullptr && chosen != nullptr && named != chosen)
      return error = "'" + path + "' is named as " + named->name + " but --type is " + chosen->type, false;
    if (named == nullptr && chosen == nullptr) {
      if (extension.empty())
        return error = "'" + path + "' has no extension to tell its format: name it ." +
                       std::string(kFormats[0].extensions[0]) + ", .flac, ... or give --type",
               false;
      return error = "'" + path + "': unknown format ." + extension + " (known: " + FormatNames() + ")",
             false;
    }
    if (chosen == nullptr) chosen = named;
  }
  format = OutputFormat{};
  format.name = chosen->name;
  format.major = chosen->major;
  format.lossy = chosen->lossySubtype != 0;
  if (format.lossy) {
    if (bits) return error = "--bits does not apply to " + format.name + " (a lossy format)", false;
    format.subtype = chosen->lossySubtype;
    return true;
  }
  format.bits = bits.value_or(chosen->hasFloat ? 32 : 24);
  if (format.bits == 32 && !chosen->hasFloat)
    return error = format.name + " holds no float samples: give --bits 16 or 24", false;
  format.subtype = format.bits == 16   ? SF_FORMAT_PCM_16
                   : format.bits == 24 ? SF_FORMAT_PCM_24
                                       : SF_FORMAT_FLOAT;
  return true;
}

std::string SoundError(SNDFILE* file) {
  std::string message = sf_strerror(file);
  for (const char* prefix : {"System error : ", "Error : "})
    if (message.rfind(prefix, 0) == 0) message.erase(0, std::strlen(prefix));
  while (!message.empty() && (message.back() == '.' || message.back() == '\n')) message.pop_back();
  return message;
}

SNDFILE* OpenOutput(int fd, const std::string& name, const OutputFormat& format, int rate,
                    std::optional<sf_count_t> maxFrames, std::string& error) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = format.major | format.subtype;
  const sf_count_t bytesPerFrame = 2 * std::max(2, format.bits / 8);
  const bool huge = !maxFrames || *maxFrames > kWavLimit / bytesPerFrame;
  const bool rf64 = format.major == SF_FORMAT_WAV && huge;
  if (rf64) info.format = SF_FORMAT_RF64 | format.subtype;
  if (!sf_format_check(&info))
    return error = "cannot write '" + name + "': " + format.describe() + " does not take " +
                   std::to_string(rate) + " Hz stereo",
           nullptr;
  SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  if (file == nullptr) {
    const std::string why = SoundError(nullptr);
    if (why.find("pipe") != std::string::npos)
      return error = format.name + " cannot be written to a pipe: give --type flac, ogg, opus, au or mp3",
             nullptr;
    return error = "cannot write '" + name + "': " + why, nullptr;
  }
  // Only files that may pass 4 GiB stay RF64; the rest come out plain WAV.
  if (rf64) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  // The PEAK chunk carries the time of writing: two renders would differ.
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  // Integer samples beyond full scale are clipped rather than wrapped around.
  if (format.integer()) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return file;
}

void ClearPeakTimeStamp(int fd) {
  unsigned char header[4096] = {};
  const ssize_t size = pread(fd, header, sizeof header, 0);
  if (size < 12 || (std::memcmp(header, "RF64", 4) != 0 && std::memcmp(header, "RIFF", 4) != 0)) return;
  // Chunks follow "RIFF"/"RF64", a size and "WAVE": an id and a
  // little-endian size each, padded to even lengths.
  for (ssize_t at = 12; at + 16 <= size;) {
    const std::uint32_t length = header[at + 4] | header[at + 5] << 8 | header[at + 6] << 16 |
                                 static_cast<std::uint32_t>(header[at + 7]) << 24;
    if (std::memcmp(header + at, "data", 4) == 0) return;
    if (std::memcmp(header + at, "PEAK", 4) == 0) {
      // id, size, version, then the time stamp.
      const unsigned char zero[4] = {};
      if (pwrite(fd, zero, sizeof zero, at + 12) != sizeof zero) return;
      return;
    }
    at += 8 + static_cast<ssize_t>(length) + (length & 1);
  }
}

Input::~Input() {
  if (file_ != nullptr) sf_close(file_);
  if (spool_ >= 0) close(spool_);
}

bool Input::open(const std::string& path, std::string& error) {
  path_ = path == "-" ? "standard input" : path;
  int fd = -1;
  if (path == "-") {
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0) return error = "cannot read standard input", false;
    if (isatty(STDIN_FILENO)) return error = "standard input is a terminal: pipe a sound file into it", false;
    fd = STDIN_FILENO;
    if (!S_ISREG(status.st_mode)) {
      const char* folder = std::getenv("TMPDIR");
      spool_ = AnonymousFile(folder != nullptr && *folder != '\0' ? folder : "/tmp");
      if (spool_ < 0)
        return error = std::string("cannot make a temporary file: ") + std::strerror(errno), false;
      std::vector<char> buffer(1 << 16);
      for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
          if (errno == EINTR) continue;
          return error = std::string("cannot read standard input: ") + std::strerror(errno), false;
        }
        for (ssize_t done = 0; done < got;) {
          const ssize_t put = ::write(spool_, buffer.data() + done, static_cast<std::size_t>(got - done));
          if (put < 0 && errno == EINTR) continue;
          if (put <= 0)
            return error =
                       std::string("cannot keep standard input in a temporary file: ") + std::strerror(errno),
                   false;
          done += put;
        }
      }
      if (lseek(spool_, 0, SEEK_SET) != 0) return error = "cannot read standard input back", false;
      fd = spool_;
    }
    file_ = sf_open_fd(fd, SFM_READ, &info_, SF_FALSE);
  } else {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return error = "input file '" + path + "' does not exist", false;
    if (S_ISDIR(status.st_mode) || access(path.c_str(), R_OK) != 0)
      return error = "cannot read input file '" + path + "'", false;
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
  }
  if (file_ == nullptr)
    return error = "unsupported format of '" + path_ + "' (" + SoundError(nullptr) + ")", false;
  if (info_.channels < 1 || info_.channels > 2)
    return error = "'" + path_ + "' has " + std::to_string(info_.channels) +
                   " channels: give a mono or stereo file",
           false;
  return true;
}

std::optional<sf_count_t> Input::frames() const {
  if (info_.frames < 0 || info_.frames >= kUnknownFrames) return std::nullopt;
  return info_.frames;
}

std::size_t Input::read(float* left, float* right, std::size_t count) {
  const int channels = info_.channels;
  interleaved_.resize(count * channels);
  std::size_t got = 0;
  while (got < count) {
    const sf_count_t n =
        sf_readf_float(file_, interleaved_.data() + got * channels, static_cast<sf_count_t>(count - got));
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  for (std::size_t k = 0; k < got; ++k) {
    left[k] = interleaved_[k * channels];
    right[k] = interleaved_[k * channels + channels - 1];
  }
  read_ += static_cast<sf_count_t>(got);
  return got;
}

std::string Input::shortfall() const {
  const std::string frames = std::to_string(read_);
  if (sf_error(file_) != SF_ERR_NO_ERROR)
    return "'" + path_ + "' is damaged or truncated after " + frames + " frames (" + SoundError(file_) +
           "); rendering what was read";
  // Decoders of MPEG audio know the length only to a frame or two.
  const sf_count_t slack = (info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG ? 2304 : 0;
  if (const auto announced = this->frames(); announced && read_ + slack < *announced)
    return "'" + path_ + "' is truncated: its header announces " + std::to_string(*announced) +
           " frames, it holds " + frames + "; rendering those";
  // For WAV, AIFF, AU and their kin libsndfile trims the announced length
  // to the file and tells so only in its log.
  char log[16384] = {};
  sf_command(file_, SFC_GET_LOG_INFO, log, sizeof log);
  std::string text = log;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = std::min(text.find('\n', begin), text.size());
    const std::string line = Lower(text.substr(begin, end - begin));
    const bool dataLine = line.find("data") != std::string::npos || line.find("ssnd") != std::string::npos;
    if ((dataLine && line.find("should be") != std::string::npos) ||
        line.find("> file length") != std::string::npos)
      return "'" + path_ + "' is truncated: its header announces more audio than it holds; rendering the " +
             frames + " frames there are";
    begin = end + 1;
  }
  return "";
}

}  // namespace render
