#include "editor/APluginEditor.h"

#include <algorithm>
#include <limits>

#include "framework/window/Desktop.h"

APluginEditor::APluginEditor(AudioEffectX* effect, std::atomic<std::uint8_t>& editorClosed,
                             const std::atomic<std::uint8_t>* timeInfoNotice)
    : AEffEditor(effect), plugin(effect), editorclosed(editorClosed), timeinfonotice(timeInfoNotice) {
  // The pictures are decoded once per process; starting now, they are
  // ready by the time a user opens the editor.
  TPluginEditorWindow::PrepareStoredPictures();
}

APluginEditor::~APluginEditor() {
  if (window) {
    editorclosed.store(1, std::memory_order_relaxed);
    destroyWindow();
  }
}

VstInt32 APluginEditor::getRect(ERect** rectOut) {
  if (rectOut == nullptr) return 0;
  rect.top = 0;
  rect.left = 0;
  // The window's size is fixed, so the host learns it before the first open
  // too and never crops the editor.
  rect.bottom = static_cast<std::int16_t>(window ? window->Height() : TPluginEditorWindow::kHeight);
  rect.right = static_cast<std::int16_t>(window ? window->Width() : TPluginEditorWindow::kWidth);
  *rectOut = &rect;
  return 1;
}

VstInt32 APluginEditor::open(void* parent) {
  // Without a parent there is nothing to embed into.
  if (parent == nullptr) return 0;
  try {
    const auto handle = reinterpret_cast<framework::TWindowHandle>(parent);
    if (opencount == 0) {
      // The desktop's window system for this parent, unless one was given; a
      // handle that is no window of the desktop is refused (EWindowError).
      // The editor works the same on any.
      if (!windowsystem) windowsystem = framework::DesktopWindowSystemFor(handle);
      copyParameters();
      // A window kept from the last open keeps its composed picture: only
      // what changed while it was closed is painted again.
      if (!window) window = TPluginEditorWindow::Create(this, values);
      window->SetWindowSystem(windowsystem);
      // A child of the host's window at (0, 0); the window system refuses a
      // parent that is no window (EWindowError).
      window->SetParentWindow(handle);
      window->SetBounds(0, 0, window->Width(), window->Height());
    }
    parentwindow = parent;
    ++opencount;
    editorclosed.store(0, std::memory_order_relaxed);
    // Every control shows the current values before the first timer tick,
    // composed before the window shows, which then presents them at once.
    window->UpdaterTimer(nullptr);
    window->Update();
    window->Show();
    return 1;
  } catch (...) {
    // Nothing at the host boundary throws: a window that could not be made
    // is no editor.
    if (opencount == 0) destroyWindow();
    return 0;
  }
}

void APluginEditor::close() {
  try {
    if (window) window->Hide();
  } catch (...) {
  }
  if (--opencount < 0) opencount = 0;
  if (opencount != 0) return;
  editorclosed.store(1, std::memory_order_relaxed);
  // The window leaves the host's before the host's goes; with its controls
  // and their composed picture it waits, hidden, for the next open (where
  // the window system cannot move windows, only the controls wait).
  try {
    if (window) window->SetParentWindow(0);
  } catch (...) {
    destroyWindow();
  }
  parentwindow = nullptr;
}

void APluginEditor::idle() {
  if (editorclosed.load(std::memory_order_relaxed) != 0 || !window) return;
  updateWindowSystem();
}

void APluginEditor::setWindowSystem(std::shared_ptr<framework::TWindowSystem> system) {
  try {
    // A window of another system goes; the controls stay.
    if (window) window->SetWindowSystem(system);
  } catch (...) {
    destroyWindow();
  }
  windowsystem = std::move(system);
}

int APluginEditor::getFileDescriptor() const {
  return windowsystem ? windowsystem->FileDescriptor() : -1;
}

int APluginEditor::getTimeout() const {
  if (!windowsystem) return -1;
  const auto due = windowsystem->NextDue();
  if (!due) return -1;
  const std::uint64_t now = windowsystem->NowMs();
  const std::uint64_t wait = *due > now ? *due - now : 0;
  return static_cast<int>(std::min<std::uint64_t>(wait, std::numeric_limits<int>::max()));
}

void APluginEditor::updateWindowSystem() {
  if (!windowsystem) return;
  try {
    windowsystem->Update();
  } catch (...) {
  }
}

void APluginEditor::update() {
  if (editorclosed.load(std::memory_order_relaxed) == 0) copyParameters();
}

void APluginEditor::copyParameters() {
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) values[i].store(getParameter(i));
}

float APluginEditor::getParameter(int index) {
  return plugin != nullptr ? plugin->getParameter(index) : 0.0f;
}

void APluginEditor::setParameterAutomated(int index, float value) {
  if (plugin != nullptr) plugin->setParameterAutomated(index, value);
}

void APluginEditor::beginEdit(int index) {
  if (plugin != nullptr) plugin->beginEdit(index);
}

void APluginEditor::endEdit(int index) {
  if (plugin != nullptr) plugin->endEdit(index);
}

bool APluginEditor::timeInfoMissing() const {
  return timeinfonotice != nullptr && timeinfonotice->load(std::memory_order_relaxed) != 0;
}

void APluginEditor::destroyWindow() {
  try {
    window.reset();
  } catch (...) {
  }
  parentwindow = nullptr;
}
