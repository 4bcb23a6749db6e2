#include "editor/TPluginEditorWindow.h"

TPluginEditorWindow::TPluginEditorWindow(void* parent, AudioEffect* plugin, const RelaxedFloat* values)
    : parent(parent), plugin(plugin), values(values) {}

TPluginEditorWindow::~TPluginEditorWindow() = default;

void TPluginEditorWindow::SetBounds(int newLeft, int newTop) {
  left = newLeft;
  top = newTop;
}

void TPluginEditorWindow::Show() { visible = true; }

void TPluginEditorWindow::Hide() { visible = false; }

void TPluginEditorWindow::Repaint() {}

void TPluginEditorWindow::UpdaterTimer() {}
