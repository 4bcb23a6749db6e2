#pragma once

// Small stand-ins for the toolkit's classes: a picture sub-object with a
// binary property, a list component with a collection, controls that nest,
// and a form that publishes handlers and fields.

#include <string>
#include <vector>

#include "framework/core/Collection.h"
#include "framework/core/Component.h"
#include "framework/core/Stream.h"

namespace fake {

using namespace framework;

extern const IdentMap kColours;  // clBlack = 0, clWhite = 0xFFFFFF

// Everything the fakes do that a test wants to see, in order.
extern std::vector<std::string> gLog;

class TPicture : public TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  int width = 0, height = 0;
  long double scale = 100;
  int mode = 0;  // tmAuto, tmFixed
  int colour = 0;
  std::vector<std::uint8_t> pixels;  // Data: u16 width, u16 height, then bytes
  std::string fileName;              // defined, stored when not empty
  // Where the Data value lay when read (null: the stream could not show it)
  // and whether its stream said those bytes last.
  const std::uint8_t* dataAt = nullptr;
  bool dataLasting = false;

  void ReadData(TStream& s);
  void WriteData(TStream& s) const;
};

class TList;

class TItem : public TCollectionItem {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TItem(TCollection* c) : TCollectionItem(c) {}
  std::string DisplayName() const override { return displayName.empty() ? ClassName() : displayName; }
  void SetDisplayName(const std::string& n) override { displayName = n; }
  std::string displayName;
  TPicture picture;
  TEvent<void(TObject* sender, std::string& path)> OnTranslate;
};

class TItems : public TCollection {
 public:
  explicit TItems(TPersistent* owner) : TCollection(TItem::StaticClassInfo(), owner) {}
  int updates = 0;

 protected:
  void Update(TCollectionItem*) override { ++updates; }
};

class TList : public TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TList(TComponent* owner) : TComponent(owner), items(this) {}
  ~TList() override;
  TItems items;
};

// A component that is not a list, for references of the wrong class.
class TTimer : public TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TTimer(TComponent* owner) : TComponent(owner) {}
  int interval = 1000;
  TNotifyEvent OnTimer;
};

// An image link: a list reference plus an index, owned by its control.
class TLink : public TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  TList* list = nullptr;
  int index = -1;
};

class TControl : public TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TControl(TComponent* owner) : TComponent(owner) {}
  ~TControl() override;

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override { return parent; }
  // A control goes into another control or into the form.
  void SetParentComponent(TComponent* p) override;
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  void Loaded() override;
  void Notification(TComponent* c, Operation op) override;

  TComponent* parent = nullptr;
  std::vector<TControl*> children;
  int left = 0, top = 0;
  bool visible = true;
  std::string caption;
  std::uint32_t anchors = 1;  // akLeft
  TList* list = nullptr;      // with a free notification
  TLink link;
  TNotifyEvent OnClick;
  TEvent<void(TObject* sender, int x, int y)> OnMouseMove;
  bool listSetAtLoaded = false;
  int loadedCalls = 0;
};

// The root: publishes handlers and fields as an editor window would.
class TForm : public TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TForm(TComponent* owner = nullptr) : TComponent(owner) {}
  ~TForm() override { DestroyComponents(); }

  void ButtonClick(TObject* sender);
  void MouseMoved(TObject* sender, int x, int y);
  void Translate(TObject* sender, std::string& path);

  int width = 0;
  std::string caption;
  TControl* button1 = nullptr;  // published fields
  TList* images = nullptr;
  std::vector<std::string> calls;
};

void RegisterFakes();

}  // namespace fake
