#pragma once
#include "link/TestRun.h"

namespace kt {

// The comprehensive exchange: the mains blocks, one block with both value
// frames (40 + 64 bytes), then the four envelopes.
extern const RunSpec CompRun;

}  // namespace kt
