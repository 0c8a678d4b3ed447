#pragma once

namespace kt {

class Canvas;
struct Form;

// The printed comprehensive report, on a canvas in 0.01 mm with y upwards
// from the page origin. The language follows form.ChineseMode; the English
// report's rotated captions turn the way form.PrinterFamily asks for.
void PrintCompReport(Form& form, Canvas& canvas);
void PrintCompReportEnglish(Form& form, Canvas& canvas);
void PrintCompReportChinese(Form& form, Canvas& canvas);

// Escapement of the English report's rotated captions: printers of family 0
// are given text running downwards (270 degrees), the others upwards.
int CompCaptionEscapement(int printerFamily);

}  // namespace kt
