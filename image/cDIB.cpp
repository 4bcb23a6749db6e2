#include "image/cDIB.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#if defined(__unix__)
#include <sys/mman.h>
#endif

#include "framework/core/Stream.h"
#include "framework/graphics/Canvas.h"
#include "image/DIBDataStream.h"

namespace image {

namespace {
// Largest scratch picture a scaled or turned draw makes (64 Mpixel).
constexpr long double kMaxScratchPixels = 67108864.0L;
}  // namespace

// --- colours and angles -----------------------------------------------------

std::uint32_t ColorToPixel(framework::TColor color) {
  const std::uint32_t rgb = framework::ColorToRGB(color);
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

framework::TColor PixelToColor(std::uint32_t pixel) {
  return static_cast<framework::TColor>(((pixel & 0xFF) << 16) | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF));
}

long double NormalizeAngle(long double angle) {
  // Values that are not numbers, or so large that stepping by 360 would not
  // finish (or not change them), carry no usable direction.
  if (!std::isfinite(angle)) return 0;
  if (std::fabs(angle) > 360.0L * 4096) {
    angle = std::fmod(angle, 360.0L);
  }
  while (angle < 0) angle += 360;
  while (angle >= 360) angle -= 360;
  return angle;
}

TSize RotatedSize(std::int32_t width, std::int32_t height, long double angle, long double scaleX,
                  long double scaleY) {
  assert(angle >= 0 && angle < 360);
  const long double r = -angle * (3.141592653589793238462643383279502884L / 180.0L);
  const long double w = width * scaleX / 100.0L;
  const long double h = height * scaleY / 100.0L;
  const long double c = std::cos(r), s = std::sin(r);
  auto even = [](long double v) {
    if (!std::isfinite(v)) return std::int32_t{0};
    v = std::clamp(v, -2147483647.0L, 2147483647.0L);
    const auto n = static_cast<std::int64_t>(std::ceil(v));
    return static_cast<std::int32_t>(n - n % 2);
  };
  return {even(std::fabs(w * c) + std::fabs(h * s)), even(std::fabs(w * s) + std::fabs(h * c))};
}

// --- class descriptions -------------------------------------------------------

namespace {

// A stored side or opacity outside what the buffer can hold is a bad form.
std::int32_t StoredRange(const char* name, std::int32_t v, std::int32_t lo, std::int32_t hi) {
  if (v < lo || v > hi) throw framework::EPropertyError(std::string("Invalid value for ") + name);
  return v;
}

}  // namespace

// The properties a stored form holds under "DIB." (published, then the
// defined picture stream `Data`; memory buffers add their file names).
const framework::ClassInfo& TAbstractSuperDIB::StaticClassInfo() {
  using C = TAbstractSuperDIB;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<C, framework::TPersistent>("TAbstractSuperDIB")
          .Extended(
              "Angle", [](C& d) { return d.Angle(); }, [](C& d, long double v) { d.SetAngle(v); })
          .Default(framework::Value(0.0L))
          .Boolean(
              "AutoSize", [](C& d) { return d.AutoSize(); }, [](C& d, bool v) { d.SetAutoSize(v); })
          .Integer(
              "Height", [](C& d) { return d.Height(); },
              [](C& d, std::int32_t v) {
                d.SetHeight(static_cast<std::uint16_t>(StoredRange("Height", v, 0, 65535)));
              })
          .Boolean(
              "Masked", [](C& d) { return d.Masked(); }, [](C& d, bool v) { d.SetMasked(v); })
          .Integer(
              "Opacity", [](C& d) { return d.Opacity(); },
              [](C& d, std::int32_t v) {
                d.SetOpacity(static_cast<std::uint8_t>(StoredRange("Opacity", v, 0, 255)));
              })
          .Extended(
              "Scale", [](C& d) { return d.Scale(); }, [](C& d, long double v) { d.SetScale(v); })
          .Boolean(
              "Transparent", [](C& d) { return d.Transparent(); }, [](C& d, bool v) { d.SetTransparent(v); })
          // Saved as read, so a picture in automatic mode comes back keyed by
          // the colour it showed; stored forms may name the colour.
          .Integer(
              "TransparentColor", [](C& d) { return d.TransparentColor(); },
              [](C& d, std::int32_t v) { d.SetTransparentColor(v); })
          .Idents(framework::DrawableColorIdents())
          .Enum(
              "TransparentMode", {"tmAuto", "tmFixed"},
              [](C& d) { return static_cast<int>(d.TransparentMode()); },
              [](C& d, int v) { d.SetTransparentMode(static_cast<TTransparentMode>(v)); })
          .Integer(
              "Width", [](C& d) { return d.Width(); },
              [](C& d, std::int32_t v) {
                d.SetWidth(static_cast<std::uint16_t>(StoredRange("Width", v, 0, 65535)));
              })
          .Binary(
              "Data",
              [](C& d, framework::TStream& s) {
                d.ReadData(s, static_cast<std::size_t>(s.Size() - s.Position()));
              },
              [](C& d, framework::TStream& s) { d.WriteData(s); })
          .Stored([](C& d) { return d.ShouldWriteData(); })
          .Build();
  return info;
}
const framework::ClassInfo& TCustomMemoryDIB::StaticClassInfo() {
  using C = TCustomMemoryDIB;
  static const framework::ClassInfo& info = framework::ClassBuilder<C, TAbstractSuperDIB>("TCustomMemoryDIB")
                                                .String(
                                                    "ImageFilename", [](C& d) { return d.ImageFilename(); },
                                                    [](C& d, const std::string& v) { d.SetImageFilename(v); })
                                                .Defined()
                                                .Default("")
                                                .String(
                                                    "MaskFilename", [](C& d) { return d.MaskFilename(); },
                                                    [](C& d, const std::string& v) { d.SetMaskFilename(v); })
                                                .Defined()
                                                .Default("")
                                                .Build();
  return info;
}
const framework::ClassInfo& TMemoryDIB::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TMemoryDIB, TCustomMemoryDIB>("TMemoryDIB").Build();
  return info;
}
const framework::ClassInfo& TCustomWinDIB::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TCustomWinDIB, TAbstractSuperDIB>("TCustomWinDIB").Build();
  return info;
}
const framework::ClassInfo& TWinDIB::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TWinDIB, TCustomWinDIB>("TWinDIB").Build();
  return info;
}

