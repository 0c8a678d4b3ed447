#include "sim/LampModel.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace kt::sim {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
// Points per high-frequency period when the instrument integrates a wave for
// its RMS and peak values: 0.5 degrees, fine enough that the sampled crest
// is within 0.004 % of the true one.
constexpr int kPhaseSteps = 720;
constexpr double kEnvelopeNoise = 0.002;  // relative, per envelope point
constexpr double kWaveNoise = 2.0;        // counts rms of the fast converters
constexpr double kWaveOffset = 40.0;      // counts, largest converter offset

std::int16_t ToCounts(double counts) {
  return static_cast<std::int16_t>(std::clamp(std::round(counts), -32768.0, 32767.0));
}

// Phase by which the lamp voltage leads the lamp current so that the
// requested lamp power factor comes out: the fundamentals contribute cos(phi),
// the third harmonics -a*h3*sin(3 phi), and both RMS values carry their
// harmonic content.
double VoltagePhase(const OperatingPoint& op) {
  const double a = op.LampVoltageH3, d = op.LampCurrentAsymmetry, h = op.LampCurrentH3;
  const double want = op.LampPowerFactor * std::sqrt((1 + a * a) * (1 + d * d + h * h));
  double phi = std::acos(std::clamp(want, -1.0, 1.0));
  for (int i = 0; i < 4; ++i) phi = std::acos(std::clamp(want + a * h * std::sin(3 * phi), -1.0, 1.0));
  return phi;
}

}  // namespace

LampWave::LampWave(const OperatingPoint& op)
    : voltageH3_(op.LampVoltageH3),
      asymmetry_(op.LampCurrentAsymmetry),
      currentH3_(op.LampCurrentH3),
      filamentLead_(op.FilamentPhase * kDeg),
      voltageLead_(VoltagePhase(op)) {}

LampInstant LampWave::At(double uAmplitude, double ifAmplitude, double ilAmplitude, double theta) const {
  LampInstant x;
  // The lamp current is nearly sinusoidal; a small even harmonic makes the
  // positive half-wave a little taller than the negative one (-cos 2t is +1
  // at both crests). The third harmonic sits in quadrature so that it leaves
  // the crests alone: the crest factor stays what the envelope says.
  x.Il = ilAmplitude * (std::sin(theta) - asymmetry_ * std::cos(2 * theta) + currentH3_ * std::cos(3 * theta));
  // The voltage of a discharge is peakier than a sine.
  const double tu = theta + voltageLead_;
  x.U = uAmplitude * (std::sin(tu) - voltageH3_ * std::sin(3 * tu));
  x.If = ifAmplitude * std::sin(theta + filamentLead_);
  x.Ik = x.Il + x.If;
  return x;
}

WaveGains DrawWaveGains(Random& rng) {
  WaveGains g;
  const double nominal[4] = {20.48, 10000.0, 10000.0, 10000.0};
  for (int c = 0; c < 4; ++c)
    g.TenThousandths[c] =
        static_cast<std::uint32_t>(std::lround(nominal[c] * (1.0 + rng.Uniform(-0.004, 0.004)) * 1e4));
  return g;
}

