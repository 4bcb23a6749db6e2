// RSB import/export and the list of file formats.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/Stream.h"
#include "image/DIBRSBFormat.h"
#include "image/cDIB.h"
#include "image/cDIBFormat.h"

namespace image {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes U32s(std::initializer_list<std::uint32_t> values) {
  Bytes b;
  for (std::uint32_t v : values) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  return b;
}

std::uint16_t PixelAtFile(const Bytes& file, std::size_t index) {
  return static_cast<std::uint16_t>(file[28 + 2 * index] | (file[29 + 2 * index] << 8));
}

TEST(RSBFormat, IdentityAndFormatList) {
  const auto formats = DIBFormats();
  ASSERT_FALSE(formats.empty());
  auto* rsb = dynamic_cast<TDIBRSBFormat*>(formats.front());
  ASSERT_NE(rsb, nullptr);
  EXPECT_EQ(rsb->GetName(), "Rogue spear bitmap");
  for (const char* ext : {".RSB", ".rsb", ".RsB"}) {
    EXPECT_TRUE(rsb->HandlesLoadExtension(ext)) << ext;
    EXPECT_TRUE(rsb->HandlesSaveExtension(ext)) << ext;
  }
  for (const char* ext : {"rsb", ".rsbx", ".bmp", ""}) EXPECT_FALSE(rsb->HandlesLoadExtension(ext)) << ext;
  std::vector<std::string> filters{"first"};
  rsb->AddLoadFilter(filters);
  rsb->AddSaveFilter(filters);
  EXPECT_EQ(filters, (std::vector<std::string>{"first", "Rogue spear bitmap (*.rsb)|*.rsb",
                                               "Rogue spear bitmap (*.rsb)|*.rsb"}));
  EXPECT_TRUE(rsb->CanLoad());
  EXPECT_TRUE(rsb->CanSave());
}

TEST(RSBFormat, SavePacksTopRowFirst) {
  TMemoryDIB dib(2, 2);
  dib.SetPixelAt(0, 0, 0xF0C08040);  // top-left: a F0, r C0, g 80, b 40
  dib.SetPixelAt(1, 0, 0x00000000);
  dib.SetPixelAt(0, 1, 0xFFFFFFFF);  // bottom-left
  dib.SetPixelAt(1, 1, 0x12345678);
  struct Case {
    bool masked;
    Bytes header;
    std::uint16_t topLeft, bottomLeft, last;
  };
  const Case cases[] = {
      {true, U32s({1, 2, 2, 4, 4, 4, 4}), 0xFC84, 0xFFFF, 0x1357},
      {false, U32s({1, 2, 2, 5, 6, 5, 0}), (0xC0 >> 3) << 11 | (0x80 >> 2) << 5 | (0x40 >> 3), 0xFFFF,
       (0x34 >> 3) << 11 | (0x56 >> 2) << 5 | (0x78 >> 3)},
  };
  TDIBRSBFormat rsb;
  rsb.SetDIB(&dib);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.masked ? "masked" : "plain");
    dib.SetMasked(c.masked);
    framework::TMemoryStream out;
    rsb.SaveToStream(out);
    const Bytes& file = out.Bytes();
    ASSERT_EQ(file.size(), 28u + 8u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 28), c.header);
    EXPECT_EQ(PixelAtFile(file, 0), c.topLeft);
    EXPECT_EQ(PixelAtFile(file, 1), 0);
    EXPECT_EQ(PixelAtFile(file, 2), c.bottomLeft);
    EXPECT_EQ(PixelAtFile(file, 3), c.last);
  }
}

