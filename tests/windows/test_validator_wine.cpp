// The validator's cases that make sense on Windows, against the DLL: loading
// and unloading it again and again (with its editor opened in between),
// an editor closed on another thread before the library is unloaded and
// loaded again, hostile parameters, blocks without the host's time
// information, an editor parent that is no window, and the editor on a
// thread of its own. The
// dispatcher's opcode fuzzing with null and short buffers runs in
// test_host_library, cross-built.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "tests/windows/ImportHooks.h"
#include "tests/windows/WineHost.h"
#include "tools/hostkit/PluginHost.h"

namespace {

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

using Entry = AEffect* (*)(audioMasterCallback);

Entry EntryOf(HMODULE module) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, "VSTPluginMain")));
}

VstIntPtr Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

}  // namespace

// Hosts scan, load, open and unload plug-ins many times in one process. After
// each FreeLibrary nothing of the DLL may be left to run: no window, timer or
// posted message of the editor, no window class whose procedure is gone.
TEST(ValidatorUnderWine, LoadOpenCloseUnloadCycles) {
  const std::string path = hostkit::defaultPluginPath();
  wintest::THostWindow parent(60, 60, 719, 512);
  std::int64_t settled = 0;
  int unloaded = 0, opened = 0;
  for (int cycle = 0; cycle < 20; ++cycle) {
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    AEffect* effect = EntryOf(module)(&Host);
    ASSERT_NE(effect, nullptr);
    Dispatch(effect, effOpen);
    Dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    Dispatch(effect, effMainsChanged, 0, 1);
    if (cycle % 2 == 0) {
      opened += Dispatch(effect, effEditOpen, 0, 0, parent.Handle()) == 1 ? 1 : 0;
      wintest::Pump(70);  // a refresh, and a timer due after the close
      Dispatch(effect, effEditClose);
    }
    EXPECT_EQ(Dispatch(effect, effClose), 1);
    FreeLibrary(module);
    unloaded += GetModuleHandleA("plonkrift6v2.dll") == nullptr ? 1 : 0;
    // Whatever the DLL left queued would now run code that is gone.
    wintest::Pump(30);
    if (cycle == 4) settled = wintest::PrivateBytes();
  }
  EXPECT_EQ(unloaded, 20) << "FreeLibrary unloaded the DLL";
  EXPECT_EQ(opened, 10);
  EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr);
  EXPECT_LT(wintest::PrivateBytes() - settled, 4 * 1024 * 1024) << "private bytes over cycles 5 to 20";
}

// A host that closes the editor on another thread while the window's thread
// waits for it (joins), then unloads the library at once: the window's
// thread, pumping afterwards, runs none of the unloaded code, and the window
// goes quietly. The library loaded again (at the same address, where it
// lands) opens its editor, whether the old window is gone by then (its class
// is taken over) or still waits for its thread (another name is taken).
TEST(ValidatorUnderWine, ClosedOnAnotherThreadThenUnloadedAndLoadedAgain) {
  const std::string path = hostkit::defaultPluginPath();
  wintest::THostWindow parent(60, 60, 719, 512);
  HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  for (const bool pumpBeforeReload : {true, false}) {
    SCOPED_TRACE(pumpBeforeReload ? "the old window's thread pumps before the reload" : "and after it");
    AEffect* effect = EntryOf(module)(&Host);
    ASSERT_NE(effect, nullptr);
    Dispatch(effect, effOpen);
    ASSERT_EQ(Dispatch(effect, effEditOpen, 0, 0, parent.Handle()), 1);
    wintest::Pump(70);  // painted, its 50 ms timer armed
    const HWND old = GetWindow(parent.Handle(), GW_CHILD);
    ASSERT_NE(old, nullptr);
    std::thread([&] {
      Dispatch(effect, effEditClose);
      Dispatch(effect, effClose);
    }).join();
    FreeLibrary(module);
    ASSERT_EQ(GetModuleHandleA("plonkrift6v2.dll"), nullptr) << "unloaded";
    // The old window's queued messages (its timer, the hide, its close) run
    // while no code of the library is loaded.
    if (pumpBeforeReload) wintest::Pump(100);

    HMODULE again = LoadLibraryA(path.c_str());
    ASSERT_NE(again, nullptr) << GetLastError();
    EXPECT_EQ(again, module) << "loaded where it was: its class's name was in use";
    module = again;
    AEffect* second = EntryOf(module)(&Host);
    ASSERT_NE(second, nullptr);
    Dispatch(second, effOpen);
    EXPECT_EQ(Dispatch(second, effEditOpen, 0, 0, parent.Handle()), 1) << "the editor opens";
    wintest::Pump(150);
    EXPECT_FALSE(IsWindow(old)) << "the old window went at its thread's messages";
    const HWND shown = GetWindow(parent.Handle(), GW_CHILD);
    EXPECT_TRUE(shown != nullptr && IsWindowVisible(shown));
    Dispatch(second, effEditClose);
    Dispatch(second, effClose);
    wintest::Pump(30);
    EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr);
  }
  FreeLibrary(module);
}

