#include "measurements/start/StartRecord.h"

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/start/StartCursor.h"
#include "measurements/start/StartRun.h"

namespace kt {

namespace {

template <typename Io, typename F>
void Fields(Io& io, F& form) {
  auto& r = form.M.Start;
  io.Floats(r.Peak, 4);
  io.Floats(r.CurveMax, 4);
  io.F32(r.WarmUpTime);
  io.Floats(r.PeakTime, 4);
  io.I32(r.CursorIndex);
  io.Floats(r.CursorValue, 4);
  for (auto& curve : r.Curve) io.Floats(curve, StartSamples);
  ModesAndInfoFields(io, form, false);
}

void AfterLoad(Form& form) {
  StartResult& r = form.M.Start;
  r.Valid = 1;
  form.TestLocked = 1;
  form.host.SetLockTestBtnDown(true);
  // A damaged index must not send the cursor past the curves.
  r.CursorIndex = StartCursorSample(r.CursorIndex);
  r.CursorTime = StartSampleTime(r.CursorIndex);
}

}  // namespace

const RecordLayout StartRecord{StartTest, StartRecordSize, Fields<RecordBuilder, const Form>,
                               Fields<RecordParser, Form>, AfterLoad};

}  // namespace kt
