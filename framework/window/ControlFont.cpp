// The font a control draws its text with.

#include <algorithm>
#include <cmath>

#include "framework/graphics/Region.h"
#include "framework/window/Application.h"
#include "framework/window/ControlGeometry.h"
#include "framework/window/Controls.h"
#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "framework/window/WindowInternal.h"
#include "framework/window/WindowRoot.h"

namespace framework {

using namespace detail;

const ClassInfo& TControlFont::StaticClassInfo() {
  static const IdentMap charsets{{{"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2}}};
  static const ClassInfo& info = ClassBuilder<TControlFont, TPersistent>("TFont")
                                     .Integer(
                                         "Charset", [](TControlFont& f) { return f.Charset(); },
                                         [](TControlFont& f, std::int32_t v) { f.SetCharset(v); })
                                     .Idents(charsets)
                                     .Default(1)
                                     .Integer(
                                         "Color", [](TControlFont& f) { return f.Color(); },
                                         [](TControlFont& f, std::int32_t v) { f.SetColor(v); })
                                     .Idents(ColorIdents())
                                     .Integer(
                                         "Height", [](TControlFont& f) { return f.Height(); },
                                         [](TControlFont& f, std::int32_t v) { f.SetHeight(v); })
                                     .String(
                                         "Name", [](TControlFont& f) { return f.Name(); },
                                         [](TControlFont& f, const std::string& v) { f.SetName(v); })
                                     .Integer(
                                         "Size", [](TControlFont& f) { return f.Size(); },
                                         [](TControlFont& f, std::int32_t v) { f.SetSize(v); })
                                     .Stored([](TControlFont&) { return false; })
                                     .Set(
                                         "Style", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"},
                                         [](TControlFont& f) { return f.Style(); },
                                         [](TControlFont& f, std::uint32_t v) { f.SetStyle(v); })
                                     .Default(SetNames{})
                                     .Build();
  return info;
}

void TControlFont::Changed() {
  if (OnChange) OnChange();
}

void TControlFont::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TControlFont::SetHeight(std::int32_t height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

std::int32_t TControlFont::Size() const {
  // Height counts pixels at 96 dpi; points are 1/72 inch.
  const long h = std::lround(std::abs(height_) * 72.0 / 96.0);
  return static_cast<std::int32_t>(std::max(1L, h));
}

void TControlFont::SetSize(std::int32_t points) {
  SetHeight(-static_cast<std::int32_t>(std::lround(std::abs(points) * 96.0 / 72.0)));
}

void TControlFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TControlFont::SetStyle(std::uint32_t style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TControlFont::SetCharset(std::int32_t charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

TFont TControlFont::Value() const {
  TFont f;
  f.Name = name_;
  f.Size = Size();
  f.Color = static_cast<TColor>(ColorToRGB(color_));
  const bool bold = (style_ & fsBold) != 0, italic = (style_ & fsItalic) != 0;
  f.Style = bold && italic ? TFontStyle::BoldItalic
            : bold         ? TFontStyle::Bold
            : italic       ? TFontStyle::Italic
                           : TFontStyle::Normal;
  return f;
}

void TControlFont::Assign(const TPersistent& source) {
  if (const auto* f = dynamic_cast<const TControlFont*>(&source)) {
    name_ = f->name_;
    height_ = f->height_;
    color_ = f->color_;
    style_ = f->style_;
    charset_ = f->charset_;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace framework