// --- construction -------------------------------------------------------------

TAbstractSuperDIB::TAbstractSuperDIB() : rowRoutine_(&TAbstractSuperDIB::CopyRows), routineOwner_(this) {
  TAbstractSuperDIB::ResetDefaults();
}

TAbstractSuperDIB::~TAbstractSuperDIB() = default;

void TAbstractSuperDIB::ResetDefaults() {
  angle_ = 0;
  masked_ = false;
  opacity_ = 255;
  scaleX_ = 100;
  scaleY_ = 100;
  transparent_ = false;
}

void TAbstractSuperDIB::ReleasePixels() {
  if (ownsPixels_ && pixels_ != nullptr) FreePixels();
  pixels_ = nullptr;
}

std::uint8_t* TAbstractSuperDIB::ScanLine(std::int32_t y) {
  return Bits() + static_cast<std::ptrdiff_t>(height_ - 1 - y) * width_ * 4;
}

const std::uint8_t* TAbstractSuperDIB::ScanLine(std::int32_t y) const {
  return pixels_ + static_cast<std::ptrdiff_t>(height_ - 1 - y) * width_ * 4;
}

std::uint32_t TAbstractSuperDIB::PixelAt(std::int32_t x, std::int32_t y) const {
  std::uint32_t p;
  std::memcpy(&p, ScanLine(y) + static_cast<std::ptrdiff_t>(x) * 4, 4);
  return p;
}

