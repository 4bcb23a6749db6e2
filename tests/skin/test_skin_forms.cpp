// Forms of skinned controls: the round trip through the binary form, the
// construction errors, and values the setters must refuse.

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "tests/skin/SkinFixture.h"

namespace skintest {
namespace {

using ::testing::HasSubstr;

class FormsTest : public SkinTest {};

// The message of the innermost nested exception.
std::string Innermost(const std::exception& e) {
  try {
    std::rethrow_if_nested(e);
  } catch (const std::exception& inner) {
    return Innermost(inner);
  }
  return e.what();
}

TEST_F(FormsTest, TextToBinaryToComponentsToBinaryKeepsEveryByte) {
  for (const char* name : {"paint.form", "tile.form", "knobs.form", "features.form"}) {
    const std::vector<std::uint8_t> bin = TextFormToBinary(FormText(name));
    TSkinTestForm loaded;
    ReadForm(bin, loaded);
    const std::vector<std::uint8_t> again = WriteForm(loaded);
    EXPECT_EQ(again, bin) << name << "\n" << BinaryFormToText(again);
  }
}

TEST_F(FormsTest, FormsBindHandlersAndReferencesByName) {
  Load("knobs.form");
  auto* vol = Find<skin::TDIBKnob>("vol");
  EXPECT_EQ(vol->OnChange.MethodName(), "KnobChange");
  EXPECT_EQ(vol->DIBImageList(), images);
  EXPECT_EQ(vol->IndexMain().DIBImageList(), images);
  EXPECT_EQ(vol->Tag(), 34);
  EXPECT_EQ(vol->Cursor(), crSizeNS);
  EXPECT_EQ(container->FindNextDIBControl(true), Find<skin::TDIBImage>("a"));
  // Destroying the list leaves the controls without images, not dangling.
  delete images;
  images = nullptr;
  EXPECT_EQ(vol->DIBImageList(), nullptr);
  EXPECT_EQ(vol->IndexMain().DIBImageList(), nullptr);
  container->Repaint();
}

TEST_F(FormsTest, ConstructionNeedsAnOwnerWithAContainer) {
  try {
    skin::TDIBImage orphan(nullptr);
    FAIL();
  } catch (const skin::EDIBControlError& e) {
    EXPECT_STREQ(e.what(), "Owner cannot be nil");
  }
  TForm bare;
  try {
    new skin::TDIBImage(&bare);
    FAIL();
  } catch (const skin::EDIBControlError& e) {
    EXPECT_STREQ(e.what(), "Parent must be a TDIBContainer");
  }
  EXPECT_EQ(bare.ComponentCount(), 0);
  // With a container among the owner's components, that container is the parent.
  auto* box = new skin::TDIBImageContainer(&bare);
  box->SetParent(&bare);
  auto* img = new skin::TDIBImage(&bare);
  EXPECT_EQ(img->Parent(), box);
  TWinControl other(nullptr);
  try {
    img->SetParent(&other);
    FAIL();
  } catch (const skin::EDIBControlError& e) {
    EXPECT_STREQ(e.what(), "Parent must be a TDIBContainer");
  }
  EXPECT_EQ(img->Parent(), box);
}

// A subclass that asks for template properties it cannot have.
class TBadTemplate : public skin::TDIBImage {
 public:
  TBadTemplate(TComponent* owner, const std::string& name) : skin::TDIBImage(owner) {
    RegisterTemplateProperty(name);
  }
};

TEST_F(FormsTest, TemplatePropertiesMustBePublishedValues) {
  Load("tile.form");
  try {
    TBadTemplate bad(form.get(), "Nope");
    FAIL();
  } catch (const skin::EDIBControlError& e) {
    EXPECT_STREQ(e.what(),
                 "Class TDIBImage is trying to register Nope as a template property, and that property does "
                 "not exist.");
  }
  try {
    TBadTemplate bad(form.get(), "IndexMain");
    FAIL();
  } catch (const skin::EDIBControlError& e) {
    EXPECT_STREQ(e.what(), "Attempting to template an invalid property type.");
  }
  // A template written by one control and read into another.
  auto* a = new skin::TDIBImage(form.get());
  auto* b = new skin::TDIBImage(form.get());
  TMemoryStream s;
  EXPECT_THROW(a->WriteTemplate(s), skin::EDIBControlError);  // "No DIB image list has been assigned."
  a->SetDIBImageList(images);
  a->SetBounds(0, 0, 40, 30);
  a->SetAngle(90);
  a->SetOpacity(7);
  a->WriteTemplate(s);
  s.SetPosition(0);
  b->ReadTemplate(s);
  EXPECT_EQ(b->Width(), 40);
  EXPECT_EQ(b->Height(), 30);
  EXPECT_EQ(b->Angle(), 90);
  EXPECT_EQ(b->Opacity(), 7);
}

TEST_F(FormsTest, SettersRefuseBadValuesWithTheirMessage) {
  const std::string text = FormText("knobs.form");
  struct Case {
    std::string from, to, inner;
  };
  const Case cases[] = {
      {"Position = 50", "Opacity = 300", "Opacity must lie in 0..255, not 300"},
      {"Position = 50", "Opacity = -1", "Opacity must lie in 0..255, not -1"},
      {"NumGlyphs = 10", "NumGlyphs = 0", "NumGlyphs must be greater than 0."},
      {"NumGlyphs = 100", "NumGlyphs = -7", "NumGlyphs must be greater than 0."},
      {"Position = 50", "SmallChange = 70000", "SmallChange must lie in 0..65535, not 70000"},
      {"DIBTabOrder = 1", "DIBTabOrder = 40000", "DIBTabOrder must lie in -32768..32767, not 40000"},
      {"Accelerator = 66", "Accelerator = 256", "Accelerator must lie in 0..255, not 256"},
      {"Position = 50", "DIBFeatures = ( { FeatureClassName = \"TForm\" } )",
       "TForm has not been registered"},
      {"Position = 50", "Children = ( { Control = nil } )", "You cannot set Control to nil"},
  };
  for (const Case& c : cases) {
    std::string edited = text;
    const auto at = edited.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    edited.replace(at, c.from.size(), c.to);
    TSkinTestForm target;
    try {
      ReadForm(TextFormToBinary(edited), target);
      ADD_FAILURE() << c.to << " was accepted";
    } catch (const EReadError& e) {
      EXPECT_EQ(Innermost(e), c.inner) << c.to;
      EXPECT_THAT(e.what(), HasSubstr("Error reading")) << c.to;
    }
    EXPECT_EQ(target.ComponentCount(), 0) << c.to;  // nothing half-built stays
  }
}

TEST_F(FormsTest, ExtendedValuesMustBeFinite) {
  Load("paint.form");
  auto* img = Find<skin::TDIBImage>("full");
  EXPECT_THROW(SetPropertyValue(*img, "Scale", Value(std::numeric_limits<long double>::infinity())),
               EPropertyError);
  EXPECT_THROW(SetPropertyValue(*img, "Angle", Value(std::numeric_limits<long double>::quiet_NaN())),
               EPropertyError);
  SetPropertyValue(*img, "Angle", Value(-450.0L));
  EXPECT_EQ(img->Angle(), 270);
}

// Damaged forms: every read either succeeds or fails with one of the
// toolkit's errors, leaving nothing behind; a form that reads also paints
// and takes input without trouble. Byte edits break the structure; numbers
// swapped for extreme ones in the text reach the setters.
class DamagedForms : public FormsTest {
 protected:
  std::uint64_t seed = 0x9E3779B97F4A7C15ull;
  std::uint64_t Next() {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  }
  int read = 0, refused = 0;

