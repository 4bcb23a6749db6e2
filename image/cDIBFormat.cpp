#include "image/cDIBFormat.h"

#include "image/DIBRSBFormat.h"

namespace image {

TAbstractSuperDIB& TAbstractDIBFormat::RequireDIB() const {
  if (dib_ == nullptr) throw EDIBFormatError("No picture buffer to load into or save from.");
  return *dib_;
}

namespace {

std::vector<std::unique_ptr<TAbstractDIBFormat>>& Formats() {
  static std::vector<std::unique_ptr<TAbstractDIBFormat>> formats = [] {
    std::vector<std::unique_ptr<TAbstractDIBFormat>> list;
    list.push_back(std::make_unique<TDIBRSBFormat>());
    return list;
  }();
  return formats;
}

}  // namespace

TAbstractDIBFormat* RegisterDIBFormat(std::unique_ptr<TAbstractDIBFormat> format) {
  if (!format) return nullptr;
  TAbstractDIBFormat* raw = format.get();
  Formats().push_back(std::move(format));
  return raw;
}

std::vector<TAbstractDIBFormat*> DIBFormats() {
  std::vector<TAbstractDIBFormat*> list;
  for (const auto& f : Formats()) list.push_back(f.get());
  return list;
}

}  // namespace image
