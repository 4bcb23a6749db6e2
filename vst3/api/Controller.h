#pragma once

// The edit controller: parameters as the host and the editor see them, the
// handler it reports edits to, and the units and program lists it describes.

#include "vst3/api/Base.h"
#include "vst3/api/Component.h"
#include "vst3/api/Processor.h"

namespace vst3 {

struct IPlugView;

using UnitID = int32;
using ProgramListID = int32;
using KnobMode = int32;

struct ParameterInfo {
  enum ParameterFlags : int32 {
    kNoFlags = 0,
    kCanAutomate = 1 << 0,
    kIsReadOnly = 1 << 1,
    kIsWrapAround = 1 << 2,
    kIsList = 1 << 3,
    kIsHidden = 1 << 4,
    kIsProgramChange = 1 << 15,
    kIsBypass = 1 << 16,
  };

  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32 stepCount;
  ParamValue defaultNormalizedValue;
  UnitID unitId;
  int32 flags;
};

// IComponentHandler::restartComponent's flags.
enum RestartFlags : int32 {
  kReloadComponent = 1 << 0,
  kIoChanged = 1 << 1,
  kParamValuesChanged = 1 << 2,
  kLatencyChanged = 1 << 3,
  kParamTitlesChanged = 1 << 4,
  kMidiCCAssignmentChanged = 1 << 5,
  kNoteExpressionChanged = 1 << 6,
  kIoTitlesChanged = 1 << 7,
  kPrefetchableSupportChanged = 1 << 8,
  kRoutingInfoChanged = 1 << 9,
  kKeyswitchChanged = 1 << 10,
  kParamIDMappingChanged = 1 << 11,
};

// The host's side of the controller: edits made in the editor go through it.
struct IComponentHandler : FUnknown {
  virtual tresult VST3_CALL beginEdit(ParamID id) = 0;
  virtual tresult VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult VST3_CALL endEdit(ParamID id) = 0;
  virtual tresult VST3_CALL restartComponent(int32 flags) = 0;

  static constexpr Uid iid = makeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
};

// IEditController::createView's name of the editor.
namespace ViewType {
inline constexpr char kEditor[] = "editor";
}  // namespace ViewType

struct IEditController : IPluginBase {
  virtual tresult VST3_CALL setComponentState(IBStream* state) = 0;
  virtual tresult VST3_CALL setState(IBStream* state) = 0;
  virtual tresult VST3_CALL getState(IBStream* state) = 0;
  virtual int32 VST3_CALL getParameterCount() = 0;
  virtual tresult VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
  virtual tresult VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                  String128 string) = 0;
  virtual tresult VST3_CALL getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) = 0;
  virtual ParamValue VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
  virtual ParamValue VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
  virtual ParamValue VST3_CALL getParamNormalized(ParamID id) = 0;
  virtual tresult VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* VST3_CALL createView(FIDString name) = 0;

  static constexpr Uid iid = makeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
};

enum KnobModes : int32 { kCircularMode = 0, kRelativCircularMode, kLinearMode };

struct IEditController2 : FUnknown {
  virtual tresult VST3_CALL setKnobMode(KnobMode mode) = 0;
  virtual tresult VST3_CALL openHelp(TBool onlyCheck) = 0;
  virtual tresult VST3_CALL openAboutBox(TBool onlyCheck) = 0;

  static constexpr Uid iid = makeUid(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
};

// Units group parameters; program lists belong to units.
inline constexpr UnitID kRootUnitId = 0;
inline constexpr UnitID kNoParentUnitId = -1;
inline constexpr ProgramListID kNoProgramListId = -1;

struct UnitInfo {
  UnitID id;
  UnitID parentUnitId;
  String128 name;
  ProgramListID programListId;
};

struct ProgramListInfo {
  ProgramListID id;
  String128 name;
  int32 programCount;
};

struct IUnitInfo : FUnknown {
  virtual int32 VST3_CALL getUnitCount() = 0;
  virtual tresult VST3_CALL getUnitInfo(int32 unitIndex, UnitInfo& info) = 0;
  virtual int32 VST3_CALL getProgramListCount() = 0;
  virtual tresult VST3_CALL getProgramListInfo(int32 listIndex, ProgramListInfo& info) = 0;
  virtual tresult VST3_CALL getProgramName(ProgramListID listId, int32 programIndex, String128 name) = 0;
  virtual tresult VST3_CALL getProgramInfo(ProgramListID listId, int32 programIndex, CString attributeId,
                                           String128 attributeValue) = 0;
  virtual tresult VST3_CALL hasProgramPitchNames(ProgramListID listId, int32 programIndex) = 0;
  virtual tresult VST3_CALL getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                                String128 name) = 0;
  virtual UnitID VST3_CALL getSelectedUnit() = 0;
  virtual tresult VST3_CALL selectUnit(UnitID unitId) = 0;
  virtual tresult VST3_CALL getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                                         UnitID& unitId) = 0;
  virtual tresult VST3_CALL setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;

  static constexpr Uid iid = makeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
};

}  // namespace vst3
