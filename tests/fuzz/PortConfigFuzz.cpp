// Any byte string as Port.cfg: the port name read from it is always one the
// port dialog and the device lookup know, and the file left behind reads as
// the same name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/FuzzHarness.h"
#include "link/Form.h"
#include "link/PortConfig.h"
#include "support/Fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kt::test::FormRig rig;
  kt::Form& form = *rig.form;
  const std::string path = kt::fuzz::ScratchFile(data, size, ".cfg");
  kt::ReadPortConfig(form, path);
  const std::string name(form.PortName, strnlen(form.PortName, sizeof form.PortName));
  if (name != "COM1" && name != "COM2") {
    std::fprintf(stderr, "port name \"%s\" read from the file\n", name.c_str());
    std::abort();
  }
  // And it reads back as the same port at the next start.
  kt::test::FormRig again;
  kt::ReadPortConfig(*again.form, path);
  if (std::strcmp(again.form->PortName, form.PortName) != 0) {
    std::fprintf(stderr, "read back as %s after %s\n", again.form->PortName, form.PortName);
    std::abort();
  }
  return 0;
}
