#pragma once

// LZHUF coding (LZSS over a 4096-byte ring buffer, adaptive Huffman codes for
// literals and match lengths, a fixed prefix code for match positions).
// Stream layout: the uncompressed length as 32-bit little-endian, then the code
// bits, most significant bit first, the last byte padded with zero bits.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "framework/core/Exception.h"

namespace framework {
class TStream;
}

namespace image {

class ElzhException : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

class TAbstractLZH {
 public:
  static constexpr int N = 4096;       // ring buffer size
  static constexpr int F = 60;         // look-ahead size
  static constexpr int THRESHOLD = 2;  // longest match still sent as literals
  static constexpr int N_CHAR = 256 - THRESHOLD + F;
  static constexpr int T = N_CHAR * 2 - 1;
  static constexpr int R = T - 1;
  static constexpr unsigned MAX_FREQ = 0x8000;
  // What Decode produces at most unless told otherwise: a 4-byte header may
  // announce up to 4 GiB, and the bits after it may be missing altogether.
  static constexpr std::size_t kDefaultDecodeLimit = std::size_t{1} << 28;

  TAbstractLZH();
  virtual ~TAbstractLZH();
  TAbstractLZH(const TAbstractLZH&) = delete;
  TAbstractLZH& operator=(const TAbstractLZH&) = delete;

  // Compresses `size` bytes from the input. Writes the 4-byte length and the
  // code; returns the code bytes written, not counting the length. Raises
  // ElzhException "Compressed file is larger than the original." as soon as the
  // code would grow past `size` bytes.
  std::size_t Encode(std::size_t size);
  // Expands the input. Produces exactly min(header length, limit) bytes: input
  // bytes past the end read as zero bits. Returns the count produced.
  std::size_t Decode(std::size_t limit = kDefaultDecodeLimit);

  // Length announced by the last decoded header.
  std::uint32_t ExpectedLength() const { return expected_length_; }

  // Decode from memory into memory: the same bytes as Decode over streams
  // holding `input` (bytes past its end read as zero bits), written straight
  // to `output`, which has room for min(header length, limit) bytes; returns
  // that count.
  std::size_t Expand(std::span<const std::uint8_t> input, std::uint8_t* output,
                     std::size_t limit = kDefaultDecodeLimit);

 protected:
  // Block transfer to and from the caller's storage; `done` is what moved.
  virtual void ReadBlock(void* buffer, std::uint16_t count, std::uint16_t& done) = 0;
  virtual void WriteBlock(const void* buffer, std::uint16_t count, std::uint16_t& done) = 0;

 private:
  struct Work;

  void AllocateWork();
  void ReleaseWork();

  // Tree of look-ahead strings for the match search.
  void InitTree();
  void InsertNode(int r);
  void DeleteNode(int p);
  // Adaptive Huffman tree.
  void StartHuff();
  void Reconstruct();
  void Update(int c);
  void EncodeChar(unsigned c);
  void EncodePosition(unsigned c);
  void EncodeEnd();
  int DecodeChar();
  int DecodePosition();
  // Bit I/O.
  void PutCode(int length, unsigned code);
  void EmitCodeBytes(const std::uint8_t* bytes, int count);
  int GetBit();
  int GetByte();
  int NextInputByte();  // -1 at the end of the input
  void WriteOutput(const std::uint8_t* bytes, std::size_t count);
  void FlushOutput();

  bool compressing_ = false;
  std::uint16_t putbuf_ = 0;
  int putlen_ = 0;
  std::uint16_t getbuf_ = 0;
  int getlen_ = 0;
  std::size_t textsize_ = 0;    // input length: the budget for code bytes
  std::size_t codesize_ = 0;    // code bytes written
  std::size_t bytes_read_ = 0;  // input bytes consumed
  std::uint32_t expected_length_ = 0;
  int match_position_ = 0;
  int match_length_ = 0;
  std::unique_ptr<Work> work_;
};

// LZH coding of bytes in memory (Expand); the stream operations see no
// input and take no output.
class TLZHMemory final : public TAbstractLZH {
 protected:
  void ReadBlock(void*, std::uint16_t, std::uint16_t& done) override { done = 0; }
  void WriteBlock(const void*, std::uint16_t, std::uint16_t& done) override { done = 0; }
};

// LZH coding between two caller-owned streams.
class TLZHStream : public TAbstractLZH {
 public:
  TLZHStream(framework::TStream& input, framework::TStream& output) : input_(input), output_(output) {}

  // Compresses `size` bytes from the input's current position (no more than the
  // input holds).
  std::size_t Encode(std::size_t size);
  using TAbstractLZH::Decode;

 protected:
  void ReadBlock(void* buffer, std::uint16_t count, std::uint16_t& done) override;
  void WriteBlock(const void* buffer, std::uint16_t count, std::uint16_t& done) override;

 private:
  framework::TStream& input_;
  framework::TStream& output_;
};

}  // namespace image
