#include "skin/cDIBControl.h"

#include <algorithm>
#include <limits>

#include "framework/core/FormStream.h"
#include "framework/core/Stream.h"
#include "framework/window/Application.h"
#include "framework/window/WindowSystem.h"
#include "skin/cDIBFeatures.h"
#include "skin/cDIBPanel.h"
#include "skin/cDIBTimer.h"

namespace skin {

using framework::TMessage;
using framework::TMessageId;

namespace {

std::int32_t CheckedRange(const char* name, std::int32_t v, std::int32_t lo, std::int32_t hi) {
  if (v < lo || v > hi)
    throw framework::EPropertyError(std::string(name) + " must lie in " + std::to_string(lo) + ".." +
                                    std::to_string(hi) + ", not " + std::to_string(v));
  return v;
}

}  // namespace

bool BoundsInRange(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  auto within = [](std::int32_t v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; };
  return within(left) && within(top) && within(width) && within(height);
}

// --- children list ------------------------------------------------------------

const framework::ClassInfo& TControlItem::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TControlItem, framework::TCollectionItem>("TControlItem")
          .Reference<framework::TControl>(
              "Control", [](TControlItem& i) { return i.Control(); },
              [](TControlItem& i, framework::TControl* c) { i.SetControl(c); })
          .Build();
  return info;
}

TControlItem::TControlItem(framework::TCollection* collection) : framework::TCollectionItem(collection) {}

TControlItem::~TControlItem() = default;

void TControlItem::SetControl(framework::TControl* control) {
  if (control == nullptr) throw EDIBControlError("You cannot set Control to nil");
  if (control == control_) return;
  auto* list = dynamic_cast<TControlList*>(Collection());
  if (list && list->Find(control)) throw EDIBControlError("Control already exists in list.");
  control_ = control;
  if (list && list->OwnerControl()) list->OwnerControl()->FreeNotification(control);
}

std::string TControlItem::DisplayName() const {
  if (control_ && !control_->Name().empty()) return control_->Name();
  return control_ ? control_->ClassName() : ClassName();
}

TControlList::TControlList(TCustomDIBControl* owner)
    : framework::TCollection(TControlItem::StaticClassInfo(), owner), owner_(owner) {}

TControlItem* TControlList::Find(const framework::TControl* control) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->Control() == control) return Items(i);
  return nullptr;
}

// --- class description --------------------------------------------------------

const framework::ClassInfo& TCustomDIBControl::StaticClassInfo() {
  using C = TCustomDIBControl;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<C, framework::TControl>("TCustomDIBControl")
          .Integer(
              "Accelerator", [](C& c) { return static_cast<std::uint8_t>(c.Accelerator()); },
              [](C& c, std::int32_t v) {
                c.SetAccelerator(static_cast<char>(CheckedRange("Accelerator", v, 0, 255)));
              })
          .Default(0)
          .Enum(
              "Align", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"},
              [](C& c) { return static_cast<int>(c.Align()); },
              [](C& c, int v) { c.SetAlign(static_cast<TAlign>(v)); })
          .Default(framework::Value(framework::Ident{"alNone"}))
          .Collection("Children", [](C& c) -> framework::TCollection* { return &c.Children(); })
          .Collection("DIBFeatures", [](C& c) -> framework::TCollection* { return &c.DIBFeatures(); })
          .Reference<image::TCustomDIBImageList>(
              "DIBImageList", [](C& c) { return c.DIBImageList(); },
              [](C& c, image::TCustomDIBImageList* l) { c.SetDIBImageList(l); })
          .Integer(
              "DIBTabOrder", [](C& c) { return c.DIBTabOrder(); },
              [](C& c, std::int32_t v) {
                c.SetDIBTabOrder(static_cast<std::int16_t>(CheckedRange("DIBTabOrder", v, -32768, 32767)));
              })
          .Default(-1)
          .Integer(
              "Opacity", [](C& c) { return c.Opacity(); },
              [](C& c, std::int32_t v) {
                c.SetOpacity(static_cast<std::uint8_t>(CheckedRange("Opacity", v, 0, 255)));
              })
          .Default(255)
          .Event("OnEnter", [](C& c) -> framework::TNotifyEvent& { return c.OnEnter; })
          .Event("OnExit", [](C& c) -> framework::TNotifyEvent& { return c.OnExit; })
          .Event("OnKeyDown", [](C& c) -> framework::TKeyEvent& { return c.OnKeyDown; })
          .Event("OnKeyPress", [](C& c) -> framework::TKeyPressEvent& { return c.OnKeyPress; })
          .Event("OnKeyUp", [](C& c) -> framework::TKeyEvent& { return c.OnKeyUp; })
          .Event("OnPaintEnd", [](C& c) -> framework::TNotifyEvent& { return c.OnPaintEnd; })
          .Event("OnPaintStart", [](C& c) -> framework::TNotifyEvent& { return c.OnPaintStart; })
          .Build();
  return info;
}

