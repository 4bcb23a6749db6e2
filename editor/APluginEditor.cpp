#include "editor/APluginEditor.h"

APluginEditor::APluginEditor(AudioEffect* effect, std::atomic<std::uint8_t>& editorClosed)
    : AEffEditor(effect), editorclosed(editorClosed) {}

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
  parentwindow = parent;
  ++opencount;
  if (opencount == 1 || !window) {
    copyParameters();
    window = std::make_unique<TPluginEditorWindow>(parent, effect, values);
    window->SetBounds(0, 0);
  }
  editorclosed.store(0, std::memory_order_relaxed);
  window->Repaint();
  window->Show();
  window->UpdaterTimer();
  return 1;
}

void APluginEditor::close() {
  if (window) window->Hide();
  if (--opencount < 0) opencount = 0;
  if (opencount != 0) return;
  editorclosed.store(1, std::memory_order_relaxed);
  destroyWindow();
}

void APluginEditor::idle() {
  if (editorclosed.load(std::memory_order_relaxed) == 0 && window) window->Repaint();
}

void APluginEditor::update() {
  if (editorclosed.load(std::memory_order_relaxed) == 0) copyParameters();
}

void APluginEditor::copyParameters() {
  for (int i = kFirstSlot; i <= kLastSlot; ++i) values[i].store(effect->getParameter(i));
}

void APluginEditor::destroyWindow() {
  window.reset();
  parentwindow = nullptr;
}
