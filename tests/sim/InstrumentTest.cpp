// The instrument's blocks, read back from their bytes: layouts, and whether
// the values it reports are those of the waveforms it sends.
#include "sim/Instrument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <set>

#include "WireReading.h"

namespace kt::sim {
namespace {

using test::FloatAt;
using test::MaxAbs;
using test::Rms;
using test::Samples;
constexpr double kPi = std::numbers::pi;
constexpr int kSeeds = 12;

#define EXPECT_WITHIN(value, lo, hi) \
  do {                               \
    const double v_ = (value);       \
    EXPECT_GE(v_, lo) << #value;     \
    EXPECT_LE(v_, hi) << #value;     \
  } while (0)

std::vector<double> Scaled(const Block& block, double unitsPerCount) {
  std::vector<double> x = Samples(block);
  for (double& v : x) v *= unitsPerCount;
  return x;
}

double Harmonic(const std::vector<double>& x, int k) {
  std::complex<double> sum;
  for (std::size_t n = 0; n < x.size(); ++n) sum += x[n] * std::polar(1.0, -2 * kPi * k * n / x.size());
  return std::abs(sum);
}

double ThdPercent(const std::vector<double>& x) {
  double s = 0;
  for (int k = 2; k < 40; ++k) s += std::pow(Harmonic(x, k), 2);
  return std::sqrt(s) / Harmonic(x, 1) * 100;
}

// First sample at or above zero after a negative one: the voltage's rising
// zero crossing, to within one sample (1.4 degrees).
int RisingCrossing(const std::vector<double>& v) {
  for (std::size_t k = 0; k < v.size(); ++k)
    if (v[(k + v.size() - 1) % v.size()] < 0 && v[k] >= 0) return static_cast<int>(k);
  return -1;
}

// Degrees after the voltage's rising zero crossing at which the current
// starts, peaks and ends in the first half-period, judged at 5 % of its peak.
std::array<double, 3> ConductionAngles(const std::vector<double>& v, const std::vector<double>& i) {
  const int n = static_cast<int>(i.size()), zero = RisingCrossing(v);
  auto at = [&](int k) { return i[(zero + k) % n]; };
  int peak = 0;
  for (int k = 0; k < n / 2; ++k)
    if (at(k) > at(peak)) peak = k;
  const double threshold = 0.05 * at(peak);
  int begin = 0, end = peak;
  while (begin < peak && at(begin) <= threshold) ++begin;
  while (end < n / 2 && at(end) >= threshold) ++end;
  return {begin * 360.0 / n, peak * 360.0 / n, end * 360.0 / n};
}

TEST(InstrumentSession, SameSeedSameSessionOtherSeedOtherBallast) {
  auto session = [](std::uint64_t seed) {
    Instrument ins(seed);
    std::vector<Block> all = Instrument::Blocks(ins.MeasureInput());
    for (const auto& b : Instrument::Blocks(ins.MeasureComp())) all.push_back(b);
    for (const auto& b : Instrument::Blocks(ins.MeasureStart())) all.push_back(b);
    for (const auto& b : Instrument::Blocks(ins.MeasureWave(10))) all.push_back(b);
    return all;
  };
  EXPECT_EQ(session(42), session(42));
  EXPECT_NE(session(42), session(43));
}

TEST(InstrumentSession, SuccessiveMeasurementsDriftOnlySlightly) {
  Instrument ins(5);
  const Block first = ins.MeasureInput().ValueFrame;
  for (int run = 0; run < 20; ++run) {
    const Block next = ins.MeasureInput().ValueFrame;
    EXPECT_NE(next, first);
    for (std::size_t offset : {0u, 4u, 12u})  // Urms, Irms, P
      EXPECT_NEAR(FloatAt(next, offset), FloatAt(first, offset), 0.05 * FloatAt(first, offset));
  }
}

// --- Mains ("0") -----------------------------------------------------------

TEST(InstrumentMains, ValuesAreThoseOfAValleyFillCurrentOnAFlatToppedLine) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE(seed);
    Instrument ins(seed);
    const auto blocks = Instrument::Blocks(ins.MeasureInput());
    const auto v = Scaled(blocks[0], MainsVoltsPerCount), i = Scaled(blocks[1], MainsAmpsPerCount);
    double p = 0;
    for (std::size_t n = 0; n < v.size(); ++n) p += v[n] * i[n] / v.size();
    const auto& f = blocks[2];
    const double urms = Rms(v), irms = Rms(i), ihf = FloatAt(f, 28);
    const double irmsw = std::sqrt(irms * irms + ihf * ihf);
    EXPECT_NEAR(FloatAt(f, 0), urms, 1e-5 * urms);
    EXPECT_NEAR(FloatAt(f, 4), irms, 1e-5 * irms);
    EXPECT_NEAR(FloatAt(f, 8), irmsw, 1e-5 * irmsw);
    EXPECT_NEAR(FloatAt(f, 12), p, 1e-5 * p);
    EXPECT_NEAR(FloatAt(f, 16), p / (urms * irms), 1e-5);
    EXPECT_NEAR(FloatAt(f, 20), p / (urms * irmsw), 1e-5);
    EXPECT_NEAR(FloatAt(f, 32), MaxAbs(v) / urms, 1e-5);
    EXPECT_NEAR(FloatAt(f, 36), MaxAbs(i) / irms, 1e-5);

