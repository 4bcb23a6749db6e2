// Text form -> binary form -> components -> binary form, and everything a
// reader must refuse on the way.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "framework/core/FormStream.h"
#include "framework/core/TextForm.h"
#include "tests/framework/core/FakeComponents.h"

namespace {

using namespace fake;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Bytes LoadFixture(const std::string& name) {
  const std::string text = ReadText(std::string(FORM_FIXTURES) + "/" + name);
  if (text.empty()) throw std::runtime_error("missing fixture " + name);
  return Bytes(text.begin(), text.end());
}

Bytes Compile(const std::string& text) {
  return TextFormToBinary(text, LoadFixture);
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFakes();
    gLog.clear();
    text_ = ReadText(std::string(FORM_FIXTURES) + "/sample.form");
    ASSERT_FALSE(text_.empty());
  }
  std::string text_;

  // The sample with one piece of text replaced (which must be there).
  std::string Edit(const std::string& from, const std::string& to) const {
    std::string t = text_;
    const auto at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) t.replace(at, from.size(), to);
    return t;
  }
};

TEST_F(FormTest, ReadingBuildsComponentsPropertiesCollectionsAndBindings) {
  const Bytes bin = Compile(text_);
  TForm form;
  ReadForm(bin, form);

  EXPECT_EQ(form.Name(), "MainForm");
  EXPECT_EQ(form.width, 719);
  EXPECT_EQ(form.caption, "Plonk\t\"quoted\" \xe2\x9c\x93");
  ASSERT_EQ(form.ComponentCount(), 4);  // in creation order
  auto* timer = dynamic_cast<TTimer*>(form.Components(0));
  auto* images = dynamic_cast<TList*>(form.Components(1));
  auto* panel = dynamic_cast<TControl*>(form.Components(2));
  auto* button = dynamic_cast<TControl*>(form.Components(3));
  ASSERT_TRUE(timer && images && panel && button);
  EXPECT_EQ(timer->interval, 50);
  EXPECT_EQ(form.images, images);  // published fields
  EXPECT_EQ(form.button1, button);

  // The collection with its sub-object properties and binary data.
  ASSERT_EQ(images->items.Count(), 2);
  auto* knob = static_cast<TItem*>(images->items.Items(0));
  EXPECT_EQ(knob->DisplayName(), "bigknob");
  EXPECT_EQ(knob->picture.width, 3);
  EXPECT_EQ(knob->picture.height, 2);
  EXPECT_EQ(knob->picture.mode, 1);
  EXPECT_EQ(knob->picture.scale, 100.0L);
  EXPECT_EQ(knob->picture.colour, 8496015);
  EXPECT_EQ(knob->picture.fileName, "knob.png");
  const Bytes file = LoadFixture("knob.pic");
  EXPECT_EQ(knob->picture.pixels, Bytes(file.begin() + 4, file.end()));
  auto* empty = static_cast<TItem*>(images->items.Items(1));
  EXPECT_EQ(empty->picture.scale, 0.5L);
  EXPECT_EQ(empty->picture.colour, 0xFFFFFF);

  // Nesting, references, the state at Loaded.
  EXPECT_EQ(panel->parent, &form);
  EXPECT_THAT(panel->children, ElementsAre(button));
  EXPECT_EQ(button->parent, panel);
  EXPECT_EQ(panel->anchors, 0b1001u);
  EXPECT_EQ(button->Tag(), 7);
  EXPECT_EQ(button->left, -5);
  EXPECT_EQ(button->top, 70000);
  EXPECT_FALSE(button->visible);
  EXPECT_EQ(button->list, images);
  EXPECT_EQ(button->link.list, images);
  EXPECT_EQ(button->link.index, 1);
  EXPECT_TRUE(button->listSetAtLoaded);
  EXPECT_EQ(button->loadedCalls, 1);
  EXPECT_FALSE(button->IsLoading());
  EXPECT_FALSE(form.IsLoading());

  // Events call the form's methods with their own signatures.
  button->OnClick(button);
  button->OnMouseMove(button, 3, 4);
  timer->OnTimer(timer);
  std::string path = "knob.png";
  knob->OnTranslate(knob, path);
  EXPECT_THAT(form.calls, ElementsAre("ButtonClick button1", "MouseMoved 3,4", "ButtonClick Timer1"));
  EXPECT_EQ(path, "translated/knob.png");
}