// --- construction -------------------------------------------------------------

TCustomDIBContainer* TCustomDIBControl::FindContainer(framework::TComponent* start) {
  if (!start) return nullptr;
  if (auto* c = dynamic_cast<TCustomDIBContainer*>(start)) return c;
  for (int i = 0; i < start->ComponentCount(); ++i)
    if (auto* c = dynamic_cast<TCustomDIBContainer*>(start->Components(i))) return c;
  return nullptr;
}

TCustomDIBControl::TCustomDIBControl(framework::TComponent* owner) : framework::TControl(owner) {
  if (!owner) throw EDIBControlError("Owner cannot be nil");
  TCustomDIBContainer* container = FindContainer(owner);
  if (!container) throw EDIBControlError("Parent must be a TDIBContainer");
  features_ = std::make_unique<TDIBFeatures>(this);
  children_ = std::make_unique<TControlList>(this);
  // Owned here as well, so that its timer runs in this control's window.
  repeatTimer_ = std::make_unique<TDIBTimer>(this);
  framework::TControl::SetBounds(0, 0, 32, 32);
  RegisterTemplateProperty("Width");
  RegisterTemplateProperty("Height");
  framework::TControl::SetParent(container);
}

TCustomDIBControl::~TCustomDIBControl() {
  Destroying();
  repeatTimer_.reset();
  if (TCustomDIBContainer* c = Container()) {
    c->focusList_.erase(std::remove(c->focusList_.begin(), c->focusList_.end(), this), c->focusList_.end());
    if (c->active_ == this) c->active_ = nullptr;
  }
  links_.clear();
  features_.reset();
  children_.reset();
  if (imageList_) imageList_->RemoveFreeNotification(this);
}

TCustomDIBContainer* TCustomDIBControl::Container() const {
  return dynamic_cast<TCustomDIBContainer*>(Parent());
}

void TCustomDIBControl::SetParent(framework::TWinControl* parent) {
  if (parent == nullptr) return framework::TControl::SetParent(nullptr);
  TCustomDIBContainer* container = FindContainer(parent);
  if (!container) throw EDIBControlError("Parent must be a TDIBContainer");
  if (TCustomDIBContainer* old = Container(); old && old != container) {
    old->PlaceInFocusList(this, -1);
    if (old->active_ == this) old->SetActiveControl(nullptr);
  }
  framework::TControl::SetParent(container);
}

image::TDIBImageLink& TCustomDIBControl::AddImageLink() {
  links_.push_back(std::make_unique<image::TDIBImageLink>(this));
  image::TDIBImageLink& link = *links_.back();
  link.OnImageChanged.Bind([this](framework::TObject*, int index, int kind) { ImageChanged(index, kind); });
  if (imageList_) link.SetDIBImageList(imageList_);
  return link;
}

void TCustomDIBControl::RegisterTemplateProperty(const std::string& name) {
  const framework::PropertyInfo* p = GetClassInfo().FindProperty(name);
  if (!p)
    throw EDIBControlError("Class " + ClassName() + " is trying to register " + name +
                           " as a template property, and that property does not exist.");
  switch (p->kind) {
    case framework::PropertyKind::Integer:
    case framework::PropertyKind::Boolean:
    case framework::PropertyKind::Extended:
    case framework::PropertyKind::String:
    case framework::PropertyKind::Enum:
    case framework::PropertyKind::Set:
      break;
    default:
      throw EDIBControlError("Attempting to template an invalid property type.");
  }
  if (std::find(templateProperties_.begin(), templateProperties_.end(), p->name) == templateProperties_.end())
    templateProperties_.push_back(p->name);
}

