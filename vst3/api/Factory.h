#pragma once

// The plug-in factory a library hands the host through its entry, and the
// records it describes the library's classes with.

#include "vst3/api/Base.h"

namespace vst3 {

struct PFactoryInfo {
  enum FactoryFlags : int32 {
    kNoFlags = 0,
    kClassesDiscardable = 1 << 0,
    kLicenseCheck = 1 << 1,
    kComponentNonDiscardable = 1 << 3,
    kUnicode = 1 << 4,
  };
  enum { kURLSize = 256, kEmailSize = 128, kNameSize = 64 };

  char8 vendor[kNameSize];
  char8 url[kURLSize];
  char8 email[kEmailSize];
  int32 flags;
};

struct PClassInfo {
  enum ClassCardinality : int32 { kManyInstances = 0x7FFFFFFF };
  enum { kCategorySize = 32, kNameSize = 64 };

  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char8 name[kNameSize];
};

struct PClassInfo2 {
  enum { kCategorySize = 32, kNameSize = 64, kVendorSize = 64, kVersionSize = 64, kSubCategoriesSize = 128 };

  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char8 name[kNameSize];
  uint32 classFlags;
  char8 subCategories[kSubCategoriesSize];
  char8 vendor[kVendorSize];
  char8 version[kVersionSize];
  char8 sdkVersion[kVersionSize];
};

// PClassInfo2 with the names in UTF-16.
struct PClassInfoW {
  enum { kCategorySize = 32, kNameSize = 64, kVendorSize = 64, kVersionSize = 64, kSubCategoriesSize = 128 };

  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char16 name[kNameSize];
  uint32 classFlags;
  char8 subCategories[kSubCategoriesSize];
  char16 vendor[kVendorSize];
  char16 version[kVersionSize];
  char16 sdkVersion[kVersionSize];
};

// PClassInfo2::classFlags of an audio component.
enum ComponentFlags : uint32 {
  kDistributable = 1 << 0,
  kSimpleModeSupported = 1 << 1,
};

// PClassInfo::category of the two classes an effect has.
inline constexpr char kVstAudioEffectClass[] = "Audio Module Class";
inline constexpr char kVstComponentControllerClass[] = "Component Controller Class";

// PClassInfo2::subCategories: names joined by '|'.
namespace PlugType {
inline constexpr char kFx[] = "Fx";
inline constexpr char kFxDelay[] = "Fx|Delay";
inline constexpr char kFxFilter[] = "Fx|Filter";
inline constexpr char kFxModulation[] = "Fx|Modulation";
}  // namespace PlugType

struct IPluginFactory : FUnknown {
  virtual tresult VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32 VST3_CALL countClasses() = 0;
  virtual tresult VST3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
  virtual tresult VST3_CALL createInstance(FIDString cid, FIDString _iid, void** obj) = 0;

  static constexpr Uid iid = makeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
};

struct IPluginFactory2 : IPluginFactory {
  virtual tresult VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;

  static constexpr Uid iid = makeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
};

struct IPluginFactory3 : IPluginFactory2 {
  virtual tresult VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
  virtual tresult VST3_CALL setHostContext(FUnknown* context) = 0;

  static constexpr Uid iid = makeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
};

}  // namespace vst3
