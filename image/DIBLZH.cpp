#include "image/DIBLZH.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "framework/core/Stream.h"

namespace image {

namespace {

constexpr int NIL = TAbstractLZH::N;  // "no node" in the search trees

// Position code for the upper 6 bits of a match position: lengths 3..8, codes
// assigned canonically in index order (0x00, 0x20, 0x30, 0x40, 0x50, ...).
constexpr std::array<std::uint8_t, 64> kPLen = {
    3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

struct PositionTables {
  std::array<std::uint8_t, 64> p_code{};   // code, left-aligned in 8 bits
  std::array<std::uint8_t, 256> d_code{};  // leading byte -> upper 6 bits
  std::array<std::uint8_t, 256> d_len{};   // leading byte -> code length
};

constexpr PositionTables MakePositionTables() {
  PositionTables t;
  unsigned code = 0;
  int length = kPLen[0];
  for (int i = 0; i < 64; ++i) {
    code <<= (kPLen[i] - length);
    length = kPLen[i];
    t.p_code[i] = static_cast<std::uint8_t>(code << (8 - length));
    const int span = 1 << (8 - length);
    for (int b = 0; b < span; ++b) {
      t.d_code[t.p_code[i] + b] = static_cast<std::uint8_t>(i);
      t.d_len[t.p_code[i] + b] = static_cast<std::uint8_t>(length);
    }
    ++code;
  }
  return t;
}

constexpr PositionTables kPos = MakePositionTables();
static_assert(kPos.p_code[1] == 0x20 && kPos.p_code[4] == 0x50 && kPos.p_code[12] == 0x90 &&
              kPos.p_code[24] == 0xC0 && kPos.p_code[48] == 0xF0 && kPos.p_code[63] == 0xFF);

constexpr std::size_t kIOBlock = 4096;

}  // namespace

// The seven work arrays (33641 bytes) plus the I/O staging blocks of one run.
struct TAbstractLZH::Work {
  std::vector<std::uint8_t> text_buf = std::vector<std::uint8_t>(N + F - 1);
  std::vector<std::uint16_t> lson = std::vector<std::uint16_t>(N + 1);
  std::vector<std::uint16_t> rson = std::vector<std::uint16_t>(N + 257);
  std::vector<std::uint16_t> dad = std::vector<std::uint16_t>(N + 1);
  std::vector<std::uint16_t> freq = std::vector<std::uint16_t>(T + 1);
  std::vector<std::uint16_t> prnt = std::vector<std::uint16_t>(T + N_CHAR);
  std::vector<std::uint16_t> son = std::vector<std::uint16_t>(T);

