#pragma once

#include "host/AudioEffect.h"
#include "host/RelaxedFloat.h"

// The editor window: a child of the host's window that shows the parameter
// values it finds in the bridge's mirror and writes the user's changes back
// through the effect's setParameterAutomated.
class TPluginEditorWindow {
 public:
  static constexpr int kWidth = 719;
  static constexpr int kHeight = 512;

  TPluginEditorWindow(void* parent, AudioEffect* plugin, const RelaxedFloat* values);
  ~TPluginEditorWindow();
  TPluginEditorWindow(const TPluginEditorWindow&) = delete;
  TPluginEditorWindow& operator=(const TPluginEditorWindow&) = delete;

  int Width() const { return kWidth; }
  int Height() const { return kHeight; }
  bool Visible() const { return visible; }
  void* Parent() const { return parent; }

  void SetBounds(int left, int top);
  void Show();
  void Hide();
  void Repaint();
  // The periodic refresh from the mirror.
  void UpdaterTimer();

 private:
  void* parent;
  AudioEffect* plugin;
  const RelaxedFloat* values;
  bool visible = false;
  int left = 0;
  int top = 0;
};
