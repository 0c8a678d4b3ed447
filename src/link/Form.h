#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "core/MeasureSet.h"
#include "core/TestInfo.h"
#include "core/TestKind.h"
#include "platform/Canvas.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/SerialPort.h"

namespace kt {

// The deadline mark: no block is being timed.
inline constexpr std::int32_t NoDeadline = 0x7FFFFFFF;
// How long a block of the timed kinds may take, from the byte that asked for it.
inline constexpr std::int32_t BlockDeadlineMs = 2000;

// Shared between the window thread and the receive poller's check, which also
// runs on the window thread, so no lock is needed.
struct LinkState {
  std::uint32_t ExpectedCount = 1;          // bytes the next block must bring; 1 when idle
  std::int32_t StepStartTick = NoDeadline;  // when the current wait began
  std::int32_t TimeoutFlag = 0;             // the poller gave up on the current block
  // The handshake of the starting run: 0 none under way, 1 the first "?" is
  // out, 2 the second (the first answer was a "?").
  std::int32_t Handshake = 0;
  std::int32_t LineLost = 0;  // the line hung up under the run under way
};

struct AnalysisData;
struct Form;
struct RecordLayout;
struct RunSpec;

// What a test kind plugs into the main window. Entries stay empty until the
// kind is built.
struct KindOps {
  const RunSpec* Run = nullptr;
  void (*Restore)(Form&) = nullptr;  // Back/Next
  void (*Paint)(Form&, Canvas&, int width, int height) = nullptr;
  // The page's own use of the mouse and the keyboard (the start test's cursor).
  void (*MouseDown)(Form&, int x, int y, int width) = nullptr;
  void (*KeyDown)(Form&, int key) = nullptr;
  // The data record (*.dat file) and the printed report.
  const RecordLayout* Record = nullptr;
  void (*Report)(Form&, Canvas&) = nullptr;
};

// Everything the main window owns that the test runs, decodings and pages
// work on, free of any window-system type. The main window holds one and
// implements Host for it.
struct Form {
  Form(Host& h, SerialPort& p, Clock& c) : host(h), port(p), clock(c) {}
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Host& host;
  SerialPort& port;
  Clock& clock;

  std::int32_t ShownKind = NoTest;
  std::int32_t SelectedKind = NoTest;
  std::int32_t ChineseMode = 0;
  std::int32_t WideFreqMode = 0;
  std::int32_t TestBusy = 0;
  std::int32_t CommStep = 0;
  std::int32_t ExitPending = 0;
  std::int32_t TestLocked = 0;
  std::int32_t PrinterFamily = 0;
  // The kind of the run under way, from its first step to its end, whatever
  // the page shows meanwhile; 0 when no run is under way. Every step goes to
  // this kind's exchange.
  std::int32_t RunKind = NoTest;
  // A test command or Timer1 asked for a run of SelectedKind. Only such a
  // request starts one: bytes the instrument sends unasked never do.
  std::int32_t StartRequested = 0;

  char PortName[8] = {};
  // A serial device the operator chose from the system's ports; empty: the
  // device behind PortName. Kept in the settings, not in Port.cfg.
  std::string PortDevice;
  TestInfo Info;
  char TestDate[11] = {};
  std::int32_t PeakIndex = 0;  // written by MaxAbs

  MeasureSet M;
  LinkState Link;
  std::uint8_t RxBuffer[2048] = {};

  std::array<KindOps, KindCount> Kinds{};
  // A main kind's entry; nullptr for the analysis kinds and for a number
  // that is no kind (a damaged file's).
  const KindOps* MainKind(TestKind kind) const {
    return IsMainKind(kind) ? &Kinds[static_cast<std::size_t>(kind)] : nullptr;
  }

  // The analysis window's results; that window owns them and sets this when
  // it is created.
  AnalysisData* Analysis = nullptr;
};

}  // namespace kt
