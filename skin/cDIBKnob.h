#pragma once

// The film-strip knob and slider: one frame of a strip of equal frames,
// chosen by an integer Position between Min and Max. Dragged with the left
// button (pointer hidden and held at the press point, one pixel of travel is
// one SmallChange) or moved with the keys while it holds the skinned focus.
// A drag ends at the left release, or when the capture is taken away (the
// window hidden or closed mid-drag).

#include <cstdint>

#include "skin/cDIBControl.h"

namespace skin {

class EDIBKnobError : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

enum TKnobOrientation : std::uint8_t { koVertical = 0, koHorizontal = 1 };
using TKnobInc = std::uint16_t;

class TCustomDIBKnob : public TCustomDIBControl {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCustomDIBKnob(framework::TComponent* owner);

  image::TDIBImageLink& IndexMain() { return *indexMain_; }
  std::int32_t NumGlyphs() const { return numGlyphs_; }
  // 0 or less fails with "NumGlyphs must be greater than 0.".
  void SetNumGlyphs(std::int32_t value);
  std::int32_t Min() const { return min_; }
  void SetMin(std::int32_t value);
  std::int32_t Max() const { return max_; }
  void SetMax(std::int32_t value);
  std::int32_t Position() const { return position_; }
  // Clamped to Min..Max; OnChange when it changes; always repaints.
  void SetPosition(std::int32_t value);
  TKnobInc SmallChange() const { return smallChange_; }
  void SetSmallChange(TKnobInc value) { smallChange_ = value; }
  TKnobInc PageSize() const { return pageSize_; }
  void SetPageSize(TKnobInc value) { pageSize_ = value; }
  TKnobOrientation Orientation() const { return orientation_; }
  void SetOrientation(TKnobOrientation value) { orientation_ = value; }
  bool DrawTweens() const { return drawTweens_; }
  void SetDrawTweens(bool value);
  bool LoopLastFrame() const { return loopLastFrame_; }
  void SetLoopLastFrame(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);

  bool AutoSizeQuery(std::int32_t& width, std::int32_t& height);
  void ImageChanged(int index, int kind) override;
  void Paint() override;
  void Loaded() override;
  void WndProc(framework::TMessage& message) override;

  virtual void BeginDrag();
  // The frame shown without tweens.
  virtual std::int32_t FrameIndex() const;
  virtual void EndDrag();

  framework::TNotifyEvent OnChange;
  // Raised by BeginDrag and EndDrag: whoever writes the position somewhere
  // learns where a drag's run of changes begins and ends.
  framework::TNotifyEvent OnDragBegin;
  framework::TNotifyEvent OnDragEnd;

 protected:
  void MouseDown(framework::TMouseButton button, framework::TShiftState shift, int x, int y) override;
  void MouseMove(framework::TShiftState shift, int x, int y) override;
  void MouseUp(framework::TMouseButton button, framework::TShiftState shift, int x, int y) override;
  void KeyDown(std::uint16_t& key, framework::TShiftState shift) override;

 private:
  void ApplyAutoSize();
  image::TDIBImageLink* indexMain_;
  std::int32_t numGlyphs_ = 1;
  std::int32_t min_ = 0, max_ = 100, position_ = 0;
  TKnobInc smallChange_ = 1, pageSize_ = 5;
  TKnobOrientation orientation_ = koVertical;
  bool drawTweens_ = false, loopLastFrame_ = false, autoSize_ = true;
  bool dragging_ = false;
  framework::TPoint pressPos_;
};

class TDIBKnob : public TCustomDIBKnob {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBKnob(framework::TComponent* owner) : TCustomDIBKnob(owner) {}
};

}  // namespace skin
