#pragma once

// Values shared by the controls and the window backends: mouse buttons, shift
// states, cursor shapes, virtual key codes, control styles and the messages
// that carry input to a control.

#include <cstdint>
#include <string>

#include "framework/core/Exception.h"
#include "framework/core/Persistent.h"

namespace framework {

// Misuse of windows and controls (a parent that cannot hold controls, a
// window the backend cannot make).
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

class EWindowError : public Exception {
 public:
  using Exception::Exception;
};

// The native handle of a window: the host's parent window, or one of ours.
using TWindowHandle = std::uintptr_t;

enum TMouseButton : std::uint8_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// Modifier keys and held mouse buttons, as a bit set.
using TShiftState = std::uint32_t;
inline constexpr TShiftState ssShift = 1u << 0;
inline constexpr TShiftState ssAlt = 1u << 1;
inline constexpr TShiftState ssCtrl = 1u << 2;
inline constexpr TShiftState ssLeft = 1u << 3;
inline constexpr TShiftState ssRight = 1u << 4;
inline constexpr TShiftState ssMiddle = 1u << 5;
inline constexpr TShiftState ssDouble = 1u << 6;
inline constexpr TShiftState ssButtons = ssLeft | ssRight | ssMiddle;

constexpr TShiftState ButtonShift(TMouseButton button) {
  return button == mbLeft ? ssLeft : button == mbRight ? ssRight : ssMiddle;
}

// Cursor shapes. Stored forms name them (crHandPoint); CursorIdents maps the
// names to these values.
using TCursor = std::int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;
const IdentMap& CursorIdents();

// Virtual key codes of key messages; letters and digits are their upper-case
// ASCII codes.
inline constexpr std::uint16_t VK_CANCEL = 0x03;
inline constexpr std::uint16_t VK_BACK = 0x08;
inline constexpr std::uint16_t VK_TAB = 0x09;
inline constexpr std::uint16_t VK_RETURN = 0x0D;
inline constexpr std::uint16_t VK_SHIFT = 0x10;
inline constexpr std::uint16_t VK_CONTROL = 0x11;
inline constexpr std::uint16_t VK_MENU = 0x12;
inline constexpr std::uint16_t VK_ESCAPE = 0x1B;
inline constexpr std::uint16_t VK_SPACE = 0x20;
inline constexpr std::uint16_t VK_PRIOR = 0x21;
inline constexpr std::uint16_t VK_NEXT = 0x22;
inline constexpr std::uint16_t VK_END = 0x23;
inline constexpr std::uint16_t VK_HOME = 0x24;
inline constexpr std::uint16_t VK_LEFT = 0x25;
inline constexpr std::uint16_t VK_UP = 0x26;
inline constexpr std::uint16_t VK_RIGHT = 0x27;
inline constexpr std::uint16_t VK_DOWN = 0x28;
inline constexpr std::uint16_t VK_EXECUTE = 0x2B;
inline constexpr std::uint16_t VK_INSERT = 0x2D;
inline constexpr std::uint16_t VK_DELETE = 0x2E;

// What a control asks of the keyboard (answer to a GetDialogCode message).
inline constexpr std::intptr_t dcWantTab = 1;
inline constexpr std::intptr_t dcWantArrows = 2;
inline constexpr std::intptr_t dcWantAllKeys = 4;

// How a control takes part in mouse handling. The default style of a control
// holds csCaptureMouse | csClickEvents | csDoubleClicks; the empty style (0)
// gives no capture, no clicks and no double clicks.
using TControlStyle = std::uint32_t;
inline constexpr TControlStyle csAcceptsControls = 1u << 0;
inline constexpr TControlStyle csCaptureMouse = 1u << 1;
inline constexpr TControlStyle csClickEvents = 1u << 2;
inline constexpr TControlStyle csDoubleClicks = 1u << 3;
inline constexpr TControlStyle csOpaque = 1u << 4;
inline constexpr TControlStyle csSetCaption = 1u << 5;

// One message to a control. Controls handle them in WndProc; a subclass that
// wants to see input first (features, enter/leave tracking) overrides
// WndProc and calls the base for everything it lets through.
enum class TMessageId : std::uint8_t {
  MouseDown,       // Button, Shift, X, Y (client coordinates of the receiver)
  MouseUp,         // Button, Shift (after the release), X, Y
  MouseMove,       // Shift, X, Y
  MouseEnter,      // the pointer came over the control
  MouseLeave,      // the pointer left it
  KeyDown,         // Key (virtual key code), Shift
  KeyUp,           // Key, Shift
  Char,            // Key (the character), Shift
  DialogChar,      // Key (the character) with Alt held: accelerators; Result 1 = consumed
  SetFocus,        // a windowed control received the keyboard focus
  KillFocus,       // ... lost it
  EnabledChanged,  // Enabled changed
  VisibleChanged,  // Visible changed
  GetDialogCode,   // Result: dcWant* flags
  SetCursor,       // X, Y: pointer over the receiver; Result 1 = cursor set, do not set the Cursor property's
  CancelMode,      // the capture was taken away (window hidden or closed mid-drag): end any drag
};

struct TMessage {
  TMessageId Id = TMessageId::MouseMove;
  TMouseButton Button = mbLeft;
  TShiftState Shift = 0;
  std::int32_t X = 0;
  std::int32_t Y = 0;
  std::uint16_t Key = 0;
  std::intptr_t Result = 0;
};

}  // namespace framework