LampCapture MeasureLamp(const OperatingPoint& op, Random& rng) {
  LampCapture c;
  c.Point = op;
  c.RipplePhase = rng.Uniform(0.0, 2 * kPi);

  const double a = op.LampVoltageH3, d = op.LampCurrentAsymmetry, h = op.LampCurrentH3;
  const double m = op.Ripple;
  const double mu = m * op.VoltageRippleRatio;
  const double mf = m * op.FilamentRippleRatio;
  // Mean amplitudes that give the wanted RMS values once the ripple and the
  // harmonics are counted in.
  const double al = op.LampIrms() * std::sqrt(2.0 / ((1 + d * d + h * h) * (1 + m * m / 2)));
  const double au = op.LampVrms * std::sqrt(2.0 / ((1 + a * a) * (1 + mu * mu / 2)));
  const double af = op.FilamentIrms * std::sqrt(2.0 / (1 + mf * mf / 2));
  const std::complex<double> filamentPhasor = std::polar(1.0, op.FilamentPhase * kDeg);

  for (int k = 0; k < EnvelopeSamples; ++k) {
    const double ripple = 4 * kPi * k / EnvelopeSamples + c.RipplePhase;  // two ripples per period
    // The lamp's negative incremental resistance: more current, less voltage.
    const double u = au * (1 - mu * std::cos(ripple) + kEnvelopeNoise * rng.Gauss());
    const double l = al * (1 + m * std::cos(ripple) + kEnvelopeNoise * rng.Gauss());
    // The filament follows the bus ripple a little later than the arc does.
    const double f = af * (1 + mf * std::cos(ripple - 0.25) + kEnvelopeNoise * rng.Gauss());
    const double k2 = std::abs(l + f * filamentPhasor);
    c.EnvelopeRaw[WireU][k] = ToCounts(u * EnvelopeCountsPerVolt);
    c.EnvelopeRaw[WireIf][k] = ToCounts(f * EnvelopeCountsPerAmp);
    c.EnvelopeRaw[WireIl][k] = ToCounts(l * EnvelopeCountsPerAmp);
    c.EnvelopeRaw[WireIk][k] = ToCounts(k2 * EnvelopeCountsPerAmp);
  }

  // The values are those of the waves the sent envelopes describe: each
  // envelope point stands for one high-frequency period of that amplitude.
  // The waves are linear in their amplitudes, so one period at unit
  // amplitude is computed once and scaled.
  const LampWave wave(op);
  std::vector<LampInstant> unitU(kPhaseSteps), unitF(kPhaseSteps), unitL(kPhaseSteps);
  for (int s = 0; s < kPhaseSteps; ++s) {
    const double theta = 2 * kPi * s / kPhaseSteps;
    unitU[s] = wave.At(1, 0, 0, theta);
    unitF[s] = wave.At(0, 1, 0, theta);
    unitL[s] = wave.At(0, 0, 1, theta);
  }
  double su = 0, sf = 0, sl = 0, sk = 0, sp = 0;
  double pu = 0, pf = 0, pk = 0, lPos = 0, lNeg = 0;
  for (int k = 0; k < EnvelopeSamples; ++k) {
    const double u = c.EnvelopeRaw[WireU][k] / EnvelopeCountsPerVolt;
    const double f = c.EnvelopeRaw[WireIf][k] / EnvelopeCountsPerAmp;
    const double l = c.EnvelopeRaw[WireIl][k] / EnvelopeCountsPerAmp;
    for (int s = 0; s < kPhaseSteps; ++s) {
      LampInstant x;
      x.U = u * unitU[s].U;
      x.If = f * unitF[s].If;
      x.Il = l * unitL[s].Il;
      x.Ik = x.Il + x.If;
      su += x.U * x.U;
      sf += x.If * x.If;
      sl += x.Il * x.Il;
      sk += x.Ik * x.Ik;
      sp += x.U * x.Il;
      pu = std::max(pu, std::fabs(x.U));
      pf = std::max(pf, std::fabs(x.If));
      pk = std::max(pk, std::fabs(x.Ik));
      lPos = std::max(lPos, x.Il);
      lNeg = std::min(lNeg, x.Il);
    }
  }
  const double n = static_cast<double>(EnvelopeSamples) * kPhaseSteps;
  const double vrms = std::sqrt(su / n), ifrms = std::sqrt(sf / n);
  const double ilrms = std::sqrt(sl / n), ikrms = std::sqrt(sk / n);
  LampValues& v = c.Values;
  v.Vrms = static_cast<float>(vrms);
  v.Ifrms = static_cast<float>(ifrms);
  v.Ilrms = static_cast<float>(ilrms);
  v.Ikrms = static_cast<float>(ikrms);
  v.Vm = static_cast<float>(pu);
  v.Ifm = static_cast<float>(pf);
  v.Ilm = static_cast<float>(lPos);
  v.IlNegPeak = static_cast<float>(lNeg);
  v.Ikm = static_cast<float>(pk);
  v.Vcf = static_cast<float>(pu / vrms);
  v.Ifcf = static_cast<float>(pf / ifrms);
  v.IlcfPos = static_cast<float>(lPos / ilrms);
  v.IlcfNeg = static_cast<float>(-lNeg / ilrms);
  v.Ikcf = static_cast<float>(pk / ikrms);
  v.Pout = static_cast<float>(sp / n);
  v.OscKHz = static_cast<float>(op.OscKHz);

  BlockWriter frame(64);
  for (float x : {v.Vrms, v.Ifrms, v.Ilrms, v.Ikrms, v.Vm, v.Ifm, v.Ilm, v.IlNegPeak, v.Ikm, v.Vcf, v.Ifcf, v.IlcfPos,
                  v.IlcfNeg, v.Ikcf, v.Pout, v.OscKHz})
    frame.Float(x);
  c.ValueFrame = frame.Take();
  for (int ch = 0; ch < 4; ++ch) {
    BlockWriter w(2 * EnvelopeSamples);
    w.Samples(c.EnvelopeRaw[ch]);
    c.EnvelopeBlocks[ch] = w.Take();
  }
  return c;
}

