// Compressor registry, identifiers, "Shuffle4 RLE" and "DIB LZH".

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "framework/core/FormStream.h"
#include "framework/core/Stream.h"
#include "framework/core/TextForm.h"
#include "image/DIBLZH.h"
#include "image/cDIBCompressor.h"
#include "image/cDIBSettings.h"
#include "image/cDIBStandardCompressors.h"

namespace image {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// Flat areas, gradients and a little noise, like a skin picture (BGRA bytes).
Bytes PictureLike(std::size_t pixels, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(pixels * 4);
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::size_t x = i % 97;
    std::uint8_t v = i % 1000 < 600 ? 40 : static_cast<std::uint8_t>(x * 2);
    if (rng() % 16 == 0) v = static_cast<std::uint8_t>(v + rng() % 5);
    b[4 * i] = v;
    b[4 * i + 1] = static_cast<std::uint8_t>(v / 2);
    b[4 * i + 2] = 200;
    b[4 * i + 3] = 255;
  }
  return b;
}

Bytes Compress(TAbstractDIBCompressor& c, const Bytes& src, std::size_t* result) {
  Bytes dest(src.size());
  *result = c.Compress(nullptr, src.data(), src.size(), dest.data());
  dest.resize(*result);
  return dest;
}

Bytes Expand(TAbstractDIBCompressor& c, const Bytes& payload, std::size_t size) {
  Bytes dest(size, 0xEE);
  c.Decompress(nullptr, c.GetGUID(), size, payload.size(), dest.data(), payload.data());
  return dest;
}

// ---- identifiers and registry ----------------------------------------------

TEST(CompressorIdentity, GuidLayoutNamesAndRegistrationOrder) {
  struct Case {
    TAbstractDIBCompressor* compressor;
    std::string name;
    std::string id;
    Bytes stored;
  };
  const auto registered = RegisteredCompressors();
  ASSERT_GE(registered.size(), 2u);
  const Case cases[] = {
      {registered[0],
       "Shuffle4 RLE",
       "{CABA9056-7349-43A4-B010-3764FBFAC230}",
       {0x56, 0x90, 0xBA, 0xCA, 0x49, 0x73, 0xA4, 0x43, 0xB0, 0x10, 0x37, 0x64, 0xFB, 0xFA, 0xC2, 0x30}},
      {registered[1],
       "DIB LZH",
       "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}",
       {0xFC, 0x10, 0x0C, 0xBC, 0x45, 0xE0, 0xE7, 0x41, 0xA3, 0x7C, 0xB8, 0x6A, 0xF2, 0x13, 0x20, 0xB8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.compressor->GetName(), c.name);
    const TGUID id = c.compressor->GetGUID();
    EXPECT_EQ(id.ToString(), c.id);
    const auto bytes = id.ToBytes();
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), c.stored);
    EXPECT_EQ(TGUID::FromBytes(c.stored.data()), id);
    EXPECT_EQ(FindCompressor(c.id), c.compressor);
    EXPECT_EQ(FindDecompressor(TGUID::FromBytes(c.stored.data())), c.compressor);
    EXPECT_EQ(c.compressor->GetAuthor(), "");
    EXPECT_NE(c.compressor->GetDescription(), "No information supplied");
  }
}

TEST(CompressorRegistry, LookupIsExactAndLatestRegistrationWins) {
  EXPECT_EQ(FindCompressor("{caba9056-7349-43a4-b010-3764fbfac230}"), nullptr);
  EXPECT_EQ(FindCompressor("CABA9056-7349-43A4-B010-3764FBFAC230"), nullptr);
  EXPECT_EQ(FindCompressor(""), nullptr);
  TGUID unknown = kRLECompressorGUID;
  unknown.Data4[7] ^= 1;
  EXPECT_EQ(FindDecompressor(unknown), nullptr);

  // A second compressor with the RLE identifier shadows the first until removed.
  TAbstractDIBCompressor* original = FindCompressor(kRLECompressorGUID.ToString());
  TAbstractDIBCompressor* shadow = RegisterCompressor(std::make_unique<TRLEDIBCompressor>());
  EXPECT_EQ(FindCompressor(kRLECompressorGUID.ToString()), shadow);
  EXPECT_EQ(FindDecompressor(kRLECompressorGUID), shadow);
  SetCurrentCompressor(shadow);
  EXPECT_NE(UnregisterCompressor(shadow), nullptr);
  EXPECT_EQ(CurrentCompressor(), nullptr);
  EXPECT_EQ(FindCompressor(kRLECompressorGUID.ToString()), original);
}

