// The X11 backend's connection to the server and its errors.

#include <poll.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "framework/x11/X11Internal.h"

#include <X11/XKBlib.h>

namespace framework::x11 {

namespace {

std::mutex gTrapMutex;
int gTrapDepth = 0;
XErrorHandler gForeignError = nullptr;
XIOErrorHandler gForeignIOError = nullptr;
std::vector<TConnection*> gConnections;  // guarded by gTrapMutex

int OnXError(Display* display, XErrorEvent* event) {
  XErrorHandler foreign = nullptr;
  {
    std::lock_guard lock(gTrapMutex);
    for (TConnection* c : gConnections)
      if (c->display == display) {
        if (c->errorCode == 0) c->errorCode = event->error_code;
        return 0;
      }
    foreign = gForeignError;
  }
  return foreign && foreign != &OnXError ? foreign(display, event) : 0;
}

int OnXIOError(Display* display) {
  XIOErrorHandler foreign = nullptr;
  {
    std::lock_guard lock(gTrapMutex);
    for (TConnection* c : gConnections)
      if (c->display == display) {
        c->LostByXlib();
        return 0;
      }
    foreign = gForeignIOError;
  }
  return foreign && foreign != &OnXIOError ? foreign(display) : 0;
}

// Called by Xlib instead of exit() when our connection is lost.
void OnXIOErrorExit(Display*, void* data) {
  static_cast<TConnection*>(data)->LostByXlib();
}

}  // namespace

TErrorTrap::TErrorTrap() {
  std::lock_guard lock(gTrapMutex);
  if (gTrapDepth++ == 0) {
    XErrorHandler previous = XSetErrorHandler(&OnXError);
    if (previous != &OnXError) gForeignError = previous;
    XIOErrorHandler previousIO = XSetIOErrorHandler(&OnXIOError);
    if (previousIO != &OnXIOError) gForeignIOError = previousIO;
  }
}

TErrorTrap::~TErrorTrap() {
  std::lock_guard lock(gTrapMutex);
  if (--gTrapDepth == 0) {
    // Someone who installed a handler meanwhile keeps it.
    XErrorHandler current = XSetErrorHandler(gForeignError);
    if (current != &OnXError) XSetErrorHandler(current);
    XIOErrorHandler currentIO = XSetIOErrorHandler(gForeignIOError);
    if (currentIO != &OnXIOError) XSetIOErrorHandler(currentIO);
  }
}

TConnection::~TConnection() {
  std::lock_guard lock(mutex);
  Close();
}

void TConnection::Open(const std::string& name) {
  {
    TErrorTrap trap;
    display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
  }
  if (!display) throw EWindowError("Cannot open the X display");
  {
    std::lock_guard lock(gTrapMutex);
    gConnections.push_back(this);
  }
  XSetIOErrorExitHandler(display, &OnXIOErrorExit, this);
  TErrorTrap trap;
  // Held keys repeat as presses only, as the window layer expects.
  Bool supported = False;
  XkbSetDetectableAutoRepeat(display, True, &supported);
}

void TConnection::Close() {
  if (!display) return;
  if (MayFree()) {
    TErrorTrap trap;
    // Requests on a lost connection go nowhere, but the memory is freed.
    for (const auto& [shape, cursor] : cursors) XFreeCursor(display, cursor);
    if (invisible) XFreeCursor(display, invisible);
    ReleaseSharedStaging(*this);
    cursors.clear();
    invisible = 0;
    XCloseDisplay(display);
  } else {
    // Lost under another thread's Xlib call: our side of the shared memory
    // is still ours to free (a dead connection is not asked to detach).
    ReleaseSharedStaging(*this);
  }
  {
    std::lock_guard lock(gTrapMutex);
    std::erase(gConnections, this);
  }
  display = nullptr;
}

bool TConnection::Usable() {
  if (!display || dead) return false;
  pollfd p{ConnectionNumber(display), 0, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) dead = true;
  return !dead;
}

void TConnection::LostByXlib() {
  dead = true;
  if (!ioError) {
    ioError = true;
    ioErrorThread = std::this_thread::get_id();
  }
}

int TConnection::Screen() const {
  for (int i = 0; i < ScreenCount(display); ++i)
    if (RootWindow(display, i) == Root()) return i;
  return DefaultScreen(display);
}

}  // namespace framework::x11