  std::array<std::uint8_t, kIOBlock> in{};
  std::size_t in_pos = 0;
  std::size_t in_len = 0;
  bool in_end = false;
  std::size_t in_limit = 0;  // input bytes still allowed (compression)
  std::array<std::uint8_t, kIOBlock> out{};
  std::size_t out_len = 0;
};

TAbstractLZH::TAbstractLZH() = default;
TAbstractLZH::~TAbstractLZH() = default;

void TAbstractLZH::AllocateWork() {
  try {
    work_ = std::make_unique<Work>();
  } catch (const std::bad_alloc&) {
    throw ElzhException("LZH : Cannot get memory for dictionary tables");
  }
}

void TAbstractLZH::ReleaseWork() {
  work_.reset();
}

// ---- search trees --------------------------------------------------------------

void TAbstractLZH::InitTree() {
  auto& w = *work_;
  for (int i = N + 1; i <= N + 256; ++i) w.rson[i] = NIL;  // roots
  for (int i = 0; i < N; ++i) w.dad[i] = NIL;              // nodes
}

void TAbstractLZH::InsertNode(int r) {
  auto& w = *work_;
  const std::uint8_t* key = &w.text_buf[r];
  int cmp = 1;
  int p = N + 1 + key[0];
  w.rson[r] = w.lson[r] = NIL;
  match_length_ = 0;
  for (;;) {
    if (cmp >= 0) {
      if (w.rson[p] != NIL) {
        p = w.rson[p];
      } else {
        w.rson[p] = static_cast<std::uint16_t>(r);
        w.dad[r] = static_cast<std::uint16_t>(p);
        return;
      }
    } else {
      if (w.lson[p] != NIL) {
        p = w.lson[p];
      } else {
        w.lson[p] = static_cast<std::uint16_t>(r);
        w.dad[r] = static_cast<std::uint16_t>(p);
        return;
      }
    }
    int i = 1;
    for (; i < F; ++i) {
      if ((cmp = key[i] - w.text_buf[p + i]) != 0) break;
    }
    if (i > THRESHOLD) {
      const int distance = ((r - p) & (N - 1)) - 1;
      if (i > match_length_) {
        match_position_ = distance;
        if ((match_length_ = i) >= F) break;
      }
      // Equal length: the nearer match wins.
      if (i == match_length_ && distance < match_position_) match_position_ = distance;
    }
  }
  // Full-length match: r replaces p in the tree.
  w.dad[r] = w.dad[p];
  w.lson[r] = w.lson[p];
  w.rson[r] = w.rson[p];
  w.dad[w.lson[p]] = static_cast<std::uint16_t>(r);
  w.dad[w.rson[p]] = static_cast<std::uint16_t>(r);
  if (w.rson[w.dad[p]] == p) {
    w.rson[w.dad[p]] = static_cast<std::uint16_t>(r);
  } else {
    w.lson[w.dad[p]] = static_cast<std::uint16_t>(r);
  }
  w.dad[p] = NIL;
}

void TAbstractLZH::DeleteNode(int p) {
  auto& w = *work_;
  if (w.dad[p] == NIL) return;
  int q;
  if (w.rson[p] == NIL) {
    q = w.lson[p];
  } else if (w.lson[p] == NIL) {
    q = w.rson[p];
  } else {
    q = w.lson[p];
    if (w.rson[q] != NIL) {
      do {
        q = w.rson[q];
      } while (w.rson[q] != NIL);
      w.rson[w.dad[q]] = w.lson[q];
      w.dad[w.lson[q]] = w.dad[q];
      w.lson[q] = w.lson[p];
      w.dad[w.lson[p]] = static_cast<std::uint16_t>(q);
    }
    w.rson[q] = w.rson[p];
    w.dad[w.rson[p]] = static_cast<std::uint16_t>(q);
  }
  w.dad[q] = w.dad[p];
  if (w.rson[w.dad[p]] == p) {
    w.rson[w.dad[p]] = static_cast<std::uint16_t>(q);
  } else {
    w.lson[w.dad[p]] = static_cast<std::uint16_t>(q);
  }
  w.dad[p] = NIL;
}

// ---- adaptive Huffman tree ---------------------------------------------------------

void TAbstractLZH::StartHuff() {
  auto& w = *work_;
  for (int i = 0; i < N_CHAR; ++i) {
    w.freq[i] = 1;
    w.son[i] = static_cast<std::uint16_t>(i + T);
    w.prnt[i + T] = static_cast<std::uint16_t>(i);
  }
  int i = 0;
  int j = N_CHAR;
  while (j <= R) {
    w.freq[j] = static_cast<std::uint16_t>(w.freq[i] + w.freq[i + 1]);
    w.son[j] = static_cast<std::uint16_t>(i);
    w.prnt[i] = w.prnt[i + 1] = static_cast<std::uint16_t>(j);
    i += 2;
    ++j;
  }
  w.freq[T] = 0xFFFF;  // sentinel for the reordering scan
  w.prnt[R] = 0;
}

void TAbstractLZH::Reconstruct() {
  auto& w = *work_;
  // Gather the leaves at the front, halving their counts (rounding up).
  int j = 0;
  for (int i = 0; i < T; ++i) {
    if (w.son[i] >= T) {
      w.freq[j] = static_cast<std::uint16_t>((w.freq[i] + 1) / 2);
      w.son[j] = w.son[i];
      ++j;
    }
  }
  // Rebuild the inner nodes, keeping frequencies in ascending order.
  for (int i = 0, jj = N_CHAR; jj < T; i += 2, ++jj) {
    const unsigned f = static_cast<unsigned>(w.freq[i]) + w.freq[i + 1];
    w.freq[jj] = static_cast<std::uint16_t>(f);
    int k = jj - 1;
    while (f < w.freq[k]) --k;
    ++k;
    const int count = jj - k;
    std::memmove(&w.freq[k + 1], &w.freq[k], count * sizeof(std::uint16_t));
    w.freq[k] = static_cast<std::uint16_t>(f);
    std::memmove(&w.son[k + 1], &w.son[k], count * sizeof(std::uint16_t));
    w.son[k] = static_cast<std::uint16_t>(i);
  }
  for (int i = 0; i < T; ++i) {
    const int k = w.son[i];
    if (k >= T) {
      w.prnt[k] = static_cast<std::uint16_t>(i);
    } else {
      w.prnt[k] = w.prnt[k + 1] = static_cast<std::uint16_t>(i);
    }
  }
}

void TAbstractLZH::Update(int c) {
  auto& w = *work_;
  if (w.freq[R] == MAX_FREQ) Reconstruct();
  c = w.prnt[c + T];
  do {
    const unsigned k = ++w.freq[c];
    // Keep the order: swap with the last node of a smaller frequency.
    int l = c + 1;
    if (k > w.freq[l]) {
      while (k > w.freq[++l]) {
      }
      --l;
      w.freq[c] = w.freq[l];
      w.freq[l] = static_cast<std::uint16_t>(k);

      const int i = w.son[c];
      w.prnt[i] = static_cast<std::uint16_t>(l);
      if (i < T) w.prnt[i + 1] = static_cast<std::uint16_t>(l);

      const int j = w.son[l];
      w.son[l] = static_cast<std::uint16_t>(i);

      w.prnt[j] = static_cast<std::uint16_t>(c);
      if (j < T) w.prnt[j + 1] = static_cast<std::uint16_t>(c);
      w.son[c] = static_cast<std::uint16_t>(j);

      c = l;
    }
  } while ((c = w.prnt[c]) != 0);
}

// ---- bit output ----------------------------------------------------------------

void TAbstractLZH::EmitCodeBytes(const std::uint8_t* bytes, int count) {
  if (codesize_ + count > textsize_) throw ElzhException("Compressed file is larger than the original.");
  for (int i = 0; i < count; ++i) {
    if (work_->out_len == kIOBlock) FlushOutput();
    work_->out[work_->out_len++] = bytes[i];
  }
  codesize_ += count;
}

void TAbstractLZH::PutCode(int length, unsigned code) {
  // `code` carries its bits left-aligned in 16 bits.
  putbuf_ = static_cast<std::uint16_t>(putbuf_ | (code >> putlen_));
  if ((putlen_ += length) >= 8) {
    if (putlen_ - 8 >= 8) {
      const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(putbuf_ >> 8),
                                     static_cast<std::uint8_t>(putbuf_)};
      EmitCodeBytes(bytes, 2);
      putlen_ -= 16;
      putbuf_ = static_cast<std::uint16_t>(code << (length - putlen_));
    } else {
      const std::uint8_t byte = static_cast<std::uint8_t>(putbuf_ >> 8);
      EmitCodeBytes(&byte, 1);
      putlen_ -= 8;
      putbuf_ = static_cast<std::uint16_t>(putbuf_ << 8);
    }
  }
}

void TAbstractLZH::EncodeChar(unsigned c) {
  auto& w = *work_;
  unsigned code = 0;
  int length = 0;
  int k = w.prnt[c + T];
  // Walk from the leaf to the root; an odd node is the "1" child.
  do {
    code >>= 1;
    if (k & 1) code += 0x8000;
    ++length;
  } while ((k = w.prnt[k]) != R);
  PutCode(length, code);
  Update(static_cast<int>(c));
}

void TAbstractLZH::EncodePosition(unsigned c) {
  const unsigned upper = c >> 6;
  PutCode(kPLen[upper], static_cast<unsigned>(kPos.p_code[upper]) << 8);
  PutCode(6, (c & 0x3F) << 10);
}

void TAbstractLZH::EncodeEnd() {
  if (putlen_ > 0) {
    const std::uint8_t byte = static_cast<std::uint8_t>(putbuf_ >> 8);
    EmitCodeBytes(&byte, 1);
  }
}

// ---- bit input ---------------------------------------------------------------------

int TAbstractLZH::NextInputByte() {
  auto& w = *work_;
  if (w.in_pos == w.in_len) {
    if (w.in_end) return -1;
    std::size_t want = kIOBlock;
    if (compressing_) want = std::min(want, w.in_limit);
    std::uint16_t done = 0;
    if (want > 0) ReadBlock(w.in.data(), static_cast<std::uint16_t>(want), done);
    if (compressing_) w.in_limit -= done;
    w.in_pos = 0;
    w.in_len = done;
    if (done == 0) {
      w.in_end = true;
      return -1;
    }
  }
  ++bytes_read_;
  return w.in[w.in_pos++];
}

int TAbstractLZH::GetBit() {
  while (getlen_ <= 8) {
    int b = NextInputByte();
    if (b < 0) b = 0;  // missing bits read as zeros
    getbuf_ = static_cast<std::uint16_t>(getbuf_ | (b << (8 - getlen_)));
    getlen_ += 8;
  }
  const int bit = getbuf_ >> 15;
  getbuf_ = static_cast<std::uint16_t>(getbuf_ << 1);
  --getlen_;
  return bit;
}

int TAbstractLZH::GetByte() {
  while (getlen_ <= 8) {
    int b = NextInputByte();
    if (b < 0) b = 0;
    getbuf_ = static_cast<std::uint16_t>(getbuf_ | (b << (8 - getlen_)));
    getlen_ += 8;
  }
  const int byte = getbuf_ >> 8;
  getbuf_ = static_cast<std::uint16_t>(getbuf_ << 8);
  getlen_ -= 8;
  return byte;
}

int TAbstractLZH::DecodeChar() {
  auto& w = *work_;
  unsigned c = w.son[R];
  // From the root to a leaf: bit 0 takes son[c], bit 1 son[c] + 1.
  while (c < static_cast<unsigned>(T)) {
    c += static_cast<unsigned>(GetBit());
    c = w.son[c];
  }
  c -= T;
  Update(static_cast<int>(c));
  return static_cast<int>(c);
}

int TAbstractLZH::DecodePosition() {
  unsigned i = static_cast<unsigned>(GetByte());
  const unsigned upper = static_cast<unsigned>(kPos.d_code[i]) << 6;
  int more = kPos.d_len[i] - 2;
  while (more-- > 0) i = (i << 1) + static_cast<unsigned>(GetBit());
  return static_cast<int>(upper | (i & 0x3F));
}

// ---- output staging ----------------------------------------------------------------

void TAbstractLZH::FlushOutput() {
  auto& w = *work_;
  if (w.out_len == 0) return;
  std::uint16_t done = 0;
  WriteBlock(w.out.data(), static_cast<std::uint16_t>(w.out_len), done);
  if (done != w.out_len) throw framework::EWriteError("Stream write error");
  w.out_len = 0;
}

void TAbstractLZH::WriteOutput(const std::uint8_t* bytes, std::size_t count) {
  auto& w = *work_;
  while (count > 0) {
    if (w.out_len == kIOBlock) FlushOutput();
    const std::size_t n = std::min(count, kIOBlock - w.out_len);
    std::memcpy(w.out.data() + w.out_len, bytes, n);
    w.out_len += n;
    bytes += n;
    count -= n;
  }
}

// ---- runs ------------------------------------------------------------------------------

std::size_t TAbstractLZH::Encode(std::size_t size) {
  if (size > std::numeric_limits<std::uint32_t>::max()) throw ElzhException("LZH : Input is too large");
  AllocateWork();
  struct Release {
    TAbstractLZH* self;
    ~Release() { self->ReleaseWork(); }
  } release{this};

  auto& w = *work_;
  compressing_ = true;
  putbuf_ = 0;
  putlen_ = 0;
  textsize_ = size;
  codesize_ = 0;
  bytes_read_ = 0;
  w.in_limit = size;

  const std::uint8_t header[4] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                  static_cast<std::uint8_t>(size >> 16),
                                  static_cast<std::uint8_t>(size >> 24)};
  WriteOutput(header, 4);
  if (size == 0) {
    FlushOutput();
    return 0;
  }

