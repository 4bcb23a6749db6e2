// What hosts and users throw at the editor: parents the window system
// refuses, opcodes out of order, hundreds of opens, a storm of pointer events
// and a host thread changing parameters while the window refreshes.

#include <gmock/gmock.h>

#include <atomic>
#include <future>
#include <random>
#include <thread>

#include "tests/editor/EditorFixture.h"

namespace editortest {
namespace {

// A window system that has no window 0xDEAD.
class RefusingBackend : public framework::THeadlessBackend {
 public:
  static constexpr framework::TWindowHandle kNoSuchWindow = 0xDEAD;
  bool ParentExists(framework::TWindowHandle parent) const override { return parent != kNoSuchWindow; }
};

class Robustness : public EditorFixture {};

TEST_F(Robustness, ParentsThatAreNoWindowsAreRefused) {
  auto refusing = std::make_shared<RefusingBackend>();
  editor->setWindowSystem(refusing);
  EXPECT_EQ(Dispatch(effEditOpen, nullptr), 0);
  EXPECT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(RefusingBackend::kNoSuchWindow)), 0);
  EXPECT_EQ(editor->getWindow(), nullptr);
  EXPECT_EQ(editor->openCount(), 0);
  EXPECT_TRUE(refusing->Windows().empty());
  Dispatch(effEditIdle);
  Dispatch(effEditClose);
  EXPECT_EQ(Dispatch(effEditOpen, &hostWindow), 1) << "a real parent still works afterwards";
  EXPECT_EQ(refusing->Windows().size(), 1u);
  // The window kept from that open is not moved into a parent that is none.
  Dispatch(effEditClose);
  EXPECT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(RefusingBackend::kNoSuchWindow)), 0);
  EXPECT_EQ(editor->openCount(), 0);
  EXPECT_TRUE(refusing->Windows().empty());
  EXPECT_EQ(Dispatch(effEditOpen, &hostWindow), 1);
}

TEST_F(Robustness, OpcodesWithoutAWindowAreHarmless) {
  Dispatch(effEditIdle);
  Dispatch(effEditClose);
  Dispatch(effEditClose);
  EXPECT_EQ(editor->openCount(), 0);
  Open();
  Dispatch(effEditClose);
  Dispatch(effEditIdle);
  Dispatch(effEditClose);
  // Out of the host's window and hidden, kept for the next open.
  ASSERT_EQ(backend->Windows().size(), 1u);
  EXPECT_EQ(backend->Windows()[0]->ParentHandle(), 0u);
  EXPECT_FALSE(backend->Windows()[0]->Visible());
}

TEST_F(Robustness, OpenAndClose500Times) {
  for (int i = 0; i < 500; ++i) {
    ASSERT_EQ(Dispatch(effEditOpen, &hostWindow), 1);
    Dispatch(effEditIdle);
    Tick();
    Dispatch(effEditClose);
  }
  EXPECT_EQ(editor->openCount(), 0);
  EXPECT_TRUE(plugin->isEditorClosed());
  EXPECT_TRUE(automation.empty());
  ASSERT_EQ(backend->Windows().size(), 1u) << "one window, moved in and out";
  EXPECT_FALSE(backend->Windows()[0]->Visible());
  plugin.reset();
  EXPECT_TRUE(backend->Windows().empty()) << "and gone with the effect";
}

