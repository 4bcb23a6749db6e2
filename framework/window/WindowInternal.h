#pragma once

// Shared between the window layer's own files only.

namespace framework {

class TWinControl;

// Runs the pending paint requests of control and its windowed children.
void PaintWindowTree(TWinControl& control);
// Whether control or a windowed child of it has a paint request pending.
bool PaintsPendingInTree(const TWinControl& control);

}  // namespace framework
