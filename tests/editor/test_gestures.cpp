// The editor as a user and a host meet it: gestures on the composed window
// and what they write, and the 50 ms refresh that follows the host.

#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "editor/StoredForm.h"
#include "framework/core/FormStream.h"
#include "image/DIBDataStream.h"
#include "tests/editor/EditorFixture.h"

namespace editortest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Gestures : public EditorFixture {
 protected:
  // All cells off, then the editor open, with nothing sent so far.
  void OpenWithCellsOff() {
    for (int i = 1; i <= 32; ++i) HostSets(i, 0.0f);
    Open();
    automation.clear();
    plugin->writes.clear();
  }
  framework::TPoint Step(int n) { return Centre("step" + std::to_string(n)); }
  framework::TPoint Tie(int n) { return Centre("tie" + std::to_string(n)); }
  // No paint is under way: a drag pressed on the background that then
  // sweeps along the step row (steps 3 to 11 lie between two of its
  // positions) writes nothing.
  void ExpectNoPaintUnderWay() {
    const std::size_t sent = automation.size();
    Press({300, 20});
    MoveTo(Step(2));
    MoveTo(Step(12));
    Release(Step(12));
    EXPECT_EQ(automation.size(), sent) << "a paint was still under way";
  }
};

TEST_F(Gestures, OpeningShowsTheHostsValuesAndSendsNothing) {
  HostSets(7, 0.5f);
  HostSets(8, 0.51f);
  HostSets(40, 0.5f);
  HostSets(44, 0.123f);
  HostSets(60, 0.3f);
  HostSets(61, 0.8f);
  Open();
  EXPECT_EQ(Opacity("step7"), 0);
  EXPECT_EQ(Opacity("step8"), 255);
  EXPECT_EQ(Opacity("fd1enableled"), 255);
  EXPECT_EQ(Opacity("fd1enable"), 255);
  EXPECT_EQ(static_cast<skin::TDIBKnob&>(Control("fd1delay")).Position(), 12);
  EXPECT_EQ(Opacity("lfo1sync1") + Opacity("lfo1sync2"), 510);
  EXPECT_EQ(Opacity("lfo1sync3") + Opacity("lfo1sync4"), 0);
  EXPECT_EQ(Opacity("lfo2sync4"), 255);
  EXPECT_EQ(Opacity("lfo2sync1") + Opacity("lfo2sync2") + Opacity("lfo2sync3"), 0);

  // The composed picture: step 7 looks unlit, step 8 lit, until the host
  // lights step 7 too.
  const std::uint32_t unlit = PixelAt(Step(7)), lit = PixelAt(Step(8));
  EXPECT_NE(unlit, lit);
  HostSets(7, 1.0f);
  Tick();
  EXPECT_EQ(PixelAt(Step(7)), lit);

  for (int i = 0; i < 10; ++i) Tick();
  EXPECT_THAT(automation, IsEmpty()) << "opening and refreshing send no automation";
  EXPECT_EQ(Param(44), 0.123f) << "the host's value stays, not rounded to hundredths";
}

TEST_F(Gestures, RefreshRoundsKnobPositionsWithoutWritingBack) {
  Open();
  auto& slider = static_cast<skin::TDIBKnob&>(Control("fd1delay"));
  const struct {
    float value;
    int position;
  } cases[] = {{0.5f, 50}, {0.125f, 12}, {0.135f, 14}, {0.123f, 12}, {0.5f, 50}, {0.504f, 50}, {1.0f, 100}};
  automation.clear();
  for (const auto& c : cases) {
    HostSets(44, c.value);
    Tick();
    EXPECT_EQ(slider.Position(), c.position) << c.value;
    EXPECT_EQ(Param(44), c.value);
  }
  EXPECT_THAT(automation, IsEmpty());
}

