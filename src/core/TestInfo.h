#pragma once
#include <string>

namespace kt {

// Operator's free text about the unit under test. Held as UTF-8; the data
// files store it as GBK in fixed zero-terminated fields, whose sizes are
// below. The edit boxes keep each text at most (size - 1) GBK bytes long.
struct TestInfo {
  std::string Name, No, Type, Standard, Temperature, Humidity, Manufacturer, Operator;
  std::string LuminousFlux, ColourTemperature;
};

struct TestInfoSizes {
  static constexpr int Name = 31, No = 21, Type = 21, Standard = 21, Temperature = 11, Humidity = 11, Manufacturer = 51,
                       Operator = 31, LuminousFlux = 11, ColourTemperature = 11, TestDate = 11;
};

}  // namespace kt
