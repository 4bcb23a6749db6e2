#pragma once

// Controls and windows.
//
// TControl is windowless: bounds inside its parent, visibility, enabled state,
// cursor, style and the mouse events. TWinControl is a windowed parent: it owns
// the z-ordered list of its child controls, routes the mouse to them, has the
// keyboard focus, key messages and a paint request. A TWinControl without a
// parent is a top-level window: it gets a backend window from the window
// system it was given (a child of a foreign parent handle, or a window of its
// own) and keeps the state of its window tree: which control holds the mouse
// capture, which one is under the pointer, which windowed control has the
// focus.
//
// Mouse routing, per top-level window:
// - The pointer's control is the topmost visible, enabled control under it
//   (later children lie above earlier ones; windowed children above windowless
//   ones). Moving onto another control sends MouseLeave to the old one and
//   MouseEnter to the new one; while a control holds the capture only the
//   capturing control is told (it may defer its leave to the release). After a
//   captured drag the control under the pointer got no MouseEnter: a parent
//   that wants one sends it (Perform(TMessageId::MouseEnter)).
// - Input goes to the capture control when there is one, else to the
//   pointer's control. A press on a control whose style has csCaptureMouse
//   captures the mouse to it until no button is held any more; with the empty
//   style nothing is captured and each event goes to the control under the
//   pointer at that moment (nothing, outside the window).
// - A left release fires Click first (only when the control's style has
//   csClickEvents, the left press was on the same control and the pointer is
//   still inside it), then MouseUp.
// - The top-level window previews every move, press and release first
//   (PreviewMouse), whichever control then receives it.
// - A press that the backend marks as the second of a double click (ssDouble)
//   fires DblClick (with csClickEvents) before MouseDown, and its release no
//   Click, when the style has csDoubleClicks; without it the press is a plain
//   one.
//
// Painting: Invalidate marks a rectangle of the windowed parent; pending paints
// run in the window system's Update or at once through Update/Repaint. PaintWindow(rect) is the
// paint request of a windowed control: the default fills Color, lets
// TCustomControl::Paint draw, paints the windowless children (PaintControl)
// and presents the rectangle. A container that composes its own buffer
// overrides PaintWindow and calls Present.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/Component.h"
#include "framework/graphics/Canvas.h"
#include "framework/graphics/Types.h"
#include "framework/window/Backend.h"
#include "framework/window/WindowTypes.h"

namespace framework {

class TWinControl;
class TCustomForm;
namespace detail {
struct TWindowRoot;
}

using TMouseEvent = TEvent<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = TEvent<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = TEvent<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = TEvent<void(TObject* Sender, char& Key)>;

// Font styles as a bit set (the Style property of a font).
inline constexpr std::uint32_t fsBold = 1u << 0;
inline constexpr std::uint32_t fsItalic = 1u << 1;
inline constexpr std::uint32_t fsUnderline = 1u << 2;
inline constexpr std::uint32_t fsStrikeOut = 1u << 3;

// The published font of a control: what a form stores (Name, Height in
// pixels, negative for the character height, Color, Style, Charset), turned
// into the canvas's font for drawing.
class TControlFont : public TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t height);
  // Points at 96 dpi; setting it sets Height to the matching negative value.
  std::int32_t Size() const;
  void SetSize(std::int32_t points);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  std::uint32_t Style() const { return style_; }
  void SetStyle(std::uint32_t style);
  std::int32_t Charset() const { return charset_; }
  void SetCharset(std::int32_t charset);

  TFont Value() const;
  void Assign(const TPersistent& source) override;

  // Called after every real change.
  std::function<void()> OnChange;

 private:
  void Changed();
  std::string name_ = "Sans";
  std::int32_t height_ = -11;
  TColor color_ = clWindowText;
  std::uint32_t style_ = 0;
  std::int32_t charset_ = 1;  // default character set
};

