#include "measurements/start/StartRecord.h"

#include <vector>

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/RecordFile.h"
#include "measurements/start/StartCursor.h"
#include "measurements/start/StartRun.h"

namespace kt {

int SaveStartRecord(Form& form, const std::string& path) {
  const StartResult& r = form.M.Start;
  RecordBuilder b;
  b.Bytes(DataFileMagic, DataFileMagicSize);
  b.I32(StartTest);
  b.Floats(r.Peak, 4);
  b.Floats(r.CurveMax, 4);
  b.F32(r.WarmUpTime);
  b.Floats(r.PeakTime, 4);
  b.I32(r.CursorIndex);
  b.Floats(r.CursorValue, 4);
  for (const float* curve : r.Curve) b.Floats(curve, StartSamples);
  WriteModesAndInfo(b, form, false);
  return SaveRecord(form, path, b);
}

int LoadStartRecord(Form& form, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (LoadRecord(form, path, StartRecordSize, bytes) != 0) return 1;
  StartResult& r = form.M.Start;
  r.Valid = 1;
  form.TestLocked = 1;
  form.host.SetLockTestBtnDown(true);
  RecordParser p(bytes.data(), bytes.size());
  p.Skip(DataFileMagicSize);
  form.ShownKind = p.I32();
  p.Floats(r.Peak, 4);
  p.Floats(r.CurveMax, 4);
  r.WarmUpTime = p.F32();
  p.Floats(r.PeakTime, 4);
  // A damaged index must not send the cursor past the curves.
  r.CursorIndex = StartCursorSample(p.I32());
  p.Floats(r.CursorValue, 4);
  for (float* curve : r.Curve) p.Floats(curve, StartSamples);
  ReadModesAndInfo(p, form, false);
  r.CursorTime = StartSampleTime(r.CursorIndex);
  form.host.SetHanZiBtnDown(form.ChineseMode == 0);
  return 0;
}

}  // namespace kt