    EXPECT_WITHIN(urms, 225.4, 234.6);
    EXPECT_WITHIN(FloatAt(f, 24), 49.9f, 50.1f);
    EXPECT_WITHIN(ihf, 0.01, 0.05);
    EXPECT_WITHIN(irms, 0.15, 0.2);
    EXPECT_WITHIN(FloatAt(f, 16), 0.9, 0.97);
    // The converters' range is used well, without clipping.
    EXPECT_GT(MaxAbs(Samples(blocks[0])), 12000);
    EXPECT_WITHIN(MaxAbs(Samples(blocks[1])), 10000, 32000);

    EXPECT_WITHIN(ThdPercent(v), 1.0, 3.0);
    EXPECT_WITHIN(ThdPercent(i), 20.0, 45.0);
    EXPECT_LT(FloatAt(f, 32), std::sqrt(2.0) - 0.01);  // flat top
    // Both half-waves alike: odd harmonics only.
    const double h1 = Harmonic(i, 1);
    EXPECT_GT(Harmonic(i, 3), 0.1 * h1);
    EXPECT_GT(Harmonic(i, 5), 0.03 * h1);
    for (int k : {0, 2, 4, 6}) EXPECT_LT(Harmonic(i, k), 0.01 * h1) << "bin " << k;
    const auto [begin, peak, end] = ConductionAngles(v, i);
    EXPECT_WITHIN(begin, 25, 40);
    EXPECT_WITHIN(peak, 80, 95);
    EXPECT_WITHIN(end, 150, 165);
  }
}

TEST(InstrumentMains, CapturesStartAnywhereInThePeriod) {
  Instrument ins(9);
  std::set<int> octants;
  for (int run = 0; run < 16; ++run) {
    const MainsCapture c = ins.MeasureInput();
    const int zero = RisingCrossing(std::vector<double>(c.Voltage.begin(), c.Voltage.end()));
    const double expected = std::fmod(360.0 - zero * 360.0 / MainsSamples, 360.0);
    EXPECT_LT(std::fabs(std::remainder(expected - c.StartPhase, 360.0)), 2.0);
    octants.insert(static_cast<int>(c.StartPhase / 45.0));
  }
  EXPECT_GE(octants.size(), 4u);
}

// --- Lamp ("1", and the lamp half of "2") ----------------------------------

struct LampFrame {
  float Vrms, Ifrms, Ilrms, Ikrms, Vm, Ifm, Ilm, IlNeg, Ikm, Vcf, Ifcf, IlcfPos, IlcfNeg, Ikcf, Pout, Osc;
};

LampFrame ReadLampFrame(const Block& b, std::size_t at = 0) {
  float v[16];
  for (int k = 0; k < 16; ++k) v[k] = FloatAt(b, at + 4 * k);
  return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]};
}

// Crest factor of a carrier whose fundamental amplitude follows `env`.
double EnvelopeCrest(const std::vector<double>& env) { return std::sqrt(2.0) * MaxAbs(env) / Rms(env); }

