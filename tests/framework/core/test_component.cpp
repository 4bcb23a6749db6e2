// Components, collections and published properties, used directly.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "framework/core/FormStream.h"
#include "tests/framework/core/FakeComponents.h"

namespace {

using namespace fake;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { gLog.clear(); }
};

TEST_F(ComponentTest, OwnerDestroysWhatItOwnsNewestFirst) {
  {
    TForm form;
    auto* a = new TControl(&form);
    a->SetName("a");
    auto* b = new TList(&form);
    b->SetName("b");
    auto* c = new TControl(&form);
    c->SetName("c");
    EXPECT_EQ(form.ComponentCount(), 3);
    EXPECT_EQ(b->ComponentIndex(), 1);
    EXPECT_EQ(b->Owner(), &form);
  }
  EXPECT_THAT(gLog, ElementsAre("~c", "~b", "~a"));
}

TEST_F(ComponentTest, FindComponentIgnoresCaseAndNamesAreUnique) {
  TForm form;
  auto* step = new TControl(&form);
  step->SetName("step1");
  new TControl(&form);  // unnamed ones never match
  EXPECT_EQ(form.FindComponent("Step1"), step);
  EXPECT_EQ(form.FindComponent("STEP1"), step);
  EXPECT_EQ(form.FindComponent("step2"), nullptr);
  EXPECT_EQ(form.FindComponent(""), nullptr);

  auto* other = new TControl(&form);
  try {
    other->SetName("STEP1");
    FAIL() << "duplicate name accepted";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "A component named STEP1 already exists");
  }
  EXPECT_THROW(other->SetName("1step"), EComponentError);
  EXPECT_THROW(other->SetName("step 2"), EComponentError);
  EXPECT_EQ(other->Name(), "");
  step->SetName("Step1");  // renaming itself in another case is fine
  EXPECT_EQ(step->Name(), "Step1");
}

TEST_F(ComponentTest, RemovalIsToldToSiblingsAndToWhoAskedAcrossOwners) {
  TForm form, otherForm;
  auto* sameOwnerList = new TList(&form);
  sameOwnerList->SetName("listA");
  auto* foreignList = new TList(&otherForm);
  foreignList->SetName("listB");
  auto* c1 = new TControl(&form);
  c1->SetName("c1");
  auto* c2 = new TControl(&form);
  c2->SetName("c2");
  SetPropertyValue(*c1, "Tag", 1);
  c1->list = sameOwnerList;  // told through the common owner
  c2->list = foreignList;    // told only through a free notification
  foreignList->FreeNotification(c2);

  delete sameOwnerList;
  EXPECT_EQ(c1->list, nullptr);
  delete foreignList;
  EXPECT_EQ(c2->list, nullptr);
  EXPECT_THAT(gLog, ElementsAre("~listA", "c1 lost list", "~listB", "c2 lost list"));
}

TEST_F(ComponentTest, FreeNotificationIsForgottenWhenEitherSideGoes) {
  TForm a, b;
  auto* list = new TList(&a);
  auto* control = new TControl(&b);
  control->SetName("c");
  list->FreeNotification(control);
  delete control;  // the list must not tell a dead control later
  delete list;
  EXPECT_THAT(gLog, ElementsAre("~c", "~"));
}

TEST_F(ComponentTest, PublishedFieldIsClearedWhenItsComponentGoes) {
  TForm form;
  auto* b = new TControl(&form);
  b->SetName("button1");
  form.button1 = b;
  delete b;
  EXPECT_EQ(form.button1, nullptr);
}

TEST_F(ComponentTest, InsertComponentMovesOwnership) {
  TForm a, b;
  auto* c = new TControl(&a);
  c->SetName("c");
  b.InsertComponent(c);
  EXPECT_EQ(a.ComponentCount(), 0);
  EXPECT_EQ(c->Owner(), &b);
  auto* clash = new TControl(&a);
  clash->SetName("C");
  EXPECT_THROW(b.InsertComponent(clash), EComponentError);
  EXPECT_EQ(clash->Owner(), &a);
}

TEST_F(ComponentTest, DestroyingIsSeenByOwnedComponents) {
  auto* form = new TForm;
  auto* c = new TControl(form);
  form->Destroying();
  EXPECT_TRUE(c->IsDestroying());
  delete form;
}

TEST(Collection, ItemsKnowTheirIndexAndMoveAndReportChanges) {
  TList list(nullptr);
  TItems& items = list.items;
  auto* first = static_cast<TItem*>(items.Add());
  auto* second = static_cast<TItem*>(items.Add());
  auto* third = static_cast<TItem*>(items.Add());
  EXPECT_EQ(items.Count(), 3);
  EXPECT_EQ(second->Index(), 1);
  EXPECT_EQ(first->DisplayName(), "TItem");
  EXPECT_EQ(items.Owner(), &list);

  third->SetIndex(0);
  EXPECT_EQ(items.Items(0), third);
  EXPECT_EQ(first->Index(), 1);
  third->SetIndex(99);  // clamped to the end
  EXPECT_EQ(third->Index(), 2);

  const int before = items.updates;
  items.BeginUpdate();
  items.Add();
  items.Delete(0);
  EXPECT_EQ(items.updates, before);
  items.EndUpdate();
  EXPECT_EQ(items.updates, before + 1);

  delete second;  // an item deleted directly leaves its collection
  EXPECT_EQ(items.Count(), 2);
  items.Clear();
  EXPECT_EQ(items.Count(), 0);
}

