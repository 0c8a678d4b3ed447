#pragma once
#include "link/TestRun.h"

namespace kt {

// The start test: four 300-sample curves over the first five seconds and a
// summary block. The instrument waits for the lamp to be switched on, so the
// blocks are awaited without a deadline, and the run is never repeated.
extern const RunSpec StartRun;

}  // namespace kt
