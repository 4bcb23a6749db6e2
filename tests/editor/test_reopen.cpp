// Closing the editor keeps its controls and their composed picture; the next
// open moves the window into the new parent (or makes one where windows
// cannot move) and shows the picture at once, composing only what the host
// changed while it was closed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/editor/EditorFixture.h"

namespace editortest {
namespace {

class Reopen : public EditorFixture {
 protected:
  // The areas the container composes from now on (inclusive clip rectangles).
  void RecordPaints() {
    skin::TDIBImageContainer* container = editor->getWindow()->DIBImageContainer2;
    container->BeforePaint.Bind(
        [this, container](framework::TObject*) { paints.push_back(container->ComposedBuffer().ClipRect()); });
  }
  // What a fresh editor of another effect with this effect's values shows.
  std::vector<std::uint32_t> FreshEditorPixels() {
    RecordingPlugin other(&Host);
    static_cast<APluginEditor*>(other.getEditor())->setWindowSystem(backend);
    for (int i = 0; i < 70; ++i) other.setParameter(i, Param(i));
    int otherWindow = 0;
    EXPECT_EQ(other.dispatcher(effEditOpen, 0, 0, &otherWindow, 0.0f), 1);
    const framework::TWindowHandle h = static_cast<APluginEditor*>(other.getEditor())->getWindow()->Handle();
    std::vector<std::uint32_t> pixels = backend->Window(h)->Pixels();
    other.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    return pixels;
  }
  std::vector<framework::TRect> paints;
};

TEST_F(Reopen, NothingChangedShowsTheKeptPictureWithoutComposing) {
  Open();
  Tick();
  const std::vector<std::uint32_t> shown = backend->Window(handle)->Pixels();
  Dispatch(effEditClose);
  EXPECT_EQ(editor->getWindow()->DIBImageContainer2->ScratchBuffer(), nullptr)
      << "a closed editor keeps its picture, not its paint buffers";
  RecordPaints();

  Open();
  EXPECT_TRUE(paints.empty()) << "composed " << paints.size() << " times";
  // The moved window lost its pixels; its exposure shows the kept picture.
  Tick();
  EXPECT_EQ(backend->Window(handle)->Pixels(), shown) << "the window shows the whole picture";
  Tick();
  EXPECT_TRUE(paints.empty()) << "an exposed or idle editor composes nothing";
}

TEST_F(Reopen, WhatTheHostChangedWhileClosedIsComposedAloneAndShown) {
  for (int i = 1; i <= 32; ++i) HostSets(i, 0.0f);
  Open();
  Tick();
  Dispatch(effEditClose);
  // A step, a tie and a knob change while no window shows them.
  HostSets(5, 1.0f);
  HostSets(16 + 9, 1.0f);
  HostSets(41, 0.13f);  // FD1 cutoff
  Tick();
  RecordPaints();

  Open();
  Tick();
  EXPECT_EQ(backend->Window(handle)->Pixels(), FreshEditorPixels());
  ASSERT_FALSE(paints.empty());
  const framework::TRect whole{0, 0, editor->getWindow()->DIBImageContainer2->Width() - 1,
                               editor->getWindow()->DIBImageContainer2->Height() - 1};
  for (const framework::TRect& r : paints) {
    EXPECT_FALSE(r == whole) << "the whole picture was composed again";
    EXPECT_LT((r.Right - r.Left + 1) * (r.Bottom - r.Top + 1), whole.Right * whole.Bottom / 4);
  }
}

// A window closed under a drag opens again showing the values, not the drag.
TEST_F(Reopen, ClosingUnderADragReopensWithThePictureOfTheValues) {
  Open();
  Tick();
  const framework::TPoint knob = Centre("fd1cutoff");
  Press(knob);
  MoveTo({knob.X, knob.Y - 40});
  Dispatch(effEditClose);
  Open();
  const std::vector<std::uint32_t> shown = backend->Window(handle)->Pixels();
  EXPECT_EQ(shown, FreshEditorPixels());
}

}  // namespace
}  // namespace editortest