TEST_F(Gestures, PaintingStepsByDragging) {
  OpenWithCellsOff();
  Press(Step(1));
  EXPECT_EQ(Param(1), 1.0f);
  for (int n = 2; n <= 4; ++n) MoveTo(Step(n));
  MoveTo({Step(4).X + 3, Step(4).Y + 5});  // within step 4: nothing new
  EXPECT_THAT(automation,
              ElementsAre(Automation{1, 1}, Automation{2, 1}, Automation{3, 1}, Automation{4, 1}));
  MoveTo(Step(3));  // back into step 3: painted again
  EXPECT_EQ(automation.size(), 5u);
  EXPECT_EQ(automation.back(), (Automation{3, 1}));
  Release(Step(3));
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(Opacity("step" + std::to_string(n)), 255) << n;

  // A press on a lit step paints "off" over the steps passed.
  automation.clear();
  Press(Step(2));
  MoveTo(Step(3));
  Release(Step(3));
  EXPECT_THAT(automation, ElementsAre(Automation{2, 0}, Automation{3, 0}));
  EXPECT_EQ(Param(2) + Param(3), 0.0f);
  EXPECT_EQ(Opacity("step2") + Opacity("step3"), 0);

  // A step at exactly 0.5 is not lit: a press on it paints "on".
  HostSets(6, 0.5f);
  Tick();
  automation.clear();
  Press(Step(6));
  MoveTo(Step(7));
  Release(Step(7));
  EXPECT_THAT(automation, ElementsAre(Automation{6, 1}, Automation{7, 1}));
}

TEST_F(Gestures, EveryMoveOverATieSendsItAgain) {
  OpenWithCellsOff();
  Press(Step(2));  // right below tie 2: the way up crosses no other cell
  for (int i = 0; i < 3; ++i) MoveTo({Tie(2).X + i, Tie(2).Y});
  Release(Tie(2));
  EXPECT_THAT(automation,
              ElementsAre(Automation{2, 1}, Automation{18, 1}, Automation{18, 1}, Automation{18, 1}));
  EXPECT_EQ(Opacity("tie2"), 255);
}

// However far apart two pointer positions arrive (a fast hand, a host that
// idles the editor seldom), a drag paints the cells between them in the order
// the straight way between them crosses them, each as one move onto it would.
TEST_F(Gestures, PositionsFarApartPaintEveryCellOnTheWayBetween) {
  OpenWithCellsOff();
  const auto cells = [](int first, int last) {
    std::vector<int> out;
    for (int t = first; t != last; t += first < last ? 1 : -1) out.push_back(t);
    out.push_back(last);
    return out;
  };
  const struct {
    const char* name;
    framework::TPoint press, to;
    std::vector<int> painted;  // parameters, in the order they are sent
    framework::TMouseButton button = framework::mbLeft;
    framework::TShiftState mods = 0;
  } drags[] = {
      {"steps to the right", Step(2), Step(9), cells(2, 9)},
      {"steps to the left", Step(14), Step(3), cells(14, 3)},
      {"ties", Tie(3), Tie(12), cells(19, 28)},
      // From (102, 92) up to (265, 59): the step row is left at x 208.7,
      // inside step 5, for tie 4.
      {"across both rows", Step(1), Tie(6), {1, 2, 3, 4, 5, 20, 21, 22}},
      // Past the row's end onto a gate knob, and released there.
      {"onto another control", Step(13), Centre("decay"), cells(13, 16)},
      // Tie 1 spans x 100 to 129, y 47 to 70, step 1 x 87 to 116, y 71 to
      // 112: the way from (100.5, 57.5) to (73.5, 84.5) runs along
      // x + y = 158, through step 1's top-left corner and nowhere inside it.
      {"past a cell's corner", {100, 57}, {73, 84}, {17}},
      {"with Shift held", Step(1), Step(9), {1}, framework::mbLeft, framework::ssShift},
      {"with the right button", Step(5), Step(12), {5}, framework::mbRight},
  };
  for (const auto& d : drags) {
    SCOPED_TRACE(d.name);
    for (int i = 1; i <= 32; ++i) HostSets(i, 0.0f);
    Tick();
    automation.clear();
    edits.clear();
    Press(d.press, d.button, d.mods);
    MoveTo(d.to, d.mods);
    Release(d.to, d.button);
    std::vector<Automation> expected;
    for (int t : d.painted) expected.push_back({t, 1.0f});
    EXPECT_EQ(automation, expected);
    for (int t : d.painted)
      EXPECT_EQ(Opacity((t <= 16 ? "step" : "tie") + std::to_string(t <= 16 ? t : t - 16)), 255) << t;
    // The release ends the gesture, wherever it happens: the host hears the
    // end of every cell painted (in the order of the cells).
    std::vector<std::string> expectedEdits;
    for (int t : d.painted) {
      expectedEdits.push_back("begin " + std::to_string(t));
      expectedEdits.push_back("set " + std::to_string(t));
    }
    std::vector<int> ended = d.painted;
    std::sort(ended.begin(), ended.end());
    for (int t : ended) expectedEdits.push_back("end " + std::to_string(t));
    EXPECT_EQ(edits, expectedEdits);
    ExpectNoPaintUnderWay();
  }
}

