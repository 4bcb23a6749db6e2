// The effect's saved state as a host stores it and hands it back: a round
// trip into a fresh core, the exact bytes of a known core, malformed inputs
// refused with the core untouched, and host streams that move a few bytes a
// call.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "plugin/core/EffectState.h"
#include "tests/plugin/core/CoreSnapshot.h"

namespace {

using namespace parameters;
using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 16) & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value >> 24));
}

void SetU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  Bytes le;
  PutU32(le, value);
  std::copy(le.begin(), le.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// The format written out field by field as its description in EffectState.h
// lays it out, apart from the code under test, so that faults can be placed
// in one field with every length still consistent.
struct Fields {
  std::string magic = "PR6S";
  std::uint32_t version = 1;
  std::uint32_t current = 0;
  float working[kLast + 1] = {};
  struct Program {
    std::string name;
    float values[kLast + 1] = {};
  } programs[EffectCore::kNumPrograms];

  // A fresh core's state: the defaults everywhere, "Init Preset 01" ...
  Fields() {
    for (int slot = kFirst; slot <= kLast; ++slot) working[slot] = defaultValue(slot);
    for (int p = 0; p < EffectCore::kNumPrograms; ++p) {
      programs[p].name = "Init Preset 0" + std::to_string(p + 1);
      std::copy(std::begin(working), std::end(working), programs[p].values);
    }
  }

  Bytes Encode() const {
    Bytes payload;
    PutU32(payload, current);
    PutValues(payload, working);
    for (const Program& p : programs) {
      payload.push_back(static_cast<std::uint8_t>(p.name.size()));
      payload.insert(payload.end(), p.name.begin(), p.name.end());
      PutValues(payload, p.values);
    }
    Bytes out(magic.begin(), magic.end());
    PutU32(out, version);
    PutU32(out, static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
  }

  static void PutValues(Bytes& out, const float (&values)[kLast + 1]) {
    for (int slot = kFirst; slot <= kLast; ++slot) PutU32(out, std::bit_cast<std::uint32_t>(values[slot]));
  }
};

// A core far from a fresh one: every program edited and renamed, odd bit
// patterns and names at the limits, program 5 current.
std::unique_ptr<EffectCore> EditedCore() {
  auto core = std::make_unique<EffectCore>();
  const std::string names[EffectCore::kNumPrograms] = {
      "", std::string(51, 'z'), "Ré-échos", "\x01\xff bytes", "Dub echo 2", "a", " spaced  out ", "Bounce"};
  std::uint32_t seed = 12345;
  for (int p = 0; p < EffectCore::kNumPrograms; ++p) {
    core->setProgram(p);
    for (int slot = kFirst; slot <= kLast; ++slot) {
      seed = seed * 1664525u + 1013904223u;
      // Every float with 24 significant bits in 0..1 is a value the core keeps.
      core->setParameter(slot, static_cast<float>(seed >> 8) * 0x1p-24f);
    }
    core->setProgramName(names[p].c_str());
  }
  core->setProgram(5);
  core->setParameter(kStep1, std::numeric_limits<float>::denorm_min());
  core->setParameter(kTie1, 1.0f);
  core->setParameter(kGateShuffle, std::nextafter(1.0f, 0.0f));
  // The working set is its own field: a load that took it from the current
  // program would lose this.
  core->params[kGateVolume].store(0.125f);
  return core;
}

TEST(State, RoundTripIntoAFreshCoreRestoresAnEqualCore) {
  auto edited = EditedCore();
  auto fresh = std::make_unique<EffectCore>();
  ASSERT_NE(Difference(CoreSnapshot::Of(*fresh), CoreSnapshot::Of(*edited)), "");

  const Bytes saved = stateBytes(*edited);
  ASSERT_TRUE(loadState(*fresh, saved));
  EXPECT_EQ(Difference(CoreSnapshot::Of(*fresh), CoreSnapshot::Of(*edited)), "");
  EXPECT_EQ(stateBytes(*fresh), saved) << "saved again, the same bytes";

  // The programs came back as programs: switching to one plays its values.
  ASSERT_TRUE(fresh->setProgram(2));
  ASSERT_TRUE(edited->setProgram(2));
  EXPECT_EQ(Difference(CoreSnapshot::Of(*fresh), CoreSnapshot::Of(*edited)), "");
}

TEST(State, ValuesOutsideTheRangeAreClampedAsEveryWriteIs) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float in[] = {std::numeric_limits<float>::quiet_NaN(), 2.0f, -1.0f, -0.0f, kInf, -kInf, 0.5f};
  const float stored[] = {0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f};
  Fields fields;
  fields.current = 7;
  for (int i = 0; i < 7; ++i) {
    fields.working[kStep1 + i] = in[i];
    fields.programs[3].values[kGateDecay + i] = in[i];
  }
  auto core = std::make_unique<EffectCore>();
  ASSERT_TRUE(loadState(*core, fields.Encode()));
  EXPECT_EQ(core->currentProgram(), 7);
  for (int i = 0; i < 7; ++i) {
    // Bits, so that -0 stored as -0 shows.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(core->params[kStep1 + i].load()),
              std::bit_cast<std::uint32_t>(stored[i]))
        << in[i];
    EXPECT_EQ(std::bit_cast<std::uint32_t>(core->programs[3].values[kGateDecay + i].load()),
              std::bit_cast<std::uint32_t>(stored[i]))
        << in[i];
  }
}

