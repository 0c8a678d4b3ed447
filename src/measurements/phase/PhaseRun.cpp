#include "measurements/phase/PhaseRun.h"

#include "measurements/input/InputRun.h"
#include "measurements/phase/PhaseDecode.h"

namespace kt {

const RunSpec PhaseRun{
    .Kind = PhaseTest,
    .StatusPrefix = "相位角性能测试：",
    .Command = '0',
    .Blocks = MainsBlocks,  // the input test's blocks, with its command
    .Decode = DecodePhaseMeasurement,
};

}  // namespace kt