TEST_F(Gestures, ShiftDragAndOtherButtonsToggleOneCellOnly) {
  OpenWithCellsOff();
  Press(Step(1), framework::mbLeft, framework::ssShift);
  MoveTo(Step(2), framework::ssShift);
  MoveTo(Step(3), framework::ssShift);
  Release(Step(3));
  Press(Step(5), framework::mbRight);
  MoveTo(Step(6));
  Release(Step(6), framework::mbRight);
  EXPECT_THAT(automation, ElementsAre(Automation{1, 1}, Automation{5, 1}));
  EXPECT_EQ(Param(2) + Param(3) + Param(6), 0.0f);
}

// The refresh pauses while a cell is pressed and resumes when the button goes
// up, wherever that happens.
TEST_F(Gestures, RefreshPausesDuringAPaintAndResumesAfterAnyRelease) {
  const framework::TPoint releases[] = {{0, 0} /* the cell itself, filled below */,
                                        {300, 20} /* background */,
                                        {341, 318} /* a knob */,
                                        {-40, 600} /* outside the window */};
  OpenWithCellsOff();
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const framework::TPoint where = i == 0 ? Step(1) : releases[i];
    HostSets(9, 0.0f);
    Tick();
    Press(Step(1));
    HostSets(9, 1.0f);
    Tick();
    EXPECT_EQ(Opacity("step9"), 0) << "paused while pressed";
    if (i > 0) MoveTo(where);
    Release(where);
    Tick();
    EXPECT_EQ(Opacity("step9"), 255) << "shown at the first tick after the release";
    ExpectNoPaintUnderWay();
  }
}

TEST_F(Gestures, SwitchesToggleAtOnceAndTheirLampsFollowWithinATick) {
  HostSets(40, 1.0f);
  HostSets(33, 0.0f);
  Open();
  automation.clear();
  Click("fd1enable");
  EXPECT_EQ(Param(40), 0.0f);
  EXPECT_EQ(Opacity("fd1enable"), 0) << "the clicked switch at once";
  EXPECT_EQ(Opacity("fd1enableled"), 255) << "its lamp not yet";
  Tick();
  EXPECT_EQ(Opacity("fd1enableled"), 0);
  Click("gateon");
  EXPECT_EQ(Opacity("gateon"), 255);
  Click("fd1enableled");  // the lamp works as a switch too
  EXPECT_THAT(automation, ElementsAre(Automation{40, 0}, Automation{33, 1}, Automation{40, 1}));
}

TEST_F(Gestures, RateButtonsLightOneOfTheirGroup) {
  Open();
  automation.clear();
  Click("lfo1sync3");
  EXPECT_EQ(Param(60), 0.4f);
  EXPECT_EQ(Opacity("lfo1sync3"), 255);
  EXPECT_EQ(Opacity("lfo1sync1") + Opacity("lfo1sync2") + Opacity("lfo1sync4"), 0);
  Click("lfo2sync1");
  EXPECT_EQ(Param(61), 0.1f);
  EXPECT_THAT(automation, ElementsAre(Automation{60, 0.4f}, Automation{61, 0.1f}));

  // The display table, from values the host sets (k = value x 10, button j
  // shows bit j - 1).
  const struct {
    float value;
    int lit[4];
  } table[] = {{0.3f, {255, 255, 0, 0}},   {0.8f, {0, 0, 0, 255}}, {0.2f, {0, 255, 0, 0}},
               {0.7f, {255, 255, 255, 0}}, {0.0f, {0, 0, 0, 0}},   {1.0f, {0, 255, 0, 255}}};
  for (const auto& row : table) {
    HostSets(60, row.value);
    Tick();
    for (int j = 0; j < 4; ++j)
      EXPECT_EQ(Opacity("lfo1sync" + std::to_string(j + 1)), row.lit[j]) << row.value;
  }
}