TEST_F(Robustness, PointerStorm) {
  Open();
  automation.clear();
  plugin->writes.clear();
  std::mt19937 random(20261210);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const framework::TMouseButton buttons[] = {framework::mbLeft, framework::mbLeft, framework::mbRight,
                                             framework::mbMiddle};
  const framework::TShiftState modifiers[] = {
      0, 0, 0, 0, 0, framework::ssShift, framework::ssCtrl, framework::ssAlt};
  for (int i = 0; i < 100000; ++i) {
    const int x = pick(780) - 30, y = pick(580) - 30;
    const framework::TShiftState mods = modifiers[pick(8)];
    const int kind = pick(100);
    if (kind < 60)
      backend->MouseMove(handle, x, y, mods);
    else if (kind < 75)
      backend->MouseDown(handle, buttons[pick(4)], x, y, mods);
    else if (kind < 90)
      backend->MouseUp(handle, buttons[pick(4)], x, y, mods);
    else if (kind < 92)
      backend->MouseExit(handle);
    else if (kind < 97)
      backend->AdvanceTime(static_cast<std::uint64_t>(pick(120)));
    else
      HostSets(1 + pick(61), static_cast<float>(pick(1001)) / 1000.0f);
  }
  for (int i = 1; i <= 61; ++i) {
    EXPECT_GE(Param(i), 0.0f) << i;
    EXPECT_LE(Param(i), 1.0f) << i;
  }
  ASSERT_FALSE(plugin->writes.empty()) << "the storm should have hit some controls";
  for (const Automation& w : plugin->writes) ASSERT_TRUE(w.index >= 1 && w.index <= 61) << w;
  // One automation call per value the editor wrote, in order, and nothing else.
  EXPECT_EQ(automation, plugin->writes);
}

// A host that opens the editor on another thread than last time gets a window
// that thread's idles serve.
TEST_F(Robustness, AnEditorOpenedAgainOnAnotherThreadGetsAWindowOfThatThread) {
  framework::TWindowHandle first = 0, second = 0;
  // The first thread lives on meanwhile (an ended thread's id may be given
  // to the next).
  std::promise<void> closed, done;
  std::thread firstThread([&] {
    EXPECT_EQ(Dispatch(effEditOpen, &hostWindow), 1);
    first = editor->getWindow()->Handle();
    Dispatch(effEditClose);
    closed.set_value();
    done.get_future().wait();
  });
  closed.get_future().wait();
  std::thread([&] {
    ASSERT_EQ(Dispatch(effEditOpen, &hostWindow), 1);
    second = editor->getWindow()->Handle();
    HostSets(5, Param(5) > 0.5f ? 0.0f : 1.0f);
    const std::uint32_t before = backend->Window(second)->PixelAt(Centre("step5").X, Centre("step5").Y);
    Tick();  // the refresh runs on this thread's idle
    EXPECT_NE(backend->Window(second)->PixelAt(Centre("step5").X, Centre("step5").Y), before);
    Dispatch(effEditClose);
  }).join();
  done.set_value();
  firstThread.join();
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, first);
  EXPECT_EQ(backend->Window(first), nullptr) << "the first thread's window is gone";
}

// The editor opcodes on one thread (neither the one that made the effect nor
// the host's), parameter calls on another, at the same time. Run under
// -DPLONKRIFT_TSAN=ON to check that only the mirror is shared.
TEST_F(Robustness, HostThreadChangesParametersWhileTheWindowRefreshes) {
  std::atomic<bool> done{false};
  std::thread host([&] {
    AEffect* e = plugin->getAeffect();
    std::mt19937 random(7);
    while (!done.load()) {
      for (int i = 1; i <= 61; ++i) e->setParameter(e, i, static_cast<float>(random() % 1001) / 1000.0f);
      e->dispatcher(e, effSetProgram, 0, static_cast<VstIntPtr>(random() % 8), nullptr, 0.0f);
    }
  });
  std::thread ui([&] {
    int parent = 0;
    for (int round = 0; round < 3; ++round) {
      if (plugin->dispatcher(effEditOpen, 0, 0, &parent, 0.0f) != 1) break;
      const framework::TWindowHandle h = editor->getWindow()->Handle();
      for (int tick = 0; tick < 60; ++tick) {
        backend->AdvanceTime(50);
        plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
        if (tick % 10 == 0) backend->ClickAt(h, 350, 92);  // a step
      }
      plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    }
  });
  ui.join();
  done.store(true);
  host.join();
  EXPECT_FALSE(editor->getWindow()->Visible());
  EXPECT_EQ(automation.size(), 18u) << "one per click";
}

}  // namespace
}  // namespace editortest
