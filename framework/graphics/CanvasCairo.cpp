#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "framework/graphics/Canvas.h"

namespace framework {

namespace {

void SetSourceColor(cairo_t* cr, TColor color) {
  const std::uint32_t rgb = ColorToRGB(color);
  cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, ((rgb >> 16) & 0xFF) / 255.0);
}

}  // namespace

struct TCanvas::TLayer {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  ~TLayer() {
    if (cr != nullptr) cairo_destroy(cr);
    if (surface != nullptr) cairo_surface_destroy(surface);
  }
};

TCanvas::~TCanvas() {
  delete layer_;
}

// Each operation paints into a transparent layer of the canvas's size, which
// is then put over the pixels with its coverage: the pixels are treated as
// opaque colours whatever their alpha byte, and every pixel that was painted
// ends with alpha 255. Cairo's rows are top-down; the composition turns them
// onto the bottom-up storage.
TCanvas::TLayer& TCanvas::Begin() {
  if (bits_ == nullptr || width_ <= 0 || height_ <= 0) throw EGraphicsError("Canvas does not allow drawing");
  if (layer_ == nullptr) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
    const auto status = cairo_surface_status(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface);
      throw EGraphicsError("Windows error (" + std::to_string(static_cast<int>(status)) + ") " +
                           cairo_status_to_string(status));
    }
    layer_ = new TLayer{surface, cairo_create(surface)};
    cairo_t* cr = layer_->cr;
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
  }
  cairo_t* cr = layer_->cr;
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_restore(cr);
  return *layer_;
}

void TCanvas::End() {
  cairo_surface_flush(layer_->surface);
  const unsigned char* layer = cairo_image_surface_get_data(layer_->surface);
  const int layerStride = cairo_image_surface_get_stride(layer_->surface);
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
  cairo_t* cr = Begin().cr;
  SetSourceColor(cr, BrushColor);
  cairo_rectangle(cr, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
  cairo_fill(cr);
  End();
}

void TCanvas::Rectangle(const TRect& rect) {
  cairo_t* cr = Begin().cr;
  const double w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  if (!BrushClear) {
    SetSourceColor(cr, BrushColor);
    cairo_rectangle(cr, rect.Left, rect.Top, w, h);
    cairo_fill(cr);
  }
  SetSourceColor(cr, PenColor);
  cairo_set_line_width(cr, PenWidth);
  cairo_rectangle(cr, rect.Left + PenWidth / 2.0, rect.Top + PenWidth / 2.0, w - PenWidth, h - PenWidth);
  cairo_stroke(cr);
  End();
}

void TCanvas::Ellipse(const TRect& rect) {
  cairo_t* cr = Begin().cr;
  const double w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  if (w > 0 && h > 0) {
    cairo_save(cr);
    cairo_translate(cr, rect.Left + w / 2, rect.Top + h / 2);
    cairo_scale(cr, w / 2, h / 2);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    if (!BrushClear) {
      SetSourceColor(cr, BrushColor);
      cairo_fill_preserve(cr);
    }
    SetSourceColor(cr, PenColor);
    cairo_set_line_width(cr, PenWidth);
    cairo_stroke(cr);
  }
  End();
}

void TCanvas::LineTo(std::int32_t x, std::int32_t y) {
  cairo_t* cr = Begin().cr;
  SetSourceColor(cr, PenColor);
  cairo_set_line_width(cr, PenWidth);
  // Pixel centres, so a 1-pixel line covers exactly one pixel row or column.
  cairo_move_to(cr, penX_ + 0.5, penY_ + 0.5);
  cairo_line_to(cr, x + 0.5, y + 0.5);
  cairo_stroke(cr);
  penX_ = x;
  penY_ = y;
  End();
}

namespace {

void SelectFont(cairo_t* cr, const TFont& font) {
  const bool bold = font.Style == TFontStyle::Bold || font.Style == TFontStyle::BoldItalic;
  const bool italic = font.Style == TFontStyle::Italic || font.Style == TFontStyle::BoldItalic;
  cairo_select_font_face(cr, font.Name.c_str(), italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  // Points at 96 dots per inch.
  cairo_set_font_size(cr, font.Size * 96.0 / 72.0);
}

}  // namespace

void TCanvas::TextOut(std::int32_t x, std::int32_t y, const std::string& text) {
  cairo_t* cr = Begin().cr;
  SelectFont(cr, Font);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  cairo_text_extents_t te;
  cairo_text_extents(cr, text.c_str(), &te);
  if (!BrushClear) {
    SetSourceColor(cr, BrushColor);
    cairo_rectangle(cr, x, y, std::ceil(te.x_advance), std::ceil(fe.height));
    cairo_fill(cr);
  }
  SetSourceColor(cr, Font.Color);
  // (x, y) is the top-left of the text cell, as the windowing layer places text.
  cairo_move_to(cr, x, y + fe.ascent);
  cairo_show_text(cr, text.c_str());
  End();
}

std::int32_t TCanvas::TextWidth(const std::string& text) {
  cairo_t* cr = Begin().cr;
  SelectFont(cr, Font);
  cairo_text_extents_t te;
  cairo_text_extents(cr, text.c_str(), &te);
  return static_cast<std::int32_t>(std::ceil(te.x_advance));
}

std::int32_t TCanvas::TextHeight(const std::string&) {
  cairo_t* cr = Begin().cr;
  SelectFont(cr, Font);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  return static_cast<std::int32_t>(std::ceil(fe.height));
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