TEST_F(Gestures, DelaySyncSnapsTheDelayTimeOnRelease) {
  const struct {
    int position;
    float snapped;
  } table[] = {{45, 0.5f}, {29, 0.25f}, {30, 0.5f}, {60, 0.5f}, {61, 0.75f}, {89, 0.75f}, {90, 1.0f}};
  Open();
  for (const auto& row : table) {
    SCOPED_TRACE(row.position);
    HostSets(40, 1.0f);
    HostSets(47, 0.0f);
    HostSets(44, row.position / 100.0f);
    Tick();
    automation.clear();
    Click("fd1delaysync");  // switching sync on snaps at once
    EXPECT_THAT(automation, ElementsAre(Automation{47, 1}, Automation{44, row.snapped}));
    Tick();
    EXPECT_EQ(static_cast<skin::TDIBKnob&>(Control("fd1delay")).Position(),
              static_cast<int>(row.snapped * 100));
  }

  // FD1 disabled: the delay time is sent again unchanged.
  HostSets(40, 0.0f);
  HostSets(47, 0.0f);
  HostSets(44, 0.45f);
  Tick();
  automation.clear();
  Click("fd1delaysync");
  EXPECT_THAT(automation, ElementsAre(Automation{47, 1}, Automation{44, 0.45f}));

  // The lamp toggles sync without the release handler: no snap.
  HostSets(40, 1.0f);
  HostSets(47, 0.0f);
  Tick();
  automation.clear();
  Click("fd1delaysyncled");
  EXPECT_THAT(automation, ElementsAre(Automation{47, 1}));

  // Releasing the FD2 slider with sync on snaps even without a move.
  HostSets(50, 1.0f);
  HostSets(57, 1.0f);
  HostSets(54, 0.62f);
  Tick();
  automation.clear();
  Press(Centre("fd2delay"));
  Release(Centre("fd2delay"));
  EXPECT_THAT(automation, ElementsAre(Automation{54, 0.75f}));
}

TEST_F(Gestures, KnobsFollowTheDragWithThePointerHeld) {
  HostSets(41, 0.1f);
  Open();
  automation.clear();
  const framework::TPoint at = Centre("fd1cutoff");
  Press(at);
  EXPECT_FALSE(backend->PointerVisible());
  MoveTo({at.X + 3, at.Y});
  MoveTo({at.X + 2, at.Y + 40});  // measured from the press point, where the pointer was put back
  Release(at);
  EXPECT_TRUE(backend->PointerVisible());
  EXPECT_THAT(automation, ElementsAre(Automation{41, 0.13f}, Automation{41, 0.15f}));
  EXPECT_EQ(Param(41), 0.15f);
  const framework::TPoint knob = Centre("mainvolume");
  HostSets(37, 0.5f);
  Tick();
  Press(knob);
  MoveTo({knob.X, knob.Y - 4});  // up raises a vertical knob
  Release(knob);
  EXPECT_EQ(Param(37), 0.54f);
}

