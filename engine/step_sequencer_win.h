// The step sequencer: OnStepTimer runs on every tick of the step timer of the
// background window and performs at most one step per tick.
#pragma once

#include <windows.h>

class BackgroundWnd;

// The step timer: identifier and period (milliseconds) given to SetTimer on
// the background window.
constexpr UINT_PTR kStepTimerId = 1;
constexpr UINT kStepTimerPeriod = 100;

// Called for every kStepTimerId tick of window's WM_TIMER.
void OnStepTimer(BackgroundWnd& window);
