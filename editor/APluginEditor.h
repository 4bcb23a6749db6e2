#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "editor/EditorController.h"
#include "editor/TPluginEditorWindow.h"
#include "framework/window/WindowSystem.h"
#include "host/AEffEditor.h"
#include "host/AudioEffectX.h"
#include "plugin/Parameters.h"
#include "plugin/RelaxedFloat.h"

// The editor object the host drives through the editor opcodes. It owns the
// window and the mirror of parameter values the window displays, and is the
// window's controller: what the window asks of the plug-in goes to the effect.
class APluginEditor : public AEffEditor, public EditorController {
 public:
  // editorClosed is the effect's byte that tells whether the window is closed;
  // timeInfoNotice, when given, is the effect's note that blocks came without
  // time information (non-zero until time information arrives again). The
  // window writes to the effect and brackets the user's gestures with its
  // beginEdit and endEdit; an effect that owns its editor destroys it before
  // its own parts go, since closing the window may still end a gesture.
  APluginEditor(AudioEffectX* effect, std::atomic<std::uint8_t>& editorClosed,
                const std::atomic<std::uint8_t>* timeInfoNotice = nullptr);
  ~APluginEditor() override;

  // The editor opcodes. They may come on any one thread (not necessarily the
  // host's main thread); the window lives on it. None of them throws.
  VstInt32 getRect(ERect** rectOut) override;
  // Answers 0 for a null parent or one the window system refuses.
  VstInt32 open(void* parent) override;
  void close() override;
  // Runs the window's pending input, its 50 ms refresh and its paints: the
  // window system's update.
  void idle() override;
  // Copies the effect's parameter values into the mirror while the window is
  // open. Called from any thread, the audio thread included: it only does
  // relaxed 32-bit loads and stores.
  void update() override;

  // The window's controller: each call goes to the effect as it is.
  float getParameter(int index) override;
  void setParameterAutomated(int index, float value) override;
  void beginEdit(int index) override;
  void endEdit(int index) override;
  bool timeInfoMissing() const override;

  // The window system the window lives in. Until one is given, the first
  // open asks the framework for the desktop's (X11, Win32) for the host's
  // window; tests and tools give one of their own (headless) before opening.
  // The editor keeps it as long as it lives.
  void setWindowSystem(std::shared_ptr<framework::TWindowSystem> system);
  framework::TWindowSystem* getWindowSystem() const { return windowsystem.get(); }
  // For a host that runs the window from its own loop rather than through
  // idle: wait until the descriptor (-1: none) is readable or the timeout
  // has passed (milliseconds; 0: at once; -1: nothing is scheduled), then
  // call updateWindowSystem, which runs what is due and never blocks.
  int getFileDescriptor() const;
  int getTimeout() const;
  void updateWindowSystem();

  int openCount() const { return opencount; }
  TPluginEditorWindow* getWindow() const { return window.get(); }
  float mirrorValue(int index) const { return values[index].load(); }

 private:
  void copyParameters();
  void destroyWindow();

  AudioEffectX* plugin;
  ERect rect{};
  int opencount = 0;
  // Declared before the window, which it outlives.
  std::shared_ptr<framework::TWindowSystem> windowsystem;
  std::unique_ptr<TPluginEditorWindow> window;
  void* parentwindow = nullptr;
  std::atomic<std::uint8_t>& editorclosed;
  const std::atomic<std::uint8_t>* timeinfonotice;
  // The window's copy of slots 1..61. It lives here rather than in the window
  // so a parameter change on another thread never touches a window that the
  // user-interface thread may be destroying.
  RelaxedFloat values[parameters::kLast + 1];
};
