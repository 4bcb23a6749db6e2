#include "skin/cDIBPanel.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "framework/window/WindowSystem.h"
#include "skin/cDIBBorder.h"
#include "skin/cDIBControl.h"
#include "skin/cDIBFeatures.h"
#include "skin/cDIBImage.h"
#include "skin/cDIBKnob.h"
#include "skin/cDIBTimer.h"

namespace skin {

using framework::TMessage;
using framework::TMessageId;
using framework::TPoint;
using framework::TRect;

namespace {

bool IsEmpty(const TRect& r) {
  return r.Right <= r.Left || r.Bottom <= r.Top;
}

TRect Intersect(const TRect& a, const TRect& b) {
  return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
}

bool Contains(const TRect& r, TPoint p) {
  return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

// Whether outer holds all of inner (an empty inner is held by anything).
bool Covers(const TRect& outer, const TRect& inner) {
  return IsEmpty(inner) || (inner.Left >= outer.Left && inner.Top >= outer.Top &&
                            inner.Right <= outer.Right && inner.Bottom <= outer.Bottom);
}

std::uint16_t Side(std::int64_t v) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 1, 65535));
}

// The composed buffer (and so every scratch buffer, which never exceeds
// the container's area) stays within a 64 MB picture, 16 million pixels:
// far beyond any editor, and a hostile form cannot ask for gigabytes.
constexpr std::int64_t kMaxContainerPixels = std::int64_t{1} << 24;

}  // namespace

// --- class descriptions -------------------------------------------------------

const framework::ClassInfo& TCustomDIBContainer::StaticClassInfo() {
  using C = TCustomDIBContainer;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<C, framework::TCustomControl>("TCustomDIBContainer")
          .Boolean(
              "AutoSize", [](C& c) { return c.AutoSize(); }, [](C& c, bool v) { c.SetAutoSize(v); })
          .Default(false)
          .Enum(
              "BorderDrawPosition", {"bdOverControls", "bdUnderControls"},
              [](C& c) { return static_cast<int>(c.BorderDrawPosition()); },
              [](C& c, int v) { c.SetBorderDrawPosition(static_cast<TBorderDrawPosition>(v)); })
          .Default(framework::Value(framework::Ident{"bdOverControls"}))
          .Reference<TDIBBorder>(
              "DIBBorder", [](C& c) { return c.DIBBorder(); }, [](C& c, TDIBBorder* b) { c.SetDIBBorder(b); })
          .Event("AfterPaint", [](C& c) -> framework::TNotifyEvent& { return c.AfterPaint; })
          .Event("BeforePaint", [](C& c) -> framework::TNotifyEvent& { return c.BeforePaint; })
          .Event("OnActiveControlChange",
                 [](C& c) -> framework::TNotifyEvent& { return c.OnActiveControlChange; })
          .Build();
  return info;
}

const framework::ClassInfo& TCustomDIBImageContainer::StaticClassInfo() {
  using C = TCustomDIBImageContainer;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<C, TCustomDIBContainer>("TCustomDIBImageContainer")
          .Object("IndexImage", [](C& c) -> framework::TPersistent* { return &c.IndexImage(); })
          .Enum(
              "TileMethod", {"tmCenter", "tmTile"}, [](C& c) { return static_cast<int>(c.TileMethod()); },
              [](C& c, int v) { c.SetTileMethod(static_cast<TTileMethod>(v)); })
          .Default(framework::Value(framework::Ident{"tmCenter"}))
          .Build();
  return info;
}

const framework::ClassInfo& TDIBImageContainer::StaticClassInfo() {
  using C = TDIBImageContainer;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<C, TCustomDIBImageContainer>("TDIBImageContainer")
          .Reference<image::TCustomDIBImageList>(
              "DIBImageList", [](C& c) { return c.DIBImageList(); },
              [](C& c, image::TCustomDIBImageList* l) { c.SetDIBImageList(l); })
          .Build();
  return info;
}