// The host hears when the user takes hold of a parameter and when they let go
// (its touch and latch automation depend on it): a drag holds its parameter
// from the press to the release, a paint each cell it writes until it ends,
// and a single write (a click, a key) is bracketed on its own.
TEST_F(Gestures, EachGestureTellsTheHostWhenItBeginsAndEnds) {
  using Requests = std::vector<std::string>;
  Open();
  auto& container = *editor->getWindow()->DIBImageContainer2;
  const framework::TPoint cutoff = Centre("fd1cutoff"), fd1delay = Centre("fd1delay");
  const struct {
    const char* name;
    std::function<void()> prepare, act;
    Requests expected;
  } gestures[] = {
      {"a slider drag",
       [&] { HostSets(41, 0.1f); },
       [&] {
         Press(cutoff);
         MoveTo({cutoff.X + 3, cutoff.Y});
         MoveTo({cutoff.X + 2, cutoff.Y});
         Release(cutoff);
       },
       {"begin 41", "set 41", "set 41", "end 41"}},
      {"a knob pressed and let go unmoved",
       {},
       [&] {
         Press(Centre("mainvolume"));
         Release(Centre("mainvolume"));
       },
       {"begin 37", "end 37"}},
      {"a slider released outside the window",
       [&] { HostSets(41, 0.1f); },
       [&] {
         Press(cutoff);
         MoveTo({-50, 600});
         Release({-50, 600});
       },
       {"begin 41", "set 41", "end 41"}},
      {"a second button during a slider drag",
       [&] { HostSets(47, 0.0f); },
       [&] {
         Press(fd1delay);
         Press(fd1delay, framework::mbRight);
         Release(fd1delay, framework::mbRight);  // its release handler sends the delay time
         MoveTo({fd1delay.X + 1, fd1delay.Y});
         Release(fd1delay);
       },
       {"begin 44", "set 44", "set 44", "set 44", "end 44"}},
      {"a slider release that snaps the delay time",
       [&] {
         HostSets(50, 1.0f);
         HostSets(57, 1.0f);
         HostSets(54, 0.62f);
       },
       [&] {
         Press(Centre("fd2delay"));
         Release(Centre("fd2delay"));
       },
       {"begin 54", "set 54", "end 54"}},
      {"a switch",
       [&] { HostSets(40, 0.0f); },
       [&] { Click("fd1enable"); },
       {"begin 40", "set 40", "end 40"}},
      {"the delay sync switch, which snaps the delay time",
       [&] {
         HostSets(40, 1.0f);
         HostSets(47, 0.0f);
       },
       [&] { Click("fd1delaysync"); },
       {"begin 47", "set 47", "end 47", "begin 44", "set 44", "end 44"}},
      {"a rate button", {}, [&] { Click("lfo2sync3"); }, {"begin 61", "set 61", "end 61"}},
      {"a paint over steps and a tie",
       [&] {
         for (int i = 1; i <= 32; ++i) HostSets(i, 0.0f);
       },
       [&] {
         Press(Step(1));
         MoveTo(Step(3));  // over step 2
         MoveTo(Tie(3));
         MoveTo({Tie(3).X + 1, Tie(3).Y});  // a tie is sent at every move
         Release(Tie(3));
       },
       {"begin 1", "set 1", "begin 2", "set 2", "begin 3", "set 3", "begin 19", "set 19", "set 19", "end 1",
        "end 2", "end 3", "end 19"}},
      // The last cell of a row is ended like any other: a later click on
      // it is a gesture of its own.
      {"a paint onto the last tie, then a click on it",
       [&] {
         for (int i = 1; i <= 32; ++i) HostSets(i, 0.0f);
       },
       [&] {
         Press(Tie(15));
         MoveTo(Tie(16));
         Release(Tie(16));
         Click(Tie(16));
       },
       {"begin 31", "set 31", "begin 32", "set 32", "end 31", "end 32", "begin 32", "set 32", "end 32"}},
      {"a paint onto the last step, then a click on it",
       [&] {
         for (int i = 1; i <= 32; ++i) HostSets(i, 0.0f);
       },
       [&] {
         Press(Step(15));
         MoveTo(Step(16));
         Release(Step(16));
         Click(Step(16));
       },
       {"begin 15", "set 15", "begin 16", "set 16", "end 15", "end 16", "begin 16", "set 16", "end 16"}},
      {"a paint released outside the window",
       [&] { HostSets(1, 0.0f); },
       [&] {
         Press(Step(1));
         MoveTo({-40, 600});
         Release({-40, 600});
       },
       {"begin 1", "set 1", "end 1"}},
      {"a right press on a cell",
       {},
       [&] {
         Press(Step(5), framework::mbRight);
         MoveTo(Step(6));
         Release(Step(6), framework::mbRight);
       },
       {"begin 5", "set 5", "end 5"}},
      {"keys on a focused knob",
       [&] {
         container.SetActiveControl(&Control("mainvolume"));
         container.SetFocus();
       },
       [&] {
         backend->KeyDown(handle, framework::VK_UP);
         backend->KeyDown(handle, framework::VK_UP);
       },
       {"begin 37", "set 37", "end 37", "begin 37", "set 37", "end 37"}},
      {"the refresh following the host",
       {},
       [&] {
         HostSets(41, 0.77f);
         HostSets(5, 1.0f);
         HostSets(60, 0.8f);
         Tick();
       },
       {}},
  };
  for (const auto& g : gestures) {
    SCOPED_TRACE(g.name);
    if (g.prepare) g.prepare();
    Tick();
    edits.clear();
    g.act();
    EXPECT_EQ(edits, g.expected);
  }
}

