#include "tests/framework/core/FakeComponents.h"

#include <algorithm>

namespace fake {

const IdentMap kColours{{{"clBlack", 0}, {"clWhite", 0xFFFFFF}}};
std::vector<std::string> gLog;

const ClassInfo& TPicture::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TPicture, TPersistent>("TPicture")
          .Integer(
              "Height", [](TPicture& p) { return p.height; },
              [](TPicture& p, int v) {
                if (v < 0 || v > 65535) throw EPropertyError("Height must be 0..65535");
                p.height = v;
              })
          .Enum(
              "Mode", {"tmAuto", "tmFixed"}, [](TPicture& p) { return p.mode; },
              [](TPicture& p, int v) { p.mode = v; })
          .Extended(
              "Scale", [](TPicture& p) { return p.scale; }, [](TPicture& p, long double v) { p.scale = v; })
          .Integer(
              "TransparentColor", [](TPicture& p) { return p.colour; },
              [](TPicture& p, int v) { p.colour = v; })
          .Idents(kColours)
          .Integer(
              "Width", [](TPicture& p) { return p.width; },
              [](TPicture& p, int v) {
                if (v < 0 || v > 65535) throw EPropertyError("Width must be 0..65535");
                p.width = v;
              })
          .Binary(
              "Data", [](TPicture& p, TStream& s) { p.ReadData(s); },
              [](TPicture& p, TStream& s) { p.WriteData(s); })
          .String(
              "FileName", [](TPicture& p) { return p.fileName; },
              [](TPicture& p, const std::string& v) { p.fileName = v; })
          .Defined()
          .Stored([](TPicture& p) { return !p.fileName.empty(); })
          .Build();
  return info;
}

void TPicture::ReadData(TStream& s) {
  dataAt = s.Peek(static_cast<std::size_t>(s.Size()));
  dataLasting = s.Lasting();
  if (s.Size() == 0) return;
  width = s.ReadU16();
  height = s.ReadU16();
  pixels.assign(static_cast<std::size_t>(s.Remaining()), 0);
  s.ReadBuffer(pixels.data(), pixels.size());
  gLog.push_back("data " + std::to_string(pixels.size()));
}

void TPicture::WriteData(TStream& s) const {
  s.WriteU16(static_cast<std::uint16_t>(width));
  s.WriteU16(static_cast<std::uint16_t>(height));
  s.WriteBuffer(pixels.data(), pixels.size());
}

const ClassInfo& TItem::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TItem, TCollectionItem>("TItem")
                                     .Object("DIB", [](TItem& i) { return &i.picture; })
                                     .String(
                                         "DisplayName", [](TItem& i) { return i.DisplayName(); },
                                         [](TItem& i, const std::string& v) { i.SetDisplayName(v); })
                                     .Event(
                                         "OnTranslate", [](TItem & i) -> auto& { return i.OnTranslate; })
                                     .Build();
  return info;
}

const ClassInfo& TList::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TList, TComponent>("TList").Collection("Items", [](TList& l) { return &l.items; }).Build();
  return info;
}

TList::~TList() {
  gLog.push_back("~" + Name());
}

const ClassInfo& TTimer::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TTimer, TComponent>("TTimer")
          .Integer(
              "Interval", [](TTimer& t) { return t.interval; }, [](TTimer& t, int v) { t.interval = v; })
          .Default(1000)
          .Event(
              "OnTimer", [](TTimer & t) -> auto& { return t.OnTimer; })
          .Build();
  return info;
}

const ClassInfo& TLink::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TLink, TPersistent>("TLink")
          .Reference<TList>(
              "List", [](TLink& l) { return l.list; }, [](TLink& l, TList* v) { l.list = v; })
          .Integer(
              "Index", [](TLink& l) { return l.index; }, [](TLink& l, int v) { l.index = v; })
          .Default(-1)
          .Build();
  return info;
}

const ClassInfo& TControl::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TControl, TComponent>("TControl")
          .Integer(
              "Left", [](TControl& c) { return c.left; }, [](TControl& c, int v) { c.left = v; })
          .Integer(
              "Top", [](TControl& c) { return c.top; }, [](TControl& c, int v) { c.top = v; })
          .Boolean(
              "Visible", [](TControl& c) { return c.visible; }, [](TControl& c, bool v) { c.visible = v; })
          .Default(true)
          .String(
              "Caption", [](TControl& c) { return c.caption; },
              [](TControl& c, const std::string& v) { c.caption = v; })
          .Default("")
          .Set(
              "Anchors", {"akLeft", "akTop", "akRight", "akBottom"}, [](TControl& c) { return c.anchors; },
              [](TControl& c, std::uint32_t v) { c.anchors = v; })
          .Default(SetNames{"akLeft"})
          .Reference<TList>(
              "List", [](TControl& c) { return c.list; },
              [](TControl& c, TList* v) {
                if (c.list) c.list->RemoveFreeNotification(&c);
                c.list = v;
                if (v) v->FreeNotification(&c);
              })
          .Object("Link", [](TControl& c) { return &c.link; })
          .Event(
              "OnClick", [](TControl & c) -> auto& { return c.OnClick; })
          .Event(
              "OnMouseMove", [](TControl & c) -> auto& { return c.OnMouseMove; })
          .Build();
  return info;
}

TControl::~TControl() {
  gLog.push_back("~" + Name());
  for (TControl* child : children) child->parent = nullptr;
  if (auto* p = dynamic_cast<TControl*>(parent))
    p->children.erase(std::remove(p->children.begin(), p->children.end(), this), p->children.end());
}

void TControl::SetParentComponent(TComponent* p) {
  if (auto* c = dynamic_cast<TControl*>(p)) {
    parent = c;
    c->children.push_back(this);
  } else if (dynamic_cast<TForm*>(p)) {
    parent = p;
  } else {
    throw EComponentError("A control needs a control or a form as parent");
  }
}

void TControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) {
  for (TControl* c : std::vector<TControl*>(children)) proc(c);
}

void TControl::Loaded() {
  TComponent::Loaded();
  ++loadedCalls;
  listSetAtLoaded = list != nullptr;
  gLog.push_back("loaded " + Name());
}

void TControl::Notification(TComponent* c, Operation op) {
  TComponent::Notification(c, op);
  if (op == Operation::Remove && c == list) {
    list = nullptr;
    gLog.push_back(Name() + " lost list");
  }
  if (op == Operation::Remove && c == link.list) link.list = nullptr;
}

const ClassInfo& TForm::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TForm, TComponent>("TForm")
          .Integer(
              "Width", [](TForm& f) { return f.width; }, [](TForm& f, int v) { f.width = v; })
          .String(
              "Caption", [](TForm& f) { return f.caption; },
              [](TForm& f, const std::string& v) { f.caption = v; })
          .Method("ButtonClick", &TForm::ButtonClick)
          .Method("MouseMoved", &TForm::MouseMoved)
          .Method("Translate", &TForm::Translate)
          .Field("button1", &TForm::button1)
          .Field("images", &TForm::images)
          .Build();
  return info;
}

void TForm::ButtonClick(TObject* sender) {
  calls.push_back("ButtonClick " + dynamic_cast<TComponent*>(sender)->Name());
}

void TForm::MouseMoved(TObject*, int x, int y) {
  calls.push_back("MouseMoved " + std::to_string(x) + "," + std::to_string(y));
}

void TForm::Translate(TObject*, std::string& path) {
  path = "translated/" + path;
}

void RegisterFakes() {
  RegisterClasses<TList, TTimer, TControl, TForm, TItem>();
}

}  // namespace fake
