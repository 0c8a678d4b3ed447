#pragma once
#include <span>
#include <string>

#include "platform/Canvas.h"

namespace kt {

struct AnalysisData;

// Every panel of the analysis window is drawn on this dark blue.
inline constexpr Colour AnalysisPanelBackground = Rgb(0, 0, 150);
// Pens of the four channels (U, Il, If, Ik) on the envelope and wave panels;
// the filament current is a darker green on the envelope.
extern const Colour EnvelopeColour[4];
extern const Colour WaveColour[4];

// One envelope panel of `width` x `height` pixels (designed for 300 x 100):
// the channel's axis, its envelope as a band of one bar every 2 pixels, and
// the selection line at SelectX.
void PaintEnvelopePanel(Canvas& canvas, const AnalysisData& a, int channel, int width, int height);

// One wave panel (designed for 228 x 100): the black axis and two periods of
// the analysed wave.
void PaintWavePanel(Canvas& canvas, const AnalysisData& a, int channel, int width, int height);

// The value cells: headings by language (1 English, 0 Chinese), and the
// values as the cells and the report write them.
struct AnalysisTexts {
  const char* RmsHead[4];
  const char* CfHead;
};
const AnalysisTexts& AnalysisLanguage(int english);
inline constexpr const char* AnalysisUnit[4] = {"V", "A", "A", "A"};
std::string RmsValueText(const AnalysisData& a, int channel);
std::string CrestValueText(const AnalysisData& a, int channel);

}  // namespace kt