WaveCapture CaptureWave(const LampCapture& lamp, int position, const WaveGains& gains, bool orderFlag, Random& rng) {
  const OperatingPoint& op = lamp.Point;
  const LampWave wave(op);
  WaveCapture c;
  c.Position = std::clamp(position, 0, EnvelopeSamples - 1);
  c.OrderFlag = orderFlag;
  c.PeriodSamples = WaveSampleRate / (op.OscKHz * 1000.0);

  const double u = lamp.EnvelopeRaw[WireU][c.Position] / EnvelopeCountsPerVolt;
  const double f = lamp.EnvelopeRaw[WireIf][c.Position] / EnvelopeCountsPerAmp;
  const double l = lamp.EnvelopeRaw[WireIl][c.Position] / EnvelopeCountsPerAmp;
  c.Amplitude[WireU] = u;
  c.Amplitude[WireIf] = f;
  c.Amplitude[WireIl] = l;
  c.Amplitude[WireIk] = std::abs(l + std::polar(f, op.FilamentPhase * kDeg));

  // Truth over one period, finely sampled, without noise or offset.
  constexpr int kTruthSteps = 3600;
  std::array<double, 4> sum{}, peak{};
  for (int s = 0; s < kTruthSteps; ++s) {
    const LampInstant x = wave.At(u, f, l, 2 * kPi * s / kTruthSteps);
    const double values[4] = {x.U, x.If, x.Il, x.Ik};
    for (int ch = 0; ch < 4; ++ch) {
      sum[ch] += values[ch] * values[ch];
      peak[ch] = std::max(peak[ch], std::fabs(values[ch]));
    }
  }
  for (int ch = 0; ch < 4; ++ch) {
    c.Rms[ch] = std::sqrt(sum[ch] / kTruthSteps);
    c.Crest[ch] = peak[ch] / c.Rms[ch];
    c.Gain[ch] = gains.Value(ch);
    c.Offset[ch] = rng.Uniform(-kWaveOffset, kWaveOffset);
  }

  // The capture is triggered at no particular point of the wave.
  const double phase0 = rng.Uniform(0.0, 2 * kPi);
  const double step = 2 * kPi / c.PeriodSamples;
  for (int n = 0; n < WaveSamples; ++n) {
    const LampInstant x = wave.At(u, f, l, phase0 + step * n);
    const double values[4] = {x.U, x.If, x.Il, x.Ik};
    for (int ch = 0; ch < 4; ++ch)
      c.Raw[ch][n] = ToCounts(values[ch] * c.Gain[ch] + c.Offset[ch] + kWaveNoise * rng.Gauss());
  }

  // Wire slots: U, If, Il, Ik, unless the flag says If and Ik swapped. The
  // gain fields describe the slot, so they travel with the wave.
  const int slots[4] = {WireU, orderFlag ? WireIk : WireIf, WireIl, orderFlag ? WireIf : WireIk};
  BlockWriter header(16);
  header.Byte(orderFlag ? 1 : 0);
  for (int slot = 0; slot < 4; ++slot) {
    const std::uint32_t g = gains.TenThousandths[slots[slot]];
    if (slot == 0)
      header.Byte(static_cast<std::uint8_t>(g / 10000));  // the voltage gain's integer part is one byte
    else
      header.UInt16(static_cast<std::uint16_t>(g / 10000));
    header.Byte(static_cast<std::uint8_t>((g / 100) % 100));
    header.Byte(static_cast<std::uint8_t>(g % 100));
  }
  c.Header = header.Take();
  for (int slot = 0; slot < 4; ++slot) {
    BlockWriter w(2 * WaveSamples);
    w.Samples(c.Raw[slots[slot]]);
    c.WaveBlocks[slot] = w.Take();
  }
  return c;
}

}  // namespace kt::sim