void ExpectLampConsistent(const LampFrame& f, const std::vector<Block>& envelopes, double voltageH3) {
  const auto u = Samples(envelopes[0]), fil = Samples(envelopes[1]);
  const auto lamp = Samples(envelopes[2]), cathode = Samples(envelopes[3]);
  // Peaks and crest factors tell the same story.
  EXPECT_NEAR(f.Vm / f.Vrms, f.Vcf, 1e-5);
  EXPECT_NEAR(f.Ifm / f.Ifrms, f.Ifcf, 1e-5);
  EXPECT_NEAR(f.Ilm / f.Ilrms, f.IlcfPos, 1e-5);
  EXPECT_NEAR(-f.IlNeg / f.Ilrms, f.IlcfNeg, 1e-5);
  EXPECT_NEAR(f.Ikm / f.Ikrms, f.Ikcf, 1e-5);
  // The envelopes carry the values: RMS through the converter scale, crest
  // factors through the envelope's own peak-to-RMS.
  EXPECT_NEAR(f.Ifrms, Rms(fil) / std::sqrt(2.0) / EnvelopeCountsPerAmp, 1e-4 * f.Ifrms);
  EXPECT_NEAR(f.Ilrms, Rms(lamp) / std::sqrt(2.0) / EnvelopeCountsPerAmp, 5e-3 * f.Ilrms);
  EXPECT_NEAR(f.Ifcf, EnvelopeCrest(fil), 1e-4 * f.Ifcf);
  EXPECT_NEAR((f.IlcfPos + f.IlcfNeg) / 2, EnvelopeCrest(lamp), 0.003);
  EXPECT_NEAR(f.Ikcf, EnvelopeCrest(cathode), 0.015);
  const double a = voltageH3;  // the lamp voltage's peaky third harmonic
  EXPECT_NEAR(f.Vrms, Rms(u) / EnvelopeCountsPerVolt * std::sqrt((1 + a * a) / 2), 1e-4 * f.Vrms);
  EXPECT_NEAR(f.Vcf, EnvelopeCrest(u) * (1 + a) / std::sqrt(1 + a * a), 1e-3);
  // The cathode lead carries lamp and filament current together.
  for (std::size_t k = 0; k < lamp.size(); ++k)
    EXPECT_WITHIN(cathode[k], std::fabs(lamp[k] - fil[k]) - 1, lamp[k] + fil[k] + 1);
  EXPECT_LT(MaxAbs(fil), MaxAbs(cathode));
}

TEST(InstrumentLamp, ARunning36WattLampAsItsEnvelopesShowIt) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE(seed);
    Instrument ins(seed);
    const LampCapture c = ins.MeasureOutput();
    const auto blocks = Instrument::Blocks(c);
    const LampFrame f = ReadLampFrame(blocks[0]);
    ExpectLampConsistent(f, {blocks.begin() + 1, blocks.end()}, c.Point.LampVoltageH3);
    EXPECT_WITHIN(f.Vrms, 100, 110);
    EXPECT_WITHIN(f.Ilrms, 0.315, 0.365);
    EXPECT_WITHIN(f.Ifrms, 0.1, 0.2);
    EXPECT_WITHIN(f.Ikrms, std::max(0.35f, f.Ifrms), 0.46);
    for (float cf : {f.IlcfPos, f.IlcfNeg}) EXPECT_WITHIN(cf, 1.4, 1.7);
    EXPECT_WITHIN(std::fabs(f.IlcfPos - f.IlcfNeg) / std::max(f.IlcfPos, f.IlcfNeg) * 100, 1.0, 6.0);
    EXPECT_LT(f.IlNeg, 0);
    EXPECT_WITHIN(f.Pout, 30, 34);
    EXPECT_WITHIN(f.Osc, 40, 50);
    for (std::size_t ch = 1; ch < blocks.size(); ++ch) {
      const auto env = Samples(blocks[ch]);
      EXPECT_WITHIN(*std::min_element(env.begin(), env.end()), 1000, 25000);
      EXPECT_LT(MaxAbs(env), 25000);
      // Two 100 Hz ripples per mains period.
      EXPECT_GT(Harmonic(env, 2), 3 * std::max(Harmonic(env, 1), Harmonic(env, 3))) << "channel " << ch;
    }
  }
}