  StartHuff();
  InitTree();
  int s = 0;
  int r = N - F;
  std::memset(w.text_buf.data(), ' ', static_cast<std::size_t>(r));
  int len = 0;
  for (int c; len < F && (c = NextInputByte()) >= 0; ++len)
    w.text_buf[r + len] = static_cast<std::uint8_t>(c);
  for (int i = 1; i <= F; ++i) InsertNode(r - i);
  InsertNode(r);
  do {
    if (match_length_ > len) match_length_ = len;
    if (match_length_ <= THRESHOLD) {
      match_length_ = 1;
      EncodeChar(w.text_buf[r]);
    } else {
      EncodeChar(static_cast<unsigned>(255 - THRESHOLD + match_length_));
      EncodePosition(static_cast<unsigned>(match_position_));
    }
    const int last_match_length = match_length_;
    int i = 0;
    for (int c; i < last_match_length && (c = NextInputByte()) >= 0; ++i) {
      DeleteNode(s);
      w.text_buf[s] = static_cast<std::uint8_t>(c);
      // The copy past the end lets comparisons run over the wrap without masking.
      if (s < F - 1) w.text_buf[s + N] = static_cast<std::uint8_t>(c);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      InsertNode(r);
    }
    while (i++ < last_match_length) {
      DeleteNode(s);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      if (--len) InsertNode(r);
    }
  } while (len > 0);
  EncodeEnd();
  FlushOutput();
  return codesize_;
}