void TAbstractSuperDIB::SetPixelAt(std::int32_t x, std::int32_t y, std::uint32_t pixel) {
  std::memcpy(ScanLine(y) + static_cast<std::ptrdiff_t>(x) * 4, &pixel, 4);
}

bool TAbstractSuperDIB::HasData() const {
  return pixels_ != nullptr || !ownsPixels_;
}

void TAbstractSuperDIB::SetSize(std::uint16_t width, std::uint16_t height) {
  if (width == width_ && height == height_) return;
  if (ownsPixels_ && pixels_ != nullptr) {
    FreePixels();
    pixels_ = nullptr;
  }
  width_ = width == 0 ? 1 : width;
  height_ = height == 0 ? 1 : height;
  if (!ownsPixels_ && ByteCount() > sharedBytes_) {
    // An alias cannot grow past the pixels it shares: it takes pixels of its
    // own rather than reach beyond the other buffer's memory.
    ownsPixels_ = true;
    readOnly_ = false;
    pixels_ = nullptr;
  }
  if (ownsPixels_) AllocatePixels();
  clipRect_ = {0, 0, width_ - 1, height_ - 1};
}

void TAbstractSuperDIB::SetWidth(std::uint16_t width) {
  SetSize(width, height_);
}
void TAbstractSuperDIB::SetHeight(std::uint16_t height) {
  SetSize(width_, height);
}

void TAbstractSuperDIB::CopyPixelsFrom(const TAbstractSuperDIB& source) {
  SetSize(source.width_, source.height_);
  MakeWritable(false);
  if (source.width_ != 0 && source.height_ != 0 && source.pixels_ != nullptr && pixels_ != nullptr &&
      ByteCount() == source.ByteCount())
    std::memmove(pixels_, source.pixels_, ByteCount());
  Changed();
}

void TAbstractSuperDIB::ShareWith(TAbstractSuperDIB& source) {
  if (&source == this) return;
  if (ownsPixels_ && pixels_ != nullptr) FreePixels();
  pixels_ = nullptr;
  ownsPixels_ = false;
  source.CopyPropertiesTo(*this);
  pixels_ = source.pixels_;
  sharedBytes_ = source.pixels_ != nullptr ? source.ByteCount() : 0;
  readOnly_ = source.readOnly_;
}

void TAbstractSuperDIB::ShareReadOnly(const std::uint8_t* pixels, std::uint16_t width, std::uint16_t height) {
  if (ownsPixels_ && pixels_ != nullptr) FreePixels();
  ownsPixels_ = false;
  // Only ever read through this pointer: every writer goes through Bits(),
  // which takes a copy first.
  pixels_ = const_cast<std::uint8_t*>(pixels);
  width_ = width;
  height_ = height;
  sharedBytes_ = pixels != nullptr ? ByteCount() : 0;
  readOnly_ = pixels != nullptr;
  clipRect_ = {0, 0, width_ - 1, height_ - 1};
}

void TAbstractSuperDIB::MakeWritable(bool keep) {
  if (!readOnly_) return;
  const std::uint8_t* shared = pixels_;
  readOnly_ = false;
  ownsPixels_ = true;
  sharedBytes_ = 0;
  pixels_ = nullptr;
  AllocatePixels();
  if (keep && shared != nullptr && pixels_ != nullptr) std::memcpy(pixels_, shared, ByteCount());
}

// --- settings -----------------------------------------------------------------

void TAbstractSuperDIB::SetAngle(long double angle) {
  angle = NormalizeAngle(angle);
  if (angle != angle_) {
    angle_ = angle;
    Changed();
  }
}

void TAbstractSuperDIB::SetAutoSize(bool value) {
  if (value != autoSize_) {
    autoSize_ = value;
    Changed();
  }
}

void TAbstractSuperDIB::SetMasked(bool value) {
  if (value != masked_) {
    masked_ = value;
    if (value) transparent_ = false;
    Changed();
  }
}

