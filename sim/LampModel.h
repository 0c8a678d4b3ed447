#pragma once
#include <array>
#include <cstdint>

#include "sim/BlockWriter.h"
#include "sim/OperatingPoint.h"
#include "sim/Random.h"

namespace kt::sim {

// Lamp-side channels in the order the instrument sends them.
enum WireChannel : int { WireU = 0, WireIf = 1, WireIl = 2, WireIk = 3 };

// The envelope is the fundamental amplitude of each high-frequency wave over
// one mains period (two 100 Hz ripples), 150 points.
inline constexpr int EnvelopeSamples = 150;
// Envelope detector scales, counts per volt / ampere of amplitude: a lamp
// voltage amplitude of ~160 V gives ~16 000 counts, a lamp-current amplitude
// of ~0.5 A ~15 000 counts.
inline constexpr double EnvelopeCountsPerVolt = 100.0;
inline constexpr double EnvelopeCountsPerAmp = 30000.0;
// The high-frequency capture: 600 samples per channel at 6 MS/s, four to five
// periods of a 40..50 kHz wave (120..150 samples per period).
inline constexpr int WaveSamples = 600;
inline constexpr double WaveSampleRate = 6.0e6;

// The sixteen lamp-side values, in wire order.
struct LampValues {
  float Vrms = 0, Ifrms = 0, Ilrms = 0, Ikrms = 0;  // V, A, A, A
  float Vm = 0, Ifm = 0, Ilm = 0;                   // peaks; Ilm is the positive lamp-current peak
  float IlNegPeak = 0;                              // negative lamp-current peak (a negative number)
  float Ikm = 0;
  float Vcf = 0, Ifcf = 0;
  float IlcfPos = 0, IlcfNeg = 0;  // crest factors of the two half-waves, both positive
  float Ikcf = 0;
  float Pout = 0;    // W
  float OscKHz = 0;  // kHz
};

// One lamp-side measurement: the envelopes sent and the values computed from
// the waves those envelopes describe (after quantisation).
struct LampCapture {
  OperatingPoint Point;    // the state the lamp was in; a later wave capture reuses it
  double RipplePhase = 0;  // radians of the 100 Hz ripple at envelope point 0
  std::array<std::array<std::int16_t, EnvelopeSamples>, 4> EnvelopeRaw{};  // wire order
  LampValues Values;
  Block ValueFrame;                     // 64 bytes
  std::array<Block, 4> EnvelopeBlocks;  // 300 bytes each, wire order
};

// Instantaneous lamp-side quantities at one phase of the high-frequency
// period, for given fundamental amplitudes. The cathode-lead current is the
// sum of lamp and filament current (they meet at the cathode).
struct LampInstant {
  double U = 0, If = 0, Il = 0, Ik = 0;
};
class LampWave {
 public:
  explicit LampWave(const OperatingPoint& op);
  // theta in radians of the high-frequency period, 0 at the rising zero
  // crossing of the lamp current's fundamental.
  LampInstant At(double uAmplitude, double ifAmplitude, double ilAmplitude, double theta) const;
  double VoltageLead() const { return voltageLead_; }  // radians

 private:
  double voltageH3_, asymmetry_, currentH3_, filamentLead_, voltageLead_;
};

// Gains of the high-frequency converters, in ten-thousandths of a count per
// volt or ampere (the resolution of the header), wire order.
struct WaveGains {
  std::array<std::uint32_t, 4> TenThousandths{};
  double Value(int wireChannel) const { return TenThousandths[wireChannel] * 1e-4; }
};
// Nominal 20.48 counts/V and 10000 counts/A, each off by a calibration error
// of a few tenths of a percent.
WaveGains DrawWaveGains(Random& rng);

struct WaveCapture {
  int Position = 0;  // envelope point the capture was taken at (0..149)
  bool OrderFlag = false;
  // As measured, wire order U, If, Il, Ik, before any exchange on the wire.
  std::array<std::array<std::int16_t, WaveSamples>, 4> Raw{};
  std::array<double, 4> Gain{};       // counts per V or A
  std::array<double, 4> Amplitude{};  // fundamental amplitude at the position, V or A
  std::array<double, 4> Rms{};        // of the noise-free wave over one period, V or A
  std::array<double, 4> Crest{};      // peak / RMS of the noise-free wave over one period
  std::array<double, 4> Offset{};     // converter offset, counts
  double PeriodSamples = 0;
  Block Header;                     // 16 bytes
  std::array<Block, 4> WaveBlocks;  // 1200 bytes each, in the order sent
};

LampCapture MeasureLamp(const OperatingPoint& op, Random& rng);
// The high-frequency waves at one envelope point of `lamp`. With `orderFlag`
// the If and Ik waves (and their gains) travel in each other's place.
WaveCapture CaptureWave(const LampCapture& lamp, int position, const WaveGains& gains, bool orderFlag, Random& rng);

}  // namespace kt::sim
