#pragma once

// The base of every skinned control.
//
// A skinned control has no window and no pixels of its own: its container
// lends it a scratch buffer that starts as a copy of what lies beneath it,
// the control draws its picture over that copy, and the container blends the
// result back with the control's Opacity. So Opacity 0 shows the background
// unchanged, 255 shows the picture, and values between mix the two.
//
// Every message reaches the enabled features of DIBFeatures first; one that
// reports it handled keeps it from the control. The skinned focus is a focus
// among the windowless controls of one container (DIBTabOrder places them in
// the container's focus list); the framework's SetFocus/KillFocus messages
// sent to a skinned control are the container's focus and focus-loss requests.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/Collection.h"
#include "framework/window/Controls.h"
#include "image/cDIB.h"
#include "image/cDIBImageList.h"

namespace skin {

class TCustomDIBContainer;
class TCustomDIBControl;
class TDIBFeatures;
class TDIBTimer;

// Misuse of a skinned control: no owner, no container, bad templates.
class EDIBControlError : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

// Positions and sizes of skinned controls and containers stay within
// +-2^28 pixels, so that sums of nested positions and edges never leave the
// 32-bit range; setters refuse anything beyond.
inline constexpr std::int32_t kMaxCoordinate = 1 << 28;
bool BoundsInRange(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);

// Where a container places a skinned control inside its client area: along
// an edge (taking the whole width or height that is left) or over all that
// is left; alNone leaves the bounds as they are set.
enum TAlign : std::uint8_t { alNone = 0, alTop = 1, alBottom = 2, alLeft = 3, alRight = 4, alClient = 5 };

// One control that moves together with the control owning the list.
class TControlItem : public framework::TCollectionItem {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TControlItem(framework::TCollection* collection);
  ~TControlItem() override;

  framework::TControl* Control() const { return control_; }
  // Null fails with "You cannot set Control to nil"; a control already named
  // by another item of the list fails with "Control already exists in list.".
  void SetControl(framework::TControl* control);
  std::string DisplayName() const override;

 private:
  framework::TControl* control_ = nullptr;
};

class TControlList : public framework::TCollection {
 public:
  explicit TControlList(TCustomDIBControl* owner);
  TCustomDIBControl* OwnerControl() const { return owner_; }
  TControlItem* Items(int index) const { return static_cast<TControlItem*>(TCollection::Items(index)); }
  TControlItem* Add() { return static_cast<TControlItem*>(TCollection::Add()); }
  // The item naming control, or null.
  TControlItem* Find(const framework::TControl* control) const;

 private:
  TCustomDIBControl* owner_;
};

class TCustomDIBControl : public framework::TControl {
  PLONK_PERSISTENT_CLASS
 public:
  // Fails with "Owner cannot be nil" and "Parent must be a TDIBContainer".
  explicit TCustomDIBControl(framework::TComponent* owner);
  ~TCustomDIBControl() override;

  // --- published state ----------------------------------------------------
  std::uint8_t Opacity() const { return opacity_; }
  // Repaints only when the value really changes.
  void SetOpacity(std::uint8_t value);
  image::TCustomDIBImageList* DIBImageList() const { return imageList_; }
  virtual void SetDIBImageList(image::TCustomDIBImageList* list);
  std::int16_t DIBTabOrder() const { return tabOrder_; }
  void SetDIBTabOrder(std::int16_t order);
  char Accelerator() const { return accelerator_; }
  void SetAccelerator(char value) { accelerator_ = value; }
  TDIBFeatures& DIBFeatures() { return *features_; }
  TControlList& Children() { return *children_; }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign value);

  // --- state --------------------------------------------------------------
  TCustomDIBContainer* Container() const;
  // Holds the container's skinned focus.
  bool DIBFocused() const { return focused_; }
  // The pointer is over the control; Entered stays set while a captured
  // drag is outside it.
  bool MouseInControl() const { return inside_; }
  bool MouseEntered() const { return entered_; }
  framework::TShiftState LastShiftState() const { return lastShift_; }
  framework::TShiftState PressedButtons() const { return pressed_; }
  // Backend clock (ms) of the latest invalidation not caused by a pure move.
  std::uint32_t LastInvalidateTime() const { return lastInvalidateTime_; }
  // Counts the same invalidations; unlike the millisecond clock it tells two
  // invalidations in one millisecond apart.
  std::uint64_t InvalidateSerial() const { return invalidateSerial_; }

  // --- auto-repeat --------------------------------------------------------
  bool RepeatEnabled() const { return repeatEnabled_; }
  void SetRepeatEnabled(bool value) { repeatEnabled_ = value; }
  std::int32_t RepeatInterval() const { return repeatInterval_; }
  void SetRepeatInterval(std::int32_t ms) { repeatInterval_ = ms; }
  TDIBTimer& RepeatTimer() { return *repeatTimer_; }

  // Which keys the control asks for (dcWant* flags); arrows by default.
  std::intptr_t DialogCode() const { return dialogCode_; }
  void SetDialogCode(std::intptr_t flags) { dialogCode_ = flags; }

