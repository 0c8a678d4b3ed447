#include "fuzz/FuzzHarness.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "analysis/AnalysisPanels.h"
#include "analysis/AnalysisReport.h"
#include "app/FontSetup.h"
#include "core/AnalysisData.h"
#include "link/Form.h"
#include "link/TestRun.h"
#include "measurements/start/StartPrompt.h"
#include "platform/PrinterCanvas.h"
#include "platform/QtCanvas.h"
#include "support/RecordingCanvas.h"

// Fontconfig, below Qt, keeps font patterns in caches it never frees; they
// are not this program's leaks. Read by LeakSanitizer when it is linked in.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace kt::fuzz {

namespace {

// A4 across in 0.01 mm.
constexpr int PaperWidth = 29700, PaperHeight = 21000;
// The printer canvas draws on an image at this resolution: A4 is then
// 234 x 165 pixels, enough for the painter to do all its work on every item.
constexpr double ReportDpi = 20.0;
// Pages go through the screen canvas on an image this much smaller than the
// page; everything outside it is clipped, but drawn with the page's own
// coordinates.
constexpr int PageImageDivisor = 10;

bool ValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    int more = 0;
    unsigned min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(more) >= s.size()) return false;
    unsigned cp = c & (0x3F >> more);
    for (int k = 1; k <= more; ++k) {
      const auto d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

[[noreturn]] void Fail(const char* what, const char* item, int x1, int y1, int x2, int y2, const Box& b) {
  std::fprintf(stderr, "%s: %s at (%d, %d)-(%d, %d) leaves (%d, %d)-(%d, %d)\n", what, item, x1, y1, x2, y2, b.x1, b.y1,
               b.x2, b.y2);
  std::abort();
}

void CheckRecording(const char* what, const test::RecordingCanvas& c, const Box& b) {
  const auto in = [&b](int x, int y) { return x >= b.x1 && x <= b.x2 && y >= b.y1 && y <= b.y2; };
  for (const auto& t : c.texts) {
    if (!in(t.x, t.y)) Fail(what, ("text \"" + t.text + "\"").c_str(), t.x, t.y, t.x, t.y, b);
    if (!ValidUtf8(t.text)) {
      std::fprintf(stderr, "%s: text at (%d, %d) is not UTF-8\n", what, t.x, t.y);
      std::abort();
    }
  }
  for (const auto& l : c.lines)
    if (!in(l.x1, l.y1) || !in(l.x2, l.y2)) Fail(what, "line", l.x1, l.y1, l.x2, l.y2, b);
  for (const auto& r : c.rects)
    if (!in(r.x1, r.y1) || !in(r.x2, r.y2)) Fail(what, "rectangle", r.x1, r.y1, r.x2, r.y2, b);
  for (const auto& f : c.fills)
    if (!in(f.x1, f.y1) || !in(f.x2, f.y2)) Fail(what, "fill", f.x1, f.y1, f.x2, f.y2, b);
}

std::string& ScratchPath() {
  static std::string path;
  return path;
}

void RemoveScratch() {
  std::error_code ignored;
  if (!ScratchPath().empty()) std::filesystem::remove(ScratchPath(), ignored);
}

}  // namespace

Box PageBounds(int width, int height) {
  // A damaged curve is held at 4 times its reach, and no reach is more than
  // half the page, so nothing goes further than two page sizes past an edge.
  // (Long runs drew at most 1.3 page heights past one.)
  return {-2 * width, -2 * height, 3 * width, 3 * height};
}

Box ReportBounds() { return {0, -PaperHeight, PaperWidth, 0}; }

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
  CheckRecording(what, recorded, PageBounds(width, height));

  QImage image(std::max(1, width / PageImageDivisor), std::max(1, height / PageImageDivisor), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QtCanvas canvas(painter);
  draw(canvas);
}

void CheckReport(const char* what, const Drawing& draw) {
  test::RecordingCanvas recorded;
  draw(recorded);
  CheckRecording(what, recorded, ReportBounds());

  const double scale = ReportDpi / 2540.0;
  QImage image(static_cast<int>(PaperWidth * scale) + 1, static_cast<int>(PaperHeight * scale) + 1,
               QImage::Format_RGB32);
  const int dotsPerMetre = static_cast<int>(ReportDpi / 0.0254 + 0.5);
  image.setDotsPerMeterX(dotsPerMetre);
  image.setDotsPerMeterY(dotsPerMetre);
  image.fill(Qt::white);
  QPainter painter(&image);
  PrinterCanvas canvas(painter, ReportDpi);
  draw(canvas);
}

void CheckShownKind(Form& form) {
  static const char* const PageName[] = {"", "input page", "output page", "comprehensive page", "start page",
                                         "phase-angle page"};
  static const char* const ReportName[] = {"", "input report", "output report", "comprehensive report",
                                           "start report", "phase-angle report"};
  const std::int32_t kind = form.ShownKind;
  if (kind < InputTest || kind > PhaseTest) return;
  const KindOps& ops = form.Kinds[static_cast<std::size_t>(kind)];
  // As the main window does: the start test's prompt until it has a result.
  if (kind == StartTest && !form.M.Start.Valid)
    CheckPage("start prompt", PageWidth, PageHeight, [](Canvas& c) { PaintStartPrompt(c, PageWidth, PageHeight); });
  else if (ops.Paint)
    CheckPage(PageName[kind], PageWidth, PageHeight, [&](Canvas& c) { ops.Paint(form, c, PageWidth, PageHeight); });
  if (ops.Report) CheckReport(ReportName[kind], [&](Canvas& c) { ops.Report(form, c); });
}

void CheckAnalysis(const Form& form, const AnalysisData& a, int english) {
  // The analysis window has a fixed size, and so have its panels.
  constexpr int EnvelopeWidth = 300, WaveWidth = 228, PanelHeight = 100;
  for (int channel = 0; channel < 4; ++channel) {
    CheckPage("envelope panel", EnvelopeWidth, PanelHeight,
              [&](Canvas& c) { PaintEnvelopePanel(c, a, channel, EnvelopeWidth, PanelHeight); });
    CheckPage("wave panel", WaveWidth, PanelHeight,
              [&](Canvas& c) { PaintWavePanel(c, a, channel, WaveWidth, PanelHeight); });
    if (!ValidUtf8(RmsValueText(a, channel)) || !ValidUtf8(CrestValueText(a, channel))) {
      std::fprintf(stderr, "analysis value cell %d is not UTF-8\n", channel);
      std::abort();
    }
  }
  CheckReport("analysis report", [&](Canvas& c) { PrintAnalysisReport(form, a, english, c); });
}

std::string ScratchFile(const std::uint8_t* data, std::size_t size, const char* extension) {
  std::string& path = ScratchPath();
  if (path.empty()) {
    path = (std::filesystem::temp_directory_path() / ("kt-fuzz-" + std::to_string(getpid()) + extension)).string();
    std::atexit(RemoveScratch);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write the scratch file %s\n", path.c_str());
    std::abort();
  }
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