std::size_t TAbstractLZH::Decode(std::size_t limit) {
  AllocateWork();
  struct Release {
    TAbstractLZH* self;
    ~Release() { self->ReleaseWork(); }
  } release{this};

  auto& w = *work_;
  compressing_ = false;
  getbuf_ = 0;
  getlen_ = 0;
  bytes_read_ = 0;

  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) {
    const int b = NextInputByte();
    length |= static_cast<std::uint32_t>(b < 0 ? 0 : b) << (8 * i);
  }
  expected_length_ = length;
  const std::size_t target = std::min<std::size_t>(length, limit);
  if (target == 0) return 0;

  StartHuff();
  std::memset(w.text_buf.data(), ' ', N - F);
  int r = N - F;
  std::size_t count = 0;
  std::uint8_t chunk[F];
  while (count < target) {
    const int c = DecodeChar();
    if (c < 256) {
      const std::uint8_t byte = static_cast<std::uint8_t>(c);
      WriteOutput(&byte, 1);
      w.text_buf[r] = byte;
      r = (r + 1) & (N - 1);
      ++count;
    } else {
      const int from = (r - DecodePosition() - 1) & (N - 1);
      // Stop exactly at the announced length, also inside a match.
      const int j = static_cast<int>(std::min<std::size_t>(c - 255 + THRESHOLD, target - count));
      for (int k = 0; k < j; ++k) {
        const std::uint8_t byte = w.text_buf[(from + k) & (N - 1)];
        chunk[k] = byte;
        w.text_buf[r] = byte;
        r = (r + 1) & (N - 1);
      }
      WriteOutput(chunk, static_cast<std::size_t>(j));
      count += static_cast<std::size_t>(j);
    }
  }
  FlushOutput();
  return count;
}

