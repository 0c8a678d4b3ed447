// Paint time of every page the main window can show, at the design size and
// at a full-HD paint box: the page drawn off-screen into an image and copied,
// as PaintBox1Paint does; the analysis window's eight panels as its paint
// boxes draw them; the time to render each report to a PDF file as the
// print commands do; and the time each kind's decoding takes at the end of
// its run. Results come from decoding the simulated instrument's
// blocks through each kind's own block table. Prints table rows (see
// BenchSupport.h), not a verdict.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "analysis/AnalysisPanels.h"
#include "analysis/AnalysisReport.h"
#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/start/StartPrompt.h"
#include "platform/DrawingList.h"
#include "platform/PrinterCanvas.h"
#include "platform/QtCanvas.h"
#include "sim/Instrument.h"
#include "sim/Responder.h"
#include "station/FontSetup.h"
#include "support/Fakes.h"

namespace {

using namespace kt::bench;

std::vector<kt::sim::Block> BlocksFor(kt::sim::Instrument& instrument, kt::TestKind kind) {
  switch (kind) {
    case kt::InputTest:
    case kt::PhaseTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureInput());
    case kt::OutputTest:
    case kt::BaoTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureOutput());
    case kt::CompTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureComp());
    case kt::StartTest:
      return kt::sim::Instrument::Blocks(instrument.MeasureStart());
    case kt::GaoTest: {
      // The command's one-byte reply, then the waves at the middle envelope point.
      std::vector<kt::sim::Block> blocks{kt::sim::Block{kt::sim::Responder::WaveCommandReply}};
      for (auto& b : kt::sim::Instrument::Blocks(instrument.MeasureWave(75))) blocks.push_back(b);
      return blocks;
    }
    default:
      return {};
  }
}

// A page as the window paints it, medians of `repeats`: the drawing
// recorded (each time a step asks for a repaint, on the window thread), the
// recording played onto the page's spare w x h image (when the drawing
// changed, on the page's own thread), and the image copied to the window
// (each expose).
struct PaintTimes {
  double record = 0, raster = 0, copy = 0;
};
PaintTimes PaintMs(int w, int h, int repeats, const std::function<void(kt::Canvas&, int, int)>& draw) {
  QImage window(w, h, QImage::Format_RGB32), image(w, h, QImage::Format_RGB32);
  std::vector<double> record, raster, copy;
  for (int i = 0; i < repeats; ++i) {
    const auto t0 = Clock::now();
    kt::DrawingList list;
    draw(list, w, h);
    const auto t1 = Clock::now();
    {
      QPainter p(&image);
      kt::QtCanvas canvas(p);
      list.PlayOnto(canvas);
    }
    const auto t2 = Clock::now();
    QPainter out(&window);
    out.drawImage(0, 0, image);
    copy.push_back(Ms(t2, Clock::now()));
    record.push_back(Ms(t0, t1));
    raster.push_back(Ms(t1, t2));
  }
  // KT_BENCH_PAGES=folder keeps the pages and reports that were timed, to
  // look at.
  if (const char* keep = std::getenv("KT_BENCH_PAGES"); keep && w >= 640) {
    static int n = 0;
    window.save(QString::asprintf("%s/page-%02d-%dx%d.png", keep, ++n, w, h));
  }
  return {Median(record), Median(raster), Median(copy)};
}

struct Pdf {
  double ms = NAN;
  qint64 bytes = 0;
};

// One report to a PDF file, set up as the print commands set up the printer.
Pdf RenderPdf(const QString& path, const std::function<void(kt::Canvas&)>& draw) {
  Pdf r;
  const auto t0 = Clock::now();
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setFullPage(true);
  QPainter painter;
  if (!painter.begin(&printer)) return r;
  {
    kt::PrinterCanvas canvas(painter, printer.resolution());
    draw(canvas);
  }
  if (!painter.end()) return r;
  r.ms = Ms(t0, Clock::now());
  r.bytes = QFileInfo(path).size();
  if (const char* keep = std::getenv("KT_BENCH_PAGES")) {
    static int n = 0;
    QFile::copy(path, QString::asprintf("%s/report-%02d.pdf", keep, ++n));
  }
  return r;
}

