// The stored picture stream (`Data` value) through the buffers' ReadData and
// WriteData: raw and compressed forms, compressor choice, and bad values.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/Stream.h"
#include "framework/graphics/Canvas.h"
#include "image/DIBDataStream.h"
#include "image/cDIB.h"
#include "image/cDIBCompressor.h"
#include "image/cDIBSettings.h"
#include "image/cDIBStandardCompressors.h"

namespace image {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kRLE = "{CABA9056-7349-43A4-B010-3764FBFAC230}";
const std::string kLZH = "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}";

// Random flat rectangles over a gradient with some noise: compressible, but
// different on every seed.
void PaintRandom(TAbstractSuperDIB& dib, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uint8_t* p = dib.Bits();
  for (std::size_t i = 0; i < dib.ByteCount(); ++i) p[i] = static_cast<std::uint8_t>(i / 32 % dib.Width());
  for (int r = 0; r < 6; ++r) {
    const std::uint32_t colour = rng();
    const int x0 = static_cast<int>(rng() % dib.Width()), y0 = static_cast<int>(rng() % dib.Height());
    const int w = static_cast<int>(rng() % (dib.Width() - x0)) + 1,
              h = static_cast<int>(rng() % (dib.Height() - y0)) + 1;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) std::memcpy(dib.ScanLine(y) + 4 * x, &colour, 4);
  }
  for (int n = 0; n < dib.Width() * dib.Height() / 200; ++n)
    p[rng() % dib.ByteCount()] = static_cast<std::uint8_t>(rng());
}

Bytes Pixels(const TAbstractSuperDIB& dib) {
  return Bytes(dib.Bits(), dib.Bits() + dib.ByteCount());
}

Bytes Write(TAbstractSuperDIB& dib) {
  framework::TMemoryStream out;
  dib.WriteData(out);
  return out.Bytes();
}

void Read(TAbstractSuperDIB& dib, const Bytes& value) {
  framework::TMemoryStream in(value);
  dib.ReadData(in, value.size());
  EXPECT_EQ(in.Position(), static_cast<std::int64_t>(value.size()));
}

Bytes U16(std::uint16_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}
Bytes U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
Bytes CompressedHeader(const TGUID& id, std::uint32_t rawLength) {
  const auto g = id.ToBytes();
  return Cat({Bytes{'D', 'I', 'B', 'C', 'M', 'P'}, Bytes(g.begin(), g.end()), U32(rawLength)});
}

class PictureStream : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentCompressor(nullptr); }
};

TEST_F(PictureStream, RawValueLayout) {
  TMemoryDIB dib(29, 42);
  PaintRandom(dib, 1);
  const Bytes value = Write(dib);
  ASSERT_EQ(value.size(), 4876u);  // 4 + 4 * 29 * 42
  EXPECT_EQ(Bytes(value.begin(), value.begin() + 4), (Bytes{29, 0, 42, 0}));
  EXPECT_EQ(Bytes(value.begin() + 4, value.end()), Pixels(dib));
}

