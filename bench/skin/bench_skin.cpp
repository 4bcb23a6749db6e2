// Speed of the skinned controls on the headless backend, with an editor-sized
// container: 720 x 512, a full-size masked background and 79 more controls
// (20 film-strip knobs of 18 x 18, 59 cells of 30 x 24).
//
// Every benchmark measures a baseline in the same run and prints the ratio:
//   compose_full      - all of the container from scratch; baseline: one
//                       memcpy of the composed picture's bytes
//   repaint_18x18     - one knob moved one step; baseline: compose_full
//   idle_tick         - a 50 ms timer whose handler sets every control to
//                       the values it already has (the editor's refresh with
//                       nothing to do); baseline: compose_full. "paints"
//                       must stay 0: a tick that changes nothing repaints
//                       nothing
//   hit_test          - the control under a point among the 80; baseline: a
//                       bare loop over 80 rectangles
//   read_form_1_5MB   - reading a form whose image list holds a 720 x 513
//                       picture (1.48 MB stored raw); baseline: a memcpy of
//                       the form's bytes

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "framework/core/FormStream.h"
#include "framework/window/Application.h"
#include "framework/window/Headless.h"
#include "framework/window/Timer.h"
#include "skin/cDIBImage.h"
#include "skin/cDIBKnob.h"
#include "skin/cDIBPanel.h"

using namespace framework;
using Clock = std::chrono::steady_clock;

namespace {

class TBenchForm : public TForm {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TBenchForm(TComponent* owner = nullptr) : TForm(owner) {}
};

const ClassInfo& TBenchForm::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TBenchForm, TForm>("TBenchForm").Build();
  return info;
}

void Fill(image::TAbstractSuperDIB& dib, int w, int h, unsigned seed, bool masked) {
  std::mt19937 rng(seed);
  dib.SetSize(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
  for (std::size_t i = 0; i < std::size_t{dib.Width()} * dib.Height(); ++i) dib.Pixels()[i] = rng();
  dib.SetMasked(masked);
}

struct Editor {
  std::shared_ptr<THeadlessBackend> backend = std::make_shared<THeadlessBackend>();
  std::unique_ptr<TBenchForm> form;
  image::TDIBImageList* list = nullptr;
  skin::TDIBImageContainer* container = nullptr;
  std::vector<skin::TCustomDIBControl*> controls;
  std::vector<skin::TDIBKnob*> knobs;
  // The container's paints, counted by its BeforePaint event, and the area
  // of the latest: the clip rectangle the event sees.
  int paints = 0;
  TRect lastPaint{};

  Editor() {
    skin::RegisterSkinClasses();
    RegisterClasses<TBenchForm>();
    form = std::make_unique<TBenchForm>();
    form->SetWindowSystem(backend);
    form->SetBounds(0, 0, 720, 512);
    list = new image::TDIBImageList(form.get());
    list->SetName("Images");
    Fill(list->DIBImages().Add()->StoredDIB(), 720, 513, 1, true);  // background
    Fill(list->DIBImages().Add()->StoredDIB(), 1026, 18, 2, true);  // knob strip, 57 frames
    Fill(list->DIBImages().Add()->StoredDIB(), 29, 22, 3, true);    // cell
    container = new skin::TDIBImageContainer(form.get());
    container->SetParent(form.get());
    container->SetBounds(0, 0, 720, 512);
    container->BeforePaint.Bind([this](TObject*) {
      ++paints;
      const TRect& clip = container->ComposedBuffer().ClipRect();  // inclusive
      lastPaint = {clip.Left, clip.Top, clip.Right + 1, clip.Bottom + 1};
    });
    auto add = [&](skin::TCustomDIBControl* c, int index) {
      c->SetDIBImageList(list);
      controls.push_back(c);
      if (auto* img = dynamic_cast<skin::TDIBImage*>(c)) img->IndexMain().SetDIBIndex(index);
      if (auto* knob = dynamic_cast<skin::TDIBKnob*>(c)) knob->IndexMain().SetDIBIndex(index);
    };
    auto* background = new skin::TDIBImage(form.get());
    background->SetAutoSize(true);
    add(background, 0);
    for (int i = 0; i < 20; ++i) {
      auto* knob = new skin::TDIBKnob(form.get());
      knob->SetNumGlyphs(57);
      knob->SetBounds(20 + (i % 10) * 60, 300 + (i / 10) * 60, 18, 18);
      knob->SetPosition(i * 5);
      add(knob, 1);
      knobs.push_back(knob);
    }
    for (int i = 0; i < 59; ++i) {
      auto* cell = new skin::TDIBImage(form.get());
      cell->SetBounds(10 + (i % 20) * 35, 20 + (i / 20) * 60, 30, 24);
      cell->SetOpacity(i % 2 ? 255 : 0);
      add(cell, 2);
    }
    form->Show();
    backend->Update();
  }

  ~Editor() { form.reset(); }

  // One composition of everything.
  void ComposeAll() {
    container->Invalidate();
    container->Update();
  }
};

Editor& Rig() {
  static Editor editor;
  return editor;
}

double SecondsPerRun(int runs, const std::function<void()>& body) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const auto t0 = Clock::now();
    for (int i = 0; i < runs; ++i) body();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count() / runs);
  }
  return best;
}

