#include "measurements/phase/PhaseRun.h"

#include "measurements/input/InputRun.h"
#include "measurements/phase/PhaseDecode.h"

namespace kt {

const RunSpec PhaseRun = [] {
  RunSpec s;
  s.Kind = PhaseTest;
  s.StatusPrefix = "相位角性能测试：";
  s.Command = '0';
  s.Blocks = MainsBlocks;  // the input test's blocks, with its command
  s.Decode = DecodePhaseMeasurement;
  return s;
}();

}  // namespace kt
