#include "skin/cDIBBorder.h"

#include <algorithm>

namespace skin {

const framework::ClassInfo& TDIBBorderEdge::StaticClassInfo() {
  using E = TDIBBorderEdge;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<E, framework::TPersistent>("TDIBBorderEdge")
          .Boolean(
              "AutoCalcSize", [](E& e) { return e.AutoCalcSize(); },
              [](E& e, bool v) { e.SetAutoCalcSize(v); })
          .Default(true)
          .Enum(
              "DrawStyle", {"dsTile", "dsStretch"}, [](E& e) { return static_cast<int>(e.DrawStyle()); },
              [](E& e, int v) { e.SetDrawStyle(static_cast<TDIBBorderDrawStyle>(v)); })
          .Default(framework::Value(framework::Ident{"dsTile"}))
          .Integer(
              "Size", [](E& e) { return e.Size(); }, [](E& e, std::int32_t v) { e.SetSize(v); })
          .Default(32)
          .Build();
  return info;
}

const framework::ClassInfo& TDIBHorzBorderEdge::StaticClassInfo() {
  using E = TDIBHorzBorderEdge;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<E, TDIBBorderEdge>("TDIBHorzBorderEdge")
          .Object("ImageLeft", [](E& e) -> framework::TPersistent* { return &e.Start(); })
          .Object("ImageMiddle", [](E& e) -> framework::TPersistent* { return &e.Middle(); })
          .Object("ImageRight", [](E& e) -> framework::TPersistent* { return &e.End(); })
          .Build();
  return info;
}

const framework::ClassInfo& TDIBVertBorderEdge::StaticClassInfo() {
  using E = TDIBVertBorderEdge;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<E, TDIBBorderEdge>("TDIBVertBorderEdge")
          .Object("ImageTop", [](E& e) -> framework::TPersistent* { return &e.Start(); })
          .Object("ImageMiddle", [](E& e) -> framework::TPersistent* { return &e.Middle(); })
          .Object("ImageBottom", [](E& e) -> framework::TPersistent* { return &e.End(); })
          .Build();
  return info;
}

const framework::ClassInfo& TDIBBorder::StaticClassInfo() {
  using B = TDIBBorder;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<B, framework::TComponent>("TDIBBorder")
          .Object("BorderBottom", [](B& b) -> framework::TPersistent* { return &b.BorderBottom(); })
          .Object("BorderLeft", [](B& b) -> framework::TPersistent* { return &b.BorderLeft(); })
          .Object("BorderRight", [](B& b) -> framework::TPersistent* { return &b.BorderRight(); })
          .Object("BorderTop", [](B& b) -> framework::TPersistent* { return &b.BorderTop(); })
          .Reference<image::TCustomDIBImageList>(
              "DIBImageList", [](B& b) { return b.DIBImageList(); },
              [](B& b, image::TCustomDIBImageList* l) { b.SetDIBImageList(l); })
          .Build();
  return info;
}

// --- edges --------------------------------------------------------------------

TDIBBorderEdge::TDIBBorderEdge(TDIBBorder* border, TDIBBorderSide side)
    : side_(side), start_(border), middle_(border), end_(border) {}

void TDIBBorderEdge::SetDrawStyle(TDIBBorderDrawStyle value) {
  if (value > dsStretch) throw framework::EPropertyError("Invalid DrawStyle");
  drawStyle_ = value;
}

void TDIBBorderEdge::SetAutoCalcSize(bool value) {
  autoCalcSize_ = value;
}

void TDIBBorderEdge::SetSize(std::int32_t value) {
  if (value < 0) throw framework::EPropertyError("Size cannot be negative: " + std::to_string(value));
  size_ = value;
}

void TDIBBorderEdge::SetDIBImageList(image::TCustomDIBImageList* list) {
  start_.SetDIBImageList(list);
  middle_.SetDIBImageList(list);
  end_.SetDIBImageList(list);
}

std::int32_t TDIBBorderEdge::ImageSize() {
  std::int32_t size = 0;
  image::TAbstractSuperDIB* img = nullptr;
  for (image::TDIBImageLink* link : {&start_, &middle_, &end_})
    if (link->GetImage(img)) size = std::max<std::int32_t>(size, Vertical() ? img->Width() : img->Height());
  return size;
}

std::int32_t TDIBBorderEdge::EdgeSize() {
  return autoCalcSize_ ? ImageSize() : size_;
}

void TDIBBorderEdge::Draw(image::TAbstractSuperDIB& dest, const framework::TRect& rect) {
  // The lookups share one alias, so each image is used before the next is fetched.
  image::TAbstractSuperDIB* img = nullptr;
  const bool vertical = Vertical();
  auto along = [&](const image::TAbstractSuperDIB& i) -> std::int32_t {
    return vertical ? i.Height() : i.Width();
  };
  auto across = [&](const image::TAbstractSuperDIB& i) -> std::int32_t {
    return vertical ? i.Width() : i.Height();
  };
  // Position across the edge: left/top sides at the rectangle's near edge,
  // right/bottom sides flush with its far edge.
  auto crossAt = [&](const image::TAbstractSuperDIB& i) -> std::int32_t {
    switch (side_) {
      case bsLeft:
        return rect.Left;
      case bsRight:
        return rect.Right - i.Width();
      case bsTop:
        return rect.Top;
      default:
        return rect.Bottom - i.Height();
    }
  };
  auto drawAt = [&](image::TAbstractSuperDIB& i, std::int32_t pos, std::int32_t length) {
    if (vertical)
      i.Draw(crossAt(i), pos, i.Width(), length, dest, 0, 0);
    else
      i.Draw(pos, crossAt(i), length, i.Height(), dest, 0, 0);
  };

  std::int32_t startLen = 0, endLen = 0;
  bool any = false;
  if (start_.GetImage(img)) startLen = along(*img), any = true;
  if (end_.GetImage(img)) endLen = along(*img), any = true;
  if (middle_.GetImage(img)) any = true;
  if (!any) return;

  const std::int32_t first = vertical ? rect.Top : rect.Left;
  const std::int32_t last = vertical ? rect.Bottom : rect.Right;
  const std::int32_t length = last - first - startLen - endLen;
  if (length > 0 && middle_.GetImage(img)) {
    const std::int32_t piece = along(*img);
    if (drawStyle_ == dsTile) {
      for (std::int32_t done = 0; piece > 0 && done < length; done += piece)
        drawAt(*img, first + startLen + done, std::min(piece, length - done));
    } else {
      const std::int32_t w = vertical ? across(*img) : length, h = vertical ? length : across(*img);
      image::TMemoryDIB stretched(static_cast<std::uint16_t>(std::clamp(w, 1, 65535)),
                                  static_cast<std::uint16_t>(std::clamp(h, 1, 65535)));
      stretched.StretchFrom(*img);
      img->CopyPropertiesTo(stretched);
      stretched.SelectRowRoutine();
      drawAt(stretched, first + startLen, length);
    }
  }
  if (start_.GetImage(img)) drawAt(*img, first, along(*img));
  if (end_.GetImage(img)) drawAt(*img, last - along(*img), along(*img));
}

// --- the border ---------------------------------------------------------------

TDIBBorder::TDIBBorder(framework::TComponent* owner)
    : framework::TComponent(owner),
      top_(this, bsTop),
      bottom_(this, bsBottom),
      left_(this, bsLeft),
      right_(this, bsRight) {}

TDIBBorder::~TDIBBorder() {
  Destroying();
  if (list_) list_->RemoveFreeNotification(this);
}

void TDIBBorder::SetDIBImageList(image::TCustomDIBImageList* list) {
  if (list_) list_->RemoveFreeNotification(this);
  list_ = list;
  if (list_) list_->FreeNotification(this);
  for (TDIBBorderEdge* edge : {static_cast<TDIBBorderEdge*>(&top_), static_cast<TDIBBorderEdge*>(&bottom_),
                               static_cast<TDIBBorderEdge*>(&left_), static_cast<TDIBBorderEdge*>(&right_)})
    edge->SetDIBImageList(list);
}

void TDIBBorder::Notification(framework::TComponent* component, framework::Operation operation) {
  framework::TComponent::Notification(component, operation);
  if (operation == framework::Operation::Remove && component &&
      static_cast<framework::TComponent*>(list_) == component) {
    list_ = nullptr;
    for (TDIBBorderEdge* edge : {static_cast<TDIBBorderEdge*>(&top_), static_cast<TDIBBorderEdge*>(&bottom_),
                                 static_cast<TDIBBorderEdge*>(&left_), static_cast<TDIBBorderEdge*>(&right_)})
      edge->SetDIBImageList(nullptr);
  }
}

void TDIBBorder::Draw(image::TAbstractSuperDIB& dest, const framework::TRect& rect) {
  left_.Draw(dest, rect);
  right_.Draw(dest, rect);
  const framework::TRect inner{rect.Left + left_.ImageSize(), rect.Top, rect.Right - right_.ImageSize(),
                               rect.Bottom};
  top_.Draw(dest, inner);
  bottom_.Draw(dest, inner);
}

}  // namespace skin