double MemcpySeconds(std::size_t bytes) {
  std::vector<std::uint8_t> a(bytes, 1), b(bytes, 2);
  return SecondsPerRun(20, [&] {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  });
}

template <class Body>
void Measure(benchmark::State& state, double baseline, const char* baselineName, Body body) {
  const auto t0 = Clock::now();
  std::int64_t runs = 0;
  for (auto _ : state) {
    body();
    benchmark::ClobberMemory();
    ++runs;
  }
  const double perRun = std::chrono::duration<double>(Clock::now() - t0).count() / static_cast<double>(runs);
  state.counters["us/run"] = perRun * 1e6;
  state.counters[std::string("ratio_to_") + baselineName] = perRun / baseline;
}

void BM_ComposeFull(benchmark::State& state) {
  Editor& e = Rig();
  const double baseline = MemcpySeconds(std::size_t{720} * 512 * 4);
  const int before = e.paints;
  Measure(state, baseline, "memcpy", [&] { e.ComposeAll(); });
  if (e.paints == before) state.SkipWithError("nothing was composed");
}

void BM_Repaint18x18(benchmark::State& state) {
  Editor& e = Rig();
  const double baseline = SecondsPerRun(10, [&] { e.ComposeAll(); });
  skin::TDIBKnob* knob = e.knobs[3];
  int step = 0;
  Measure(state, baseline, "compose_full", [&] {
    knob->SetPosition(knob->Position() + ((++step & 1) ? 1 : -1));
    e.container->Update();
  });
  if (e.lastPaint != knob->BoundsRect()) state.SkipWithError("repainted more than the knob");
}

void BM_IdleTick(benchmark::State& state) {
  Editor& e = Rig();
  const double baseline = SecondsPerRun(10, [&] { e.ComposeAll(); });
  TTimer timer(nullptr);
  timer.SetInterval(50);
  std::vector<std::uint8_t> opacities;
  std::vector<int> positions;
  for (auto* c : e.controls) opacities.push_back(c->Opacity());
  for (auto* k : e.knobs) positions.push_back(k->Position());
  timer.OnTimer.Bind([&](TObject*) {
    // The refresh: every value set again, knob positions only when they differ.
    for (std::size_t i = 0; i < e.controls.size(); ++i) e.controls[i]->SetOpacity(opacities[i]);
    for (std::size_t i = 0; i < e.knobs.size(); ++i)
      if (e.knobs[i]->Position() != positions[i]) e.knobs[i]->SetPosition(positions[i]);
  });
  const int before = e.paints;
  Measure(state, baseline, "compose_full", [&] { e.backend->AdvanceTime(50); });
  state.counters["paints"] = e.paints - before;
}

void BM_HitTest(benchmark::State& state) {
  Editor& e = Rig();
  std::vector<TPoint> points;
  std::mt19937 rng(7);
  for (int i = 0; i < 256; ++i)
    points.push_back({static_cast<int>(rng() % 720), static_cast<int>(rng() % 512)});
  std::vector<TRect> rects;
  for (auto* c : e.controls) rects.push_back(c->BoundsRect());
  std::size_t n = 0;
  const double baseline = SecondsPerRun(100000, [&] {
    const TPoint p = points[n++ & 255];
    int found = -1;
    for (int i = static_cast<int>(rects.size()) - 1; i >= 0 && found < 0; --i)
      if (p.X >= rects[i].Left && p.X < rects[i].Right && p.Y >= rects[i].Top && p.Y < rects[i].Bottom)
        found = i;
    benchmark::DoNotOptimize(found);
  });
  Measure(state, baseline, "rect_loop",
          [&] { benchmark::DoNotOptimize(e.container->DIBControlAt(points[n++ & 255])); });
}

void BM_ReadForm1_5MB(benchmark::State& state) {
  Editor& e = Rig();
  // A form holding only the image list with the 720 x 513 picture.
  TBenchForm source;
  auto* list = new image::TDIBImageList(&source);
  list->SetName("Images");
  list->DIBImages().Add()->SetDIB(e.list->DIBImages().Items(0)->StoredDIB());
  const std::vector<std::uint8_t> bytes = WriteForm(source);
  const double baseline = MemcpySeconds(bytes.size());
  Measure(state, baseline, "memcpy", [&] {
    TBenchForm target;
    ReadForm(bytes, target);
    benchmark::DoNotOptimize(target.ComponentCount());
  });
  state.counters["form_bytes"] = static_cast<double>(bytes.size());
  TBenchForm check;
  ReadForm(bytes, check);
  auto* read = dynamic_cast<image::TDIBImageList*>(check.FindComponent("Images"));
  if (!read || read->DIBImages().Items(0)->StoredDIB().Width() != 720)
    state.SkipWithError("picture not read");
}

}  // namespace

BENCHMARK(BM_ComposeFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Repaint18x18)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HitTest)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_ReadForm1_5MB)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
