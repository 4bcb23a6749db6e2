#include "editor/TPluginEditorWindow.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "editor/InfoScreenPlaces.h"
#include "editor/StoredForm.h"
#include "framework/core/FormStream.h"
#include "framework/core/Stream.h"
#include "framework/window/WindowSystem.h"
#include "image/DIBDataStream.h"
#include "image/cDIBCompressor.h"
#include "image/cDIBSettings.h"

using framework::TObject;
using framework::TShiftState;
using skin::TCustomDIBControl;
using skin::TDIBImage;
using skin::TDIBKnob;

namespace {

using namespace parameters;

// The gate switch, the lamps and the switches show the on/off slots from the
// gate's enable to the last unit's; the rate buttons after them carry bars.
constexpr int kFirstSwitch = kGateEnable;
constexpr int kLastSwitch = kFd2LfoPan;

bool IsCell(int tag) {
  return tag >= kStep1 && tag <= kLastTie;
}
bool IsSlot(int tag) {
  return isValueSlot(tag);
}
bool IsStep(int tag) {
  return tag >= kStep1 && tag < kTie1;
}

// Only a drag with the left button alone paints: no other button and none of
// Shift, Ctrl or Alt.
bool Paints(TShiftState shift) {
  constexpr TShiftState kRelevant =
      framework::ssShift | framework::ssAlt | framework::ssCtrl | framework::ssButtons;
  return (shift & kRelevant) == framework::ssLeft;
}

bool Inside(const framework::TRect& r, framework::TPoint p) {
  return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

int TagOf(TObject* sender) {
  auto* component = dynamic_cast<framework::TComponent*>(sender);
  return component != nullptr ? component->Tag() : 0;
}

}  // namespace

const framework::ClassInfo& TPluginEditorWindow::StaticClassInfo() {
  using W = TPluginEditorWindow;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<W, framework::TForm>("TPluginEditorWindow")
          .Method("FormCreate", &W::FormCreate)
          .Method("step1MouseDown", &W::step1MouseDown)
          .Method("step1MouseMove", &W::step1MouseMove)
          .Method("step1MouseUp", &W::step1MouseUp)
          .Method("step1MouseLeave", &W::step1MouseLeave)
          .Method("DIBImageContainer2MouseMove", &W::DIBImageContainer2MouseMove)
          .Method("ButtonClick", &W::ButtonClick)
          .Method("lfo1sync1Click", &W::lfo1sync1Click)
          .Method("lfo2sync1Click", &W::lfo2sync1Click)
          .Method("sliderhandler", &W::sliderhandler)
          .Method("fd1delayMouseUp", &W::fd1delayMouseUp)
          .Method("fd2delayMouseUp", &W::fd2delayMouseUp)
          .Method("infoclickClick", &W::infoclickClick)
          .Method("infoscreenClick", &W::infoscreenClick)
          .Method("weblinkClick", &W::weblinkClick)
          .Method("tobrelclickClick", &W::tobrelclickClick)
          .Method("UpdaterTimer", &W::UpdaterTimer)
          .Field("Timer1", &W::Timer1)
          .Field("DIBImageList1", &W::DIBImageList1)
          .Field("DIBImageContainer2", &W::DIBImageContainer2)
          .Field("background", &W::background)
          .Field("fd1delay", &W::fd1delay)
          .Field("fd2delay", &W::fd2delay)
          .Field("infoclick", &W::infoclick)
          .Field("infoscreen", &W::infoscreen)
          .Field("tobrelclick", &W::tobrelclick)
          .Field("weblink", &W::weblink)
          .Field("version", &W::version)
          .Field("timeinfo", &W::timeinfo)
          .Build();
  return info;
}

void TPluginEditorWindow::RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    skin::RegisterSkinClasses();
    image::RegisterSettingsClasses();
    framework::RegisterClass(StaticClassInfo());
  });
}

