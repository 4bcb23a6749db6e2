#include "vst3/Factory.h"

#include <cstring>
#include <new>

#include "vst3/Effect.h"
#include "vst3/Identity.h"

namespace vst3plugin {

using namespace vst3;

namespace {

// Copies text into a host's fixed array, cut and terminated.
template <std::size_t N>
void Copy(char (&out)[N], const char* text) {
  std::size_t n = 0;
  for (; text[n] != '\0' && n + 1 < N; ++n) out[n] = text[n];
  out[n] = '\0';
}

void Describe(PClassInfo& info) {
  std::memcpy(info.cid, kEffectClassId.bytes, sizeof info.cid);
  info.cardinality = PClassInfo::kManyInstances;
  Copy(info.category, kVstAudioEffectClass);
  Copy(info.name, kEffectName);
}

}  // namespace

Factory& TheFactory() {
  static Factory factory;
  return factory;
}

tresult Factory::queryInterface(const TUID iid, void** object) {
  if (object == nullptr) return kInvalidArgument;
  if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPluginFactory::iid) ||
      sameTuid(iid, IPluginFactory2::iid)) {
    *object = this;
    return kResultOk;
  }
  *object = nullptr;
  return kNoInterface;
}

tresult Factory::getFactoryInfo(PFactoryInfo* info) {
  if (info == nullptr) return kInvalidArgument;
  std::memset(info, 0, sizeof *info);
  Copy(info->vendor, kVendor);
  Copy(info->url, kUrl);
  Copy(info->email, kEmail);
  info->flags = PFactoryInfo::kUnicode;
  return kResultOk;
}

tresult Factory::getClassInfo(int32 index, PClassInfo* info) {
  if (index != 0 || info == nullptr) return kInvalidArgument;
  std::memset(info, 0, sizeof *info);
  Describe(*info);
  return kResultOk;
}

tresult Factory::getClassInfo2(int32 index, PClassInfo2* info) {
  if (index != 0 || info == nullptr) return kInvalidArgument;
  std::memset(info, 0, sizeof *info);
  PClassInfo plain{};
  Describe(plain);
  std::memcpy(info->cid, plain.cid, sizeof info->cid);
  info->cardinality = plain.cardinality;
  Copy(info->category, plain.category);
  Copy(info->name, plain.name);
  info->classFlags = 0;
  Copy(info->subCategories, kSubCategories);
  Copy(info->vendor, kVendor);
  Copy(info->version, kVersion);
  Copy(info->sdkVersion, kSdkVersion);
  return kResultOk;
}

tresult Factory::createInstance(FIDString cid, FIDString iid, void** object) {
  if (object == nullptr) return kInvalidArgument;
  *object = nullptr;
  if (cid == nullptr || iid == nullptr || !sameTuid(cid, kEffectClassId)) return kNoInterface;
  Effect* effect = nullptr;
  try {
    effect = new Effect();
  } catch (...) {
    return kOutOfMemory;
  }
  // The host asks for the interface it wants; our own reference goes.
  const tresult result = effect->queryInterface(iid, object);
  effect->release();
  return result;
}

}  // namespace vst3plugin