void RegisterSkinClasses() {
  framework::RegisterWindowClasses();
  image::RegisterImageListClasses();
  framework::RegisterClasses<TDIBImageContainer, TDIBImage, TDIBKnob, TDIBBorder, TDIBTimer, TMoveableDIB,
                             THighlightDIB, TShapeableDIB>();
}

// --- the container ------------------------------------------------------------

TCustomDIBContainer::TCustomDIBContainer(framework::TComponent* owner) : framework::TCustomControl(owner) {
  SetControlStyle(framework::csAcceptsControls | framework::csCaptureMouse | framework::csClickEvents |
                  framework::csDoubleClicks | framework::csOpaque);
  SetTabStop(false);
}

TCustomDIBContainer::~TCustomDIBContainer() {
  focusList_.clear();
  active_ = nullptr;
}

void TCustomDIBContainer::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width,
                                    std::int32_t height) {
  if (width > 65535 || height > 65535 ||
      std::int64_t{std::max(width, 0)} * std::max(height, 0) > kMaxContainerPixels ||
      !BoundsInRange(left, top, width, height))
    throw framework::EPropertyError("A skinned container cannot be " + std::to_string(width) + " x " +
                                    std::to_string(height) + " pixels large");
  const std::int32_t oldWidth = Width(), oldHeight = Height();
  framework::TCustomControl::SetBounds(left, top, width, height);
  if (IsLoading()) return;
  ResizeComposed();
  if (Width() != oldWidth || Height() != oldHeight) Realign();
}

void TCustomDIBContainer::Loaded() {
  framework::TCustomControl::Loaded();
  ResizeComposed();
  BuildFocusOrder();
  Realign();
}

void TCustomDIBContainer::SetDIBBorder(TDIBBorder* border) {
  if (border == border_) return;
  if (border_) border_->RemoveFreeNotification(this);
  border_ = border;
  if (border_) border_->FreeNotification(this);
  Realign();
  Invalidate();
}

void TCustomDIBContainer::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  Realign();
}

void TCustomDIBContainer::Realign() {
  if (aligning_ || IsLoading()) return;
  aligning_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{aligning_};
  if (autoSize_) AdjustSize();
  AlignControls();
}

void TCustomDIBContainer::AdjustSize() {
  bool any = false;
  std::int32_t right = 0, bottom = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    const framework::TControl* c = Controls(i);
    const auto* d = dynamic_cast<const TCustomDIBControl*>(c);
    if (!c->Visible() || (d && d->Align() != alNone)) continue;
    right = any ? std::max(right, c->Left() + c->Width()) : c->Left() + c->Width();
    bottom = any ? std::max(bottom, c->Top() + c->Height()) : c->Top() + c->Height();
    any = true;
  }
  if (!any) return;
  // The border's right and bottom edges go beyond the children.
  const TRect client = DIBClientRect();
  SetBounds(Left(), Top(), right + (Width() - client.Right), bottom + (Height() - client.Bottom));
}

void TCustomDIBContainer::AlignControls() {
  TRect r = DIBClientRect();
  for (TAlign align : {alTop, alBottom, alLeft, alRight, alClient})
    for (int i = 0; i < ControlCount(); ++i) {
      auto* d = dynamic_cast<TCustomDIBControl*>(Controls(i));
      if (!d || d->Align() != align || !d->Visible()) continue;
      const std::int32_t w = std::max(r.Right - r.Left, 0), h = std::max(r.Bottom - r.Top, 0);
      switch (align) {
        case alTop:
          d->SetBounds(r.Left, r.Top, w, d->Height());
          r.Top += d->Height();
          break;
        case alBottom:
          d->SetBounds(r.Left, r.Bottom - d->Height(), w, d->Height());
          r.Bottom -= d->Height();
          break;
        case alLeft:
          d->SetBounds(r.Left, r.Top, d->Width(), h);
          r.Left += d->Width();
          break;
        case alRight:
          d->SetBounds(r.Right - d->Width(), r.Top, d->Width(), h);
          r.Right -= d->Width();
          break;
        default:
          d->SetBounds(r.Left, r.Top, w, h);
          break;
      }
    }
}