void TAbstractSuperDIB::SetTransparent(bool value) {
  if (value != transparent_) {
    transparent_ = value;
    if (value) masked_ = false;
    Changed();
  }
}

void TAbstractSuperDIB::SetOpacity(std::uint8_t value) {
  if (value != opacity_) {
    opacity_ = value;
    Changed();
  }
}

void TAbstractSuperDIB::SetScale(long double value) {
  if (value != scaleX_ || value != scaleY_) {
    scaleX_ = value;
    scaleY_ = value;
    Changed();
  }
}

void TAbstractSuperDIB::SetScaleX(long double value) {
  if (value != scaleX_) {
    scaleX_ = value;
    Changed();
  }
}

void TAbstractSuperDIB::SetScaleY(long double value) {
  if (value != scaleY_) {
    scaleY_ = value;
    Changed();
  }
}

framework::TColor TAbstractSuperDIB::TransparentColor() const {
  if (transparentMode_ == tmAuto && pixels_ != nullptr) return PixelToColor(Pixels()[0]);
  return PixelToColor(transparentColor_);
}

void TAbstractSuperDIB::SetTransparentColor(framework::TColor color) {
  if (color != PixelToColor(transparentColor_)) {
    transparentColor_ = ColorToPixel(color);
    Changed();
  }
}

void TAbstractSuperDIB::SetTransparentMode(TTransparentMode mode) {
  if (mode != transparentMode_) {
    transparentMode_ = mode;
    Changed();
  }
}

void TAbstractSuperDIB::SetAlpha(std::uint8_t value) {
  MakeWritable();
  if (pixels_ != nullptr) {
    const std::size_t n = std::size_t{width_} * height_;
    for (std::size_t i = 0; i < n; ++i) pixels_[i * 4 + 3] = value;
  }
  Changed();
}

void TAbstractSuperDIB::SetClipRect(const framework::TRect& rect) {
  clipRect_ = rect;
  if (clipRect_.Left > clipRect_.Right) std::swap(clipRect_.Left, clipRect_.Right);
  if (clipRect_.Top > clipRect_.Bottom) std::swap(clipRect_.Top, clipRect_.Bottom);
  if (clipRect_.Right > width_ - 1) clipRect_.Right = width_ - 1;
  if (clipRect_.Left < 0) clipRect_.Left = 0;
  if (clipRect_.Bottom > height_ - 1) clipRect_.Bottom = height_ - 1;
  if (clipRect_.Top < 0) clipRect_.Top = 0;
}

// --- notification -------------------------------------------------------------

void TAbstractSuperDIB::Changed() {
  SelectRowRoutine();
  if (updateCount_ == 0 && onChange_) onChange_(*this);
}

void TAbstractSuperDIB::BeginUpdate() {
  ++updateCount_;
}

void TAbstractSuperDIB::EndUpdate() {
  if (updateCount_ == 0) throw EDIBError("EndUpdate without BeginUpdate");
  if (--updateCount_ == 0) Changed();
}

void TAbstractSuperDIB::SelectRowRoutine() {
  routineOwner_ = this;
  if (opacity_ == 255) {
    if (masked_)
      rowRoutine_ = &TAbstractSuperDIB::MaskRows;
    else if (transparent_)
      rowRoutine_ = &TAbstractSuperDIB::KeyRows;
    else
      rowRoutine_ = &TAbstractSuperDIB::CopyRows;
  } else {
    if (masked_)
      rowRoutine_ = &TAbstractSuperDIB::MaskBlendRows;
    else if (transparent_)
      rowRoutine_ = &TAbstractSuperDIB::KeyBlendRows;
    else
      rowRoutine_ = &TAbstractSuperDIB::BlendRows;
  }
}

// --- copying ------------------------------------------------------------------