// A gesture the editor goes away under still ends for the host: the editor
// closed, hidden while opened twice, or the effect destroyed with it.
TEST_F(Gestures, AGestureUnderWayEndsWhenTheEditorGoes) {
  const auto slider = [&] {
    Press(Centre("fd1cutoff"));
    MoveTo({Centre("fd1cutoff").X + 2, Centre("fd1cutoff").Y});
  };
  const auto paint = [&] {
    Press(Step(1));
    MoveTo(Step(3));
  };
  const auto close = [&] { Dispatch(effEditClose); };
  const auto destroy = [&] { plugin.reset(); };
  const struct {
    const char* name;
    int opens;
    std::function<void()> gesture, away;
    std::vector<std::string> expected;
  } cases[] = {
      {"slider, editor closed", 1, slider, close, {"begin 41", "set 41", "end 41"}},
      {"slider, editor hidden", 2, slider, close, {"begin 41", "set 41", "end 41"}},
      {"slider, effect destroyed", 1, slider, destroy, {"begin 41", "set 41", "end 41"}},
      {"paint, editor closed",
       1,
       paint,
       close,
       {"begin 1", "set 1", "begin 2", "set 2", "begin 3", "set 3", "end 1", "end 2", "end 3"}},
      {"paint, editor hidden",
       2,
       paint,
       close,
       {"begin 1", "set 1", "begin 2", "set 2", "begin 3", "set 3", "end 1", "end 2", "end 3"}},
      {"paint, effect destroyed",
       1,
       paint,
       destroy,
       {"begin 1", "set 1", "begin 2", "set 2", "begin 3", "set 3", "end 1", "end 2", "end 3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    plugin = std::make_unique<RecordingPlugin>(&Host);
    editor = static_cast<APluginEditor*>(plugin->getEditor());
    editor->setWindowSystem(backend);
    for (int i = 1; i <= 3; ++i) HostSets(i, 0.0f);
    HostSets(41, 0.5f);
    for (int i = 0; i < c.opens; ++i) Open();
    edits.clear();
    c.gesture();
    c.away();
    EXPECT_EQ(edits, c.expected);
    EXPECT_TRUE(backend->PointerVisible());
    if (plugin) {
      // Opened again, the window starts without a gesture: a release that
      // arrives now ends nothing more.
      Open();
      Release(Step(3));
      EXPECT_EQ(edits, c.expected);
      Dispatch(effEditClose);
    }
  }
}

TEST_F(Gestures, InformationScreenAndLinks) {
  Open();
  const framework::TPoint body{360, 200}, makerLink{300, 480}, artistLink{250, 400};
  const std::uint32_t before = PixelAt(body);
  Click(makerLink);
  Click(Centre("infoclick"));
  const skin::TDIBImage& screen = *editor->getWindow()->infoscreen;
  EXPECT_EQ(screen.Top(), 0) << "the screen is shown";
  EXPECT_NE(PixelAt(body), before) << "the screen covers the window";
  Click(makerLink);
  Click(artistLink);
  EXPECT_THAT(backend->OpenedUrls(),
              ElementsAre(TPluginEditorWindow::kMakerUrl, TPluginEditorWindow::kMakerUrl,
                          TPluginEditorWindow::kArtistUrl));
  Click(body);
  EXPECT_GE(screen.Top(), TPluginEditorWindow::kHeight) << "the screen is hidden below the window";
  EXPECT_EQ(PixelAt(body), before);
  Click(artistLink);  // hidden again: no artist link there
  EXPECT_EQ(backend->OpenedUrls().size(), 3u);
  EXPECT_THAT(automation, IsEmpty());
}

TEST_F(Gestures, MissingTimeInformationIsShownUntilItReturns) {
  Open();
  const framework::TPoint notice = Centre("timeinfo");
  const std::uint32_t normal = PixelAt(notice);
  float left[64] = {}, right[64] = {};
  float* channels[2] = {left, right};
  plugin->processReplacing(channels, channels, 64);  // no time information
  Tick();
  EXPECT_TRUE(AnyControl("timeinfo").Visible());
  EXPECT_NE(PixelAt(notice), normal);

  VstTimeInfo info{};
  info.tempo = 120.0;
  info.sampleRate = 44100.0;
  info.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
  time = &info;
  plugin->processReplacing(channels, channels, 64);
  Tick();
  EXPECT_FALSE(AnyControl("timeinfo").Visible());
  EXPECT_EQ(PixelAt(notice), normal);
  time = nullptr;
}

// Every editor shows pictures decoded once per process and shared read-only
// by all of them. Whatever one editor goes through, the next shows the same
// pixels for the same values, and every shared picture is still what the
// embedded form stores.
TEST_F(Gestures, HeavyUseOfOneEditorLeavesTheNextPixelIdentical) {
  float saved[70];
  for (int i = 0; i < 70; ++i) saved[i] = Param(i);
  Open();
  Tick();
  const std::vector<std::uint32_t> fresh = backend->Window(handle)->Pixels();

  for (int round = 0; round < 2; ++round) {
    for (int n = 1; n <= 16; ++n) {
      Click(Step(n));
      Click(Tie(n));
    }
    Press(Step(1));
    MoveTo(Step(16));
    Release(Step(16));
    for (const char* knob : {"attack", "decay", "shuffle", "fd1delay", "fd1cutoff", "fd2pan", "mainvolume",
                             "lfo1pandepth", "lfo2cutoffdepth"}) {
      const framework::TPoint at = Centre(knob);
      Press(at);
      MoveTo({at.X + 25, at.Y - 25});
      MoveTo({at.X - 60, at.Y + 60});
      Release(at);
    }
    for (const char* button : {"gateon", "fd1enable", "fd2enable", "fd1delaysync", "fd2filtertype",
                               "lfo1sync3", "lfo2sync2", "lfo2sync4"})
      Click(button);
    Click(Centre("infoclick"));
    Tick();
    Click(framework::TPoint{360, 200});
    Tick();
  }
  for (int i = 0; i < 70; ++i) HostSets(i, saved[i]);
  Tick();
  EXPECT_EQ(backend->Window(handle)->Pixels(), fresh) << "the same editor, values restored";
  Dispatch(effEditClose);

  Open();
  Tick();
  EXPECT_EQ(backend->Window(handle)->Pixels(), fresh) << "the next editor of the effect";
  Dispatch(effEditClose);
  RecordingPlugin other(&Host);
  static_cast<APluginEditor*>(other.getEditor())->setWindowSystem(backend);
  int otherWindow = 0;
  ASSERT_EQ(other.dispatcher(effEditOpen, 0, 0, &otherWindow, 0.0f), 1);
  backend->AdvanceTime(50);
  const framework::TWindowHandle otherHandle =
      static_cast<APluginEditor*>(other.getEditor())->getWindow()->Handle();
  EXPECT_EQ(backend->Window(otherHandle)->Pixels(), fresh) << "another effect's editor";
  other.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);

  int pictures = 0;
  framework::ForEachBinaryValue(
      StoredEditorForm(), [&](std::string_view path, std::span<const std::uint8_t> value) {
        if (path != "DIB.Data") return;
        ++pictures;
        const image::TDecodedPicture& shared = image::SharedPicture(value);
        const image::TDecodedPicture decoded = image::DecodeDIBData(value);
        const std::size_t bytes = std::size_t{decoded.Width} * decoded.Height * 4;
        ASSERT_EQ(shared.Width, decoded.Width);
        ASSERT_EQ(shared.Height, decoded.Height);
        EXPECT_EQ(std::memcmp(shared.Pixels, decoded.Pixels, bytes), 0) << "picture " << pictures;
      });
  EXPECT_EQ(pictures, 15);
}

}  // namespace
}  // namespace editortest
