#pragma once

// 32-bit picture buffers and their drawing.
//
// Pixels are 4 bytes each, blue, green, red, alpha (0xAARRGGBB read as a
// little-endian 32-bit value). Rows are stored bottom-up without padding:
// visual row y (0 = top) starts at byte (Height - 1 - y) * Width * 4.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/Persistent.h"
#include "framework/graphics/Types.h"

namespace framework {
class TStream;
class TCanvas;
class TRegion;
class TIndexedBitmap;
}  // namespace framework

namespace image {

class EDIBError : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

enum class TTransparentMode : std::uint8_t { tmAuto = 0, tmFixed = 1 };
inline constexpr TTransparentMode tmAuto = TTransparentMode::tmAuto;
inline constexpr TTransparentMode tmFixed = TTransparentMode::tmFixed;

// Colour of the windowing layer (0x00BBGGRR, system colours resolved) to pixel
// form (0x00RRGGBB, alpha 0) and back.
std::uint32_t ColorToPixel(framework::TColor color);
framework::TColor PixelToColor(std::uint32_t pixel);

// Adds or subtracts 360 until 0 <= angle < 360.
long double NormalizeAngle(long double angle);

struct TSize {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Size of a W x H picture turned by Angle (degrees, 0 <= Angle < 360) and
// scaled by ScaleX/ScaleY percent, each side rounded up and then made even.
TSize RotatedSize(std::int32_t width, std::int32_t height, long double angle, long double scaleX,
                  long double scaleY);

// The 16.16 rotation tables, indexed by thousandths of a degree (0..359999).
namespace trig {
inline constexpr int kEntries = 360000;
const std::int32_t* SinTable();        // Ceil(sin t * 65536)
const std::int32_t* CosTable();        // Ceil(cos t * 65536)
const std::int32_t* SinPlus90Table();  // Ceil(sin(t + pi/2) * 65536)
const std::int32_t* CosPlus90Table();  // Ceil(cos(t + pi/2) * 65536)
int Index(long double angle);          // Trunc(angle * 1000)
}  // namespace trig

// 3 x 3 convolution kernel for ApplyFilter, fields in their stored order.
struct TDIBFilterKernel {
  std::int32_t Reserved = 0;  // not read by filtering
  std::int16_t RedOffset = 0;
  std::int16_t GreenOffset = 0;
  std::int16_t BlueOffset = 0;
  std::uint8_t Opacity = 255;
  std::int32_t Divisor = 0;
  std::int16_t Weights[3][3] = {};  // top row first, each row left to right
};

class TDIBPalette;

// Tag for the constructors that make a buffer aliasing another one's pixels.
struct TShareTag {};
inline constexpr TShareTag kShare{};

class TAbstractSuperDIB : public framework::TPersistent {
  PLONK_PERSISTENT_CLASS

