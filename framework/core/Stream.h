#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace framework {

enum class SeekOrigin { Beginning, Current, End };

// A byte stream with a position. Read and Write move as many bytes as they can
// and return that count; ReadBuffer and WriteBuffer insist on the whole count
// and raise EReadError ("Stream read error") or EWriteError ("Stream write error").
class TStream {
 public:
  virtual ~TStream() = default;

  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t Size() const = 0;

  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Beginning); }
  std::int64_t Remaining() { return Size() - Position(); }

  void ReadBuffer(void* buffer, std::size_t count);
  void WriteBuffer(const void* buffer, std::size_t count);

  // The next `count` bytes where they lie, without moving the position, for a
  // stream over memory that holds them; null otherwise. Valid until the
  // stream is written to or destroyed, unless Lasting says more.
  virtual const std::uint8_t* Peek(std::size_t count) {
    static_cast<void>(count);
    return nullptr;
  }
  // Whether the bytes Peek shows stay where they are, unchanged, until the
  // process ends (an embedded resource): a reader may keep them by address.
  virtual bool Lasting() const { return false; }

  // Little-endian helpers for the binary formats.
  std::uint8_t ReadU8();
  std::uint16_t ReadU16();
  std::uint32_t ReadU32();
  void WriteU8(std::uint8_t value);
  void WriteU16(std::uint16_t value);
  void WriteU32(std::uint32_t value);
};

// A growable stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  const std::uint8_t* Peek(std::size_t count) override;

  const std::vector<std::uint8_t>& Bytes() const { return data_; }
  std::vector<std::uint8_t>& Bytes() { return data_; }
  void Clear();

 private:
  std::vector<std::uint8_t> data_;
  std::size_t position_ = 0;
};

// A read-only stream over bytes someone else owns (an embedded resource, a
// fuzzer's input); writing to it fails. lasting: the owner promises the bytes
// stay, unchanged, until the process ends.
class TReadOnlyMemoryStream : public TStream {
 public:
  explicit TReadOnlyMemoryStream(std::span<const std::uint8_t> bytes, bool lasting = false)
      : data_(bytes), lasting_(lasting) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void*, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  const std::uint8_t* Peek(std::size_t count) override;
  bool Lasting() const override { return lasting_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
  bool lasting_ = false;
};

}  // namespace framework
