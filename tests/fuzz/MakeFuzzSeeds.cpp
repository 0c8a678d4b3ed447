// Writes the seed inputs of every fuzz target under the given folder (one
// sub-folder per target): block sets from the simulated instrument, records
// stored through the kinds' own savers, and a few Port.cfg files. The seeds
// in tests/data/fuzz came from here; run it again only to renew them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/AnalysisFile.h"
#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "fuzz/FuzzHarness.h"
#include "link/Form.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "sim/Instrument.h"
#include "sim/Responder.h"
#include "support/Fakes.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(root / target);
  std::ofstream out(root / target / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Joined(const std::vector<kt::sim::Block>& blocks) {
  Bytes all;
  for (const auto& b : blocks) all.insert(all.end(), b.begin(), b.end());
  return all;
}

Bytes FileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A form with the kinds plugged in and test information with Chinese text,
// so the records carry GBK fields.
struct SeedForm : kt::test::FormRig {
  kt::AnalysisData analysis;
  SeedForm() {
    kt::RegisterMeasurementKinds(*form);
    kt::RegisterAnalysisKinds(*form);
    form->Analysis = &analysis;
    form->Info.Name = "电子镇流器";
    form->Info.No = "KT-0042";
    form->Info.Type = "YZ36RR";
    form->Info.Standard = "GB/T 15144";
    form->Info.Temperature = "25℃";
    form->Info.Humidity = "60%";
    form->Info.Manufacturer = "Example Lighting Co.";
    form->Info.Operator = "张工";
    form->Info.LuminousFlux = "3350";
    form->Info.ColourTemperature = "6500K";
  }
  // The blocks stored and decoded as the run's last step would.
  void Decode(kt::TestKind kind, const Bytes& blocks) {
    const kt::RunSpec& run = *form->Kinds[static_cast<std::size_t>(kind)].Run;
    kt::fuzz::StoreBlocks(*form, run, blocks.data(), blocks.size());
    if (run.OwnsRun) form->ShownKind = kind;
    run.Decode(*form);
  }
};

const fs::path Scratch() { return fs::temp_directory_path() / "kt-fuzz-seed.tmp"; }

void Record(kt::TestKind kind, const Bytes& blocks, int chinese, const std::string& name) {
  SeedForm f;
  f.form->ChineseMode = chinese;
  f.form->WideFreqMode = kind == kt::InputTest && chinese;
  f.Decode(kind, blocks);
  fs::remove(Scratch());
  if (f.form->Kinds[static_cast<std::size_t>(kind)].Save(*f.form, Scratch().string()) != 0) {
    std::fprintf(stderr, "could not store the %s record\n", name.c_str());
    std::exit(1);
  }
  Write("dat_file", name, FileBytes(Scratch()));
  fs::remove(Scratch());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  root = argv[1];
  kt::fuzz::StartQt();
  using kt::sim::Instrument;

  // Block sets, two sessions each; the second with the auxiliary channels
  // in the other order and a mode byte (Chinese, wide-band) after the blocks.
  for (int s = 0; s < 2; ++s) {
    Instrument in(11 + static_cast<std::uint64_t>(s), s == 1);
    const std::string name = "sim-" + std::to_string(s + 1);
    Bytes mains = Joined(Instrument::Blocks(in.MeasureInput()));
    Bytes lamp = Joined(Instrument::Blocks(in.MeasureOutput()));
    Bytes comp = Joined(Instrument::Blocks(in.MeasureComp()));
    Bytes start = Joined(Instrument::Blocks(in.MeasureStart()));
    Bytes wave{kt::sim::Responder::WaveCommandReply};
    const Bytes w = Joined(Instrument::Blocks(in.MeasureWave(s == 0 ? 75 : 140)));
    wave.insert(wave.end(), w.begin(), w.end());
    if (s == 1) {
      for (Bytes* b : {&mains, &lamp, &comp, &start}) b->push_back(3);
      wave.push_back(4);    // the analysis window in English
      wave.push_back(200);  // clicked at x 200
    }
    Write("input_blocks", name, mains);
    Write("phase_blocks", name, mains);
    Write("output_blocks", name, lamp);
    Write("bao_blocks", name, lamp);
    Write("comp_blocks", name, comp);
    Write("start_blocks", name, start);
    Write("gao_blocks", name, wave);
  }

  // Records of the five kinds, one language each, as the savers store them.
  {
    Instrument in(21);
    Record(kt::InputTest, Joined(Instrument::Blocks(in.MeasureInput())), 1, "input.dat");
    Record(kt::OutputTest, Joined(Instrument::Blocks(in.MeasureOutput())), 0, "output.dat");
    Record(kt::CompTest, Joined(Instrument::Blocks(in.MeasureComp())), 1, "comp.dat");
    Record(kt::StartTest, Joined(Instrument::Blocks(in.MeasureStart())), 0, "start.dat");
    Record(kt::PhaseTest, Joined(Instrument::Blocks(in.MeasureInput())), 1, "phase.dat");
  }

  // The analysis file after an envelope test, and after the wave analysis.
  {
    Instrument in(31);
    SeedForm f;
    const Bytes lamp = Joined(Instrument::Blocks(in.MeasureOutput()));
    f.Decode(kt::BaoTest, lamp);
    f.analysis.SelectX = 120;
    kt::SaveAnalysisFile(*f.form, f.analysis, 0, Scratch().string());
    Write("bdt_file", "envelope.bdt", FileBytes(Scratch()));
    fs::remove(Scratch());
    Bytes wave{kt::sim::Responder::WaveCommandReply};
    const Bytes w = Joined(Instrument::Blocks(in.MeasureWave(60)));
    wave.insert(wave.end(), w.begin(), w.end());
    f.Decode(kt::GaoTest, wave);
    kt::SaveAnalysisFile(*f.form, f.analysis, 1, Scratch().string());
    Write("bdt_file", "analysed.bdt", FileBytes(Scratch()));
    fs::remove(Scratch());
  }

  // Port.cfg: both names as the program writes them, a name it does not
  // know, one without its terminator, and an empty file.
  Write("port_cfg", "com1", Bytes{'C', 'O', 'M', '1', 0, 0});
  Write("port_cfg", "com2", Bytes{'C', 'O', 'M', '2', 0, 'x'});
  Write("port_cfg", "com3", Bytes{'C', 'O', 'M', '3', 0, 0});
  Write("port_cfg", "unterminated", Bytes{'C', 'O', 'M', '1', '2', '3', '4'});
  Write("port_cfg", "empty", Bytes{});
  return 0;
}
