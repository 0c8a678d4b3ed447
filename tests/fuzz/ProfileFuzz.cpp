// Any byte string as a limit profile: refused with a message in both
// languages, or accepted, and then its written form is accepted again as the
// same profile and writes as the same text (what a station copies to another
// must mean the same there).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "verdict/Profile.h"

static void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
  std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  kt::Profile p;
  kt::ProfileMessage m;
  if (kt::ParseProfile(text, "fuzz.json", p, m) != 0) {
    if (m.English.empty() || m.Chinese.empty()) Fail("refused without a message", m.English);
    return 0;
  }
  if (p.RawText != text) Fail("raw text not kept", p.RawText);
  const std::string written = kt::ProfileToJson(p);
  kt::Profile back;
  if (kt::ParseProfile(written, "fuzz.json", back, m) != 0) Fail("written form refused", m.English + "\n" + written);
  if (!kt::SameContent(p, back)) Fail("written form reads as another profile", written);
  if (kt::ProfileToJson(back) != written) Fail("written form not stable", written);
  return 0;
}
