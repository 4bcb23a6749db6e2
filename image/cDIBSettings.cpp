#include "image/cDIBSettings.h"

#include "image/cDIBCompressor.h"

namespace image {

TDIBSettings::~TDIBSettings() { SetCurrentCompressor(nullptr); }

std::string TDIBSettings::DIBCompressor() const {
  const TAbstractDIBCompressor* current = CurrentCompressor();
  return current != nullptr ? current->GetGUID().ToString() : std::string();
}

void TDIBSettings::SetDIBCompressor(const std::string& id) { SetCurrentCompressor(FindCompressor(id)); }

}  // namespace image
