#pragma once

// What the Windows tests do as a host and as a user: a top-level window of
// the host, its message loop, real pointer input through SendInput, pictures
// of the screen, and the pictures of the Linux build to hold them against.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef CreateWindow  // a method of the framework's window backends

namespace wintest {

// A top-level window of the host whose client area, w x h, lies at (x, y) on
// the screen; shown.
class THostWindow {
 public:
  THostWindow(int x, int y, int w, int h);
  ~THostWindow();
  THostWindow(const THostWindow&) = delete;
  THostWindow& operator=(const THostWindow&) = delete;
  HWND Handle() const { return hwnd_; }
  // A point of the client area on the screen.
  POINT Screen(int x, int y) const;

 private:
  HWND hwnd_ = nullptr;
};

// The host's message loop: runs the thread's messages for ms milliseconds,
// or until done() holds (checked after each batch); answers done().
void Pump(int ms);
bool PumpUntil(const std::function<bool()>& done, int ms);

// The user's hand, through SendInput: the pointer to a screen point (checked
// with GetCursorPos), the left button down and up. Each call runs the
// messages it caused.
bool MoveTo(POINT screen);
void Press();
void Release();

// A picture: width x height pixels, top row first, 0x00RRGGBB.
struct TPicture {
  int Width = 0, Height = 0;
  std::vector<std::uint32_t> Pixels;
  std::uint32_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

// The window's client area as the screen shows it.
TPicture Capture(HWND window);
// As a 24-bit BMP file.
bool WriteBmp(const std::string& path, const TPicture& picture);
// A stored picture value (what plonkrift-picture makes of a PNG); empty when
// it cannot be read.
TPicture ReadStoredPicture(const std::string& path);

// Top-level windows of this process that are visible, the host's included.
int VisibleTopLevelWindows();
// The process's private bytes (as the system counts them).
std::int64_t PrivateBytes();

}  // namespace wintest