TEST(DIBSettings, SelectsByIdentifierAndResetsOnDestruction) {
  {
    TDIBSettings settings;
    EXPECT_EQ(settings.DIBCompressor(), "");
    settings.SetDIBCompressor("{CABA9056-7349-43A4-B010-3764FBFAC230}");
    EXPECT_EQ(CurrentCompressor()->GetName(), "Shuffle4 RLE");
    EXPECT_EQ(settings.DIBCompressor(), "{CABA9056-7349-43A4-B010-3764FBFAC230}");
    settings.SetDIBCompressor("{bc0c10fc-e045-41e7-a37c-b86af21320b8}");  // wrong case: no match
    EXPECT_EQ(CurrentCompressor(), nullptr);
    EXPECT_EQ(settings.DIBCompressor(), "");
    settings.SetDIBCompressor("{BC0C10FC-E045-41E7-A37C-B86AF21320B8}");
    EXPECT_EQ(CurrentCompressor()->GetName(), "DIB LZH");
  }
  EXPECT_EQ(CurrentCompressor(), nullptr);
}

// A stored form's settings component is the same class the tools write with:
// reading it selects the compressor, writing it gives the name back.
TEST(DIBSettings, ReadFromAFormSelectsTheCompressor) {
  RegisterSettingsClasses();
  const auto form = framework::TextFormToBinary(
      "TDIBSettings DIBSettings1 {\n  DIBCompressor = \"{BC0C10FC-E045-41E7-A37C-B86AF21320B8}\"\n}\n");
  {
    std::unique_ptr<framework::TComponent> read = framework::ReadForm(form);
    ASSERT_NE(dynamic_cast<TDIBSettings*>(read.get()), nullptr);
    ASSERT_NE(CurrentCompressor(), nullptr);
    EXPECT_EQ(CurrentCompressor()->GetName(), "DIB LZH");
    EXPECT_EQ(framework::WriteForm(*read), form);
  }
  EXPECT_EQ(CurrentCompressor(), nullptr);
}

// ---- Shuffle4 RLE --------------------------------------------------------------

TEST(ShuffleRLE, PairStreamsAndGiveUpRule) {
  struct Case {
    const char* what;
    Bytes input;
    std::size_t result;
    Bytes payload;
  };
  Bytes fill300(300, 7);
  Bytes run255(256, 9);
  run255[255] = 3;  // last byte of plane 3, so the shuffled block ends in it
  const Case cases[] = {
      {"payload exactly as long as the input", {1, 2, 3, 4, 1, 2, 3, 4}, 8, {2, 1, 2, 2, 2, 3, 2, 4}},
      {"runs stop at 255", fill300, 4, {255, 7, 45, 7}},
      {"255 equal then one other", run255, 4, {255, 9, 1, 3}},
      {"eight different bytes", {1, 2, 3, 4, 5, 6, 7, 8}, 0, {}},
      {"a fifth pair would be needed", {1, 2, 3, 4, 1, 2, 3, 5}, 0, {}},
      {"too short to hold a pair", {5}, 0, {}},
      {"empty", {}, 0, {}},
      {"tail of n mod 4 after the planes",
       {1, 2, 3, 4, 1, 2, 3, 4, 9, 9, 9},
       10,
       {2, 1, 2, 2, 2, 3, 2, 4, 3, 9}},
  };
  TRLEDIBCompressor rle;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t r = 0;
    const Bytes payload = Compress(rle, c.input, &r);
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(payload, c.payload);
    if (r > 0) {
      EXPECT_EQ(Expand(rle, payload, c.input.size()), c.input);
    }
  }
}

TEST(ShuffleRLE, ExpansionHoldsToTheAnnouncedLength) {
  struct Case {
    const char* what;
    Bytes payload;
    std::size_t size;
    Bytes expected;
  };
  const Case cases[] = {
      {"count 0 appends nothing", {0, 5, 8, 7}, 8, Bytes(8, 7)},
      {"odd trailing byte ignored", {8, 7, 9}, 8, Bytes(8, 7)},
      {"pairs beyond the length are cut", {255, 7, 255, 1}, 8, Bytes(8, 7)},
      {"short payload leaves zeros", {2, 7}, 8, {7, 0, 0, 0, 7, 0, 0, 0}},
      {"empty payload", {}, 4, Bytes(4, 0)},
      {"nothing to produce", {255, 1}, 0, {}},
  };
  TRLEDIBCompressor rle;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Expand(rle, c.payload, c.size), c.expected);
  }
}

