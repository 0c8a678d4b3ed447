// Any byte string opened as a *.dat file through the main window's open
// dispatch, then the page and the report of whatever it left shown.
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzHarness.h"
#include "link/Form.h"
#include "measurements/DataFiles.h"
#include "support/Fakes.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kt::fuzz::StartQt();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kt::test::FormRig rig;
  kt::Form& form = *rig.form;
  const int result = kt::OpenDataFile(form, kt::fuzz::ScratchFile(data, size, ".dat"));
  // Every outcome is told: a load, or exactly one message.
  const bool loaded = result == 0 && form.ShownKind >= kt::InputTest && form.ShownKind <= kt::PhaseTest;
  if ((result == 0) != loaded || (result != 0 && rig.host.messages.size() != 1) ||
      (result == 0 && !rig.host.messages.empty())) {
    std::fprintf(stderr, "open returned %d with kind %d and %zu messages\n", result, form.ShownKind,
                 rig.host.messages.size());
    std::abort();
  }
  kt::fuzz::CheckShownKind(form);
  return 0;
}
