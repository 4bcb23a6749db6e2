#include "image/cDIBSettings.h"

#include "image/cDIBCompressor.h"

namespace image {

const framework::ClassInfo& TDIBSettings::StaticClassInfo() {
  using C = TDIBSettings;
  static const framework::ClassInfo& info = framework::ClassBuilder<C, framework::TComponent>("TDIBSettings")
                                                .String(
                                                    "DIBCompressor", [](C& s) { return s.DIBCompressor(); },
                                                    [](C& s, const std::string& v) { s.SetDIBCompressor(v); })
                                                .Default("")
                                                .Build();
  return info;
}

TDIBSettings::~TDIBSettings() {
  SetCurrentCompressor(nullptr);
}

std::string TDIBSettings::DIBCompressor() const {
  const TAbstractDIBCompressor* current = CurrentCompressor();
  return current != nullptr ? current->GetGUID().ToString() : std::string();
}

void TDIBSettings::SetDIBCompressor(const std::string& id) {
  SetCurrentCompressor(FindCompressor(id));
}

void RegisterSettingsClasses() {
  framework::RegisterClasses<TDIBSettings>();
}

}  // namespace image