// ---- DIB LZH ------------------------------------------------------------------------

Bytes Encode(const Bytes& input, std::size_t* codeBytes) {
  framework::TMemoryStream in(input), out;
  TLZHStream lzh(in, out);
  *codeBytes = lzh.Encode(input.size());
  return out.Bytes();
}

Bytes Decode(const Bytes& input, std::size_t limit = TAbstractLZH::kDefaultDecodeLimit) {
  framework::TMemoryStream in(input), out;
  TLZHStream lzh(in, out);
  const std::size_t n = lzh.Decode(limit);
  EXPECT_EQ(n, out.Bytes().size());
  return out.Bytes();
}

TEST(LZH, HandWorkedCodes) {
  // Three spaces match the space-filled ring at distance 1: the length-3 symbol
  // (8 bits 10001100 from the initial tree), position code 000, six zero bits.
  std::size_t code = 0;
  EXPECT_EQ(Encode(Bytes(3, ' '), &code), (Bytes{3, 0, 0, 0, 0x8C, 0x00, 0x00}));
  EXPECT_EQ(code, 3u);
  // 'A' is leaf 65, nine bits 111001101 deep in the initial tree.
  EXPECT_EQ(Decode({1, 0, 0, 0, 0xE6, 0x80}), Bytes{'A'});
  // Missing code bytes read as zero bits: the position bits here.
  EXPECT_EQ(Decode({3, 0, 0, 0, 0x8C}), Bytes(3, ' '));
  // The run stops at the announced length, also inside a match.
  EXPECT_EQ(Decode({2, 0, 0, 0, 0x8C}), Bytes(2, ' '));
}

TEST(LZH, DecoderOnShortInput) {
  struct Case {
    const char* what;
    Bytes input;
    std::size_t produced;
  };
  const Case cases[] = {
      {"empty input announces nothing", {}, 0},
      {"length only", {0xE8, 0x03, 0, 0}, 1000},
      {"half a length header", {0xE8, 0x03}, 1000},
      {"length and a few code bytes", {0x10, 0x27, 0, 0, 0xE6, 0x80, 0x12}, 10000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Decode(c.input).size(), c.produced);
  }
  // A limit cuts the run short whatever the header says.
  framework::TMemoryStream in(Bytes{0xFF, 0xFF, 0xFF, 0xFF}), out;
  TLZHStream lzh(in, out);
  EXPECT_EQ(lzh.Decode(100), 100u);
  EXPECT_EQ(lzh.ExpectedLength(), 0xFFFFFFFFu);
  EXPECT_EQ(out.Bytes().size(), 100u);
}

// Expanding in memory gives what the stream decoder gives, byte for byte and
// count for count: on real code, code cut short or damaged, random bytes,
// and limits below and above the announced length.
TEST(LZH, ExpandingInMemoryMatchesTheStreamDecoder) {
  std::vector<Bytes> inputs;
  std::size_t code = 0;
  for (std::size_t n : {100u, 1500u, 4096u, 70000u}) {
    inputs.push_back(Encode(PictureLike(n, static_cast<unsigned>(n)), &code));
    inputs.push_back(Encode(Bytes(n, ' '), &code));
  }
  const Bytes whole = inputs[6];
  inputs.push_back(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2)));
  Bytes damaged = whole;
  for (std::size_t i = 9; i < damaged.size(); i += 97) damaged[i] ^= 0x5A;
  inputs.push_back(damaged);
  for (unsigned seed = 1; seed <= 6; ++seed) {
    Bytes noise = RandomBytes(300 * seed, seed + 40);
    noise[0] = 0x30, noise[1] = 0x75, noise[2] = noise[3] = 0;  // announces 30000
    inputs.push_back(noise);
  }
  inputs.push_back({});
  inputs.push_back({0x10, 0x27});
  for (std::size_t k = 0; k < inputs.size(); ++k)
    for (std::size_t limit :
         {std::size_t{0}, std::size_t{5}, std::size_t{1000}, TAbstractLZH::kDefaultDecodeLimit}) {
      SCOPED_TRACE("input " + std::to_string(k) + ", limit " + std::to_string(limit));
      const Bytes expected = Decode(inputs[k], limit);
      Bytes out(expected.size() + 16, 0xEE);
      TLZHMemory lzh;
      ASSERT_EQ(lzh.Expand(inputs[k], out.data(), limit), expected.size());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
      EXPECT_EQ(Bytes(out.end() - 16, out.end()), Bytes(16, 0xEE)) << "nothing written past the count";
    }
}

