// Any byte string opened as the analysis window's *.bdt file, then its
// panels, value cells and report, and the main window's page for the kind
// the file left shown.
#include <cstdio>
#include <cstdlib>

#include "analysis/AnalysisFile.h"
#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "fuzz/FuzzHarness.h"
#include "link/Form.h"
#include "support/Fakes.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kt::fuzz::StartQt();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kt::test::FormRig rig;
  kt::Form& form = *rig.form;
  kt::AnalysisData& a = rig.analysis;
  a.SelectX = 150;  // a click in the middle of the envelope panels
  std::int32_t language = 1;
  const int result = kt::OpenAnalysisFile(form, a, language, kt::fuzz::ScratchFile(data, size, ".bdt"));
  if ((result == 0) != rig.host.messages.empty()) {
    std::fprintf(stderr, "open returned %d with %zu messages\n", result, rig.host.messages.size());
    std::abort();
  }
  kt::fuzz::CheckAnalysis(form, a, language);
  kt::fuzz::CheckShownKind(form);
  return 0;
}