  void Try(const std::vector<std::uint8_t>& bin, const std::string& what) {
    auto target = std::make_unique<TSkinTestForm>();
    try {
      ReadForm(bin, *target);
    } catch (const Exception&) {
      ++refused;
      EXPECT_EQ(target->ComponentCount(), 0) << what;
      return;
    }
    ++read;
    target->SetBounds(0, 0, 200, 120);
    target->SetWindowSystem(backend);
    target->Show();
    backend->Update();
    backend->MouseMove(target->Handle(), 15, 15);
    backend->MouseDown(target->Handle(), mbLeft, 15, 15);
    backend->MouseMove(target->Handle(), 40, 5);
    backend->MouseUp(target->Handle(), mbLeft, 40, 5);
    backend->KeyDown(target->Handle(), VK_TAB);
    backend->KeyDown(target->Handle(), VK_PRIOR);
    target->Hide();
    backend->Update();
  }
};

TEST_F(DamagedForms, ByteEditsAndExtremeNumbersFailCleanly) {
  static const char* const kExtremes[] = {"0",          "-1",          "1",      "255",     "256",
                                          "-129",       "32767",       "-32768", "65535",   "65536",
                                          "2147483647", "-2147483648", "100000", "-100000", "7"};
  for (const char* name : {"paint.form", "knobs.form", "features.form", "tile.form"}) {
    const std::string text = FormText(name);
    const std::vector<std::uint8_t> original = TextFormToBinary(text);
    for (int round = 0; round < 150; ++round) {
      std::vector<std::uint8_t> bin = original;
      for (int edits = 1 + static_cast<int>(Next() % 3); edits > 0; --edits) {
        const std::size_t at = 4 + Next() % (bin.size() - 4);
        switch (Next() % 4) {
          case 0:
            bin[at] = static_cast<std::uint8_t>(Next());
            break;
          case 1:
            bin[at] ^= static_cast<std::uint8_t>(1u << (Next() % 8));
            break;
          case 2:
            bin.erase(bin.begin() + static_cast<std::ptrdiff_t>(at));
            break;
          default:
            bin.insert(bin.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(Next()));
            break;
        }
      }
      Try(bin, std::string(name) + " byte round " + std::to_string(round));
    }
    // Positions of the numbers after "= ", in the toolkit's components (the
    // form's own bounds belong to the window layer, DIB.* sizes to the
    // picture buffers, which take any 16-bit size).
    std::vector<std::pair<std::size_t, std::size_t>> numbers;
    for (std::size_t at = text.find("= ", text.find("TDIBImageList")); at != std::string::npos;
         at = text.find("= ", at + 2)) {
      std::size_t b = at + 2, e = b;
      if (e < text.size() && text[e] == '-') ++e;
      while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) ++e;
      const std::size_t line = text.rfind('\n', at);
      const bool picture = text.compare(text.find_first_not_of(' ', line + 1), 4, "DIB.") == 0;
      if (e > b && std::isdigit(static_cast<unsigned char>(text[e - 1])) && text[e] != '.' && !picture)
        numbers.emplace_back(b, e);
    }
    ASSERT_FALSE(numbers.empty());
    for (int round = 0; round < 300; ++round) {
      std::string edited = text;
      // Replace from the back so earlier positions stay valid.
      std::vector<std::size_t> picks;
      for (int k = 1 + static_cast<int>(Next() % 3); k > 0; --k) picks.push_back(Next() % numbers.size());
      std::sort(picks.rbegin(), picks.rend());
      picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
      for (std::size_t i : picks)
        edited.replace(numbers[i].first, numbers[i].second - numbers[i].first,
                       kExtremes[Next() % std::size(kExtremes)]);
      Try(TextFormToBinary(edited),
          std::string(name) + " number round " + std::to_string(round) + "\n" + edited);
    }
  }
  std::printf("damaged forms: %d read, %d refused\n", read, refused);
  EXPECT_GT(read, 100);
  EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace skintest
