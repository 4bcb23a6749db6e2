// The artwork generator run as the build runs it: the pictures it writes must
// have the sizes, frame layouts and masks the editor's image list expects, and
// the background must be drawn around every control where the editor's form
// places it.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "editor/FormLayout.h"
#include "plugin/Parameters.h"

namespace fs = std::filesystem;

namespace {

// Straight (not premultiplied) RGBA, top row first, as stored in the file.
struct Picture {
  int width = 0, height = 0;
  bool fileHasAlpha = false;
  std::vector<unsigned char> rgba;

  const unsigned char* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  int alpha(int x, int y) const { return at(x, y)[3]; }
};

Picture loadPng(const fs::path& path) {
  Picture p;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  p.fileHasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  p.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr)) return Picture{};
  p.width = static_cast<int>(image.width);
  p.height = static_cast<int>(image.height);
  return p;
}

int run(const std::string& args) {
  const std::string command = std::string("\"") + PLONKRIFT_ARTWORK_TOOL + "\" " + args + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Draws for the editor's form (or another one) into `dir`.
int draw(const fs::path& dir, const std::string& more = "", const std::string& form = PLONK_FORM_TEXT) {
  return run("--form \"" + form + "\" \"" + dir.string() + "\" " + more);
}

fs::path freshDir(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() / ("plonkrift-artwork-test-" + std::to_string(::getpid())) / name;
  fs::remove_all(dir);
  return dir;
}

// The image list of the editor: file, size, frames and whether it is masked.
struct Expected {
  int index;
  const char* file;
  int width, height, frames;
  bool masked;
};
constexpr Expected kList[] = {
    {0, "00-bigknobtop.png", 5900, 59, 100, true}, {1, "01-slider.png", 10000, 18, 100, true},
    {2, "02-background.png", 720, 513, 1, true},   {3, "03-stepon.png", 29, 42, 1, true},
    {4, "04-tieon.png", 29, 22, 1, true},          {5, "05-filter.png", 36, 18, 1, false},
    {6, "06-onoff.png", 36, 18, 1, false},         {7, "07-switch.png", 17, 23, 1, false},
    {8, "08-bigknobbottom.png", 479, 22, 1, true}, {9, "09-smallknobtop.png", 1026, 18, 57, true},
    {10, "10-lfosync.png", 19, 18, 1, true},       {11, "11-infoscreen.png", 720, 513, 1, false},
    {12, "12-mainstepon.png", 29, 42, 1, true},    {13, "13-rightlfo.png", 19, 18, 1, true},
    {14, "14-gateswitch.png", 38, 53, 1, false},
};

class Artwork : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(freshDir("out"));
    status_ = draw(*dir_, "--preview");
    form_ = new formlayout::Layout(formlayout::ReadLayoutFile(PLONK_FORM_TEXT));
    pictures_ = new std::map<int, Picture>;
    for (const Expected& e : kList) (*pictures_)[e.index] = loadPng(*dir_ / e.file);
  }
  // Checked in every test: a failure in the suite's set-up would only skip them.
  void SetUp() override { ASSERT_EQ(status_, 0) << "the generator failed"; }
  static void TearDownTestSuite() {
    fs::remove_all(dir_->parent_path());
    delete dir_;
    delete pictures_;
    delete form_;
  }
  static const Picture& picture(int index) { return pictures_->at(index); }
  static const formlayout::Layout& form() { return *form_; }

  static fs::path* dir_;
  static int status_;
  static std::map<int, Picture>* pictures_;
  static formlayout::Layout* form_;
};
fs::path* Artwork::dir_ = nullptr;
int Artwork::status_ = -1;
std::map<int, Picture>* Artwork::pictures_ = nullptr;
formlayout::Layout* Artwork::form_ = nullptr;

bool whitish(const unsigned char* px, int threshold) {
  return px[3] >= 128 && px[0] >= threshold && px[1] >= threshold && px[2] >= threshold;
}

// Direction of the white pointer in one strip frame, in degrees clockwise from
// 12 o'clock, from the centroid of its white pixels around the dial centre.
double pointerDegrees(const Picture& p, int frame, int frameWidth, double centre, int threshold) {
  double sx = 0, sy = 0;
  int n = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < frameWidth; ++x)
      if (whitish(p.at(frame * frameWidth + x, y), threshold)) {
        sx += x + 0.5 - centre;
        sy += y + 0.5 - centre;
        ++n;
      }
  if (n == 0) return NAN;
  return std::atan2(sx / n, -sy / n) * 180.0 / 3.14159265358979323846;
}

