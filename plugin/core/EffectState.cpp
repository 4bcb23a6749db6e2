#include "plugin/core/EffectState.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

using parameters::kFirst;
using parameters::kLast;
constexpr int kNumPrograms = EffectCore::kNumPrograms;

// A state parsed and checked, before anything of the core is touched.
struct ParsedState {
  int current = 0;
  float working[kLast + 1] = {};
  struct {
    char name[ProgramBank::Program::kNameCapacity] = {};
    float values[kLast + 1] = {};
  } programs[kNumPrograms];
};

// Writes fields into a buffer of the format's greatest size, which every
// state fits.
class Output {
 public:
  explicit Output(std::span<std::uint8_t, kStateMaxSize> bytes) : bytes_(bytes) {}

  void u8(std::uint8_t value) { bytes_[size_++] = value; }
  void u32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) u8(static_cast<std::uint8_t>(value >> shift));
  }
  void f32(float value) { u32(std::bit_cast<std::uint32_t>(value)); }
  void put(const void* data, std::size_t n) {
    std::memcpy(bytes_.data() + size_, data, n);
    size_ += n;
  }
  void u32At(std::size_t offset, std::uint32_t value) {
    const std::size_t end = size_;
    size_ = offset;
    u32(value);
    size_ = end;
  }
  std::size_t size() const { return size_; }

 private:
  std::span<std::uint8_t, kStateMaxSize> bytes_;
  std::size_t size_ = 0;
};

// Reads fields off the front of a span; once it runs short every later read
// fails too.
class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool u8(std::uint8_t& value) {
    if (bytes_.empty()) return false;
    value = bytes_[0];
    bytes_ = bytes_.subspan(1);
    return true;
  }
  bool u32(std::uint32_t& value) {
    if (bytes_.size() < 4) return false;
    value = static_cast<std::uint32_t>(bytes_[0]) | static_cast<std::uint32_t>(bytes_[1]) << 8 |
            static_cast<std::uint32_t>(bytes_[2]) << 16 | static_cast<std::uint32_t>(bytes_[3]) << 24;
    bytes_ = bytes_.subspan(4);
    return true;
  }
  // A stored value as the core would hold it after a write.
  bool value(float& out) {
    std::uint32_t bits = 0;
    if (!u32(bits)) return false;
    out = parameters::clamped(std::bit_cast<float>(bits));
    return true;
  }
  bool take(std::size_t n, std::span<const std::uint8_t>& out) {
    if (bytes_.size() < n) return false;
    out = bytes_.first(n);
    bytes_ = bytes_.subspan(n);
    return true;
  }
  bool atEnd() const { return bytes_.empty(); }

 private:
  std::span<const std::uint8_t> bytes_;
};

// The header's checks, which a stream makes before it reads the payload:
// our magic, a version we read, a length the format can have. The payload
// length is set when the header is acceptable.
bool ParseHeader(std::span<const std::uint8_t> header, std::uint32_t& payloadLength) {
  Cursor in(header);
  std::span<const std::uint8_t> magic;
  std::uint32_t version = 0, length = 0;
  if (!in.take(sizeof kStateMagic, magic) || !in.u32(version) || !in.u32(length)) return false;
  if (std::memcmp(magic.data(), kStateMagic, sizeof kStateMagic) != 0) return false;
  if (version != kStateVersion) return false;
  if (length < kStateMinPayloadSize || length > kStateMaxPayloadSize) return false;
  payloadLength = length;
  return true;
}

bool ParseValues(Cursor& in, float (&values)[kLast + 1]) {
  for (int slot = kFirst; slot <= kLast; ++slot)
    if (!in.value(values[slot])) return false;
  return true;
}

bool ParsePayload(std::span<const std::uint8_t> payload, ParsedState& state) {
  Cursor in(payload);
  std::uint32_t current = 0;
  if (!in.u32(current) || current >= kNumPrograms) return false;
  state.current = static_cast<int>(current);
  if (!ParseValues(in, state.working)) return false;
  for (auto& program : state.programs) {
    std::uint8_t length = 0;
    std::span<const std::uint8_t> name;
    if (!in.u8(length) || length > kStateMaxNameLength || !in.take(length, name)) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (name[i] == 0) return false;
      program.name[i] = static_cast<char>(name[i]);
    }
    if (!ParseValues(in, program.values)) return false;
  }
  // The declared length must be exactly what the fields take.
  return in.atEnd();
}