TEST(InstrumentComp, ValueBlockJoinsBothFramesOfTheSameMoment) {
  for (int seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    Instrument ins(seed);
    const CompCapture c = ins.MeasureComp();
    const auto blocks = Instrument::Blocks(c);
    ASSERT_EQ(blocks[2].size(), 104u);
    const auto v = Scaled(blocks[0], MainsVoltsPerCount), i = Scaled(blocks[1], MainsAmpsPerCount);
    double p = 0;
    for (std::size_t n = 0; n < v.size(); ++n) p += v[n] * i[n] / v.size();
    EXPECT_NEAR(FloatAt(blocks[2], 0), Rms(v), 1e-3);
    EXPECT_NEAR(FloatAt(blocks[2], 12), p, 1e-4 * p);
    const LampFrame f = ReadLampFrame(blocks[2], 40);
    ExpectLampConsistent(f, {blocks.begin() + 3, blocks.end()}, c.Lamp.Point.LampVoltageH3);
    EXPECT_WITHIN(f.Pout / p, 0.8, 0.95);  // the ballast's efficiency
  }
}

// --- Start ("3") -----------------------------------------------------------

TEST(InstrumentStart, PreheatIgnitionAndRunWithTheSummaryMeasuredOnTheCurves) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE(seed);
    Instrument ins(seed);
    const auto blocks = Instrument::Blocks(ins.MeasureStart());
    const Block& s = blocks[4];
    EXPECT_EQ(s[36], 0);
    std::vector<double> curve[4];
    for (int ch = 0; ch < 4; ++ch) {
      curve[ch] = Scaled(blocks[ch], ch == 0 ? StartVoltsPerCount : StartAmpsPerCount);
      const auto top = std::max_element(curve[ch].begin(), curve[ch].end());
      EXPECT_NEAR(FloatAt(s, 4 * ch), *top, 1e-6 * *top) << "peak " << ch;
      EXPECT_FLOAT_EQ(FloatAt(s, 20 + 4 * ch), (top - curve[ch].begin()) * (5.0f / 300)) << "time " << ch;
    }
    const auto& [u, fil, lamp, cathode] = curve;
    // The lamp strikes at the end of the warm-up, and that is the voltage peak.
    const double warmUp = FloatAt(s, 16);
    EXPECT_FLOAT_EQ(warmUp, FloatAt(s, 20));
    EXPECT_WITHIN(warmUp, 0.8, 1.5);
    const int strike = static_cast<int>(std::lround(warmUp * 60));
    EXPECT_WITHIN(u[strike], 500, 900);
    // Preheat: hot filaments, open-circuit voltage, no arc.
    const double preheatIf = *std::max_element(fil.begin(), fil.begin() + strike);
    EXPECT_WITHIN(preheatIf, 0.5, 0.7);
    for (int k = 5; k < strike - 1; ++k) {
      EXPECT_LT(lamp[k], 0.01) << k;
      EXPECT_WITHIN(u[k], 200, 300);
    }
    // Run: the lamp current overshoots a little and settles, the voltage
    // settles near 100 V, the filament current drops.
    double runIl = 0, runU = 0, runIf = 0;
    for (int k = 240; k < 300; ++k) runIl += lamp[k] / 60, runU += u[k] / 60, runIf += fil[k] / 60;
    EXPECT_WITHIN(*std::max_element(lamp.begin(), lamp.end()), 1.03 * runIl, 1.3 * runIl);
    EXPECT_NEAR(runIl, 0.34, 0.03);
    EXPECT_NEAR(runU, 105, 12);
    EXPECT_LT(runIf, 0.5 * preheatIf);
    EXPECT_GT(cathode[299], lamp[299]);
  }
}

TEST(InstrumentStart, OrderFlagReallyExchangesFilamentAndCathodeCurves) {
  Instrument plain(3), flagged(3, true);
  const auto a = Instrument::Blocks(plain.MeasureStart());
  const auto b = Instrument::Blocks(flagged.MeasureStart());
  EXPECT_EQ(b[0], a[0]);
  EXPECT_EQ(b[1], a[3]);
  EXPECT_EQ(b[2], a[2]);
  EXPECT_EQ(b[3], a[1]);
  EXPECT_TRUE(std::equal(a[4].begin(), a[4].begin() + 36, b[4].begin()));
  EXPECT_EQ(b[4][36], 1);
}

// --- High frequency ("4") --------------------------------------------------

double HeaderGain(const Block& h, int slot) {
  if (slot == 0) return h[1] + h[2] * 0.01 + h[3] * 0.0001;
  const std::size_t at = 4 * slot;
  return (h[at] | h[at + 1] << 8) + h[at + 2] * 0.01 + h[at + 3] * 0.0001;
}

