#include "framework/graphics/Canvas.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace framework {

namespace {

void SetSourceColor(cairo_t* cr, TColor color) {
  const std::uint32_t rgb = ColorToRGB(color);
  cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       ((rgb >> 16) & 0xFF) / 255.0);
}

}  // namespace

TCanvas::TCanvas(std::uint8_t* bits, std::int32_t width, std::int32_t height)
    : bits_(bits), width_(width), height_(height) {}

TCanvas::~TCanvas() {
  if (cr_ != nullptr) cairo_destroy(cr_);
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
}

// Each operation paints into a transparent layer of the canvas's size, which
// is then put over the pixels with its coverage: the pixels are treated as
// opaque colours whatever their alpha byte, and every pixel that was painted
// ends with alpha 255. Cairo's rows are top-down; the composition turns them
// onto the bottom-up storage.
void TCanvas::Begin() {
  if (bits_ == nullptr || width_ <= 0 || height_ <= 0)
    throw EGraphicsError("Canvas does not allow drawing");
  if (cr_ == nullptr) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
    const auto status = cairo_surface_status(surface_);
    if (status != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface_);
      surface_ = nullptr;
      throw EGraphicsError("Windows error (" + std::to_string(static_cast<int>(status)) + ") " +
                           cairo_status_to_string(status));
    }
    cr_ = cairo_create(surface_);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
  }
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void TCanvas::End() {
  cairo_surface_flush(surface_);
  const unsigned char* layer = cairo_image_surface_get_data(surface_);
  const int layerStride = cairo_image_surface_get_stride(surface_);
  for (std::int32_t y = 0; y < height_; ++y) {
    const auto* l = reinterpret_cast<const std::uint32_t*>(layer + y * layerStride);
    std::uint8_t* d = bits_ + static_cast<std::ptrdiff_t>(height_ - 1 - y) * width_ * 4;
    for (std::int32_t x = 0; x < width_; ++x, d += 4) {
      const std::uint32_t p = l[x];  // premultiplied 0xAARRGGBB
      const std::uint32_t a = p >> 24;
      if (a == 0) continue;
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t s = (p >> (8 * c)) & 0xFF;
        d[c] = static_cast<std::uint8_t>(s + (d[c] * (255 - a) + 127) / 255);
      }
      d[3] = 255;
    }
  }
  if (OnChange) OnChange();
}

