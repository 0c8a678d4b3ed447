#include "measurements/start/StartValueRows.h"

#include "core/MeasureSet.h"
#include "core/NumberText.h"

namespace kt {

namespace {

// Channels of the panels, top to bottom.
constexpr int PanelChannel[4] = {ChU, ChIl, ChIf, ChIk};
// The recorder's time base is fixed.
constexpr const char* Sensitivity = "0.50 s/div";

std::string Peak(const StartResult& r, int panel) {
  const int c = PanelChannel[panel];
  return c == ChU ? NumberText(r.Peak[c], 1) + " (V)" : NumberText(r.Peak[c], 3) + " (A)";
}

std::string Seconds(float t) { return NumberText(t, 2) + " (S)"; }

}  // namespace

std::string StartRowValue(const StartResult& r, int row) {
  const int panel = StartRowPanel(row);
  switch (row % 4) {
    case 0:
      return "";
    case 1:
      return Peak(r, panel);
    case 2:
      return Seconds(r.PeakTime[PanelChannel[panel]]);
    default:
      // The lamp current's fourth row is its warm-up time.
      return PanelChannel[panel] == ChIl ? Seconds(r.WarmUpTime) : Sensitivity;
  }
}

std::string StartCursorTimeText(const StartResult& r, const char* label) {
  return label + NumberText(r.CursorTime, 2) + " S";
}

std::string StartCursorValueText(const StartResult& r, int panel, const char* label) {
  const int c = PanelChannel[panel];
  const float v = r.CursorValue[c];
  return label + (c == ChU ? NumberText(v, 1) + " V" : NumberText(v, 3) + " A");
}

}  // namespace kt
