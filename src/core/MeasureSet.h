#pragma once
#include <cstdint>

namespace kt {

inline constexpr int HarmonicBins = 40;
inline constexpr int WavePoints = 200;  // display points of a mains period

// Channel order of the output and start records: lamp voltage, lamp current,
// filament current, cathode-lead current.
enum Channel : int { ChU = 0, ChIl = 1, ChIf = 2, ChIk = 3 };

// The twelve instrument values of the mains side. They are one contiguous
// block so that snapshots and records move them together.
struct InputValues {
  float Urms = 0, Irms = 0, Irmsw = 0, P = 0, PF = 0, PFw = 0;
  float THDU = 0, THDI = 0, THDIw = 0, Freq = 0, CFv = 0, CFi = 0;
};

struct InputResult : InputValues {
  std::int32_t SampleCount = 0;
  float VoltagePeak = 0, CurrentPeak = 0;
  // 256 raw samples while decoding, 200 display points afterwards.
  float VoltageWave[500] = {};
  float CurrentWave[500] = {};
  float VoltageHarmonic[HarmonicBins] = {};
  float CurrentHarmonic[HarmonicBins] = {};
  float VoltageHarmonicPct[HarmonicBins] = {};
  float CurrentHarmonicPct[HarmonicBins] = {};
};

struct InputSnapshot {
  InputValues Values;
  float VoltagePeak = 0, CurrentPeak = 0;
  float VoltageWave[WavePoints] = {};
  float CurrentWave[WavePoints] = {};
  float VoltageHarmonic[HarmonicBins] = {};
  float CurrentHarmonic[HarmonicBins] = {};
  float VoltageHarmonicPct[HarmonicBins] = {};
  float CurrentHarmonicPct[HarmonicBins] = {};
};

// Sixteen lamp-side values, in record order.
struct OutputValues {
  float OscFreq = 0, Pout = 0, Vm = 0, Vrms = 0, Vcf = 0, Ilm = 0, Ilrms = 0, IlcfPos = 0;
  float IlcfNeg = 0, Ildhc = 0, Ifm = 0, Ifrms = 0, Ifcf = 0, Ikm = 0, Ikrms = 0, Ikcf = 0;
};

struct OutputResult : OutputValues {
  // 150 samples used; 150..199 stay 0, as the record keeps them.
  float OutputWave[4][200] = {};
  float OutputWavePeak[4] = {};
};

struct OutputSnapshot {
  OutputValues Values;
  float OutputWave[4][200] = {};
  float OutputWavePeak[4] = {};
};

struct CompSnapshot {
  InputSnapshot In;
  OutputSnapshot Out;  // IlcfNeg and Ildhc are not restored from it
};

struct StartCurves {
  float Curve[4][300] = {};
  float Peak[4] = {};
  float CurveMax[4] = {};
  float WarmUpTime = 0;
  float PeakTime[4] = {};
};

struct StartResult : StartCurves {
  std::int32_t Valid = 0;
  std::int32_t CursorIndex = 0;
  float CursorTime = 0;
  float CursorValue[4] = {};
};

using StartBackup = StartCurves;

struct PhaseSnapshot {
  float VoltageWave[WavePoints] = {};
  float CurrentWave[WavePoints] = {};
  float VoltagePeak = 0, CurrentPeak = 0;
  float CurrentHarmonic[HarmonicBins] = {};
  float CurrentHarmonicPct[HarmonicBins] = {};
  float Urms = 0, Irms = 0, P = 0, PF = 0, THDI = 0;
  float PhaseBegin = 0, PhasePeak = 0, PhaseEnd = 0;
};

// Blocks as they came off the wire, kept byte for byte until decoding.
struct RawFrames {
  // input / phase / comprehensive mains side
  std::uint8_t InputVoltage[512] = {};
  std::uint8_t InputCurrent[512] = {};
  std::uint8_t InputValues[40] = {};
  std::int32_t PairCount = 0;   // samples per sample frame
  std::int32_t ValueBytes = 0;  // bytes of the input value frame
  // output / comprehensive lamp side, and the envelope test
  std::uint8_t OutputValues[64] = {};
  std::uint8_t OutputFrames[4][300] = {};  // wire order: U, If, Il, Ik
  // start test
  std::uint8_t StartFrames[4][600] = {};  // wire order: U, If, Il, Ik
  std::uint8_t StartSummary[36] = {};
  std::uint8_t StartOrderFlag = 0;
  // high-frequency analysis
  std::uint8_t GaoReply = 0;
  std::uint8_t GaoHeader[16] = {};
  std::uint8_t GaoFrames[4][1200] = {};  // wire order: U, If, Il, Ik
};

// Every working result of the main window, and the per-kind copies that
// Back/Next brings back.
struct MeasureSet {
  InputResult Input;
  float HighFreqCurrent = 0;
  float PhaseBegin = 0, PhasePeak = 0, PhaseEnd = 0;
  float CurrentPerWatt[HarmonicBins] = {};
  float VoltageWave3[800] = {};
  float CurrentWave3[800] = {};

  OutputResult Output;
  std::int32_t OutputSampleCount = 0;

  StartResult Start;

  InputSnapshot InputSnap;
  OutputSnapshot OutputSnap;
  CompSnapshot CompSnap;
  StartBackup StartSnap;
  PhaseSnapshot PhaseSnap;

  RawFrames Raw;
};

}  // namespace kt
