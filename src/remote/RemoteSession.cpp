#include "remote/RemoteSession.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace kt {

namespace {

using scpi::Arg;
using scpi::Command;
using scpi::Entry;

enum Id {
  Idn = 1,
  Rst,
  Cls,
  Opc,
  OpcQuery,
  EsrQuery,
  StbQuery,
  Wai,
  ErrQuery,
  InitInput,
  InitOutput,
  InitComp,
  InitStart,
  InitPhase,
  InitEnvelope,
  InitHf,
  InitScan,
  Abort,
  Limits,
  LimitsQuery,
  InfoSet,
  InfoQuery,
  VerdictQuery,
  ScalarQuery,
  ArrayQuery,
  RunQuery,
  Store,
  Print,
};

const std::vector<Entry>& Table() {
  static const std::vector<Entry> table = {
      {Idn, "*IDN", true, false, 0, 0},
      {Rst, "*RST", false, true, 0, 0},
      {Cls, "*CLS", false, true, 0, 0},
      {Opc, "*OPC", false, true, 0, 0},
      {OpcQuery, "*OPC", true, false, 0, 0},
      {EsrQuery, "*ESR", true, false, 0, 0},
      {StbQuery, "*STB", true, false, 0, 0},
      {Wai, "*WAI", false, true, 0, 0},
      {ErrQuery, "SYSTem:ERRor[:NEXT]", true, false, 0, 0},
      {InitInput, "INITiate[:IMMediate]:INPut", false, true, 0, 0},
      {InitOutput, "INITiate[:IMMediate]:OUTPut", false, true, 0, 0},
      {InitComp, "INITiate[:IMMediate]:COMPrehensive", false, true, 0, 0},
      {InitStart, "INITiate[:IMMediate]:STARt", false, true, 0, 0},
      {InitPhase, "INITiate[:IMMediate]:PHASe", false, true, 0, 0},
      {InitEnvelope, "INITiate[:IMMediate]:ENVelope", false, true, 0, 0},
      {InitHf, "INITiate[:IMMediate]:HF", false, true, 0, 0},
      {InitScan, "INITiate[:IMMediate]:SCAN", false, true, 1, 1},
      {Abort, "ABORt", false, true, 0, 0},
      {Limits, "CONFigure:LIMits", false, true, 1, 1},
      {LimitsQuery, "CONFigure:LIMits", true, false, 0, 0},
      {InfoSet, "CONFigure:INFO:NO", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:TYPE", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:OPERator", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:NAME", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:STANdard", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:TEMPerature", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:HUMidity", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:MANufacturer", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:FLUX", false, true, 1, 1},
      {InfoSet, "CONFigure:INFO:CTEMperature", false, true, 1, 1},
      {InfoQuery, "CONFigure:INFO:NO", true, false, 0, 0},
      {InfoQuery, "CONFigure:INFO:TYPE", true, false, 0, 0},
      {InfoQuery, "CONFigure:INFO:OPERator", true, false, 0, 0},
      {VerdictQuery, "FETCh:VERDict", true, false, 0, 0},
      {ScalarQuery, "FETCh:SCALar", true, false, 1, 1},
      {ArrayQuery, "FETCh:ARRay", true, false, 1, 1},
      {RunQuery, "FETCh:RUN", true, false, 0, 0},
      {Store, "MMEMory:STORe", false, true, 1, 1},
      {Print, "HCOPy:FILE", false, true, 1, 1},
  };
  return table;
}

// SCPI's number for "not a number".
constexpr const char* NotANumber = "9.91E37";

// The shortest text that reads back as the very same double: a controller
// compares it with the stored record's figure and finds them equal.
std::string Number(double v) {
  if (!std::isfinite(v)) return NotANumber;
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

// The info field a header names: its last node in the long form.
std::string FieldOf(const std::string& header) {
  const auto colon = header.find_last_of(':');
  std::string node = colon == std::string::npos ? header : header.substr(colon + 1);
  if (!node.empty() && node.back() == '?') node.pop_back();
  for (char& c : node) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return node;
}

// A command's short form as the audit trail names it ("INIT:INP"), however
// the client wrote it.
std::string ShortName(int id) {
  for (const Entry& e : Table())
    if (e.Id == id) {
      std::string out;
      int optional = 0;
      for (const char* p = e.Header; *p; ++p) {
        optional += *p == '[' ? 1 : *p == ']' ? -1 : 0;
        if (optional == 0 && *p != ']' && !std::islower(static_cast<unsigned char>(*p))) out += *p;
      }
      return out;
    }
  return "";
}

constexpr unsigned EsrOperationComplete = 1, EsrQueryError = 4, EsrExecutionError = 16, EsrCommandError = 32;

}  // namespace

RemoteSession::RemoteSession(RemoteStation& station, std::string peer, bool controlling)
    : station_(station), peer_(std::move(peer)), controlling_(controlling) {}

void RemoteSession::Push(int code, const std::string& detail) {
  esr_ |= code <= -100 && code > -200   ? EsrCommandError
          : code <= -200 && code > -300 ? EsrExecutionError
                                        : EsrQueryError;
  if (errors_.size() >= MaxErrors) {
    // The newest error is lost; the queue's last entry says so.
    errors_.back() = {scpi::QueueOverflow, ""};
    return;
  }
  errors_.emplace_back(code, detail);
}

std::optional<std::string> RemoteSession::Line(std::string_view line) {
  return Execute(scpi::ParseLine(line, Table()));
}

std::optional<std::string> RemoteSession::RunEnded() {
  std::vector<Command> rest;
  rest.swap(waiting_);
  return Execute(std::move(rest));
}

std::optional<std::string> RemoteSession::Execute(std::vector<Command> commands) {
  std::vector<std::string> answers;
  answers.swap(held_);
  std::size_t k = 0;
  for (; k < commands.size(); ++k) {
    const Command& c = commands[k];
    if (c.Error) {
      Push(c.Error, c.Detail);
      continue;
    }
    if ((c.Id == OpcQuery || c.Id == Wai) && station_.Busy()) break;
    std::string answer = Run(c);
    if (c.Query) answers.push_back(std::move(answer));
  }
  // The rest waits for the run's end (*OPC?, *WAI), from the waiting
  // command on; the answers so far go out with the rest's.
  waiting_.assign(std::make_move_iterator(commands.begin() + static_cast<std::ptrdiff_t>(k)),
                  std::make_move_iterator(commands.end()));
  if (!waiting_.empty()) {
    held_ = std::move(answers);
    return std::nullopt;
  }
  if (answers.empty()) return std::nullopt;
  std::string out;
  for (const std::string& a : answers) out += (out.empty() ? "" : ";") + a;
  return out;
}

std::string RemoteSession::Run(const Command& c) {
  const auto need = [&](bool control) {
    if (control && !controlling_) {
      Push(scpi::ExecutionError, "another connection controls the station");
      return false;
    }
    return true;
  };
  const auto textArg = [&](std::size_t i) { return i < c.Args.size() ? c.Args[i].Value : std::string(); };
  std::string error;
  switch (c.Id) {
    case Idn:
      return station_.Identity();
    case Rst:
      if (need(true)) station_.Reset(), station_.Note(peer_, "*RST");
      return "";
    case Cls:
      errors_.clear(), esr_ = 0;
      return "";
    case Opc:
      esr_ |= EsrOperationComplete;
      return "";
    case OpcQuery:
      return "1";
    case Wai:
      return "";
    case EsrQuery: {
      const unsigned v = esr_;
      esr_ = 0;
      return std::to_string(v);
    }
    case StbQuery:
      return std::to_string((errors_.empty() ? 0 : 4) | (esr_ ? 32 : 0));
    case ErrQuery: {
      if (errors_.empty()) return "0,\"No error\"";
      const auto [code, detail] = errors_.front();
      errors_.pop_front();
      return std::to_string(code) + "," +
             scpi::Quote(std::string(scpi::ErrorText(code)) + (detail.empty() ? "" : "; " + detail));
    }
    case InitInput:
    case InitOutput:
    case InitComp:
    case InitStart:
    case InitPhase:
    case InitEnvelope:
    case InitHf: {
      static constexpr TestKind kinds[] = {InputTest, OutputTest, CompTest, StartTest, PhaseTest, BaoTest, GaoTest};
      if (!need(true)) return "";
      if (station_.Busy()) return Push(scpi::SettingsConflict, "a run is under way"), "";
      if (station_.StartRun(kinds[c.Id - InitInput], error) != 0) return Push(scpi::ExecutionError, error), "";
      station_.Note(peer_, ShortName(c.Id));
      return "";
    }
    case InitScan:
      if (!need(true)) return "";
      if (station_.Busy()) return Push(scpi::SettingsConflict, "a run is under way"), "";
      if (station_.StartScan(textArg(0), error) != 0) return Push(scpi::ExecutionError, error), "";
      station_.Note(peer_, "INIT:SCAN " + textArg(0));
      return "";
    case Abort:
      if (need(true)) station_.Abort(), station_.Note(peer_, "ABOR");
      return "";
    case Limits:
      if (!need(true)) return "";
      if (station_.SetLimits(textArg(0), error) != 0) return Push(scpi::ExecutionError, error), "";
      station_.Note(peer_, "CONF:LIM " + textArg(0));
      return "";
    case LimitsQuery:
      return scpi::Quote(station_.Limits());
    case InfoSet:
      if (!need(true)) return "";
      if (station_.SetInfo(FieldOf(c.Detail), textArg(0), error) != 0) return Push(scpi::DataOutOfRange, error), "";
      station_.Note(peer_, "CONF:INFO:" + FieldOf(c.Detail) + " " + textArg(0));
      return "";
    case InfoQuery: {
      std::string value;
      if (station_.Info(FieldOf(c.Detail), value) != 0) return Push(scpi::ExecutionError), "\"\"";
      return scpi::Quote(value);
    }
    case VerdictQuery:
      return station_.Verdict();
    case ScalarQuery: {
      double v = 0;
      bool measured = false;
      if (station_.Scalar(textArg(0), v, measured) != 0)
        return Push(scpi::ExecutionError, "no figure " + textArg(0)), NotANumber;
      return measured ? Number(v) : NotANumber;
    }
    case ArrayQuery: {
      std::vector<double> values;
      if (station_.Array(textArg(0), values) != 0) return Push(scpi::ExecutionError, "no array " + textArg(0)), "";
      std::string out;
      for (double v : values) out += (out.empty() ? "" : ",") + Number(v);
      return out;
    }
    case RunQuery: {
      std::string json;
      if (station_.RunJson(json) != 0) return Push(scpi::ExecutionError, "no run yet"), "{}";
      return json;
    }
    case Store:
    case Print:
      if (!need(true)) return "";
      if ((c.Id == Store ? station_.Store(textArg(0), error) : station_.Print(textArg(0), error)) != 0)
        return Push(scpi::ExecutionError, error), "";
      station_.Note(peer_, ShortName(c.Id) + " " + textArg(0));
      return "";
  }
  Push(scpi::CommandError);
  return "";
}

}  // namespace kt