TEST(RSBFormat, LoadInvertsSaveAndReportsProgress) {
  TMemoryDIB source(5, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      source.SetPixelAt(x, y, 0x01000000u * (x * 50 + 3) + 0x10203u * (y * 40 + x * 11));
  for (bool masked : {true, false}) {
    SCOPED_TRACE(masked ? "masked" : "plain");
    source.SetMasked(masked);
    TDIBRSBFormat rsb;
    rsb.SetDIB(&source);
    framework::TMemoryStream file;
    rsb.SaveToStream(file);
    file.SetPosition(0);

    TMemoryDIB loaded;
    loaded.SetMasked(!masked);
    std::vector<int> progress;
    rsb.SetDIB(&loaded);
    rsb.SetOnProgress([&](TAbstractDIBFormat& sender, int percent) {
      EXPECT_EQ(&sender, &rsb);
      progress.push_back(percent);
    });
    rsb.LoadFromStream(file);
    EXPECT_EQ(progress, (std::vector<int>{33, 66, 100}));
    ASSERT_EQ(loaded.Width(), 5);
    ASSERT_EQ(loaded.Height(), 3);
    EXPECT_EQ(loaded.Masked(), masked);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        const std::uint32_t s = source.PixelAt(x, y), l = loaded.PixelAt(x, y);
        const unsigned sb = s & 0xFF, sg = (s >> 8) & 0xFF, sr = (s >> 16) & 0xFF, sa = s >> 24;
        const unsigned lb = l & 0xFF, lg = (l >> 8) & 0xFF, lr = (l >> 16) & 0xFF, la = l >> 24;
        if (masked) {
          EXPECT_EQ(lb, (sb >> 4) * 0x11);
          EXPECT_EQ(lg, (sg >> 4) * 0x11);
          EXPECT_EQ(lr, (sr >> 4) * 0x11);
          EXPECT_EQ(la, (sa >> 4) * 0x11);
        } else {
          EXPECT_EQ(lr, (sr >> 3) << 3 | (sr >> 5));
          EXPECT_EQ(lg, (sg >> 2) << 2 | (sg >> 6));
          EXPECT_EQ(lb, (sb >> 3) << 3 | (sb >> 5));
          EXPECT_EQ(la, 255u);
        }
      }
    }
  }
}

TEST(RSBFormat, BadFilesLeaveTheBufferUntouched) {
  struct Case {
    const char* what;
    Bytes file;
    std::string error;
  };
  const Bytes body2x2(8, 0x55);
  auto file = [&](std::initializer_list<std::uint32_t> header, const Bytes& body) {
    Bytes f = U32s(header);
    f.insert(f.end(), body.begin(), body.end());
    return f;
  };
  const Case cases[] = {
      {"version 2", file({2, 2, 2, 5, 6, 5, 0}, body2x2),
       "EDIBFormatError: Only RSB version 1 is supported."},
      {"version 0", file({0, 2, 2, 5, 6, 5, 0}, body2x2),
       "EDIBFormatError: Only RSB version 1 is supported."},
      {"truncated body", file({1, 2, 2, 5, 6, 5, 0}, Bytes(7, 0x55)), "EReadError: Stream read error"},
      {"huge size, no body", file({1, 60000, 60000, 5, 6, 5, 0}, {}),
       "EDIBFormatError: RSB picture is too large."},
      {"width past 16 bits", file({1, 65536, 1, 5, 6, 5, 0}, {}),
       "EDIBFormatError: RSB picture is too large."},
      {"bits past 16", file({1, 2, 2, 8, 8, 8, 8}, body2x2),
       "EDIBFormatError: Unsupported RSB pixel layout."},
      {"absurd bit count", file({1, 2, 2, 0xFFFFFFFF, 0, 0, 0}, body2x2),
       "EDIBFormatError: Unsupported RSB pixel layout."},
      {"truncated header", U32s({1, 2, 2}), "EReadError: Stream read error"},
      {"empty file", {}, "EReadError: Stream read error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryDIB dib(3, 3);
    std::memset(dib.Bits(), 0xAB, dib.ByteCount());
    int changes = 0;
    dib.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
    TDIBRSBFormat rsb;
    rsb.SetDIB(&dib);
    framework::TMemoryStream in(c.file);
    std::string error;
    try {
      rsb.LoadFromStream(in);
    } catch (const EDIBFormatError& e) {
      error = std::string("EDIBFormatError: ") + e.what();
    } catch (const framework::EReadError& e) {
      error = std::string("EReadError: ") + e.what();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 3);
    EXPECT_EQ(Bytes(dib.Bits(), dib.Bits() + dib.ByteCount()), Bytes(36, 0xAB));
    EXPECT_EQ(changes, 0);
  }
}

TEST(RSBFormat, ZeroSizeAndNoBuffer) {
  TMemoryDIB dib(3, 3);
  TDIBRSBFormat rsb;
  framework::TMemoryStream in(U32s({1, 0, 4, 5, 6, 5, 0}));
  EXPECT_THROW(rsb.LoadFromStream(in), EDIBFormatError);
  rsb.SetDIB(&dib);
  in.SetPosition(0);
  rsb.LoadFromStream(in);
  EXPECT_EQ(dib.Width(), 1);  // a zero side becomes 1
  EXPECT_EQ(dib.Height(), 4);
  EXPECT_EQ(Bytes(dib.Bits(), dib.Bits() + dib.ByteCount()), Bytes(16, 0));
}

}  // namespace
}  // namespace image
