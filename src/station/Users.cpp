#include "station/Users.h"

#include <sodium.h>

#include <nlohmann/json.hpp>

#include "core/TestInfo.h"
#include "platform/GbkText.h"

namespace kt {

namespace {

int Refuse(ProfileMessage& error, const std::string& english, const std::string& chinese) {
  error.English = english;
  error.Chinese = chinese;
  return 1;
}

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// What crypto_pwhash_str writes: "$argon2id$v=19$m=...,t=...,p=...$salt$hash",
// printable ASCII, shorter than its buffer.
bool HashShaped(const std::string& hash) {
  if (hash.size() >= crypto_pwhash_STRBYTES || (hash.rfind("$argon2id$", 0) != 0 && hash.rfind("$argon2i$", 0) != 0))
    return false;
  for (unsigned char c : hash)
    if (c <= 0x20 || c >= 0x7f) return false;
  return true;
}

}  // namespace

const char* RoleWord(Role role) {
  switch (role) {
    case Role::Operator:
      return "operator";
    case Role::Engineer:
      return "engineer";
    case Role::Admin:
      return "admin";
    case Role::None:
      break;
  }
  return "";
}

Role RoleFromWord(std::string_view word) {
  for (Role r : {Role::Operator, Role::Engineer, Role::Admin})
    if (word == RoleWord(r)) return r;
  return Role::None;
}

const char* RoleName(Role role, bool chinese) {
  switch (role) {
    case Role::Operator:
      return chinese ? "操作员" : "operator";
    case Role::Engineer:
      return chinese ? "工程师" : "engineer";
    case Role::Admin:
      return chinese ? "管理员" : "administrator";
    case Role::None:
      break;
  }
  return "";
}

int CheckUserName(const std::string& name, ProfileMessage& error) {
  const std::size_t max = TestInfoSizes::Operator - 1;
  bool oneLine = name.find_first_not_of(' ') != std::string::npos && name.front() != ' ' && name.back() != ' ';
  for (unsigned char c : name) oneLine = oneLine && c >= 0x20 && c != 0x7f;
  if (!oneLine)
    return Refuse(error, "a user name is one line of text, without control characters or spaces at its ends",
                  "用户名必须是一行文本，不含控制字符，首尾无空格");
  const std::string gbk = Utf8ToGbk(name);
  if (GbkLength(name) > max || GbkToUtf8(gbk.data(), gbk.size()) != name)
    return Refuse(
        error,
        "user name \"" + name + "\": at most " + std::to_string(max) +
            " bytes of characters a data file can keep (it fills the Operator field)",
        "用户名“" + name + "”：最多 " + std::to_string(max) + " 字节，且只含数据文件能保存的字符（用作操作员）");
  return 0;
}

int CheckSecret(const std::string& secret, ProfileMessage& error) {
  if (secret.size() < SecretMinBytes || secret.size() > SecretMaxBytes)
    return Refuse(
        error,
        "a PIN or password has " + std::to_string(SecretMinBytes) + " to " + std::to_string(SecretMaxBytes) +
            " characters",
        "PIN 或密码须为 " + std::to_string(SecretMinBytes) + " 至 " + std::to_string(SecretMaxBytes) + " 个字符");
  return 0;
}

int HashSecret(const std::string& secret, std::string& hash) {
  char out[crypto_pwhash_STRBYTES];
  if (!SodiumReady() || crypto_pwhash_str(out, secret.data(), secret.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    return 1;
  hash = out;
  return 0;
}

bool SecretMatches(const std::string& hash, const std::string& secret) {
  if (!SodiumReady() || !HashShaped(hash)) return false;
  char buffer[crypto_pwhash_STRBYTES] = {};
  hash.copy(buffer, sizeof buffer - 1);
  return crypto_pwhash_str_verify(buffer, secret.data(), secret.size()) == 0;
}

int ParseUsers(std::string_view text, std::vector<User>& users, ProfileMessage& error) {
  if (text.size() > UsersMaxBytes)
    return Refuse(error, "the user file is larger than " + std::to_string(UsersMaxBytes) + " bytes",
                  "用户文件大于 " + std::to_string(UsersMaxBytes) + " 字节");
  nlohmann::json j;
  try {
    j = nlohmann::json::parse(text.begin(), text.end());
  } catch (const std::exception&) {
    return Refuse(error, "the user file is not valid JSON", "用户文件不是有效的 JSON");
  }
  const auto list = j.is_object() && j.size() == 1 ? j.find("users") : j.end();
  if (list == j.end() || !list->is_array() || list->size() > MaxUsers)
    return Refuse(error, "the user file must be {\"users\": [...]} with at most " + std::to_string(MaxUsers) + " users",
                  "用户文件必须为 {\"users\": [...]}，至多 " + std::to_string(MaxUsers) + " 个用户");
  std::vector<User> read;
  for (const auto& u : *list) {
    const std::string where = "user " + std::to_string(read.size() + 1);
    const std::string zhWhere = "第 " + std::to_string(read.size() + 1) + " 个用户";
    if (!u.is_object() || u.size() != 3 || !u.value("name", nlohmann::json()).is_string() ||
        !u.value("role", nlohmann::json()).is_string() || !u.value("hash", nlohmann::json()).is_string())
      return Refuse(error, where + ": needs exactly \"name\", \"role\" and \"hash\", as text",
                    zhWhere + "：必须恰好含文本“name”“role”“hash”");
    User user{u["name"].get<std::string>(), RoleFromWord(u["role"].get<std::string>()), u["hash"].get<std::string>()};
    ProfileMessage why;
    if (CheckUserName(user.Name, why)) return Refuse(error, where + ": " + why.English, zhWhere + "：" + why.Chinese);
    if (user.Level == Role::None)
      return Refuse(error, where + " (" + user.Name + "): the role is operator, engineer or admin",
                    zhWhere + "（" + user.Name + "）：角色须为 operator、engineer 或 admin");
    if (!HashShaped(user.Hash))
      return Refuse(error, where + " (" + user.Name + "): the hash is not a password hash this program makes",
                    zhWhere + "（" + user.Name + "）：hash 不是本程序生成的密码散列");
    for (const User& seen : read)
      if (seen.Name == user.Name)
        return Refuse(error, "user \"" + user.Name + "\" is listed twice", "用户“" + user.Name + "”出现两次");
    read.push_back(std::move(user));
  }
  users = std::move(read);
  return 0;
}

std::string UsersToJson(const std::vector<User>& users) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const User& u : users) list.push_back({{"name", u.Name}, {"role", RoleWord(u.Level)}, {"hash", u.Hash}});
  nlohmann::ordered_json doc;
  doc["users"] = std::move(list);
  return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace kt