  // --- painting -----------------------------------------------------------
  // The paint pipeline, run by the container during composition: copy the
  // composed picture under the control into scratch (sized, reset and
  // clipped by the container), paint over it, blend it back with Opacity.
  void PaintSkinned(image::TAbstractSuperDIB& composed, image::TWinDIB& scratch);
  // Paints only the control's own picture into buffer (no background, no
  // blending): what a shaped control's region is made from.
  void PaintInto(image::TAbstractSuperDIB& buffer);
  // The buffer being painted (valid inside Paint), and its canvas when it
  // has one.
  image::TAbstractSuperDIB* DrawingBuffer() const { return drawing_; }
  framework::TCanvas* Canvas() const { return canvas_; }
  // A control in a plain parent paints itself through the framework.
  void PaintControl(const framework::TPaintContext& context) override;

  void Invalidate() override;
  void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
  void SetParent(framework::TWinControl* parent) override;
  void WndProc(framework::TMessage& message) override;
  void Loaded() override;
  // Whether (x, y) in client coordinates belongs to the control; features
  // may answer (shaped controls).
  virtual bool HitTest(std::int32_t x, std::int32_t y);

  // --- the toolkit's virtual operations -------------------------------------
  virtual void PaintEnd();
  virtual void ExpandUpdateRect(framework::TRect& rect);
  virtual void PaintStart();
  virtual void ShowActive() {}
  virtual void ShowInactive() {}
  virtual void DoDIBEnter();
  virtual void DoDIBExit();
  virtual void DoKeyDown(framework::TMessage& message);
  virtual void DoKeyPress(framework::TMessage& message);
  virtual void DoKeyUp(framework::TMessage& message);
  virtual void DoMouseEnter();
  virtual void DoMouseLeave();
  virtual void ImageChanged(int /*index*/, int /*kind*/) {}
  virtual bool IsShortCut(const framework::TMessage& /*message*/) { return false; }
  // True claims the key of a key-down, character or key-up message as a
  // special key: the container then leaves it to the framework instead of
  // delivering it to the control.
  virtual bool ClaimsSpecialKey(const framework::TMessage& /*message*/) { return false; }
  virtual void Paint();
  virtual void StopRepeat() { stopRepeat_ = true; }
  // The template properties as a small stream of name and value pairs.
  virtual void ReadTemplate(framework::TStream& stream);
  virtual void WriteTemplate(framework::TStream& stream);
  const std::vector<std::string>& TemplateProperties() const { return templateProperties_; }

  framework::TNotifyEvent OnEnter;
  framework::TNotifyEvent OnExit;
  framework::TNotifyEvent OnPaintStart;
  framework::TNotifyEvent OnPaintEnd;
  framework::TNotifyEvent OnPaint;
  framework::TKeyEvent OnKeyDown;
  framework::TKeyEvent OnKeyUp;
  framework::TKeyPressEvent OnKeyPress;

 protected:
  // A new owned image link sharing the control's image list.
  image::TDIBImageLink& AddImageLink();
  // Fails when the property is not published or cannot be templated.
  void RegisterTemplateProperty(const std::string& name);

  void Click() override;
  void MouseDown(framework::TMouseButton button, framework::TShiftState shift, int x, int y) override;
  void MouseUp(framework::TMouseButton button, framework::TShiftState shift, int x, int y) override;
  virtual void KeyDown(std::uint16_t& key, framework::TShiftState shift);
  virtual void KeyUp(std::uint16_t& key, framework::TShiftState shift);
  virtual void KeyPress(char& key);
  void Notification(framework::TComponent* component, framework::Operation operation) override;

 private:
  friend class TCustomDIBContainer;
  friend class TControlItem;
  static TCustomDIBContainer* FindContainer(framework::TComponent* start);
  bool OfferToFeatures(framework::TMessage& message);
  void RepeatTick();
  void MarkInvalidated();
  void RealignContainer();

  std::uint8_t opacity_ = 255;
  image::TCustomDIBImageList* imageList_ = nullptr;
  std::vector<std::unique_ptr<image::TDIBImageLink>> links_;
  std::int16_t tabOrder_ = -1;
  char accelerator_ = 0;
  TAlign align_ = alNone;
  std::unique_ptr<TDIBFeatures> features_;
  std::unique_ptr<TControlList> children_;
  image::TAbstractSuperDIB* drawing_ = nullptr;
  framework::TCanvas* canvas_ = nullptr;
  bool inside_ = false;
  bool entered_ = false;
  bool focused_ = false;
  framework::TShiftState pressed_ = 0;
  framework::TShiftState lastShift_ = 0;
  std::unique_ptr<TDIBTimer> repeatTimer_;
  bool repeatEnabled_ = false;
  std::int32_t repeatInterval_ = 250;
  bool stopRepeat_ = false;
  framework::TMessage repeatMessage_;
  std::intptr_t dialogCode_ = framework::dcWantArrows;
  std::vector<std::string> templateProperties_;
  std::uint32_t lastInvalidateTime_ = 0;
  std::uint64_t invalidateSerial_ = 0;
  bool inBoundsChange_ = false;
  bool sameSize_ = false;
};

}  // namespace skin
