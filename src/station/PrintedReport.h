#pragma once
#include "core/TestKind.h"

namespace kt {

class Canvas;
struct AnalysisData;
struct Form;
struct Verdict;

// The printed report of `kind`, the same from the windows and the command
// line: the kind's own report, then the verdict block when the results were
// judged (`verdict` not null). `language` is the report's, 0 Chinese or 1
// English: the analysis report (the envelope's and the high-frequency
// analysis's, drawn from `analysis`) and the verdict block take it; the other
// kinds' reports speak the form's language, which the caller passes.
void PrintKindReport(Form& form, TestKind kind, const AnalysisData* analysis, int language, const Verdict* verdict,
                     Canvas& canvas);

}  // namespace kt
