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
  form.Kinds[InputTest] = {&InputRun, RestoreInputSnapshot, PaintInputPage,  nullptr,
                           nullptr,   &InputRecord,         PrintInputReport};
  form.Kinds[OutputTest] = {&OutputRun, RestoreOutputSnapshot, PaintOutputPage,  nullptr,
                            nullptr,    &OutputRecord,         PrintOutputReport};
  form.Kinds[CompTest] = {&CompRun, RestoreCompSnapshot, PaintCompPage, nullptr, nullptr, &CompRecord, PrintCompReport};
  form.Kinds[StartTest] = {&StartRun,    RestoreStartBackup, PaintStartPage,  StartMouseDown,
                           StartKeyDown, &StartRecord,       PrintStartReport};
  form.Kinds[PhaseTest] = {&PhaseRun, RestorePhaseSnapshot, PaintPhasePage,  nullptr,
                           nullptr,   &PhaseRecord,         PrintPhaseReport};
}

}  // namespace kt
