// The editor of the DLL under Wine, as a Windows host shows it: opened into a
// top-level window of the host, driven only by the host's message loop (no
// effEditIdle anywhere here), played by real pointer input (SendInput), and
// held against the Linux build's pictures of the same state. What it creates
// and frees is counted at the DLL's own import table.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/windows/ImportHooks.h"
#include "tests/windows/WineHost.h"
#include "tools/hostkit/PluginHost.h"

namespace {

using wintest::TPicture;

constexpr int kWidth = 719, kHeight = 512;
constexpr int kHostX = 40, kHostY = 30;

struct TBox {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

// A control's box as the text form places it (its own Left, Top, Width and
// Height; the form's container sits at the window's origin).
TBox FormBox(const std::string& header) {
  std::ifstream in(PLONKRIFT_FORM_TEXT);
  std::string line;
  bool inside = false;
  TBox box;
  while (std::getline(in, line)) {
    if (!inside) {
      inside = line.find(header + " {") != std::string::npos;
      continue;
    }
    if (line.find('}') != std::string::npos) break;
    std::istringstream words(line);
    std::string name, equals;
    int value = 0;
    if (!(words >> name >> equals >> value) || equals != "=") continue;
    if (name == "Left") box.Left = value;
    if (name == "Top") box.Top = value;
    if (name == "Width") box.Width = value;
    if (name == "Height") box.Height = value;
  }
  return box;
}

// Centres of step n and of the FD1 cutoff slider in the window.
POINT Step(int n) {
  return {87 + 30 * (n - 1) + 15, 92};
}
constexpr POINT kCutoff{145, 266};

// Where two pictures differ: the count and the bounding box.
struct TDifference {
  std::size_t count = 0;
  int left = kWidth, top = kHeight, right = -1, bottom = -1;
};

TDifference Compare(const TPicture& a, const TPicture& b) {
  TDifference d;
  for (int y = 0; y < std::min(a.Height, b.Height); ++y)
    for (int x = 0; x < std::min(a.Width, b.Width); ++x)
      if (a.At(x, y) != b.At(x, y)) {
        ++d.count;
        d.left = std::min(d.left, x);
        d.top = std::min(d.top, y);
        d.right = std::max(d.right, x);
        d.bottom = std::max(d.bottom, y);
      }
  return d;
}

std::string Describe(const TDifference& d) {
  return std::to_string(d.count) + " pixels differ, within (" + std::to_string(d.left) + ", " +
         std::to_string(d.top) + ") to (" + std::to_string(d.right) + ", " + std::to_string(d.bottom) + ")";
}

class EditorUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    library = std::make_unique<hostkit::PluginLibrary>(hostkit::defaultPluginPath());
    ASSERT_TRUE(library->ok()) << library->error();
    hooks = std::make_unique<wintest::TImportHooks>(GetModuleHandleA("plonkrift6v2.dll"));
    host = std::make_unique<wintest::THostWindow>(kHostX, kHostY, kWidth, kHeight);
    ASSERT_NE(kit.create(library->entry()), nullptr);
  }
  void TearDown() override {
    if (kit.effect() != nullptr) {
      kit.dispatch(effEditClose);
      kit.close();
    }
    hooks.reset();
    host.reset();
  }

  bool Open() { return kit.dispatch(effEditOpen, 0, 0, host->Handle()) == 1; }
  HWND Editor() const { return GetWindow(host->Handle(), GW_CHILD); }
  TPicture Screen() const { return wintest::Capture(host->Handle()); }
  POINT At(POINT window) const { return host->Screen(window.x, window.y); }
  std::uint32_t PixelNow(POINT p) const { return Screen().At(p.x, p.y); }

