#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The effect's parameter slots as the host sees them: 70 slots, of which 1 to
// 61 carry values; the rest are named "reserved" and hold nothing.
namespace parameters {

inline constexpr int kNumSlots = 70;
inline constexpr int kFirst = 1;
inline constexpr int kLast = 61;
// Slot 62 of the working set holds the last MIDI value; no parameter
// operation reaches it.
inline constexpr int kMidiValue = 62;
// Steps and ties: step n is slot n, tie n is slot 16 + n.
inline constexpr int kSteps = 16;

enum Slot : int {
  kStep1 = 1,
  kTie1 = 17,
  kGateEnable = 33,
  kGateAttack,
  kGateDecay,
  kGateShuffle,
  kGateVolume,
  kFd1Volume,
  kFd2Volume,
  kFd1Enable,  // 40
  kFd1Cutoff,
  kFd1Reso,
  kFd1FilterType,
  kFd1DelayTime,
  kFd1Feedback,
  kFd1Pan,
  kFd1DelaySync,
  kFd1LfoCutoff,
  kFd1LfoPan,
  kFd2Enable,  // 50
  kFd2Cutoff,
  kFd2Reso,
  kFd2FilterType,
  kFd2DelayTime,
  kFd2Feedback,
  kFd2Pan,
  kFd2DelaySync,
  kFd2LfoCutoff,
  kFd2LfoPan,
  kLfo1Period,  // 60
  kLfo2Period,
};
static_assert(kLfo2Period == kLast);
static_assert(kTie1 == kStep1 + kSteps && kGateEnable == kTie1 + kSteps);

inline constexpr int kLastTie = kTie1 + kSteps - 1;

inline constexpr bool isValueSlot(std::int32_t index) {
  return index >= kFirst && index <= kLast;
}

// A value as the effect stores it, from whatever a host, a port or a user
// sends: within 0..1, NaN as 0, and -0 as +0 (never shown as "-0.00").
constexpr float clamped(float value) {
  if (value > 1.0f) value = 1.0f;
  if (!(value >= 0.0f)) value = 0.0f;
  return value + 0.0f;
}

// --- what a slot means ----------------------------------------------------------

// How the editor and hosts present a slot.
enum class Kind : std::uint8_t {
  None,        // a reserved slot: no value
  Toggle,      // off (0) or on (1); the editor flips it
  List,        // one of a few named values
  Continuous,  // anything from 0 to 1
};

// The terms a value is read and written in as text (plugin/ParameterText.h).
enum class Unit : std::uint8_t {
  None,
  Switch,       // on or off
  FilterType,   // high-pass or low-pass
  Beats,        // the delay, as a fraction of a beat
  Bars,         // an LFO's cycle
  AttackSteps,  // 0 to 1 step
  DecaySteps,   // 0 to 2 steps
  Percent,
  Level,  // percent, or dB up to 0
  Pan,    // left, center, right
};

// What the value measures, for hosts that label units.
enum class Measure : std::uint8_t { None, Beats, Coefficient };

// A value with a name: an entry of a list, or a marked point of a range.
struct Point {
  float value;
  std::string_view label;  // as hosts list it: "Low-pass", "2 bars", "Left"
  // What the effect writes for it, then what it also reads, '|' between:
  // "LP|lowpass|...". For the delays and periods: the number alone, as the
  // editor shows it ("3/4", the rate button's "4").
  std::string_view words;
  // The editor's sync mode snaps a released knob to the first point whose
  // range reaches its position (0 to 100), else to the last; -1: no snapping.
  int knobUpTo = -1;