void TCustomDIBContainer::SetBorderDrawPosition(TBorderDrawPosition value) {
  if (value > bdUnderControls) throw framework::EPropertyError("Invalid BorderDrawPosition");
  borderDrawPosition_ = value;
  Invalidate();
}

TRect TCustomDIBContainer::DIBClientRect() {
  TRect r = ClientRect();
  if (!border_) return r;
  r.Left += border_->BorderLeft().EdgeSize();
  r.Right -= border_->BorderRight().EdgeSize();
  r.Top += border_->BorderTop().EdgeSize();
  r.Bottom -= border_->BorderBottom().EdgeSize();
  return r;
}

void TCustomDIBContainer::Notification(framework::TComponent* component, framework::Operation operation) {
  framework::TCustomControl::Notification(component, operation);
  if (operation != framework::Operation::Remove || !component) return;
  focusList_.erase(std::remove_if(focusList_.begin(), focusList_.end(),
                                  [&](TCustomDIBControl* c) {
                                    return static_cast<framework::TComponent*>(c) == component;
                                  }),
                   focusList_.end());
  if (static_cast<framework::TComponent*>(active_) == component) active_ = nullptr;
  if (static_cast<framework::TComponent*>(border_) == component) {
    border_ = nullptr;
    Realign();
    Invalidate();
  }
  SetTabStop(!focusList_.empty());
}

// --- painting -----------------------------------------------------------------

void TCustomDIBContainer::PaintWindow(const TRect& rect) {
  if (Width() <= 0 || Height() <= 0) return;
  ResizeComposed();
  const TRect r = Intersect(rect, ClientRect());
  if (IsEmpty(r)) return;
  updateRect_ = r;
  if (!expanded_) {
    TRect e = r;
    for (int i = 0; i < ControlCount(); ++i)
      if (auto* c = dynamic_cast<TCustomDIBControl*>(Controls(i)); c && c->Visible()) c->ExpandUpdateRect(e);
    if (e.Left != r.Left || e.Top != r.Top || e.Right != r.Right || std::abs(e.Bottom - r.Bottom) > 2) {
      // The enlarged area is painted by the next paint request.
      expanded_ = true;
      InvalidateRect(e);
      return;
    }
  }
  expanded_ = false;
  composed_.SetClipRect(r.Left, r.Top, r.Right - 1, r.Bottom - 1);
  PaintBefore();
  PaintBackground();
  if (border_ && borderDrawPosition_ == bdUnderControls) DrawBorder();
  ComposeChildren();
  PaintAfter();
  if (IsEmpty(composedArea_) || Covers(r, composedArea_)) composedArea_ = r;
  Present(composed_.Bits(), composed_.Width(), composed_.Height(), r);
}

void TCustomDIBContainer::WindowExposed(const TRect& rect) {
  if (!Covers(composedArea_, rect)) return framework::TCustomControl::WindowExposed(rect);
  // A hidden container is presented when it shows again.
  if (Showing()) Present(composed_.Bits(), composed_.Width(), composed_.Height(), rect);
}

void TCustomDIBContainer::ResizeComposed() {
  if (composed_.Width() == Side(Width()) && composed_.Height() == Side(Height())) return;
  composed_.SetSize(Side(Width()), Side(Height()));
  composedArea_ = {};
}