// --- properties ---------------------------------------------------------------

void TCustomDIBControl::SetOpacity(std::uint8_t value) {
  if (value == opacity_) return;
  opacity_ = value;
  Invalidate();
}

void TCustomDIBControl::SetAlign(TAlign value) {
  if (value > alClient) throw framework::EPropertyError("Invalid Align");
  if (value == align_) return;
  align_ = value;
  if (TCustomDIBContainer* c = Container()) c->Realign();
}

void TCustomDIBControl::RealignContainer() {
  // The container's layout depends on this control when it is aligned or
  // when the container fits itself to its children.
  if (TCustomDIBContainer* c = Container(); c && (align_ != alNone || c->AutoSize())) c->Realign();
}

void TCustomDIBControl::SetDIBImageList(image::TCustomDIBImageList* list) {
  if (list == imageList_) return;
  if (imageList_) imageList_->RemoveFreeNotification(this);
  imageList_ = list;
  if (list) list->FreeNotification(this);
  for (auto& link : links_) link->SetDIBImageList(list);
}

void TCustomDIBControl::SetDIBTabOrder(std::int16_t order) {
  TCustomDIBContainer* c = Container();
  if (IsLoading() || !c) {
    tabOrder_ = order;
    return;
  }
  const int place = c->PlaceInFocusList(this, order);
  tabOrder_ = static_cast<std::int16_t>(place < 0 ? order : place);
}

void TCustomDIBControl::Loaded() {
  framework::TControl::Loaded();
  framework::TComponent* root = Owner();
  while (root && root->Owner()) root = root->Owner();
  for (int i = 0; i < features_->Count(); ++i) features_->Items(i)->Loaded(root ? *root : *this);
  if (tabOrder_ >= 0) SetDIBTabOrder(tabOrder_);
}

void TCustomDIBControl::Notification(framework::TComponent* component, framework::Operation operation) {
  framework::TControl::Notification(component, operation);
  if (operation != framework::Operation::Remove || !component) return;
  if (component == imageList_) {
    imageList_ = nullptr;
    for (auto& link : links_)
      if (link->DIBImageList() == component) link->SetDIBImageList(nullptr);
  }
  if (children_)
    for (int i = children_->Count() - 1; i >= 0; --i)
      if (children_->Items(i)->Control() == component) children_->Delete(i);
}

// --- invalidation and bounds --------------------------------------------------

void TCustomDIBControl::MarkInvalidated() {
  lastInvalidateTime_ = static_cast<std::uint32_t>(framework::MonotonicMs());
  ++invalidateSerial_;
}

void TCustomDIBControl::Invalidate() {
  framework::TControl::Invalidate();
  if (!(inBoundsChange_ && sameSize_)) MarkInvalidated();
}

void TCustomDIBControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width,
                                  std::int32_t height) {
  if (inBoundsChange_) return;
  if (!BoundsInRange(left, top, width, height))
    throw framework::EPropertyError("Control " + Name() + " cannot be placed at " + std::to_string(left) +
                                    ", " + std::to_string(top) + " with size " + std::to_string(width) +
                                    " x " + std::to_string(height));
  {
    inBoundsChange_ = true;
    struct Guard {
      bool& flag;
      ~Guard() { flag = false; }
    } guard{inBoundsChange_};
    const std::int32_t oldLeft = Left(), oldTop = Top();
    sameSize_ = std::max(width, 0) == Width() && std::max(height, 0) == Height();
    framework::TControl::SetBounds(left, top, width, height);
    if (!sameSize_) MarkInvalidated();
    const std::int32_t dx = Left() - oldLeft, dy = Top() - oldTop;
    if ((dx != 0 || dy != 0) && children_) {
      for (int i = 0; i < children_->Count(); ++i)
        if (framework::TControl* c = children_->Items(i)->Control())
          c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
    }
  }
  // After the guard: the layout may move this control once more.
  RealignContainer();
}

// --- painting -----------------------------------------------------------------