TEST(State, MalformedInputIsRefusedAndTheCoreStaysAsItWas) {
  const Bytes valid = Fields().Encode();
  const std::uint32_t length = static_cast<std::uint32_t>(valid.size() - 12);
  const auto patched = [&](auto change) {
    Bytes b = valid;
    change(b);
    return b;
  };
  const auto withFields = [](auto change) {
    Fields f;
    change(f);
    return f.Encode();
  };
  const struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"wrong magic", patched([](Bytes& b) { b[0] = 'X'; })},
      {"magic reversed", withFields([](Fields& f) { f.magic = "S6RP"; })},
      {"version 2", withFields([](Fields& f) { f.version = 2; })},
      {"version 0", withFields([](Fields& f) { f.version = 0; })},
      {"length says one byte more than there is", patched([&](Bytes& b) { SetU32(b, 8, length + 1); })},
      {"length says one byte less than there is", patched([&](Bytes& b) { SetU32(b, 8, length - 1); })},
      {"a byte more than the fields take, length to match", patched([&](Bytes& b) {
         b.push_back(0);
         SetU32(b, 8, length + 1);
       })},
      {"a byte less than the fields take, length to match", patched([&](Bytes& b) {
         b.pop_back();
         SetU32(b, 8, length - 1);
       })},
      {"length beyond any state", patched([](Bytes& b) { SetU32(b, 8, 0xFFFFFFFFu); })},
      {"a trailing byte", patched([](Bytes& b) { b.push_back(0); })},
      {"a second state after the first",
       patched([&](Bytes& b) { b.insert(b.end(), valid.begin(), valid.end()); })},
      {"current program 8", withFields([](Fields& f) { f.current = 8; })},
      {"current program 2^32 - 1", withFields([](Fields& f) { f.current = 0xFFFFFFFFu; })},
      {"a name of 52 bytes", withFields([](Fields& f) { f.programs[3].name = std::string(52, 'x'); })},
      {"a name of 255 bytes", withFields([](Fields& f) { f.programs[7].name = std::string(255, 'x'); })},
      {"a NUL inside a name",
       withFields([](Fields& f) { f.programs[0].name = std::string("Dub\0Echo", 8); })},
      {"a NUL ending a name", withFields([](Fields& f) { f.programs[6].name = std::string("Dub\0", 4); })},
  };

  auto core = EditedCore();
  const CoreSnapshot before = CoreSnapshot::Of(*core);
  for (std::size_t n = 0; n < valid.size(); ++n) {
    ASSERT_FALSE(loadState(*core, std::span(valid).first(n))) << "truncated to " << n << " bytes";
    ASSERT_EQ(Difference(CoreSnapshot::Of(*core), before), "") << "truncated to " << n << " bytes";
  }
  for (const auto& c : cases) {
    EXPECT_FALSE(loadState(*core, c.bytes)) << c.what;
    EXPECT_EQ(Difference(CoreSnapshot::Of(*core), before), "") << c.what;
  }
  // What the faults were placed in is itself a state that loads.
  EXPECT_TRUE(loadState(*core, valid));
  EXPECT_EQ(Difference(CoreSnapshot::Of(*core), CoreSnapshot::Of(*std::make_unique<EffectCore>())), "");
}

