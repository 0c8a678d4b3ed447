// The analysis window's panels on a recording canvas, at the design size and
// scaled, and the resampling of the two drawn periods at its ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/AnalysisPanels.h"
#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "support/RecordingCanvas.h"

namespace kt {
namespace {

using test::RecordingCanvas;

constexpr Colour kBackground = 0x960000;  // RGB(0, 0, 150)

std::unique_ptr<AnalysisData> Envelopes() {
  auto a = std::make_unique<AnalysisData>();
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < 150; ++i) a->Envelope[c][i] = 1000.0f * (i + 1) / 150;
    a->EnvelopeMax[c] = 1000.0f;
  }
  a->SelectX = 151;
  return a;
}

TEST(EnvelopePanel, DrawsTheAxisABandOfBarsEveryTwoPixelsAndTheSelectionLine) {
  const auto a = Envelopes();
  const Colour axis[4] = {0xFFFFFF, 0x0000FF, 0x009600, 0x00FFFF};  // white, red, RGB(0,150,0), yellow
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);
    RecordingCanvas rc;
    PaintEnvelopePanel(rc, *a, c, 300, 100);
    ASSERT_EQ(rc.fills.size(), 1u);
    EXPECT_EQ(rc.fills[0].colour, kBackground);
    EXPECT_EQ(rc.fills[0].x2, 300);
    EXPECT_EQ(rc.fills[0].y2, 100);
    ASSERT_EQ(rc.lines.size(), 1u + 150u + 1u);
    const auto& first = rc.lines.front();
    EXPECT_EQ(first.x1, 0);
    EXPECT_EQ(first.y1, 50);
    EXPECT_EQ(first.x2, 300);
    EXPECT_EQ(first.colour, axis[c]);
    EXPECT_EQ(first.width, 1);
    // Bar k shows point k: trunc(value / max * 40) above and below the axis.
    for (int k : {0, 74, 149}) {
      const int h = static_cast<int>(1000.0f * (k + 1) / 150 / 1000.0f * 40);
      EXPECT_NE(rc.Line(2 * k, 50 - h, 2 * k, 50 + h), nullptr) << k;
    }
    const auto& select = rc.lines.back();
    EXPECT_EQ(select.colour, clBlack);
    EXPECT_EQ(select.width, 2);
    EXPECT_NE(rc.Line(151, 0, 151, 100), nullptr);
  }
}

TEST(EnvelopePanel, ScalesWithItsPaintBoxAndShowsOnlyAxisAndLineWhenEmpty) {
  auto a = Envelopes();
  RecordingCanvas wide;
  PaintEnvelopePanel(wide, *a, ChU, 600, 200);
  EXPECT_NE(wide.Line(0, 100, 600, 100), nullptr);
  EXPECT_EQ(wide.lines.size(), 1u + 300u + 1u);
  EXPECT_NE(wide.Line(596, 20, 596, 180), nullptr) << "the bar at the peak reaches trunc(40 * 2)";

  a->EnvelopeMax[ChIk] = 0.0f;
  RecordingCanvas empty;
  PaintEnvelopePanel(empty, *a, ChIk, 300, 100);
  ASSERT_EQ(empty.lines.size(), 2u);
  EXPECT_NE(empty.Line(0, 50, 300, 50), nullptr);
  EXPECT_NE(empty.Line(151, 0, 151, 100), nullptr);
}

TEST(WavePanel, DrawsTwoPeriodsScaledToThePeakInTheChannelColour) {
  AnalysisData a;
  const double pi = std::numbers::pi;
  for (int k = 0; k < 228; ++k) a.Wave[ChIf][k] = static_cast<float>(1000 * std::sin(2 * pi * k / 114));
  a.Period[ChIf] = 114;
  a.WavePeak[ChIf] = 1000.0f;
  RecordingCanvas rc;
  PaintWavePanel(rc, a, ChIf, 228, 100);
  ASSERT_EQ(rc.fills.size(), 1u);
  EXPECT_EQ(rc.fills[0].colour, kBackground);
  ASSERT_EQ(rc.lines.size(), 1u + 228u);
  EXPECT_NE(rc.Line(0, 50, 228, 50), nullptr);
  EXPECT_EQ(rc.lines[0].colour, clBlack);
  for (std::size_t i = 1; i < rc.lines.size(); ++i) ASSERT_EQ(rc.lines[i].colour, clLime);
  // 2 x 114 samples onto 228 points: point k is sample k.
  for (int k : {1, 28, 57, 200}) {
    const auto& l = rc.lines[static_cast<std::size_t>(k) + 1];
    EXPECT_EQ(l.x2, k);
    EXPECT_EQ(l.y2, 50 - static_cast<int>(a.Wave[ChIf][k] / 1000.0 * 45)) << k;
  }

  a.WavePeak[ChIf] = 0.0f;
  RecordingCanvas flat;
  PaintWavePanel(flat, a, ChIf, 228, 100);
  ASSERT_EQ(flat.lines.size(), 1u) << "only the axis";
}

TEST(WavePanelPoints, NeverReadPastTheTwoPeriodsNorPastTheSlots) {
  AnalysisData a;
  // Two periods of 50: a ramp, then a sample that is not part of them.
  for (int k = 0; k < 100; ++k) a.Wave[ChIl][k] = static_cast<float>(k);
  a.Wave[ChIl][100] = 1.0e6f;
  a.Period[ChIl] = 50;
  std::vector<float> out(228);
  ASSERT_EQ(WavePanelPoints(a, ChIl, 228, out), 228);
  EXPECT_FLOAT_EQ(out[227], 99.0f) << "the last point takes the last sample";
  EXPECT_NEAR(out[114], 50.0f, 1e-4);

  // All 600 slots drawn on a wide panel: the sample after them belongs to
  // the next channel.
  for (int k = 0; k < 600; ++k) a.Wave[ChIl][k] = static_cast<float>(k % 7);
  a.Wave[ChIf][0] = 1.0e6f;
  a.Period[ChIl] = 300;
  std::vector<float> wide(1200);
  ASSERT_EQ(WavePanelPoints(a, ChIl, 1200, wide), 1200);
  EXPECT_FLOAT_EQ(wide[1199], a.Wave[ChIl][599]);

  // A period too long for the slots (or a damaged one) stays inside them.
  for (int period : {400, 1 << 30, -5}) {
    a.Period[ChIl] = period;
    const int n = WavePanelPoints(a, ChIl, 228, out);
    EXPECT_EQ(n, period > 0 ? 228 : 0) << period;
    EXPECT_LT(*std::max_element(out.begin(), out.begin() + std::max(n, 1)), 1.0e6f) << period;
  }
}

}  // namespace
}  // namespace kt
