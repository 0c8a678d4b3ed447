// Any byte string as the local user file: refused with a message in both
// languages, or read as users whose names fit the Operator field, whose
// roles are known and whose hashes are password hashes; written back, the
// same users.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "station/Users.h"

static void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
  std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<kt::User> users;
  kt::ProfileMessage m;
  if (kt::ParseUsers(text, users, m) != 0) {
    if (m.English.empty() || m.Chinese.empty()) Fail("refused without a message", text);
    if (!users.empty()) Fail("a refused file gave users", text);
    return 0;
  }
  for (const kt::User& u : users) {
    if (kt::CheckUserName(u.Name, m) != 0) Fail("a bad name was taken", u.Name);
    if (u.Level < kt::Role::Operator || u.Level > kt::Role::Admin) Fail("an unknown role was taken", u.Name);
    // A hash that matches an empty secret would let anyone in.
    if (kt::SecretMatches(u.Hash, "")) Fail("a hash matches the empty secret", u.Hash);
  }
  std::vector<kt::User> back;
  if (kt::ParseUsers(kt::UsersToJson(users), back, m) != 0 || back != users) Fail("written form differs", text);
  return 0;
}
