#include "measurements/start/StartRun.h"

#include <algorithm>
#include <cstring>

#include "link/Form.h"

namespace kt {

namespace {

constexpr unsigned StartSamples = 300;
constexpr unsigned StartFrameBytes = 2 * StartSamples;
constexpr unsigned StartSummaryBytes = 37;  // nine numbers and the channel-order flag

template <int Wire>
void StoreCurve(Form& form, const std::uint8_t* data, unsigned n) {
  if (Wire == 0) form.M.Input.SampleCount = StartSamples;
  std::memcpy(form.M.Raw.StartFrames[Wire], data, std::min<unsigned>(n, StartFrameBytes));
}

void StoreSummary(Form& form, const std::uint8_t* data, unsigned n) {
  std::memcpy(form.M.Raw.StartSummary, data, std::min<unsigned>(n, 36));
  form.M.Raw.StartOrderFlag = n > 36 ? data[36] : 0;
}

void ShowPrompt(Form& form) { form.host.DrawStartPrompt(); }

// The start test runs once: reaching its last block locks continuous testing.
void LockAtLastStep(Form& form) { form.TestLocked = 1; }

constexpr BlockSpec StartBlocks[] = {
    {StartFrameBytes, 25, StoreCurve<0>},
    {StartFrameBytes, 50, StoreCurve<1>},
    {StartFrameBytes, 75, StoreCurve<2>},
    {StartFrameBytes, 90, StoreCurve<3>},
    {StartSummaryBytes, 100, StoreSummary},
};

}  // namespace

const RunSpec StartRun = [] {
  RunSpec s;
  s.Kind = StartTest;
  s.StatusPrefix = "启动性能测试：";
  s.Command = '3';
  s.Blocks = StartBlocks;
  s.Deadline = false;
  s.Clear = ClearPolicy::Never;
  s.Repeats = false;
  s.Announce = ShowPrompt;
  s.OnLastStepEntry = LockAtLastStep;
  return s;
}();

}  // namespace kt
