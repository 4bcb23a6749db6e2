// The LV2 UI's controller on its own: port events from a host, the user's
// writes and gestures going out, and the plug-in's report of missing time.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "lv2/Ports.h"
#include "lv2/ui/PortController.h"

namespace {

using lv2plugin::portOfSlot;
using namespace parameters;

// What the controller asked of its host, in order.
struct Host {
  struct Call {
    char kind;  // 'w' a write, '+' a touch taking hold, '-' letting go
    std::uint32_t port;
    float value;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;
  LV2UI_Touch touch{this, [](LV2UI_Feature_Handle handle, std::uint32_t port, bool grabbed) {
                      static_cast<Host*>(handle)->calls.push_back({grabbed ? '+' : '-', port, 0.0f});
                    }};

  static void Write(LV2UI_Controller handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                    const void* buffer) {
    ASSERT_EQ(size, sizeof(float));
    ASSERT_EQ(format, 0u);
    static_cast<Host*>(handle)->calls.push_back({'w', port, *static_cast<const float*>(buffer)});
  }
};

void Event(PortController& controller, std::uint32_t port, float value) {
  controller.portEvent(port, sizeof value, 0, &value);
}

TEST(PortController, PortEventsMoveTheMirrorAsThePluginPlaysThem) {
  Host host;
  PortController controller(&Host::Write, &host, &host.touch);
  for (int slot = kFirst; slot <= kLast; ++slot) EXPECT_EQ(controller.getParameter(slot), defaultValue(slot));
  const struct {
    float sent, shown;
  } cases[] = {{0.3f, 0.3f}, {7.5f, 1.0f}, {-3.0f, 0.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f},
               {1.0f, 1.0f}, {-0.0f, 0.0f}};
  for (const auto& c : cases) {
    Event(controller, portOfSlot(kFd1Cutoff), c.sent);
    EXPECT_EQ(controller.getParameter(kFd1Cutoff), c.shown) << c.sent;
    EXPECT_EQ(controller.mirror()[kFd1Cutoff].load(), c.shown);
  }
  EXPECT_FALSE(std::signbit(controller.getParameter(kFd1Cutoff)));
  EXPECT_TRUE(host.calls.empty()) << "the host's values are not sent back";
}

TEST(PortController, OtherPortsAndFormatsAreIgnored) {
  Host host;
  PortController controller(&Host::Write, &host, &host.touch);
  const float one = 0.9f;
  const double wide = 0.9;
  controller.portEvent(lv2plugin::kInLeft, sizeof one, 0, &one);
  controller.portEvent(lv2plugin::kOutRight, sizeof one, 0, &one);
  controller.portEvent(lv2plugin::kControl, sizeof one, 17, &one);
  controller.portEvent(lv2plugin::kNumPorts, sizeof one, 0, &one);
  controller.portEvent(portOfSlot(kStep1 + 3), sizeof wide, 0, &wide);
  controller.portEvent(portOfSlot(kStep1 + 4), sizeof one, 5, &one);
  controller.portEvent(portOfSlot(kStep1 + 5), sizeof one, 0, nullptr);
  controller.portEvent(lv2plugin::kTimeMissing, sizeof one, 9, &one);
  for (int slot = kFirst; slot <= kLast; ++slot) EXPECT_EQ(controller.getParameter(slot), defaultValue(slot));
  EXPECT_FALSE(controller.timeInfoMissing());
  for (int slot : {0, 62, -1}) EXPECT_EQ(controller.getParameter(slot), 0.0f);
}

TEST(PortController, GesturesWriteThePortsBetweenTouches) {
  Host host;
  PortController controller(&Host::Write, &host, &host.touch);
  const std::uint32_t delay = portOfSlot(kFd2DelayTime);
  controller.beginEdit(kFd2DelayTime);
  controller.setParameterAutomated(kFd2DelayTime, 0.4f);
  controller.setParameterAutomated(kFd2DelayTime, 1.5f);
  controller.endEdit(kFd2DelayTime);
  controller.setParameterAutomated(0, 0.5f);
  controller.beginEdit(62);
  const std::vector<Host::Call> expected = {
      {'+', delay, 0.0f}, {'w', delay, 0.4f}, {'w', delay, 1.0f}, {'-', delay, 0.0f}};
  EXPECT_EQ(host.calls, expected) << "values as the plug-in plays them; reserved slots reach no port";
  EXPECT_EQ(controller.getParameter(kFd2DelayTime), 1.0f);

  // A host without ui:touch, or without a write function: the mirror still follows the user.
  PortController bare(nullptr, nullptr, nullptr);
  bare.beginEdit(kStep1);
  bare.setParameterAutomated(kStep1, 0.0f);
  bare.endEdit(kStep1);
  EXPECT_EQ(bare.getParameter(kStep1), 0.0f);
}

TEST(PortController, TheTimeMissingPortDrivesTheNotice) {
  Host host;
  PortController controller(&Host::Write, &host, &host.touch);
  EXPECT_FALSE(controller.timeInfoMissing());
  Event(controller, lv2plugin::kTimeMissing, 1.0f);
  EXPECT_TRUE(controller.timeInfoMissing());
  Event(controller, lv2plugin::kTimeMissing, 0.0f);
  EXPECT_FALSE(controller.timeInfoMissing());
  Event(controller, lv2plugin::kTimeMissing, 1.0f);
  Event(controller, lv2plugin::kTimeMissing, std::numeric_limits<float>::quiet_NaN());
  EXPECT_FALSE(controller.timeInfoMissing());
  for (int slot = kFirst; slot <= kLast; ++slot) EXPECT_EQ(controller.getParameter(slot), defaultValue(slot));
}

}  // namespace
