#pragma once

// Features: small behaviour plug-ins attached to a skinned control through
// its DIBFeatures collection. Each sees the control's messages before the
// control does and may keep one from it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/Collection.h"
#include "framework/core/Component.h"
#include "framework/graphics/Region.h"
#include "framework/window/WindowTypes.h"
#include "image/cDIB.h"

namespace framework {
class TControl;
}

namespace skin {

class TCustomDIBControl;

class EDIBFeatureError : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

class TDIBFeature : public framework::TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBFeature(framework::TComponent* owner);

  framework::TControl* Control() const { return control_; }
  void SetControl(framework::TControl* control) { control_ = control; }
  TCustomDIBControl* DIBControl() const;
  virtual std::string Description() const { return "Unknown feature"; }
  virtual bool AcceptsControl(const framework::TControl* control) const { return control != nullptr; }
  // True keeps the message from the control and the later features.
  virtual bool HandleMessage(framework::TMessage& /*message*/) { return false; }
  // -1: no opinion; 0: (x, y) is not part of the control; 1: it is.
  virtual int HitTest(std::int32_t /*x*/, std::int32_t /*y*/) { return -1; }

 private:
  framework::TControl* control_ = nullptr;
};

// Moves its control by dragging or with the arrow keys.
class TMoveableDIB : public TDIBFeature {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TMoveableDIB(framework::TComponent* owner) : TDIBFeature(owner) {}
  std::string Description() const override { return "Moveable DIB"; }
  bool HandleMessage(framework::TMessage& message) override;

  bool AllowHorizontal = true;
  bool AllowVertical = true;
  std::int32_t BorderSize = 0;
  std::int32_t SnapSize = 1;
  std::uint32_t MouseButtons = 1u << framework::mbLeft;  // bit per TMouseButton
  bool Moving() const { return moving_; }

 private:
  bool moving_ = false;
  framework::TMouseButton button_ = framework::mbLeft;
  framework::TPoint press_;   // in the parent's coordinates
  framework::TPoint origin_;  // the control's position at the press
};

// Shows the control at HighlightOpacity while hovered or focused.
class THighlightDIB : public TDIBFeature {
  PLONK_PERSISTENT_CLASS
 public:
  explicit THighlightDIB(framework::TComponent* owner) : TDIBFeature(owner) {}
  std::string Description() const override { return "Highlight dib"; }
  bool AcceptsControl(const framework::TControl* control) const override;
  bool HandleMessage(framework::TMessage& message) override;

  std::uint8_t HighlightOpacity = 255;

 private:
  void Highlight();
  void Restore();
  bool highlighted_ = false;
  std::uint8_t saved_ = 255;
};

// Lets clicks pass through the transparent parts of its control.
class TShapeableDIB : public TDIBFeature {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TShapeableDIB(framework::TComponent* owner) : TDIBFeature(owner) {}
  std::string Description() const override { return "Shapeable DIB"; }
  bool AcceptsControl(const framework::TControl* control) const override;
  int HitTest(std::int32_t x, std::int32_t y) override;

  framework::TColor TransparentColor = 0;
  image::TTransparentMode TransparentMode = image::tmAuto;
  std::uint8_t MaskLevel = 0;
  // The region of the latest rebuild (null: every point hits).
  const framework::TRegion* Region() const { return region_.get(); }
  int Rebuilds() const { return rebuilds_; }

 private:
  void Rebuild(TCustomDIBControl& control);
  std::unique_ptr<framework::TRegion> region_;
  std::uint64_t cachedSerial_ = 1234;
  bool cached_ = false;
  int rebuilds_ = 0;
};

class TDIBFeatureItem : public framework::TCollectionItem {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBFeatureItem(framework::TCollection* collection);
  ~TDIBFeatureItem() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  const std::string& FeatureClassName() const { return className_; }
  // Replaces the feature; an unregistered name fails with
  // name + " has not been registered".
  void SetFeatureClassName(const std::string& name);
  TDIBFeature* Feature() const { return feature_.get(); }
  std::string DisplayName() const override;

  // The stored parameters: the class name, then the feature's properties.
  void ReadParameters(framework::TStream& stream);
  void WriteParameters(framework::TStream& stream) const;
  // Rebuilds the feature from the parameters read with the form.
  void Loaded(framework::TComponent& root);

 private:
  framework::TControl* OwnerControl() const;
  bool enabled_ = true;
  std::string className_;
  std::unique_ptr<TDIBFeature> feature_;
  std::vector<std::uint8_t> pending_;
};

class TDIBFeatures : public framework::TCollection {
 public:
  explicit TDIBFeatures(framework::TControl* owner);
  framework::TControl* OwnerControl() const { return owner_; }
  TDIBFeatureItem* Items(int index) const { return static_cast<TDIBFeatureItem*>(TCollection::Items(index)); }
  TDIBFeatureItem* Add() { return static_cast<TDIBFeatureItem*>(TCollection::Add()); }
  // Offers the message to each enabled item's feature in order; true when
  // one handled it.
  bool Dispatch(framework::TMessage& message);
  // The first opinion of an enabled feature, or -1.
  int HitTest(std::int32_t x, std::int32_t y);

 private:
  framework::TControl* owner_;
};

// Feature classes known by name (the three above are registered at start).
void RegisterDIBFeature(const framework::ClassInfo& info);
const framework::ClassInfo* FindDIBFeature(const std::string& name);

}  // namespace skin