std::string PdfFigure(const QString& path, int repeats, const std::function<void(kt::Canvas&)>& draw) {
  std::vector<double> times;
  qint64 bytes = 0;
  double first = NAN;
  for (int i = 0; i < repeats; ++i) {
    const Pdf p = RenderPdf(path, draw);
    if (std::isnan(p.ms)) return "failed";
    if (i == 0) first = p.ms;
    times.push_back(p.ms);
    bytes = p.bytes;
  }
  return Format("%.0f ms (first %.0f, %lld KB)", Median(times), first, static_cast<long long>(bytes / 1024));
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = 100, pdfRepeats = 5, decodeRepeats = 20;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      repeats = 20;
      pdfRepeats = 2;
      decodeRepeats = 5;
    } else if (a == "--repeats" && i + 1 < argc) {
      repeats = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--pdf-repeats" && i + 1 < argc) {
      pdfRepeats = std::max(1, std::atoi(argv[++i]));
    } else {
      std::printf("usage: page_paint_bench [--quick] [--repeats N] [--pdf-repeats N]\n");
      return a == "--help" ? 0 : 2;
    }
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  kt::InstallFontSubstitutions();
  WorkFolder folder;

  kt::test::FakeClock clock;
  kt::test::FakeHost host;
  kt::test::ScriptedPort port(clock);
  auto form = std::make_unique<kt::Form>(host, port, clock);
  kt::PrepareForm(*form);
  kt::AnalysisData analysis;
  form->Analysis = &analysis;
  // What an operator types in before printing.
  form->Info = {"T8 36W 电子镇流器", "KT-0418", "EB-236", "GB/T 15144", "25", "60",
                "示例电子有限公司",  "张工",    "3200",   "4000"};
  kt::sim::Instrument instrument(1);

  // Decodes one exchange of `kind` through its own block table, from empty
  // results as a run starts; returns the time the stores and the decoding
  // took (the instrument's own work of making the blocks left out).
  const auto decode = [&](kt::TestKind kind) {
    const kt::KindOps& ops = form->Kinds[static_cast<std::size_t>(kind)];
    const auto blocks = BlocksFor(instrument, kind);
    const auto t0 = Clock::now();
    kt::ClearResults(form->M);  // as each test command, or the first step of a new kind, does
    for (std::size_t b = 0; b < blocks.size() && b < ops.Run->Blocks.size(); ++b)
      ops.Run->Blocks[b].Store(*form, blocks[b].data(), static_cast<unsigned>(blocks[b].size()));
    if (ops.Run->Decode) ops.Run->Decode(*form);
    return Ms(t0, Clock::now());
  };
  const std::string sDecode = Format("Decoding one run's blocks (stores and decoding), median of %d", decodeRepeats);
  const auto decodeRow = [&](kt::TestKind kind) {
    std::vector<double> times;
    for (int i = 0; i < decodeRepeats; ++i) times.push_back(decode(kind));
    Row(sDecode, Format("%d %s", kind, KindName(kind)),
        Format("%.0f us (max %.0f us)", 1000 * Median(times), 1000 * Max(times)));
  };

  const std::string sPaint = Format(
      "Page paint (record + raster; the raster off the window thread), median of %d (640x385 / 1920x1017)", repeats);
  const std::string sPdf = Format("Report to PDF (QPrinter, PrinterCanvas), median of %d", pdfRepeats);
  const QString pdf = QString::fromStdString(folder.File("report.pdf"));
  double worstPage = -1;
  std::string worstName;
  const auto paintRow = [&](const std::string& what, const std::function<void(kt::Canvas&, int, int)>& draw) {
    const PaintTimes small = PaintMs(640, 385, repeats, draw), large = PaintMs(1920, 1017, repeats, draw);
    if (large.record + large.raster > worstPage) {
      worstPage = large.record + large.raster;
      worstName = what;
    }
    Row(sPaint, what,
        Format("%.2f / %.2f ms (record %.2f, raster %.2f; expose copy %.2f)", small.record + small.raster,
               large.record + large.raster, large.record, large.raster, large.copy),
        "- / < 5 ms");
  };

  for (kt::TestKind kind = kt::InputTest; kind <= kt::PhaseTest; ++kind) {
    const kt::KindOps& ops = form->Kinds[static_cast<std::size_t>(kind)];
    if (!ops.Run || !ops.Paint) continue;
    decodeRow(kind);
    form->ShownKind = kind;
    for (int chinese : {1, 0}) {
      form->ChineseMode = chinese;
      paintRow(Format("%d %s page, %s", kind, KindName(kind), chinese ? "Chinese" : "English"),
               [&](kt::Canvas& c, int w, int h) { ops.Paint(*form, c, w, h); });
    }
    if (!ops.Report) continue;
    std::string figure;
    for (int chinese : {1, 0}) {
      form->ChineseMode = chinese;
      figure += std::string(chinese ? "zh " : " | en ") +
                PdfFigure(pdf, pdfRepeats, [&](kt::Canvas& c) { ops.Report(*form, c); });
    }
    Row(sPdf, Format("%d %s report", kind, KindName(kind)), figure);
  }
  paintRow("start prompt", [](kt::Canvas& c, int w, int h) { kt::PaintStartPrompt(c, w, h); });
  Aim("page paint at 1920x1017, worst page (" + worstName + ")", Format("%.2f ms", worstPage),
      "< 5 ms every page, both languages");

  // The analysis window: an envelope test, then the waves at its middle.
  decodeRow(kt::BaoTest);
  decodeRow(kt::GaoTest);
  {
    // The window has a fixed size: its eight paint boxes as laid out.
    // (These are drawn directly, on the window thread: recording and
    // raster together, and the copy.)
    const auto panels = [&] {
      double total = 0;
      const auto add = [&](const PaintTimes& t) { total += t.record + t.raster + t.copy; };
      for (int c = 0; c < 4; ++c) {
        add(PaintMs(300, 100, 1, [&](kt::Canvas& cv, int w, int h) { kt::PaintEnvelopePanel(cv, analysis, c, w, h); }));
        add(PaintMs(228, 100, 1, [&](kt::Canvas& cv, int w, int h) { kt::PaintWavePanel(cv, analysis, c, w, h); }));
      }
      return total;
    };
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) times.push_back(panels());
    Row(sPaint, "analysis window: all 8 panels (4 envelopes 300x100, 4 waves 228x100)",
        Format("%.2f ms", Median(times)), "-");
  }
  {
    std::string figure;
    for (int english : {0, 1})
      figure += std::string(english ? " | en " : "zh ") + PdfFigure(pdf, pdfRepeats, [&](kt::Canvas& c) {
                  kt::PrintAnalysisReport(*form, analysis, english, c);
                });
    Row(sPdf, "6/7 analysis report (envelopes and waves)", figure);
  }
  return 0;
}