#if !defined(_WIN32)
namespace {

// Decodes the embedded form's pictures into the process's shared pictures.
// It waits a little first: an effect made only to be looked at (a host's
// scan) and unloaded at once costs no decoding and no wait at unloading,
// which ends the thread (the pictures and compressors it uses outlive it).
class TStoredPictureDecoder {
 public:
  static constexpr std::chrono::milliseconds kDelay{100};

  TStoredPictureDecoder() : thread_([this] { Run(); }) {}
  ~TStoredPictureDecoder() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  TStoredPictureDecoder(const TStoredPictureDecoder&) = delete;
  TStoredPictureDecoder& operator=(const TStoredPictureDecoder&) = delete;

  // An editor is opening: no more waiting.
  void Hurry() {
    {
      std::lock_guard lock(mutex_);
      hurry_ = true;
    }
    wake_.notify_all();
  }

 private:
  bool Stopped() {
    std::lock_guard lock(mutex_);
    return stop_;
  }

  void Run() {
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kDelay, [this] { return stop_ || hurry_; });
      if (stop_) return;
    }
    std::vector<std::span<const std::uint8_t>> pictures;
    try {
      framework::ForEachBinaryValue(StoredEditorForm(),
                                    [&](std::string_view path, std::span<const std::uint8_t> value) {
                                      if (path == "DIB.Data") pictures.push_back(value);
                                    });
    } catch (...) {
      return;  // a form that cannot be read is the opening window's to report
    }
    // A window being opened meanwhile reads them first to last: from the last
    // one back, the two share the work and meet halfway.
    for (auto it = pictures.rbegin(); it != pictures.rend() && !Stopped(); ++it) {
      try {
        image::SharedPicture(*it);
      } catch (...) {
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool hurry_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace
#endif

void TPluginEditorWindow::PrepareStoredPictures(bool opening) noexcept {
#if defined(_WIN32)
  // A thread still running when a DLL unloads cannot be joined there (the
  // loader lock): Windows editors decode on their first open.
  static_cast<void>(opening);
#else
  try {
    // What the thread uses is made first, so that it is destroyed after the
    // thread has ended.
    image::SharedPictureCount();
    image::RegisteredCompressors();
    static TStoredPictureDecoder decoder;
    if (opening) decoder.Hurry();
  } catch (...) {
    // No thread to be had: the first editor decodes the pictures itself.
  }
#endif
}

TPluginEditorWindow::TPluginEditorWindow(framework::TComponent* owner) : framework::TForm(owner) {}

TPluginEditorWindow::~TPluginEditorWindow() {
  // A gesture the window goes away under ends first: a dragged knob gets
  // its pointer back and the host hears the end of every edit it heard
  // begin.
  try {
    DestroyHandle();
    EndGestures();
  } catch (...) {
  }
  // The components go while the handlers' state still exists.
  DestroyComponents();
}

void TPluginEditorWindow::WndProc(framework::TMessage& message) {
  framework::TForm::WndProc(message);
  if (message.Id != framework::TMessageId::VisibleChanged) return;
  // A closed editor kept for its next open refreshes nothing and holds
  // only its composed picture.
  if (!Visible()) {
    EndGestures();
    if (DIBImageContainer2 != nullptr) DIBImageContainer2->ReleaseScratch();
  }
  if (Timer1 != nullptr) Timer1->SetEnabled(Visible());
}

std::unique_ptr<TPluginEditorWindow> TPluginEditorWindow::Create(EditorController* plugin,
                                                                 RelaxedFloat* values) {
  // The embedded form lasts as long as the library: its pictures are decoded
  // once per process and shared by every window. Those not decoded yet are
  // decoded now on two threads, this one and the decoder's.
  PrepareStoredPictures(true);
  return Create(plugin, values, StoredEditorForm(), framework::TFormBytes::Lasting);
}

std::unique_ptr<TPluginEditorWindow> TPluginEditorWindow::CreateIn(
    EditorController* plugin, RelaxedFloat* values, std::shared_ptr<framework::TWindowSystem> system,
    framework::TWindowHandle parent) {
  auto window = Create(plugin, values);
  window->SetWindowSystem(std::move(system));
  window->SetParentWindow(parent);
  window->SetBounds(0, 0, window->Width(), window->Height());
  window->Show();
  window->UpdaterTimer(nullptr);
  window->Repaint();
  return window;
}

std::unique_ptr<TPluginEditorWindow> TPluginEditorWindow::Create(EditorController* plugin,
                                                                 RelaxedFloat* values,
                                                                 std::span<const std::uint8_t> form) {
  return Create(plugin, values, form, framework::TFormBytes::Transient);
}

std::unique_ptr<TPluginEditorWindow> TPluginEditorWindow::Create(EditorController* plugin,
                                                                 RelaxedFloat* values,
                                                                 std::span<const std::uint8_t> form,
                                                                 framework::TFormBytes kind) {
  RegisterClasses();
  auto window = std::make_unique<TPluginEditorWindow>();
  if (values == nullptr) {
    window->ownValues = std::make_unique<RelaxedFloat[]>(kLast + 1);
    values = window->ownValues.get();
  }
  window->values = values;
  // The stored knob positions may raise change events while the form is
  // read; they are no user's gestures.
  window->refreshing = true;
  framework::ReadForm(form, *window, kind);
  window->refreshing = false;
  window->FindControls();
  window->plugin = plugin;
  window->DoCreate();
  return window;
}

// --- helpers -------------------------------------------------------------------

void TPluginEditorWindow::Send(int index, float value) {
  const bool alone = !editing[index];
  if (alone) BeginEdit(index);
  if (plugin != nullptr) plugin->setParameterAutomated(index, value);
  if (alone) EndEdit(index);
}

void TPluginEditorWindow::BeginEdit(int index) {
  if (editing[index]) return;
  editing[index] = true;
  if (plugin != nullptr) plugin->beginEdit(index);
}

void TPluginEditorWindow::EndEdit(int index) {
  if (!editing[index]) return;
  editing[index] = false;
  if (plugin != nullptr) plugin->endEdit(index);
}

void TPluginEditorWindow::EndPaintGesture() {
  dragging = false;
  for (bool& v : visited) v = false;
  // Every cell the paint wrote stays held until it ends, however often it
  // was written (a tie at every move over it).
  for (int t = kStep1; t <= kLastTie; ++t) EndEdit(t);
}

void TPluginEditorWindow::EndGestures() {
  EndPaintGesture();
  for (int i = kFirst; i <= kLast; ++i) EndEdit(i);
}

TCustomDIBControl* TPluginEditorWindow::Cell(const char* prefix, int n) const {
  return dynamic_cast<TCustomDIBControl*>(FindComponent(prefix + std::to_string(n)));
}

void TPluginEditorWindow::FindControls() {
  for (int n = 1; n <= kSteps; ++n) {
    steps[n] = Cell("step", n);
    ties[n] = Cell("tie", n);
  }
  for (int j = 1; j <= 4; ++j) {
    syncButtons[0][j] = Cell("lfo1sync", j);
    syncButtons[1][j] = Cell("lfo2sync", j);
  }
  for (int i = 0; i < ComponentCount(); ++i) {
    framework::TComponent* component = Components(i);
    const int t = component->Tag();
    if (auto* knob = dynamic_cast<TDIBKnob*>(component)) {
      if (!IsSlot(t)) continue;
      knobs.push_back(knob);
      // A drag holds its parameter from the press to the release, moved or
      // not; the writes in between (and a delay snap at the release) fall
      // inside.
      knob->OnDragBegin.Bind([this, t](TObject*) { BeginEdit(t); });
      knob->OnDragEnd.Bind([this, t](TObject*) { EndEdit(t); });
    } else if (auto* image = dynamic_cast<TDIBImage*>(component)) {
      if (t >= kFirstSwitch && t <= kLastSwitch) switches.push_back(image);
    }
  }
}

// --- creation ------------------------------------------------------------------

void TPluginEditorWindow::FormCreate(TObject*) {
  // Cells take no capture and no clicks: while a button is held, moves go to
  // whichever cell lies under the pointer, so a drag sweeps across them.
  for (int n = 1; n <= kSteps; ++n) {
    for (TCustomDIBControl* cell : {steps[n], ties[n]}) {
      if (cell != nullptr) {
        cell->SetControlStyle(0);
        cell->SetCursor(framework::crHandPoint);
      }
    }
  }
}

// --- steps and ties: paint by dragging --------------------------------------------

void TPluginEditorWindow::step1MouseDown(TObject* Sender, framework::TMouseButton, TShiftState, int, int) {
  const int t = TagOf(Sender);
  auto* cell = dynamic_cast<TCustomDIBControl*>(Sender);
  if (!IsCell(t) || cell == nullptr) return;
  dragging = true;
  if (visited[t]) return;
  if (Value(t) > 0.5f) {
    cell->SetOpacity(0);
    paintvalue = false;
    SetValue(t, 0.0f);
  } else {
    cell->SetOpacity(255);
    paintvalue = true;
    SetValue(t, 1.0f);
  }
  visited[t] = true;
  BeginEdit(t);
  Send(t, Value(t));
}

void TPluginEditorWindow::step1MouseMove(TObject* Sender, TShiftState Shift, int, int) {
  // Only a drag that began on a cell paints (a press elsewhere fixed no
  // paint value).
  if (!Paints(Shift) || !dragging) return;
  const int t = TagOf(Sender);
  auto* cell = dynamic_cast<TCustomDIBControl*>(Sender);
  if (!IsCell(t) || cell == nullptr) return;
  if (t != lasttag) {
    if (IsCell(lasttag)) visited[lasttag] = false;
    lasttag = t;
  }
  if (!visited[t]) PaintCell(t, *cell);
}

void TPluginEditorWindow::PaintCell(int t, TCustomDIBControl& cell) {
  cell.SetOpacity(paintvalue ? 255 : 0);
  // Steps are sent once per entry; ties are not marked, so every move over
  // a tie sends it again.
  if (IsStep(t)) visited[t] = true;
  SetValue(t, paintvalue ? 1.0f : 0.0f);
  BeginEdit(t);
  Send(t, Value(t));
}

void TPluginEditorWindow::PreviewMouse(const framework::TMessage& m) {
  const framework::TPoint at{m.X, m.Y};
  // The window system may fold many moves into one (a host idles the editor
  // only every few tens of milliseconds): the cells on the way between two
  // positions are painted here, before the move reaches the cell it ends on.
  if (m.Id == framework::TMessageId::MouseMove && pointerKnown && dragging && Paints(m.Shift))
    PaintAcross(pointer, at);
  pointer = at;
  pointerKnown = true;
  // The last button up ends a paint also where no cell hears it (over
  // another control, outside the window).
  if (m.Id == framework::TMessageId::MouseUp && (m.Shift & framework::ssButtons) == 0 && dragging)
    EndPaintGesture();
}

void TPluginEditorWindow::PaintAcross(framework::TPoint from, framework::TPoint to) {
  struct Crossing {
    double at;  // 0 at from, 1 at to
    int tag;
  };
  Crossing crossings[kLastTie];
  int count = 0;
  // From pixel centre to pixel centre, so the way never runs along an edge.
  const double x0 = from.X + 0.5, y0 = from.Y + 0.5;
  const double dx = static_cast<double>(to.X) - from.X, dy = static_cast<double>(to.Y) - from.Y;
  for (int t = kStep1; t <= kLastTie; ++t) {
    TCustomDIBControl* cell = CellOf(t);
    if (cell == nullptr || !cell->Showing() || !cell->Enabled()) continue;
    const framework::TPoint origin = cell->ClientToWindow({0, 0});
    const framework::TRect r{origin.X, origin.Y, origin.X + cell->Width(), origin.Y + cell->Height()};
    if (Inside(r, from) || Inside(r, to)) continue;
    // The part of the way inside the cell (clipped against each edge in
    // turn); a way that only touches a corner does not count.
    double enter = 0.0, leave = 1.0;
    const auto within = [&](double p, double q) {  // keeps the part where p * s <= q
      if (p == 0.0) return q > 0.0;
      if (p < 0.0)
        enter = std::max(enter, q / p);
      else
        leave = std::min(leave, q / p);
      return enter < leave;
    };
    if (within(-dx, x0 - r.Left) && within(dx, r.Right - x0) && within(-dy, y0 - r.Top) &&
        within(dy, r.Bottom - y0))
      crossings[count++] = {enter, t};
  }
  std::sort(crossings, crossings + count, [](const Crossing& a, const Crossing& b) { return a.at < b.at; });
  for (int i = 0; i < count; ++i) {
    const int t = crossings[i].tag;
    // Entered as by a move onto it, and left again on the way.
    if (t != lasttag) {
      if (IsCell(lasttag)) visited[lasttag] = false;
      lasttag = t;
    }
    if (!visited[t]) PaintCell(t, *CellOf(t));
    visited[t] = false;
  }
}

void TPluginEditorWindow::step1MouseUp(TObject*, framework::TMouseButton, TShiftState, int, int) {
  EndPaintGesture();
}

void TPluginEditorWindow::step1MouseLeave(TObject* Sender) {
  const int t = TagOf(Sender);
  if (IsCell(t)) visited[t] = false;
}

void TPluginEditorWindow::DIBImageContainer2MouseMove(TObject*, TShiftState, int, int) {
  for (bool& v : visited) v = false;
}

// --- switches, lamps and LFO rate buttons -----------------------------------------

void TPluginEditorWindow::ButtonClick(TObject* Sender) {
  const int t = TagOf(Sender);
  auto* control = dynamic_cast<TCustomDIBControl*>(Sender);
  if (t < kFirstSwitch || t > kLastSwitch || control == nullptr) return;
  // Only the clicked control changes now; its partner follows at the next refresh.
  control->SetOpacity(control->Opacity() < 100 ? 255 : 0);
  SetValue(t, Value(t) >= 0.5f ? 0.0f : 1.0f);
  Send(t, Value(t));
}

void TPluginEditorWindow::SyncClick(TObject* Sender, int lfo, int parameter) {
  auto* clicked = dynamic_cast<TCustomDIBControl*>(Sender);
  if (clicked == nullptr) return;
  for (int j = 1; j <= 4; ++j)
    if (TCustomDIBControl* button = syncButtons[lfo][j]) button->SetOpacity(0);
  clicked->SetOpacity(255);
  // The tag is the number of bars.
  const float value = parameters::periodOfBars(clicked->Tag());
  SetValue(parameter, value);
  Send(parameter, value);
}

void TPluginEditorWindow::lfo1sync1Click(TObject* Sender) {
  SyncClick(Sender, 0, kLfo1Period);
}

void TPluginEditorWindow::lfo2sync1Click(TObject* Sender) {
  SyncClick(Sender, 1, kLfo2Period);
}

// --- knobs and sliders -------------------------------------------------------------

void TPluginEditorWindow::sliderhandler(TObject* Sender) {
  // The refresh moves a knob to the host's value; writing it back would turn
  // every host value into whole hundredths and send automation nobody made.
  if (refreshing) return;
  auto* knob = dynamic_cast<TDIBKnob*>(Sender);
  const int t = TagOf(Sender);
  if (knob == nullptr || !IsSlot(t)) return;
  const float value = static_cast<float>(knob->Position() / 100.0L);
  SetValue(t, value);
  Send(t, value);
}

void TPluginEditorWindow::DelayReleased(TDIBKnob* slider, int sync, int enable, int delay) {
  if (slider != nullptr && Value(sync) >= 0.5f && Value(enable) > 0.5f) {
    SetValue(delay, parameters::snappedValue(delay, slider->Position(), Value(delay)));
  }
  Send(delay, Value(delay));
}

void TPluginEditorWindow::fd1delayMouseUp(TObject*, framework::TMouseButton, TShiftState, int, int) {
  DelayReleased(fd1delay, kFd1DelaySync, kFd1Enable, kFd1DelayTime);
}

void TPluginEditorWindow::fd2delayMouseUp(TObject*, framework::TMouseButton, TShiftState, int, int) {
  DelayReleased(fd2delay, kFd2DelaySync, kFd2Enable, kFd2DelayTime);
}

// --- information screen and links ---------------------------------------------------

void TPluginEditorWindow::infoclickClick(TObject*) {
  if (infoscreen) infoscreen->SetTop(infoplaces::kShownTop);
  if (tobrelclick) tobrelclick->SetTop(infoplaces::kArtistLinkShownTop);
  if (version) version->SetTop(infoplaces::kVersionShownTop);
}

void TPluginEditorWindow::infoscreenClick(TObject*) {
  if (infoscreen) infoscreen->SetTop(infoplaces::kHiddenTop);
  if (tobrelclick) tobrelclick->SetTop(infoplaces::kHiddenTop);
  if (version) version->SetTop(infoplaces::kVersionHiddenTop);
}

void TPluginEditorWindow::weblinkClick(TObject*) {
  if (framework::TWindowSystem* system = WindowSystem()) system->ShellOpen(kMakerUrl);
}

void TPluginEditorWindow::tobrelclickClick(TObject*) {
  if (framework::TWindowSystem* system = WindowSystem()) system->ShellOpen(kArtistUrl);
}

// --- the refresh ---------------------------------------------------------------------

void TPluginEditorWindow::UpdaterTimer(TObject*) {
  if (timeinfo != nullptr && plugin != nullptr) timeinfo->SetVisible(plugin->timeInfoMissing());

  // A press on a cell released somewhere no cell saw it (another control,
  // outside the window) still ends the gesture, so the refresh never stays
  // paused.
  const framework::TWindowSystem* system = WindowSystem();
  if (dragging && (!system || (system->KeyboardState() & framework::ssButtons) == 0)) EndPaintGesture();
  if (dragging) return;

  for (int n = 1; n <= kSteps; ++n) {
    if (steps[n] != nullptr) steps[n]->SetOpacity(Value(kStep1 + n - 1) > 0.5f ? 255 : 0);
    if (ties[n] != nullptr) ties[n]->SetOpacity(Value(kTie1 + n - 1) > 0.5f ? 255 : 0);
  }

  refreshing = true;
  for (TDIBKnob* knob : knobs) {
    // Halves go to even, as the default rounding mode does.
    const long long p = std::llrint(static_cast<double>(Value(knob->Tag())) * 100.0);
    if (p != knob->Position())
      knob->SetPosition(static_cast<std::int32_t>(std::clamp(p, -1000000LL, 1000000LL)));
  }
  for (TDIBImage* image : switches) image->SetOpacity(Value(image->Tag()) >= 0.5f ? 255 : 0);
  refreshing = false;

  // Which rate buttons are lit: button j shows bit j - 1 of k, the bars the
  // value stands for. The host may send values the buttons never make (k of
  // 0, 9 or 10); they show their bits the same way.
  const int periods[2] = {kLfo1Period, kLfo2Period};
  for (int lfo = 0; lfo < 2; ++lfo) {
    const long long k = std::llrint(parameters::barsOfPeriod(Value(periods[lfo])));
    for (int j = 1; j <= 4; ++j) {
      const bool lit = k >= 0 && k <= 15 && (k & (1 << (j - 1))) != 0;
      if (TCustomDIBControl* button = syncButtons[lfo][j]) button->SetOpacity(lit ? 255 : 0);
    }
  }
}