void TCanvas::FillRect(const TRect& rect) {
  Begin();
  SetSourceColor(cr_, BrushColor);
  cairo_rectangle(cr_, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
  cairo_fill(cr_);
  End();
}

void TCanvas::Rectangle(const TRect& rect) {
  Begin();
  const double w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  if (!BrushClear) {
    SetSourceColor(cr_, BrushColor);
    cairo_rectangle(cr_, rect.Left, rect.Top, w, h);
    cairo_fill(cr_);
  }
  SetSourceColor(cr_, PenColor);
  cairo_set_line_width(cr_, PenWidth);
  cairo_rectangle(cr_, rect.Left + PenWidth / 2.0, rect.Top + PenWidth / 2.0, w - PenWidth,
                  h - PenWidth);
  cairo_stroke(cr_);
  End();
}

void TCanvas::Ellipse(const TRect& rect) {
  Begin();
  const double w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  if (w > 0 && h > 0) {
    cairo_save(cr_);
    cairo_translate(cr_, rect.Left + w / 2, rect.Top + h / 2);
    cairo_scale(cr_, w / 2, h / 2);
    cairo_arc(cr_, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr_);
    if (!BrushClear) {
      SetSourceColor(cr_, BrushColor);
      cairo_fill_preserve(cr_);
    }
    SetSourceColor(cr_, PenColor);
    cairo_set_line_width(cr_, PenWidth);
    cairo_stroke(cr_);
  }
  End();
}

void TCanvas::MoveTo(std::int32_t x, std::int32_t y) {
  penX_ = x;
  penY_ = y;
}

void TCanvas::LineTo(std::int32_t x, std::int32_t y) {
  Begin();
  SetSourceColor(cr_, PenColor);
  cairo_set_line_width(cr_, PenWidth);
  // Pixel centres, so a 1-pixel line covers exactly one pixel row or column.
  cairo_move_to(cr_, penX_ + 0.5, penY_ + 0.5);
  cairo_line_to(cr_, x + 0.5, y + 0.5);
  cairo_stroke(cr_);
  penX_ = x;
  penY_ = y;
  End();
}

void TCanvas::SelectFont() {
  const bool bold = Font.Style == TFontStyle::Bold || Font.Style == TFontStyle::BoldItalic;
  const bool italic = Font.Style == TFontStyle::Italic || Font.Style == TFontStyle::BoldItalic;
  cairo_select_font_face(cr_, Font.Name.c_str(),
                         italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  // Points at 96 dots per inch.
  cairo_set_font_size(cr_, Font.Size * 96.0 / 72.0);
}

void TCanvas::TextOut(std::int32_t x, std::int32_t y, const std::string& text) {
  Begin();
  SelectFont();
  cairo_font_extents_t fe;
  cairo_font_extents(cr_, &fe);
  cairo_text_extents_t te;
  cairo_text_extents(cr_, text.c_str(), &te);
  if (!BrushClear) {
    SetSourceColor(cr_, BrushColor);
    cairo_rectangle(cr_, x, y, std::ceil(te.x_advance), std::ceil(fe.height));
    cairo_fill(cr_);
  }
  SetSourceColor(cr_, Font.Color);
  // (x, y) is the top-left of the text cell, as the windowing layer places text.
  cairo_move_to(cr_, x, y + fe.ascent);
  cairo_show_text(cr_, text.c_str());
  End();
}

std::int32_t TCanvas::TextWidth(const std::string& text) {
  Begin();
  SelectFont();
  cairo_text_extents_t te;
  cairo_text_extents(cr_, text.c_str(), &te);
  return static_cast<std::int32_t>(std::ceil(te.x_advance));
}

std::int32_t TCanvas::TextHeight(const std::string&) {
  Begin();
  SelectFont();
  cairo_font_extents_t fe;
  cairo_font_extents(cr_, &fe);
  return static_cast<std::int32_t>(std::ceil(fe.height));
}

void TCanvas::StretchDraw(const TRect& rect, const std::uint8_t* srcBits, std::int32_t srcWidth,
                          std::int32_t srcHeight) {
  const std::int64_t w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  if (w <= 0 || h <= 0 || srcWidth <= 0 || srcHeight <= 0 || srcBits == nullptr ||
      bits_ == nullptr)
    return;
  const std::int32_t x0 = std::max(rect.Left, 0), x1 = std::min<std::int64_t>(rect.Right, width_);
  const std::int32_t y0 = std::max(rect.Top, 0), y1 = std::min<std::int64_t>(rect.Bottom, height_);
  const auto* src = reinterpret_cast<const std::uint32_t*>(srcBits);
  auto* dst = reinterpret_cast<std::uint32_t*>(bits_);
  for (std::int32_t y = y0; y < y1; ++y) {
    const std::int64_t sy = (y - rect.Top) * std::int64_t{srcHeight} / h;
    const std::uint32_t* srow = src + (srcHeight - 1 - sy) * std::int64_t{srcWidth};
    std::uint32_t* drow = dst + (height_ - 1 - y) * std::int64_t{width_};
    for (std::int32_t x = x0; x < x1; ++x) drow[x] = srow[(x - rect.Left) * std::int64_t{srcWidth} / w];
  }
  if (OnChange) OnChange();
}

}  // namespace framework

// Fontconfig keeps its configuration caches for the life of the process; in
// sanitizer builds they must not count as leaks of whoever drew text.
#if defined(__SANITIZE_ADDRESS__)
#define PLONK_LSAN_HOOK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLONK_LSAN_HOOK 1
#endif
#endif
#ifdef PLONK_LSAN_HOOK
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif
