// The start page's cursor: where a click puts it at two window sizes, what
// is ignored, the arrow keys' wrap, and the values read at the cursor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/MeasureSet.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/start/StartCursor.h"
#include "support/Fakes.h"

namespace kt {
namespace {

struct Rig : test::FormRig {
  Rig() {
    RegisterMeasurementKinds(*form);
    form->ShownKind = StartTest;
    StartResult& s = form->M.Start;
    s.Valid = 1;
    // Sample i of every channel is i counts; the peaks make sample 299 read
    // 598 V and 1.196 A.
    for (int c = 0; c < 4; ++c) {
      for (int i = 0; i < 300; ++i) s.Curve[c][i] = static_cast<float>(i);
      s.CurveMax[c] = 299.0f;
      s.Peak[c] = c == ChU ? 598.0f : 1.196f;
    }
  }
  StartResult& s() { return form->M.Start; }
  void Click(int x, int width) { form->Kinds[StartTest].MouseDown(*form, x, 10, width); }
  void Key(int key) { form->Kinds[StartTest].KeyDown(*form, key); }
};

TEST(StartCursor, AClickPutsTheCursorOnTheSampleUnderItWithTheTimeOfThePixel) {
  struct Case {
    int width, x, index;
    double time;
  };
  const Case cases[] = {
      {640, 40, 0, 0.0},            // d = 0: the plot's left edge
      {640, 100, 60, 1.0},          // sample 60 is one second in
      {640, 339, 299, 299 / 60.0},  // the last pixel of the plot
      {1920, 120, 0, 0.0},
      {1920, 301, 60, 181 * 5.0 / 900},  // between samples 60 and 61: the time runs on
      {1920, 1019, 299, 899 * 5.0 / 900},
      {900, 200, 101, 143 * 5.0 / 421.875},  // s = 1.40625: d = 143
      {901, 56, 0, 0.0},                     // d = trunc(-0.3125) = 0
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << " px, x " << k.x);
    Rig r;
    SetStartCursor(r.s(), 200);
    r.Click(k.x, k.width);
    EXPECT_EQ(r.s().CursorIndex, k.index);
    EXPECT_NEAR(r.s().CursorTime, k.time, 1e-6);
    EXPECT_NEAR(r.s().CursorValue[ChU], 2.0 * k.index, 1e-3);
    EXPECT_NEAR(r.s().CursorValue[ChIk], 0.004 * k.index, 1e-6);
    EXPECT_EQ(r.host.repaints, 1);
  }
}

TEST(StartCursor, AClickOffThePlotsWidthChangesNothing) {
  struct Case {
    int width, lastLeftOut, firstRightOut;
  };
  // 901 px: s = 1.4078125, 40 s = 56.3125, trunc(300 s) = 422.
  const Case cases[] = {{640, 39, 340}, {1920, 119, 1020}, {901, 55, 479}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.width);
    Rig r;
    SetStartCursor(r.s(), 77);
    for (int x : {k.lastLeftOut, k.firstRightOut, -50, 100000}) {
      r.Click(x, k.width);
      EXPECT_EQ(r.s().CursorIndex, 77) << x;
      EXPECT_FLOAT_EQ(r.s().CursorTime, 77 / 60.0f) << x;
    }
    EXPECT_EQ(r.host.repaints, 0);
    r.Click(k.firstRightOut - 1, k.width);
    EXPECT_EQ(r.s().CursorIndex, 299) << "the pixel before is the plot's last";
    r.Click(k.lastLeftOut + 1, k.width);
    EXPECT_EQ(r.s().CursorIndex, 0) << "the pixel after is its first";
  }
  Rig r;
  SetStartCursor(r.s(), 5);
  r.Click(0, 0);  // a paint box of no width has no plot
  r.Click(1, 2);
  EXPECT_EQ(r.s().CursorIndex, 5);
  EXPECT_EQ(r.host.repaints, 0);
}

TEST(StartCursor, ArrowKeysStepOneSampleAndWrapRoundTheFiveSeconds) {
  Rig r;
  SetStartCursor(r.s(), 0);
  r.Key(KeyLeft);
  EXPECT_EQ(r.s().CursorIndex, 299);
  EXPECT_EQ(NumberText(r.s().CursorTime, 2), "4.98");
  EXPECT_FLOAT_EQ(r.s().CursorValue[ChU], 598.0f);
  r.Key(KeyRight);
  EXPECT_EQ(r.s().CursorIndex, 0);
  EXPECT_EQ(r.s().CursorTime, 0.0f);
  EXPECT_EQ(r.s().CursorValue[ChIl], 0.0f);
  for (int k = 0; k < 60; ++k) r.Key(KeyRight);
  EXPECT_EQ(r.s().CursorIndex, 60);
  EXPECT_FLOAT_EQ(r.s().CursorTime, 1.0f);
  r.Key(KeyLeft);
  EXPECT_EQ(r.s().CursorIndex, 59);
  EXPECT_EQ(r.host.repaints, 63);
  r.Key(38);  // up arrow
  r.Key(13);
  EXPECT_EQ(r.s().CursorIndex, 59);
  EXPECT_EQ(r.host.repaints, 63) << "other keys are ignored";
}

TEST(StartCursor, ValuesOfAnAllZeroCurveAreZeroAndDamagedIndexesStayOnTheCurves) {
  Rig r;
  StartResult& s = r.s();
  std::fill_n(s.Curve[ChIf], 300, 0.0f);
  s.CurveMax[ChIf] = 0.0f;  // peak passed the limit, samples all 0
  s.Peak[ChIk] = std::numeric_limits<float>::quiet_NaN();
  SetStartCursor(s, 150);
  EXPECT_EQ(s.CursorValue[ChIf], 0.0f);
  EXPECT_TRUE(std::isnan(s.CursorValue[ChIk])) << "a damaged peak reads as such";
  EXPECT_FLOAT_EQ(s.CursorValue[ChU], 300.0f);

  s.CursorIndex = 5000;  // as a damaged file could leave it
  r.Key(KeyRight);
  EXPECT_EQ(s.CursorIndex, 0) << "held to 299, then wrapped";
  s.CursorIndex = -7;
  r.Key(KeyLeft);
  EXPECT_EQ(s.CursorIndex, 299);
  SetStartCursor(s, 1000);
  EXPECT_EQ(s.CursorIndex, 299);
}

}  // namespace
}  // namespace kt
