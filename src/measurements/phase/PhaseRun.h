#pragma once
#include "link/TestRun.h"

namespace kt {

// The phase-angle test fetches the input test's blocks with the same command.
extern const RunSpec PhaseRun;

}  // namespace kt
