#pragma once
// Bringing a folder of existing data files (*.dat, *.bdt, in it and below
// it) into the log. Decoding a file is the caller's: the decoder fills the
// run from the file's bytes and returns 0, or returns 1 with a reason. Each
// run gets an id made from its file's bytes, so importing the same folder
// again adds nothing.
#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runlog/LoggedRun.h"

namespace kt {

using RunDecoder = std::function<int(const std::string& path, const std::vector<std::uint8_t>& bytes, LoggedRun& run,
                                     std::string& error)>;

// No stored record is more than a few tens of kilobytes: a larger file is
// refused unread, so that a film or a disk image named *.dat costs nothing.
inline constexpr std::uintmax_t LargestDataFile = 1 << 20;

struct ImportResult {
  int Imported = 0;
  int AlreadyPresent = 0;
  std::vector<std::pair<std::string, std::string>> Refused;  // path, reason
};

// station: given to runs the decoder leaves without one. A run the decoder
// leaves without a time gets the file's modification time; without record
// bytes, the file's bytes. 0 when the walk finished (refused files are
// reported in the result); 1 when the log itself failed.
int ImportFolder(QSqlDatabase& db, const std::string& folder, const RunDecoder& decode, const std::string& station,
                 ImportResult& result, QString& error);

}  // namespace kt
