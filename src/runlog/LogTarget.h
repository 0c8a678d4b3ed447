#pragma once
// Where the run log lives, as the setting and KT6100_LOG spell it:
//
//   off | none                          no log at all
//   sqlite:PATH                         an SQLite file (created when missing)
//   postgresql://[USER[:PASSWORD]@][HOST][:PORT]/DBNAME[?KEY=VALUE&...]
//   postgres://...                      the same
//
// In the PostgreSQL form every part is percent-decoded. Query keys:
// host (a host name or a Unix-socket folder, e.g. ?host=/run/postgresql),
// port, user, password, dbname; any other key is passed on to the client
// library as a connection option (connect_timeout=5, sslmode=require, ...).
// An empty text means the default: an SQLite file in the data folder.
#include <string>

namespace kt {

struct LogTarget {
  enum class Driver { Default, None, Sqlite, Postgres };
  Driver Kind = Driver::Default;
  std::string Path;  // SQLite file
  std::string Host;  // PostgreSQL: host name, or a socket folder when it starts with '/'
  int Port = 0;      // 0: the client's default (5432)
  std::string User, Password, Database;
  std::string Options;  // extra client options, "key=value;key=value"

  // For messages and the window: the target without the password.
  std::string Describe() const;
};

// 0 on success; 1 with a message that names what is wrong.
int ParseLogTarget(const std::string& text, LogTarget& target, std::string& error);

}  // namespace kt
