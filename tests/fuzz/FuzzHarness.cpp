#include "fuzz/FuzzHarness.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "analysis/AnalysisPanels.h"
#include "analysis/AnalysisReport.h"
#include "core/AnalysisData.h"
#include "link/Form.h"
#include "link/TestRun.h"
#include "platform/PrinterCanvas.h"
#include "platform/QtCanvas.h"
#include "station/FontSetup.h"
#include "support/Recording.h"

// Fontconfig, below Qt, keeps font patterns in caches it never frees; they
// are not this program's leaks. Read by LeakSanitizer when it is linked in.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace kt::fuzz {

namespace {

constexpr int PaperWidth = 29700, PaperHeight = 21000;  // A4 across, 0.01 mm
constexpr double ReportDpi = 20.0;                      // A4 at 234 x 165 pixels
constexpr int PageWidth = 1920, PageHeight = 1017;

struct Box {
  int x1, y1, x2, y2;
};

// Every recorded operation: its coordinates within the box, its text UTF-8.
void CheckRecording(const char* what, const test::RecordingCanvas& c, const Box& b) {
  for (const std::string& op : c.ops) {
    const QByteArray utf8(op.data(), static_cast<qsizetype>(op.size()));
    bool bad = QString::fromUtf8(utf8).toUtf8() != utf8;
    std::istringstream in(op.substr(2));
    for (int i = 0, v = 0; i < (op[0] == 'T' ? 2 : 4) && in >> v; ++i)
      bad = bad || v < (i % 2 ? b.y1 : b.x1) || v > (i % 2 ? b.y2 : b.x2);
    if (bad) {
      std::fprintf(stderr, "%s: %s\n", what, op.c_str());
      std::abort();
    }
  }
}

std::string& ScratchPath() {
  static std::string path;
  return path;
}

}  // namespace

void StartQt() {
  static QGuiApplication* app = nullptr;
  if (app) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "kt-fuzz";
  static char* argv[] = {name, nullptr};
  app = new QGuiApplication(argc, argv);  // lives as long as the process
  InstallFontSubstitutions();
}

void CheckPage(const char* what, int width, int height, const Drawing& draw) {
  test::RecordingCanvas recorded;
  draw(recorded);
  CheckRecording(what, recorded, {-2 * width, -2 * height, 3 * width, 3 * height});
  QImage image(std::max(1, width / 10), std::max(1, height / 10), QImage::Format_RGB32);
  QPainter painter(&image);
  QtCanvas canvas(painter);
  draw(canvas);
}

void CheckReport(const char* what, const Drawing& draw) {
  test::RecordingCanvas recorded;
  draw(recorded);
  CheckRecording(what, recorded, {0, -PaperHeight, PaperWidth, 0});
  QImage image(static_cast<int>(PaperWidth * ReportDpi / 2540) + 1,
               static_cast<int>(PaperHeight * ReportDpi / 2540) + 1, QImage::Format_RGB32);
  QPainter painter(&image);
  PrinterCanvas canvas(painter, ReportDpi);
  draw(canvas);
}

void CheckShownKind(Form& form) {
  const std::int32_t kind = form.ShownKind;
  if (kind < InputTest || kind > PhaseTest) return;
  const KindOps& ops = form.Kinds[static_cast<std::size_t>(kind)];
  CheckPage("page", PageWidth, PageHeight, [&](Canvas& c) { ops.Paint(form, c, PageWidth, PageHeight); });
  CheckReport("report", [&](Canvas& c) { ops.Report(form, c); });
}

void CheckAnalysis(const Form& form, const AnalysisData& a, int english) {
  for (int channel = 0; channel < 4; ++channel) {
    CheckPage("envelope panel", 300, 100, [&](Canvas& c) { PaintEnvelopePanel(c, a, channel, 300, 100); });
    CheckPage("wave panel", 228, 100, [&](Canvas& c) { PaintWavePanel(c, a, channel, 228, 100); });
    CheckPage("value cells", 1, 1, [&](Canvas& c) {
      c.TextOut(0, 0, RmsValueText(a, channel));
      c.TextOut(0, 0, CrestValueText(a, channel));
    });
  }
  CheckReport("analysis report", [&](Canvas& c) { PrintAnalysisReport(form, a, english, c); });
}

std::string ScratchFile(const std::uint8_t* data, std::size_t size, const char* extension) {
  std::string& path = ScratchPath();
  if (path.empty()) {
    path = (std::filesystem::temp_directory_path() / ("kt-fuzz-" + std::to_string(getpid()) + extension)).string();
    std::atexit([] { std::filesystem::remove(ScratchPath()); });
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

std::size_t StoreBlocks(Form& form, const RunSpec& run, const std::uint8_t* data, std::size_t size) {
  std::size_t used = 0;
  std::vector<std::uint8_t> block;
  for (const BlockSpec& b : run.Blocks) {
    block.assign(b.Bytes, 0);
    const std::size_t n = std::min<std::size_t>(b.Bytes, size - used);
    std::copy_n(data + used, n, block.begin());
    used += n;
    if (b.Store) b.Store(form, block.data(), b.Bytes);
  }
  return used;
}

}  // namespace kt::fuzz
