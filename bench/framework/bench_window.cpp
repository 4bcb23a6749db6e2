// The window layer's share of the editor's costs, on an editor-sized window: a
// 720 x 512 form holding a 720 x 1088 windowed container with 80 windowless
// controls in the editor's kind of layout (rows of cells, knobs, a background
// under everything). Each benchmark reports its time per operation and its
// ratio to a plain reverse scan of 80 rectangles measured in the same run
// (ratio_to_scan): the least any hit test has to do.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "framework/window/Application.h"
#include "framework/window/Controls.h"
#include "framework/window/Headless.h"
#include "framework/window/Timer.h"

namespace {

using namespace framework;
using Clock = std::chrono::steady_clock;

struct Rig {
  std::shared_ptr<THeadlessBackend> backend = std::make_shared<THeadlessBackend>();
  std::unique_ptr<TForm> form;
  TCustomControl* container = nullptr;
  TTimer* timer = nullptr;
  std::vector<TRect> rects;
  std::vector<TPoint> points;

  Rig() {
    form = std::make_unique<TForm>();
    form->SetWindowSystem(backend);
    form->SetBounds(0, 0, 720, 512);
    container = new TCustomControl(form.get());
    container->SetBounds(0, 0, 720, 1088);
    container->SetParent(form.get());
    auto add = [&](int x, int y, int w, int h) {
      auto* c = new TControl(form.get());
      c->SetBounds(x, y, w, h);
      c->SetParent(container);
      rects.push_back(c->BoundsRect());
    };
    add(0, 0, 720, 513);                                                                // background
    for (int n = 0; n < 16; ++n) add(87 + 30 * n, 71, 30, 42);                          // steps
    for (int n = 0; n < 16; ++n) add(100 + 30 * n, 47, 30, 24);                         // ties
    for (int n = 0; n < 47; ++n) add(20 + (n % 12) * 58, 160 + (n / 12) * 80, 58, 58);  // knobs, lamps
    timer = new TTimer(form.get());
    timer->SetInterval(50);
    timer->OnTimer.Bind([](TObject*) {});
    form->SetParentWindow(0x1);
    form->Show();
    backend->Update();
    for (int i = 0; i < 64; ++i) points.push_back({(i * 97) % 720, (i * 61) % 512});
  }
  ~Rig() { form.reset(); }
};

// Seconds per scan of all points over the rectangles, topmost first.
double ScanSeconds(const std::vector<TRect>& rects, const std::vector<TPoint>& points) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const int reps = 2000;
    const auto t0 = Clock::now();
    for (int r = 0; r < reps; ++r)
      for (const TPoint& p : points) {
        const TRect* hit = nullptr;
        for (auto it = rects.rbegin(); it != rects.rend(); ++it)
          if (p.X >= it->Left && p.X < it->Right && p.Y >= it->Top && p.Y < it->Bottom) {
            hit = &*it;
            break;
          }
        benchmark::DoNotOptimize(hit);
      }
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count() / (reps * points.size()));
  }
  return best;
}

template <class Body>
void Measure(benchmark::State& state, const Rig& rig, Body body) {
  const double baseline = ScanSeconds(rig.rects, rig.points);
  const auto t0 = Clock::now();
  std::int64_t runs = 0;
  for (auto _ : state) {
    body(runs);
    benchmark::ClobberMemory();
    ++runs;
  }
  const double perRun = std::chrono::duration<double>(Clock::now() - t0).count() / static_cast<double>(runs);
  state.counters["ns/op"] = perRun * 1e9;
  state.counters["ratio_to_scan"] = perRun / baseline;
}

// One hit test (FindControlAt through the container) among 80 controls.
void BM_HitTest(benchmark::State& state) {
  Rig rig;
  Measure(state, rig, [&](std::int64_t i) {
    benchmark::DoNotOptimize(
        rig.form->FindControlAt(rig.points[static_cast<std::size_t>(i) % rig.points.size()]));
  });
}
BENCHMARK(BM_HitTest);

// One pointer move delivered through the backend: hit test, enter/leave,
// routing to the control, cursor, and the pump around it.
void BM_PointerMove(benchmark::State& state) {
  Rig rig;
  Measure(state, rig, [&](std::int64_t i) {
    const TPoint p = rig.points[static_cast<std::size_t>(i) % rig.points.size()];
    rig.backend->MouseMove(rig.form->Handle(), p.X, p.Y);
  });
}
BENCHMARK(BM_PointerMove);

// A 50 ms tick whose handler changes nothing: the timer fires and the pump
// finds nothing to paint.
void BM_IdleTick(benchmark::State& state) {
  Rig rig;
  Measure(state, rig, [&](std::int64_t) { rig.backend->AdvanceTime(50); });
}
BENCHMARK(BM_IdleTick);

}  // namespace

BENCHMARK_MAIN();
