#include "runlog/RunLogImport.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "runlog/RunLogStore.h"

namespace kt {
namespace {

bool IsDataFile(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".dat" || ext == ".bdt";
}

std::int64_t ModifiedMs(const std::filesystem::path& p) {
  std::error_code ec;
  const auto t = std::filesystem::last_write_time(p, ec);
  if (ec) return 0;
  const auto system = std::chrono::file_clock::to_sys(t);
  return std::chrono::duration_cast<std::chrono::milliseconds>(system.time_since_epoch()).count();
}

}  // namespace

int ImportFolder(QSqlDatabase& db, const std::string& folder, const RunDecoder& decode, const std::string& station,
                 ImportResult& result, QString& error) {
  namespace fs = std::filesystem;
  result = ImportResult{};
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    error = QString("import: %1 is not a folder").arg(QString::fromStdString(folder));
    return 1;
  }
  std::vector<fs::path> files;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec) && IsDataFile(it->path())) files.push_back(it->path());
  if (ec) {
    error =
        QString("import: cannot read %1: %2").arg(QString::fromStdString(folder), QString::fromStdString(ec.message()));
    return 1;
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& path : files) {
    const std::string name = path.string();
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > LargestDataFile) {
      result.Refused.emplace_back(
          name, ec ? "cannot be read: " + ec.message() : std::to_string(size) + " bytes: larger than any data file");
      ec.clear();
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    // At most one byte past the limit: the file may have grown since.
    std::vector<std::uint8_t> bytes(LargestDataFile + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (!in.is_open() || in.bad() || !in.eof()) {
      result.Refused.emplace_back(name, in.is_open() && !in.bad() ? "larger than any data file" : "cannot be read");
      continue;
    }
    const std::string id = RunIdFromBytes(bytes);
    bool present = false;
    if (RunExists(db, id, present, error)) return 1;
    if (present) {
      ++result.AlreadyPresent;
      continue;
    }
    LoggedRun run;
    std::string reason;
    if (decode(name, bytes, run, reason)) {
      result.Refused.emplace_back(name, reason.empty() ? std::string("not a data file") : reason);
      continue;
    }
    run.Id = id;
    if (run.TimeUtcMs == 0) run.TimeUtcMs = ModifiedMs(path);
    if (run.Station.empty()) run.Station = station;
    if (run.Record.empty()) run.Record = bytes;
    WriteOutcome outcome{};
    if (WriteRun(db, run, outcome, error)) return 1;
    if (outcome == WriteOutcome::Written)
      ++result.Imported;
    else
      ++result.AlreadyPresent;
  }
  return 0;
}

}  // namespace kt