bool framesDiffer(const Picture& p, int a, int b, int frameWidth) {
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < frameWidth; ++x)
      for (int c = 0; c < 4; ++c)
        if (p.at(a * frameWidth + x, y)[c] != p.at(b * frameWidth + x, y)[c]) return true;
  return false;
}

}  // namespace

TEST_F(Artwork, EveryPictureHasItsListedSizeAlphaAndMask) {
  for (const Expected& e : kList) {
    SCOPED_TRACE(e.file);
    const Picture& p = picture(e.index);
    ASSERT_EQ(p.width, e.width);
    ASSERT_EQ(p.height, e.height);
    EXPECT_TRUE(p.fileHasAlpha);
    EXPECT_EQ(e.width % e.frames, 0);
    int clear = 0, solid = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        clear += p.alpha(x, y) == 0;
        solid += p.alpha(x, y) == 255;
      }
    const bool coversAll = !e.masked || e.index == 2;  // the background is the opaque base of the editor
    if (coversAll) {
      EXPECT_EQ(solid, p.width * p.height);
    } else {
      EXPECT_GT(clear, 0) << "a masked picture needs a transparent surround";
      EXPECT_GT(solid, 0) << "a masked picture needs an opaque body";
    }
  }
}

TEST_F(Artwork, StripFramesAreShapesCutOutOnTheirOwnCells) {
  struct Strip {
    int index, frameWidth;
    int bodyX, bodyY;  // a point that every frame covers
  };
  for (const Strip s : {Strip{0, 59, 29, 29}, Strip{9, 18, 9, 9}, Strip{1, 100, 50, 9}}) {
    SCOPED_TRACE(s.index);
    const Picture& p = picture(s.index);
    const int frames = p.width / s.frameWidth;
    for (int k = 0; k < frames; ++k) {
      const int left = k * s.frameWidth, right = left + s.frameWidth - 1;
      // Nothing of a frame spills over its edges into a neighbour.
      EXPECT_EQ(p.alpha(left, 0), 0) << "frame " << k;
      EXPECT_EQ(p.alpha(right, 0), 0) << "frame " << k;
      EXPECT_EQ(p.alpha(left + s.bodyX, s.bodyY), 255) << "frame " << k;
    }
  }
}

TEST_F(Artwork, KnobPointersSweepClockwiseFromSevenToFiveOClock) {
  struct Knob {
    int index, frameWidth;
    double centre;
  };
  for (const Knob k : {Knob{0, 59, 29.0}, Knob{9, 18, 9.0}}) {
    SCOPED_TRACE(k.index);
    const Picture& p = picture(k.index);
    const int frames = p.width / k.frameWidth;
    double previous = -1000;
    for (int f = 0; f < frames; ++f) {
      const double deg = pointerDegrees(p, f, k.frameWidth, k.centre, 170);
      ASSERT_FALSE(std::isnan(deg)) << "frame " << f << " has no pointer";
      EXPECT_GT(deg, previous) << "frame " << f;
      if (f > 0) {
        EXPECT_TRUE(framesDiffer(p, f - 1, f, k.frameWidth)) << "frame " << f;
      }
      previous = deg;
    }
    EXPECT_NEAR(pointerDegrees(p, 0, k.frameWidth, k.centre, 170), -135, 12);
    EXPECT_NEAR(pointerDegrees(p, frames / 2, k.frameWidth, k.centre, 170), 0, 12);
    EXPECT_NEAR(pointerDegrees(p, frames - 1, k.frameWidth, k.centre, 170), 135, 12);
  }
}

TEST_F(Artwork, SliderThumbTravelsLeftToRightAcrossTheTrack) {
  const Picture& p = picture(1);
  double previous = -1;
  for (int f = 0; f < 100; ++f) {
    double sum = 0;
    int n = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < 100; ++x)
        if (whitish(p.at(f * 100 + x, y), 200)) {
          sum += x + 0.5;
          ++n;
        }
    ASSERT_GT(n, 0) << "frame " << f << " has no thumb";
    const double thumb = sum / n;
    EXPECT_GT(thumb, previous) << "frame " << f;
    if (f == 0) {
      EXPECT_LT(thumb, 12);
    }
    if (f == 99) {
      EXPECT_GT(thumb, 88);
    }
    if (f > 0) {
      EXPECT_TRUE(framesDiffer(p, f - 1, f, 100)) << "frame " << f;
    }
    previous = thumb;
  }
}