bool Parse(std::span<const std::uint8_t> bytes, ParsedState& state) {
  std::uint32_t payloadLength = 0;
  if (bytes.size() < kStateHeaderSize || !ParseHeader(bytes.first(kStateHeaderSize), payloadLength))
    return false;
  if (bytes.size() - kStateHeaderSize != payloadLength) return false;
  return ParsePayload(bytes.subspan(kStateHeaderSize), state);
}

void Apply(EffectCore& core, const ParsedState& state) {
  for (int p = 0; p < kNumPrograms; ++p) {
    ProgramBank::Program& program = core.programs[p];
    for (int slot = kFirst; slot <= kLast; ++slot) program.values[slot].store(state.programs[p].values[slot]);
    ProgramBank::rename(program, state.programs[p].name);
  }
  core.programs.select(state.current);
  // Straight into the working set: it may differ from the current program's
  // values, and a parameter call would write those too.
  for (int slot = kFirst; slot <= kLast; ++slot) core.params[slot].store(state.working[slot]);
}

std::size_t Encode(const EffectCore& core, std::span<std::uint8_t, kStateMaxSize> buffer) {
  Output out(buffer);
  out.put(kStateMagic, sizeof kStateMagic);
  out.u32(kStateVersion);
  out.u32(0);  // the payload's length, known at the end
  out.u32(static_cast<std::uint32_t>(core.currentProgram()));
  for (int slot = kFirst; slot <= kLast; ++slot) out.f32(core.params[slot].load());
  for (int p = 0; p < kNumPrograms; ++p) {
    const ProgramBank::Program& program = core.programs[p];
    // A name is never longer than the bank keeps, and ends at its first NUL.
    std::size_t length = 0;
    while (length < kStateMaxNameLength && program.name[length] != '\0') ++length;
    out.u8(static_cast<std::uint8_t>(length));
    out.put(program.name, length);
    for (int slot = kFirst; slot <= kLast; ++slot) out.f32(program.values[slot].load());
  }
  out.u32At(8, static_cast<std::uint32_t>(out.size() - kStateHeaderSize));
  return out.size();
}

// Moves size bytes through a host's stream call by call; false when it ends
// early, fails or claims more than it was asked for.
template <typename Data, typename Move>
bool MoveAll(Data* data, std::size_t size, const Move& move) {
  std::size_t done = 0;
  while (done < size) {
    const std::int64_t asked = static_cast<std::int64_t>(size - done);
    const std::int64_t moved = move(data + done, asked);
    if (moved <= 0 || moved > asked) return false;
    done += static_cast<std::size_t>(moved);
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> stateBytes(const EffectCore& core) {
  std::array<std::uint8_t, kStateMaxSize> buffer;
  const std::size_t size = Encode(core, buffer);
  return std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
}

bool loadState(EffectCore& core, std::span<const std::uint8_t> bytes) {
  ParsedState state;
  if (!Parse(bytes, state)) return false;
  Apply(core, state);
  return true;
}

bool saveState(const EffectCore& core, const StateWriter& write) {
  if (!write) return false;
  std::array<std::uint8_t, kStateMaxSize> buffer;
  const std::size_t size = Encode(core, buffer);
  return MoveAll(buffer.data(), size,
                 [&](const std::uint8_t* data, std::int64_t n) { return write(data, n); });
}

bool loadState(EffectCore& core, const StateReader& read) {
  if (!read) return false;
  const auto readInto = [&](std::uint8_t* data, std::int64_t n) { return read(data, n); };
  std::array<std::uint8_t, kStateMaxSize> buffer;
  std::uint32_t payloadLength = 0;
  if (!MoveAll(buffer.data(), kStateHeaderSize, readInto) ||
      !ParseHeader(std::span(buffer).first(kStateHeaderSize), payloadLength))
    return false;
  // The header admits no more than the format's size.
  if (!MoveAll(buffer.data() + kStateHeaderSize, payloadLength, readInto)) return false;
  return loadState(core, std::span(buffer).first(kStateHeaderSize + payloadLength));
}
