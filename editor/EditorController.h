#pragma once

// What the editor window needs of the plug-in it edits, whatever the plug-in
// format: the window talks to its plug-in only through this. The VST bridge
// (APluginEditor) forwards each call to the effect; another format's user
// interface can answer them over its own channels (ports, messages) and
// reuse the window unchanged. Slots are the effect's (plugin/Parameters.h).
// Every call comes on the window's user-interface thread.
class EditorController {
 public:
  virtual ~EditorController() = default;

  // The slot's current value, 0..1.
  virtual float getParameter(int index) = 0;
  // The user set the slot: store the value and tell the host, as automation.
  virtual void setParameterAutomated(int index, float value) = 0;
  // The user took hold of the slot and let go of it again; the writes of one
  // gesture come between the two.
  virtual void beginEdit(int index) = 0;
  virtual void endEdit(int index) = 0;
  // Blocks came without the host's time information, so the effect cannot
  // play; the window shows a notice while this holds.
  virtual bool timeInfoMissing() const = 0;

 protected:
  EditorController() = default;
  EditorController(const EditorController&) = default;
  EditorController& operator=(const EditorController&) = default;
};