TEST_F(PictureStream, RandomPicturesRoundTripRawRLEAndLZH) {
  struct Case {
    std::string compressor;  // empty: raw
    bool expectCompressed;
  };
  const Case cases[] = {{"", false}, {kRLE, true}, {kLZH, true}};
  const std::pair<int, int> sizes[] = {{1, 1}, {29, 42}, {17, 23}, {300, 7}, {720, 51}};
  std::uint32_t seed = 10;
  for (const auto& c : cases) {
    TDIBSettings settings;
    settings.SetDIBCompressor(c.compressor);
    for (const auto& [w, h] : sizes) {
      SCOPED_TRACE(c.compressor + " " + std::to_string(w) + "x" + std::to_string(h));
      TMemoryDIB source(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
      PaintRandom(source, ++seed);
      const Bytes value = Write(source);
      const std::size_t rawLength = 4 + 4 * std::size_t(w) * h;
      const bool compressed = value.size() >= 26 && std::memcmp(value.data(), "DIBCMP", 6) == 0;
      if (compressed) {
        EXPECT_EQ(
            Bytes(value.begin(), value.begin() + 26),
            CompressedHeader(FindCompressor(c.compressor)->GetGUID(), static_cast<std::uint32_t>(rawLength)));
        EXPECT_LE(value.size() - 26, rawLength);
      } else {
        EXPECT_EQ(value.size(), rawLength);
      }
      if (w * h >= 500) {
        EXPECT_EQ(compressed, c.expectCompressed);
      }

      TMemoryDIB copy(3, 3);
      int changes = 0;
      copy.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
      Read(copy, value);
      EXPECT_EQ(copy.Width(), w);
      EXPECT_EQ(copy.Height(), h);
      EXPECT_EQ(Pixels(copy), Pixels(source));
      EXPECT_EQ(changes, 1);
    }
  }
}

TEST_F(PictureStream, CompressorDecliningOrFailingWritesRaw) {
  TMemoryDIB noise(40, 40);
  std::mt19937 rng(5);
  for (std::size_t i = 0; i < noise.ByteCount(); ++i) noise.Bits()[i] = static_cast<std::uint8_t>(rng());

  TDIBSettings settings;
  for (const std::string& id : {kRLE, kLZH, std::string("{00000000-0000-0000-0000-000000000000}")}) {
    SCOPED_TRACE(id);
    settings.SetDIBCompressor(id);
    EXPECT_EQ(Write(noise).size(), 4 + noise.ByteCount());
  }

  struct Misbehaving : TRLEDIBCompressor {
    std::function<std::size_t()> result;
    TGUID GetGUID() const override { return {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}; }
    std::size_t Compress(const TAbstractSuperDIB*, const std::uint8_t*, std::size_t, std::uint8_t*) override {
      return result();
    }
  };
  auto* bad = static_cast<Misbehaving*>(RegisterCompressor(std::make_unique<Misbehaving>()));
  SetCurrentCompressor(bad);
  TMemoryDIB flat(10, 10);
  for (const auto& result : std::vector<std::function<std::size_t()>>{
           [] { return std::size_t{0}; }, [] { return std::size_t{1} << 40; },
           []() -> std::size_t { throw framework::Exception("broken"); }}) {
    bad->result = result;
    EXPECT_EQ(Write(flat).size(), 404u);
  }
  UnregisterCompressor(bad);
}

TEST_F(PictureStream, ReadingFollowsTheStoredIdentifierNotTheSettings) {
  TMemoryDIB source(64, 32);
  PaintRandom(source, 77);
  Bytes value;
  {
    TDIBSettings settings;
    settings.SetDIBCompressor(kLZH);
    value = Write(source);
  }
  ASSERT_EQ(std::memcmp(value.data(), "DIBCMP", 6), 0);
  TDIBSettings other;
  other.SetDIBCompressor(kRLE);
  TMemoryDIB copy;
  Read(copy, value);
  EXPECT_EQ(Pixels(copy), Pixels(source));
}

TEST_F(PictureStream, MemoryBufferEmptyValueAndStoreData) {
  TMemoryDIB dib(2, 2);
  std::memset(dib.Bits(), 0x5A, dib.ByteCount());
  int changes = 0;
  dib.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  Read(dib, {});
  EXPECT_EQ(dib.Width(), 2);
  EXPECT_EQ(Pixels(dib), Bytes(16, 0x5A));
  EXPECT_EQ(changes, 0);
  dib.SetStoreData(false);
  EXPECT_TRUE(Write(dib).empty());
}

// ---- values from outside --------------------------------------------------------

// Runs one read on a 4 x 4 buffer filled with 0xAB and reports what happened.
struct ReadOutcome {
  std::string error;  // "ClassName: message", empty on success
  std::uint16_t width = 0, height = 0;
  Bytes pixels;
  int changes = 0;
};

// lasting: read as from memory that lasts (where a value is decoded once and
// shared); only for values that fail, whose addresses nothing keeps.
ReadOutcome ReadInto4x4(const Bytes& value, std::size_t length, std::size_t maxPixels = kMaxStreamPixels,
                        bool lasting = false) {
  TMemoryDIB dib(4, 4);
  std::memset(dib.Bits(), 0xAB, dib.ByteCount());
  ReadOutcome o;
  dib.SetOnChange([&](TAbstractSuperDIB&) { ++o.changes; });
  framework::TReadOnlyMemoryStream in(value, lasting);
  try {
    ReadDIBData(dib, in, length, maxPixels);
  } catch (const EDIBCompressError& e) {
    o.error = std::string("EDIBCompressError: ") + e.what();
  } catch (const EDIBError& e) {
    o.error = std::string("EDIBError: ") + e.what();
  } catch (const framework::EReadError& e) {
    o.error = std::string("EReadError: ") + e.what();
  }
  o.width = dib.Width();
  o.height = dib.Height();
  o.pixels = Pixels(dib);
  return o;
}

TEST_F(PictureStream, ErrorsLeaveTheBufferUntouched) {
  TGUID unknown = kRLECompressorGUID;
  unknown.Data1 ^= 0x80000000;
  const Bytes dibcmp25 = Cat({Bytes{'D', 'I', 'B', 'C', 'M', 'P'}, Bytes(19, 0)});
  struct Case {
    const char* what;
    Bytes value;
    std::size_t length;
    std::string error;
  };
  const Case cases[] = {
      // Shorter than a compressed header: raw, so "DI" x "BC" = 18756 x 17218.
      {"25 bytes starting with DIBCMP", dibcmp25, 25, "EDIBError: Picture data is too large."},
      {"unknown compressor", CompressedHeader(unknown, 68), 26,
       "EDIBCompressError: Could not find a suitable decompressor."},
      {"compressed length beyond the cap",
       Cat({CompressedHeader(kRLECompressorGUID, 0xFFFFFFFF), Bytes{2, 0}}), 28,
       "EDIBError: Picture data is too large."},
      {"65535 x 65535 raw", Cat({U16(65535), U16(65535), Bytes(8, 1)}), 12,
       "EDIBError: Picture data is too large."},
      {"compressed form expands to fewer than 4 bytes",
       Cat({CompressedHeader(kRLECompressorGUID, 3), Bytes{3, 9}}), 28, "EReadError: Stream read error"},
      {"raw shorter than its header", Bytes{4, 0, 4}, 3, "EReadError: Stream read error"},
      {"length beyond the stream", Cat({U16(4), U16(4), Bytes(64, 1)}), 69, "EReadError: Stream read error"},
      {"length far beyond the stream", Bytes{1, 0, 1, 0}, std::size_t{1} << 40,
       "EReadError: Stream read error"},
  };
  const std::size_t kept = SharedPictureCount();
  for (const bool lasting : {false, true})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (lasting ? ", lasting" : ""));
      const ReadOutcome o = ReadInto4x4(c.value, c.length, kMaxStreamPixels, lasting);
      EXPECT_EQ(o.error, c.error);
      EXPECT_EQ(o.width, 4);
      EXPECT_EQ(o.height, 4);
      EXPECT_EQ(o.pixels, Bytes(64, 0xAB));
      EXPECT_EQ(o.changes, 0);
    }
  EXPECT_EQ(SharedPictureCount(), kept) << "a value that fails is not kept";
  // The cap is the caller's to choose.
  EXPECT_EQ(ReadInto4x4(Cat({U16(100), U16(100)}), 4, 9999).error, "EDIBError: Picture data is too large.");
  EXPECT_EQ(ReadInto4x4(Cat({U16(100), U16(100)}), 4, 10000).error, "");
}