TEST(Properties, GetAndSetByNameAndPath) {
  RegisterFakes();
  TList list(nullptr);
  auto* item = static_cast<TItem*>(list.items.Add());
  TControl control(nullptr);

  struct Case {
    TPersistent* object;
    const char* path;
    Value value;
  };
  const Case cases[] = {
      {&control, "Tag", Value(42)},
      {&control, "left", Value(-3)},  // letter case ignored
      {&control, "Visible", Value(false)},
      {&control, "Caption", Value("hi")},
      {&control, "Anchors", Value(SetNames{"akTop", "akBottom"})},
      {&control, "Link.Index", Value(4)},
      {item, "DIB.Width", Value(29)},
      {item, "DIB.Scale", Value(static_cast<long double>(2.5))},
      {item, "DIB.Mode", Value(Ident{"tmFixed"})},
      {item, "DIB.Data", Value(Bytes{2, 0, 1, 0, 9, 9})},
      {item, "DisplayName", Value("knob")},
  };
  for (const Case& c : cases) {
    SetPropertyValue(*c.object, c.path, c.value);
    EXPECT_EQ(GetPropertyValue(*c.object, c.path), c.value) << c.path;
  }
  EXPECT_EQ(control.left, -3);
  EXPECT_EQ(control.anchors, 0b1010u);
  EXPECT_EQ(item->picture.width, 2);  // Data set the size last
  EXPECT_EQ(item->picture.pixels, (Bytes{9, 9}));

  // A colour takes its name or its number and reads back as a number.
  SetPropertyValue(*item, "DIB.TransparentColor", Value(Ident{"clWhite"}));
  EXPECT_EQ(GetPropertyValue(*item, "DIB.TransparentColor"), Value(0xFFFFFF));
  // References read as the component's name; events as the method's.
  TList other(nullptr);
  other.SetName("other");
  control.list = &other;
  EXPECT_EQ(GetPropertyValue(control, "List"), Value(Ident{"other"}));
  SetPropertyValue(control, "List", Value());
  EXPECT_EQ(control.list, nullptr);
  EXPECT_EQ(GetPropertyValue(control, "OnClick"), Value());
}

TEST(Properties, BadNamesAndValuesAreRefused) {
  RegisterFakes();
  TList list(nullptr);
  auto* item = static_cast<TItem*>(list.items.Add());
  TControl control(nullptr);
  struct Case {
    TPersistent* object;
    const char* path;
    Value value;
    const char* message;
  };
  const Case cases[] = {
      {&control, "Nope", Value(1), "Property Nope does not exist in TControl"},
      {&control, "Left.X", Value(1), "Property Left of TControl has no sub-properties"},
      {&control, "Left", Value("1"), "Property Left expects an integer, not a value of kind string"},
      {&control, "Left", Value(std::int64_t{1} << 40),
       "Value 1099511627776 is out of range for property Left"},
      {&control, "Visible", Value(1), "Property Visible expects a boolean, not a value of kind integer"},
      {&control, "Anchors", Value(SetNames{"akUp"}), "'akUp' is not a valid element of Anchors"},
      {&control, "Link", Value(1), "Property Link cannot be set to a value"},
      {&control, "OnClick", Value(Ident{"ButtonClick"}), "Property OnClick cannot be set to a value"},
      {&control, "List", Value(Ident{"x"}), "Property List takes a component, not a value"},
      {item, "DIB.Mode", Value(Ident{"tmOther"}), "'tmOther' is not a valid value of Mode"},
      {item, "DIB.TransparentColor", Value(Ident{"clPink"}),
       "'clPink' is not a valid value of TransparentColor"},
      {item, "DIB.Scale", Value(100),
       "Property Scale expects an extended value, not a value of kind integer"},
      {item, "DIB.Width", Value(70000), "Width must be 0..65535"},
  };
  for (const Case& c : cases) {
    try {
      SetPropertyValue(*c.object, c.path, c.value);
      ADD_FAILURE() << c.path << " accepted";
    } catch (const EPropertyError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(Extended, EncodesTheEightyBitFormat) {
  struct Case {
    long double value;
    std::uint8_t bytes[10];
  };
  const Case cases[] = {
      {100.0L, {0, 0, 0, 0, 0, 0, 0, 0xC8, 0x05, 0x40}},
      {1.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
      {0.5L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F}},
      {-2.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}},
      {0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {-0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
      {HUGE_VALL, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
      {std::ldexp(1.0L, -16445), {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},  // the smallest denormal
      {1.0L / 3.0L, {0xAB, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xFD, 0x3F}},
  };
  for (const Case& c : cases) {
    std::uint8_t out[10];
    form::EncodeExtended(c.value, out);
    EXPECT_EQ(Bytes(out, out + 10), Bytes(c.bytes, c.bytes + 10)) << static_cast<double>(c.value);
    const long double back = form::DecodeExtended(c.bytes);
    EXPECT_EQ(back, c.value);
    EXPECT_EQ(std::signbit(back), std::signbit(c.value));
  }
  const std::uint8_t nan[10] = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F};
  EXPECT_TRUE(std::isnan(form::DecodeExtended(nan)));
}

}  // namespace