void TCustomDIBControl::PaintSkinned(image::TAbstractSuperDIB& composed, image::TWinDIB& scratch) {
  struct Detach {
    TCustomDIBControl& c;
    ~Detach() {
      c.drawing_ = nullptr;
      c.canvas_ = nullptr;
    }
  } detach{*this};
  // The background under the control; only the part inside the container.
  const std::int32_t sx = std::max(Left(), 0), sy = std::max(Top(), 0);
  if (sx < composed.Width() && sy < composed.Height())
    composed.Draw(sx - Left(), sy - Top(), Width() - (sx - Left()), Height() - (sy - Top()), scratch,
                  static_cast<std::uint16_t>(sx), static_cast<std::uint16_t>(sy));
  drawing_ = &scratch;
  canvas_ = &scratch.Canvas();
  PaintStart();
  Paint();
  PaintEnd();
  scratch.SetOpacity(opacity_);
  scratch.Draw(Left(), Top(), Width(), Height(), composed, 0, 0);
}

void TCustomDIBControl::PaintInto(image::TAbstractSuperDIB& buffer) {
  struct Detach {
    TCustomDIBControl& c;
    ~Detach() {
      c.drawing_ = nullptr;
      c.canvas_ = nullptr;
    }
  } detach{*this};
  drawing_ = &buffer;
  if (auto* win = dynamic_cast<image::TCustomWinDIB*>(&buffer)) canvas_ = &win->Canvas();
  PaintStart();
  Paint();
  PaintEnd();
}

// Skinned controls live in containers, which compose them; a plain parent
// never holds one (construction refuses it).
void TCustomDIBControl::PaintControl(const framework::TPaintContext&) {}

void TCustomDIBControl::PaintEnd() {
  if (OnPaintEnd) OnPaintEnd(this);
}

void TCustomDIBControl::ExpandUpdateRect(framework::TRect&) {}

void TCustomDIBControl::PaintStart() {
  if (OnPaintStart) OnPaintStart(this);
}

void TCustomDIBControl::Paint() {
  if (OnPaint) OnPaint(this);
}

// --- messages -----------------------------------------------------------------

bool TCustomDIBControl::OfferToFeatures(TMessage& message) {
  return features_ && features_->Dispatch(message);
}

bool TCustomDIBControl::HitTest(std::int32_t x, std::int32_t y) {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return false;
  const int answer = features_ ? features_->HitTest(x, y) : -1;
  return answer != 0;
}

void TCustomDIBControl::WndProc(TMessage& m) {
  if (OfferToFeatures(m)) return;
  switch (m.Id) {
    case TMessageId::MouseDown:
      if (m.Button == framework::mbLeft) {
        repeatMessage_ = m;
        repeatMessage_.Shift &= ~framework::ssDouble;  // a repeat is a plain press
        if (repeatEnabled_ && !repeatTimer_->Running()) {
          stopRepeat_ = false;
          repeatTimer_->SetOnTimer(framework::TNotifyEvent([this](framework::TObject*) { RepeatTick(); }));
          repeatTimer_->SetInterval(static_cast<std::uint32_t>(std::max(repeatInterval_, 0)));
          repeatTimer_->SetEnabled(true);
        }
      }
      break;
    case TMessageId::MouseMove:
      if (inside_ && !entered_) DoMouseEnter();
      break;
    case TMessageId::MouseUp:
      if (m.Button == framework::mbLeft) {
        repeatTimer_->SetEnabled(false);
        if (entered_ && !inside_) DoMouseLeave();
      }
      break;
    case TMessageId::MouseEnter:
      return DoMouseEnter();
    case TMessageId::MouseLeave:
      return DoMouseLeave();
    case TMessageId::SetFocus:
      return DoDIBEnter();
    case TMessageId::KillFocus:
      return DoDIBExit();
    case TMessageId::KeyDown:
      return DoKeyDown(m);
    case TMessageId::KeyUp:
      return DoKeyUp(m);
    case TMessageId::Char:
      return DoKeyPress(m);
    case TMessageId::GetDialogCode:
      m.Result = dialogCode_;
      return;
    case TMessageId::DialogChar: {
      // The character must equal the accelerator exactly: 'B' and 'b' are
      // two different accelerators.
      TCustomDIBContainer* c = Container();
      if (accelerator_ != 0 && m.Key == static_cast<unsigned char>(accelerator_) &&
          (m.Shift & framework::ssAlt) && Enabled() && Visible() && c && c->CanFocus()) {
        Click();
        m.Result = 1;
      }
      return;
    }
    case TMessageId::EnabledChanged:
      if (!Enabled() && focused_) DoDIBExit();
      break;
    case TMessageId::VisibleChanged:
      RealignContainer();
      break;
    default:
      break;
  }
  framework::TControl::WndProc(m);
}

