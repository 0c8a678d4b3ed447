#include "measurements/output/OutputRecord.h"

#include "link/Form.h"

namespace kt {

namespace {

template <typename Io, typename F>
void Fields(Io& io, F& form) {
  auto& o = form.M.Output;
  for (auto* f : {&o.OscFreq, &o.Pout, &o.Vm, &o.Vrms, &o.Vcf, &o.Ilm, &o.Ilrms, &o.IlcfPos, &o.IlcfNeg, &o.Ildhc,
                  &o.Ifm, &o.Ifrms, &o.Ifcf, &o.Ikm, &o.Ikrms, &o.Ikcf})
    io.F32(*f);
  io.Floats(o.OutputWavePeak, 4);
  for (auto& curve : o.OutputWave) io.Floats(curve, 200);
  ModesAndInfoFields(io, form, false);
}

}  // namespace

const RecordLayout OutputRecord{OutputTest, OutputRecordSize, Fields<RecordBuilder, const Form>,
                                Fields<RecordParser, Form>};

}  // namespace kt
