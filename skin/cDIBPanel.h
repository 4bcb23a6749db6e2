#pragma once

// The skinned container: the one real window behind a group of skinned
// controls. It composes its background, an optional border and every child
// (skinned controls blending themselves in creation order, ordinary
// windowless controls painting themselves) into one buffer of its own size
// and presents the repainted rectangle in one step. It also completes the
// enter and leave tracking after captured drags and runs the skinned focus
// order (Tab and Shift+Tab) among its controls.

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/window/Controls.h"
#include "image/cDIB.h"
#include "image/cDIBImageList.h"

namespace skin {

class TCustomDIBControl;
class TDIBBorder;

enum TBorderDrawPosition : std::uint8_t { bdOverControls = 0, bdUnderControls = 1 };
enum TTileMethod : std::uint8_t { tmCenter = 0, tmTile = 1 };

class TCustomDIBContainer : public framework::TCustomControl {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCustomDIBContainer(framework::TComponent* owner);
  ~TCustomDIBContainer() override;

  // The picture of the whole container.
  image::TWinDIB& ComposedBuffer() { return composed_; }
  // The scratch buffer lent to the latest painting control (null before
  // the first).
  image::TWinDIB* ScratchBuffer() { return scratch_; }
  // Lets go of the scratch buffers kept between paints (a window out of use
  // need not hold them); paints make them again as they need them.
  void ReleaseScratch();

  // With AutoSize the container's right and bottom edges follow its
  // unaligned children, keeping the border's right and bottom edges clear.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TDIBBorder* DIBBorder() const { return border_; }
  virtual void SetDIBBorder(TDIBBorder* border);
  TBorderDrawPosition BorderDrawPosition() const { return borderDrawPosition_; }
  void SetBorderDrawPosition(TBorderDrawPosition value);
  // The client rectangle shrunk by the border's edges.
  framework::TRect DIBClientRect();
  // With AutoSize, fits the container to its unaligned children; then lays
  // the aligned skinned children out in the client area, in the order top,
  // bottom, left, right, client, each group in creation order. Runs after
  // loading and whenever the border, the size or an aligned child changes.
  void Realign();

  // --- skinned focus --------------------------------------------------------
  TCustomDIBControl* ActiveControl() const { return active_; }
  virtual void SetActiveControl(TCustomDIBControl* control);
  const std::vector<TCustomDIBControl*>& FocusList() const { return focusList_; }
  // Moves control to place n of the focus list (appends when n is past the
  // end, only removes it when n is negative); returns the place it got, -1
  // when removed.
  int PlaceInFocusList(TCustomDIBControl* control, int n);
  virtual void BuildFocusOrder();
  // The control after (or before) the active one, cyclically, among the
  // enabled skinned controls of the focus list followed by the windowed
  // children that are tab stops and can take the focus (in tab order); null
  // when there is none. wrapped tells whether the step went round the end.
  framework::TControl* FindNextDIBControl(bool forward, bool* wrapped = nullptr) const;

  // The topmost visible, enabled child whose shape holds p (client
  // coordinates); null when none.
  framework::TControl* DIBControlAt(framework::TPoint p);

  void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
  void Loaded() override;
  void WndProc(framework::TMessage& message) override;

  framework::TNotifyEvent BeforePaint;
  framework::TNotifyEvent AfterPaint;
  framework::TNotifyEvent OnActiveControlChange;

 protected:
  void PaintWindow(const framework::TRect& rect) override;
  // A window that needs a part of the picture again (made anew, shown
  // again, uncovered) gets it as composed: only what was never composed is
  // painted.
  void WindowExposed(const framework::TRect& rect) override;
  // The background of the update rectangle (of one piece of it when opaque
  // children cover the rest).
  void Paint() override;
  virtual void PaintAfter();
  virtual void PaintBefore();
  void DoEnter() override;
  void DoExit() override;
  void Notification(framework::TComponent* component, framework::Operation operation) override;
  // The update rectangle of the paint running now (client coordinates).
  const framework::TRect& UpdateRect() const { return updateRect_; }
  void FillBackground();

 private:
  friend class TCustomDIBControl;
  bool RouteKey(framework::TMessage& message);
  // The focus list, then the windowed children in tab order.
  std::vector<framework::TControl*> FocusCycle() const;
  bool HandleTab(bool forward);
  void HandOverCapture(const framework::TMessage& message);
  void AdjustSize();
  void AlignControls();
  // Paint, around the children whose style says they are opaque.
  void PaintBackground();
  void ComposeChildren();
  void DrawBorder();
  void ResizeComposed();

  // A scratch buffer of exactly w x h, reused: the few sizes of a layout
  // (a full-size background under small controls) each keep their pixels
  // instead of being reallocated at every control of a paint.
  image::TWinDIB& Scratch(std::uint16_t w, std::uint16_t h);

  image::TWinDIB composed_;
  // The part of the container whose picture composed_ holds (parts
  // invalidated since are repainted by the next paint): the largest area
  // painted at once, which is all that shows after a window's first paint.
  framework::TRect composedArea_{};
  std::vector<std::unique_ptr<image::TWinDIB>> scratches_;  // most recently used last
  image::TWinDIB* scratch_ = nullptr;
  std::vector<TCustomDIBControl*> focusList_;
  TCustomDIBControl* active_ = nullptr;
  framework::TRect updateRect_{};
  bool expanded_ = false;
  bool tabbing_ = false;
  bool changing_ = false;
  TDIBBorder* border_ = nullptr;
  TBorderDrawPosition borderDrawPosition_ = bdOverControls;
  bool autoSize_ = false;
  bool aligning_ = false;
};

class TCustomDIBImageContainer : public TCustomDIBContainer {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCustomDIBImageContainer(framework::TComponent* owner);
  ~TCustomDIBImageContainer() override;

  image::TDIBImageLink& IndexImage() { return indexImage_; }
  image::TCustomDIBImageList* DIBImageList() const { return indexImage_.DIBImageList(); }
  void SetDIBImageList(image::TCustomDIBImageList* list);
  TTileMethod TileMethod() const { return tileMethod_; }
  void SetTileMethod(TTileMethod value);

  virtual void ImageChanged(int index, int kind);

 protected:
  void Paint() override;
  void Notification(framework::TComponent* component, framework::Operation operation) override;

 private:
  image::TDIBImageLink indexImage_;
  TTileMethod tileMethod_ = tmCenter;
};

class TDIBImageContainer : public TCustomDIBImageContainer {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBImageContainer(framework::TComponent* owner) : TCustomDIBImageContainer(owner) {}
};

// Registers the toolkit's classes (containers, controls, border, timer,
// features, image lists) with the class registry.
void RegisterSkinClasses();

}  // namespace skin
