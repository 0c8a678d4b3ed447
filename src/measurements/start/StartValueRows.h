#pragma once
#include <string>

namespace kt {

struct StartResult;

// The value column of the start page and report: sixteen rows, four per
// channel (lamp voltage, lamp current, filament current, cathode-lead
// current), each a label followed by a value or by nothing.
inline constexpr int StartRowCount = 16;

// The panel (channel) a row belongs to, for its colour.
inline constexpr int StartRowPanel(int row) { return row / 4; }
// Rows that stand indented under their channel's title: the peaks and the
// times to peak.
inline constexpr bool StartRowIndented(int row) { return row % 4 == 1 || row % 4 == 2; }
// What follows the row's label, with its unit; empty for a channel's title.
std::string StartRowValue(const StartResult& r, int row);

// The cursor readout of panel `panel`: the time and the channel's value, each
// behind its label.
std::string StartCursorTimeText(const StartResult& r, const char* label);
std::string StartCursorValueText(const StartResult& r, int panel, const char* label);

}  // namespace kt
