#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "framework/core/Wide.h"
#include "framework/graphics/Canvas.h"

// Windows' headers come after ours: TextOut is a macro there.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX  // libstdc++ may have defined it
#endif
#include <windows.h>
#undef TextOut

// The canvas through GDI, with the fonts the forms name. Each operation is
// drawn twice into layers of the canvas's size that start black: once in its
// colours (GDI's grey anti-aliasing over black leaves the colour multiplied by
// the coverage) and once all in white (the coverage itself). The layers are
// then put over the pixels exactly as the Cairo canvas puts its layer, so the
// two differ only where the libraries rasterise differently.

namespace framework {

namespace {

COLORREF GdiColor(TColor color) {
  return static_cast<COLORREF>(ColorToRGB(color) & 0xFFFFFF);
}

constexpr COLORREF kWhite = RGB(255, 255, 255);

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  for (const wchar_t* c = buffer; c != nullptr && *c != 0 && *c != L'\r' && *c != L'\n'; ++c)
    text += *c < 0x80 ? static_cast<char>(*c) : '?';
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

}  // namespace

struct TCanvas::TLayer {
  HDC dc = nullptr;
  HGDIOBJ firstBitmap = nullptr, firstFont = nullptr;
  // Top-down 32-bit sections: the colour pass and the coverage pass.
  HBITMAP colour = nullptr, coverage = nullptr;
  std::uint32_t* colourBits = nullptr;
  std::uint32_t* coverageBits = nullptr;
  HFONT font = nullptr;
  TFont fontMadeFor;
  std::size_t pixels = 0;

  ~TLayer() {
    if (dc != nullptr) {
      if (firstBitmap != nullptr) SelectObject(dc, firstBitmap);
      if (firstFont != nullptr) SelectObject(dc, firstFont);
      DeleteDC(dc);
    }
    if (colour != nullptr) DeleteObject(colour);
    if (coverage != nullptr) DeleteObject(coverage);
    if (font != nullptr) DeleteObject(font);
  }

  // The canvas's font selected into the device context.
  void UseFont(const TFont& wanted) {
    const bool same = font != nullptr && wanted.Name == fontMadeFor.Name && wanted.Size == fontMadeFor.Size &&
                      wanted.Style == fontMadeFor.Style;
    if (!same) {
      const bool bold = wanted.Style == TFontStyle::Bold || wanted.Style == TFontStyle::BoldItalic;
      const bool italic = wanted.Style == TFontStyle::Italic || wanted.Style == TFontStyle::BoldItalic;
      LOGFONTW lf{};
      // Points at 96 dots per inch; a negative height is the em size, as
      // Cairo's font size is.
      lf.lfHeight = -static_cast<LONG>(std::lround(wanted.Size * 96.0 / 72.0));
      lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
      lf.lfItalic = italic ? TRUE : FALSE;
      lf.lfCharSet = DEFAULT_CHARSET;
      lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
      lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
      // Grey levels only: the coverage pass must see the same edges in every
      // channel, as Cairo's grey anti-aliasing gives them.
      lf.lfQuality = ANTIALIASED_QUALITY;
      lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
      const std::wstring name = Wide(wanted.Name);
      std::wcsncpy(lf.lfFaceName, name.c_str(), LF_FACESIZE - 1);
      HFONT made = CreateFontIndirectW(&lf);
      if (made == nullptr)
        throw EGraphicsError("Windows error (" + std::to_string(GetLastError()) + ") cannot make the font");
      HGDIOBJ previous = SelectObject(dc, made);
      if (firstFont == nullptr) firstFont = previous;
      if (font != nullptr) DeleteObject(font);
      font = made;
      fontMadeFor = wanted;
    }
  }

  // Runs draw once for each pass with the target selected; draw(true) is the
  // coverage pass and must paint in white.
  template <typename Draw>
  void Passes(Draw draw) {
    std::memset(colourBits, 0, pixels * 4);
    std::memset(coverageBits, 0, pixels * 4);
    for (const bool coveragePass : {false, true}) {
      const HGDIOBJ previous = SelectObject(dc, coveragePass ? coverage : colour);
      if (firstBitmap == nullptr) firstBitmap = previous;
      draw(coveragePass);
    }
    GdiFlush();
  }
};

TCanvas::~TCanvas() {
  delete layer_;
}

TCanvas::TLayer& TCanvas::Begin() {
  if (bits_ == nullptr || width_ <= 0 || height_ <= 0) throw EGraphicsError("Canvas does not allow drawing");
  if (layer_ != nullptr) return *layer_;
  auto layer = std::make_unique<TLayer>();
  layer->pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  layer->dc = CreateCompatibleDC(nullptr);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top-down, as Cairo's layer
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* colourBits = nullptr;
  void* coverageBits = nullptr;
  if (layer->dc != nullptr) {
    layer->colour = CreateDIBSection(layer->dc, &info, DIB_RGB_COLORS, &colourBits, nullptr, 0);
    layer->coverage = CreateDIBSection(layer->dc, &info, DIB_RGB_COLORS, &coverageBits, nullptr, 0);
  }
  if (layer->dc == nullptr || layer->colour == nullptr || layer->coverage == nullptr) {
    const DWORD code = GetLastError();
    throw EGraphicsError("Windows error (" + std::to_string(code) + ") " + ErrorText(code));
  }
  layer->colourBits = static_cast<std::uint32_t*>(colourBits);
  layer->coverageBits = static_cast<std::uint32_t*>(coverageBits);
  SetBkMode(layer->dc, TRANSPARENT);
  SetTextAlign(layer->dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  layer_ = layer.release();
  return *layer_;
}

void TCanvas::End() {
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint32_t* colour = layer_->colourBits + static_cast<std::ptrdiff_t>(y) * width_;
    const std::uint32_t* coverage = layer_->coverageBits + static_cast<std::ptrdiff_t>(y) * width_;
    std::uint8_t* d = bits_ + static_cast<std::ptrdiff_t>(height_ - 1 - y) * width_ * 4;
    for (std::int32_t x = 0; x < width_; ++x, d += 4) {
      const std::uint32_t a = (coverage[x] >> 8) & 0xFF;  // green: grey edges are equal in every channel
      if (a == 0) continue;
      const std::uint32_t p = colour[x];
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t s = std::min<std::uint32_t>((p >> (8 * c)) & 0xFF, a);
        d[c] = static_cast<std::uint8_t>(s + (d[c] * (255 - a) + 127) / 255);
      }
      d[3] = 255;
    }
  }
  if (OnChange) OnChange();
}

