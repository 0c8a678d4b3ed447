#pragma once
// Who may do what at the station. Plain data and functions, no Qt: the user
// list's text form (the local file used while the run log is off) is parsed
// here, and the fuzz target feeds it anything.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "verdict/Profile.h"

namespace kt {

// Each role may do what the one before it may, and more: an operator scans,
// tests, prints and stores files; an engineer also sets limits and profiles,
// the port, the log target, the instrument, golden samples and overrides; an
// administrator also keeps the users.
enum class Role { None = 0, Operator = 1, Engineer = 2, Admin = 3 };
const char* RoleWord(Role role);  // "operator", "engineer", "admin"
Role RoleFromWord(std::string_view word);
const char* RoleName(Role role, bool chinese);

struct User {
  std::string Name;
  Role Level = Role::None;
  std::string Hash;  // libsodium's crypto_pwhash string: salted, slow, self-describing
  bool operator==(const User&) const = default;
};

inline constexpr std::size_t UsersMaxBytes = 256 * 1024;
inline constexpr std::size_t MaxUsers = 1000;
inline constexpr std::size_t SecretMinBytes = 4, SecretMaxBytes = 128;

// A name fills the test information's Operator: one line, 1 to 30 GBK
// bytes, characters a data file keeps. 0, or 1 with the reason.
int CheckUserName(const std::string& name, ProfileMessage& error);
// A PIN or password: 4 to 128 bytes.
int CheckSecret(const std::string& secret, ProfileMessage& error);

// Salted slow hash of a secret (Argon2id at libsodium's interactive cost).
// 0, or 1 when the library could not (out of memory).
int HashSecret(const std::string& secret, std::string& hash);
// Whether `secret` is the one `hash` was made from. A malformed hash is
// never a match.
bool SecretMatches(const std::string& hash, const std::string& secret);

// The local user file: {"users": [{"name": "...", "role": "operator", "hash": "$argon2id$..."}]}.
// Refused: not one JSON object, unknown keys, a bad name, a name twice, an
// unknown role, a hash that is not a crypto_pwhash string, more than
// MaxUsers users, a text over UsersMaxBytes.
int ParseUsers(std::string_view text, std::vector<User>& users, ProfileMessage& error);
std::string UsersToJson(const std::vector<User>& users);

}  // namespace kt
