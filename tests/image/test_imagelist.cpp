// Image lists and links: notifications, index bookkeeping, the shared alias,
// templates and loading pictures from files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/core/FormStream.h"
#include "framework/core/Stream.h"
#include "framework/core/TextForm.h"
#include "image/cDIBImageList.h"

using namespace image;

namespace {

struct Event {
  int index, kind;
  bool operator==(const Event&) const = default;
};

// A list of n items, item i being (i + 1) x 1 pixels.
struct ListFixture {
  TDIBImageList list{nullptr};
  explicit ListFixture(int n) {
    for (int i = 0; i < n; ++i) {
      TDIBImagesItem* item = list.DIBImages().Add();
      item->StoredDIB().SetSize(static_cast<std::uint16_t>(i + 1), 1);
    }
  }
};

// A link that records its events.
struct RecordingLink {
  TDIBImageLink link;
  std::vector<Event> events;
  explicit RecordingLink(framework::TComponent* owner = nullptr) : link(owner) {
    link.OnImageChanged.Bind([this](framework::TObject*, int index, int kind) {
      events.push_back({index, kind});
    });
  }
};

// A 24-bit bottom-up BMP of w x h pixels, every pixel (b, g, r).
void WriteBmp(const std::string& path, int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  const int stride = (w * 3 + 3) & ~3;
  const std::uint32_t size = 54 + static_cast<std::uint32_t>(stride * h);
  std::vector<std::uint8_t> f(size, 0);
  auto u32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  u32(2, size);
  u32(10, 54);
  u32(14, 40);
  u32(18, static_cast<std::uint32_t>(w));
  u32(22, static_cast<std::uint32_t>(h));
  f[26] = 1;
  f[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &f[54 + static_cast<std::size_t>(y * stride + x * 3)];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
}

}  // namespace

TEST(ImageList, DeletingAnItemRenumbersLaterLinksAndTellsTheOwnLinkOnly) {
  ListFixture f(8);
  RecordingLink at1, at3, at5;
  at1.link.SetDIBIndex(1);
  at3.link.SetDIBIndex(3);
  at5.link.SetDIBIndex(5);
  for (auto* r : {&at1, &at3, &at5}) {
    r->link.SetDIBImageList(&f.list);
    r->events.clear();
  }

  f.list.DIBImages().Delete(3);

  EXPECT_EQ(at1.link.DIBIndex(), 1);
  EXPECT_TRUE(at1.events.empty());
  EXPECT_EQ(at3.events, (std::vector<Event>{{3, kImageDeleted}}));
  EXPECT_EQ(at3.link.DIBIndex(), -1);
  EXPECT_EQ(at5.link.DIBIndex(), 4);
  EXPECT_TRUE(at5.events.empty());
  // The link at 5 now draws what was item 5 (6 pixels wide).
  TAbstractSuperDIB* image = nullptr;
  ASSERT_TRUE(at5.link.GetImage(image));
  EXPECT_EQ(image->Width(), 6);
}

TEST(ImageList, MovingAnItemRewritesLinkIndicesWithoutEvents) {
  struct Case {
    int from, to;
    std::vector<int> before, after;
  };
  const Case cases[] = {
      {2, 5, {1, 2, 3, 4, 5, 6}, {1, 5, 2, 3, 4, 6}},
      {5, 2, {1, 2, 3, 4, 5, 6}, {1, 3, 4, 5, 2, 6}},
      {4, 4, {3, 4, 5}, {3, 4, 5}},
  };
  for (const Case& c : cases) {
    ListFixture f(8);
    std::vector<std::unique_ptr<RecordingLink>> links;
    for (int index : c.before) {
      links.push_back(std::make_unique<RecordingLink>());
      links.back()->link.SetDIBIndex(index);
      links.back()->link.SetDIBImageList(&f.list);
      links.back()->events.clear();
    }
    f.list.DIBImages().Items(c.from)->SetIndex(c.to);
    for (std::size_t i = 0; i < links.size(); ++i) {
      EXPECT_EQ(links[i]->link.DIBIndex(), c.after[i]) << c.from << "->" << c.to << " link " << i;
      EXPECT_TRUE(links[i]->events.empty());
    }
    // The moved item really sits at its new place (widths tell the items apart).
    EXPECT_EQ(f.list.DIBImages().Items(c.to)->StoredDIB().Width(), c.from + 1);
  }
}

TEST(ImageList, IndexChangesAndAttachingAnnounceOnlyTheLinksImage) {
  RecordingLink r;
  r.link.SetDIBIndex(-1);  // unchanged: nothing
  EXPECT_TRUE(r.events.empty());
  r.link.SetDIBIndex(4);  // changed, no list: still told
  EXPECT_EQ(r.events, (std::vector<Event>{{4, kImageChanged}}));

  ListFixture f(15);
  struct Case {
    int index;
    std::vector<Event> expected;
  };
  for (const Case& c : {Case{7, {{7, kImageChanged}}}, Case{-1, {}}, Case{20, {}}}) {
    RecordingLink link;
    link.link.SetDIBIndex(c.index);
    link.events.clear();
    link.link.SetDIBImageList(&f.list);
    EXPECT_EQ(link.events, c.expected) << c.index;
  }
}

TEST(ImageList, ChangesOfAnImageReachOnlyItsLinks) {
  ListFixture f(3);
  RecordingLink at0, at2;
  at0.link.SetDIBIndex(0);
  at2.link.SetDIBIndex(2);
  at0.link.SetDIBImageList(&f.list);
  at2.link.SetDIBImageList(&f.list);
  at0.events.clear();
  at2.events.clear();

  f.list.DIBImages().Items(2)->StoredDIB().SetOpacity(7);  // the buffer's OnChange
  f.list.DIBImages().Items(2)->SetDisplayName("renamed");
  EXPECT_TRUE(at0.events.empty());
  EXPECT_EQ(at2.events, (std::vector<Event>{{2, kImageChanged}, {2, kImageChanged}}));
  EXPECT_EQ(f.list.DIBImages().Items(2)->DisplayName(), "renamed");
  EXPECT_EQ(f.list.DIBImages().Items(0)->DisplayName(), "TDIBImagesItem");
}

TEST(ImageList, LookupsShareOneAliasRepointedEachTime) {
  ListFixture f(3);
  f.list.DIBImages().Items(1)->StoredDIB().SetPixelAt(0, 0, 0xFF112233);
  f.list.DIBImages().Items(2)->StoredDIB().SetOpacity(99);

  TAbstractSuperDIB* first = nullptr;
  TAbstractSuperDIB* second = nullptr;
  ASSERT_TRUE(f.list.GetImage(1, first));
  EXPECT_EQ(first->Width(), 2);
  EXPECT_EQ(first->PixelAt(0, 0), 0xFF112233u);
  // A control's own drawing settings do not reach the stored image...
  first->SetScale(50);
  EXPECT_EQ(f.list.DIBImages().Items(1)->StoredDIB().Scale(), 100);
  // ...but pixel changes do: the alias points at the item's pixels.
  EXPECT_EQ(first->Bits(), f.list.DIBImages().Items(1)->StoredDIB().Bits());

  ASSERT_TRUE(f.list.GetImage(2, second));
  EXPECT_EQ(first, second);
  EXPECT_EQ(second->Width(), 3);
  EXPECT_EQ(second->Opacity(), 99);
  EXPECT_EQ(second->Scale(), 100);  // settings copied afresh

  TAbstractSuperDIB* none = nullptr;
  EXPECT_FALSE(f.list.GetImage(-1, none));
  EXPECT_FALSE(f.list.GetImage(3, none));
  f.list.DIBImages().Add();  // an item without pixels
  EXPECT_FALSE(f.list.GetImage(3, none));
  EXPECT_EQ(none, nullptr);
  EXPECT_TRUE(f.list.IsValidIndex(3));
  EXPECT_THROW(f.list.GetSharedDIB(4), EDIBError);
}

TEST(ImageList, FindOrAddTemplateFindsByExactKey) {
  ListFixture f(1);
  TDIBImagesItem* a = f.list.DIBImages().FindOrAddTemplate("knob", 3);
  TDIBImagesItem* b = f.list.DIBImages().FindOrAddTemplate("knob", 3);
  TDIBImagesItem* c = f.list.DIBImages().FindOrAddTemplate("Knob", 3);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(a->TemplateFilename(), "knob:3");
  EXPECT_EQ(f.list.DIBImages().Count(), 3);
}

TEST(ImageList, DestroyingTheListDetachesLinks) {
  RecordingLink r;
  {
    ListFixture f(2);
    r.link.SetDIBIndex(1);
    r.link.SetDIBImageList(&f.list);
    EXPECT_EQ(f.list.LinkCount(), 1);
  }
  EXPECT_EQ(r.link.DIBImageList(), nullptr);
  TAbstractSuperDIB* image = nullptr;
  EXPECT_FALSE(r.link.GetImage(image));
  EXPECT_FALSE(r.link.IsValid());
}

TEST(ImageList, LinksOfADestroyingControlHearNothing) {
  ListFixture f(4);
  framework::TComponent control(nullptr);
  RecordingLink r(&control);
  r.link.SetDIBIndex(2);
  r.link.SetDIBImageList(&f.list);
  r.events.clear();
  control.Destroying();
  f.list.DIBImages().Delete(2);
  f.list.DIBImages().Delete(0);
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(r.link.DIBIndex(), 2);
}

TEST(ImageList, AssignTakesIndexThenList) {
  ListFixture f(5);
  RecordingLink source, target;
  source.link.SetDIBIndex(3);
  source.link.SetDIBImageList(&f.list);
  target.link.Assign(source.link);
  EXPECT_EQ(target.link.DIBImageList(), &f.list);
  EXPECT_EQ(target.link.DIBIndex(), 3);
  // Told once for the index, once more when the list announced it.
  EXPECT_EQ(target.events, (std::vector<Event>{{3, kImageChanged}, {3, kImageChanged}}));
}

TEST(ImageList, TranslatePathReplacesTheDirectory) {
  struct Case {
    std::string file, newDir, expected;
  };
  const Case cases[] = {
      {"C:\\art\\knob.bmp", "D:\\pics", "D:\\pics\\knob.bmp"},
      {"C:\\art\\knob.bmp", "D:\\pics\\", "D:\\pics\\knob.bmp"},
      {"/home/art/knob.png", "/srv/pics", "/srv/pics/knob.png"},
      {"/home/art/knob.png", "", "knob.png"},
      {"knob.png", "here", "here/knob.png"},
  };
  ListFixture f(1);
  TDIBImagesItem* item = f.list.DIBImages().Items(0);
  EXPECT_EQ(item->TranslatePath("/a/b.png"), "/a/b.png");  // no handler
  std::string seen;
  for (const Case& c : cases) {
    item->OnTranslateImagePath.Bind([&](framework::TObject* sender, std::string& dir) {
      EXPECT_EQ(sender, item);
      seen = dir;
      dir = c.newDir;
    });
    EXPECT_EQ(item->TranslatePath(c.file), c.expected) << c.file;
  }
  EXPECT_EQ(seen, "");  // "knob.png" has no directory part
  EXPECT_EQ(item->TranslatePath(""), "");
}

TEST(ImageList, OnDemandItemsLoadTheirFilesOnFirstUseAndStoreNoPixels) {
  const auto dir = std::filesystem::temp_directory_path() / ("imagelist_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  WriteBmp((dir / "pic.bmp").string(), 4, 3, 10, 20, 30);
  WriteBmp((dir / "mask.bmp").string(), 4, 3, 77, 0, 0);

  ListFixture f(1);
  TDIBImagesItem* item = f.list.DIBImages().Items(0);
  item->SetImageRetrieval(irLoadOnDemand);
  item->StoredDIB().SetImageFilename("/nowhere/pic.bmp");
  item->StoredDIB().SetMaskFilename("/nowhere/mask.bmp");
  item->OnTranslateImagePath.Bind([&](framework::TObject*, std::string& d) { d = dir.string(); });
  RecordingLink r;
  r.link.SetDIBIndex(0);
  r.link.SetDIBImageList(&f.list);
  r.events.clear();

  // Nothing stored for the form.
  framework::TMemoryStream data;
  item->StoredDIB().WriteData(data);
  EXPECT_EQ(data.Size(), 0);
  EXPECT_FALSE(item->ImageLoaded());

  TMemoryDIB& dib = item->DIB();
  EXPECT_TRUE(item->ImageLoaded());
  EXPECT_EQ(dib.Width(), 4);
  EXPECT_EQ(dib.Height(), 3);
  EXPECT_EQ(dib.PixelAt(1, 1), 0x4D1E140Au);  // alpha from the mask's blue
  EXPECT_TRUE(dib.Masked());
  // One change for the whole load.
  EXPECT_EQ(r.events, (std::vector<Event>{{0, kImageChanged}}));
  std::filesystem::remove_all(dir);
}

TEST(ImageList, AFailedLoadLeavesTheItemUnloadedAndCanBeRetried) {
  ListFixture f(1);
  TDIBImagesItem* item = f.list.DIBImages().Items(0);
  item->SetImageRetrieval(irLoadOnStart);
  item->StoredDIB().SetImageFilename("/nonexistent/pic.bmp");
  EXPECT_ANY_THROW(f.list.Loaded());
  EXPECT_FALSE(item->ImageLoaded());
  EXPECT_EQ(item->StoredDIB().UpdateCount(), 0);
  // No file name: nothing to load, and nothing raised.
  item->StoredDIB().SetImageFilename("");
  EXPECT_NO_THROW(item->LoadImage());
  EXPECT_FALSE(item->ImageLoaded());
  // Internal items count as loaded at once.
  item->SetImageRetrieval(irInternal);
  item->LoadImage();
  EXPECT_TRUE(item->ImageLoaded());
}

TEST(ImageList, FormsKeepPixelsOfInternalItemsOnlyAndRoundTrip) {
  RegisterImageListClasses();
  framework::TComponent root(nullptr);
  auto* list = new TDIBImageList(&root);
  list->SetName("Images");
  TDIBImagesItem* internal = list->DIBImages().Add();
  internal->SetDisplayName("kept");
  internal->StoredDIB().SetSize(3, 2);
  internal->StoredDIB().SetPixelAt(2, 1, 0xFF445566);
  TDIBImagesItem* onDemand = list->DIBImages().FindOrAddTemplate("knob", 3);
  onDemand->SetImageRetrieval(irLoadOnDemand);
  onDemand->StoredDIB().SetSize(4, 4);
  onDemand->StoredDIB().SetImageFilename("/art/knob.png");

  const std::vector<std::uint8_t> bytes = framework::WriteForm(root);
  const std::string text = framework::BinaryFormToText(bytes);
  EXPECT_NE(text.find("ImageRetrieval = irLoadOnDemand"), std::string::npos) << text;
  EXPECT_NE(text.find("DIB.Data = <>"), std::string::npos) << text;  // no pixels for a file item
  EXPECT_NE(text.find("TemplateFilename = \"knob:3\""), std::string::npos) << text;
  EXPECT_EQ(text.find("ImageRetrieval = irInternal"), std::string::npos) << text;

  framework::TComponent copy(nullptr);
  framework::ReadForm(bytes, copy);
  auto* read = dynamic_cast<TDIBImageList*>(copy.FindComponent("images"));
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->DIBImages().Count(), 2);
  EXPECT_EQ(read->DIBImages().Items(0)->StoredDIB().PixelAt(2, 1), 0xFF445566u);
  EXPECT_EQ(read->DIBImages().Items(1)->ImageRetrieval(), irLoadOnDemand);
  EXPECT_FALSE(read->DIBImages().Items(1)->ImageLoaded());
  EXPECT_EQ(read->DIBImages().FindOrAddTemplate("knob", 3), read->DIBImages().Items(1));
  EXPECT_EQ(framework::WriteForm(copy), bytes);
}

// A picture's scale is stored as an 80-bit extended value (tag 0x05 and ten
// bytes) and sets both axes when read back.
TEST(ImageList, ScaleIsStoredAsAnExtendedValueForBothAxes) {
  RegisterImageListClasses();
  framework::TComponent root(nullptr);
  auto* list = new TDIBImageList(&root);
  list->SetName("Images");
  TDIBImagesItem* item = list->DIBImages().Add();
  item->StoredDIB().SetSize(2, 2);
  item->StoredDIB().SetScale(100);
  const std::vector<std::uint8_t> bytes = framework::WriteForm(root);
  const std::vector<std::uint8_t> hundred = {0x05, 0, 0, 0, 0, 0, 0, 0, 0xC8, 0x05, 0x40};
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), hundred.begin(), hundred.end()), bytes.end());

  item->StoredDIB().SetScale(250);
  framework::TComponent copy(nullptr);
  framework::ReadForm(framework::WriteForm(root), copy);
  auto* read = dynamic_cast<TDIBImageList*>(copy.FindComponent("Images"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->DIBImages().Items(0)->StoredDIB().ScaleX(), 250);
  EXPECT_EQ(read->DIBImages().Items(0)->StoredDIB().ScaleY(), 250);
}

