// The stored form: what the build embeds reads into the window's components
// and writes back to the same bytes, with every control where the layout
// puts it.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "editor/StoredForm.h"
#include "editor/TPluginEditorWindow.h"
#include "framework/core/FormStream.h"
#include "framework/core/TextForm.h"
#include "image/cDIBSettings.h"

namespace {

constexpr const char* kShuffle4Rle = "{CABA9056-7349-43A4-B010-3764FBFAC230}";

TEST(StoredForm, ReadsIntoTheWindowAndWritesBackTheSameBytes) {
  const auto stored = StoredEditorForm();
  ASSERT_GT(stored.size(), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stored.data()), 4), "TPF0");
  // Read as stored, before FormCreate gives the cells their cursor.
  TPluginEditorWindow::RegisterClasses();
  auto window = std::make_unique<TPluginEditorWindow>();
  framework::ReadForm(stored, *window);
  // Pictures are written back the way the build stored them.
  image::TDIBSettings settings;
  settings.SetDIBCompressor(kShuffle4Rle);
  const std::vector<std::uint8_t> written = framework::WriteForm(*window);
  if (written != std::vector<std::uint8_t>(stored.begin(), stored.end())) {
    // Leave both as text for a reader to compare.
    std::ofstream(::testing::TempDir() + "stored.form") << framework::BinaryFormToText(stored);
    std::ofstream(::testing::TempDir() + "written.form") << framework::BinaryFormToText(written);
    FAIL() << "written form differs; see " << ::testing::TempDir() << "{stored,written}.form";
  }
}

// The container's children in creation order (painting and hit-testing
// order), with the places, pictures and bindings the handlers rely on.
TEST(StoredForm, ControlsInCreationOrder) {
  auto window = TPluginEditorWindow::Create(nullptr, nullptr);
  ASSERT_NE(window->DIBImageContainer2, nullptr);
  skin::TDIBImageContainer& panel = *window->DIBImageContainer2;
  EXPECT_EQ(window->ClientWidth(), 719);
  EXPECT_EQ(window->ClientHeight(), 512);
  EXPECT_EQ((framework::TRect{panel.Left(), panel.Top(), panel.Width(), panel.Height()}),
            (framework::TRect{0, 0, 720, 1088}));
  ASSERT_EQ(panel.ControlCount(), 80);  // the 79 of the layout and the time-information notice
  std::vector<std::string> order;
  for (int i = 0; i < panel.ControlCount(); ++i) order.push_back(panel.Controls(i)->Name());
  const std::vector<std::string> cells = {
      "step1",  "tie1",  "step2",  "step3",  "step4",  "step7",  "step8",  "step6",
      "step5",  "step9", "step10", "step11", "step12", "step13", "step14", "step15",
      "step16", "tie2",  "tie3",   "tie4",   "tie5",   "tie6",   "tie7",   "tie8",
      "tie13",  "tie14", "tie15",  "tie16",  "tie9",   "tie10",  "tie11",  "tie12"};
  EXPECT_EQ(std::vector<std::string>(order.begin() + 5, order.begin() + 37), cells);
  EXPECT_EQ(order[0], "background");
  EXPECT_EQ(order[4], "infoclick");
  EXPECT_EQ(order[37], "gateon");
  EXPECT_EQ(order[52], "mainvolume");
  EXPECT_EQ(order[67], "lfo1sync1");
  EXPECT_EQ(order[78], "version");
  EXPECT_EQ(order[79], "timeinfo");

  struct Expect {
    const char* name;
    int tag, left, top, width, height, index, opacity;
  };
  const Expect table[] = {
      {"background", 0, 0, 0, 720, 512, 2, 255},
      {"attack", 34, 604, 55, 18, 18, 9, 200},
      {"step1", 1, 87, 71, 30, 42, 12, 0},
      {"step16", 16, 537, 71, 30, 42, 3, 0},
      {"tie16", 32, 550, 47, 30, 24, 4, 0},
      {"gateon", 33, 40, 73, 38, 52, 14, 0},
      {"fd1delay", 44, 95, 207, 100, 18, 1, 255},
      {"mainvolume", 37, 330, 298, 58, 58, 0, 255},
      {"fd1enable", 40, 243, 164, 16, 22, 7, 0},
      {"fd1enableled", 40, 201, 167, 36, 18, 6, 0},
      {"fd2filtertypeled", 53, 469, 273, 36, 18, 5, 0},
      {"lfo2sync4", 8, 562, 347, 18, 18, 13, 255},
      {"infoscreen", 0, 0, 520, 720, 512, 11, 255},
  };
  for (const Expect& e : table) {
    SCOPED_TRACE(e.name);
    auto* c = dynamic_cast<skin::TCustomDIBControl*>(window->FindComponent(e.name));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Tag(), e.tag);
    EXPECT_EQ((framework::TRect{c->Left(), c->Top(), c->Width(), c->Height()}),
              (framework::TRect{e.left, e.top, e.width, e.height}));
    EXPECT_EQ(c->Opacity(), e.opacity);
    image::TDIBImageLink* link = nullptr;
    if (auto* img = dynamic_cast<skin::TDIBImage*>(c)) link = &img->IndexMain();
    if (auto* knob = dynamic_cast<skin::TDIBKnob*>(c)) link = &knob->IndexMain();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->DIBIndex(), e.index);
    EXPECT_EQ(link->DIBImageList(), window->DIBImageList1);
  }
  EXPECT_EQ(window->fd1delay->Position(), 50) << "the stored position";
  EXPECT_EQ(window->fd1delay->Orientation(), skin::koHorizontal);
  EXPECT_EQ(window->fd1delay->Cursor(), framework::crSizeWE);
  auto* step5 = dynamic_cast<skin::TCustomDIBControl*>(window->FindComponent("Step5"));
  ASSERT_NE(step5, nullptr);
  EXPECT_EQ(step5->ControlStyle(), 0u) << "FormCreate: no capture, no clicks";
  EXPECT_EQ(step5->Cursor(), framework::crHandPoint);
  EXPECT_EQ(window->Timer1->Interval(), 50u);
  EXPECT_EQ(window->DIBImageList1->DIBImages().Count(), 15);
  EXPECT_EQ(window->DIBImageList1->DIBImages().Items(9)->DisplayName(), "smallknob top");
}

}  // namespace