namespace {

// A pen or brush selected for the lifetime of the object; a null colour
// selects the stock null pen or brush.
class TSelected {
 public:
  TSelected(HDC dc, HGDIOBJ object, bool owned) : dc_(dc), object_(object), owned_(owned) {
    previous_ = SelectObject(dc, object);
  }
  ~TSelected() {
    SelectObject(dc_, previous_);
    if (owned_) DeleteObject(object_);
  }
  TSelected(const TSelected&) = delete;
  TSelected& operator=(const TSelected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_, previous_ = nullptr;
  bool owned_;
};

TSelected Pen(HDC dc, bool visible, COLORREF colour, std::int32_t width) {
  if (!visible) return TSelected(dc, GetStockObject(NULL_PEN), false);
  // Inside the frame, as Cairo's outlines are drawn half a pen inside.
  return TSelected(dc, CreatePen(PS_INSIDEFRAME, std::max(1, width), colour), true);
}

TSelected Brush(HDC dc, bool visible, COLORREF colour) {
  if (!visible) return TSelected(dc, GetStockObject(NULL_BRUSH), false);
  return TSelected(dc, CreateSolidBrush(colour), true);
}

}  // namespace

void TCanvas::FillRect(const TRect& rect) {
  TLayer& layer = Begin();
  layer.Passes([&](bool coverage) {
    HBRUSH brush = CreateSolidBrush(coverage ? kWhite : GdiColor(BrushColor));
    const RECT r{rect.Left, rect.Top, rect.Right, rect.Bottom};
    ::FillRect(layer.dc, &r, brush);
    DeleteObject(brush);
  });
  End();
}

void TCanvas::Rectangle(const TRect& rect) {
  TLayer& layer = Begin();
  layer.Passes([&](bool coverage) {
    const auto pen = Pen(layer.dc, true, coverage ? kWhite : GdiColor(PenColor), PenWidth);
    const auto brush = Brush(layer.dc, !BrushClear, coverage ? kWhite : GdiColor(BrushColor));
    ::Rectangle(layer.dc, rect.Left, rect.Top, rect.Right, rect.Bottom);
  });
  End();
}

void TCanvas::Ellipse(const TRect& rect) {
  TLayer& layer = Begin();
  if (rect.Right > rect.Left && rect.Bottom > rect.Top) {
    layer.Passes([&](bool coverage) {
      const auto pen = Pen(layer.dc, true, coverage ? kWhite : GdiColor(PenColor), PenWidth);
      const auto brush = Brush(layer.dc, !BrushClear, coverage ? kWhite : GdiColor(BrushColor));
      ::Ellipse(layer.dc, rect.Left, rect.Top, rect.Right, rect.Bottom);
    });
  }
  End();
}

void TCanvas::LineTo(std::int32_t x, std::int32_t y) {
  TLayer& layer = Begin();
  const int x0 = static_cast<int>(penX_), y0 = static_cast<int>(penY_);
  layer.Passes([&](bool coverage) {
    HPEN pen = CreatePen(PS_SOLID, std::max(1, PenWidth), coverage ? kWhite : GdiColor(PenColor));
    const HGDIOBJ previous = SelectObject(layer.dc, pen);
    MoveToEx(layer.dc, x0, y0, nullptr);
    ::LineTo(layer.dc, x, y);
    SelectObject(layer.dc, previous);
    DeleteObject(pen);
  });
  penX_ = x;
  penY_ = y;
  End();
}

void TCanvas::TextOut(std::int32_t x, std::int32_t y, const std::string& text) {
  TLayer& layer = Begin();
  layer.UseFont(Font);
  const std::wstring wide = Wide(text);
  SIZE extent{};
  GetTextExtentPoint32W(layer.dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
  TEXTMETRICW metrics{};
  GetTextMetricsW(layer.dc, &metrics);
  layer.Passes([&](bool coverage) {
    if (!BrushClear) {
      HBRUSH brush = CreateSolidBrush(coverage ? kWhite : GdiColor(BrushColor));
      const RECT cell{x, y, x + extent.cx, y + metrics.tmHeight};
      ::FillRect(layer.dc, &cell, brush);
      DeleteObject(brush);
    }
    SetTextColor(layer.dc, coverage ? kWhite : GdiColor(Font.Color));
    // (x, y) is the top-left of the text cell, as the windowing layer places text.
    ::TextOutW(layer.dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
  });
  End();
}

std::int32_t TCanvas::TextWidth(const std::string& text) {
  TLayer& layer = Begin();
  layer.UseFont(Font);
  const std::wstring wide = Wide(text);
  SIZE extent{};
  GetTextExtentPoint32W(layer.dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
  return extent.cx;
}

std::int32_t TCanvas::TextHeight(const std::string&) {
  TLayer& layer = Begin();
  layer.UseFont(Font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(layer.dc, &metrics);
  return metrics.tmHeight;
}

}  // namespace framework
