#include "measurements/comp/CompRecord.h"

#include "link/Form.h"

namespace kt {

namespace {

template <typename Io, typename F>
void Fields(Io& io, F& form) {
  auto& in = form.M.Input;
  auto& o = form.M.Output;
  io.I32(in.SampleCount);
  for (auto* f : {&in.Urms, &in.Irms, &in.Irmsw, &in.P, &in.PF, &in.PFw, &in.THDU, &in.THDI, &in.THDIw, &in.Freq,
                  &in.CFv, &in.CFi})
    io.F32(*f);
  io.F32(in.VoltagePeak);
  io.F32(in.CurrentPeak);
  for (auto* f : {&o.OscFreq, &o.Pout, &o.Vrms, &o.Ilm, &o.Ilrms, &o.IlcfPos, &o.Ifrms, &o.Ikrms}) io.F32(*f);
  io.F32(o.OutputWavePeak[ChU]);
  io.F32(o.OutputWavePeak[ChIl]);
  io.Floats(in.VoltageWave, WavePoints);
  io.Floats(in.CurrentWave, WavePoints);
  io.Floats(in.VoltageHarmonicPct, HarmonicBins);
  io.Floats(in.CurrentHarmonicPct, HarmonicBins);
  io.Floats(o.OutputWave[ChU], 200);
  io.Floats(o.OutputWave[ChIl], 200);
  ModesAndInfoFields(io, form, true);
}

}  // namespace

const RecordLayout CompRecord{CompTest, CompRecordSize, Fields<RecordBuilder, const Form>, Fields<RecordParser, Form>};

}  // namespace kt