// Where a windowless control paints: a 32-bit BGRA bottom-up picture, the
// place of the control's top-left pixel in it and the part of the picture it
// may change (Right/Bottom exclusive; already inside the control and the
// picture).
struct TPaintContext {
  std::uint8_t* Bits = nullptr;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  TPoint Origin;
  TRect Clip;
};

enum TAnchorKind : std::uint32_t { akLeft = 1u << 0, akTop = 1u << 1, akRight = 1u << 2, akBottom = 1u << 3 };

class TControl : public TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // Bounds in the parent's client coordinates.
  std::int32_t Left() const { return left_; }
  std::int32_t Top() const { return top_; }
  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  void SetLeft(std::int32_t v) { SetBounds(v, top_, width_, height_); }
  void SetTop(std::int32_t v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(std::int32_t v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(std::int32_t v) { SetBounds(left_, top_, width_, v); }
  // Negative sizes become 0; positions and sizes are held within +-2^24.
  // Repaints the old and the new place.
  virtual void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  TRect ClientRect() const { return {0, 0, width_, height_}; }
  // Position of the client point p relative to the top-level window and to
  // the screen.
  TPoint ClientToWindow(TPoint p) const;
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Visible with every parent up to the top-level window.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TControlFont& Font() { return font_; }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint) { hint_ = hint; }
  // Stored for the form; the windows here are never resized.
  std::uint32_t Anchors() const { return anchors_; }
  void SetAnchors(std::uint32_t anchors) { anchors_ = anchors; }
  TControlStyle ControlStyle() const { return style_; }
  void SetControlStyle(TControlStyle style) { style_ = style; }

  TWinControl* Parent() const { return parent_; }
  // Moves the control to the top of the new parent's children. Raises
  // EInvalidOperation when the parent is the control itself or inside it.
  virtual void SetParent(TWinControl* parent);
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  // The form reader's way of setting the parent; anything but a windowed
  // control raises EInvalidOperation.
  void SetParentComponent(TComponent* parent) override;
  // The top-level window this control lives in (itself for a top-level one),
  // or null when it has no parent chain to one.
  TWinControl* TopWindow() const;
  // The window system of the top-level window (its pointer, keyboard and
  // desktop services), or null before that window has one.
  TWindowSystem* WindowSystem() const;
  // Moves the control to the top (or bottom) of its parent's z-order.
  void BringToFront();
  void SendToBack();

  // Asks the parent to paint the control's rectangle again.
  virtual void Invalidate();
  // Processes the pending paints of the control's window now.
  void Update();
  void Repaint();
  // Paint request of a windowless control; the default paints nothing.
  virtual void PaintControl(const TPaintContext& context);

  // Whether this control holds the mouse capture of its window.
  bool MouseCapture() const;
  void SetMouseCapture(bool capture);

  // Message entry: every input and notification reaches the control here.
  virtual void WndProc(TMessage& message);
  void Perform(TMessage& message) { WndProc(message); }
  std::intptr_t Perform(TMessageId id);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

 protected:
  // Fire the matching events; subclasses extend them.
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseEnter();
  virtual void MouseLeave();
  void Notification(TComponent* component, Operation operation) override;
  void FontChanged();

 private:
  friend class TWinControl;
  friend struct detail::TWindowRoot;
  friend void PaintWindowTree(TWinControl& control);
  friend bool PaintsPendingInTree(const TWinControl& control);
  std::int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  bool clicked_ = false;   // a left press with click events is pending
  bool windowed_ = false;  // a TWinControl: hit tests ask this, not the type
  TCursor cursor_ = crDefault;
  TColor color_ = clWindow;
  TControlStyle style_ = csCaptureMouse | csClickEvents | csDoubleClicks;
  std::uint32_t anchors_ = akLeft | akTop;
  std::string hint_;
  TControlFont font_;
  TWinControl* parent_ = nullptr;
};

class TWinControl : public TControl {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TWinControl(TComponent* owner);
  // Children that have an owner are detached (their owner destroys them);
  // children without one are destroyed with their parent.
  ~TWinControl() override;

