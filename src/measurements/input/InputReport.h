#pragma once

namespace kt {

class Canvas;
struct Form;

// The printed input characteristic report, on a canvas in 0.01 mm with y
// upwards from the page origin. The language follows form.ChineseMode.
void PrintInputReport(Form& form, Canvas& canvas);
void PrintInputReportEnglish(Form& form, Canvas& canvas);
void PrintInputReportChinese(Form& form, Canvas& canvas);

// The test information block of the mains-side reports (input, phase angle).
void PrintMainsInfoBlock(const Form& form, Canvas& canvas, bool chinese);

}  // namespace kt