TEST_F(PictureStream, LengthsThatLie) {
  TRLEDIBCompressor rle;
  auto rlePayload = [&](const Bytes& raw) {
    Bytes out(raw.size());
    const std::size_t r = rle.Compress(nullptr, raw.data(), raw.size(), out.data());
    EXPECT_GT(r, 0u);
    out.resize(r);
    return out;
  };
  const Bytes raw4x4 = Cat({U16(4), U16(4), Bytes(64, 0x11)});
  Bytes lzhPacked(raw4x4.size());
  TLZHDIBCompressor lzh;
  lzhPacked.resize(lzh.Compress(nullptr, raw4x4.data(), raw4x4.size(), lzhPacked.data()));
  ASSERT_GT(lzhPacked.size(), 4u);
  const Bytes lzhLying = Cat({CompressedHeader(kLZHCompressorGUID, 68), U32(0xFFFFFFF0),
                              Bytes(lzhPacked.begin() + 4, lzhPacked.end())});
  struct Case {
    const char* what;
    Bytes value;
    std::size_t length;
    std::uint16_t width, height;
    std::size_t written;  // pixel bytes taken from the value
  };
  const Case cases[] = {
      {"raw with fewer pixels than its header", Cat({U16(4), U16(4), Bytes(10, 0x11)}), 14, 4, 4, 10},
      {"raw with more bytes than its header", Cat({U16(2), U16(2), Bytes(40, 0x11)}), 44, 2, 2, 16},
      {"length shorter than the value in the stream", raw4x4, 30, 4, 4, 26},
      // (LZH here: the RLE planes depend on the announced length, so a lie
      // there scrambles the picture rather than cutting it.)
      {"compressed, announced length short", Cat({CompressedHeader(kLZHCompressorGUID, 20), lzhPacked}),
       26 + lzhPacked.size(), 4, 4, 16},
      {"compressed, announced length long", Cat({CompressedHeader(kLZHCompressorGUID, 200), lzhPacked}),
       26 + lzhPacked.size(), 4, 4, 64},
      {"RLE pairs expanding past the announced length",
       Cat({CompressedHeader(kRLECompressorGUID, 68), rlePayload(raw4x4), Bytes{255, 0x22, 255, 0x22}}),
       30 + rlePayload(raw4x4).size(), 4, 4, 64},
      {"LZH payload announcing more than the raw length", lzhLying, lzhLying.size(), 4, 4, 64},
      // Half the pairs: the planes are short, so the height byte reads as 0.
      {"RLE payload cut short",
       Cat({CompressedHeader(kRLECompressorGUID, 68), Bytes{1, 4, 16, 0x11, 1, 0, 16, 0x11}}), 34, 4, 1, 16},
      {"zero sizes", Cat({U16(0), U16(0)}), 4, 1, 1, 0},
      {"65535 x 1", Cat({U16(65535), U16(1), Bytes(65535 * 4, 0x11)}), 4 + 65535 * 4, 65535, 1, 65535 * 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadOutcome o = ReadInto4x4(c.value, c.length);
    ASSERT_EQ(o.error, "");
    EXPECT_EQ(o.width, c.width);
    EXPECT_EQ(o.height, c.height);
    EXPECT_EQ(o.changes, 1);
    const bool resized = c.width != 4 || c.height != 4;
    // Only the bytes the value carried are written; the rest keep what the
    // buffer held (when its size did not change).
    ASSERT_EQ(o.pixels.size(), std::size_t{c.width} * c.height * 4);
    for (std::size_t i = 0; i < o.pixels.size(); ++i) {
      if (i < c.written) {
        ASSERT_NE(o.pixels[i], 0xAB) << i;
      } else if (!resized) {
        ASSERT_EQ(o.pixels[i], 0xAB) << i;
      }
    }
  }
}

TEST_F(PictureStream, AliasWritesThroughOrTakesItsOwnPixels) {
  TMemoryDIB owner(2, 2);
  TMemoryDIB alias(kShare, owner);
  ASSERT_FALSE(alias.OwnsPixels());
  const Bytes same = Cat({U16(2), U16(2), Bytes(16, 0x33)});
  framework::TMemoryStream in(same);
  ReadDIBData(alias, in, same.size());
  EXPECT_EQ(Pixels(owner), Bytes(16, 0x33));

  const Bytes big = Cat({U16(8), U16(8), Bytes(256, 0x44)});
  framework::TMemoryStream in2(big);
  ReadDIBData(alias, in2, big.size());
  EXPECT_EQ(Pixels(alias), Bytes(256, 0x44));
  EXPECT_EQ(Pixels(owner), Bytes(16, 0x33));
}

// A value in memory that lasts until the process ends, as the embedded form
// does: the shared pictures keep its address.
const Bytes& LastingValue(Bytes value) {
  static std::deque<Bytes> values;  // never moves what it holds
  return values.emplace_back(std::move(value));
}

void ReadLasting(TAbstractSuperDIB& dib, const Bytes& value) {
  framework::TReadOnlyMemoryStream in(value, true);
  int changes = 0;
  dib.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  dib.ReadData(in, value.size());
  dib.SetOnChange(nullptr);
  EXPECT_EQ(in.Position(), static_cast<std::int64_t>(value.size()));
  EXPECT_EQ(changes, 1);
}

TEST_F(PictureStream, LastingValuesAreDecodedOnceAndShared) {
  for (const std::string& compressor : {std::string(), kRLE, kLZH}) {
    SCOPED_TRACE(compressor);
    TMemoryDIB source(45, 31);
    PaintRandom(source, 77);
    TDIBSettings settings;
    settings.SetDIBCompressor(compressor);
    const Bytes& value = LastingValue(Write(source));
    const std::size_t before = SharedPictureCount();
    TMemoryDIB a(3, 3), b;
    TWinDIB c;
    for (TAbstractSuperDIB* dib : {static_cast<TAbstractSuperDIB*>(&a), static_cast<TAbstractSuperDIB*>(&b),
                                   static_cast<TAbstractSuperDIB*>(&c)}) {
      ReadLasting(*dib, value);
      EXPECT_TRUE(dib->SharesReadOnly());
      EXPECT_EQ(std::as_const(*dib).Bits(), std::as_const(a).Bits()) << "one picture for all";
      EXPECT_EQ(dib->Width(), 45);
      EXPECT_EQ(dib->Height(), 31);
      EXPECT_EQ(Pixels(*dib), Pixels(source));
    }
    EXPECT_EQ(SharedPictureCount(), before + 1);
  }
}

TEST_F(PictureStream, LastingValuesAreDecodedOnceAcrossThreads) {
  TMemoryDIB source(300, 200);
  PaintRandom(source, 78);
  TDIBSettings settings;
  settings.SetDIBCompressor(kLZH);
  const Bytes& value = LastingValue(Write(source));
  const std::size_t before = SharedPictureCount();
  constexpr int kThreads = 4;
  std::vector<const std::uint8_t*> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      TMemoryDIB dib;
      framework::TReadOnlyMemoryStream in(value, true);
      dib.ReadData(in, value.size());
      seen[t] = std::as_const(dib).Bits();
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(SharedPictureCount(), before + 1);
  for (const std::uint8_t* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(Bytes(seen[0], seen[0] + source.ByteCount()), Pixels(source));
}

// Every way of writing pixels gives a buffer that shares a picture a copy of
// its own first; reading and drawing from it keep sharing.
TEST_F(PictureStream, NothingWritesIntoASharedPicture) {
  TMemoryDIB source(24, 16);
  PaintRandom(source, 79);
  TDIBSettings settings;
  settings.SetDIBCompressor(kRLE);
  const Bytes& value = LastingValue(Write(source));
  TMemoryDIB other(24, 16);
  PaintRandom(other, 80);

  const std::pair<const char*, std::function<void(TWinDIB&)>> writers[] = {
      {"SetPixelAt", [](TWinDIB& d) { d.SetPixelAt(1, 2, 0x12345678); }},
      {"Bits", [](TWinDIB& d) { d.Bits()[5] ^= 0xFF; }},
      {"ScanLine", [](TWinDIB& d) { d.ScanLine(3)[0] ^= 0xFF; }},
      {"Fill", [](TWinDIB& d) { d.Fill(0x0000FF); }},
      {"FillRect", [](TWinDIB& d) { d.FillRect(0x00FF00, 2, 2, 5, 5); }},
      {"SetAlpha", [](TWinDIB& d) { d.SetAlpha(7); }},
      {"drawn into", [&](TWinDIB& d) { other.Draw(0, 0, 10, 10, d, 0, 0); }},
      {"rotated into",
       [&](TWinDIB& d) {
         other.SetAngle(30);
         other.DrawRotated(d);
         other.SetAngle(0);
       }},
      {"StretchFrom", [&](TWinDIB& d) { d.StretchFrom(other); }},
      {"CopyPixelsFrom", [&](TWinDIB& d) { d.CopyPixelsFrom(other); }},
      {"ApplyFilter",
       [](TWinDIB& d) {
         TDIBFilterKernel k;
         k.Weights[1][1] = 2;
         d.ApplyFilter(k);
       }},
      {"Canvas",
       [](TWinDIB& d) {
         d.Canvas().BrushColor = 0x00FF00;
         d.Canvas().FillRect({0, 0, 6, 6});
       }},
      {"an alias written",
       [](TWinDIB& d) {
         TMemoryDIB alias(kShare, d);
         EXPECT_TRUE(alias.SharesReadOnly());
         alias.Fill(0x00FF00);
       }},
  };
  for (const auto& [what, write] : writers) {
    SCOPED_TRACE(what);
    TWinDIB dib;
    ReadLasting(dib, value);
    // Reading and drawing from it take nothing of its own.
    TMemoryDIB target(24, 16);
    dib.Draw(0, 0, 24, 16, target, 0, 0);
    EXPECT_EQ(dib.PixelAt(1, 1), source.PixelAt(1, 1));
    Write(dib);
    ASSERT_TRUE(dib.SharesReadOnly());

    write(dib);
    TMemoryDIB again;
    ReadLasting(again, value);
    EXPECT_EQ(Pixels(again), Pixels(source)) << "the shared picture is as decoded";
    if (std::string(what) != "an alias written") {
      EXPECT_FALSE(dib.SharesReadOnly());
      EXPECT_TRUE(dib.OwnsPixels());
      EXPECT_NE(Pixels(dib), Pixels(source)) << "the write went somewhere";
    }
  }
}

}  // namespace
}  // namespace image