TEST(ValidatorUnderWine, HostileParametersStayInRange) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost host;
  ASSERT_NE(host.create(library.entry()), nullptr);
  const float odd[] = {NAN, INFINITY, -INFINITY, -1.0f, 2.0f, 1e30f, -0.0f, 0.75f};
  for (VstInt32 index : {-100000, -1, 0, 1, 33, 61, 62, 69, 70, 1000, INT32_MAX})
    for (float value : odd) host.setParameter(index, value);
  for (VstInt32 index = -2; index < 72; ++index) {
    const float v = host.getParameter(index);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "slot " << index << ": " << v;
    const std::string text = host.text(effGetParamDisplay, index);
    EXPECT_EQ(text.find("nan"), std::string::npos) << index;
    EXPECT_EQ(text.find("inf"), std::string::npos) << index;
  }
}

TEST(ValidatorUnderWine, BlocksWithoutTimeInformation) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost host;
  ASSERT_NE(host.create(library.entry()), nullptr);
  host.dispatch(effOpen);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  host.dispatch(effSetBlockSize, 0, 512);
  host.dispatch(effMainsChanged, 0, 1);
  std::vector<float> inL(512), inR(512), outL(512), outR(512);
  for (int k = 0; k < 512; ++k) inL[k] = inR[k] = 0.5f * std::sin(k * 0.05f);
  float* inputs[2] = {inL.data(), inR.data()};
  float* outputs[2] = {outL.data(), outR.data()};
  const auto all = [](const std::vector<float>& v, float x) {
    return std::all_of(v.begin(), v.end(), [x](float s) { return s == x; });
  };
  VstTimeInfo zeroFlags{};
  zeroFlags.ppqPos = 3.0;
  zeroFlags.tempo = 120.0;
  zeroFlags.sampleRate = 44100.0;
  for (VstTimeInfo* record : {static_cast<VstTimeInfo*>(nullptr), &zeroFlags}) {
    SCOPED_TRACE(record == nullptr ? "null record" : "flags 0");
    host.timeInfo = record;
    std::fill(outL.begin(), outL.end(), 0.25f);
    std::fill(outR.begin(), outR.end(), 0.25f);
    host.processReplacing(inputs, outputs, 512);
    EXPECT_TRUE(all(outL, 0.0f) && all(outR, 0.0f)) << "processReplacing writes silence";
    std::fill(outL.begin(), outL.end(), 0.25f);
    std::fill(outR.begin(), outR.end(), 0.25f);
    host.process(inputs, outputs, 512);
    EXPECT_TRUE(all(outL, 0.25f) && all(outR, 0.25f)) << "process adds nothing";
  }
  // The time information comes back: the effect plays again.
  VstTimeInfo time{};
  time.sampleRate = 44100.0;
  time.tempo = 120.0;
  time.flags = kVstPpqPosValid | kVstTempoValid | kVstTransportPlaying;
  host.timeInfo = &time;
  float peak = 0.0f;
  for (int block = 0; block < 200; ++block) {
    time.samplePos = block * 512.0;
    time.ppqPos = time.samplePos / 44100.0 * 2.0;
    host.processReplacing(inputs, outputs, 512);
    for (int k = 0; k < 512; ++k) peak = std::max({peak, std::abs(outL[k]), std::abs(outR[k])});
  }
  EXPECT_GT(peak, 1e-3f);
  EXPECT_GT(host.countCalls(audioMasterGetTime), 0u);
}

TEST(ValidatorUnderWine, AnEditorParentThatIsNoWindowIsRefused) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  wintest::TImportHooks hooks(GetModuleHandleA("plonkrift6v2.dll"));
  hostkit::PluginHost host;
  ASSERT_NE(host.create(library.entry()), nullptr);
  int notAWindow = 0;
  for (void* parent : {reinterpret_cast<void*>(&notAWindow), reinterpret_cast<void*>(0x12345678)})
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 0);
  EXPECT_EQ(hooks.Ledger().windowsMade, 0);
  host.dispatch(effEditClose);
}

// The editor opcodes from a thread that did not make the instance, with a
// message loop of its own: the window lives there and goes with the close.
TEST(ValidatorUnderWine, TheEditorOnAThreadOfItsOwn) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost host;
  ASSERT_NE(host.create(library.entry()), nullptr);
  VstIntPtr opened = 0;
  bool child = false, gone = false;
  std::thread ui([&] {
    wintest::THostWindow parent(80, 80, 719, 512);
    opened = host.dispatch(effEditOpen, 0, 0, parent.Handle());
    wintest::Pump(80);
    const HWND editor = GetWindow(parent.Handle(), GW_CHILD);
    child = editor != nullptr && GetWindowThreadProcessId(editor, nullptr) == GetCurrentThreadId();
    host.dispatch(effEditClose);
    gone = GetWindow(parent.Handle(), GW_CHILD) == nullptr;
  });
  ui.join();
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(child) << "the editor's window belongs to the thread that opened it";
  EXPECT_TRUE(gone);
}
