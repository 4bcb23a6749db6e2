// The stored form: what the build embeds reads into the window's components
// and writes back to the same bytes; the layout the build checks and draws
// the artwork from is the window's own, control for control.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "editor/FormLayout.h"
#include "editor/StoredForm.h"
#include "editor/TPluginEditorWindow.h"
#include "framework/core/FormStream.h"
#include "framework/core/TextForm.h"
#include "image/DIBDataStream.h"
#include "image/cDIBCompressor.h"

namespace {

// The form with every picture value replaced by its raw form, as a writer
// without a compressor gives it (the build stores each picture with the
// compressor that suits it).
std::vector<std::uint8_t> WithRawPictures(std::span<const std::uint8_t> form) {
  std::vector<std::uint8_t> out;
  const auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  const std::uint8_t* copied = form.data();
  framework::ForEachBinaryValue(form, [&](std::string_view path, std::span<const std::uint8_t> value) {
    if (path != "DIB.Data") return;
    out.insert(out.end(), copied, value.data() - 4);  // up to the value's length
    const image::TDecodedPicture picture = image::DecodeDIBData(value);
    const std::size_t bytes = std::size_t{picture.Width} * picture.Height * 4;
    put(static_cast<std::uint32_t>(4 + bytes), 4);
    put(picture.Width, 2);
    put(picture.Height, 2);
    out.insert(out.end(), picture.Pixels, picture.Pixels + bytes);
    copied = value.data() + value.size();
  });
  out.insert(out.end(), copied, form.data() + form.size());
  return out;
}

TEST(StoredForm, ReadsIntoTheWindowAndWritesBackTheSameBytes) {
  const auto stored = StoredEditorForm();
  ASSERT_GT(stored.size(), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stored.data()), 4), "TPF0");
  // Read as stored, before FormCreate gives the cells their cursor.
  TPluginEditorWindow::RegisterClasses();
  auto window = std::make_unique<TPluginEditorWindow>();
  framework::ReadForm(stored, *window);
  // Its settings select the compressor they name, for whatever writes next.
  ASSERT_NE(image::CurrentCompressor(), nullptr);
  EXPECT_EQ(image::CurrentCompressor()->GetName(), "Shuffle4 RLE");
  // Pictures are written back raw, pixel for pixel what was stored, and the
  // settings then name no compressor.
  image::SetCurrentCompressor(nullptr);
  const std::string written = framework::BinaryFormToText(framework::WriteForm(*window));
  std::string expected = framework::BinaryFormToText(WithRawPictures(stored));
  const std::string named = "DIBCompressor = \"{CABA9056-7349-43A4-B010-3764FBFAC230}\"";
  const std::size_t at = expected.find(named);
  ASSERT_NE(at, std::string::npos);
  const std::size_t lineStart = expected.rfind('\n', at) + 1;
  expected.erase(lineStart, expected.find('\n', at) + 1 - lineStart);
  if (written != expected) {
    // Leave both for a reader to compare.
    std::ofstream(::testing::TempDir() + "stored.form") << expected;
    std::ofstream(::testing::TempDir() + "written.form") << written;
    FAIL() << "written form differs; see " << ::testing::TempDir() << "{stored,written}.form";
  }
}

// The container's children in creation order (painting and hit-testing
// order), as the handlers and the refresh rely on them.
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

// The layout the build checks the tags of and draws the artwork around is
// read from the text form without the window's classes; it must be what the
// window itself reads from the stored form, component for component.
TEST(StoredForm, TheLayoutReadFromTheTextIsTheWindows) {
  auto window = TPluginEditorWindow::Create(nullptr, nullptr);
  const formlayout::Layout layout = formlayout::ReadLayoutFile(PLONK_FORM_TEXT);
  EXPECT_EQ(layout.clientWidth, window->ClientWidth());
  EXPECT_EQ(layout.clientHeight, window->ClientHeight());
  std::vector<std::string> owned, listed;
  for (int i = 0; i < window->ComponentCount(); ++i) owned.push_back(window->Components(i)->Name());
  for (const formlayout::Component& c : layout.components) listed.push_back(c.name);
  EXPECT_EQ(listed, owned) << "every component, in creation order";

  for (const formlayout::Component& c : layout.components) {
    SCOPED_TRACE(c.name);
    framework::TComponent* component = window->FindComponent(c.name);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->ClassName(), c.className);
    EXPECT_EQ(component->Tag(), c.tag);
    if (auto* control = dynamic_cast<framework::TControl*>(component)) {
      EXPECT_EQ((framework::TRect{control->Left(), control->Top(), control->Width(), control->Height()}),
                (framework::TRect{c.left, c.top, c.width, c.height}));
    }
    image::TDIBImageLink* link = nullptr;
    if (auto* img = dynamic_cast<skin::TDIBImage*>(component)) link = &img->IndexMain();
    if (auto* knob = dynamic_cast<skin::TDIBKnob*>(component)) {
      link = &knob->IndexMain();
      EXPECT_EQ(knob->NumGlyphs(), c.frames);
    }
    if (auto* skinned = dynamic_cast<skin::TCustomDIBControl*>(component)) {
      EXPECT_EQ(skinned->Opacity(), c.opacity);
    }
    EXPECT_EQ(link != nullptr ? link->DIBIndex() : -1, c.picture);
    if (link != nullptr && c.picture >= 0) {
      EXPECT_EQ(link->DIBImageList(), window->DIBImageList1);
    }
  }
}

// Every control lies within the container's columns and either in the
// window's rows or wholly below them: only the information screen's parts
// wait there, and showing the screen brings them into the window.
TEST(StoredForm, EveryControlLiesInTheWindowOrWaitsWhollyBelowIt) {
  auto window = TPluginEditorWindow::Create(nullptr, nullptr);
  skin::TDIBImageContainer& panel = *window->DIBImageContainer2;
  const int rows = window->ClientHeight();
  const std::vector<std::string> below = {"infoscreen", "tobrelclick", "version"};
  auto check = [&](bool infoShown) {
    std::vector<std::string> outside;
    for (int i = 0; i < panel.ControlCount(); ++i) {
      const framework::TControl& c = *panel.Controls(i);
      SCOPED_TRACE(c.Name());
      // The container is as wide as the background picture, one column
      // wider than the window.
      EXPECT_GE(c.Left(), 0);
      EXPECT_LE(c.Left() + c.Width(), panel.Width());
      EXPECT_GE(c.Top(), 0);
      const bool in = c.Top() + c.Height() <= rows;
      EXPECT_TRUE(in || c.Top() >= rows) << "straddles the window's bottom edge";
      if (!in) outside.push_back(c.Name());
    }
    EXPECT_EQ(outside, infoShown ? std::vector<std::string>{} : below);
  };
  check(false);
  window->infoclickClick(nullptr);
  check(true);
  window->infoscreenClick(nullptr);
  check(false);
}

}  // namespace