void TCustomDIBContainer::FillBackground() {
  const TRect& r = updateRect_;
  if (r == ClientRect())
    composed_.Fill(Color());
  else
    composed_.FillRect(Color(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

void TCustomDIBContainer::Paint() {
  FillBackground();
}

void TCustomDIBContainer::PaintBackground() {
  // What an opaque child covers it paints itself, so the background leaves
  // it out: Paint runs once for each piece of the update rectangle that no
  // such child covers, with that piece as the update and clip rectangle.
  std::vector<TRect> pieces{updateRect_};
  for (int i = 0; i < ControlCount(); ++i) {
    const framework::TControl* c = Controls(i);
    if (!(c->ControlStyle() & framework::csOpaque) || !c->Visible()) continue;
    const TRect cover = c->BoundsRect();
    std::vector<TRect> rest;
    for (const TRect& p : pieces) {
      const TRect x = Intersect(p, cover);
      if (IsEmpty(x)) {
        rest.push_back(p);
        continue;
      }
      // The bands above and below the covered part, then left and right of it.
      for (const TRect& band :
           {TRect{p.Left, p.Top, p.Right, x.Top}, TRect{p.Left, x.Bottom, p.Right, p.Bottom},
            TRect{p.Left, x.Top, x.Left, x.Bottom}, TRect{x.Right, x.Top, p.Right, x.Bottom}})
        if (!IsEmpty(band)) rest.push_back(band);
    }
    pieces = std::move(rest);
  }
  if (pieces.size() == 1 && pieces[0] == updateRect_) return Paint();
  const TRect whole = updateRect_;
  for (const TRect& p : pieces) {
    updateRect_ = p;
    composed_.SetClipRect(p.Left, p.Top, p.Right - 1, p.Bottom - 1);
    Paint();
  }
  updateRect_ = whole;
  composed_.SetClipRect(whole.Left, whole.Top, whole.Right - 1, whole.Bottom - 1);
}

void TCustomDIBContainer::PaintBefore() {
  if (BeforePaint) BeforePaint(this);
}

void TCustomDIBContainer::PaintAfter() {
  if (border_ && borderDrawPosition_ == bdOverControls) DrawBorder();
  if (AfterPaint) AfterPaint(this);
}

void TCustomDIBContainer::DrawBorder() {
  border_->Draw(composed_, ClientRect());
}

void TCustomDIBContainer::ComposeChildren() {
  const TRect clip = composed_.ClipRect();  // inclusive
  for (int i = 0; i < ControlCount(); ++i) {
    framework::TControl* c = Controls(i);
    if (dynamic_cast<framework::TWinControl*>(c) || !c->Visible() || c->Width() <= 0 || c->Height() <= 0)
      continue;
    const TRect area = Intersect(c->BoundsRect(), updateRect_);
    if (IsEmpty(area)) continue;
    if (auto* d = dynamic_cast<TCustomDIBControl*>(c)) {
      // Columns and rows past the container's right and bottom never show,
      // so the scratch stops there: a huge control costs no more than the
      // container.
      const std::int64_t needW = std::min<std::int64_t>(c->Width(), std::int64_t{Width()} - c->Left());
      const std::int64_t needH = std::min<std::int64_t>(c->Height(), std::int64_t{Height()} - c->Top());
      if (needW <= 0 || needH <= 0 || needW > 65535 || needH > 65535 || needW * needH > kMaxContainerPixels)
        continue;
      image::TWinDIB& scratch = Scratch(Side(needW), Side(needH));
      scratch.ResetDefaults();
      scratch.SelectRowRoutine();
      scratch.SetClipRect(clip.Left - c->Left(), clip.Top - c->Top(), clip.Right - c->Left(),
                          clip.Bottom - c->Top());
      d->PaintSkinned(composed_, scratch);
    } else {
      c->PaintControl(framework::TPaintContext{
          composed_.Bits(), composed_.Width(), composed_.Height(), {c->Left(), c->Top()}, area});
    }
  }
}

void TCustomDIBContainer::ReleaseScratch() {
  scratch_ = nullptr;
  scratches_.clear();
}

image::TWinDIB& TCustomDIBContainer::Scratch(std::uint16_t w, std::uint16_t h) {
  constexpr std::size_t kKept = 16;
  for (auto it = scratches_.begin(); it != scratches_.end(); ++it)
    if ((*it)->Width() == w && (*it)->Height() == h) {
      std::rotate(it, it + 1, scratches_.end());
      return *(scratch_ = scratches_.back().get());
    }
  if (scratches_.size() >= kKept) scratches_.erase(scratches_.begin());
  scratches_.push_back(std::make_unique<image::TWinDIB>(w, h));
  return *(scratch_ = scratches_.back().get());
}

// --- mouse --------------------------------------------------------------------

framework::TControl* TCustomDIBContainer::DIBControlAt(TPoint p) {
  for (int i = ControlCount() - 1; i >= 0; --i) {
    framework::TControl* c = Controls(i);
    // The cheap tests first: most children are not under the point.
    if (!Contains(c->BoundsRect(), p) || !c->Visible() || !c->Enabled() ||
        dynamic_cast<framework::TWinControl*>(c))
      continue;
    if (auto* d = dynamic_cast<TCustomDIBControl*>(c); d && !d->HitTest(p.X - c->Left(), p.Y - c->Top()))
      continue;
    return c;
  }
  return nullptr;
}

void TCustomDIBContainer::HandOverCapture(const TMessage& m) {
  framework::TControl* capture = CaptureControl();
  if (!capture) return;
  const TPoint p{m.X, m.Y};
  if (capture != this && capture->Parent() != this) return;  // not one of ours
  const TRect captureRect = capture == this ? ClientRect() : capture->BoundsRect();
  if (Contains(captureRect, p)) return;
  if (capture != this) capture->Perform(TMessageId::MouseLeave);
  framework::TControl* under = nullptr;
  if (Contains(ClientRect(), p)) {
    under = DIBControlAt(p);
    if (!under) under = this;
  } else if (framework::TWinControl* top = TopWindow(); top && top != this) {
    const TPoint w = ClientToWindow(p);
    if (Contains(top->ClientRect(), w)) under = top->FindControlAt(w);
  }
  if (under) under->Perform(TMessageId::MouseEnter);
}

void TCustomDIBContainer::WndProc(TMessage& m) {
  switch (m.Id) {
    case TMessageId::MouseDown:
    case TMessageId::MouseMove:
    case TMessageId::MouseUp: {
      if (m.Id == TMessageId::MouseUp && m.Button == framework::mbLeft) HandOverCapture(m);
      if (CaptureControl()) break;
      // A shaped control lets the point through to what lies beneath it.
      framework::TControl* plain = ControlAtPos({m.X, m.Y}, false, true);
      if (!dynamic_cast<TCustomDIBControl*>(plain)) break;
      framework::TControl* target = DIBControlAt({m.X, m.Y});
      if (target == plain) break;
      if (!target) return framework::TControl::WndProc(m);
      TMessage cm = m;
      cm.X -= target->Left();
      cm.Y -= target->Top();
      target->WndProc(cm);
      m.Result = cm.Result;
      return;
    }
    case TMessageId::GetDialogCode:
      m.Result = framework::dcWantAllKeys;
      return;
    case TMessageId::KeyDown:
    case TMessageId::KeyUp:
    case TMessageId::Char:
      if (RouteKey(m)) return;
      break;
    default:
      break;
  }
  framework::TCustomControl::WndProc(m);
}

// --- keys and focus -----------------------------------------------------------

bool TCustomDIBContainer::RouteKey(TMessage& m) {
  if (active_ && (active_->IsShortCut(m) || active_->ClaimsSpecialKey(m))) return false;
  const bool tab = m.Id == TMessageId::KeyDown && m.Key == framework::VK_TAB &&
                   (m.Shift & (framework::ssCtrl | framework::ssAlt)) == 0;
  const std::intptr_t code = active_ ? active_->Perform(TMessageId::GetDialogCode) : 0;
  if (tab && !(code & (framework::dcWantTab | framework::dcWantAllKeys))) {
    // Handled here, or left (Result 0, key kept) to the framework so that
    // the focus leaves the container.
    m.Result = HandleTab((m.Shift & framework::ssShift) == 0) ? 1 : 0;
    return true;
  }
  if (!active_) return false;
  std::intptr_t need = 0;
  const bool keyMessage = m.Id != TMessageId::Char;
  switch (m.Key) {
    case framework::VK_CANCEL:
    case framework::VK_RETURN:
    case framework::VK_ESCAPE:
      need = framework::dcWantAllKeys;
      break;
    case framework::VK_EXECUTE:
      if (keyMessage) need = framework::dcWantAllKeys;
      break;
    case framework::VK_TAB:
      need = framework::dcWantTab;
      break;
    case framework::VK_LEFT:
    case framework::VK_UP:
    case framework::VK_RIGHT:
    case framework::VK_DOWN:
      if (keyMessage) need = framework::dcWantArrows;
      break;
    default:
      break;
  }
  if (need && !(code & need) && !(code & framework::dcWantAllKeys)) return false;
  TMessage cm = m;
  active_->WndProc(cm);
  m.Key = cm.Key;
  m.Result = cm.Result;
  return true;
}

std::vector<framework::TControl*> TCustomDIBContainer::FocusCycle() const {
  // A windowed child's place is its tab order plus the number of children,
  // so all of them come after the skinned places, in tab order.
  std::vector<framework::TControl*> cycle(focusList_.begin(), focusList_.end());
  std::vector<framework::TWinControl*> windowed;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* w = dynamic_cast<framework::TWinControl*>(Controls(i))) windowed.push_back(w);
  std::stable_sort(windowed.begin(), windowed.end(),
                   [](const framework::TWinControl* x, const framework::TWinControl* y) {
                     return x->TabOrder() < y->TabOrder();
                   });
  cycle.insert(cycle.end(), windowed.begin(), windowed.end());
  return cycle;
}

framework::TControl* TCustomDIBContainer::FindNextDIBControl(bool forward, bool* wrapped) const {
  if (wrapped) *wrapped = false;
  const std::vector<framework::TControl*> cycle = FocusCycle();
  const int n = static_cast<int>(cycle.size());
  if (n == 0) return nullptr;
  const auto found = std::find(cycle.begin(), cycle.end(), static_cast<framework::TControl*>(active_));
  const int start = found != cycle.end() ? static_cast<int>(found - cycle.begin()) : (forward ? -1 : n);
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = forward ? i + 1 : i - 1;
    if (i >= n) i = 0;
    if (i < 0) i = n - 1;
    framework::TControl* c = cycle[static_cast<std::size_t>(i)];
    // A skinned control only has to be enabled; a windowed one has to be a
    // tab stop that can take the focus, as in the framework's own order.
    auto* w = dynamic_cast<framework::TWinControl*>(c);
    if (w ? w->TabStop() && w->CanFocus() : c->Enabled()) {
      if (wrapped) *wrapped = forward ? i <= start : i >= start;
      return c;
    }
  }
  return nullptr;
}

bool TCustomDIBContainer::HandleTab(bool forward) {
  bool wrapped = false;
  framework::TControl* next = FindNextDIBControl(forward, &wrapped);
  if (!next || wrapped) {
    SetActiveControl(nullptr);
    return false;
  }
  tabbing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{tabbing_};
  if (auto* skinned = dynamic_cast<TCustomDIBControl*>(next))
    SetActiveControl(skinned);
  else
    static_cast<framework::TWinControl*>(next)->SetFocus();  // the container's exit clears the active control
  return true;
}

void TCustomDIBContainer::SetActiveControl(TCustomDIBControl* control) {
  if (changing_) return;
  changing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{changing_};
  if (control != active_ && active_) {
    TCustomDIBControl* old = active_;
    old->Perform(TMessageId::KillFocus);
  }
  active_ = control;
  if (control) control->Perform(TMessageId::SetFocus);
  if (OnActiveControlChange) OnActiveControlChange(this);
  Invalidate();
}

int TCustomDIBContainer::PlaceInFocusList(TCustomDIBControl* control, int n) {
  focusList_.erase(std::remove(focusList_.begin(), focusList_.end(), control), focusList_.end());
  int place = -1;
  if (n >= static_cast<int>(focusList_.size())) {
    focusList_.push_back(control);
    place = static_cast<int>(focusList_.size()) - 1;
  } else if (n >= 0) {
    focusList_.insert(focusList_.begin() + n, control);
    place = n;
  }
  SetTabStop(!focusList_.empty());
  return place;
}

void TCustomDIBContainer::BuildFocusOrder() {
  // Ordered by DIBTabOrder; equal values keep their creation order rather
  // than one taking the other's place.
  std::vector<TCustomDIBControl*> list;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* c = dynamic_cast<TCustomDIBControl*>(Controls(i)); c && c->DIBTabOrder() >= 0)
      list.push_back(c);
  std::stable_sort(list.begin(), list.end(), [](TCustomDIBControl* a, TCustomDIBControl* b) {
    return a->DIBTabOrder() < b->DIBTabOrder();
  });
  focusList_ = std::move(list);
  SetTabStop(!focusList_.empty());
}