// A picture in automatic mode is keyed by its bottom-left colour; the form
// keeps that colour, so the picture draws the same after a save and reload.
// A fixed key stays what it was.
TEST(ImageList, TransparentColorIsStoredAsRead) {
  RegisterImageListClasses();
  framework::TComponent root(nullptr);
  auto* list = new TDIBImageList(&root);
  list->SetName("Images");
  // Bottom row green (the bottom-left pixel decides), top row blue.
  for (TTransparentMode mode : {tmAuto, tmFixed}) {
    TMemoryDIB& dib = list->DIBImages().Add()->StoredDIB();
    dib.SetSize(2, 2);
    dib.SetPixelAt(0, 0, 0xFF0000FF);
    dib.SetPixelAt(1, 0, 0xFF0000FF);
    dib.SetPixelAt(0, 1, 0xFF00FF00);
    dib.SetPixelAt(1, 1, 0xFF00FF00);
    dib.SetTransparentColor(framework::clRed);
    dib.SetTransparentMode(mode);
    dib.SetTransparent(true);
  }

  framework::TComponent copy(nullptr);
  framework::ReadForm(framework::WriteForm(root), copy);
  auto* read = dynamic_cast<TDIBImageList*>(copy.FindComponent("Images"));
  ASSERT_NE(read, nullptr);
  const TMemoryDIB& autoKey = read->DIBImages().Items(0)->StoredDIB();
  const TMemoryDIB& fixedKey = read->DIBImages().Items(1)->StoredDIB();
  EXPECT_EQ(autoKey.StoredTransparentColor(), 0x0000FF00u);
  EXPECT_EQ(fixedKey.StoredTransparentColor(), 0x00FF0000u);

  // Drawn over grey, the automatic picture leaves its green row out.
  TMemoryDIB dest(2, 2);
  dest.Fill(framework::clGray);
  read->DIBImages().Items(0)->DIB().Draw(0, 0, 2, 2, dest, 0, 0);
  EXPECT_EQ(dest.PixelAt(0, 0), 0x000000FFu);
  EXPECT_EQ(dest.PixelAt(0, 1), 0x00808080u);
}