  // The last value automated for a slot, and the host's record of gestures:
  // "begin 41", "set 41", "end 41".
  float Automated(int index) const {
    float value = -1.0f;
    for (const hostkit::HostCall& call : kit.calls())
      if (call.opcode == audioMasterAutomate && call.index == index) value = call.opt;
    return value;
  }
  std::vector<std::string> Edits() const {
    std::vector<std::string> out;
    for (const hostkit::HostCall& call : kit.calls()) {
      const std::string index = std::to_string(call.index);
      if (call.opcode == audioMasterBeginEdit) out.push_back("begin " + index);
      if (call.opcode == audioMasterAutomate) out.push_back("set " + index);
      if (call.opcode == audioMasterEndEdit) out.push_back("end " + index);
    }
    return out;
  }
  wintest::TPicture Linux(const std::string& name) const {
    return wintest::ReadStoredPicture(std::string(PLONKRIFT_LINUX_REFERENCES) + "/" + name + ".pic");
  }
  void Save(const TPicture& picture, const std::string& name) const {
    wintest::WriteBmp(std::string(PLONKRIFT_TEST_OUTPUT) + "/" + name + ".bmp", picture);
  }

  std::unique_ptr<hostkit::PluginLibrary> library;
  std::unique_ptr<wintest::TImportHooks> hooks;
  std::unique_ptr<wintest::THostWindow> host;
  hostkit::PluginHost kit;
};

TEST_F(EditorUnderWine, AChildOfTheHostsWindowRefreshedByItsOwnTimer) {
  for (int i = 1; i <= 32; ++i) kit.setParameter(i, 0.0f);
  ASSERT_TRUE(Open());
  const HWND editor = Editor();
  ASSERT_NE(editor, nullptr) << "a child window in the host's window";
  EXPECT_TRUE((GetWindowLongW(editor, GWL_STYLE) & WS_CHILD) != 0);
  EXPECT_TRUE(IsWindowVisible(editor));
  RECT r{};
  GetClientRect(editor, &r);
  EXPECT_EQ(r.right, kWidth);
  EXPECT_EQ(r.bottom, kHeight);

  wintest::Pump(150);
  const std::uint32_t unlit = PixelNow(Step(3));
  // A host change shows within a few 50 ms periods with nothing but the
  // message loop running: the window's own timer refreshed it.
  kit.setParameter(3, 1.0f);
  EXPECT_TRUE(wintest::PumpUntil([&] { return PixelNow(Step(3)) != unlit; }, 400))
      << "step 3 lit by the refresh";
  EXPECT_EQ(PixelNow(Step(4)), unlit);
  EXPECT_GT(hooks->Ledger().timersSet, 0);
  EXPECT_EQ(hooks->Ledger().timers, 1) << "one timer on the editor's window";
}