// A known core's save, byte for byte: a change of layout shows here. The
// header and the fields at their offsets are spelled out; the rest is the
// table's defaults in the same encoding.
TEST(State, AKnownCoreSavesTheseLittleEndianBytes) {
  auto core = std::make_unique<EffectCore>();
  ASSERT_TRUE(core->setProgram(1));
  core->setParameter(kGateShuffle, 0.5f);
  core->setProgramName("Ab");
  const Bytes saved = stateBytes(*core);

  // Payload: 4 + 61 * 4 + 8 * (1 + 61 * 4) + 7 * 14 + 2 = 2308 = 0x904 bytes.
  ASSERT_EQ(saved.size(), 12u + 2308u);
  const auto at = [&](std::size_t offset, Bytes expected) {
    return Bytes(saved.begin() + static_cast<std::ptrdiff_t>(offset),
                 saved.begin() + static_cast<std::ptrdiff_t>(offset + expected.size())) == expected;
  };
  EXPECT_TRUE(at(0, {'P', 'R', '6', 'S', 0x01, 0, 0, 0, 0x04, 0x09, 0, 0})) << "magic, version 1, length";
  EXPECT_TRUE(at(12, {0x01, 0, 0, 0})) << "current program 1";
  EXPECT_TRUE(at(16, {0, 0, 0x80, 0x3F, 0, 0, 0, 0})) << "working slot 1: 1.0f, slot 2: 0";
  EXPECT_TRUE(at(16 + 35 * 4, {0, 0, 0, 0x3F, 0x33, 0x33, 0x33, 0x3F})) << "slots 36, 37: 0.5f, 0.7f";
  EXPECT_TRUE(at(16 + 60 * 4, {0xCD, 0xCC, 0xCC, 0x3E})) << "slot 61: 0.4f";
  EXPECT_TRUE(
      at(260, {14, 'I', 'n', 'i', 't', ' ', 'P', 'r', 'e', 's', 'e', 't', ' ', '0', '1', 0, 0, 0x80, 0x3F}))
      << "program 0: its name, then slot 1";
  EXPECT_TRUE(at(260 + 1 + 14 + 244, {2, 'A', 'b'})) << "program 1's name";
  EXPECT_TRUE(at(522 + 35 * 4, {0, 0, 0, 0x3F})) << "program 1, slot 36";

  Fields fields;
  fields.current = 1;
  fields.working[kGateShuffle] = 0.5f;
  fields.programs[1].name = "Ab";
  fields.programs[1].values[kGateShuffle] = 0.5f;
  EXPECT_EQ(saved, fields.Encode());
}

// A host stream over memory that moves at most a few bytes a call, in a
// repeating pattern, and remembers how far it was ever asked to reach. It
// fails once called far more often than any state needs, so that a caller
// that would ask forever ends with a count that shows it.
struct PieceStream {
  static constexpr std::size_t kGiveUp = 100000;
  Bytes data;
  std::vector<std::int64_t> pieces;
  std::size_t position = 0, furthestAsked = 0, calls = 0;

  std::int64_t piece() { return calls < kGiveUp ? pieces[calls++ % pieces.size()] : -1; }
  std::int64_t read(void* out, std::int64_t size) {
    furthestAsked = std::max(furthestAsked, position + static_cast<std::size_t>(size));
    const std::int64_t n = std::min({size, piece(), static_cast<std::int64_t>(data.size() - position)});
    if (n <= 0) return n;
    std::memcpy(out, data.data() + position, static_cast<std::size_t>(n));
    position += static_cast<std::size_t>(n);
    return n;
  }
  std::int64_t write(const void* in, std::int64_t size) {
    const std::int64_t n = std::min(size, piece());
    if (n <= 0) return n;
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    data.insert(data.end(), bytes, bytes + n);
    return n;
  }
  StateReader reader() {
    return [this](void* out, std::int64_t size) { return read(out, size); };
  }
  StateWriter writer() {
    return [this](const void* in, std::int64_t size) { return write(in, size); };
  }
};

