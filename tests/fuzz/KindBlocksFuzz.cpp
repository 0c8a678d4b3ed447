// One test kind's block set, as the instrument might send it: the input is
// cut into the kind's blocks at their exact sizes (zero-padded when short),
// stored by the kind's own stores and decoded, then the main window's page
// and report are drawn, or for the analysis window's two kinds its panels
// and report. Built once per kind, with KT_FUZZ_KIND set to it.
//
// One byte past the blocks, when there is one, sets what the operator could
// have chosen: bit 0 Chinese, bit 1 wide-band mode (input page), bit 2 the
// analysis window's English; a second one is the x of the last click on an
// envelope panel.
#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "fuzz/FuzzHarness.h"
#include "link/Form.h"
#include "link/TestRun.h"
#include "support/Fakes.h"

#ifndef KT_FUZZ_KIND
#error "KT_FUZZ_KIND names the test kind of this target"
#endif

namespace {

constexpr kt::TestKind Kind = KT_FUZZ_KIND;
static_assert(Kind >= kt::InputTest && Kind <= kt::BaoTest);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kt::fuzz::StartQt();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kt::test::FormRig rig;
  kt::Form& form = *rig.form;
  kt::AnalysisData& analysis = rig.analysis;
  const kt::RunSpec& run = *form.Kinds[Kind].Run;

  const std::size_t used = kt::fuzz::StoreBlocks(form, run, data, size);
  const std::uint8_t modes = used < size ? data[used] : 0;
  form.ChineseMode = modes & 1;
  form.WideFreqMode = (modes >> 1) & 1;
  const int english = (modes >> 2) & 1;
  analysis.SelectX = used + 1 < size ? data[used + 1] : 150;

  // The run's first step makes its kind the shown one; the analysis
  // window's envelope test leaves that to the main window.
  if (run.OwnsRun) form.ShownKind = Kind;
  run.Decode(form);

  if (Kind == kt::GaoTest || Kind == kt::BaoTest)
    kt::fuzz::CheckAnalysis(form, analysis, english);
  else
    kt::fuzz::CheckShownKind(form);
  return 0;
}
