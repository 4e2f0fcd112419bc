// The step sequencer's process-wide flags.
#pragma once

#include <stdint.h>

// Set while a timer tick performs a step; nested ticks (from the message loops
// of dialogs and message boxes that a step runs) return at once while it is set.
extern bool StepBusy;

// 0 run, 1 held (the uninstall dialog waits for its completion button),
// 2 released (the next tick clears StepBusy and goes on).
constexpr int32_t kStepRun = 0;
constexpr int32_t kStepHeld = 1;
constexpr int32_t kStepReleased = 2;
extern int32_t StepHold;
