#pragma once

// File-format plug-ins for importing and exporting pictures, and the
// process-wide list of them.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/Exception.h"

namespace framework {
class TStream;
}

namespace image {

class TAbstractSuperDIB;

class EDIBFormatError : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

class TAbstractDIBFormat {
 public:
  using TProgressEvent = std::function<void(TAbstractDIBFormat& sender, int percent)>;

  virtual ~TAbstractDIBFormat() = default;

  // The buffer the next load fills or the next save writes (not owned).
  TAbstractSuperDIB* DIB() const { return dib_; }
  void SetDIB(TAbstractSuperDIB* dib) { dib_ = dib; }
  const TProgressEvent& OnProgress() const { return onProgress_; }
  void SetOnProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }

  virtual std::string GetName() const = 0;
  virtual void LoadFromStream(framework::TStream& stream) = 0;
  virtual void SaveToStream(framework::TStream& stream) = 0;
  virtual bool CanLoad() const { return true; }
  virtual bool CanSave() const { return true; }
  virtual bool HandlesLoadExtension(const std::string&) const { return false; }
  virtual bool HandlesSaveExtension(const std::string&) const { return false; }
  // Append "Description (*.ext)|*.ext" entries for file dialogs.
  virtual void AddLoadFilter(std::vector<std::string>&) const {}
  virtual void AddSaveFilter(std::vector<std::string>&) const {}
  virtual std::string GetDescription() const { return std::string(); }
  virtual std::string GetAuthor() const { return std::string(); }
  virtual std::string GetEMail() const { return std::string(); }
  virtual std::string GetURL() const { return std::string(); }

 protected:
  void Progress(int percent) {
    if (onProgress_) onProgress_(*this, percent);
  }
  // The buffer to work on; EDIBFormatError when none was given.
  TAbstractSuperDIB& RequireDIB() const;

 private:
  TAbstractSuperDIB* dib_ = nullptr;
  TProgressEvent onProgress_;
};

// The list owns its formats until the process ends; the RSB format is always
// on it first.
TAbstractDIBFormat* RegisterDIBFormat(std::unique_ptr<TAbstractDIBFormat> format);
std::vector<TAbstractDIBFormat*> DIBFormats();

}  // namespace image