  // Children in z-order: creation order, later ones on top.
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }
  // The topmost visible child (enabled, unless allowDisabled) whose bounds
  // hold p (client coordinates); windowed children lie above windowless ones.
  TControl* ControlAtPos(TPoint p, bool allowDisabled = false, bool allowWinControls = false) const;
  // The deepest control under p, looking into windowed children; this
  // control itself when no child is there.
  TControl* FindControlAt(TPoint p);
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

  // Keyboard focus (within the top-level window).
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value) { tabStop_ = value; }
  // Place among the windowed siblings; -1 without a parent.
  std::int32_t TabOrder() const;
  void SetTabOrder(std::int32_t order);
  virtual bool CanFocus() const;
  bool Focused() const;
  // Takes the focus; does nothing when the control cannot take it.
  virtual void SetFocus();
  // The next (or previous) windowed control after current in tab order that
  // is a tab stop and can take the focus, cyclically; null when none.
  TWinControl* FindNextControl(TWinControl* current, bool forward) const;
  // Tab and Shift+Tab: focuses FindNextControl(current, forward).
  void SelectNext(TWinControl* current, bool forward);
  // The control holding the capture in this control's window.
  TControl* CaptureControl() const;
  // The windowed control that has the focus in this control's window.
  TWinControl* FocusedControl() const;

  // The window system that makes the window of this top-level control and
  // runs its timers, input and paints. A window made by another system goes
  // (it is made anew when needed), and the timers of the window's controls
  // move to the new system.
  void SetWindowSystem(std::shared_ptr<TWindowSystem> system);
  // The top-level window's system, or null.
  const std::shared_ptr<TWindowSystem>& WindowSystemPtr() const;

  // The native window (top-level controls only; children answer their
  // top-level window's). A top-level control gets its window when it is
  // shown, when its ParentWindow is set or through HandleNeeded; it needs a
  // window system for that (EInvalidOperation without one).
  bool HandleAllocated() const;
  TWindowHandle Handle() const;
  void HandleNeeded();
  void DestroyHandle();
  TWindowHandle ParentWindow() const { return parentWindow_; }
  // Makes this top-level control a child window of a foreign window and
  // creates its window now (shown when Visible). Raises EWindowError when the
  // backend cannot make it.
  void SetParentWindow(TWindowHandle parent);
  // Visible, and for a top-level control its window made and shown.
  void Show();
  void Hide() { SetVisible(false); }
  // The backend window of a top-level control (null before HandleNeeded).
  TBackendWindow* BackendWindow() const;

  void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
  void SetParent(TWinControl* parent) override;
  void Invalidate() override;
  // Adds rect (client coordinates, Right/Bottom exclusive), as far as it
  // shows through the parents, to the area that the next paint request
  // covers.
  void InvalidateRect(const TRect& rect);
  bool PaintPending() const { return updatePending_; }
  // Copies rect of a picture of this control's size (32-bit BGRA bottom-up)
  // to the screen, leaving out windowed children and what lies outside the
  // parents.
  void Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& rect);

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  void WndProc(TMessage& message) override;

 protected:
  // The paint request for rect (client coordinates); see the file comment.
  virtual void PaintWindow(const TRect& rect);
  // Drawing of TCustomControl between the background and the children.
  virtual void Paint() {}
  // Canvas over the default painting buffer (valid during PaintWindow).
  TCanvas& Canvas();
  // Paints the visible windowless children that meet rect into a picture of
  // this control's size.
  void PaintControls(std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& rect);

  virtual void KeyDown(std::uint16_t& key, TShiftState shift);
  virtual void KeyUp(std::uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void DoEnter();
  virtual void DoExit();
  // Routes a mouse message to the windowless child it belongs to (the
  // capture control or the one under the pointer); false when it is this
  // control's own.
  bool IsControlMouseMsg(TMessage& message);
  // A top-level window sees every move, press and release of its window here
  // (MouseMove, MouseDown, MouseUp in its client coordinates, outside the
  // window too while a button is held) before any control gets it, so that a
  // gesture spanning many controls can follow the pointer. The default does
  // nothing.
  virtual void PreviewMouse(const TMessage& /*message*/) {}
  // The window system needs rect (client coordinates) of this control's
  // picture again: a new window, one shown again, or a part uncovered. The
  // default paints it anew; a control that keeps its whole picture may
  // present that instead.
  virtual void WindowExposed(const TRect& rect) { InvalidateRect(rect); }

 private:
  friend class TControl;
  friend struct detail::TWindowRoot;
  friend void PaintWindowTree(TWinControl& control);
  friend bool PaintsPendingInTree(const TWinControl& control);
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  detail::TWindowRoot& Root();
  detail::TWindowRoot* RootIfAny() const;
  TRect VisibleWindowRect() const;
  // The part of the client area that shows through the parents (client
  // coordinates).
  TRect VisibleClientRect() const;
  // Invalidates this control and every windowed control inside it.
  void InvalidateTree();
  // Whether the visible windowed children hide all of rect (client coordinates).
  bool CoveredByWindowedChildren(const TRect& rect) const;
  void CollectTabOrder(std::vector<TWinControl*>& out) const;

  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  bool tabStop_ = false;
  TWindowHandle parentWindow_ = 0;
  bool updatePending_ = false;
  TRect updateRect_;
  std::vector<std::uint8_t> paintBits_;
  std::unique_ptr<TCanvas> canvas_;
  std::shared_ptr<TWindowSystem> system_;  // a top-level control's
  std::unique_ptr<detail::TWindowRoot> root_;
};

