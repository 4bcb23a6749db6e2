#include "tests/windows/WineHost.h"

#include <psapi.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "framework/core/Stream.h"
#include "image/cDIB.h"

namespace wintest {

namespace {

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, w, l);
}

const wchar_t* HostClass() {
  static const wchar_t* name = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"plonkrift6.testhost";
    RegisterClassExW(&wc);
    return L"plonkrift6.testhost";
  }();
  return name;
}

void Send(DWORD flags, LONG dx = 0, LONG dy = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

}  // namespace

THostWindow::THostWindow(int x, int y, int w, int h) {
  // A tool window: Wine leaves it to no window manager, so closing it does
  // not wait two seconds for one that Xvfb does not have.
  hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, HostClass(), L"plonkrift6 test host", WS_POPUP | WS_CLIPCHILDREN,
                          x, y, w, h, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  UpdateWindow(hwnd_);
  Pump(50);
}

THostWindow::~THostWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  Pump(10);
}

POINT THostWindow::Screen(int x, int y) const {
  POINT p{x, y};
  ClientToScreen(hwnd_, &p);
  return p;
}

void Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left.count(), 5)),
                              QS_ALLINPUT);
  }
}

bool MoveTo(POINT screen) {
  // Absolute input is in 1/65536 of the screen, and the system takes the
  // pixel the value falls in: the smallest value inside the wanted pixel.
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  Send(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<LONG>((screen.x * 65536LL + width - 1) / width),
       static_cast<LONG>((screen.y * 65536LL + height - 1) / height));
  Pump(15);
  POINT now{};
  GetCursorPos(&now);
  return now.x == screen.x && now.y == screen.y;
}

void Press() {
  Send(MOUSEEVENTF_LEFTDOWN);
  Pump(15);
}

void Release() {
  Send(MOUSEEVENTF_LEFTUP);
  Pump(15);
}

TPicture Capture(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  TPicture picture;
  picture.Width = client.right;
  picture.Height = client.bottom;
  if (picture.Width <= 0 || picture.Height <= 0) return picture;
  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.Width;
  info.bmiHeader.biHeight = -picture.Height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, picture.Width, picture.Height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(bits);
  picture.Pixels.assign(p, p + static_cast<std::size_t>(picture.Width) * picture.Height);
  for (std::uint32_t& px : picture.Pixels) px &= 0xFFFFFF;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  return picture;
}

bool WriteBmp(const std::string& path, const TPicture& picture) {
  const std::uint32_t row = static_cast<std::uint32_t>((picture.Width * 3 + 3) & ~3);
  const std::uint32_t size = 54 + row * static_cast<std::uint32_t>(picture.Height);
  std::vector<std::uint8_t> b(size, 0);
  const auto put = [&](std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, size, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<std::uint32_t>(picture.Width), 4);
  put(22, static_cast<std::uint32_t>(picture.Height), 4);  // bottom-up
  put(26, 1, 2);
  put(28, 24, 2);
  for (int y = 0; y < picture.Height; ++y)
    for (int x = 0; x < picture.Width; ++x)
      put(54 + static_cast<std::size_t>(picture.Height - 1 - y) * row + 3 * x, picture.At(x, y), 3);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return static_cast<bool>(out);
}

TPicture ReadStoredPicture(const std::string& path) {
  TPicture picture;
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return picture;
  try {
    const std::size_t length = bytes.size();
    framework::TMemoryStream stream(std::move(bytes));
    image::TMemoryDIB dib;
    dib.ReadData(stream, length);
    picture.Width = dib.Width();
    picture.Height = dib.Height();
    for (int y = 0; y < picture.Height; ++y)
      for (int x = 0; x < picture.Width; ++x) picture.Pixels.push_back(dib.PixelAt(x, y) & 0xFFFFFF);
  } catch (const std::exception&) {
    picture = {};
  }
  return picture;
}

int VisibleTopLevelWindows() {
  struct TCount {
    DWORD process;
    int n;
  } count{GetCurrentProcessId(), 0};
  EnumWindows(
      [](HWND hwnd, LPARAM l) -> BOOL {
        auto* c = reinterpret_cast<TCount*>(l);
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process == c->process && IsWindowVisible(hwnd)) ++c->n;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count.n;
}

std::int64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters))
    return -1;
  return static_cast<std::int64_t>(counters.PrivateUsage);
}

}  // namespace wintest
