#include "tests/skin/SkinFixture.h"

namespace skintest {

const ClassInfo& TSkinTestForm::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TSkinTestForm, TForm>("TSkinTestForm")
                                     .Method("KnobChange", &TSkinTestForm::KnobChange)
                                     .Method("Clicked", &TSkinTestForm::Clicked)
                                     .Build();
  return info;
}

void TSkinTestForm::KnobChange(TObject* sender) {
  auto* knob = dynamic_cast<skin::TCustomDIBKnob*>(sender);
  log.push_back("change " + knob->Name() + " " + std::to_string(knob->Position()));
}

void TSkinTestForm::Clicked(TObject* sender) {
  log.push_back("click " + dynamic_cast<TComponent*>(sender)->Name());
}

void FillPicture(image::TAbstractSuperDIB& dib, int w, int h,
                 const std::function<std::uint32_t(int, int)>& fn) {
  dib.SetSize(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dib.SetPixelAt(x, y, fn(x, y));
}

void SkinTest::SetUp() {
  backend = std::make_shared<THeadlessBackend>();
  skin::RegisterSkinClasses();
  RegisterClasses<TSkinTestForm>();
}

void SkinTest::TearDown() {
  form.reset();
  backend.reset();
}

void SkinTest::Load(const std::string& name, const std::function<void()>& beforeShow) {
  const std::vector<std::uint8_t> bin = TextFormToBinary(FormText(name));
  form = std::make_unique<TSkinTestForm>();
  ReadForm(bin, *form);
  form->SetWindowSystem(backend);
  container = dynamic_cast<skin::TDIBImageContainer*>(form->FindComponent("Container"));
  images = dynamic_cast<image::TDIBImageList*>(form->FindComponent("Images"));
  if (beforeShow) beforeShow();
  form->Show();
  Pump();
}

void SkinTest::SetImage(int index, int w, int h, const std::function<std::uint32_t(int, int)>& fn,
                        bool masked) {
  image::TMemoryDIB& dib = images->DIBImages().Items(index)->StoredDIB();
  dib.BeginUpdate();
  FillPicture(dib, w, h, fn);
  dib.SetMasked(masked);
  dib.EndUpdate();  // one change for the links
}

}  // namespace skintest
