// TControl: bounds, visibility, mouse and paint requests of every control.

#include <algorithm>
#include <cmath>

#include "framework/graphics/Region.h"
#include "framework/window/Application.h"
#include "framework/window/ControlGeometry.h"
#include "framework/window/Controls.h"
#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "framework/window/WindowInternal.h"
#include "framework/window/WindowRoot.h"

namespace framework {

using namespace detail;

const ClassInfo& TControl::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TControl, TComponent>("TControl")
          .Integer(
              "Left", [](TControl& c) { return c.Left(); }, [](TControl& c, std::int32_t v) { c.SetLeft(v); })
          .Integer(
              "Top", [](TControl& c) { return c.Top(); }, [](TControl& c, std::int32_t v) { c.SetTop(v); })
          .Integer(
              "Width", [](TControl& c) { return c.Width(); },
              [](TControl& c, std::int32_t v) { c.SetWidth(v); })
          .Integer(
              "Height", [](TControl& c) { return c.Height(); },
              [](TControl& c, std::int32_t v) { c.SetHeight(v); })
          .Set(
              "Anchors", {"akLeft", "akTop", "akRight", "akBottom"}, [](TControl& c) { return c.Anchors(); },
              [](TControl& c, std::uint32_t v) { c.SetAnchors(v); })
          .Default(SetNames{"akLeft", "akTop"})
          .Integer(
              "Color", [](TControl& c) { return c.Color(); },
              [](TControl& c, std::int32_t v) { c.SetColor(v); })
          .Idents(ColorIdents())
          .Default(clWindow)
          .Integer(
              "Cursor", [](TControl& c) { return c.Cursor(); },
              [](TControl& c, std::int32_t v) { c.SetCursor(static_cast<TCursor>(v)); })
          .Idents(CursorIdents())
          .Default(crDefault)
          .Boolean(
              "Enabled", [](TControl& c) { return c.Enabled(); },
              [](TControl& c, bool v) { c.SetEnabled(v); })
          .Default(true)
          .String(
              "Hint", [](TControl& c) { return c.Hint(); },
              [](TControl& c, const std::string& v) { c.SetHint(v); })
          .Default("")
          .Boolean(
              "Visible", [](TControl& c) { return c.Visible(); },
              [](TControl& c, bool v) { c.SetVisible(v); })
          .Default(true)
          .Event(
              "OnClick", [](TControl & c) -> auto& { return c.OnClick; })
          .Event(
              "OnDblClick", [](TControl & c) -> auto& { return c.OnDblClick; })
          .Event(
              "OnMouseDown", [](TControl & c) -> auto& { return c.OnMouseDown; })
          .Event(
              "OnMouseEnter", [](TControl & c) -> auto& { return c.OnMouseEnter; })
          .Event(
              "OnMouseLeave", [](TControl & c) -> auto& { return c.OnMouseLeave; })
          .Event(
              "OnMouseMove", [](TControl & c) -> auto& { return c.OnMouseMove; })
          .Event(
              "OnMouseUp", [](TControl & c) -> auto& { return c.OnMouseUp; })
          .Build();
  return info;
}

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this] { FontChanged(); };
}

TControl::~TControl() {
  font_.OnChange = nullptr;
  if (parent_) parent_->RemoveControl(this);
}

void TControl::FontChanged() {
  Invalidate();
}

void TControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  // Far beyond any screen, yet small enough that edges, offsets and nested
  // origins never leave the 32-bit range.
  constexpr std::int32_t kLimit = 1 << 24;
  left = std::clamp(left, -kLimit, kLimit);
  top = std::clamp(top, -kLimit, kLimit);
  width = std::clamp(width, 0, kLimit);
  height = std::clamp(height, 0, kLimit);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (parent_ && visible_) parent_->InvalidateRect(BoundsRect());
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (parent_ && visible_) parent_->InvalidateRect(BoundsRect());
}

TPoint TControl::ClientToWindow(TPoint p) const {
  for (const TControl* c = this; c->parent_; c = c->parent_) {
    p.X += c->left_;
    p.Y += c->top_;
  }
  return p;
}

