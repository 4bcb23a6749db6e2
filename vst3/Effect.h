#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "plugin/core/EffectCore.h"
#include "vst3/ContextTime.h"
#include "vst3/ProgramList.h"
#include "vst3/api/Vst3.h"

namespace vst3plugin {

// The effect as one VST3 object: component, audio processor and edit
// controller in one, as hosts accept for an effect whose controller needs
// nothing the processor does not hold. Every call is translated into the
// effect's core. process() runs on the audio thread and never allocates,
// locks or waits; the other calls may come on any thread and only read and
// write the core's relaxed values.
class Effect final : public vst3::IComponent,
                     public vst3::IAudioProcessor,
                     public vst3::IProcessContextRequirements,
                     public vst3::IEditController,
                     public vst3::IUnitInfo {
 public:
  // With one reference, the caller's.
  Effect();
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  // FUnknown
  vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
  vst3::uint32 VST3_CALL addRef() override;
  vst3::uint32 VST3_CALL release() override;

  // IPluginBase
  vst3::tresult VST3_CALL initialize(vst3::FUnknown* context) override;
  vst3::tresult VST3_CALL terminate() override;

  // IComponent
  vst3::tresult VST3_CALL getControllerClassId(vst3::TUID classId) override;
  vst3::tresult VST3_CALL setIoMode(vst3::IoMode mode) override;
  vst3::int32 VST3_CALL getBusCount(vst3::MediaType type, vst3::BusDirection direction) override;
  vst3::tresult VST3_CALL getBusInfo(vst3::MediaType type, vst3::BusDirection direction, vst3::int32 index,
                                     vst3::BusInfo& bus) override;
  vst3::tresult VST3_CALL getRoutingInfo(vst3::RoutingInfo& in, vst3::RoutingInfo& out) override;
  vst3::tresult VST3_CALL activateBus(vst3::MediaType type, vst3::BusDirection direction, vst3::int32 index,
                                      vst3::TBool state) override;
  vst3::tresult VST3_CALL setActive(vst3::TBool state) override;
  // Component and controller state are one: the whole effect.
  vst3::tresult VST3_CALL setState(vst3::IBStream* state) override;
  vst3::tresult VST3_CALL getState(vst3::IBStream* state) override;

  // IAudioProcessor
  vst3::tresult VST3_CALL setBusArrangements(vst3::SpeakerArrangement* inputs, vst3::int32 numIns,
                                             vst3::SpeakerArrangement* outputs, vst3::int32 numOuts) override;
  vst3::tresult VST3_CALL getBusArrangement(vst3::BusDirection direction, vst3::int32 index,
                                            vst3::SpeakerArrangement& arrangement) override;
  vst3::tresult VST3_CALL canProcessSampleSize(vst3::int32 symbolicSampleSize) override;
  vst3::uint32 VST3_CALL getLatencySamples() override { return 0; }
  vst3::tresult VST3_CALL setupProcessing(vst3::ProcessSetup& setup) override;
  vst3::tresult VST3_CALL setProcessing(vst3::TBool state) override;
  vst3::tresult VST3_CALL process(vst3::ProcessData& data) override;
  vst3::uint32 VST3_CALL getTailSamples() override;

  // IProcessContextRequirements
  vst3::uint32 VST3_CALL getProcessContextRequirements() override;

  // IEditController
  vst3::tresult VST3_CALL setComponentState(vst3::IBStream* state) override;
  vst3::int32 VST3_CALL getParameterCount() override;
  vst3::tresult VST3_CALL getParameterInfo(vst3::int32 index, vst3::ParameterInfo& info) override;
  vst3::tresult VST3_CALL getParamStringByValue(vst3::ParamID id, vst3::ParamValue normalized,
                                                vst3::String128 text) override;
  vst3::tresult VST3_CALL getParamValueByString(vst3::ParamID id, vst3::TChar* text,
                                                vst3::ParamValue& normalized) override;
  vst3::ParamValue VST3_CALL normalizedParamToPlain(vst3::ParamID id, vst3::ParamValue normalized) override;
  vst3::ParamValue VST3_CALL plainParamToNormalized(vst3::ParamID id, vst3::ParamValue plain) override;
  vst3::ParamValue VST3_CALL getParamNormalized(vst3::ParamID id) override;
  vst3::tresult VST3_CALL setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
  vst3::tresult VST3_CALL setComponentHandler(vst3::IComponentHandler* handler) override;
  vst3::IPlugView* VST3_CALL createView(vst3::FIDString name) override;

  // IUnitInfo
  vst3::int32 VST3_CALL getUnitCount() override { return 1; }
  vst3::tresult VST3_CALL getUnitInfo(vst3::int32 index, vst3::UnitInfo& info) override;
  vst3::int32 VST3_CALL getProgramListCount() override { return 1; }
  vst3::tresult VST3_CALL getProgramListInfo(vst3::int32 index, vst3::ProgramListInfo& info) override;
  vst3::tresult VST3_CALL getProgramName(vst3::ProgramListID list, vst3::int32 index,
                                         vst3::String128 name) override;
  vst3::tresult VST3_CALL getProgramInfo(vst3::ProgramListID, vst3::int32, vst3::CString,
                                         vst3::String128) override {
    return vst3::kResultFalse;
  }
  vst3::tresult VST3_CALL hasProgramPitchNames(vst3::ProgramListID, vst3::int32) override {
    return vst3::kResultFalse;
  }
  vst3::tresult VST3_CALL getProgramPitchName(vst3::ProgramListID, vst3::int32, vst3::int16,
                                              vst3::String128) override {
    return vst3::kResultFalse;
  }
  vst3::UnitID VST3_CALL getSelectedUnit() override { return vst3::kRootUnitId; }
  vst3::tresult VST3_CALL selectUnit(vst3::UnitID id) override {
    return id == vst3::kRootUnitId ? vst3::kResultOk : vst3::kResultFalse;
  }
  vst3::tresult VST3_CALL getUnitByBus(vst3::MediaType type, vst3::BusDirection direction, vst3::int32 index,
                                       vst3::int32 channel, vst3::UnitID& unit) override;
  vst3::tresult VST3_CALL setUnitProgramData(vst3::int32, vst3::int32, vst3::IBStream*) override {
    return vst3::kResultFalse;
  }

  // --- for the editor view (the host's user-interface thread)

  EffectCore& core() { return *core_; }
  // The host's component handler, or null: the editor's gestures go to it.
  vst3::IComponentHandler* componentHandler() const { return handler_; }
  // Tells the host of values changed behind its back (a program chosen
  // through the audio thread's queue), once; called by the editor's timer.
  void reportProgramChange();

 private:
  ~Effect();

  // Plays frames [from, to) of the block with the values set so far.
  void playPart(vst3::ProcessData& data, bool timed, const engine::TimeRecord& start, std::int32_t from,
                std::int32_t to);
  void applyChange(vst3::ParamID id, double value);
  bool loadState(vst3::IBStream* state);

  std::atomic<vst3::uint32> references_{1};
  // The core holds the engine's delay memory inline (a few MiB): on the heap.
  std::unique_ptr<EffectCore> core_;
  ProgramList programs_;
  ContextTime time_;
  // Set up while the processor is inactive, read by process.
  std::atomic<float> sampleRate_{0.0f};
  // Set by setActive, taken up by the next block: the host's transport is
  // read afresh.
  std::atomic<bool> restart_{true};
  vst3::IComponentHandler* handler_ = nullptr;
  // A program the host chose through the audio thread, not yet reported.
  std::atomic<std::uint8_t> programChanged_{0};
};

}  // namespace vst3plugin
