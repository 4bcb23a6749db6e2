#pragma once

// RSB pictures: a 28-byte header (version 1, width, height, red, green, blue
// and alpha bit counts, 32 bits each, little-endian), then width * height
// 16-bit pixels, top row first, channels packed blue lowest, alpha highest.

#include "image/cDIBFormat.h"

namespace image {

class TDIBRSBFormat : public TAbstractDIBFormat {
 public:
  std::string GetName() const override { return "Rogue spear bitmap"; }
  // Errors leave the buffer untouched: EDIBFormatError for another version, a
  // size beyond 65535 or kMaxStreamPixels, or bit counts that do not fit 16
  // bits; framework::EReadError for a truncated header or body.
  void LoadFromStream(framework::TStream& stream) override;
  // 4/4/4/4 with alpha when the buffer is Masked, 5/6/5/0 otherwise.
  void SaveToStream(framework::TStream& stream) override;
  bool HandlesLoadExtension(const std::string& ext) const override;
  bool HandlesSaveExtension(const std::string& ext) const override;
  void AddLoadFilter(std::vector<std::string>& list) const override;
  void AddSaveFilter(std::vector<std::string>& list) const override;
};

}  // namespace image
