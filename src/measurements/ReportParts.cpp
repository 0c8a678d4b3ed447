#include "measurements/ReportParts.h"

#include <cstring>

#include "link/Form.h"

namespace kt {

void ReportFrame(Canvas& c, int x1, int y1, int x2, int y2) {
  c.MoveTo(x1, y1);
  c.LineTo(x2, y1);
  c.LineTo(x2, y2);
  c.LineTo(x1, y2);
  c.LineTo(x1, y1);
}

void PrintMarginTitles(Canvas& c, const char* face, int height, const char* const (&titles)[2]) {
  c.SetFont({face, height, clBlack, 0});
  c.SetTextAlign(AlignCenter);
  c.TextOut(11800, -500, titles[0]);
  c.TextOut(11800, 300, titles[1]);
}

constexpr InfoItem MarginInfoEnglish[9] = {
    {"Name:", 1000, 1300, 3000},          {"No. :", 1000, 1800, 3000},          {"Type:", 9000, 1300, 11500},
    {"standard:", 9000, 1800, 11500},     {"Temperature:", 18000, 1300, 21000}, {"Humidity:", 18000, 1800, 21000},
    {"Manufacturer:", 1000, 16200, 4500}, {"Operator:", 16000, 16200, 18500},   {"Test Date:", 1000, 16700, 4500}};
constexpr InfoItem MarginInfoEnglishNarrow[9] = {
    {"Name:", 1000, 1300, 2500},          {"No. :", 1000, 1800, 2500},          {"Type:", 9000, 1300, 11500},
    {"Standard:", 9000, 1800, 11500},     {"Temperature:", 18000, 1300, 21000}, {"Humidity:", 18000, 1800, 21000},
    {"Manufacturer:", 1000, 16200, 4000}, {"Operator:", 16000, 16200, 18500},   {"Test Date:", 1000, 16700, 4000}};
constexpr InfoItem MarginInfoChinese[9] = {
    {"名称:", 1000, 1300, 2500},    {"编号:", 1000, 1800, 2500},      {"型号:", 10000, 1300, 11500},
    {"规格:", 10000, 1800, 11500},  {"温度:", 19000, 1300, 20500},    {"湿度:", 19000, 1800, 20500},
    {"制造商:", 1000, 16200, 3000}, {"测试员:", 18000, 16200, 20000}, {"测试日期:", 1000, 16700, 3000}};

TestInfoTexts TestInfoValues(const Form& form) {
  const TestInfo& t = form.Info;
  return {t.Name,
          t.No,
          t.Type,
          t.Standard,
          t.Temperature + "℃",
          t.Humidity + "%",
          t.Manufacturer,
          t.Operator,
          std::string(form.TestDate, strnlen(form.TestDate, sizeof form.TestDate))};
}

void PrintInfoItems(Canvas& c, std::span<const InfoItem> items, std::span<const std::string> values) {
  for (std::size_t i = 0; i < items.size() && i < values.size(); ++i) {
    c.TextOut(items[i].X, items[i].Y, items[i].Label);
    if (items[i].ValueX) c.TextOut(items[i].ValueX, items[i].Y, values[i]);
  }
}

}  // namespace kt
