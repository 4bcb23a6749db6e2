#pragma once

#include <cstddef>

// Text helpers for everything the plug-in writes into a host's buffer. The
// host never says how large its buffer is, so every copy is bounded here, in
// one place, by the capacity the interface's hosts provide for that kind of
// text. None of the plug-in's own texts comes near these bounds.
namespace vsttext {

// Parameter names, labels and display texts (the longest name has 15 characters).
inline constexpr std::size_t kParameterTextCapacity = 64;
// Program names: the name field of a program (51 characters and the terminator).
inline constexpr std::size_t kProgramNameCapacity = 52;
// Effect name, vendor and product texts, error texts.
inline constexpr std::size_t kIdentityTextCapacity = 64;
// The label of a pin (the record's own field size).
inline constexpr std::size_t kPinLabelCapacity = 64;
// The host's vendor and product texts we ask for: room for anything a host may
// write, plus a guard so a text without terminator stays bounded.
inline constexpr std::size_t kHostTextCapacity = 256;

// Copies `source` into `destination`, at most capacity - 1 characters and a
// terminator. Does nothing when destination is null.
void copy(char* destination, const char* source, std::size_t capacity) noexcept;

// Length of a host-supplied text, reading at most `limit` bytes.
std::size_t boundedLength(const char* text, std::size_t limit) noexcept;

}  // namespace vsttext

// A number as text with two decimals, a leading minus for negative numbers,
// no grouping and the decimal separator of the current C locale (read, never
// set). Writes at most `capacity` bytes including the terminator.
void float2string(float value, char* text, std::size_t capacity) noexcept;
