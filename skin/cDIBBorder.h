#pragma once

// A skinned frame that a container draws inside its client area: four edges,
// each a start cap, a filler (tiled or stretched) and an end cap.

#include <cstdint>
#include <memory>

#include "framework/core/Component.h"
#include "framework/graphics/Types.h"
#include "image/cDIBImageList.h"

namespace skin {

enum TDIBBorderDrawStyle : std::uint8_t { dsTile = 0, dsStretch = 1 };
enum TDIBBorderSide : std::uint8_t { bsLeft = 0, bsRight = 1, bsTop = 2, bsBottom = 3 };

class TDIBBorder;

class TDIBBorderEdge : public framework::TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  TDIBBorderEdge(TDIBBorder* border, TDIBBorderSide side);

  TDIBBorderSide Side() const { return side_; }
  bool Vertical() const { return side_ == bsLeft || side_ == bsRight; }
  // Start cap, filler, end cap.
  image::TDIBImageLink& Start() { return start_; }
  image::TDIBImageLink& Middle() { return middle_; }
  image::TDIBImageLink& End() { return end_; }
  TDIBBorderDrawStyle DrawStyle() const { return drawStyle_; }
  void SetDrawStyle(TDIBBorderDrawStyle value);
  bool AutoCalcSize() const { return autoCalcSize_; }
  void SetAutoCalcSize(bool value);
  std::int32_t Size() const { return size_; }
  void SetSize(std::int32_t value);

  // The largest width (vertical edges) or height (horizontal ones) among
  // the edge's images; 0 without images.
  std::int32_t ImageSize();
  // ImageSize with AutoCalcSize, else Size.
  std::int32_t EdgeSize();
  void Draw(image::TAbstractSuperDIB& dest, const framework::TRect& rect);
  void SetDIBImageList(image::TCustomDIBImageList* list);

 private:
  TDIBBorderSide side_;
  image::TDIBImageLink start_, middle_, end_;
  TDIBBorderDrawStyle drawStyle_ = dsTile;
  bool autoCalcSize_ = true;
  std::int32_t size_ = 32;
};

class TDIBHorzBorderEdge : public TDIBBorderEdge {
  PLONK_PERSISTENT_CLASS
 public:
  using TDIBBorderEdge::TDIBBorderEdge;
};

class TDIBVertBorderEdge : public TDIBBorderEdge {
  PLONK_PERSISTENT_CLASS
 public:
  using TDIBBorderEdge::TDIBBorderEdge;
};

class TDIBBorder : public framework::TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBBorder(framework::TComponent* owner);
  ~TDIBBorder() override;

  TDIBHorzBorderEdge& BorderTop() { return top_; }
  TDIBHorzBorderEdge& BorderBottom() { return bottom_; }
  TDIBVertBorderEdge& BorderLeft() { return left_; }
  TDIBVertBorderEdge& BorderRight() { return right_; }
  image::TCustomDIBImageList* DIBImageList() const { return list_; }
  // Hands the list to all twelve links of the edges.
  void SetDIBImageList(image::TCustomDIBImageList* list);

  // Left and right edges over the whole rectangle, then top and bottom
  // between them.
  void Draw(image::TAbstractSuperDIB& dest, const framework::TRect& rect);

 protected:
  void Notification(framework::TComponent* component, framework::Operation operation) override;

 private:
  TDIBHorzBorderEdge top_, bottom_;
  TDIBVertBorderEdge left_, right_;
  image::TCustomDIBImageList* list_ = nullptr;
};

}  // namespace skin
