#include "framework/graphics/Types.h"

#include "framework/core/Persistent.h"

namespace framework {

namespace {
// A fixed classic scheme: there is no desktop theme to ask.
constexpr std::uint32_t kSystemColors[31] = {
    0xC8D0D4, 0x984E00, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF9933, 0xC8D0D4,
};
}  // namespace

std::uint32_t ColorToRGB(TColor color) {
  const auto value = static_cast<std::uint32_t>(color);
  if ((value & 0x80000000u) != 0) {
    const std::uint32_t index = value & 0xFF;
    return index < 31 ? kSystemColors[index] : 0;
  }
  return value & 0x00FFFFFFu;
}

const IdentMap& DrawableColorIdents() {
  static const IdentMap map{{
      {"clBlack", clBlack},     {"clMaroon", clMaroon},
      {"clGreen", clGreen},     {"clOlive", clOlive},
      {"clNavy", clNavy},       {"clPurple", clPurple},
      {"clTeal", clTeal},       {"clGray", clGray},
      {"clSilver", clSilver},   {"clRed", clRed},
      {"clLime", clLime},       {"clYellow", clYellow},
      {"clBlue", clBlue},       {"clFuchsia", clFuchsia},
      {"clAqua", clAqua},       {"clWhite", clWhite},
      {"clWindow", clWindow},   {"clWindowText", clWindowText},
      {"clBtnFace", clBtnFace}, {"clBtnShadow", clBtnShadow},
      {"clBtnText", clBtnText}, {"clBtnHighlight", clBtnHighlight},
  }};
  return map;
}

const IdentMap& ColorIdents() {
  static const IdentMap map = [] {
    IdentMap all = DrawableColorIdents();
    all.entries.emplace_back("clNone", clNone);
    all.entries.emplace_back("clDefault", clDefault);
    return all;
  }();
  return map;
}

}  // namespace framework