void TCustomDIBContainer::DoEnter() {
  if (!active_ && !focusList_.empty()) {
    const framework::TWindowSystem* system = WindowSystem();
    const bool back = system && (system->KeyboardState() & framework::ssShift) != 0;
    std::vector<TCustomDIBControl*> enabled;
    for (TCustomDIBControl* c : focusList_)
      if (c->Enabled()) enabled.push_back(c);
    if (!enabled.empty()) SetActiveControl(back ? enabled.back() : enabled.front());
  }
  framework::TCustomControl::DoEnter();
}

void TCustomDIBContainer::DoExit() {
  SetActiveControl(nullptr);
  framework::TCustomControl::DoExit();
}

// --- image container ----------------------------------------------------------

TCustomDIBImageContainer::TCustomDIBImageContainer(framework::TComponent* owner)
    : TCustomDIBContainer(owner), indexImage_(this) {
  indexImage_.OnImageChanged.Bind(
      [this](framework::TObject*, int index, int kind) { ImageChanged(index, kind); });
}

TCustomDIBImageContainer::~TCustomDIBImageContainer() {
  if (indexImage_.DIBImageList()) indexImage_.DIBImageList()->RemoveFreeNotification(this);
}

void TCustomDIBImageContainer::SetDIBImageList(image::TCustomDIBImageList* list) {
  if (list == indexImage_.DIBImageList()) return;
  if (indexImage_.DIBImageList()) indexImage_.DIBImageList()->RemoveFreeNotification(this);
  indexImage_.SetDIBImageList(list);
  if (list) list->FreeNotification(this);
  Invalidate();
}