// The places where the background shows a control's unlit look: every image
// control of the form that shows a parameter (steps, ties, the gate switch,
// lamps, switches, rate buttons), at its place, cut to its picture.
struct Place {
  std::string name;
  int index, x, y, width, height;
};
std::vector<Place> litPlaces(const formlayout::Layout& form, const std::map<int, Picture>& pictures) {
  std::vector<Place> places;
  for (const formlayout::Component& c : form.components) {
    if (c.className != "TDIBImage" || parameters::controlBinding(c.name) == nullptr) continue;
    const Picture& lit = pictures.at(c.picture);
    places.push_back(
        {c.name, c.picture, c.left, c.top, std::min(c.width, lit.width), std::min(c.height, lit.height)});
  }
  return places;
}

double luminance(const unsigned char* px) {
  return 0.3 * px[0] + 0.59 * px[1] + 0.11 * px[2];
}

// How much lighting changes the place (mean over its channels), and how far
// the background under the lit picture's opaque body departs from the look
// around the shape (inside the place where the lit picture is clear, else a
// ring around it).
struct Contrast {
  double change, shape;
};
Contrast contrastAt(const Picture& background, const Picture& lit, const Place& place) {
  double change = 0, outside = 0;
  int changed = 0, nOutside = 0;
  for (int y = 0; y < place.height; ++y)
    for (int x = 0; x < place.width; ++x) {
      const unsigned char* b = background.at(place.x + x, place.y + y);
      const unsigned char* s = lit.at(x, y);
      const double a = s[3] / 255.0;
      for (int c = 0; c < 3; ++c) change += std::fabs((s[c] * a + b[c] * (1 - a)) - b[c]);
      changed += 3;
      if (s[3] == 0) {
        outside += luminance(b);
        ++nOutside;
      }
    }
  if (nOutside == 0) {
    for (int y = place.y - 2; y < place.y + place.height + 2; ++y)
      for (int x = place.x - 2; x < place.x + place.width + 2; ++x) {
        const bool ring =
            y < place.y || y >= place.y + place.height || x < place.x || x >= place.x + place.width;
        if (ring) {
          outside += luminance(background.at(x, y));
          ++nOutside;
        }
      }
  }
  outside /= nOutside;
  double inside = 0;
  int nInside = 0;
  for (int y = 0; y < place.height; ++y)
    for (int x = 0; x < place.width; ++x)
      if (lit.at(x, y)[3] == 255) {
        inside += std::fabs(luminance(background.at(place.x + x, place.y + y)) - outside);
        ++nInside;
      }
  return {change / changed, nInside > 0 ? inside / nInside : 0.0};
}

// The editor hides an unlit control (opacity 0) and shows the background there;
// lighting it draws the picture over that place. Each lit picture must change
// the look of its place clearly, and the background must show an unlit look of
// the same shape: under the lit picture's opaque body it differs from around it.
TEST_F(Artwork, LitPicturesSitOverAnUnlitLookOfTheirShape) {
  const std::vector<Place> places = litPlaces(form(), *pictures_);
  ASSERT_EQ(places.size(), 53u) << "32 cells, the gate switch, 12 lamps and switches, 8 rate buttons";
  const Picture& background = picture(2);
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    ASSERT_LE(place.x + place.width, background.width);
    ASSERT_LE(place.y + place.height, 512) << "in the window";
    const Contrast contrast = contrastAt(background, picture(place.index), place);
    EXPECT_GT(contrast.change, 12.0) << "lighting hardly changes the place";
    EXPECT_GT(contrast.shape, 6.0) << "the background shows nothing at the place";
  }
}

// Knobs and sliders are always drawn over the background: it must name each
// one beside it (right of the small knobs, below the big ones, on the outer
// side of a slider), and must not print a pointer or thumb of its own under
// it, which would show through the control's transparent parts.
TEST_F(Artwork, BackgroundLabelsEveryKnobAndSliderButDrawsNoneOfThem) {
  const Picture& background = picture(2);
  auto ink = [&](int x0, int y0, int x1, int y1, int threshold) {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(background.height, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(background.width, x1); ++x)
        n += whitish(background.at(x, y), threshold);
    return n;
  };
  int knobs = 0;
  for (const formlayout::Component& c : form().components) {
    if (c.className != "TDIBKnob") continue;
    SCOPED_TRACE(c.name);
    ++knobs;
    ASSERT_LE(c.top + c.height, 512) << "in the window";
    EXPECT_EQ(ink(c.left, c.top, c.left + c.width, c.top + c.height, 200), 0);
    const int right = c.left + c.width, bottom = c.top + c.height;
    int label = 0;
    if (c.picture == 0)
      label = ink(c.left - 10, bottom + 2, right + 10, bottom + 24, 150);
    else if (c.picture == 9 || c.left + c.width / 2 > background.width / 2)
      label = ink(right + 2, c.top, right + 80, bottom, 150);
    else
      label = ink(c.left - 80, c.top, c.left - 2, bottom, 150);
    EXPECT_GT(label, 15) << "no label beside the control";
  }
  EXPECT_EQ(knobs, 20);
}

