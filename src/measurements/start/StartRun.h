#pragma once
#include "link/TestRun.h"

namespace kt {

struct Form;
struct StartCurves;
struct StartResult;

// The start test: four 300-sample curves over the first five seconds and a
// summary block. The instrument waits for the lamp to be switched on, so the
// blocks are awaited without a deadline, and the run is never repeated.
extern const RunSpec StartRun;

inline constexpr int StartSamples = 300;

// Below these peaks a channel has nothing on its terminal. The current limits
// are the floats the instrument sends for 0.02 A and 0.01 A, so a reading of
// exactly the limit counts as present.
inline constexpr float StartVoltageMin = 20.0f;          // lamp voltage, V
inline constexpr float StartLampCurrentMin = 0.02f;      // A
inline constexpr float StartFilamentCurrentMin = 0.01f;  // A
inline constexpr float StartCathodeCurrentMin = 0.02f;   // A

// Back/Next: the last measured start result; the cursor stays on its sample
// and reads the restored curves there.
void RestoreStartBackup(Form& form);

}  // namespace kt
