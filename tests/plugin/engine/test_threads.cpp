// Parameters and programs changed from other threads while the audio thread
// processes. Under ThreadSanitizer (PLONKRIFT_TSAN) this shows that the
// engine reads every shared value atomically; in any build, that the output
// stays finite.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/plugin/engine/HostRun.h"

namespace {

TEST(HostThreads, ParameterChangesDuringProcessing) {
  enginetest::HostRun run;
  ASSERT_TRUE(run.ok());
  std::atomic<bool> stop{false};
  std::thread automation([&] {
    for (int i = 0; !stop.load(); ++i)
      run.host->setParameter(1 + i % 61, static_cast<float>(i % 101) / 100.0f);
  });
  std::thread programs([&] {
    for (int i = 0; !stop.load(); ++i) {
      run.host->dispatch(effSetProgram, 0, i % 8);
      std::this_thread::yield();
    }
  });
  const enginetest::Stereo in = enginetest::Noise(3 * 44100, 17);
  const enginetest::Stereo out = run.play(in, 256);
  stop.store(true);
  automation.join();
  programs.join();
  EXPECT_TRUE(enginetest::AllFinite(out));
}

}  // namespace
