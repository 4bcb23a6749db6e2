#pragma once

#include "host/AEffectX.h"

class AudioEffect;

// Base of an effect's editor object: the host reaches it through the editor
// opcodes of the dispatcher.
class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
  virtual ~AEffEditor() = default;
  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual VstInt32 getRect(ERect** /*rect*/) { return 0; }
  virtual VstInt32 open(void* ptr) {
    systemwindow = ptr;
    return 0;
  }
  virtual void close() {}
  virtual void idle() {
    if (updateflag) {
      updateflag = false;
      update();
    }
  }
  virtual void update() {}
  virtual void postUpdate() { updateflag = true; }
  virtual VstInt32 onKeyDown(VstKeyCode& /*keyCode*/) { return -1; }
  virtual VstInt32 onKeyUp(VstKeyCode& /*keyCode*/) { return -1; }
  virtual VstInt32 setKnobMode(VstInt32 /*mode*/) { return 0; }
  virtual bool onWheel(float /*distance*/) { return false; }

 protected:
  AudioEffect* effect;
  void* systemwindow = nullptr;
  bool updateflag = false;
};
