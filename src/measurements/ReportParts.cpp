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