void TAbstractSuperDIB::CopyPropertiesTo(framework::TPersistent& target) const {
  auto* buffer = dynamic_cast<TAbstractSuperDIB*>(&target);
  if (buffer == nullptr) throw EDIBError("Cannot assign a TAbstractDIB to a " + target.ClassName());
  TAbstractSuperDIB& dest = *buffer;
  dest.angle_ = angle_;
  dest.autoSize_ = autoSize_;
  dest.masked_ = masked_;
  dest.opacity_ = opacity_;
  dest.scaleX_ = scaleX_;
  dest.scaleY_ = scaleY_;
  dest.transparent_ = transparent_;
  dest.transparentColor_ = transparentColor_;
  dest.transparentMode_ = transparentMode_;
  dest.rowRoutine_ = rowRoutine_;
  dest.routineOwner_ = routineOwner_;
  if (!dest.ownsPixels_) {
    dest.width_ = width_;
    dest.height_ = height_;
  }
}

void TAbstractSuperDIB::AssignTo(framework::TPersistent& target) const {
  auto* dest = dynamic_cast<TAbstractSuperDIB*>(&target);
  if (dest == nullptr) return framework::TPersistent::AssignTo(target);
  if (dest == this) return;
  dest->CopyPixelsFrom(*this);
  CopyPropertiesTo(*dest);
  dest->Changed();
}

// --- drawing ------------------------------------------------------------------

namespace {

// Restores the drawing settings a temporary draw changed, also on failure.
struct TRoutineGuard {
  TAbstractSuperDIB& dib;
  TAbstractSuperDIB::TRowRoutine routine;
  TAbstractSuperDIB* owner;
  explicit TRoutineGuard(TAbstractSuperDIB& d) : dib(d), routine(d.RowRoutine()), owner(d.RoutineOwner()) {}
  ~TRoutineGuard() { dib.SetRowRoutine(routine, owner); }
};

}  // namespace

void TAbstractSuperDIB::Draw(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                             TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY) {
  if (angle_ != 0 || scaleX_ != 100 || scaleY_ != 100)
    DrawTransformed(x, y, width, height, dest);
  else
    DrawDirect(x, y, width, height, dest, srcX, srcY);
}

void TAbstractSuperDIB::DrawCopy(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                 TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY) {
  TRoutineGuard guard(*this);
  struct TTransformGuard {
    TAbstractSuperDIB& dib;
    long double angle, sx, sy;
    ~TTransformGuard() {
      dib.angle_ = angle;
      dib.scaleX_ = sx;
      dib.scaleY_ = sy;
    }
  } transform{*this, angle_, scaleX_, scaleY_};
  rowRoutine_ = &TAbstractSuperDIB::CopyRows;
  routineOwner_ = this;
  angle_ = 0;
  scaleX_ = 100;
  scaleY_ = 100;
  Draw(x, y, width, height, dest, srcX, srcY);
}

void TAbstractSuperDIB::DrawWithRoutine(TRowRoutine routine, std::int32_t x, std::int32_t y,
                                        std::int32_t width, std::int32_t height, TAbstractSuperDIB& dest,
                                        std::uint16_t srcX, std::uint16_t srcY) {
  TRoutineGuard guard(*this);
  rowRoutine_ = routine;
  Draw(x, y, width, height, dest, srcX, srcY);
}

void TAbstractSuperDIB::DrawAlpha(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                  TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY) {
  DrawWithRoutine(&TAbstractSuperDIB::CopyAlphaRows, x, y, width, height, dest, srcX, srcY);
}

void TAbstractSuperDIB::DrawMask(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                 TAbstractSuperDIB& dest, std::uint16_t srcX, std::uint16_t srcY) {
  DrawWithRoutine(&TAbstractSuperDIB::AlphaToGreyRows, x, y, width, height, dest, srcX, srcY);
}

