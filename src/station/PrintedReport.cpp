#include "station/PrintedReport.h"

#include "analysis/AnalysisReport.h"
#include "link/Form.h"
#include "verdict/VerdictReport.h"

namespace kt {

void PrintKindReport(Form& form, TestKind kind, const AnalysisData* analysis, int language, const Verdict* verdict,
                     Canvas& canvas) {
  if (kind == GaoTest || kind == BaoTest) {
    if (analysis) PrintAnalysisReport(form, *analysis, language, canvas);
  } else if (const KindOps* ops = form.MainKind(kind); ops && ops->Report) {
    ops->Report(form, canvas);
  }
  if (verdict) PrintVerdictBlock(canvas, *verdict, language != 1);
}

}  // namespace kt
