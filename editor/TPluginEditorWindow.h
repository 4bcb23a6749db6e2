#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "editor/EditorController.h"
#include "framework/core/FormStream.h"
#include "framework/window/Controls.h"
#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "image/cDIBImageList.h"
#include "plugin/Parameters.h"
#include "plugin/RelaxedFloat.h"
#include "skin/cDIBImage.h"
#include "skin/cDIBKnob.h"
#include "skin/cDIBPanel.h"

// The editor window: a borderless form read from the stored form, a child of
// the host's window. It shows the parameter values it finds in the bridge's
// mirror (refreshed every 50 ms) and writes the user's gestures back through
// its controller's setParameterAutomated, each gesture bracketed by beginEdit
// and endEdit for the parameters it writes. It knows the plug-in only through
// that controller (EditorController.h). Everything here runs on the thread
// that calls the editor opcodes; only the mirror is shared with other threads.
class TPluginEditorWindow : public framework::TForm {
  PLONK_PERSISTENT_CLASS
 public:
  static constexpr int kWidth = 719;
  static constexpr int kHeight = 512;

  // The addresses the two links open.
  static constexpr const char* kMakerUrl = "https://plonkrift.example/";
  static constexpr const char* kArtistUrl = "https://plonkrift.example/artwork";

  // Reads the window from a stored form (the embedded one unless given) and
  // runs its FormCreate. values is the mirror, slots 1..61, filled by the
  // caller; plugin may be null (a window that writes nowhere, for tools) and
  // must outlive the window, which ends its gestures with it as it goes.
  // Raises the form reader's errors.
  static std::unique_ptr<TPluginEditorWindow> Create(EditorController* plugin, RelaxedFloat* values);
  static std::unique_ptr<TPluginEditorWindow> Create(EditorController* plugin, RelaxedFloat* values,
                                                     std::span<const std::uint8_t> form);
  // form lasting (TFormBytes::Lasting): its bytes stay until the process
  // ends, so its pictures are decoded once and shared.
  static std::unique_ptr<TPluginEditorWindow> Create(EditorController* plugin, RelaxedFloat* values,
                                                     std::span<const std::uint8_t> form,
                                                     framework::TFormBytes kind);
  // The embedded form's window as a child of a host's window at (0, 0), in
  // the given window system, shown with the values as they stand: what a
  // format's editor (the LV2 UI, the VST3 view) makes when it is attached.
  // Raises EWindowError for a parent the system refuses.
  static std::unique_ptr<TPluginEditorWindow> CreateIn(EditorController* plugin, RelaxedFloat* values,
                                                       std::shared_ptr<framework::TWindowSystem> system,
                                                       framework::TWindowHandle parent);
  // A window with no form read into it, for reading one by hand.
  explicit TPluginEditorWindow(framework::TComponent* owner = nullptr);
  // Ends the gestures under way, as hiding does.
  ~TPluginEditorWindow() override;

  // Hiding the window (the host closes the editor) ends every gesture under
  // way: no release will reach it.
  void WndProc(framework::TMessage& message) override;

  // Registers every class the stored form names (once per process).
  static void RegisterClasses();
  // Has the embedded form's pictures decoded for this process on a thread of
  // its own, starting shortly after the first call (at once when opening), so
  // that an editor opened later finds them ready; an editor opened before
  // they are decodes the rest itself, in the other order. Returns at once and
  // never throws.
  static void PrepareStoredPictures(bool opening = false) noexcept;

  // --- published handlers (bound by name from the stored form) ------------
  void FormCreate(framework::TObject* Sender);
  void step1MouseDown(framework::TObject* Sender, framework::TMouseButton Button,
                      framework::TShiftState Shift, int X, int Y);
  void step1MouseMove(framework::TObject* Sender, framework::TShiftState Shift, int X, int Y);
  void step1MouseUp(framework::TObject* Sender, framework::TMouseButton Button, framework::TShiftState Shift,
                    int X, int Y);
  void step1MouseLeave(framework::TObject* Sender);
  void DIBImageContainer2MouseMove(framework::TObject* Sender, framework::TShiftState Shift, int X, int Y);
  void ButtonClick(framework::TObject* Sender);
  void lfo1sync1Click(framework::TObject* Sender);
  void lfo2sync1Click(framework::TObject* Sender);
  void sliderhandler(framework::TObject* Sender);
  void fd1delayMouseUp(framework::TObject* Sender, framework::TMouseButton Button,
                       framework::TShiftState Shift, int X, int Y);
  void fd2delayMouseUp(framework::TObject* Sender, framework::TMouseButton Button,
                       framework::TShiftState Shift, int X, int Y);
  void infoclickClick(framework::TObject* Sender);
  void infoscreenClick(framework::TObject* Sender);
  void weblinkClick(framework::TObject* Sender);
  void tobrelclickClick(framework::TObject* Sender);
  // The refresh from the mirror: every 50 ms from Timer1, and once directly
  // when the editor opens.
  void UpdaterTimer(framework::TObject* Sender);