void TAbstractSuperDIB::DrawTransformed(std::int32_t x, std::int32_t y, std::int32_t width,
                                        std::int32_t height, TAbstractSuperDIB& dest) {
  long double tw = width, th = height;
  if (autoSize_) {
    if (angle_ != 0) {
      const TSize s = RotatedSize(width, height, angle_, scaleX_, scaleY_);
      tw = s.Width;
      th = s.Height;
    } else {
      tw = std::ceil(width * scaleX_ / 100.0L);
      th = std::ceil(height * scaleY_ / 100.0L);
    }
  }
  // An empty (or nonsensical) target draws nothing rather than wrapping into
  // a huge scratch picture; so does one too large to hold (a scale run away),
  // which would otherwise ask for gigabytes in the middle of a paint.
  if (!(tw >= 1) || !(th >= 1)) return;
  tw = std::min(tw, 65535.0L);
  th = std::min(th, 65535.0L);
  if (tw * th > kMaxScratchPixels) return;

  TWinDIB t(static_cast<std::uint16_t>(tw), static_cast<std::uint16_t>(th));
  t.masked_ = masked_;
  t.opacity_ = opacity_;
  t.transparent_ = transparent_;
  t.transparentMode_ = tmFixed;
  t.transparentColor_ = ColorToPixel(TransparentColor());
  if (angle_ == 0)
    t.StretchFrom(*this);
  else
    DrawRotated(t);
  t.rowRoutine_ = rowRoutine_;
  t.routineOwner_ = routineOwner_;
  t.Draw(x, y, t.width_, t.height_, dest, 0, 0);
}

void TAbstractSuperDIB::DrawDirect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                   TAbstractSuperDIB& dest, std::int32_t srcX, std::int32_t srcY) {
  if (pixels_ == nullptr || dest.pixels_ == nullptr) return;
  std::int64_t X = x, Y = y, W = width, H = height, SX = srcX, SY = srcY;
  const framework::TRect& clip = dest.clipRect_;
  if (X < clip.Left) {
    W -= clip.Left - X;
    SX += clip.Left - X;
    X = clip.Left;
  }
  if (Y < clip.Top) {
    H -= clip.Top - Y;
    SY += clip.Top - Y;
    Y = clip.Top;
  }
  if (X + W - 1 > clip.Right) W = clip.Right - X + 1;
  if (Y + H - 1 > clip.Bottom) H = clip.Bottom - Y + 1;
  if (SX + W > width_) W = width_ - SX;
  if (SY + H > height_) H = height_ - SY;
  if (H <= 0 || W <= 0 || X > dest.width_ || Y > dest.height_) return;
  if (X + W > dest.width_) W = dest.width_ - X;
  if (Y + H > dest.height_) H = dest.height_ - Y;
  if (W < 1 || H < 1) return;

  // The source is only read: a shared picture stays shared.
  const std::uint8_t* src = std::as_const(*this).ScanLine(static_cast<std::int32_t>(SY)) + SX * 4;
  std::uint8_t* dst = dest.ScanLine(static_cast<std::int32_t>(Y)) + X * 4;
  (routineOwner_->*rowRoutine_)(src, dst, static_cast<std::int32_t>(W), static_cast<std::int32_t>(H),
                                (W + width_) * 4, (W + dest.width_) * 4);
  dest.Changed();
}

