#include "measurements/input/InputRun.h"

#include <algorithm>
#include <cstring>

#include "link/Form.h"
#include "measurements/input/InputDecode.h"

namespace kt {

void StoreMainsVoltage(Form& form, const std::uint8_t* data, unsigned n) {
  form.M.Raw.PairCount = MainsSamples;
  form.M.Input.SampleCount = MainsSamples;
  std::memcpy(form.M.Raw.InputVoltage, data, std::min<unsigned>(n, MainsFrameBytes));
}

void StoreMainsCurrent(Form& form, const std::uint8_t* data, unsigned n) {
  std::memcpy(form.M.Raw.InputCurrent, data, std::min<unsigned>(n, MainsFrameBytes));
}

void StoreInputValues(Form& form, const std::uint8_t* data, unsigned n) {
  form.M.Raw.ValueBytes = InputValueBytes;
  std::memcpy(form.M.Raw.InputValues, data, std::min<unsigned>(n, InputValueBytes));
}

const BlockSpec MainsBlocks[3] = {
    {MainsFrameBytes, 45, StoreMainsVoltage},
    {MainsFrameBytes, 90, StoreMainsCurrent},
    {InputValueBytes, 100, StoreInputValues},
};

const RunSpec InputRun{
    .Kind = InputTest,
    .StatusPrefix = "输入性能测试：",
    .Command = '0',
    .Blocks = MainsBlocks,
    .Decode = DecodeInputMeasurement,
};

}  // namespace kt