 public:
  // The per-row transfer routine: called on RoutineOwner, whose Opacity and
  // stored TransparentColor it reads. Visits `columns` pixels left to right,
  // then steps both pointers back by the stride (Columns + buffer width) * 4,
  // which lands on the next visual row down.
  using TRowRoutine = void (TAbstractSuperDIB::*)(const std::uint8_t* src, std::uint8_t* dst,
                                                  std::int32_t columns, std::int32_t rows,
                                                  std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  using TChangeEvent = std::function<void(TAbstractSuperDIB& sender)>;

  TAbstractSuperDIB(const TAbstractSuperDIB&) = delete;
  TAbstractSuperDIB& operator=(const TAbstractSuperDIB&) = delete;
  ~TAbstractSuperDIB() override;

  // --- pixels -------------------------------------------------------------
  std::uint16_t Width() const { return width_; }
  std::uint16_t Height() const { return height_; }
  // Bottom-up BGRA bytes, Width * Height * 4 of them, or null. The writable
  // accessors (Bits, Pixels, ScanLine of a non-const buffer) first give a
  // buffer that shares read-only pixels a copy of its own (MakeWritable).
  std::uint8_t* Bits() {
    if (readOnly_) MakeWritable();
    return pixels_;
  }
  const std::uint8_t* Bits() const { return pixels_; }
  std::uint32_t* Pixels() { return reinterpret_cast<std::uint32_t*>(Bits()); }
  const std::uint32_t* Pixels() const { return reinterpret_cast<const std::uint32_t*>(pixels_); }
  std::size_t ByteCount() const { return std::size_t{width_} * height_ * 4; }
  // Address of visual row y (0 = top).
  std::uint8_t* ScanLine(std::int32_t y);
  const std::uint8_t* ScanLine(std::int32_t y) const;
  // Pixel at visual (x, y), 0xAARRGGBB.
  std::uint32_t PixelAt(std::int32_t x, std::int32_t y) const;
  void SetPixelAt(std::int32_t x, std::int32_t y, std::uint32_t pixel);

  bool OwnsPixels() const { return ownsPixels_; }
  bool HasData() const;
  // Nothing when both are unchanged; 0 becomes 1; new pixels start zero-filled
  // (callers must not rely on that for memory buffers). Does not fire OnChange.
  virtual void SetSize(std::uint16_t width, std::uint16_t height);
  virtual void SetWidth(std::uint16_t width);
  virtual void SetHeight(std::uint16_t height);
  void CopyPixelsFrom(const TAbstractSuperDIB& source);
  // Frees own pixels and aliases Source's, copying its settings and size. An
  // alias of read-only pixels is read-only too.
  virtual void ShareWith(TAbstractSuperDIB& source);
  // Frees own pixels and aliases width x height pixels that must never be
  // written (a picture decoded once and shared, which outlives this buffer):
  // the buffer reads them in place and takes a copy of its own before any
  // write. Keeps the settings; does not fire OnChange.
  void ShareReadOnly(const std::uint8_t* pixels, std::uint16_t width, std::uint16_t height);
  bool SharesReadOnly() const { return readOnly_; }
  // Gives a buffer that shares read-only pixels pixels of its own: a copy of
  // them, or, with keep false, pixels the caller overwrites at once. Nothing
  // for any other buffer.
  void MakeWritable(bool keep = true);

  // --- settings -----------------------------------------------------------
  long double Angle() const { return angle_; }
  virtual void SetAngle(long double angle);
  bool AutoSize() const { return autoSize_; }
  virtual void SetAutoSize(bool value);
  bool Masked() const { return masked_; }
  virtual void SetMasked(bool value);
  std::uint8_t Opacity() const { return opacity_; }
  virtual void SetOpacity(std::uint8_t value);
  long double Scale() const { return scaleX_; }
  virtual void SetScale(long double value);
  long double ScaleX() const { return scaleX_; }
  virtual void SetScaleX(long double value);
  long double ScaleY() const { return scaleY_; }
  virtual void SetScaleY(long double value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  // tmFixed: the stored colour; tmAuto: the bottom-left pixel's colour (the
  // stored colour when there are no pixels). 0x00BBGGRR either way.
  framework::TColor TransparentColor() const;
  void SetTransparentColor(framework::TColor color);
  // The key as stored, in pixel form 0x00RRGGBB.
  std::uint32_t StoredTransparentColor() const { return transparentColor_; }
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode mode);
  // Every pixel's alpha := value, then Changed.
  void SetAlpha(std::uint8_t value);
  virtual void ResetDefaults();

  const framework::TRect& ClipRect() const { return clipRect_; }
  void SetClipRect(const framework::TRect& rect);
  void SetClipRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    SetClipRect(framework::TRect{left, top, right, bottom});
  }

  TRowRoutine RowRoutine() const { return rowRoutine_; }
  TAbstractSuperDIB* RoutineOwner() const { return routineOwner_; }
  void SetRowRoutine(TRowRoutine routine, TAbstractSuperDIB* owner) {
    rowRoutine_ = routine;
    routineOwner_ = owner;
  }

  // --- notification -------------------------------------------------------
  const TChangeEvent& OnChange() const { return onChange_; }
  void SetOnChange(TChangeEvent handler) { onChange_ = std::move(handler); }
  std::int32_t UpdateCount() const { return updateCount_; }
  virtual void Changed();
  void BeginUpdate();
  void EndUpdate();
  virtual void SelectRowRoutine();