TEST_F(FormTest, RoundTripsGiveTheSameBytes) {
  const Bytes bin = Compile(text_);
  // components -> binary, into an existing root and by class name
  TForm form;
  ReadForm(bin, form);
  EXPECT_EQ(WriteForm(form), bin);
  std::unique_ptr<TComponent> created = ReadForm(bin);
  ASSERT_NE(dynamic_cast<TForm*>(created.get()), nullptr);
  EXPECT_EQ(WriteForm(*created), bin);
  // binary -> text -> binary
  const std::string printed = BinaryFormToText(bin);
  EXPECT_EQ(TextFormToBinary(printed), bin) << printed;
  EXPECT_THAT(printed, HasSubstr("Scale = 100.0\n"));
  EXPECT_THAT(printed, HasSubstr("Anchors = [akLeft, akBottom]\n"));
}

TEST_F(FormTest, WriterLeavesDefaultsOutAndNamesColours) {
  TForm form;
  form.SetName("F");
  auto* list = new TList(&form);
  list->SetName("L");
  auto* item = static_cast<TItem*>(list->items.Add());
  item->picture.colour = 0;
  auto* control = new TControl(&form);
  control->SetName("C");
  control->SetParentComponent(&form);
  const std::string text = BinaryFormToText(WriteForm(form));
  EXPECT_EQ(text,
            "TForm F {\n"
            "  Width = 0\n"
            "  Caption = \"\"\n"
            "  TList L {\n"
            "    Items = (\n"
            "      {\n"
            "        DIB.Height = 0\n"
            "        DIB.Mode = tmAuto\n"
            "        DIB.Scale = 100.0\n"
            "        DIB.TransparentColor = clBlack\n"
            "        DIB.Width = 0\n"
            "        DIB.Data = <00000000>\n"
            "        DisplayName = \"TItem\"\n"
            "      }\n"
            "    )\n"
            "  }\n"
            "  TControl C {\n"
            "    Left = 0\n"
            "    Top = 0\n"
            "  }\n"
            "}\n");
}

TEST_F(FormTest, PropertyListsCanBeStoredAlone) {
  TForm form;
  auto* list = new TList(&form);
  list->SetName("images");
  TControl source(nullptr);
  source.left = 12;
  source.list = list;
  source.link.list = list;
  source.link.index = 3;
  TMemoryStream s;
  FormWriter(s).WriteProperties(source);
  source.list = nullptr;
  s.SetPosition(0);
  TControl copy(nullptr);
  FormReader(s).ReadProperties(copy, form);
  EXPECT_EQ(copy.left, 12);
  EXPECT_EQ(copy.list, list);
  EXPECT_EQ(copy.link.index, 3);
}

// What a failed read must leave: an empty root, no dangling field, no leak
// (the sanitizer build checks the last).
void ExpectRefused(const Bytes& bin, const std::vector<std::string>& fragments) {
  TForm form;
  try {
    ReadForm(bin, form);
    ADD_FAILURE() << "accepted";
  } catch (const EReadError& e) {
    for (const auto& f : fragments) EXPECT_THAT(e.what(), HasSubstr(f));
  }
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_EQ(form.button1, nullptr);
  EXPECT_EQ(form.images, nullptr);
  EXPECT_FALSE(form.IsLoading());
}

