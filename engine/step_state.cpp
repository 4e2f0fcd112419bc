#include "engine/step_state.h"

bool StepBusy = false;
int32_t StepHold = kStepRun;
