#include "measurements/MeasurementKinds.h"

#include "link/Form.h"
#include "measurements/comp/CompPage.h"
#include "measurements/comp/CompRecord.h"
#include "measurements/comp/CompReport.h"
#include "measurements/comp/CompRun.h"
#include "measurements/input/InputDecode.h"
#include "measurements/input/InputPage.h"
#include "measurements/input/InputRecord.h"
#include "measurements/input/InputReport.h"
#include "measurements/input/InputRun.h"
#include "measurements/output/OutputPage.h"
#include "measurements/output/OutputRecord.h"
#include "measurements/output/OutputReport.h"
#include "measurements/output/OutputRun.h"
#include "measurements/phase/PhaseDecode.h"
#include "measurements/phase/PhasePage.h"
#include "measurements/phase/PhaseRecord.h"
#include "measurements/phase/PhaseReport.h"
#include "measurements/phase/PhaseRun.h"
#include "measurements/start/StartCursor.h"
#include "measurements/start/StartPage.h"
#include "measurements/start/StartRecord.h"
#include "measurements/start/StartReport.h"
#include "measurements/start/StartRun.h"

namespace kt {

void RegisterMeasurementKinds(Form& form) {
  form.Kinds[InputTest].Run = &InputRun;
  form.Kinds[InputTest].Restore = RestoreInputSnapshot;
  form.Kinds[InputTest].Paint = PaintInputPage;
  form.Kinds[InputTest].Save = SaveInputRecord;
  form.Kinds[InputTest].Load = LoadInputRecord;
  form.Kinds[InputTest].Report = PrintInputReport;
  form.Kinds[OutputTest].Run = &OutputRun;
  form.Kinds[OutputTest].Paint = PaintOutputPage;
  form.Kinds[OutputTest].Restore = RestoreOutputSnapshot;
  form.Kinds[OutputTest].Save = SaveOutputRecord;
  form.Kinds[OutputTest].Load = LoadOutputRecord;
  form.Kinds[OutputTest].Report = PrintOutputReport;
  form.Kinds[CompTest].Run = &CompRun;
  form.Kinds[CompTest].Restore = RestoreCompSnapshot;
  form.Kinds[CompTest].Paint = PaintCompPage;
  form.Kinds[CompTest].Save = SaveCompRecord;
  form.Kinds[CompTest].Load = LoadCompRecord;
  form.Kinds[CompTest].Report = PrintCompReport;
  form.Kinds[StartTest].Run = &StartRun;
  form.Kinds[StartTest].Restore = RestoreStartBackup;
  form.Kinds[StartTest].Paint = PaintStartPage;
  form.Kinds[StartTest].MouseDown = StartMouseDown;
  form.Kinds[StartTest].KeyDown = StartKeyDown;
  form.Kinds[StartTest].Save = SaveStartRecord;
  form.Kinds[StartTest].Load = LoadStartRecord;
  form.Kinds[StartTest].Report = PrintStartReport;
  form.Kinds[PhaseTest].Run = &PhaseRun;
  form.Kinds[PhaseTest].Restore = RestorePhaseSnapshot;
  form.Kinds[PhaseTest].Paint = PaintPhasePage;
  form.Kinds[PhaseTest].Save = SavePhaseRecord;
  form.Kinds[PhaseTest].Load = LoadPhaseRecord;
  form.Kinds[PhaseTest].Report = PrintPhaseReport;
}

}  // namespace kt