void TAbstractSuperDIB::DrawRotated(TAbstractSuperDIB& dest) {
  if (pixels_ == nullptr || dest.pixels_ == nullptr) return;
  const std::uint32_t background = masked_ ? 0 : transparentColor_;
  const long double fx = scaleX_ / 100.0L, fy = scaleY_ / 100.0L;
  const std::int64_t sW = width_, sH = height_;
  if (sW * fx == 0 || sH * fy == 0) return;
  const int k = trig::Index(angle_);
  auto step = [](long double v) -> std::int64_t {
    if (!std::isfinite(v)) return 0;
    v = std::clamp(v, -9.0e15L, 9.0e15L);
    return std::llrint(v);  // nearest, halves to even
  };
  const std::int64_t ux = step(trig::CosTable()[k] / fx);
  const std::int64_t vx = step(trig::SinTable()[k] / fy);
  const std::int64_t uy = step(trig::CosPlus90Table()[k] / fx);
  const std::int64_t vy = step(trig::SinPlus90Table()[k] / fy);
  const std::int64_t dW = dest.width_, dH = dest.height_;
  std::int64_t rowU = -ux * (dW / 2) - uy * (dH / 2);
  std::int64_t rowV = -vx * (dW / 2) - vy * (dH / 2);
  const std::int64_t hw = sW / 2, hh = sH / 2;
  const std::uint32_t* src = std::as_const(*this).Pixels();
  std::uint32_t* out = dest.Pixels();
  for (std::int64_t j = 0; j < dH; ++j) {
    std::int64_t u = rowU, v = rowV;
    std::uint32_t* row = out + j * dW;
    for (std::int64_t i = 0; i < dW; ++i) {
      const std::int64_t si = u >> 16, sj = v >> 16;
      row[i] = (-hw < si && si < hw && -hh < sj && sj < hh) ? src[(hh + sj) * sW + hw + si] : background;
      u += ux;
      v += vx;
    }
    rowU += uy;
    rowV += vy;
  }
  dest.Changed();
}

void TAbstractSuperDIB::StretchFrom(const TAbstractSuperDIB& source) {
  if (pixels_ != nullptr && source.pixels_ != nullptr) {
    const std::uint64_t sW = source.width_, sH = source.height_, dW = width_, dH = height_;
    const std::uint64_t rx = (sW << 16) / dW, ry = (sH << 16) / dH;
    std::vector<std::uint32_t> columns(dW);
    for (std::uint64_t x = 0; x < dW; ++x) columns[x] = static_cast<std::uint32_t>((x * rx) >> 16);
    const std::uint32_t* src = source.Pixels();
    std::uint32_t* dst = Pixels();
    for (std::uint64_t j = 0; j < dH; ++j) {
      const std::uint32_t* srow = src + ((j * ry) >> 16) * sW;
      std::uint32_t* drow = dst + j * dW;
      for (std::uint64_t x = 0; x < dW; ++x) drow[x] = srow[columns[x]];
    }
  }
  Changed();
}

void TAbstractSuperDIB::Fill(framework::TColor color) {
  if (pixels_ != nullptr) {
    const std::uint32_t p = ColorToPixel(color);
    std::fill_n(Pixels(), std::size_t{width_} * height_, p);
  }
  Changed();
}

void TAbstractSuperDIB::FillRect(framework::TColor color, std::int32_t x, std::int32_t y, std::int32_t width,
                                 std::int32_t height) {
  if (width <= 0 || height <= 0 || pixels_ == nullptr) return;
  const std::int64_t x0 = std::max<std::int64_t>(x, 0), y0 = std::max<std::int64_t>(y, 0);
  const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{x} + width, width_);
  const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{y} + height, height_);
  if (x0 >= x1 || y0 >= y1) return;
  const std::uint32_t p = ColorToPixel(color);
  for (std::int64_t row = y0; row < y1; ++row)
    std::fill(Pixels() + (height_ - 1 - row) * width_ + x0, Pixels() + (height_ - 1 - row) * width_ + x1, p);
}

// --- stored form --------------------------------------------------------------

void TAbstractSuperDIB::ReadData(framework::TStream& stream, std::size_t length) {
  ReadDIBData(*this, stream, length);
}

void TAbstractSuperDIB::WriteData(framework::TStream& stream) {
  WriteDIBData(*this, stream);
}

// --- memory buffers -----------------------------------------------------------

TCustomMemoryDIB::TCustomMemoryDIB() = default;

TCustomMemoryDIB::TCustomMemoryDIB(std::uint16_t width, std::uint16_t height) {
  SetSize(width, height);
  SetClipRect(0, 0, width, height);
}

TCustomMemoryDIB::TCustomMemoryDIB(TShareTag, TAbstractSuperDIB& source) {
  ShareWith(source);
}

