#include "measurements/phase/PhaseRecord.h"

#include <vector>

#include "link/Form.h"
#include "measurements/RecordFile.h"
#include "measurements/input/InputRecord.h"

namespace kt {

int SavePhaseRecord(Form& form, const std::string& path) {
  RecordBuilder b;
  b.Bytes(DataFileMagic, DataFileMagicSize);
  b.I32(PhaseTest);
  WriteMainsBody(b, form, true);
  return SaveRecord(form, path, b);
}

int LoadPhaseRecord(Form& form, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (LoadRecord(form, path, PhaseRecordSize, bytes) != 0) return 1;
  RecordParser p(bytes.data(), bytes.size());
  p.Skip(DataFileMagicSize);
  form.ShownKind = p.I32();
  ReadMainsBody(p, form, true);
  form.host.SetHanZiBtnDown(form.ChineseMode == 0);
  return 0;
}

}  // namespace kt