TEST(State, StreamsThatMoveAFewBytesPerCall) {
  auto edited = EditedCore();
  const Bytes saved = stateBytes(*edited);

  PieceStream out{{}, {3}};
  ASSERT_TRUE(saveState(*edited, out.writer()));
  EXPECT_EQ(out.data, saved);
  EXPECT_EQ(out.calls, (saved.size() + 2) / 3);

  // The state sits before the rest of the host's project, which stays unread.
  PieceStream in{saved, {1, 2, 3, 4, 5, 6, 7}};
  const std::string rest = "the rest of the project";
  in.data.insert(in.data.end(), rest.begin(), rest.end());
  auto fresh = std::make_unique<EffectCore>();
  ASSERT_TRUE(loadState(*fresh, in.reader()));
  EXPECT_EQ(Difference(CoreSnapshot::Of(*fresh), CoreSnapshot::Of(*edited)), "");
  EXPECT_EQ(in.position, saved.size());
  EXPECT_EQ(in.furthestAsked, saved.size()) << "never asked for a byte past the state";
}

TEST(State, StreamFaultsAreRefusedWithoutHangingOrReadingOn) {
  auto core = EditedCore();
  const CoreSnapshot before = CoreSnapshot::Of(*core);
  const Bytes valid = Fields().Encode();

  const struct {
    const char* what;
    std::vector<std::int64_t> pieces;
  } writers[] = {
      {"takes nothing", {0}},
      {"fails", {-1}},
      {"takes some, then nothing", {100, 100, 0}},
  };
  for (const auto& w : writers) {
    PieceStream out{{}, w.pieces};
    EXPECT_FALSE(saveState(*core, out.writer())) << w.what;
    EXPECT_EQ(out.calls, w.pieces.size()) << w.what << ": stops at the first call that moves nothing";
  }
  EXPECT_FALSE(saveState(*core, [](const void*, std::int64_t size) { return size + 1; }))
      << "claims more than it was given";
  EXPECT_FALSE(saveState(*core, StateWriter()));

  // Ends early: every truncation, read in pieces.
  for (std::size_t n = 0; n < valid.size(); ++n) {
    PieceStream in{Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(n)), {5, 1, 7}};
    ASSERT_FALSE(loadState(*core, in.reader())) << "truncated to " << n << " bytes";
  }
  PieceStream failing{valid, {100, 100, -1}};
  EXPECT_FALSE(loadState(*core, failing.reader()));
  EXPECT_FALSE(loadState(*core, StateReader()));
  EXPECT_FALSE(loadState(*core, [](void*, std::int64_t size) { return size + 1; }));

  // A header this build does not read ends the reading at the header, however
  // much the stream holds after it.
  const auto header = [&](auto change) {
    Bytes b = valid;
    change(b);
    b.resize(b.size() + 100000, 0xAB);
    return b;
  };
  const struct {
    const char* what;
    Bytes bytes;
  } headers[] = {
      {"foreign", header([](Bytes& b) { std::memcpy(b.data(), "RIFF", 4); })},
      {"newer", header([](Bytes& b) { SetU32(b, 4, 2); })},
      {"longer than any state",
       header([](Bytes& b) { SetU32(b, 8, static_cast<std::uint32_t>(kStateMaxSize)); })},
      {"shorter than any state", header([](Bytes& b) { SetU32(b, 8, 100); })},
  };
  for (const auto& h : headers) {
    PieceStream in{h.bytes, {4096}};
    EXPECT_FALSE(loadState(*core, in.reader())) << h.what;
    EXPECT_EQ(in.furthestAsked, 12u) << h.what;
  }
  EXPECT_EQ(Difference(CoreSnapshot::Of(*core), before), "");
}

}  // namespace
