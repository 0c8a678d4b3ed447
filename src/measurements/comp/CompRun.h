#pragma once
#include "link/TestRun.h"

namespace kt {

struct Form;

// The comprehensive exchange: the mains blocks, one block with both value
// frames (40 + 64 bytes), then the four envelopes.
extern const RunSpec CompRun;

void RestoreCompSnapshot(Form& form);

}  // namespace kt
