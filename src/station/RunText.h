#pragma once
// A run as text: the one JSON object a run that the command line prints and
// a remote controller fetches, and the short table to read. CSV is the log
// export's layout (RunLogExport.h).
#include <string>
#include <vector>

#include "runlog/LoggedRun.h"

namespace kt {

enum class OutputForm { Table, Json, Csv };

// The command line's names of the kinds, and back (NoTest when unknown).
const char* CliKindName(TestKind kind);
TestKind CliKind(const std::string& name);

// One JSON object on one line: kind, time and id as the log keeps them (id
// null when the run is not logged), for an envelope a note that it has no
// figures, test_info, figures (a figure not measured is null), arrays (the
// per-harmonic figures, 40 each), verdict.
std::string RunJson(const LoggedRun& run);

// The figures measured, one a line with their units, then the verdict.
std::string RunTable(const LoggedRun& run);

}  // namespace kt
