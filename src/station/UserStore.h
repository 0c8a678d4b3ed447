#pragma once
// Where the station's users are kept: in the run log's database while the
// log is on, so that the stations of a line share them; in a local file
// (users.json beside the settings) while it is off.
#include <string>
#include <vector>

#include "runlog/RunLogConfig.h"
#include "station/Users.h"

namespace kt {

class UserStore {
 public:
  // `log` resolved from the same settings the run log uses.
  explicit UserStore(const RunLogConfig& log);
  // What it uses, to tell the operator ("the run log ...", "/path/users.json").
  std::string Where() const;
  // 0, or 1 with the reason: an unreadable store is never taken for an
  // empty one (that would let anyone in).
  int Load(std::vector<User>& users, std::string& error) const;
  // Adds the user or replaces the one of that name.
  int Put(const User& user, std::string& error) const;
  int Remove(const std::string& name, std::string& error) const;

 private:
  bool inLog_ = false;
  ResolvedLog log_;
  std::string file_;
  std::string problem_;  // the log setting could not be read
};

// The local user file's path (the settings' folder).
std::string LocalUsersFile();

}  // namespace kt