// A windowed control that draws itself on a canvas: override Paint.
class TCustomControl : public TWinControl {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCustomControl(TComponent* owner);
  using TWinControl::Canvas;
};

enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
inline constexpr std::uint32_t biSystemMenu = 1u << 0;
inline constexpr std::uint32_t biMinimize = 1u << 1;
inline constexpr std::uint32_t biMaximize = 1u << 2;
inline constexpr std::uint32_t biHelp = 1u << 3;

// A top-level window read from a form. OnCreate fires through DoCreate, which
// whoever builds the form calls once the form is read.
class TCustomForm : public TCustomControl {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  // No border and no title are drawn here: the client area is the window.
  std::int32_t ClientWidth() const { return Width(); }
  void SetClientWidth(std::int32_t v) { SetWidth(v); }
  std::int32_t ClientHeight() const { return Height(); }
  void SetClientHeight(std::int32_t v) { SetHeight(v); }
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle v) { borderStyle_ = v; }
  std::uint32_t BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(std::uint32_t v) { borderIcons_ = v; }
  bool Scaled() const { return scaled_; }
  void SetScaled(bool v) { scaled_ = v; }
  std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(std::int32_t v) { pixelsPerInch_ = v; }
  // When set, key messages of every control in the form reach the form's
  // KeyDown, KeyUp and KeyPress first; a key set to 0 there is consumed.
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool v) { keyPreview_ = v; }
  // Offers a key message to the form when it previews keys; true when the
  // form consumed it.
  bool PreviewKey(TMessage& message);

  void DoCreate();

  TNotifyEvent OnCreate;

 private:
  std::string caption_;
  TFormBorderStyle borderStyle_ = bsSizeable;
  std::uint32_t borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  bool scaled_ = true;
  std::int32_t pixelsPerInch_ = 96;
  bool keyPreview_ = false;
};

class TForm : public TCustomForm {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TForm(TComponent* owner = nullptr) : TCustomForm(owner) {}
};

// The form a control lives in (the control itself for a form), or null.
TCustomForm* GetParentForm(const TControl* control);

// Registers TControl, TWinControl, TCustomControl, TForm, TLabel and TTimer
// for the form reader.
void RegisterWindowClasses();

}  // namespace framework
