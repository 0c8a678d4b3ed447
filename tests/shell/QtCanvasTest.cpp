// The screen canvas puts pixels where the page layouts expect them.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "platform/QtCanvas.h"

namespace kt {
namespace {

struct Surface {
  QImage image{40, 30, QImage::Format_RGB32};
  Surface() { image.fill(Qt::white); }
  bool Black(int x, int y) const { return image.pixel(x, y) == qRgb(0, 0, 0); }
  int BlackCount() const {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += Black(x, y);
    return n;
  }
};

TEST(QtCanvas, OnePixelLinesStopShortOfTheirEndPoint) {
  Surface s;
  {
    QPainter p(&s.image);
    QtCanvas qc(p);
    Canvas& c = qc;
    c.SetPen(clBlack, 1);
    c.MoveTo(2, 5);
    c.LineTo(12, 5);  // pixels 2..11
  }
  EXPECT_TRUE(s.Black(2, 5));
  EXPECT_TRUE(s.Black(11, 5));
  EXPECT_FALSE(s.Black(12, 5));
  EXPECT_EQ(s.BlackCount(), 10);
}

TEST(QtCanvas, APolylineOfShortStepsHasNoGaps) {
  Surface s;
  {
    QPainter p(&s.image);
    QtCanvas qc(p);
    Canvas& c = qc;
    c.SetPen(clBlack, 1);
    c.MoveTo(0, 0);
    for (int i = 1; i <= 10; ++i) c.LineTo(2 * i, i);  // two across, one down
  }
  // Every column from 0 to 19 has a pixel: the steps join.
  for (int x = 0; x < 20; ++x) {
    bool any = false;
    for (int y = 0; y < 30; ++y) any = any || s.Black(x, y);
    EXPECT_TRUE(any) << "gap at column " << x;
  }
  EXPECT_FALSE(s.Black(20, 10));
}

TEST(QtCanvas, RectangleOutlineExcludesTheRightAndBottomEdge) {
  Surface s;
  {
    QPainter p(&s.image);
    QtCanvas qc(p);
    Canvas& c = qc;
    c.SetPen(clBlack, 1);
    c.SetBrush(Rgb(0, 0, 150));
    c.Rectangle(3, 4, 13, 10);
  }
  EXPECT_TRUE(s.Black(3, 4));
  EXPECT_TRUE(s.Black(12, 9));
  EXPECT_FALSE(s.Black(13, 9));
  EXPECT_FALSE(s.Black(12, 10));
  EXPECT_EQ(s.image.pixel(5, 6), qRgb(0, 0, 150)) << "the brush fills the inside";
  EXPECT_EQ(s.BlackCount(), 2 * 10 + 2 * 4);
}

}  // namespace
}  // namespace kt