TEST_F(EditorUnderWine, PaintingAndAKnobDragReachTheHostAndTheScreenMatchesLinux) {
  for (int i = 1; i <= 32; ++i) kit.setParameter(i, 0.0f);
  kit.setParameter(41, 0.2f);
  ASSERT_TRUE(Open());
  wintest::Pump(150);
  kit.clearCalls();

  // A fast paint: pressed on step 2, the pointer jumps to step 9 in one
  // move and is let go there; every cell on the way is painted.
  ASSERT_TRUE(wintest::MoveTo(At(Step(2))));
  wintest::Press();
  ASSERT_TRUE(wintest::MoveTo(At(Step(9))));
  wintest::Release();
  wintest::Pump(50);
  for (int n = 1; n <= 16; ++n)
    EXPECT_EQ(kit.getParameter(n), n >= 2 && n <= 9 ? 1.0f : 0.0f) << "step " << n;
  for (int n = 2; n <= 9; ++n) EXPECT_EQ(Automated(n), 1.0f) << "step " << n << " automated";
  std::map<std::string, int> balance;
  for (const std::string& e : Edits()) {
    const std::string index = e.substr(e.find(' ') + 1);
    if (e.rfind("begin", 0) == 0) ++balance[index];
    if (e.rfind("set", 0) == 0) {
      EXPECT_EQ(balance[index], 1) << e << " inside its gesture";
    }
    if (e.rfind("end", 0) == 0) --balance[index];
  }
  for (const auto& [index, open] : balance) EXPECT_EQ(open, 0) << "gesture on " << index << " ended";

  // The FD1 cutoff slider dragged 10 pixels right, one pixel a move: the
  // pointer is hidden and put back where it was pressed after each move.
  kit.clearCalls();
  const POINT press = At(kCutoff);
  ASSERT_TRUE(wintest::MoveTo(press));
  wintest::Press();
  int warpedBack = 0, hidden = 0;
  for (int i = 0; i < 10; ++i) {
    wintest::MoveTo({press.x + 1, press.y});
    POINT now{};
    GetCursorPos(&now);
    warpedBack += now.x == press.x && now.y == press.y ? 1 : 0;
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    GetCursorInfo(&cursor);
    hidden += cursor.hCursor == nullptr ? 1 : 0;
  }
  wintest::Release();
  wintest::Pump(50);
  EXPECT_EQ(warpedBack, 10);
  EXPECT_EQ(hidden, 10) << "no cursor while the knob is dragged";
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  GetCursorInfo(&cursor);
  EXPECT_NE(cursor.hCursor, nullptr) << "the cursor is back after the release";
  EXPECT_EQ(kit.getParameter(41), 0.3f);
  EXPECT_EQ(Automated(41), 0.3f);
  const std::vector<std::string> edits = Edits();
  ASSERT_FALSE(edits.empty());
  EXPECT_EQ(edits.front(), "begin 41");
  EXPECT_EQ(edits.back(), "end 41");

  // Two refresh periods later the screen is the Linux editor's, pixel for
  // pixel (no text is drawn at run time on this page).
  wintest::Pump(150);
  const TPicture screen = Screen();
  Save(screen, "editor-wine-gestures");
  const TPicture linux = Linux("editor-gestures");
  ASSERT_EQ(linux.Width, kWidth);
  ASSERT_EQ(linux.Height, kHeight);
  ASSERT_EQ(screen.Width, kWidth);
  const TDifference d = Compare(screen, linux);
  EXPECT_EQ(d.count, 0u) << Describe(d);
}

TEST_F(EditorUnderWine, MissingTimeInformationShowsTheLabelNotABox) {
  ASSERT_TRUE(Open());
  wintest::Pump(100);
  // The default program first: the Linux editor's picture, pixel for pixel.
  const TPicture opened = Screen();
  Save(opened, "editor-wine");
  const TDifference atOpen = Compare(opened, Linux("editor-default"));
  EXPECT_EQ(atOpen.count, 0u) << Describe(atOpen);

  const int windowsBefore = wintest::VisibleTopLevelWindows();
  kit.timeInfo = nullptr;
  std::vector<float> left(256, 0.1f), right(256, 0.1f), outL(256), outR(256);
  float* inputs[2] = {left.data(), right.data()};
  float* outputs[2] = {outL.data(), outR.data()};
  kit.processReplacing(inputs, outputs, 256);

  const TBox label = FormBox("TLabel timeinfo");
  ASSERT_GT(label.Width, 0);
  const POINT inLabel{label.Left + 2, label.Top + 2};
  const std::uint32_t before = PixelNow(inLabel);
  EXPECT_TRUE(wintest::PumpUntil([&] { return PixelNow(inLabel) != before; }, 400)) << "the notice shows";
  wintest::Pump(100);
  EXPECT_EQ(wintest::VisibleTopLevelWindows(), windowsBefore) << "no message box or other window";

  // Like Linux's but for the text: only the label's box may differ.
  const TPicture screen = Screen();
  Save(screen, "editor-wine-no-time-info");
  const TDifference d = Compare(screen, Linux("editor-no-time-info"));
  RecordProperty("differing_pixels", static_cast<int>(d.count));
  if (d.count != 0) {
    EXPECT_GE(d.left, label.Left) << Describe(d);
    EXPECT_GE(d.top, label.Top) << Describe(d);
    EXPECT_LT(d.right, label.Left + label.Width) << Describe(d);
    EXPECT_LT(d.bottom, label.Top + label.Height) << Describe(d);
  }
  EXPECT_EQ(screen.At(inLabel.x, inLabel.y), Linux("editor-no-time-info").At(inLabel.x, inLabel.y))
      << "the label's own colour";
}