TPoint TControl::ClientToScreen(TPoint p) const {
  p = ClientToWindow(p);
  const TWinControl* top = TopWindow();
  TPoint origin{top ? top->Left() : 0, top ? top->Top() : 0};
  if (top && top->BackendWindow()) origin = top->BackendWindow()->ClientOrigin();
  return {p.X + origin.X, p.Y + origin.Y};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  const TPoint zero = ClientToScreen({0, 0});
  return {p.X - zero.X, p.Y - zero.Y};
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  if (!visible) Invalidate();
  visible_ = visible;
  if (visible) Invalidate();
  Perform(TMessageId::VisibleChanged);
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Invalidate();
  Perform(TMessageId::EnabledChanged);
}

void TControl::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  if (TWinControl* top = TopWindow())
    if (detail::TWindowRoot* root = top->RootIfAny();
        root && root->mouseControl && IsWithin(root->mouseControl, this))
      root->UpdateCursor();
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Invalidate();
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (const TControl* a = parent; a; a = a->parent_)
    if (a == this)
      throw EInvalidOperation("A control cannot have itself or a control inside it as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (parent) parent->InsertControl(this);
}

TComponent* TControl::GetParentComponent() const {
  return parent_;
}

void TControl::SetParentComponent(TComponent* parent) {
  if (parent == nullptr) return SetParent(nullptr);
  auto* w = dynamic_cast<TWinControl*>(parent);
  if (!w) throw EInvalidOperation("Control " + Name() + " cannot be placed inside " + parent->ClassName());
  SetParent(w);
}

TWinControl* TControl::TopWindow() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TWinControl*>(const_cast<TControl*>(c));
}

TWindowSystem* TControl::WindowSystem() const {
  const TWinControl* top = TopWindow();
  return top ? top->WindowSystemPtr().get() : nullptr;
}

void TControl::BringToFront() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::find(list.begin(), list.end(), this));
  list.push_back(this);
  Invalidate();
}

void TControl::SendToBack() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::find(list.begin(), list.end(), this));
  list.insert(list.begin(), this);
  Invalidate();
}

void TControl::Invalidate() {
  if (parent_ && visible_) parent_->InvalidateRect(BoundsRect());
}

void TControl::Update() {
  TWinControl* top = TopWindow();
  if (top && top->HandleAllocated()) PaintWindowTree(*top);
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::PaintControl(const TPaintContext&) {}

bool TControl::MouseCapture() const {
  const TWinControl* top = TopWindow();
  const detail::TWindowRoot* root = top ? top->RootIfAny() : nullptr;
  return root && root->capture == this;
}

void TControl::SetMouseCapture(bool capture) {
  TWinControl* top = TopWindow();
  if (!top) return;
  detail::TWindowRoot& root = top->Root();
  if (capture)
    root.SetCapture(this);
  else if (root.capture == this)
    root.SetCapture(nullptr);
}

std::intptr_t TControl::Perform(TMessageId id) {
  TMessage m;
  m.Id = id;
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  switch (m.Id) {
    case TMessageId::MouseDown: {
      if (!(style_ & csDoubleClicks)) m.Shift &= ~ssDouble;
      const bool dbl = (m.Shift & ssDouble) != 0;
      if (style_ & csCaptureMouse) SetMouseCapture(true);
      if (m.Button == mbLeft) {
        clicked_ = !dbl && (style_ & csClickEvents) != 0;
        if (TWinControl* top = TopWindow(); top && clicked_) top->Root().pressed = this;
        if (dbl && (style_ & csClickEvents)) DblClick();
      }
      MouseDown(m.Button, m.Shift, m.X, m.Y);
      break;
    }
    case TMessageId::MouseMove:
      MouseMove(m.Shift, m.X, m.Y);
      break;
    case TMessageId::MouseUp:
      if ((style_ & csCaptureMouse) && (m.Shift & ssButtons) == 0 && MouseCapture()) SetMouseCapture(false);
      if (m.Button == mbLeft && clicked_) {
        clicked_ = false;
        if (Contains(ClientRect(), {m.X, m.Y})) Click();
      }
      MouseUp(m.Button, m.Shift, m.X, m.Y);
      break;
    case TMessageId::MouseEnter:
      MouseEnter();
      break;
    case TMessageId::MouseLeave:
      MouseLeave();
      break;
    case TMessageId::CancelMode:
      clicked_ = false;
      if (MouseCapture()) SetMouseCapture(false);
      break;
    default:
      break;
  }
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::Notification(TComponent* component, Operation operation) {
  TComponent::Notification(component, operation);
}

}  // namespace framework