void TCustomDIBControl::RepeatTick() {
  if (stopRepeat_) {
    stopRepeat_ = false;
    repeatTimer_->SetEnabled(false);
    return;
  }
  // The whole press again, so that features see it and it takes the capture
  // like the first one.
  TMessage press = repeatMessage_;
  WndProc(press);
}

void TCustomDIBControl::DoMouseEnter() {
  if (!focused_ && !entered_) ShowActive();
  inside_ = true;
  entered_ = true;
  if (repeatEnabled_ && MouseCapture() && (pressed_ & framework::ssLeft) && !repeatTimer_->Running())
    repeatTimer_->SetEnabled(true);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TCustomDIBControl::DoMouseLeave() {
  inside_ = false;
  if (repeatTimer_->Running()) repeatTimer_->SetEnabled(false);
  if (MouseCapture()) return;  // completed at the left release
  entered_ = false;
  if (OnMouseLeave) OnMouseLeave(this);
  if (!focused_) ShowInactive();
}

void TCustomDIBControl::Click() {
  framework::TControl::Click();
  if (tabOrder_ >= 0 && !focused_) DoDIBEnter();
}

void TCustomDIBControl::MouseDown(framework::TMouseButton button, framework::TShiftState shift, int x,
                                  int y) {
  lastShift_ = shift;
  pressed_ |= framework::ButtonShift(button);
  if (tabOrder_ >= 0) DoDIBEnter();
  framework::TControl::MouseDown(button, shift, x, y);
}

void TCustomDIBControl::MouseUp(framework::TMouseButton button, framework::TShiftState shift, int x, int y) {
  lastShift_ = shift;
  pressed_ &= ~framework::ButtonShift(button);
  framework::TControl::MouseUp(button, shift, x, y);
  if (button == framework::mbLeft && entered_ && !inside_) DoMouseLeave();
}

// --- skinned focus ------------------------------------------------------------

void TCustomDIBControl::DoDIBEnter() {
  if (!Enabled() || focused_) return;
  const bool wasEntered = entered_;
  focused_ = true;
  if (TCustomDIBContainer* c = Container()) {
    c->SetActiveControl(this);
    c->SetFocus();
  }
  if (!wasEntered) ShowActive();
  if (OnEnter) OnEnter(this);
}

void TCustomDIBControl::DoDIBExit() {
  if (!focused_) return;
  focused_ = false;
  if (OnExit) OnExit(this);
  if (!inside_) ShowInactive();
}

// --- keys ---------------------------------------------------------------------

namespace {

// The parent form sees keys first when it previews them.
bool Previewed(const framework::TControl& control, TMessage& m) {
  framework::TCustomForm* form = framework::GetParentForm(&control);
  if (form && form->PreviewKey(m)) {
    m.Result = 1;
    return true;
  }
  return false;
}

}  // namespace

void TCustomDIBControl::DoKeyDown(TMessage& m) {
  if (Previewed(*this, m)) return;
  lastShift_ = m.Shift;
  std::uint16_t key = m.Key;
  KeyDown(key, m.Shift);
  m.Key = key;
  if (key == 0) m.Result = 1;
}

void TCustomDIBControl::DoKeyUp(TMessage& m) {
  if (Previewed(*this, m)) return;
  lastShift_ = m.Shift;
  std::uint16_t key = m.Key;
  KeyUp(key, m.Shift);
  m.Key = key;
  if (key == 0) m.Result = 1;
}

void TCustomDIBControl::DoKeyPress(TMessage& m) {
  if (Previewed(*this, m)) return;
  char ch = static_cast<char>(m.Key);
  KeyPress(ch);
  m.Key = static_cast<std::uint8_t>(ch);
  if (ch == 0) m.Result = 1;
}

void TCustomDIBControl::KeyDown(std::uint16_t& key, framework::TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TCustomDIBControl::KeyUp(std::uint16_t& key, framework::TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TCustomDIBControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

// --- templates ----------------------------------------------------------------
//
// u32 count, then per property: u8 name length, name, then one value: 'b' u8,
// 'i' i64, 'e' 10-byte extended, 's' u32 length + bytes, 'n' u8 length + name,
// 'S' u8 count + names.

namespace {

void WriteName(framework::TStream& s, const std::string& name) {
  if (name.size() > 255) throw framework::EWriteError("Name too long for a template: " + name.substr(0, 40));
  s.WriteU8(static_cast<std::uint8_t>(name.size()));
  s.WriteBuffer(name.data(), name.size());
}

std::string ReadName(framework::TStream& s) {
  std::string out(s.ReadU8(), '\0');
  s.ReadBuffer(out.data(), out.size());
  return out;
}

}  // namespace

void TCustomDIBControl::WriteTemplate(framework::TStream& s) {
  if (!imageList_) throw EDIBControlError("No DIB image list has been assigned.");
  s.WriteU32(static_cast<std::uint32_t>(templateProperties_.size()));
  for (const std::string& name : templateProperties_) {
    WriteName(s, name);
    const framework::Value v = framework::GetPropertyValue(*this, name);
    std::visit(
        [&](const auto& x) {
          using X = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<X, bool>) {
            s.WriteU8('b');
            s.WriteU8(x ? 1 : 0);
          } else if constexpr (std::is_same_v<X, std::int64_t>) {
            s.WriteU8('i');
            const auto u = static_cast<std::uint64_t>(x);
            s.WriteU32(static_cast<std::uint32_t>(u));
            s.WriteU32(static_cast<std::uint32_t>(u >> 32));
          } else if constexpr (std::is_same_v<X, long double>) {
            std::uint8_t b[10];
            framework::form::EncodeExtended(x, b);
            s.WriteU8('e');
            s.WriteBuffer(b, 10);
          } else if constexpr (std::is_same_v<X, std::string>) {
            s.WriteU8('s');
            s.WriteU32(static_cast<std::uint32_t>(x.size()));
            s.WriteBuffer(x.data(), x.size());
          } else if constexpr (std::is_same_v<X, framework::Ident>) {
            s.WriteU8('n');
            WriteName(s, x.name);
          } else if constexpr (std::is_same_v<X, framework::SetNames>) {
            s.WriteU8('S');
            s.WriteU8(static_cast<std::uint8_t>(x.size()));
            for (const auto& n : x) WriteName(s, n);
          } else {
            throw EDIBControlError("Attempting to template an invalid property type.");
          }
        },
        v.v);
  }
}

void TCustomDIBControl::ReadTemplate(framework::TStream& s) {
  const std::uint32_t count = s.ReadU32();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string name = ReadName(s);
    framework::Value v;
    switch (s.ReadU8()) {
      case 'b':
        v = framework::Value(s.ReadU8() != 0);
        break;
      case 'i': {
        std::uint64_t u = s.ReadU32();
        u |= static_cast<std::uint64_t>(s.ReadU32()) << 32;
        v = framework::Value(static_cast<std::int64_t>(u));
        break;
      }
      case 'e': {
        std::uint8_t b[10];
        s.ReadBuffer(b, 10);
        v = framework::Value(framework::form::DecodeExtended(b));
        break;
      }
      case 's': {
        const std::uint32_t n = s.ReadU32();
        if (n > s.Remaining()) throw framework::EReadError("Template string runs past the end of the stream");
        std::string text(n, '\0');
        s.ReadBuffer(text.data(), n);
        v = framework::Value(std::move(text));
        break;
      }
      case 'n':
        v = framework::Value(framework::Ident{ReadName(s)});
        break;
      case 'S': {
        framework::SetNames names(s.ReadU8());
        for (auto& n : names) n = ReadName(s);
        v = framework::Value(std::move(names));
        break;
      }
      default:
        throw framework::EReadError("Invalid value in template " + name);
    }
    if (std::find(templateProperties_.begin(), templateProperties_.end(), name) == templateProperties_.end())
      throw EDIBControlError(name + " is not a template property of " + ClassName());
    framework::SetPropertyValue(*this, name, v);
  }
}

}  // namespace skin
