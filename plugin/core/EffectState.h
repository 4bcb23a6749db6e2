#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "plugin/Parameters.h"
#include "plugin/core/EffectCore.h"

// The effect's saved state, as hosts keep it inside their projects: one
// versioned binary format for every plug-in format that saves a blob.
// Every number is little-endian whatever the machine, so a save from one
// build loads in any other; floats are IEEE 754 binary32 bit patterns.
//
//   offset  size  field
//   0       4     magic: the bytes 'P' 'R' '6' 'S'
//   4       4     version, u32: 1
//   8       4     payload length in bytes, u32 (what follows the header)
//   --- payload, version 1
//   12      4     current program, u32: 0..7
//   16      244   the working set: slots 1..61, one f32 each
//   260     ...   eight programs, 0 to 7, one after the other, each:
//                   1      name length, u8: 0..51
//                   n      the name's bytes, no terminator, no NUL
//                   244    the program's values: slots 1..61, one f32 each
//
// A payload is therefore 2208 to 2616 bytes, a whole save 2220 to 2628.
// Values are stored as the core holds them and clamped on load as every
// write is (parameters::clamped: within 0..1, NaN as 0); nothing else is
// forgiven: loading is all-or-nothing.

inline constexpr std::uint8_t kStateMagic[4] = {'P', 'R', '6', 'S'};
inline constexpr std::uint32_t kStateVersion = 1;
inline constexpr std::size_t kStateHeaderSize = 12;
inline constexpr std::size_t kStateValueCount = parameters::kLast - parameters::kFirst + 1;
inline constexpr std::size_t kStateMaxNameLength = ProgramBank::Program::kNameCapacity - 1;
inline constexpr std::size_t kStateMinPayloadSize =
    4 + 4 * kStateValueCount + EffectCore::kNumPrograms * (1 + 4 * kStateValueCount);
inline constexpr std::size_t kStateMaxPayloadSize =
    kStateMinPayloadSize + EffectCore::kNumPrograms * kStateMaxNameLength;
inline constexpr std::size_t kStateMaxSize = kStateHeaderSize + kStateMaxPayloadSize;
static_assert(kStateValueCount == 61 && kStateMaxNameLength == 51 && kStateMaxSize == 2628);

// A host's stream moved in pieces: each call moves up to size bytes and
// answers how many it moved, 0 at the end, negative on an error.
using StateWriter = std::function<std::int64_t(const void* data, std::int64_t size)>;
using StateReader = std::function<std::int64_t(void* data, std::int64_t size)>;

// None of these belongs on the audio thread: each goes through a few KiB, a
// host's stream or, for stateBytes, an allocation. Only stateBytes allocates;
// nothing else throws but what a host's callable throws. Saving reads the
// core as any parameter call does. Loading writes the programs, then the
// current program, then the working set, each value with a relaxed store like
// any parameter call, so a block in flight may play some slots old and some
// new, never a torn value; a program's name is written as setProgramName
// writes it.

// The core's state in the format above; never fails.
std::vector<std::uint8_t> stateBytes(const EffectCore& core);

// Loads a whole save: exactly one state and nothing after it. Answers false
// and leaves the core as it was (values, names, current program) for anything
// that is not a state this build reads: truncated, foreign, newer, a length
// that disagrees with the data, trailing bytes, a program outside 0..7, a
// name too long or with a NUL in it.
bool loadState(EffectCore& core, std::span<const std::uint8_t> bytes);

// Writes the state through the writer until every byte is moved; false if the
// writer fails or moves nothing (a stream that takes no bytes would otherwise
// be asked forever).
bool saveState(const EffectCore& core, const StateWriter& write);

// Reads one state from the reader: the header, then the length it declares,
// and not a byte more, so whatever follows in the stream stays unread. A
// foreign, newer or oversized header is refused before any payload is read.
// Answers as the buffer form does; a reader that ends early or fails is a
// truncated state.
bool loadState(EffectCore& core, const StateReader& read);
