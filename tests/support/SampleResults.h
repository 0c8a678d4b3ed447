#pragma once
// Results to start a test from. The recognisable ones give every field a
// distinct value, so that a record can be read back field by field; the
// typical one is a plausible ballast, for pages and reports whose texts and
// positions are checked.
#include <cmath>
#include <cstring>

#include "core/MeasureSet.h"
#include "link/Form.h"

namespace kt::test {

// Urms 1 ... CFi 12 in record order; waves 100 + j and -50 - j; harmonics
// 1000 + k, 2000 + k, 3000 + k, 4000 + k; peaks 16000.5 and 8000.25.
inline void FillRecognisableInput(InputResult& in) {
  in.SampleCount = 256;
  float v = 1.0f;
  for (float* x : {&in.Urms, &in.Irms, &in.Irmsw, &in.P, &in.PF, &in.PFw, &in.THDU, &in.THDI, &in.THDIw, &in.Freq,
                   &in.CFv, &in.CFi})
    *x = v++;
  in.VoltagePeak = 16000.5f;
  in.CurrentPeak = 8000.25f;
  for (int j = 0; j < 200; ++j) {
    in.VoltageWave[j] = 100.0f + j;
    in.CurrentWave[j] = -50.0f - j;
  }
  for (int k = 0; k < 40; ++k) {
    in.VoltageHarmonic[k] = 1000.0f + k;
    in.CurrentHarmonic[k] = 2000.0f + k;
    in.VoltageHarmonicPct[k] = 3000.0f + k;
    in.CurrentHarmonicPct[k] = 4000.0f + k;
  }
}

// What every data record carries besides its results: the two page flags,
// the test information (a Chinese name, to be stored in GBK) and the date.
inline void FillRecordHeader(Form& f) {
  f.WideFreqMode = 1;
  f.ChineseMode = 0;
  f.Info = {"镇流器样品", "No-7", "EB-236", "GB", "25", "60", "厂家", "张工", "3200", "4000"};
  std::strcpy(f.TestDate, "2026-12-6");
}

// A 36 W ballast on 230 V mains: one sine period per wave, a fundamental of
// 100 % and falling odd-order current percentages.
inline void FillTypicalInput(InputResult& in) {
  in.Urms = 229.6f;
  in.Irms = 0.17234f;
  in.Irmsw = 0.1751f;
  in.P = 37.04f;
  in.PF = 0.9587f;
  in.PFw = 0.9412f;
  in.Freq = 49.97f;
  in.CFv = 1.414f;
  in.CFi = 1.87f;
  in.THDU = 1.74f;
  in.THDI = 27.63f;
  in.THDIw = 30.61f;
  for (int k = 0; k < 40; ++k) {
    in.VoltageHarmonicPct[k] = k == 1 ? 100.0f : 0.5f + k;
    in.CurrentHarmonicPct[k] = k == 1 ? 100.0f : 40.0f / k;
  }
  for (int j = 0; j < 200; ++j) {
    in.VoltageWave[j] = static_cast<float>(16000 * std::sin(2 * M_PI * j / 200));
    in.CurrentWave[j] = static_cast<float>(8000 * std::sin(2 * M_PI * j / 200));
  }
  in.VoltagePeak = 16000.0f;
  in.CurrentPeak = 8000.0f;
}

}  // namespace kt::test
