#include "framework/core/Stream.h"

#include <algorithm>
#include <cstring>

#include "framework/core/Exception.h"

namespace framework {

namespace {

// Clamps a seek target to 0..size so a position never leaves the data.
std::size_t SeekTarget(std::int64_t offset, SeekOrigin origin, std::size_t position, std::size_t size) {
  std::int64_t base = 0;
  switch (origin) {
    case SeekOrigin::Beginning:
      base = 0;
      break;
    case SeekOrigin::Current:
      base = static_cast<std::int64_t>(position);
      break;
    case SeekOrigin::End:
      base = static_cast<std::int64_t>(size);
      break;
  }
  std::int64_t target = base + offset;
  if (target < 0) target = 0;
  return static_cast<std::size_t>(target);
}

}  // namespace

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::uint8_t TStream::ReadU8() {
  std::uint8_t b = 0;
  ReadBuffer(&b, 1);
  return b;
}

std::uint16_t TStream::ReadU16() {
  std::uint8_t b[2];
  ReadBuffer(b, 2);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t TStream::ReadU32() {
  std::uint8_t b[4];
  ReadBuffer(b, 4);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void TStream::WriteU8(std::uint8_t value) {
  WriteBuffer(&value, 1);
}

void TStream::WriteU16(std::uint16_t value) {
  const std::uint8_t b[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  WriteBuffer(b, 2);
}

void TStream::WriteU32(std::uint32_t value) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  WriteBuffer(b, 4);
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= data_.size()) return 0;
  const std::size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  // A memory stream may be positioned past its end; a later write fills the gap.
  std::int64_t base = origin == SeekOrigin::Beginning ? 0
                      : origin == SeekOrigin::Current ? static_cast<std::int64_t>(position_)
                                                      : static_cast<std::int64_t>(data_.size());
  const std::int64_t target = base + offset;
  position_ = target < 0 ? 0 : static_cast<std::size_t>(target);
  return static_cast<std::int64_t>(position_);
}

const std::uint8_t* TMemoryStream::Peek(std::size_t count) {
  return position_ <= data_.size() && count <= data_.size() - position_ ? data_.data() + position_ : nullptr;
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

std::size_t TReadOnlyMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= data_.size()) return 0;
  const std::size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

const std::uint8_t* TReadOnlyMemoryStream::Peek(std::size_t count) {
  return count <= data_.size() - position_ ? data_.data() + position_ : nullptr;
}

std::int64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  position_ = std::min(SeekTarget(offset, origin, position_, data_.size()), data_.size());
  return static_cast<std::int64_t>(position_);
}

}  // namespace framework
