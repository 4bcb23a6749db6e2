#pragma once

// Loads a text form of tests/skin/forms into a window on the headless
// backend, fills its image list with pictures and plays the user on it.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/FormStream.h"
#include "framework/core/TextForm.h"
#include "framework/window/Application.h"
#include "framework/window/Controls.h"
#include "framework/window/Headless.h"
#include "image/cDIBImageList.h"
#include "skin/cDIBBorder.h"
#include "skin/cDIBControl.h"
#include "skin/cDIBFeatures.h"
#include "skin/cDIBImage.h"
#include "skin/cDIBKnob.h"
#include "skin/cDIBPanel.h"
#include "skin/cDIBTimer.h"

namespace skintest {

using namespace framework;

// The form class of the fixtures: it publishes the handlers they bind by
// name and records what they saw.
class TSkinTestForm : public TForm {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TSkinTestForm(TComponent* owner = nullptr) : TForm(owner) {}
  void KnobChange(TObject* sender);
  void Clicked(TObject* sender);
  std::vector<std::string> log;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string FormText(const std::string& name) {
  const std::string text = ReadText(std::string(SKIN_FORMS_DIR) + "/" + name);
  if (text.empty()) throw std::runtime_error("missing form fixture " + name);
  return text;
}

// Pixel (0xAARRGGBB) of a picture filled by fn(x, y).
void FillPicture(image::TAbstractSuperDIB& dib, int w, int h,
                 const std::function<std::uint32_t(int, int)>& fn);

class SkinTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Reads the fixture into a new form, shows it and lets it paint.
  void Load(const std::string& name, const std::function<void()>& beforeShow = {});
  // Fills image `index` of the form's list and tells its links.
  void SetImage(int index, int w, int h, const std::function<std::uint32_t(int, int)>& fn,
                bool masked = false);
  void Pump() { backend->Update(); }

  template <class T>
  T* Find(const std::string& name) {
    T* c = dynamic_cast<T*>(form->FindComponent(name));
    if (!c) ADD_FAILURE() << "no " << name;
    return c;
  }
  TWindowHandle Handle() const { return form->Handle(); }
  THeadlessWindow& Window() const { return *backend->Window(form->Handle()); }
  // The presented colour at (x, y) as 0x00RRGGBB.
  std::uint32_t Pixel(int x, int y) const { return Window().PixelAt(x, y) & 0xFFFFFF; }

  std::shared_ptr<THeadlessBackend> backend;
  std::unique_ptr<TSkinTestForm> form;
  skin::TDIBImageContainer* container = nullptr;
  image::TDIBImageList* images = nullptr;
};

}  // namespace skintest
