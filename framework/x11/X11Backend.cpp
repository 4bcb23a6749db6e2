// The X11 window system: one connection to the display, opened with the
// first window (or the first question about a window) and closed with the
// system.

#include "framework/x11/X11Backend.h"

#include "framework/window/Desktop.h"
#include "framework/x11/X11Internal.h"

namespace framework {

namespace x11 {

TX11Backend::~TX11Backend() = default;

std::shared_ptr<TConnection> TX11Backend::Current() const {
  std::lock_guard lock(mutex_);
  return connection_;
}

std::shared_ptr<TConnection> TX11Backend::Open() {
  std::lock_guard opening(openMutex_);
  if (std::shared_ptr<TConnection> c = Current()) {
    std::lock_guard lock(c->mutex);
    // The server went away since: a system without windows starts over.
    if (c->Usable() || !Windows().empty()) return c;
  }
  auto fresh = std::make_shared<TConnection>();
  fresh->Open(displayName_);
  std::lock_guard lock(mutex_);
  connection_ = fresh;
  return fresh;
}

int TX11Backend::FileDescriptor() const {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return -1;
  std::lock_guard lock(c->mutex);
  return c->Usable() ? ConnectionNumber(c->display) : -1;
}

bool TX11Backend::IsWindow(TWindowHandle window) {
  // A window id that does not fit an X resource id is no window.
  if (window == 0 || window > 0x1FFFFFFFu) return false;
  const std::shared_ptr<TConnection> c = Open();
  std::lock_guard lock(c->mutex);
  if (!c->Usable()) return false;
  TErrorTrap trap;
  c->ClearError();
  XWindowAttributes attrs{};
  const bool found = XGetWindowAttributes(c->display, static_cast<Window>(window), &attrs) != 0;
  XSync(c->display, False);
  const bool ok = found && c->errorCode == 0 && !c->dead;
  c->ClearError();
  return ok;
}

}  // namespace x11

std::shared_ptr<TWindowSystem> MakeX11Backend(const std::string& display) {
  return std::make_shared<x11::TX11Backend>(display);
}

bool IsX11Backend(const TWindowSystem& system) {
  return dynamic_cast<const x11::TX11Backend*>(&system) != nullptr;
}

std::shared_ptr<TWindowSystem> DesktopWindowSystemFor(TWindowHandle parent) {
  // Only a real window of the display can hold the editor: a handle that is
  // none is refused, as the host would want to hear. The question goes over
  // the system's own connection, which its windows then use.
  auto system = std::make_shared<x11::TX11Backend>(std::string{});
  if (!system->IsWindow(parent)) throw EWindowError("The host's window handle is no window of the X display");
  return system;
}

}  // namespace framework
