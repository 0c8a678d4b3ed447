#pragma once
// Runs and events that could not be written to the log wait here, one file
// each, until the log is back. A file appears whole or not at all (written
// to a temporary name, flushed to disk, then renamed), so a crash or a kill
// never leaves half a run; sending one twice is harmless because the log
// keys runs by their id.
#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

#include "runlog/LoggedRun.h"

namespace kt {

// The outbox file's contents: a small binary form (QDataStream, doubles
// bit-exact) behind a magic word and a version.
QByteArray SerializeRun(const LoggedRun& run);
QByteArray SerializeEvent(const LoggedEvent& event);
// 0 on success; 1 for a file that is not a whole outbox entry.
int DeserializeEntry(const QByteArray& bytes, bool& isRun, LoggedRun& run, LoggedEvent& event);

class RunOutbox {
 public:
  explicit RunOutbox(std::string folder);
  const std::string& Folder() const { return Folder_; }

  // 0 when the entry is on disk; 1 with the reason (the folder is not named).
  int Put(const LoggedRun& run, QString& error);
  int Put(const LoggedEvent& event, QString& error);
  // The waiting entries, oldest first.
  std::vector<std::string> Pending() const;
  int Count() const { return static_cast<int>(Pending().size()); }
  // 0 on success. 1: not a whole entry; it is renamed to *.bad, so that it
  // does not block the rest, and error says so. 2: it cannot be read (error:
  // why); it may have been sent and removed by another program meanwhile.
  int Load(const std::string& path, bool& isRun, LoggedRun& run, LoggedEvent& event, QString& error) const;
  void Remove(const std::string& path) const;

 private:
  int WriteEntry(const std::string& name, const QByteArray& bytes, QString& error);
  std::string Folder_;
};

}  // namespace kt