TEST(LZH, EncoderRefusesToGrow) {
  const Bytes noise = RandomBytes(5000, 1);
  std::size_t code = 0;
  try {
    Encode(noise, &code);
    FAIL() << "random data compressed";
  } catch (const ElzhException& e) {
    EXPECT_STREQ(e.what(), "Compressed file is larger than the original.");
  }
  TLZHDIBCompressor lzh;
  std::size_t r = 1;
  Compress(lzh, noise, &r);
  EXPECT_EQ(r, 0u);
  // Shrinks, but not by the 4 bytes of the length: still declined.
  Compress(lzh, Bytes(3, ' '), &r);
  EXPECT_EQ(r, 0u);
}

TEST(LZH, KeepsAPayloadExactlyAsLongAsTheInput) {
  // 100 random bytes and a run of zeros code to 108 bytes: with the 4-byte
  // length that fills 112 input bytes exactly and overfills 111 by one.
  const struct {
    std::size_t size;
    bool kept;
  } cases[] = {{112, true}, {111, false}};
  TLZHDIBCompressor lzh;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    Bytes input = RandomBytes(100, 7);
    input.resize(c.size, 0);
    std::size_t code = 0;
    Encode(input, &code);
    ASSERT_EQ(code, 108u) << "the fixture no longer codes to 108 bytes";
    std::size_t result = 1;
    const Bytes payload = Compress(lzh, input, &result);
    EXPECT_EQ(result, c.kept ? c.size : 0u);
    if (c.kept) {
      EXPECT_EQ(Expand(lzh, payload, c.size), input);
    }
  }
}

TEST(LZH, EncodesFromTheInputPosition) {
  Bytes data = PictureLike(2000, 2);
  framework::TMemoryStream in(data), out;
  in.SetPosition(400);
  TLZHStream lzh(in, out);
  const std::size_t code = lzh.Encode(1000000);  // no more than the input holds
  ASSERT_EQ(out.Bytes().size(), code + 4);
  EXPECT_EQ(Decode(out.Bytes()), Bytes(data.begin() + 400, data.end()));
}

// ---- round trips through both compressors ---------------------------------------

TEST(CompressorRoundTrip, ByteForByte) {
  Bytes farRepeat = RandomBytes(4000, 3);  // matches at distances up to 4095
  farRepeat.insert(farRepeat.end(), farRepeat.begin(), farRepeat.end());
  farRepeat.insert(farRepeat.end(), farRepeat.begin(), farRepeat.begin() + 4095);
  struct Case {
    const char* what;
    Bytes data;
    bool rleShrinks;  // RLE declines data without runs; LZH shrinks all of these
  };
  const Case cases[] = {
      {"skin-like 720 x 513 with header",
       [] {
         Bytes b = {0xD0, 0x02, 0x01, 0x02};
         Bytes p = PictureLike(720 * 513, 4);
         b.insert(b.end(), p.begin(), p.end());
         return b;
       }(),
       true},
      {"long flat run", Bytes(100000, 0x20), true},
      {"far repeats", farRepeat, false},
      {"small picture", PictureLike(29 * 42, 5), true},
      {"text with odd length",
       [] {
         std::string s;
         for (int i = 0; i < 300; ++i) s += "shuffle and run " + std::to_string(i % 17);
         return Bytes(s.begin(), s.end());
       }(),
       false},
  };
  TRLEDIBCompressor rle;
  TLZHDIBCompressor lzh;
  for (const auto& c : cases) {
    for (TAbstractDIBCompressor* comp :
         {static_cast<TAbstractDIBCompressor*>(&rle), static_cast<TAbstractDIBCompressor*>(&lzh)}) {
      SCOPED_TRACE(std::string(c.what) + " / " + comp->GetName());
      std::size_t r = 0;
      const Bytes payload = Compress(*comp, c.data, &r);
      const bool shrinks = comp == &lzh || c.rleShrinks;
      EXPECT_EQ(r > 0, shrinks);
      if (r == 0) continue;
      EXPECT_LE(r, c.data.size());
      EXPECT_EQ(Expand(*comp, payload, c.data.size()), c.data);
      if (comp == &lzh) {
        const std::uint32_t n = payload[0] | (payload[1] << 8) | (payload[2] << 16) | (payload[3] << 24);
        EXPECT_EQ(n, c.data.size());
      }
    }
  }
}

}  // namespace
}  // namespace image
