#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/core/Exception.h"
#include "framework/graphics/Types.h"

namespace framework {

// Failure of the drawing layer to create a surface or bitmap.
class EGraphicsError : public Exception {
 public:
  using Exception::Exception;
};

enum class TFontStyle : std::uint8_t { Normal = 0, Bold = 1, Italic = 2, BoldItalic = 3 };

struct TFont {
  std::string Name = "Sans";
  std::int32_t Size = 8;  // points at 96 dpi
  TColor Color = clBlack;
  TFontStyle Style = TFontStyle::Normal;
};

// Text and vector drawing onto 32-bit pixels (blue, green, red, alpha) laid
// out bottom-up without row padding, as the image buffers hold them.
// Coordinates are visual: (0, 0) is the top-left pixel. Drawing treats the
// pixels as opaque colours and writes alpha 255 where it paints.
//
// The drawing library is the platform's: Cairo (CanvasCairo.cpp) on Linux,
// GDI (CanvasGdi.cpp) on Windows. Both paint each operation into a layer of
// their own and put it over the pixels by its coverage, so the results differ
// only where the libraries rasterise differently (text).
class TCanvas {
 public:
  TCanvas(std::uint8_t* bits, std::int32_t width, std::int32_t height);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }

  TFont Font;
  TColor PenColor = clBlack;
  std::int32_t PenWidth = 1;
  TColor BrushColor = clWhite;
  bool BrushClear = false;  // when set, shapes are outlined only

  std::function<void()> OnChange;

  void FillRect(const TRect& rect);   // Right/Bottom exclusive, brush colour
  void Rectangle(const TRect& rect);  // brush fill + pen outline
  void Ellipse(const TRect& rect);
  void MoveTo(std::int32_t x, std::int32_t y);
  void LineTo(std::int32_t x, std::int32_t y);
  void TextOut(std::int32_t x, std::int32_t y, const std::string& text);
  std::int32_t TextWidth(const std::string& text);
  std::int32_t TextHeight(const std::string& text);
  // Copies a bottom-up 32-bit picture into rect by nearest-neighbour
  // stretching, all four bytes of each pixel as they are.
  void StretchDraw(const TRect& rect, const std::uint8_t* srcBits, std::int32_t srcWidth,
                   std::int32_t srcHeight);

 private:
  // The drawing library's state and the layer each operation paints into,
  // made by the first operation.
  struct TLayer;
  TLayer& Begin();
  void End();

  std::uint8_t* bits_;
  std::int32_t width_;
  std::int32_t height_;
  TLayer* layer_ = nullptr;
  double penX_ = 0;
  double penY_ = 0;
};

}  // namespace framework
