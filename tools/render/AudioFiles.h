#pragma once

// Sound files through libsndfile: the output's format from its name, an
// input of any format libsndfile reads (standard input included), read block
// by block.

#include <sndfile.h>

#include <optional>
#include <string>
#include <vector>

namespace render {

// An output format as the user chose it: by the file's extension or --type.
struct OutputFormat {
  std::string name;  // "WAV", "FLAC", ...
  int major = 0;     // SF_FORMAT_WAV, ...
  int subtype = 0;   // SF_FORMAT_FLOAT, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS, ...
  bool lossy = false;
  int bits = 0;  // 16, 24, or 32 (float); 0 for lossy formats

  bool integer() const { return !lossy && bits != 32; }
  std::string describe() const;  // "WAV, 32-bit float"
};

// The format for path ("-" for standard output) from its extension and the
// --type and --bits options; false with a reason when they do not fit.
bool ChooseFormat(const std::string& path, const std::string& type, std::optional<int> bits,
                  OutputFormat& format, std::string& error);

// The names --type takes, for messages and --help.
std::string FormatNames();

// An open input file, read in blocks of deinterleaved left and right
// samples (a mono file feeds both).
class Input {
 public:
  Input() = default;
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // path "-" is standard input; when that is a pipe it is first copied to a
  // nameless temporary file, so every format libsndfile reads from a file
  // (FLAC, CAF and others cannot be read from a pipe) reads from it.
  bool open(const std::string& path, std::string& error);
  double rate() const { return info_.samplerate; }
  // The frame count the file announces; nullopt when unknown.
  std::optional<sf_count_t> frames() const;
  // Frames read into left and right (0 at the end).
  std::size_t read(float* left, float* right, std::size_t count);
  // After the end: a one-line note when the file held less than its header
  // announced or its decoder gave up, else empty.
  std::string shortfall() const;

 private:
  std::string path_;
  SNDFILE* file_ = nullptr;
  int spool_ = -1;
  SF_INFO info_{};
  sf_count_t read_ = 0;
  std::vector<float> interleaved_;
};

// Opens an output of the given format on fd. maxFrames, when known, decides
// between WAV and RF64 (above 4 GiB). Byte for byte the same for the same
// audio: no time-stamped PEAK chunk.
SNDFILE* OpenOutput(int fd, const std::string& name, const OutputFormat& format, int rate,
                    std::optional<sf_count_t> maxFrames, std::string& error);

// libsndfile writes a PEAK chunk stamped with the time into every float
// RF64 file, asked or not; this sets the stamp of a finished file on fd to 0
// so renders stay identical byte for byte.
void ClearPeakTimeStamp(int fd);

// libsndfile's message for file (nullptr: the last open), without its
// "System error : " prefix and final period.
std::string SoundError(SNDFILE* file);

}  // namespace render