void TCustomDIBImageContainer::SetTileMethod(TTileMethod value) {
  if (value > tmTile) throw framework::EPropertyError("Invalid TileMethod");
  tileMethod_ = value;
  Invalidate();
}

void TCustomDIBImageContainer::ImageChanged(int index, int kind) {
  // The link has already renumbered itself (a deleted own image leaves -1).
  if (kind == image::kImageDeleted || index == indexImage_.DIBIndex()) Invalidate();
}

void TCustomDIBImageContainer::Notification(framework::TComponent* component,
                                            framework::Operation operation) {
  TCustomDIBContainer::Notification(component, operation);
  if (operation == framework::Operation::Remove && component &&
      static_cast<framework::TComponent*>(indexImage_.DIBImageList()) == component) {
    indexImage_.SetDIBImageList(nullptr);
    Invalidate();
  }
}

void TCustomDIBImageContainer::Paint() {
  image::TAbstractSuperDIB* img = nullptr;
  if (!indexImage_.GetImage(img)) return FillBackground();
  const std::int32_t iw = img->Width(), ih = img->Height();
  image::TWinDIB& out = ComposedBuffer();
  if (TileMethod() == tmCenter) {
    if (iw != Width() || ih != Height()) FillBackground();
    img->Draw(Width() / 2 - iw / 2, Height() / 2 - ih / 2, iw, ih, out, 0, 0);
    return;
  }
  if (ih <= 0 || iw <= 0) return;
  const TRect clip = out.ClipRect();  // inclusive
  const TRect& update = UpdateRect();
  for (std::int32_t y = clip.Top - clip.Top % ih; y <= clip.Bottom; y += ih)
    for (std::int32_t x = clip.Left - clip.Left % iw; x <= clip.Right; x += iw) {
      if (IsEmpty(Intersect(TRect{x, y, x + iw, y + ih}, update))) continue;
      img->Draw(x, y, iw, ih, out, 0, 0);
    }
}

}  // namespace skin
