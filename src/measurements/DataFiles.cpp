#include "measurements/DataFiles.h"

#include <cstring>
#include <vector>

#include "link/Controller.h"
#include "link/Form.h"
#include "measurements/RecordFile.h"

namespace kt {

namespace {

const RecordLayout* MainKindRecord(const Form& form, std::int32_t kind) {
  return form.MainKind(kind) ? form.MainKind(kind)->Record : nullptr;
}

}  // namespace

std::string DataFileName(const std::string& chosen) { return WithExtension(chosen, ".dat"); }

int OpenDataFile(Form& form, const std::string& path) {
  std::vector<std::uint8_t> head;
  const FileResult read = ReadRecordFile(path, DataFileHeaderSize, head);
  if (read == FileResult::OpenFailed) {
    form.host.MessageBox("打开数据文件失败!", "警告");
    return 1;
  }
  // A file too short to hold the kind is no data file either.
  if (read != FileResult::Ok || std::memcmp(head.data(), DataFileMagic, DataFileMagicSize) != 0) {
    form.host.MessageBox("数据文件格式错误!", "警告");
    form.host.Repaint();
    return 1;
  }
  // The page changes only once a record has loaded: a refused file leaves
  // the shown results (which Store and Print would use) as they were.
  RecordParser p(head.data() + DataFileMagicSize, 4);
  const RecordLayout* record = MainKindRecord(form, p.I32());
  int result = 1;
  if (record)
    result = LoadRecord(form, *record, path);
  else
    form.host.MessageBox("数据文件格式错误!", "警告");
  form.host.Repaint();
  return result;
}

int OpenRecordBytes(Form& form, std::int32_t kind, std::span<const std::uint8_t> bytes) {
  const RecordLayout* record = MainKindRecord(form, kind);
  if (!record || bytes.size() < DataFileHeaderSize ||
      std::memcmp(bytes.data(), DataFileMagic, DataFileMagicSize) != 0) {
    form.host.MessageBox("数据文件格式错误!", "警告");
    return 1;
  }
  LockForFileCommand(form);
  if (ParseRecord(form, *record, bytes) == 0) return 0;
  form.host.Repaint();  // the lock is set all the same
  return 1;
}

int StoreDataFile(Form& form, const std::string& path) {
  const RecordLayout* record = MainKindRecord(form, form.ShownKind);
  if (!record) return 1;
  return SaveRecord(form, *record, path);
}

}  // namespace kt