  // --- row routines -------------------------------------------------------
  virtual void AlphaToGreyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                               std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  virtual void CopyAlphaRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                             std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  virtual void CopyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns, std::int32_t rows,
                        std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  virtual void BlendRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns, std::int32_t rows,
                         std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  virtual void MaskRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns, std::int32_t rows,
                        std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  virtual void MaskBlendRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                             std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  virtual void KeyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns, std::int32_t rows,
                       std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);
  virtual void KeyBlendRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                            std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride);

  // --- copying ------------------------------------------------------------
  // Copies the drawing settings (and the size when dest owns no pixels);
  // does not notify dest. Any other kind of object raises EDIBError.
  virtual void CopyPropertiesTo(framework::TPersistent& dest) const;
  // Assign(source) of a buffer: a copy of the source's pixels and settings,
  // then Changed (through the source's AssignTo).
  using framework::TPersistent::Assign;
  void AssignTo(framework::TPersistent& dest) const override;

  // --- drawing ------------------------------------------------------------
  virtual void Draw(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                    TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY);
  virtual void DrawCopy(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                        TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY);
  virtual void DrawAlpha(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                         TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY);
  virtual void DrawMask(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                        TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY);
  // Fills all of dest with this picture turned by Angle and scaled about both centres.
  virtual void DrawRotated(TAbstractSuperDIB& dest);
  // Fills all of this buffer with source resampled by nearest neighbour.
  void StretchFrom(const TAbstractSuperDIB& source);
  virtual void Fill(framework::TColor color);
  // Clipped to the picture, not to ClipRect; does not fire OnChange.
  virtual void FillRect(framework::TColor color, std::int32_t x, std::int32_t y, std::int32_t width,
                        std::int32_t height);

  // --- strips, regions, filters (image/DIBGlyphs.cpp) ---------------------
  void DrawGlyph(std::int32_t x, std::int32_t y, std::int32_t index, std::int32_t count,
                 TAbstractSuperDIB& dest);
  void DrawBlendedGlyph(std::int32_t x, std::int32_t y, std::int32_t count, TAbstractSuperDIB& dest,
                        long double min, long double max, long double value, bool wrap);
  // Region of the pixels whose alpha exceeds threshold; null when there are none.
  std::unique_ptr<framework::TRegion> AlphaRegion(std::uint8_t threshold) const;
  // Region of the pixels whose colour differs from color; null when there are none.
  std::unique_ptr<framework::TRegion> ColorRegion(framework::TColor color) const;
  virtual void ApplyFilter(const TDIBFilterKernel& kernel);
  virtual void Render8Bit(framework::TIndexedBitmap& dc, std::int32_t x, std::int32_t y,
                          const TDIBPalette& palette, std::int32_t srcX, std::int32_t srcY,
                          std::int32_t width, std::int32_t height);
  virtual void ImportPicture(const std::string& fileName);
  virtual void ImportMask(const std::string& fileName);

  // --- stored form --------------------------------------------------------
  // The `Data` value: the picture stream of the stored form (DIBDataStream).
  // `length` is the byte count of the value that starts at the stream position.
  virtual void ReadData(framework::TStream& stream, std::size_t length);
  virtual void WriteData(framework::TStream& stream);
  // The form writer saves `Data` only when this is true.
  virtual bool ShouldWriteData() const { return pixels_ != nullptr; }
  // The class descriptions (StaticClassInfo) are where the published and
  // defined properties get listed for form streaming; they go through the
  // getters and setters above and ReadData/WriteData.

 protected:
  TAbstractSuperDIB();

  virtual void AllocatePixels() = 0;
  virtual void FreePixels() = 0;

  // For the families' pixel management.
  void SetPixelsPointer(std::uint8_t* pixels) { pixels_ = pixels; }
  // Frees the pixels if this buffer owns them; families call it from their destructors.
  void ReleasePixels();

