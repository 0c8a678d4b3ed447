#include "measurements/phase/PhaseRun.h"

#include "measurements/input/InputRun.h"

namespace kt {

namespace {

constexpr BlockSpec PhaseBlocks[] = {
    {MainsFrameBytes, 45, StoreMainsVoltage},
    {MainsFrameBytes, 90, StoreMainsCurrent},
    {InputValueBytes, 100, StoreInputValues},
};

}  // namespace

const RunSpec PhaseRun = [] {
  RunSpec s;
  s.Kind = PhaseTest;
  s.StatusPrefix = "相位角性能测试：";
  s.Command = '0';
  s.Blocks = PhaseBlocks;
  return s;
}();

}  // namespace kt
