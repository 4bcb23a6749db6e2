// TCustomControl, TCustomForm and TForm, and the registration of the window classes.

#include <algorithm>
#include <cmath>

#include "framework/graphics/Region.h"
#include "framework/window/Application.h"
#include "framework/window/ControlGeometry.h"
#include "framework/window/Controls.h"
#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "framework/window/WindowInternal.h"
#include "framework/window/WindowRoot.h"

namespace framework {

using namespace detail;

const ClassInfo& TCustomControl::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TCustomControl, TWinControl>("TCustomControl").Build();
  return info;
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}

const ClassInfo& TCustomForm::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TCustomForm, TCustomControl>("TCustomForm")
          // A form stores its client size instead of its outer size.
          .Integer(
              "Width", [](TCustomForm& f) { return f.Width(); },
              [](TCustomForm& f, std::int32_t v) { f.SetWidth(v); })
          .Stored([](TCustomForm&) { return false; })
          .Integer(
              "Height", [](TCustomForm& f) { return f.Height(); },
              [](TCustomForm& f, std::int32_t v) { f.SetHeight(v); })
          .Stored([](TCustomForm&) { return false; })
          .Integer(
              "Color", [](TCustomForm& f) { return f.Color(); },
              [](TCustomForm& f, std::int32_t v) { f.SetColor(v); })
          .Idents(ColorIdents())
          .Default(clBtnFace)
          .Boolean(
              "Visible", [](TCustomForm& f) { return f.Visible(); },
              [](TCustomForm& f, bool v) { f.SetVisible(v); })
          .Default(false)
          .Set(
              "BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
              [](TCustomForm& f) { return f.BorderIcons(); },
              [](TCustomForm& f, std::uint32_t v) { f.SetBorderIcons(v); })
          .Default(SetNames{"biSystemMenu", "biMinimize", "biMaximize"})
          .Enum(
              "BorderStyle",
              {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
              [](TCustomForm& f) { return static_cast<int>(f.BorderStyle()); },
              [](TCustomForm& f, int v) { f.SetBorderStyle(static_cast<TFormBorderStyle>(v)); })
          .Default(Ident{"bsSizeable"})
          .String(
              "Caption", [](TCustomForm& f) { return f.Caption(); },
              [](TCustomForm& f, const std::string& v) { f.SetCaption(v); })
          .Default("")
          .Integer(
              "ClientHeight", [](TCustomForm& f) { return f.ClientHeight(); },
              [](TCustomForm& f, std::int32_t v) { f.SetClientHeight(v); })
          .Integer(
              "ClientWidth", [](TCustomForm& f) { return f.ClientWidth(); },
              [](TCustomForm& f, std::int32_t v) { f.SetClientWidth(v); })
          .Object("Font", [](TCustomForm& f) { return &f.Font(); })
          .Boolean(
              "KeyPreview", [](TCustomForm& f) { return f.KeyPreview(); },
              [](TCustomForm& f, bool v) { f.SetKeyPreview(v); })
          .Default(false)
          .Integer(
              "PixelsPerInch", [](TCustomForm& f) { return f.PixelsPerInch(); },
              [](TCustomForm& f, std::int32_t v) { f.SetPixelsPerInch(v); })
          .Default(96)
          .Boolean(
              "Scaled", [](TCustomForm& f) { return f.Scaled(); },
              [](TCustomForm& f, bool v) { f.SetScaled(v); })
          .Default(true)
          .Event(
              "OnCreate", [](TCustomForm & f) -> auto& { return f.OnCreate; })
          .Build();
  return info;
}

TCustomForm::TCustomForm(TComponent* owner) : TCustomControl(owner) {
  SetVisible(false);
  SetColor(clBtnFace);
}

TCustomForm::~TCustomForm() {
  // The owned components go while the form is still a form, so that their
  // notifications and parent look-ups see it whole.
  DestroyComponents();
}

bool TCustomForm::PreviewKey(TMessage& m) {
  if (!keyPreview_) return false;
  if (m.Id == TMessageId::Char) {
    char ch = static_cast<char>(m.Key);
    KeyPress(ch);
    m.Key = static_cast<std::uint8_t>(ch);
  } else if (m.Id == TMessageId::KeyDown || m.Id == TMessageId::KeyUp) {
    std::uint16_t key = m.Key;
    if (m.Id == TMessageId::KeyDown)
      KeyDown(key, m.Shift);
    else
      KeyUp(key, m.Shift);
    m.Key = key;
  } else {
    return false;
  }
  return m.Key == 0;
}

void TCustomForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

const ClassInfo& TForm::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TForm, TCustomForm>("TForm").Build();
  return info;
}

TCustomForm* GetParentForm(const TControl* control) {
  if (!control) return nullptr;
  return dynamic_cast<TCustomForm*>(control->TopWindow());
}

void RegisterWindowClasses() {
  RegisterClasses<TControl, TWinControl, TCustomControl, TForm, TLabel, TTimer>();
}

}  // namespace framework