// Stored forms may give the key as a colour name; written back, a key that
// has a name is written by it.
TEST(ImageList, TransparentColorReadsColourNames) {
  RegisterImageListClasses();
  struct Case {
    const char* stored;
    framework::TColor colour;
  };
  const Case cases[] = {{"clWhite", framework::clWhite},
                        {"clBlack", framework::clBlack},
                        {"clRed", framework::clRed},
                        {"clwhite", framework::clWhite},
                        {"8496015", 8496015}};
  for (const Case& c : cases) {
    const std::string text =
        std::string("TComponent Root {\n  TDIBImageList Images {\n    DIBImages = (\n      {\n") +
        "        DIB.TransparentColor = " + c.stored + "\n        DIB.TransparentMode = tmFixed\n" +
        "      }\n    )\n  }\n}\n";
    framework::TComponent root(nullptr);
    framework::ReadForm(framework::TextFormToBinary(text), root);
    auto* list = dynamic_cast<TDIBImageList*>(root.FindComponent("Images"));
    ASSERT_NE(list, nullptr) << c.stored;
    EXPECT_EQ(list->DIBImages().Items(0)->StoredDIB().TransparentColor(), c.colour) << c.stored;
    if (c.colour == framework::clWhite) {
      const std::string written = framework::BinaryFormToText(framework::WriteForm(root));
      EXPECT_NE(written.find("DIB.TransparentColor = clWhite"), std::string::npos) << written;
    }
  }

  const std::string unknown =
      "TComponent Root {\n  TDIBImageList Images {\n    DIBImages = (\n      {\n"
      "        DIB.TransparentColor = clNoSuchColour\n      }\n    )\n  }\n}\n";
  framework::TComponent root(nullptr);
  EXPECT_THROW(framework::ReadForm(framework::TextFormToBinary(unknown), root), framework::EReadError);
}
