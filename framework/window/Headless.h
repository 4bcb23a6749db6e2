#pragma once

// A window system without a display: windows are pictures in memory, the
// clock is virtual, and a test (or a screenshot tool) plays the user: it
// posts mouse, key and focus events, advances the clock so that timers fire,
// and reads the presented pixels. Everything the windows ask of the desktop
// (cursor shapes, pointer hiding and warping, opened addresses) is recorded
// instead of done. It serves one thread.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "framework/window/WindowSystem.h"

namespace framework {

class THeadlessBackend;

class THeadlessWindow : public TBackendWindow {
 public:
  THeadlessWindow(THeadlessBackend& backend, TWindowHandle handle, TWindowHandle parent, const TRect& bounds,
                  IWindowEvents& events);
  ~THeadlessWindow() override;

  TWindowHandle Handle() const override { return handle_; }
  void SetBounds(const TRect& bounds) override;
  void Show() override;
  void Hide() override { visible_ = false; }
  void Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& source,
               TPoint dest) override;
  void SetCursor(TCursor cursor) override { cursor_ = cursor; }
  void SetFocus() override;
  void SetMouseCapture(bool capture) override { captured_ = capture; }
  TPoint ClientOrigin() const override;
  bool Reparent(TWindowHandle parent) override;

  // What a test reads.
  TWindowHandle ParentHandle() const { return parent_; }
  const TRect& Bounds() const { return bounds_; }
  bool Visible() const { return visible_; }
  TCursor Cursor() const { return cursor_; }
  bool Captured() const { return captured_; }
  bool HasFocus() const { return focused_; }
  // The window's pixel at (x, y), top-left origin, as 0xAARRGGBB; 0 for
  // pixels never presented.
  std::uint32_t PixelAt(std::int32_t x, std::int32_t y) const;
  // The whole window, bottom-up rows of 32-bit BGRA like the presented
  // pictures.
  const std::vector<std::uint32_t>& Pixels() const { return pixels_; }
  // Number of Present calls and the rectangles presented (window
  // coordinates), oldest first.
  const std::vector<TRect>& Presented() const { return presented_; }
  void ClearPresented() { presented_.clear(); }

 private:
  friend class THeadlessBackend;
  THeadlessBackend& backend_;
  TWindowHandle handle_;
  TWindowHandle parent_;
  TRect bounds_;
  bool visible_ = false;
  bool captured_ = false;
  bool focused_ = false;
  // Moved to another parent: its pixels are gone and showing it exposes it
  // whole, as a window system without backing store does.
  bool exposeOnShow_ = false;
  TCursor cursor_ = crDefault;
  std::vector<std::uint32_t> pixels_;
  std::vector<TRect> presented_;
};

class THeadlessBackend : public TWindowSystem {
 public:
  THeadlessBackend() = default;
  ~THeadlessBackend() override;

  std::uint64_t NowMs() const override { return now_; }

  // Whether parent (non-zero) stands for a window; a test's backend may
  // refuse some. Windows are made and moved only into parents that exist.
  virtual bool ParentExists(TWindowHandle parent) const {
    static_cast<void>(parent);
    return true;
  }

  // Windows alive, oldest first, and look-up by handle (null when gone).
  const std::vector<THeadlessWindow*>& Windows() const { return windows_; }
  THeadlessWindow* Window(TWindowHandle handle) const;

  // Playing the user. Each call queues the event and runs Update, so
  // handlers, timers and paints have run when it returns.
  // Coordinates are client coordinates of the window; the shift state of a
  // mouse event is modifiers plus the buttons held (tracked here), and the
  // pointer's screen position follows the events. ssDouble in the modifiers
  // of MouseDown marks the second press of a double click.
  void MouseMove(TWindowHandle window, std::int32_t x, std::int32_t y, TShiftState modifiers = 0);
  void MouseDown(TWindowHandle window, TMouseButton button, std::int32_t x, std::int32_t y,
                 TShiftState modifiers = 0);
  void MouseUp(TWindowHandle window, TMouseButton button, std::int32_t x, std::int32_t y,
               TShiftState modifiers = 0);
  // The pointer left the window.
  void MouseExit(TWindowHandle window);
  // A left press and release at one point.
  void ClickAt(TWindowHandle window, std::int32_t x, std::int32_t y);
  void KeyDown(TWindowHandle window, std::uint16_t key, TShiftState modifiers = 0);
  void KeyUp(TWindowHandle window, std::uint16_t key, TShiftState modifiers = 0);
  void Char(TWindowHandle window, char ch, TShiftState modifiers = 0);
  void Expose(TWindowHandle window, const TRect& rect);
  void Focus(TWindowHandle window, bool gained);
  // Queues an event without running Update.
  void Post(TWindowHandle window, const TWindowEvent& event);

  // Moves the virtual clock forward by ms, stopping at every timer deadline
  // on the way and updating there, so a 50 ms timer fires exactly
  // floor(elapsed / 50) times whatever the step sizes.
  void AdvanceTime(std::uint64_t ms);

  // What the windows asked of the desktop.
  bool PointerVisible() const { return pointerVisible_; }
  const std::vector<TPoint>& Warps() const { return warps_; }
  const std::vector<std::string>& OpenedUrls() const { return openedUrls_; }

 protected:
  std::unique_ptr<TBackendWindow> MakeWindow(TWindowHandle parent, const TRect& bounds,
                                             IWindowEvents& events) override;
  TPoint QueryCursorPos() const override { return cursor_; }
  TPoint WarpPointer(TPoint position) override;
  void ShowPointer(bool visible) override { pointerVisible_ = visible; }
  TShiftState QueryKeyboardState() const override { return modifiers_ | buttons_; }
  void OpenUrl(const std::string& url) override { openedUrls_.push_back(url); }

 private:
  friend class THeadlessWindow;
  void Send(TWindowHandle window, const TWindowEvent& event);
  void PointerAt(TWindowHandle window, std::int32_t x, std::int32_t y);

  std::vector<THeadlessWindow*> windows_;
  TWindowHandle nextHandle_ = 0x1000;
  std::uint64_t now_ = 0;
  TPoint cursor_;
  TShiftState buttons_ = 0;
  TShiftState modifiers_ = 0;
  bool pointerVisible_ = true;
  std::vector<TPoint> warps_;
  std::vector<std::string> openedUrls_;
};

}  // namespace framework
