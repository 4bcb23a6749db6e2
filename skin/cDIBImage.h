#pragma once

// The image control: one image of an image list, optionally scaled, turned,
// centred or stretched. Without an image it is an invisible click area.

#include <cstdint>

#include "skin/cDIBControl.h"

namespace skin {

class TCustomDIBImage : public TCustomDIBControl {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCustomDIBImage(framework::TComponent* owner);

  image::TDIBImageLink& IndexMain() { return *indexMain_; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  long double Scale() const { return scale_; }
  // Also switches Stretch off.
  void SetScale(long double percent);
  long double Angle() const { return angle_; }
  // Kept in [0, 360).
  void SetAngle(long double degrees);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool Stretch() const { return stretch_; }
  // Switching it on switches AutoSize off.
  void SetStretch(bool value);

  // The size the control would take from its image, if it has one.
  bool AutoSizeQuery(std::int32_t& width, std::int32_t& height);

  void ImageChanged(int index, int kind) override;
  void Paint() override;
  void Loaded() override;

 protected:
  void ApplyAutoSize();

 private:
  image::TDIBImageLink* indexMain_;
  bool autoSize_ = false;
  long double scale_ = 100;
  long double angle_ = 0;
  bool center_ = false;
  bool stretch_ = false;
};

class TDIBImage : public TCustomDIBImage {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBImage(framework::TComponent* owner) : TCustomDIBImage(owner) {}
};

}  // namespace skin