// Fundamental amplitude and mean of a wave of known period (in samples), over
// the whole periods the capture holds.
std::pair<double, double> Fundamental(const std::vector<double>& x, double period) {
  const int n = static_cast<int>(std::floor(x.size() / period) * period);
  double mean = 0, s = 0, c = 0;
  for (int k = 0; k < n; ++k) mean += x[k] / n;
  for (int k = 0; k < n; ++k) {
    s += (x[k] - mean) * std::sin(2 * kPi * k / period);
    c += (x[k] - mean) * std::cos(2 * kPi * k / period);
  }
  return {2 * std::hypot(s, c) / n, mean};
}

TEST(InstrumentWave, WavesFollowTheEnvelopeAtThePosition) {
  for (int seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    Instrument ins(seed);
    const auto lamp = Instrument::Blocks(ins.MeasureOutput());
    const double period = WaveSampleRate / (FloatAt(lamp[0], 60) * 1000.0);
    const auto il = Samples(lamp[3]);
    const int high = static_cast<int>(std::max_element(il.begin(), il.end()) - il.begin());
    const int low = static_cast<int>(std::min_element(il.begin(), il.end()) - il.begin());
    double lampAmplitude[2] = {};
    for (int position : {high, low}) {
      const auto w = Instrument::Blocks(ins.MeasureWave(static_cast<std::uint8_t>(position)));
      const Block& h = w[0];
      EXPECT_EQ(h[0], 0);
      EXPECT_NEAR(HeaderGain(h, 0), 20.48, 0.2);
      const double units[4] = {EnvelopeCountsPerVolt, EnvelopeCountsPerAmp, EnvelopeCountsPerAmp,
                               EnvelopeCountsPerAmp};
      for (int slot = 0; slot < 4; ++slot) {
        if (slot > 0) {
          EXPECT_NEAR(HeaderGain(h, slot), 10000, 100);
        }
        const auto x = Samples(w[1 + slot]);
        const auto [amplitude, offset] = Fundamental(x, period);
        const double env = Samples(lamp[1 + slot])[position] / units[slot];
        EXPECT_NEAR(amplitude / HeaderGain(h, slot), env, 0.005 * env) << "slot " << slot;
        EXPECT_LT(std::fabs(offset), 60);
        // Over one period: a peakier voltage, a near-sinusoidal lamp current.
        std::vector<double> one(x.begin(), x.begin() + std::lround(period));
        for (double& v : one) v -= offset;
        if (slot == 0) EXPECT_WITHIN(MaxAbs(one) / Rms(one), 1.44, 1.6);
        if (slot == 2) EXPECT_WITHIN(MaxAbs(one) / Rms(one), 1.37, 1.47);
        if (slot == 2) lampAmplitude[position == high ? 0 : 1] = amplitude;
      }
    }
    EXPECT_GT(lampAmplitude[0], 1.08 * lampAmplitude[1]);
  }
}

TEST(InstrumentWave, PositionsPastTheEnvelopeMeanItsLastPoint) {
  Instrument ins(8);
  const WaveCapture last = ins.MeasureWave(149);
  const WaveCapture beyond = ins.MeasureWave(255);
  EXPECT_EQ(beyond.Position, 149);
  EXPECT_EQ(beyond.Amplitude, last.Amplitude);
}

TEST(InstrumentWave, OrderFlagExchangesFilamentAndCathodeSlotsWithTheirGains) {
  Instrument ins(4, true);
  const WaveCapture c = ins.MeasureWave(30);
  const auto blocks = Instrument::Blocks(c);
  EXPECT_EQ(blocks[0][0], 1);
  EXPECT_EQ(Samples(blocks[2]), std::vector<double>(c.Raw[WireIk].begin(), c.Raw[WireIk].end()));
  EXPECT_EQ(Samples(blocks[4]), std::vector<double>(c.Raw[WireIf].begin(), c.Raw[WireIf].end()));
  EXPECT_NEAR(HeaderGain(blocks[0], 1), c.Gain[WireIk], 1e-9);
  EXPECT_NEAR(HeaderGain(blocks[0], 3), c.Gain[WireIf], 1e-9);
}

}  // namespace
}  // namespace kt::sim