std::size_t TAbstractLZH::Expand(std::span<const std::uint8_t> input, std::uint8_t* output,
                                 std::size_t limit) {
  AllocateWork();
  struct Release {
    TAbstractLZH* self;
    ~Release() { self->ReleaseWork(); }
  } release{this};

  // The code bits, most significant first, in a 64-bit window that the input
  // refills a byte at a time; past the input come zeros.
  const std::uint8_t* in = input.data();
  const std::uint8_t* const end = in + input.size();
  std::uint64_t window = 0;
  int bits = 0;
  const auto refill = [&] {
    while (bits <= 56) {
      const std::uint64_t byte = in < end ? *in++ : 0;
      window |= byte << (56 - bits);
      bits += 8;
    }
  };
  const auto bit = [&] {
    if (bits == 0) refill();
    const unsigned b = static_cast<unsigned>(window >> 63);
    window <<= 1;
    --bits;
    return b;
  };

  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(in < end ? *in++ : 0) << (8 * i);
  expected_length_ = length;
  const std::size_t target = std::min<std::size_t>(length, limit);
  if (target == 0) return 0;

  auto& w = *work_;
  StartHuff();
  std::memset(w.text_buf.data(), ' ', N - F);
  std::uint8_t* const ring = w.text_buf.data();
  const std::uint16_t* const son = w.son.data();
  unsigned r = N - F;
  std::size_t count = 0;
  while (count < target) {
    unsigned c = son[R];
    while (c < static_cast<unsigned>(T)) c = son[c + bit()];
    c -= T;
    Update(static_cast<int>(c));
    if (c < 256) {
      output[count++] = static_cast<std::uint8_t>(c);
      ring[r] = static_cast<std::uint8_t>(c);
      r = (r + 1) & (N - 1);
      continue;
    }
    // The position: its upper 6 bits by the prefix code (led by the next 8
    // bits), then the lower 6 verbatim.
    if (bits < 16) refill();
    unsigned i = static_cast<unsigned>(window >> 56);
    window <<= 8;
    bits -= 8;
    const unsigned upper = static_cast<unsigned>(kPos.d_code[i]) << 6;
    for (int more = kPos.d_len[i] - 2; more > 0; --more) i = (i << 1) + bit();
    unsigned from = (r - (upper | (i & 0x3F)) - 1) & (N - 1);
    // Stop exactly at the announced length, also inside a match.
    const std::size_t j = std::min<std::size_t>(c - 255 + THRESHOLD, target - count);
    // A match that stays inside the ring and reads none of the bytes it
    // writes is two block copies; a run (or one crossing the ring's end)
    // goes byte by byte.
    if (from + j <= N && r + j <= N && (from + j <= r || r + j <= from)) {
      std::memcpy(output + count, ring + from, j);
      std::memcpy(ring + r, ring + from, j);
      count += j;
      r = static_cast<unsigned>((r + j) & (N - 1));
      continue;
    }
    for (std::size_t k = 0; k < j; ++k) {
      const std::uint8_t byte = ring[from];
      from = (from + 1) & (N - 1);
      output[count++] = byte;
      ring[r] = byte;
      r = (r + 1) & (N - 1);
    }
  }
  return count;
}

// ---- TLZHStream --------------------------------------------------------------------------

std::size_t TLZHStream::Encode(std::size_t size) {
  const std::int64_t remaining = input_.Remaining();
  if (remaining < 0)
    size = 0;
  else
    size = std::min(size, static_cast<std::size_t>(remaining));
  return TAbstractLZH::Encode(size);
}

void TLZHStream::ReadBlock(void* buffer, std::uint16_t count, std::uint16_t& done) {
  done = static_cast<std::uint16_t>(input_.Read(buffer, count));
}

void TLZHStream::WriteBlock(const void* buffer, std::uint16_t count, std::uint16_t& done) {
  done = static_cast<std::uint16_t>(output_.Write(buffer, count));
}

}  // namespace image
