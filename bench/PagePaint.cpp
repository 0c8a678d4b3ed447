// Paint time of every page the main window can show, at the design size and
// at a full-HD paint box: the page drawn off-screen into an image and copied,
// as PaintBox1Paint does. Results come from decoding the simulated
// instrument's blocks. Prints figures, not a verdict.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/FontSetup.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "platform/QtCanvas.h"
#include "sim/Instrument.h"
#include "support/Fakes.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<kt::sim::Block> BlocksFor(kt::sim::Instrument& instrument, kt::TestKind kind) {
  switch (kind) {
    case kt::InputTest:
    case kt::PhaseTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureInput());
    case kt::OutputTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureOutput());
    case kt::CompTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureComp());
    case kt::StartTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureStart());
    default:
      return {};
  }
}

double MedianMs(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  kt::InstallFontSubstitutions();
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 100;

  kt::test::FakeClock clock;
  kt::test::FakeHost host;
  kt::test::ScriptedPort port(clock);
  auto form = std::make_unique<kt::Form>(host, port, clock);
  kt::RegisterMeasurementKinds(*form);
  kt::ClearResults(form->M);
  kt::InitSnapshots(form->M);
  kt::sim::Instrument instrument(1);

  const char* names[] = {"", "input", "output", "comp", "start", "phase"};
  std::printf("%-8s %-9s %12s %12s\n", "page", "language", "640x385 ms", "1920x1017 ms");
  for (kt::TestKind kind = kt::InputTest; kind <= kt::PhaseTest; ++kind) {
    const kt::KindOps& ops = form->Kinds[static_cast<std::size_t>(kind)];
    if (!ops.Paint || !ops.Run) continue;
    // Decode one exchange of the kind through its own block table.
    const auto blocks = BlocksFor(instrument, kind);
    for (std::size_t b = 0; b < blocks.size() && b < ops.Run->Blocks.size(); ++b)
      ops.Run->Blocks[b].Store(*form, blocks[b].data(), static_cast<unsigned>(blocks[b].size()));
    if (ops.Run->Decode) ops.Run->Decode(*form);
    form->ShownKind = kind;
    form->M.Start.Valid = 1;
    for (int chinese : {0, 1}) {
      form->ChineseMode = chinese;
      double ms[2];
      const int sizes[2][2] = {{640, 385}, {1920, 1017}};
      for (int s = 0; s < 2; ++s) {
        const int w = sizes[s][0], h = sizes[s][1];
        QImage window(w, h, QImage::Format_RGB32);
        std::vector<double> times;
        for (int i = 0; i < repeats; ++i) {
          const auto t0 = Clock::now();
          QImage image(w, h, QImage::Format_RGB32);
          {
            QPainter p(&image);
            kt::QtCanvas canvas(p);
            ops.Paint(*form, canvas, w, h);
          }
          QPainter out(&window);
          out.drawImage(0, 0, image);
          times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        ms[s] = MedianMs(times);
      }
      std::printf("%-8s %-9s %12.2f %12.2f\n", names[kind], chinese ? "Chinese" : "English", ms[0], ms[1]);
    }
  }
  return 0;
}
