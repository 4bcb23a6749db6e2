#pragma once

// A small window in a headless window system: a form with probe controls
// that log every input they get.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/window/Application.h"
#include "framework/window/Controls.h"
#include "framework/window/Headless.h"

namespace wtest {

using namespace framework;

inline std::uint32_t Opaque(std::uint32_t rgb) {
  return 0xFF000000u | rgb;
}  // 0xRRGGBB -> pixel

// A windowless control that paints itself in one colour and logs its input as
// "<name> <event> [x,y]".
class TProbe : public TControl {
 public:
  TProbe(TWinControl* parent, std::string name, TRect r, std::vector<std::string>& log, std::uint32_t rgb = 0)
      : TControl(nullptr), name_(std::move(name)), log_(log), rgb_(rgb) {
    SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    SetParent(parent);
  }
  void PaintControl(const TPaintContext& ctx) override {
    auto* px = reinterpret_cast<std::uint32_t*>(ctx.Bits);
    for (int y = ctx.Clip.Top; y < ctx.Clip.Bottom; ++y)
      for (int x = ctx.Clip.Left; x < ctx.Clip.Right; ++x)
        px[(ctx.Height - 1 - y) * ctx.Width + x] = Opaque(rgb_);
    ++paints;
  }
  int paints = 0;

 protected:
  void Log(const std::string& what) { log_.push_back(name_ + " " + what); }
  static std::string At(int x, int y) { return " " + std::to_string(x) + "," + std::to_string(y); }
  void Click() override {
    Log("click");
    TControl::Click();
  }
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    Log("down" + At(x, y));
    TControl::MouseDown(b, s, x, y);
  }
  void MouseMove(TShiftState s, int x, int y) override {
    Log("move" + At(x, y));
    TControl::MouseMove(s, x, y);
  }
  void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
    Log("up" + At(x, y));
    TControl::MouseUp(b, s, x, y);
  }
  void MouseEnter() override {
    Log("enter");
    TControl::MouseEnter();
  }
  void MouseLeave() override {
    Log("leave");
    TControl::MouseLeave();
  }

 private:
  std::string name_;
  std::vector<std::string>& log_;
  std::uint32_t rgb_;
};

// A windowed child that logs focus and keys; WantTab makes it ask for Tab.
class TFocusProbe : public TCustomControl {
 public:
  TFocusProbe(TWinControl* parent, std::string name, TRect r, std::vector<std::string>& log)
      : TCustomControl(nullptr), name_(std::move(name)), log_(log) {
    SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    SetParent(parent);
    SetTabStop(true);
  }
  bool WantTab = false;
  bool EatTab = false;
  void WndProc(TMessage& m) override {
    if (m.Id == TMessageId::GetDialogCode && WantTab) {
      m.Result = dcWantTab;
      return;
    }
    TCustomControl::WndProc(m);
  }

 protected:
  void Log(const std::string& what) { log_.push_back(name_ + " " + what); }
  void DoEnter() override { Log("enter-focus"); }
  void DoExit() override { Log("exit-focus"); }
  void KeyDown(std::uint16_t& key, TShiftState shift) override {
    Log("key " + std::to_string(key) + ((shift & ssShift) ? " shift" : ""));
    if (key == VK_TAB && EatTab) key = 0;
  }
  void KeyPress(char& key) override { Log(std::string("char ") + key); }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_shared<THeadlessBackend>();
    form = std::make_unique<TForm>();
    form->SetWindowSystem(backend);
    form->SetBounds(30, 40, 200, 100);
    form->SetColor(0x00FF0000);  // blue
  }
  void TearDown() override {
    form.reset();
    SetExceptionHandler(nullptr);
  }
  // Shows the form inside a foreign parent and paints it.
  void Open() {
    form->SetParentWindow(0x77);
    form->Show();
    backend->Update();
    window = backend->Window(form->Handle());
    ASSERT_NE(window, nullptr);
  }
  TWindowHandle H() const { return form->Handle(); }
  void Move(int x, int y, TShiftState mods = 0) { backend->MouseMove(H(), x, y, mods); }
  void Down(int x, int y, TMouseButton b = mbLeft) { backend->MouseDown(H(), b, x, y); }
  void Up(int x, int y, TMouseButton b = mbLeft) { backend->MouseUp(H(), b, x, y); }

  std::shared_ptr<THeadlessBackend> backend;
  std::unique_ptr<TForm> form;
  THeadlessWindow* window = nullptr;
  std::vector<std::string> log;
};

}  // namespace wtest
