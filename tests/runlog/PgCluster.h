#pragma once
// A throw-away PostgreSQL cluster for tests and benchmarks: initdb in a
// temporary folder, a server listening on a Unix socket in that folder only
// (no TCP), run as an unprivileged user when we are root (the server refuses
// to run as root). Start reports what failed; it never skips.
//
// A test that needs only a log, not a server to stop, takes a fresh database
// on the one server its process shares (FreshDatabase): a server's start
// costs seconds, a database a few milliseconds.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "runlog/LogTarget.h"

namespace kt::test {

class PgCluster {
 public:
  static constexpr const char* Bin = "/usr/lib/postgresql/15/bin";

  ~PgCluster() {
    Stop();
    if (!Dir_.empty()) std::filesystem::remove_all(Dir_);
  }

  // fsync=false: faster, for tests that stop the server cleanly.
  int Start(std::string& error, bool fsync = false) {
    if (!std::filesystem::exists(std::string(Bin) + "/initdb")) {
      error = std::string("PostgreSQL server binaries not found in ") + Bin + " (apt-get install postgresql)";
      return 1;
    }
    char templ[] = "/tmp/ktpg-XXXXXX";
    if (!mkdtemp(templ)) {
      error = "cannot create a temporary folder";
      return 1;
    }
    Dir_ = templ;
    if (geteuid() == 0) {
      AsUser_ = "runuser -u nobody -- ";
      if (Shell("chown nobody " + Dir_, error)) return 1;
    }
    if (Shell(AsUser_ + Bin + "/initdb -D " + Dir_ + "/data -U kt -A trust -E UTF8 --locale=C.UTF-8 --no-sync > " +
                  Dir_ + "/initdb.log 2>&1",
              error))
      return 1;
    Options_ = "-k " + Dir_ + " -c listen_addresses= -c max_connections=60" +
               std::string(fsync ? "" : " -c fsync=off -c synchronous_commit=off -c full_page_writes=off");
    if (StartServer(error)) return 1;
    return Shell(std::string(Bin) + "/createdb -h " + Dir_ + " -U kt runlog", error);
  }

  int StartServer(std::string& error) {
    if (Shell(AsUser_ + Bin + "/pg_ctl -D " + Dir_ + "/data -l " + Dir_ + "/server.log -w -t 120 -o '" + Options_ +
                  "' start > /dev/null",
              error))
      return 1;
    Running_ = true;
    return 0;
  }

  int StopServer(std::string& error) {
    Running_ = false;
    return Shell(AsUser_ + Bin + "/pg_ctl -D " + Dir_ + "/data -m fast -w -t 120 stop > /dev/null", error);
  }

  void Stop() {
    std::string ignored;
    if (Running_) StopServer(ignored);
  }

  // A new, empty database on the process's shared server, started by the
  // first call and stopped when the process ends.
  static int FreshDatabase(LogTarget& target, std::string& error) {
    static PgCluster shared;
    static std::string failed;
    static const bool started = shared.Start(failed) == 0;
    static int made = 0;
    const std::string name = "fresh" + std::to_string(++made);
    error = failed;
    if (!started || Shell(std::string(Bin) + "/createdb -h " + shared.Dir_ + " -U kt " + name, error)) return 1;
    return ParseLogTarget("postgresql://kt@/" + name + "?host=" + shared.Dir_, target, error);
  }

  // The KT6100_LOG form for this cluster.
  std::string Target() const { return "postgresql://kt@/runlog?host=" + Dir_; }
  const std::string& Dir() const { return Dir_; }

 private:
  static int Shell(const std::string& command, std::string& error) {
    if (std::system(command.c_str()) != 0) {
      error = "failed: " + command;
      return 1;
    }
    return 0;
  }
  std::string Dir_, AsUser_, Options_;
  bool Running_ = false;
};

}  // namespace kt::test