 private:
  void DrawWithRoutine(TRowRoutine routine, std::int32_t x, std::int32_t y, std::int32_t width,
                       std::int32_t height, TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY);
  void DrawTransformed(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                       TAbstractSuperDIB& dest);
  void DrawDirect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  TAbstractSuperDIB& dest, std::int32_t srcX, std::int32_t srcY);
  template <class Inside>
  std::unique_ptr<framework::TRegion> BuildRegion(Inside inside) const;

  long double angle_ = 0;
  bool autoSize_ = false;
  framework::TRect clipRect_{};
  std::uint16_t height_ = 0;
  bool masked_ = false;
  std::uint8_t opacity_ = 255;
  bool ownsPixels_ = true;
  long double scaleX_ = 100;
  long double scaleY_ = 100;
  bool transparent_ = false;
  std::uint32_t transparentColor_ = 0;
  TTransparentMode transparentMode_ = tmAuto;
  std::int32_t updateCount_ = 0;
  std::uint16_t width_ = 0;
  TChangeEvent onChange_;
  TRowRoutine rowRoutine_;
  TAbstractSuperDIB* routineOwner_;
  std::uint8_t* pixels_ = nullptr;
  std::size_t sharedBytes_ = 0;  // bytes an alias may address
  bool readOnly_ = false;        // pixels_ is someone else's and must not be written
};

// Buffers in plain heap memory: every stored image and most scratch buffers.
class TCustomMemoryDIB : public TAbstractSuperDIB {
  PLONK_PERSISTENT_CLASS

 public:
  TCustomMemoryDIB();
  TCustomMemoryDIB(std::uint16_t width, std::uint16_t height);
  // An alias of source's pixels (owns none).
  TCustomMemoryDIB(TShareTag, TAbstractSuperDIB& source);
  ~TCustomMemoryDIB() override;

  const std::string& ImageFilename() const { return imageFilename_; }
  void SetImageFilename(std::string name) { imageFilename_ = std::move(name); }
  const std::string& MaskFilename() const { return maskFilename_; }
  void SetMaskFilename(std::string name) { maskFilename_ = std::move(name); }
  bool StoreData() const { return storeData_; }
  void SetStoreData(bool value) { storeData_ = value; }

  void AssignTo(framework::TPersistent& dest) const override;
  // An empty value reads as nothing; with StoreData clear nothing is written.
  void ReadData(framework::TStream& stream, std::size_t length) override;
  void WriteData(framework::TStream& stream) override;
  void ImportPicture(const std::string& fileName) override;
  void ImportMask(const std::string& fileName) override;

 protected:
  void AllocatePixels() override;
  void FreePixels() override;

 private:
  std::string imageFilename_;
  std::string maskFilename_;
  bool storeData_ = true;
  std::size_t allocatedBytes_ = 0;  // of the pixels this buffer owns
};

class TMemoryDIB : public TCustomMemoryDIB {
  PLONK_PERSISTENT_CLASS

 public:
  using TCustomMemoryDIB::TCustomMemoryDIB;
};

// Buffers with a drawing canvas (text and vector drawing onto the pixels).
// New pixels start zero-filled.
class TCustomWinDIB : public TAbstractSuperDIB {
  PLONK_PERSISTENT_CLASS

 public:
  TCustomWinDIB();
  TCustomWinDIB(std::uint16_t width, std::uint16_t height);
  TCustomWinDIB(TShareTag, TAbstractSuperDIB& source);
  ~TCustomWinDIB() override;

  // The canvas over this buffer's pixels; its change event calls Changed.
  framework::TCanvas& Canvas();
  // Stand-in for the device context: the canvas's identity.
  std::uintptr_t Handle() const { return reinterpret_cast<std::uintptr_t>(canvas_.get()); }

 protected:
  void AllocatePixels() override;
  void FreePixels() override;

 private:
  std::unique_ptr<framework::TCanvas> canvas_;
  const std::uint8_t* canvasBits_ = nullptr;
  std::size_t allocatedBytes_ = 0;  // of the pixels this buffer owns
};

class TWinDIB : public TCustomWinDIB {
  PLONK_PERSISTENT_CLASS

 public:
  using TCustomWinDIB::TCustomWinDIB;
};

}  // namespace image