TCustomMemoryDIB::~TCustomMemoryDIB() {
  ReleasePixels();
}

namespace {

// Large blocks come straight from the system as zero pages, which cost
// nothing until touched: a stored picture's buffer is sized (by its Width
// and Height) before its pixels arrive, and a picture that is then shared
// never touches its own. Sanitizer builds keep the heap, which they watch.
#if defined(__unix__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
constexpr std::size_t kMappedBytes = std::size_t{1} << 16;
#else
constexpr std::size_t kMappedBytes = std::numeric_limits<std::size_t>::max();
#endif

std::uint8_t* AllocateZeroed(std::size_t bytes) {
#if defined(__unix__)
  if (bytes >= kMappedBytes) {
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    return static_cast<std::uint8_t*>(block);
  }
#endif
  return new std::uint8_t[bytes]();
}

void FreeZeroed(std::uint8_t* block, [[maybe_unused]] std::size_t bytes) {
#if defined(__unix__)
  if (bytes >= kMappedBytes) {
    munmap(block, bytes);
    return;
  }
#endif
  delete[] block;
}

}  // namespace

// Zero-filled, so that a fresh picture reads the same on every run.
void TCustomMemoryDIB::AllocatePixels() {
  allocatedBytes_ = ByteCount();
  SetPixelsPointer(AllocateZeroed(allocatedBytes_));
}

void TCustomMemoryDIB::FreePixels() {
  FreeZeroed(Bits(), allocatedBytes_);
  SetPixelsPointer(nullptr);
  allocatedBytes_ = 0;
}

void TCustomMemoryDIB::AssignTo(framework::TPersistent& dest) const {
  TAbstractSuperDIB::AssignTo(dest);
  if (auto* memory = dynamic_cast<TCustomMemoryDIB*>(&dest); memory != nullptr && memory != this) {
    memory->imageFilename_ = imageFilename_;
    memory->maskFilename_ = maskFilename_;
  }
}

void TCustomMemoryDIB::ReadData(framework::TStream& stream, std::size_t length) {
  if (length == 0) return;
  TAbstractSuperDIB::ReadData(stream, length);
}

void TCustomMemoryDIB::WriteData(framework::TStream& stream) {
  if (!storeData_) return;
  TAbstractSuperDIB::WriteData(stream);
}

// --- window buffers -----------------------------------------------------------

TCustomWinDIB::TCustomWinDIB() = default;

TCustomWinDIB::TCustomWinDIB(std::uint16_t width, std::uint16_t height) {
  SetSize(width, height);
  SetClipRect(0, 0, width, height);
}

TCustomWinDIB::TCustomWinDIB(TShareTag, TAbstractSuperDIB& source) {
  ShareWith(source);
}

TCustomWinDIB::~TCustomWinDIB() {
  canvas_.reset();
  ReleasePixels();
}

// A window buffer is as large as its window (a container taller than the
// window that shows it, too), while a paint touches what shows: zero pages
// cost nothing until then.
void TCustomWinDIB::AllocatePixels() {
  canvas_.reset();
  allocatedBytes_ = ByteCount();
  SetPixelsPointer(AllocateZeroed(allocatedBytes_));
}

void TCustomWinDIB::FreePixels() {
  canvas_.reset();
  FreeZeroed(Bits(), allocatedBytes_);
  SetPixelsPointer(nullptr);
  allocatedBytes_ = 0;
}

framework::TCanvas& TCustomWinDIB::Canvas() {
  // The canvas follows the pixels: a new size or a shared picture rebinds it.
  if (!canvas_ || canvasBits_ != Bits() || canvas_->Width() != Width() || canvas_->Height() != Height()) {
    canvas_ = std::make_unique<framework::TCanvas>(Bits(), Width(), Height());
    canvas_->OnChange = [this] { Changed(); };
    canvasBits_ = Bits();
  }
  return *canvas_;
}

}  // namespace image