// The form is the one source of the places: a control moved there takes its
// drawn place along, and nothing of it stays where it was.
TEST_F(Artwork, AControlMovedInTheFormTakesItsDrawnPlaceAlong) {
  std::ifstream in(PLONK_FORM_TEXT, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  const std::size_t at = text.find("TDIBImage lfo2sync1 {");
  ASSERT_NE(at, std::string::npos);
  const std::size_t left = text.find("Left = 502", at);
  ASSERT_NE(left, std::string::npos);
  text.replace(left, 10, "Left = 472");
  const fs::path moved = freshDir("moved");
  fs::create_directories(moved);
  std::ofstream(moved / "moved.form", std::ios::binary) << text;
  ASSERT_EQ(draw(moved / "out", "", (moved / "moved.form").string()), 0);
  const Picture background = loadPng(moved / "out" / "02-background.png");
  ASSERT_EQ(background.width, 720);

  const Place was{"lfo2sync1", 13, 502, 347, 18, 18}, now{"lfo2sync1", 13, 472, 347, 18, 18};
  EXPECT_GT(contrastAt(background, picture(13), now).shape, 6.0) << "no unlit look at the new place";
  // Where it was, the background is now the plain well: hardly any shape.
  EXPECT_GT(contrastAt(picture(2), picture(13), was).shape, 6.0);
  EXPECT_LT(contrastAt(background, picture(13), was).shape, 3.0) << "an unlit look left behind";
  fs::remove_all(moved);
}

TEST_F(Artwork, SemiTransparentEdgesAreStoredWithStraightAlpha) {
  // A premultiplied pixel can never have a colour channel above its alpha;
  // the glow of a lit tie is amber at partial alpha when stored straight.
  const Picture& tie = picture(4);
  int straight = 0;
  for (int y = 0; y < tie.height; ++y)
    for (int x = 0; x < tie.width; ++x) {
      const unsigned char* px = tie.at(x, y);
      if (px[3] > 0 && px[3] < 128 && px[0] > px[3] + 60) ++straight;
    }
  EXPECT_GT(straight, 0);
}

TEST_F(Artwork, PreviewShowsTheWholeWindow) {
  for (const char* name : {"preview.png", "preview-info.png"}) {
    SCOPED_TRACE(name);
    const Picture p = loadPng(*dir_ / name);
    ASSERT_EQ(p.width, 719);
    ASSERT_EQ(p.height, 512);
    for (int y = 0; y < p.height; y += 7)
      for (int x = 0; x < p.width; x += 7) ASSERT_EQ(p.alpha(x, y), 255);
  }
}

TEST_F(Artwork, TheSameBuildDrawsTheSameBytes) {
  const fs::path again = freshDir("again");
  ASSERT_EQ(draw(again), 0);
  auto bytes = [](const fs::path& f) {
    std::ifstream in(f, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
  };
  for (const Expected& e : kList) {
    SCOPED_TRACE(e.file);
    EXPECT_EQ(bytes(*dir_ / e.file), bytes(again / e.file));
  }
  EXPECT_FALSE(fs::exists(again / "preview.png")) << "the preview is written only on request";
}

TEST(ArtworkCommandLine, RefusesBadUseWithoutWritingAnything) {
  const fs::path dir = freshDir("cli");
  fs::create_directories(dir);
  const std::string form = std::string(" --form \"") + PLONK_FORM_TEXT + "\"";
  EXPECT_EQ(run(""), 2);
  EXPECT_EQ(run("\"" + (dir / "a").string() + "\""), 2) << "no form";
  EXPECT_EQ(run("\"" + (dir / "a").string() + "\" \"" + (dir / "b").string() + "\"" + form), 2);
  EXPECT_EQ(run("--colour \"" + (dir / "c").string() + "\"" + form), 2);
  // A form that cannot be read, or lacks a control the artwork draws for.
  EXPECT_EQ(draw(dir / "d", "", (dir / "missing.form").string()), 1);
  std::ofstream(dir / "bare.form") << "TPluginEditorWindow PluginEditorWindow {\n}\n";
  EXPECT_EQ(draw(dir / "e", "", (dir / "bare.form").string()), 1);
  // An output folder that cannot be made: a regular file stands in its way.
  std::ofstream(dir / "file") << "x";
  EXPECT_EQ(draw(dir / "file" / "out"), 1);
  for (const char* name : {"a", "b", "c", "d", "e"}) EXPECT_FALSE(fs::exists(dir / name)) << name;
  fs::remove_all(dir.parent_path());
}