TEST_F(EditorUnderWine, TheInformationPageAndItsLinks) {
  ASSERT_TRUE(Open());
  wintest::Pump(100);
  // The page's button, then the maker's link on the main page, by clicks.
  const TBox info = FormBox("TDIBImage infoclick");
  ASSERT_TRUE(wintest::MoveTo(At({info.Left + info.Width / 2, info.Top + info.Height / 2})));
  wintest::Press();
  wintest::Release();
  wintest::Pump(100);
  const TPicture screen = Screen();
  Save(screen, "editor-wine-info");
  // The version label's text is drawn at run time (GDI here, Cairo on
  // Linux): it may differ, inside a box of the label's size in its column.
  const TBox version = FormBox("TLabel version");
  const TDifference d = Compare(screen, Linux("editor-info"));
  RecordProperty("differing_pixels", static_cast<int>(d.count));
  EXPECT_GT(Compare(screen, Linux("editor-gestures")).count, 10000u) << "the information page is shown";
  if (d.count != 0) {
    EXPECT_GE(d.left, version.Left) << Describe(d);
    EXPECT_LT(d.right, version.Left + version.Width) << Describe(d);
    EXPECT_LE(d.bottom - d.top, version.Height) << Describe(d);
  }

  // A click anywhere on the page closes it; the maker's link opens with the shell.
  wintest::Press();
  wintest::Release();
  const TBox link = FormBox("TDIBImage weblink");
  ASSERT_TRUE(wintest::MoveTo(At({link.Left + link.Width / 2, link.Top + link.Height / 2})));
  wintest::Press();
  wintest::Release();
  wintest::Pump(50);
  const auto opens = hooks->Ledger().shellOpens;
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].first, L"open");
  EXPECT_EQ(opens[0].second, L"https://plonkrift.example/");
}

TEST_F(EditorUnderWine, AHundredOpenAndCloseCyclesLeaveNothingBehind) {
  Open();
  wintest::Pump(120);
  kit.dispatch(effEditClose);
  wintest::Pump(20);
  const wintest::TLedger settled = hooks->Ledger();
  const std::int64_t privateBefore = wintest::PrivateBytes();
  const DWORD guiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  int opened = 0, shown = 0;
  for (int cycle = 0; cycle < 100; ++cycle) {
    opened += Open() ? 1 : 0;
    // Enough for a refresh and the paints.
    wintest::Pump(60);
    shown += Editor() != nullptr && IsWindowVisible(Editor()) ? 1 : 0;
    kit.dispatch(effEditClose);
    wintest::Pump(5);
  }
  const wintest::TLedger after = hooks->Ledger();
  EXPECT_EQ(opened, 100);
  EXPECT_EQ(shown, 100);
  EXPECT_EQ(Editor(), nullptr) << "no child left in the host's window";
  EXPECT_GE(after.windowsMade - settled.windowsMade, 100) << "each open made its window";
  EXPECT_EQ(after.windows, 0) << "windows";
  EXPECT_EQ(after.gdiObjects, settled.gdiObjects) << "GDI objects";
  EXPECT_EQ(after.deviceContexts, 0) << "device contexts";
  EXPECT_EQ(after.timers, 0) << "timers";
  EXPECT_EQ(after.windowClasses, 0) << "window classes";
  EXPECT_EQ(after.heapBlocks, settled.heapBlocks) << "heap blocks";
  EXPECT_EQ(after.heapBytes, settled.heapBytes) << "heap bytes";
  // The system's own view; Wine answers 0 for the GDI count.
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), guiBefore);
  EXPECT_LT(wintest::PrivateBytes() - privateBefore, 2 * 1024 * 1024) << "private bytes";
  RecordProperty("windows_made", static_cast<int>(after.windowsMade - settled.windowsMade));
  RecordProperty("gdi_objects_made", static_cast<int>(after.gdiObjectsMade - settled.gdiObjectsMade));
  RecordProperty("timers_set", static_cast<int>(after.timersSet - settled.timersSet));
  RecordProperty("private_bytes_growth", static_cast<int>(wintest::PrivateBytes() - privateBefore));
}

}  // namespace