  // --- published fields (set by the form reader) ---------------------------
  framework::TTimer* Timer1 = nullptr;
  image::TDIBImageList* DIBImageList1 = nullptr;
  skin::TDIBImageContainer* DIBImageContainer2 = nullptr;
  skin::TDIBImage* background = nullptr;
  skin::TDIBKnob* fd1delay = nullptr;
  skin::TDIBKnob* fd2delay = nullptr;
  skin::TDIBImage* infoclick = nullptr;
  skin::TDIBImage* infoscreen = nullptr;
  skin::TDIBImage* tobrelclick = nullptr;
  skin::TDIBImage* weblink = nullptr;
  framework::TLabel* version = nullptr;
  framework::TLabel* timeinfo = nullptr;

 protected:
  // Follows the pointer over the whole window: a paint reaches the cells
  // between two positions that arrive far apart, and ends at a release
  // wherever it happens.
  void PreviewMouse(const framework::TMessage& message) override;

 private:
  // Writes a parameter to the effect. A write outside a gesture under way
  // for that parameter (a click, a key) is a gesture of its own.
  void Send(int index, float value);
  // Tell the host, once each, that the user took hold of a parameter and that
  // the user let go of it.
  void BeginEdit(int index);
  void EndEdit(int index);
  void EndPaintGesture();
  void EndGestures();
  // The step or tie of slot t.
  skin::TCustomDIBControl* CellOf(int t) const {
    return t < parameters::kTie1 ? steps[t - parameters::kStep1 + 1] : ties[t - parameters::kTie1 + 1];
  }
  // Paints one cell that the pointer moved onto.
  void PaintCell(int t, skin::TCustomDIBControl& cell);
  // Paints the cells that the straight way from one pointer position to the
  // next crosses, in the order it enters them, as if a move had reached each
  // of them on the way. The cells at both ends are left to the events there.
  void PaintAcross(framework::TPoint from, framework::TPoint to);
  // "Step" + n, "tie" + n, ...: looked up among the owned components.
  skin::TCustomDIBControl* Cell(const char* prefix, int n) const;
  // Finds once, after the form is read, the controls the refresh and the
  // handlers reach, so the 50 ms refresh looks nothing up by name.
  void FindControls();
  void SyncClick(framework::TObject* Sender, int lfo, int parameter);
  void DelayReleased(skin::TDIBKnob* slider, int sync, int enable, int delay);
  float Value(int index) const { return values[index].load(); }
  void SetValue(int index, float value) { values[index].store(value); }

  EditorController* plugin = nullptr;
  RelaxedFloat* values = nullptr;
  // A window without a mirror of its own (a bare form) reads and writes this.
  std::unique_ptr<RelaxedFloat[]> ownValues;
  skin::TCustomDIBControl* steps[parameters::kSteps + 1] = {};  // step1..step16
  skin::TCustomDIBControl* ties[parameters::kSteps + 1] = {};   // tie1..tie16
  skin::TCustomDIBControl* syncButtons[2][5] = {};              // lfo1sync1..4, lfo2sync1..4
  std::vector<skin::TDIBKnob*> knobs;                           // knobs and sliders of a parameter
  std::vector<skin::TDIBImage*> switches;                       // the gate switch, lamps and switches
  bool visited[parameters::kLastTie + 1] = {};
  int lasttag = 0;
  // Where the latest pointer event was, in window coordinates.
  framework::TPoint pointer;
  bool pointerKnown = false;
  bool dragging = false;
  bool paintvalue = false;
  // The parameters the host was told a gesture began on and not yet that it
  // ended.
  bool editing[parameters::kLast + 1] = {};
  // Set while the refresh moves knobs: their change events must not write
  // the parameters back.
  bool refreshing = false;
};
