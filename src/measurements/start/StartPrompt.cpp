#include "measurements/start/StartPrompt.h"

#include "platform/Canvas.h"

namespace kt {

void PaintStartPrompt(Canvas& canvas, int width, int height) {
  canvas.FillRect(0, 0, width, height, clWhite);
  canvas.SetFont({"Times New Roman", 20, clBlack, 0});
  canvas.SetTextAlign(AlignCenter);
  canvas.TextOut(320, 10, "启动测试，先关灯，再开灯！");
}

}  // namespace kt