  constexpr std::string_view word() const { return words.substr(0, words.find('|')); }
};

// A toggle's values as words.
inline constexpr Point kSwitchWords[] = {{0.0f, "Off", "off|no|false"}, {1.0f, "On", "on|yes|true"}};

struct Parameter {
  std::string_view symbol;     // stable, a C identifier: "fd1_lfo_cutoff"
  std::string_view name;       // as hosts show it: "FD1 LFO->Cutoff"
  std::string_view shortName;  // at most eight characters, for narrow displays
  float defaultValue;
  Kind kind;
  Unit unit;
  Measure measure;
  std::string_view unitLabel;  // "%", "steps", "beats", "bars", or empty
  std::span<const Point> points;
};

// An LFO period slot holds its cycle in bars divided by ten: 0.1 is one bar,
// 0.8 eight bars.
inline constexpr double kBarsPerPeriodUnit = 10.0;
// The engine's triangle turns every period x this many bars: half a cycle.
inline constexpr double kLfoHalfCycleBars = kBarsPerPeriodUnit / 2.0;
static_assert(kLfoHalfCycleBars == 5.0);

// The value a rate button writes for its bars: a tenth taken in extended
// precision and stored as a 32-bit float.
constexpr float periodOfBars(int bars) {
  return static_cast<float>(static_cast<long double>(bars) * (1.0L / kBarsPerPeriodUnit));
}
// The bars a period value stands for, unrounded.
constexpr double barsOfPeriod(float value) {
  return static_cast<double>(value) * kBarsPerPeriodUnit;
}
// A typed number of bars as a period value, in double.
constexpr double periodOfTypedBars(double bars) {
  return bars / kBarsPerPeriodUnit;
}

namespace detail {

inline constexpr const char* kStepNames[16] = {"Step1",  "Step2",  "Step3",  "Step4",  "Step5",  "Step6",
                                               "Step7",  "Step8",  "Step9",  "Step10", "Step11", "Step12",
                                               "Step13", "Step14", "Step15", "Step16"};
inline constexpr const char* kTieNames[16] = {"Tie1",  "Tie2",  "Tie3",  "Tie4",  "Tie5",  "Tie6",
                                              "Tie7",  "Tie8",  "Tie9",  "Tie10", "Tie11", "Tie12",
                                              "Tie13", "Tie14", "Tie15", "Tie16"};
inline constexpr std::string_view kStepSymbols[16] = {
    "step1", "step2",  "step3",  "step4",  "step5",  "step6",  "step7",  "step8",
    "step9", "step10", "step11", "step12", "step13", "step14", "step15", "step16"};
inline constexpr std::string_view kTieSymbols[16] = {"tie1",  "tie2",  "tie3",  "tie4",  "tie5",  "tie6",
                                                     "tie7",  "tie8",  "tie9",  "tie10", "tie11", "tie12",
                                                     "tie13", "tie14", "tie15", "tie16"};

}  // namespace detail

// The named values of the slots that have them.
inline constexpr Point kFilterTypes[] = {
    {0.0f, "High-pass", "HP|highpass|high-pass|high pass|high"},
    {1.0f, "Low-pass", "LP|lowpass|low-pass|low pass|low"},
};
// The editor's four rate buttons choose 1, 2, 4 or 8 bars.
inline constexpr int kPeriodBars[4] = {1, 2, 4, 8};
inline constexpr Point kPeriods[] = {
    {periodOfBars(kPeriodBars[0]), "1 bar", "1"},
    {periodOfBars(kPeriodBars[1]), "2 bars", "2"},
    {periodOfBars(kPeriodBars[2]), "4 bars", "4"},
    {periodOfBars(kPeriodBars[3]), "8 bars", "8"},
};
// The delay in beats; the editor snaps to these in sync mode.
inline constexpr Point kSyncedDelays[] = {
    {0.25f, "1/4 beat", "1/4", 29},
    {0.5f, "1/2 beat", "1/2", 60},
    {0.75f, "3/4 beat", "3/4", 89},
    {1.0f, "1 beat", "1", 100},
};
inline constexpr Point kPanPoints[] = {
    {0.0f, "Right", "right|r"},
    {0.5f, "Center", "center|centre|c|middle"},
    {1.0f, "Left", "left|l"},
};

namespace detail {

// The shapes a slot comes in.
constexpr Parameter toggle(std::string_view symbol, std::string_view name, std::string_view shortName,
                           float value) {
  return {symbol, name, shortName, value, Kind::Toggle, Unit::Switch, Measure::None, "", {}};
}
constexpr Parameter continuous(std::string_view symbol, std::string_view name, std::string_view shortName,
                               float value, Unit unit, Measure measure = Measure::None,
                               std::span<const Point> points = {}) {
  const std::string_view label = unit == Unit::Beats                                     ? "beats"
                                 : unit == Unit::AttackSteps || unit == Unit::DecaySteps ? "steps"
                                                                                         : "%";
  return {symbol, name, shortName, value, Kind::Continuous, unit, measure, label, points};
}
constexpr Parameter list(std::string_view symbol, std::string_view name, std::string_view shortName,
                         float value, Unit unit, std::span<const Point> points) {
  return {symbol, name, shortName, value, Kind::List, unit, Measure::None, unit == Unit::Bars ? "bars" : "",
          points};
}

// Slots 33..61 in order.
inline constexpr Parameter kNamedSlots[] = {
    toggle("gate_enable", "Gate Enable", "Gate On", 1.0f),
    continuous("gate_attack", "Gate Attack", "Attack", 0.0f, Unit::AttackSteps),
    continuous("gate_decay", "Gate Decay", "Decay", 0.4f, Unit::DecaySteps),
    continuous("gate_shuffle", "Gate Shuffle", "Shuffle", 0.0f, Unit::Percent),
    continuous("gate_volume", "Gate Volume", "Gate Vol", 0.7f, Unit::Level, Measure::Coefficient),
    continuous("fd1_volume", "FD1 Volume", "F1 Vol", 0.7f, Unit::Level, Measure::Coefficient),
    continuous("fd2_volume", "FD2 Volume", "F2 Vol", 0.7f, Unit::Level, Measure::Coefficient),
    toggle("fd1_enable", "FD1 Enable", "F1 On", 1.0f),
    continuous("fd1_cutoff", "FD1 Cutoff", "F1 Cut", 0.1f, Unit::Percent),
    continuous("fd1_reso", "FD1 Reso", "F1 Reso", 0.91f, Unit::Percent),
    list("fd1_filter_type", "FD1 Filter Type", "F1 Type", 0.0f, Unit::FilterType, kFilterTypes),
    continuous("fd1_delay_time", "FD1 Delay Time", "F1 Delay", 0.25f, Unit::Beats, Measure::Beats,
               kSyncedDelays),
    continuous("fd1_feedback", "FD1 Feedback", "F1 Fdbk", 0.5f, Unit::Percent, Measure::Coefficient),
    continuous("fd1_pan", "FD1 Pan", "F1 Pan", 0.6f, Unit::Pan, Measure::None, kPanPoints),
    toggle("fd1_delay_sync", "FD1 Delay Sync", "F1 Sync", 1.0f),
    continuous("fd1_lfo_cutoff", "FD1 LFO->Cutoff", "F1 LFO C", 0.3f, Unit::Percent),
    continuous("fd1_lfo_pan", "FD1 LFO->Pan", "F1 LFO P", 0.7f, Unit::Percent),
    toggle("fd2_enable", "FD2 Enable", "F2 On", 1.0f),
    continuous("fd2_cutoff", "FD2 Cutoff", "F2 Cut", 0.35f, Unit::Percent),
    continuous("fd2_reso", "FD2 Reso", "F2 Reso", 0.92f, Unit::Percent),
    list("fd2_filter_type", "FD2 Filter Type", "F2 Type", 1.0f, Unit::FilterType, kFilterTypes),
    continuous("fd2_delay_time", "FD2 Delay Time", "F2 Delay", 0.75f, Unit::Beats, Measure::Beats,
               kSyncedDelays),
    continuous("fd2_feedback", "FD2 Feedback", "F2 Fdbk", 0.5f, Unit::Percent, Measure::Coefficient),
    continuous("fd2_pan", "FD2 Pan", "F2 Pan", 0.4f, Unit::Pan, Measure::None, kPanPoints),
    toggle("fd2_delay_sync", "FD2 Delay Sync", "F2 Sync", 1.0f),
    continuous("fd2_lfo_cutoff", "FD2 LFO->Cutoff", "F2 LFO C", 0.3f, Unit::Percent),
    continuous("fd2_lfo_pan", "FD2 LFO->Pan", "F2 LFO P", 0.7f, Unit::Percent),
    list("lfo1_period", "LFO1 Period", "LFO1 Per", 0.2f, Unit::Bars, kPeriods),
    list("lfo2_period", "LFO2 Period", "LFO2 Per", 0.4f, Unit::Bars, kPeriods),
};
static_assert(sizeof kNamedSlots / sizeof kNamedSlots[0] == kLast - kGateEnable + 1);

inline constexpr Parameter kReserved = {"",         "reserved",    "reserved", 0.0f, Kind::None,
                                        Unit::None, Measure::None, "",         {}};

constexpr std::array<Parameter, kLast + 1> makeTable() {
  std::array<Parameter, kLast + 1> table{};
  table[0] = kReserved;
  for (int n = 0; n < kSteps; ++n) {
    // On: steps 1, 5, 10 and 15, ties 1 and 2.
    const bool stepOn = n == 0 || n == 4 || n == 9 || n == 14, tieOn = n == 0 || n == 1;
    table[kStep1 + n] = toggle(kStepSymbols[n], kStepNames[n], kStepNames[n], stepOn ? 1.0f : 0.0f);
    table[kTie1 + n] = toggle(kTieSymbols[n], kTieNames[n], kTieNames[n], tieOn ? 1.0f : 0.0f);
  }
  for (int slot = kGateEnable; slot <= kLast; ++slot) table[slot] = kNamedSlots[slot - kGateEnable];
  return table;
}

}  // namespace detail

// The slots 0..61, each as one record; slot 0 is reserved.
inline constexpr std::array<Parameter, kLast + 1> kParameters = detail::makeTable();

// The record of a slot; the reserved record outside 1..61.
constexpr const Parameter& parameter(std::int32_t index) {
  return isValueSlot(index) ? kParameters[index] : detail::kReserved;
}

// The slot's name as the host sees it; "reserved" outside 1..61.
constexpr const char* name(std::int32_t index) {
  // Every name is a literal: its view ends at its terminator.
  return parameter(index).name.data();
}

// The value every program starts with (slots 1..61).
constexpr float defaultValue(int index) {
  return parameter(index).defaultValue;
}

// The slot of a stable symbol, or -1.
constexpr int slotOfSymbol(std::string_view symbol) {
  for (int slot = kFirst; slot <= kLast; ++slot)
    if (kParameters[slot].symbol == symbol) return slot;
  return -1;
}

// Where the editor's sync mode puts a released knob of the slot (its position
// 0 to 100); the slot's value as it stands when it has no snap points.
constexpr float snappedValue(int slot, int knobPosition, float value) {
  const std::span<const Point> points = parameter(slot).points;
  if (points.empty() || points.front().knobUpTo < 0) return value;
  for (const Point& p : points)
    if (knobPosition <= p.knobUpTo) return p.value;
  return points.back().value;
}

namespace detail {
constexpr bool symbolsAreUniqueIdentifiers() {
  for (int a = kFirst; a <= kLast; ++a) {
    const std::string_view s = kParameters[a].symbol;
    if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
    for (char c : s)
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    for (int b = kFirst; b < a; ++b)
      if (kParameters[b].symbol == s) return false;
  }
  return true;
}
constexpr bool shortNamesFit() {
  for (const Parameter& p : kParameters)
    if (p.shortName.size() > 8) return false;
  return true;
}
}  // namespace detail
static_assert(detail::symbolsAreUniqueIdentifiers(), "symbols are distinct C identifiers");
static_assert(detail::shortNamesFit(), "short names have at most eight characters");

// The editor's controls and what each one shows. A control's Tag in the
// editor's form is its slot, except for the LFO rate buttons: their Tag is
// the number of bars they choose and their slot is the LFO's period. A lamp
// and its switch show the same slot. Controls not listed carry Tag 0.
struct ControlBinding {
  std::string_view control;
  int slot;
  int tag;
};

namespace detail {

inline constexpr std::string_view kStepControls[kSteps] = {
    "step1", "step2",  "step3",  "step4",  "step5",  "step6",  "step7",  "step8",
    "step9", "step10", "step11", "step12", "step13", "step14", "step15", "step16"};
inline constexpr std::string_view kTieControls[kSteps] = {
    "tie1", "tie2",  "tie3",  "tie4",  "tie5",  "tie6",  "tie7",  "tie8",
    "tie9", "tie10", "tie11", "tie12", "tie13", "tie14", "tie15", "tie16"};

// Each named control shows its slot and carries it as its Tag.
struct NamedControl {
  std::string_view control;
  int slot;
};
inline constexpr NamedControl kNamedControls[] = {
    {"gateon", kGateEnable},
    {"attack", kGateAttack},
    {"decay", kGateDecay},
    {"shuffle", kGateShuffle},
    {"mainvolume", kGateVolume},
    {"fd1volume", kFd1Volume},
    {"fd2volume", kFd2Volume},
    {"fd1enable", kFd1Enable},
    {"fd1enableled", kFd1Enable},
    {"fd1cutoff", kFd1Cutoff},
    {"fd1reso", kFd1Reso},
    {"fd1filtertype", kFd1FilterType},
    {"fd1filtertypeled", kFd1FilterType},
    {"fd1delay", kFd1DelayTime},
    {"fd1feedback", kFd1Feedback},
    {"fd1pan", kFd1Pan},
    {"fd1delaysync", kFd1DelaySync},
    {"fd1delaysyncled", kFd1DelaySync},
    {"lfo1cutoffdepth", kFd1LfoCutoff},
    {"lfo1pandepth", kFd1LfoPan},
    {"fd2enable", kFd2Enable},
    {"fd2enableled", kFd2Enable},
    {"fd2cutoff", kFd2Cutoff},
    {"fd2reso", kFd2Reso},
    {"fd2filtertype", kFd2FilterType},
    {"fd2filtertypeled", kFd2FilterType},
    {"fd2delay", kFd2DelayTime},
    {"fd2feedback", kFd2Feedback},
    {"fd2pan", kFd2Pan},
    {"fd2delaysync", kFd2DelaySync},
    {"fd2delaysyncled", kFd2DelaySync},
    {"lfo2cutoffdepth", kFd2LfoCutoff},
    {"lfo2pandepth", kFd2LfoPan},
};

// The four rate buttons of an LFO, one for each of kPeriodBars.
inline constexpr std::string_view kRateControls[2][4] = {
    {"lfo1sync1", "lfo1sync2", "lfo1sync3", "lfo1sync4"},
    {"lfo2sync1", "lfo2sync2", "lfo2sync3", "lfo2sync4"},
};

inline constexpr std::size_t kBoundControls =
    2 * kSteps + sizeof kNamedControls / sizeof kNamedControls[0] + 2 * 4;

constexpr std::array<ControlBinding, kBoundControls> bindControls() {
  std::array<ControlBinding, kBoundControls> out{};
  std::size_t i = 0;
  for (int n = 0; n < kSteps; ++n) {
    out[i++] = {kStepControls[n], kStep1 + n, kStep1 + n};
    out[i++] = {kTieControls[n], kTie1 + n, kTie1 + n};
  }
  for (const NamedControl& c : kNamedControls) out[i++] = {c.control, c.slot, c.slot};
  for (int lfo = 0; lfo < 2; ++lfo)
    for (int j = 0; j < 4; ++j)
      out[i++] = {kRateControls[lfo][j], lfo == 0 ? kLfo1Period : kLfo2Period, kPeriodBars[j]};
  return out;
}

}  // namespace detail

inline constexpr std::array<ControlBinding, detail::kBoundControls> kControls = detail::bindControls();

// The binding of a control by its name in the form; null for a control that
// shows no parameter.
constexpr const ControlBinding* controlBinding(std::string_view control) {
  for (const ControlBinding& b : kControls)
    if (b.control == control) return &b;
  return nullptr;
}

namespace detail {
constexpr bool everySlotHasAControl() {
  for (int slot = kFirst; slot <= kLast; ++slot) {
    bool shown = false;
    for (const ControlBinding& b : kControls) shown = shown || b.slot == slot;
    if (!shown) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::everySlotHasAControl(), "the editor has a control for every parameter");

}  // namespace parameters
