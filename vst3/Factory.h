#pragma once

#include "vst3/api/Vst3.h"

namespace vst3plugin {

// The library's one factory: it knows one class, the effect. It lives as long
// as the library; its reference count only answers the host.
class Factory final : public vst3::IPluginFactory2 {
 public:
  vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
  vst3::uint32 VST3_CALL addRef() override { return 1; }
  vst3::uint32 VST3_CALL release() override { return 1; }

  vst3::tresult VST3_CALL getFactoryInfo(vst3::PFactoryInfo* info) override;
  vst3::int32 VST3_CALL countClasses() override { return 1; }
  vst3::tresult VST3_CALL getClassInfo(vst3::int32 index, vst3::PClassInfo* info) override;
  vst3::tresult VST3_CALL createInstance(vst3::FIDString cid, vst3::FIDString iid, void** object) override;
  vst3::tresult VST3_CALL getClassInfo2(vst3::int32 index, vst3::PClassInfo2* info) override;
};

Factory& TheFactory();

}  // namespace vst3plugin
