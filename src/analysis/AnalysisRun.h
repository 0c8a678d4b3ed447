#pragma once
#include <cstdint>

#include "link/TestRun.h"

namespace kt {

struct Form;

// The analysis window's two exchanges, run by the main window's step
// framework: the envelope test (kind 7, the output test's command and
// blocks, no deadline, progress on the analysis window) and the
// high-frequency analysis (kind 6, the clicked envelope point sent after the
// first reply byte).
extern const RunSpec BaoRun;
extern const RunSpec GaoRun;

// Plugs both into the form's kind table.
void RegisterAnalysisKinds(Form& form);

// A new form made ready for every kind of run, as the window, the command
// line and the log's decoder all need it: every kind plugged in, no results
// yet. The analysis data stays the caller's to give.
void PrepareForm(Form& form);

// The analysis window is closing: its tests can no longer be selected. A run
// of either still waiting for blocks is abandoned, so that the block in
// flight is dropped instead of being decoded as another kind's or starting a
// new analysis behind the operator's back.
void EndAnalysisRuns(Form& form);

}  // namespace kt
