#include "skin/cDIBImage.h"

#include <cmath>

namespace skin {

namespace {

// Scale and angle must be finite: a NaN or infinite value would make every
// size computation undefined.
long double Finite(const char* name, long double v) {
  if (!std::isfinite(v)) throw framework::EPropertyError(std::string(name) + " must be a finite number");
  return v;
}

}  // namespace

const framework::ClassInfo& TCustomDIBImage::StaticClassInfo() {
  using C = TCustomDIBImage;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<C, TCustomDIBControl>("TCustomDIBImage")
          .Extended(
              "Angle", [](C& c) { return c.Angle(); },
              [](C& c, long double v) { c.SetAngle(Finite("Angle", v)); })
          .Default(framework::Value(0.0L))
          .Boolean(
              "AutoSize", [](C& c) { return c.AutoSize(); }, [](C& c, bool v) { c.SetAutoSize(v); })
          .Default(false)
          .Boolean(
              "Center", [](C& c) { return c.Center(); }, [](C& c, bool v) { c.SetCenter(v); })
          .Default(false)
          .Object("IndexMain", [](C& c) -> framework::TPersistent* { return &c.IndexMain(); })
          .Extended(
              "Scale", [](C& c) { return c.Scale(); },
              [](C& c, long double v) { c.SetScale(Finite("Scale", v)); })
          .Default(framework::Value(100.0L))
          .Boolean(
              "Stretch", [](C& c) { return c.Stretch(); }, [](C& c, bool v) { c.SetStretch(v); })
          .Default(false)
          .Build();
  return info;
}

const framework::ClassInfo& TDIBImage::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TDIBImage, TCustomDIBImage>("TDIBImage").Build();
  return info;
}

TCustomDIBImage::TCustomDIBImage(framework::TComponent* owner) : TCustomDIBControl(owner) {
  indexMain_ = &AddImageLink();
  for (const char* name : {"Angle", "AutoSize", "Center", "Opacity", "Scale", "Stretch"})
    RegisterTemplateProperty(name);
}

bool TCustomDIBImage::AutoSizeQuery(std::int32_t& width, std::int32_t& height) {
  image::TAbstractSuperDIB* img = nullptr;
  if (!indexMain_->GetImage(img)) return false;
  const image::TSize s = image::RotatedSize(img->Width(), img->Height(), angle_, scale_, scale_);
  width = s.Width;
  height = s.Height;
  return true;
}

void TCustomDIBImage::ApplyAutoSize() {
  if (!autoSize_ || IsLoading()) return;
  std::int32_t w = 0, h = 0;
  if (AutoSizeQuery(w, h)) SetBounds(Left(), Top(), w, h);
}

void TCustomDIBImage::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  ApplyAutoSize();
  Invalidate();
}

void TCustomDIBImage::SetScale(long double percent) {
  scale_ = percent;
  stretch_ = false;
  ApplyAutoSize();
  Invalidate();
}

void TCustomDIBImage::SetAngle(long double degrees) {
  angle_ = image::NormalizeAngle(degrees);
  ApplyAutoSize();
  Invalidate();
}

void TCustomDIBImage::SetCenter(bool value) {
  if (value == center_) return;
  center_ = value;
  ApplyAutoSize();
  Invalidate();
}

void TCustomDIBImage::SetStretch(bool value) {
  stretch_ = value;
  if (value) autoSize_ = false;
  Invalidate();
}

void TCustomDIBImage::ImageChanged(int, int) {
  if (autoSize_)
    ApplyAutoSize();
  else
    Invalidate();
}

void TCustomDIBImage::Loaded() {
  TCustomDIBControl::Loaded();
  ApplyAutoSize();
}

void TCustomDIBImage::Paint() {
  TCustomDIBControl::Paint();
  image::TAbstractSuperDIB* img = nullptr;
  if (!indexMain_->GetImage(img) || !DrawingBuffer()) return;
  image::TAbstractSuperDIB& dest = *DrawingBuffer();
  img->SetAutoSize(true);
  img->SetAngle(angle_);
  img->SetScale(scale_);
  if (stretch_) {
    img->SetScaleX(static_cast<long double>(Width()) * 100 / img->Width());
    img->SetScaleY(static_cast<long double>(Height()) * 100 / img->Height());
  }
  const image::TSize bound =
      image::RotatedSize(img->Width(), img->Height(), img->Angle(), img->ScaleX(), img->ScaleY());
  framework::TPoint at{0, 0};
  if (center_ && !autoSize_) at = {Width() / 2 - bound.Width / 2, Height() / 2 - bound.Height / 2};
  img->SetClipRect(dest.ClipRect());
  img->Draw(at.X, at.Y, img->Width(), img->Height(), dest, 0, 0);
}

}  // namespace skin
