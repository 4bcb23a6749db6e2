// The binary layout of our VST3 definitions, held at compile time against the
// documented one: record sizes and field offsets (natural alignment, which
// the interface's packing of 16 on 64-bit Windows does not change), the
// result codes and the bytes of interface IDs on each ABI. Compiled into every
// build, the Windows cross build included, so a wrong layout stops it.

#include <cstddef>
#include <type_traits>

#include "vst3/api/Vst3.h"

namespace vst3 {
namespace {

static_assert(sizeof(void*) == 8, "written for x86_64 Linux and Windows");

static_assert(sizeof(TBool) == 1 && sizeof(char16) == 2 && sizeof(TSize) == 8 && sizeof(tresult) == 4);
static_assert(sizeof(TUID) == 16 && sizeof(Uid) == 16 && sizeof(String128) == 256);
static_assert(sizeof(SpeakerArrangement) == 8 && sizeof(ParamID) == 4 && sizeof(ParamValue) == 8);

// Result codes.
#if defined(_WIN32)
static_assert(kNoInterface == static_cast<tresult>(0x80004002u));
static_assert(kResultOk == 0 && kResultTrue == 0 && kResultFalse == 1);
static_assert(kInvalidArgument == static_cast<tresult>(0x80070057u));
static_assert(kNotImplemented == static_cast<tresult>(0x80004001u));
static_assert(kInternalError == static_cast<tresult>(0x80004005u));
static_assert(kNotInitialized == static_cast<tresult>(0x8000FFFFu));
static_assert(kOutOfMemory == static_cast<tresult>(0x8007000Eu));
#else
static_assert(kNoInterface == -1);
static_assert(kResultOk == 0 && kResultTrue == 0 && kResultFalse == 1);
static_assert(kInvalidArgument == 2 && kNotImplemented == 3 && kInternalError == 4);
static_assert(kNotInitialized == 5 && kOutOfMemory == 6);
#endif

// Interface IDs, byte by byte.
constexpr bool bytesAre(const Uid& uid, const unsigned char (&expected)[16]) {
  for (int i = 0; i < 16; ++i) {
    if (static_cast<unsigned char>(uid.bytes[i]) != expected[i]) return false;
  }
  return true;
}

// FUnknown is COM's IUnknown, {00000000-0000-0000-C000-000000000046}, in both orders.
constexpr unsigned char kFUnknownBytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
static_assert(bytesAre(FUnknown::iid, kFUnknownBytes));

// IComponent, E831FF31 F2D54301 928EBBEE 25697802: as a GUID on Windows, as
// written elsewhere.
constexpr unsigned char kIComponentCom[16] = {0x31, 0xFF, 0x31, 0xE8, 0xD5, 0xF2, 0x01, 0x43,
                                              0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
constexpr unsigned char kIComponentPlain[16] = {0xE8, 0x31, 0xFF, 0x31, 0xF2, 0xD5, 0x43, 0x01,
                                                0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
static_assert(bytesAre(makeUid(UidOrder::Com, 0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802),
                       kIComponentCom));
static_assert(bytesAre(makeUid(UidOrder::Plain, 0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802),
                       kIComponentPlain));
#if defined(_WIN32)
static_assert(kUidOrder == UidOrder::Com && bytesAre(IComponent::iid, kIComponentCom));
#else
static_assert(kUidOrder == UidOrder::Plain && bytesAre(IComponent::iid, kIComponentPlain));
#endif

// No two interfaces share an ID (a copied line would make a host's query
// answer the wrong interface).
constexpr Uid kAllIids[] = {
    FUnknown::iid,
    IPluginBase::iid,
    IBStream::iid,
    IPluginFactory::iid,
    IPluginFactory2::iid,
    IPluginFactory3::iid,
    IComponent::iid,
    IAudioProcessor::iid,
    IProcessContextRequirements::iid,
    IParamValueQueue::iid,
    IParameterChanges::iid,
    IEventList::iid,
    IEditController::iid,
    IEditController2::iid,
    IComponentHandler::iid,
    IUnitInfo::iid,
    IConnectionPoint::iid,
    IMessage::iid,
    IAttributeList::iid,
    IHostApplication::iid,
    IPlugView::iid,
    IPlugFrame::iid,
    IPlugViewContentScaleSupport::iid,
    Linux::IRunLoop::iid,
    Linux::IEventHandler::iid,
    Linux::ITimerHandler::iid,
};
constexpr bool allDistinct() {
  for (const Uid& a : kAllIids) {
    int same = 0;
    for (const Uid& b : kAllIids) same += a == b ? 1 : 0;
    if (same != 1) return false;
  }
  return true;
}
static_assert(allDistinct());

// Interfaces: a vtable pointer and nothing else, no destructor slot.
template <typename... Interfaces>
constexpr bool pureInterfaces() {
  return ((std::is_abstract_v<Interfaces> && !std::has_virtual_destructor_v<Interfaces> &&
           sizeof(Interfaces) == sizeof(void*)) &&
          ...);
}
static_assert(pureInterfaces<
              FUnknown, IPluginBase, IBStream, IPluginFactory, IPluginFactory2, IPluginFactory3, IComponent,
              IAudioProcessor, IProcessContextRequirements, IParamValueQueue, IParameterChanges, IEventList,
              IEditController, IEditController2, IComponentHandler, IUnitInfo, IConnectionPoint, IMessage,
              IAttributeList, IHostApplication, IPlugView, IPlugFrame, IPlugViewContentScaleSupport,
              Linux::IRunLoop, Linux::IEventHandler, Linux::ITimerHandler>());

// Records: the documented fields at their natural offsets.
template <typename... Records>
constexpr bool plainRecords() {
  return ((std::is_standard_layout_v<Records> && std::is_trivially_copyable_v<Records>)&&...);
}
static_assert(plainRecords<PFactoryInfo, PClassInfo, PClassInfo2, PClassInfoW, BusInfo, RoutingInfo,
                           ProcessSetup, AudioBusBuffers, ProcessData, ProcessContext, Chord, FrameRate,
                           ParameterInfo, UnitInfo, ProgramListInfo, ViewRect>());

static_assert(sizeof(PFactoryInfo) == 452);
static_assert(offsetof(PFactoryInfo, vendor) == 0 && offsetof(PFactoryInfo, url) == 64);
static_assert(offsetof(PFactoryInfo, email) == 320 && offsetof(PFactoryInfo, flags) == 448);

static_assert(sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo, cid) == 0 && offsetof(PClassInfo, cardinality) == 16);
static_assert(offsetof(PClassInfo, category) == 20 && offsetof(PClassInfo, name) == 52);

static_assert(sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfo2, cid) == 0 && offsetof(PClassInfo2, cardinality) == 16);
static_assert(offsetof(PClassInfo2, category) == 20 && offsetof(PClassInfo2, name) == 52);
static_assert(offsetof(PClassInfo2, classFlags) == 116 && offsetof(PClassInfo2, subCategories) == 120);
static_assert(offsetof(PClassInfo2, vendor) == 248 && offsetof(PClassInfo2, version) == 312);
static_assert(offsetof(PClassInfo2, sdkVersion) == 376);

static_assert(sizeof(PClassInfoW) == 696);
static_assert(offsetof(PClassInfoW, category) == 20 && offsetof(PClassInfoW, name) == 52);
static_assert(offsetof(PClassInfoW, classFlags) == 180 && offsetof(PClassInfoW, subCategories) == 184);
static_assert(offsetof(PClassInfoW, vendor) == 312 && offsetof(PClassInfoW, version) == 440);
static_assert(offsetof(PClassInfoW, sdkVersion) == 568);

static_assert(sizeof(BusInfo) == 276);
static_assert(offsetof(BusInfo, mediaType) == 0 && offsetof(BusInfo, direction) == 4);
static_assert(offsetof(BusInfo, channelCount) == 8 && offsetof(BusInfo, name) == 12);
static_assert(offsetof(BusInfo, busType) == 268 && offsetof(BusInfo, flags) == 272);

static_assert(sizeof(RoutingInfo) == 12);
static_assert(offsetof(RoutingInfo, busIndex) == 4 && offsetof(RoutingInfo, channel) == 8);

static_assert(sizeof(ProcessSetup) == 24);
static_assert(offsetof(ProcessSetup, processMode) == 0 && offsetof(ProcessSetup, symbolicSampleSize) == 4);
static_assert(offsetof(ProcessSetup, maxSamplesPerBlock) == 8 && offsetof(ProcessSetup, sampleRate) == 16);

static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(AudioBusBuffers, numChannels) == 0 && offsetof(AudioBusBuffers, silenceFlags) == 8);
static_assert(offsetof(AudioBusBuffers, channelBuffers32) == 16 &&
              offsetof(AudioBusBuffers, channelBuffers64) == 16);

static_assert(sizeof(ProcessData) == 80);
static_assert(offsetof(ProcessData, processMode) == 0 && offsetof(ProcessData, symbolicSampleSize) == 4);
static_assert(offsetof(ProcessData, numSamples) == 8 && offsetof(ProcessData, numInputs) == 12);
static_assert(offsetof(ProcessData, numOutputs) == 16 && offsetof(ProcessData, inputs) == 24);
static_assert(offsetof(ProcessData, outputs) == 32 && offsetof(ProcessData, inputParameterChanges) == 40);
static_assert(offsetof(ProcessData, outputParameterChanges) == 48 &&
              offsetof(ProcessData, inputEvents) == 56);
static_assert(offsetof(ProcessData, outputEvents) == 64 && offsetof(ProcessData, processContext) == 72);

static_assert(sizeof(Chord) == 4 && offsetof(Chord, rootNote) == 1 && offsetof(Chord, chordMask) == 2);
static_assert(sizeof(FrameRate) == 8 && offsetof(FrameRate, flags) == 4);

static_assert(sizeof(ProcessContext) == 112);
static_assert(offsetof(ProcessContext, state) == 0 && offsetof(ProcessContext, sampleRate) == 8);
static_assert(offsetof(ProcessContext, projectTimeSamples) == 16 &&
              offsetof(ProcessContext, systemTime) == 24);
static_assert(offsetof(ProcessContext, continousTimeSamples) == 32);
static_assert(offsetof(ProcessContext, projectTimeMusic) == 40);
static_assert(offsetof(ProcessContext, barPositionMusic) == 48);
static_assert(offsetof(ProcessContext, cycleStartMusic) == 56 &&
              offsetof(ProcessContext, cycleEndMusic) == 64);
static_assert(offsetof(ProcessContext, tempo) == 72 && offsetof(ProcessContext, timeSigNumerator) == 80);
static_assert(offsetof(ProcessContext, timeSigDenominator) == 84 && offsetof(ProcessContext, chord) == 88);
static_assert(offsetof(ProcessContext, smpteOffsetSubframes) == 92 &&
              offsetof(ProcessContext, frameRate) == 96);
static_assert(offsetof(ProcessContext, samplesToNextClock) == 104);

static_assert(sizeof(ParameterInfo) == 792);
static_assert(offsetof(ParameterInfo, id) == 0 && offsetof(ParameterInfo, title) == 4);
static_assert(offsetof(ParameterInfo, shortTitle) == 260 && offsetof(ParameterInfo, units) == 516);
static_assert(offsetof(ParameterInfo, stepCount) == 772 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776);
static_assert(offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);

static_assert(sizeof(UnitInfo) == 268);
static_assert(offsetof(UnitInfo, parentUnitId) == 4 && offsetof(UnitInfo, name) == 8);
static_assert(offsetof(UnitInfo, programListId) == 264);

static_assert(sizeof(ProgramListInfo) == 264);
static_assert(offsetof(ProgramListInfo, name) == 4 && offsetof(ProgramListInfo, programCount) == 260);

static_assert(sizeof(ViewRect) == 16);
static_assert(offsetof(ViewRect, top) == 4 && offsetof(ViewRect, right) == 8 &&
              offsetof(ViewRect, bottom) == 12);

// Flag values a host reads.
static_assert(PClassInfo::kManyInstances == 0x7FFFFFFF && PFactoryInfo::kUnicode == 16);
static_assert(ParameterInfo::kCanAutomate == 1 && ParameterInfo::kIsList == 8 &&
              ParameterInfo::kIsBypass == 0x10000);
static_assert(SpeakerArr::kStereo == 3 && SpeakerArr::kMono == 0x80000);

}  // namespace
}  // namespace vst3
