#pragma once

// Shared between the window layer's own files only.

#include <cstdint>

namespace framework {

class TWinControl;
class TTimer;

namespace detail {
// Top-level controls that have a backend window, for PumpEvents' paints.
void RegisterRoot(TWinControl* root);
void UnregisterRoot(TWinControl* root);
// Whether root's window was made by the calling thread (whose PumpEvents
// serves it).
bool RootOfThisThread(const TWinControl* root);
// Schedules timer every interval ms on the calling thread; returns the entry's
// serial number (never 0).
std::uint64_t StartTimer(TTimer* timer, std::uint32_t interval);
void StopTimer(std::uint64_t serial);
}  // namespace detail

// Runs the pending paint requests of control and its windowed children.
void PaintWindowTree(TWinControl& control);
void FireDueTimers(std::uint64_t now);

}  // namespace framework