TEST_F(FormTest, BadFormsAreRefusedNamingComponentAndProperty) {
  struct Case {
    const char* from;
    const char* to;
    std::vector<std::string> fragments;
  };
  const std::vector<Case> cases = {
      {"TControl panel", "TWidget panel", {"Error reading MainForm.panel: Class TWidget not found"}},
      {"Left = -5",
       "Leftt = -5",
       {"MainForm.panel.button1.Leftt: Property Leftt does not exist in TControl"}},
      {"Left = -5",
       "Left = \"-5\"",
       {"button1.Left: Property Left expects an integer, not a value of kind string"}},
      {"Visible = False", "Visible = 0", {"button1.Visible", "expects a boolean"}},
      {"DIB.Scale = 0.5", "DIB.Scale = 1", {"images.Items[1].DIB.Scale", "expects an extended value"}},
      {"DIB.Width = 3", "DIB.Width = 70000", {"images.Items[0].DIB.Width: Width must be 0..65535"}},
      {"DIB.Mode = tmAuto", "DIB.Mode = tmOther", {"Items[1].DIB.Mode", "tmOther"}},
      {"[akLeft, akBottom]", "[akLeft, akUp]", {"panel.Anchors", "akUp"}},
      {"OnClick = ButtonClick",
       "OnClick = Missing",
       {"button1.OnClick: Method Missing is not published by TForm"}},
      {"OnClick = ButtonClick", "OnClick = MouseMoved", {"button1.OnClick", "MouseMoved does not match"}},
      {"OnClick = ButtonClick", "OnClick = 5", {"button1.OnClick", "expects a method name"}},
      {"TControl button1", "TControl Timer1", {"Timer1: A component named Timer1 already exists"}},
      {"TControl button1", "TControl IMAGES", {"A component named IMAGES already exists"}},
      {"TControl button1", "TTimer button1", {"button1: Field button1 of TForm cannot hold a TTimer"}},
      {"List = images", "List = nothere", {"button1.List: Component nothere does not exist"}},
      {"Link.List = images", "Link.List = Timer1", {"button1.Link.List: Component Timer1 is not a TList"}},
      {"List = images", "List = \"images\"", {"button1.List", "expects a component name"}},
      {"Top = 70000", "Top = 1\n      Left = 2", {"button1.Left: Property Left is stored twice"}},
      {"Top = 70000", "Link = 1", {"button1.Link: Property Link is an object"}},
      {"Top = 70000", "Left.X = 1", {"button1.Left.X", "has no sub-properties"}},
      {"Items = (", "Items = 5\n    Dummy = (", {"images.Items: Property Items expects a collection"}},
      {"DIB.Data = <00000000>", "DIB.Data = 1", {"Items[1].DIB.Data: Property Data expects binary data"}},
      {"DIB.Data = <00000000>", "DIB.Data = <0000>", {"Items[1].DIB.Data: Stream read error"}},
      {"TControl button1 {", "TList other1 {", {"panel.other1: A TList cannot be placed inside panel"}},
      {"TForm MainForm", "TControl MainForm", {"The form is a TControl, not a TForm"}},
      {"TControl panel", "TItem panel", {"Class TItem is not a component class"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    ExpectRefused(Compile(Edit(c.from, c.to)), c.fragments);
  }
}

TEST_F(FormTest, SetterErrorsKeepTheOriginalNested) {
  TForm form;
  try {
    ReadForm(Compile(Edit("DIB.Width = 3", "DIB.Width = 70000")), form);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_THROW(std::rethrow_if_nested(e), EPropertyError);
  }
}

// Hand-made streams for what the text syntax cannot say.
struct Stream {
  // Built from an array: GCC 12 at -O2 misreports a small initializer list here.
  static constexpr std::uint8_t kSignature[4] = {'T', 'P', 'F', '0'};
  Bytes b = Bytes(std::begin(kSignature), std::end(kSignature));
  Stream& Raw(std::initializer_list<int> bytes) {
    for (int x : bytes) b.push_back(static_cast<std::uint8_t>(x));
    return *this;
  }
  Stream& Name(const std::string& s) {
    b.push_back(static_cast<std::uint8_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
};

TEST_F(FormTest, BadStreamsAreRefused) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<std::string> fragments;
  };
  const std::vector<Case> cases = {
      {"no signature", Bytes{'T', 'P', 'F', '1', 5, 'T', 'F', 'o', 'r', 'm', 0, 0, 0}, {"no TPF0 signature"}},
      {"empty", Bytes{}, {"no TPF0 signature"}},
      {"no object", Stream().Raw({0}).b, {"has no object"}},
      {"bad tag",
       Stream().Name("TForm").Name("F").Name("Width").Raw({0x42}).b,
       {"F.Width: Invalid value tag 0x42"}},
      {"bad tag 0",
       Stream().Name("TForm").Name("F").Name("Width").Raw({0x00}).b,
       {"F.Width: Invalid value tag 0x00"}},
      {"string past end",
       Stream().Name("TForm").Name("F").Name("Caption").Raw({0x08, 0xFF, 0xFF, 0, 0, 'a'}).b,
       {"F.Caption: A string of 65535 bytes runs past the end of the stream"}},
      {"string too long",
       Stream().Name("TForm").Name("F").Name("Caption").Raw({0x08, 0, 0, 0, 0x10}).b,
       {"F.Caption: A string of 268435456 bytes is longer than allowed"}},
      {"binary too long",
       Stream()
           .Name("TForm")
           .Name("F")
           .Raw({0})
           .Name("TList")
           .Name("L")
           .Name("Items")
           .Raw({0x0C, 0x01})
           .Name("DIB.Data")
           .Raw({0x0A, 0x00, 0xFF, 0xFF, 0xFF})
           .b,
       {"L.Items[0].DIB.Data: A binary value of 4294967040 bytes is longer than allowed"}},
      {"binary past end",
       Stream()
           .Name("TForm")
           .Name("F")
           .Raw({0})
           .Name("TList")
           .Name("L")
           .Name("Items")
           .Raw({0x0C, 0x01})
           .Name("DIB.Data")
           .Raw({0x0A, 0x10, 0, 0, 0, 1, 2})
           .b,
       {"L.Items[0].DIB.Data: A binary value of 16 bytes runs past the end of the stream"}},
      {"cut in the middle",
       Stream().Name("TForm").Name("F").Name("Width").Raw({0x06, 1, 2}).b,
       {"Unexpected end of stream"}},
      {"bad item marker",
       Stream().Name("TForm").Name("F").Raw({0}).Name("TList").Name("L").Name("Items").Raw({0x0C, 0x05}).b,
       {"L.Items: Invalid collection item marker"}},
      {"bad class name", Stream().Name("T-x").Raw({0}).b, {"Invalid identifier"}},
      {"set of unknowns",
       Stream()
           .Name("TForm")
           .Name("F")
           .Raw({0})
           .Name("TControl")
           .Name("c")
           .Name("Anchors")
           .Raw({0x0B})
           .Name("akLeft")
           .Name("nope")
           .Raw({0})
           .b,
       {"c.Anchors", "'nope' is not a valid element"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRefused(c.bytes, c.fragments);
  }
}

TEST_F(FormTest, NestingIsCapped) {
  auto nested = [](int levels) {
    Stream s;
    s.Name("TForm").Name("F").Raw({0});
    for (int i = 0; i < levels; ++i) s.Name("TControl").Name("c" + std::to_string(i)).Raw({0});
    for (int i = 0; i <= levels; ++i) s.Raw({0});
    return s.b;
  };
  TForm ok;
  ReadForm(nested(31), ok);  // the form and 31 levels below it
  EXPECT_EQ(ok.ComponentCount(), 31);
  ExpectRefused(nested(32), {"c31: Form is nested deeper than 32 levels"});
  ExpectRefused(nested(5000), {"nested deeper"});
}

TEST_F(FormTest, EveryTruncationIsRefusedCleanly) {
  const Bytes bin = Compile(text_);
  for (std::size_t n = 0; n < bin.size(); ++n) {
    SCOPED_TRACE(n);
    ExpectRefused(Bytes(bin.begin(), bin.begin() + static_cast<std::ptrdiff_t>(n)), {});
  }
}

// A stream that can only copy bytes out, like a file.
class TCopyingStream : public TStream {
 public:
  explicit TCopyingStream(const Bytes& bytes) : inner_(bytes) {}
  std::size_t Read(void* buffer, std::size_t count) override { return inner_.Read(buffer, count); }
  std::size_t Write(const void*, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override { return inner_.Seek(offset, origin); }
  std::int64_t Size() const override { return inner_.Size(); }

 private:
  TMemoryStream inner_;
};

TEST_F(FormTest, BinaryValuesArriveWhereTheyLieAndSayWhetherTheyLast) {
  const Bytes bin = Compile(text_);
  const Bytes file = LoadFixture("knob.pic");
  const auto inForm = [&](const std::uint8_t* p) {
    return p >= bin.data() && p + file.size() <= bin.data() + bin.size();
  };
  const auto knobOf = [](TForm& f) {
    return &static_cast<TItem*>(static_cast<TList*>(f.Components(1))->items.Items(0))->picture;
  };

  TForm lasting;
  ReadForm(bin, lasting, TFormBytes::Lasting);
  const TPicture* knob = knobOf(lasting);
  ASSERT_TRUE(inForm(knob->dataAt));
  EXPECT_TRUE(std::equal(file.begin(), file.end(), knob->dataAt));
  EXPECT_TRUE(knob->dataLasting);
  EXPECT_EQ(WriteForm(lasting), bin);

  TForm transient;
  ReadForm(bin, transient);
  EXPECT_TRUE(inForm(knobOf(transient)->dataAt));
  EXPECT_FALSE(knobOf(transient)->dataLasting);

  // From a stream that cannot show its bytes the value is copied out.
  TForm copied;
  TCopyingStream stream(bin);
  FormReader(stream).ReadRootComponent(copied);
  EXPECT_FALSE(inForm(knobOf(copied)->dataAt));
  EXPECT_EQ(knobOf(copied)->pixels, Bytes(file.begin() + 4, file.end()));
  EXPECT_EQ(WriteForm(copied), bin);
}

TEST_F(FormTest, BinaryValuesCanBeFoundWithoutReading) {
  const Bytes bin = Compile(text_);
  std::vector<std::pair<std::string, Bytes>> found;
  ForEachBinaryValue(bin, [&](std::string_view path, std::span<const std::uint8_t> value) {
    EXPECT_TRUE(value.data() >= bin.data() && value.data() + value.size() <= bin.data() + bin.size());
    found.emplace_back(std::string(path), Bytes(value.begin(), value.end()));
  });
  EXPECT_THAT(found, ElementsAre(std::pair{std::string("DIB.Data"), LoadFixture("knob.pic")},
                                 std::pair{std::string("DIB.Data"), Bytes{0, 0, 0, 0}}));
  EXPECT_TRUE(gLog.empty()) << "nothing was made or set";
  for (std::size_t n = 0; n < bin.size(); ++n)
    EXPECT_THROW(ForEachBinaryValue({bin.data(), n}, [](std::string_view, std::span<const std::uint8_t>) {}),
                 EReadError)
        << n;
}

TEST_F(FormTest, FailedCreateByClassNameLeavesNothing) {
  const Bytes bad = Compile(Edit("List = images", "List = nothere"));
  EXPECT_THROW(ReadForm(std::span<const std::uint8_t>(bad)), EReadError);
  // The destructors ran for all four components.
  EXPECT_THAT(gLog, ::testing::Contains("~button1"));
  EXPECT_THAT(gLog, ::testing::Contains("~images"));
  Stream unknown;
  unknown.Name("TNothing").Raw({0, 0, 0});
  EXPECT_THROW(ReadForm(std::span<const std::uint8_t>(unknown.b)), EClassNotFound);
}

TEST(TextForm, SyntaxErrorsSayWhere) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", "line 1, column 1: the text holds no object"},
      {"TForm F {\n  Width 5\n}",
       "line 2, column 9: expected '=' after a property name or '{' after an object's names"},
      {"TForm F {\n  Width = \n}", "line 3, column 1: expected a value"},
      {"TForm F {\n  TControl c {}\n  Width = 1\n}",
       "line 3, column 3: properties must come before the nested objects"},
      {"TForm F { Caption = \"abc }", "unterminated string"},
      {"TForm F { Caption = \"a\\qb\" }", "unknown escape in a string"},
      {"TForm F { Data = <0a0> }", "odd number of hex digits"},
      {"TForm F { Data = <0g> }", "expected hex digits or '>'"},
      {"TForm F { Data = @file(\"x\") }", "@file is not available here"},
      {"TForm F { Width = 2147483648 }", "integer out of range"},
      {"TForm F { Width = 12abc }", "unexpected character after a number"},
      {"TForm F { Width = 1. }", "expected digits after '.'"},
      {"TForm F { Scale = ext(0011) }", "ext() needs 20 hex digits"},
      {"TForm F { Anchors = [a b] }", "expected ','"},
      {"TForm F { } TForm G { }", "unexpected text after the object"},
      {"TForm F { Width = 1", "expected '}'"},
  };
  for (const Case& c : cases) {
    try {
      TextFormToBinary(c.text);
      ADD_FAILURE() << c.text << " accepted";
    } catch (const EParserError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.text;
    }
  }
}

TEST(TextForm, ValuesPrintAndParseLosslessly) {
  const std::string text =
      "TForm {\n"
      "  A = -128\n"
      "  B = 32767\n"
      "  C = -2147483648\n"
      "  D = 0x7FFFFFFF\n"
      "  E = 1e+300\n"
      "  F = -0.0\n"
      "  G = 0.1\n"
      "  H = ext(0000000000000000ff7f)\n"
      "  I = ext(010000000000c000ff7f)\n"
      "  J = nil\n"
      "  K = \"\\x00\\x1f\\\\\\\"\\r\\n\\t\xc3\xa9\"\n"
      "  L = []\n"
      "  M = <>\n"
      "  N = (\n"
      "  )\n"
      "  ext = ext\n"
      "}\n";
  const Bytes bin = TextFormToBinary(text);
  // The tags: smallest integers, inf and a NaN with payload as raw bytes.
  const std::string printed = BinaryFormToText(bin);
  EXPECT_EQ(TextFormToBinary(printed), bin);
  EXPECT_THAT(printed, HasSubstr("D = 2147483647\n"));
  EXPECT_THAT(printed, HasSubstr("E = 1.0e+300\n"));
  EXPECT_THAT(printed, HasSubstr("F = -0.0\n"));
  EXPECT_THAT(printed, HasSubstr("G = 0.1\n"));
  EXPECT_THAT(printed, HasSubstr("H = ext(0000000000000000ff7f)\n"));
  EXPECT_THAT(printed, HasSubstr("I = ext(010000000000c000ff7f)\n"));
  EXPECT_THAT(printed, HasSubstr("K = \"\\x00\\x1f\\\\\\\"\\r\\n\\t\xc3\xa9\"\n"));
  EXPECT_EQ(bin[4 + 6 + 1 + 2], form::kInt8);  // "TForm", empty name, "A"
}

TEST(TextForm, LongBinariesPrintInLinesOrGoToFiles) {
  Bytes data(100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  TMemoryStream s;
  s.WriteBuffer("TPF0", 4);
  s.WriteU8(5);
  s.WriteBuffer("TForm", 5);
  s.WriteU8(0);
  s.WriteU8(8);
  s.WriteBuffer("DIB.Data", 8);
  s.WriteU8(form::kBinary);
  s.WriteU32(100);
  s.WriteBuffer(data.data(), 100);
  s.WriteU8(0);
  s.WriteU8(0);
  const Bytes bin = s.Bytes();
  const std::string hex = BinaryFormToText(bin);
  EXPECT_EQ(TextFormToBinary(hex), bin);
  EXPECT_THAT(hex, HasSubstr("    00010203 04050607"));

  Bytes stored;
  const std::string linked =
      BinaryFormToText(bin, [&](const std::string& path, std::span<const std::uint8_t> b) {
        EXPECT_EQ(path, "DIB.Data");
        stored.assign(b.begin(), b.end());
        return std::optional<std::string>("data \"1\".bin");
      });
  EXPECT_THAT(linked, HasSubstr("DIB.Data = @file(\"data \\\"1\\\".bin\")\n"));
  EXPECT_EQ(TextFormToBinary(linked,
                             [&](const std::string& name) {
                               EXPECT_EQ(name, "data \"1\".bin");
                               return stored;
                             }),
            bin);
}

}  // namespace
