#include "remote/StationRemote.h"

#include <QFile>
#include <QPrinter>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "link/Controller.h"
#include "link/Form.h"
#include "link/TestRun.h"
#include "platform/GbkText.h"
#include "platform/PrintJob.h"
#include "platform/SafeFile.h"
#include "station/LoneForm.h"
#include "station/PrintedReport.h"
#include "station/RunRecorder.h"
#include "station/RunText.h"
#include "station/Scan.h"
#include "station/StationSettings.h"
#include "verdict/ClassC.h"

namespace kt {

namespace {

// The test-information fields by the names the CONFigure:INFO headers use,
// short and long, with the file's field sizes.
struct InfoField {
  const char *Short, *Long;
  std::string TestInfo::*Member;
  int Size;
};
constexpr InfoField InfoFields[] = {
    {"NO", "NO", &TestInfo::No, TestInfoSizes::No},
    {"TYPE", "TYPE", &TestInfo::Type, TestInfoSizes::Type},
    {"OPER", "OPERATOR", &TestInfo::Operator, TestInfoSizes::Operator},
    {"NAME", "NAME", &TestInfo::Name, TestInfoSizes::Name},
    {"STAN", "STANDARD", &TestInfo::Standard, TestInfoSizes::Standard},
    {"TEMP", "TEMPERATURE", &TestInfo::Temperature, TestInfoSizes::Temperature},
    {"HUM", "HUMIDITY", &TestInfo::Humidity, TestInfoSizes::Humidity},
    {"MAN", "MANUFACTURER", &TestInfo::Manufacturer, TestInfoSizes::Manufacturer},
    {"FLUX", "FLUX", &TestInfo::LuminousFlux, TestInfoSizes::LuminousFlux},
    {"CTEM", "CTEMPERATURE", &TestInfo::ColourTemperature, TestInfoSizes::ColourTemperature},
};

const InfoField* FieldNamed(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const InfoField& f : InfoFields)
    if (name == f.Short || name == f.Long) return &f;
  return nullptr;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

int RemoteFile(const std::string& folder, const std::string& name, const char* extension, std::string& path,
               std::string& error) {
  // A peer on the network names the file: it may not climb out of the
  // folder, nor replace anything but a record or a report.
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos)
    return error = "a file name relative to the station's folder is needed", 1;
  for (std::size_t at = 0; at <= name.size();) {
    const std::size_t end = std::min(name.find('/', at), name.size());
    const std::string part = name.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return error = "the file name may not hold \"..\" or \"//\"", 1;
    at = end + 1;
  }
  std::string file = name;
  const std::size_t dot = file.rfind('.'), slash = file.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) file += extension;
  if (!SameName(file.substr(std::min(file.size(), file.rfind('.'))), extension))
    return error = std::string("the file must end in ") + extension, 1;
  path = folder + "/" + file;
  return 0;
}

StationRemote::StationRemote(Form& form, RunRecorder& recorder, std::string folder)
    : form_(form), recorder_(recorder), folder_(std::move(folder)) {}

bool StationRemote::Chinese() const { return form_.ChineseMode != 0; }

std::string StationRemote::Identity() const {
  // The fields are comma-separated: a comma in the serial would shift them.
  std::string serial = settings::InstrumentSerial();
  for (char& c : serial)
    if (c == ',' || c == ';') c = ' ';
  return std::string("KT6100 team,KT6100,") + (serial.empty() ? "0" : serial) + "," + ProgramVersion();
}

bool StationRemote::RunUnderWay() const { return form_.RunKind != NoTest || form_.StartRequested != 0; }

bool StationRemote::Busy() const { return active_ || RunUnderWay(); }

std::string StationRemote::Refusal() const {
  // An instrument past its calibration measures nothing for production.
  return CalibrationBlock(recorder_.Gate(0)).Text(Chinese());
}

int StationRemote::StartRun(TestKind kind, std::string& error) {
  if (Busy()) return error = "a run is under way", 1;
  if (error = Refusal(); !error.empty()) return 1;
  // The analysis is of an envelope: it is taken first, as an operator would.
  StartLegs(kind == GaoTest ? std::vector<TestKind>{BaoTest, GaoTest} : std::vector<TestKind>{kind});
  return 0;
}

void StationRemote::BeginOperation() {
  // From now on FETCh answers of this operation: a run that fails must not
  // leave the one before's PASS to be read as its own.
  last_.reset();
  overall_.reset();
  active_ = true;
  ownLegs_ = false;
}

void StationRemote::StartLegs(std::vector<TestKind> legs) {
  BeginOperation();
  ownLegs_ = true;
  legs_.assign(legs.begin(), legs.end());
  const TestKind first = legs_.front();
  legs_.pop_front();
  StartLeg(first);
}

void StationRemote::StartLeg(TestKind kind) { StartSingleRun(form_, kind); }

bool StationRemote::RunEnded(int kind, RunOutcome outcome) {
  if (!active_) return false;
  if (outcome == RunOutcome::Completed) {
    const std::optional<LoggedRun>& run = recorder_.LastRun();
    if (run && run->Kind == kind) {
      last_ = run;
      LegJudged(run->Result);
    }
  }
  if (!ownLegs_) return false;
  if (outcome != RunOutcome::Completed) {
    kt::Verdict v;
    v.Result = VerdictResult::Incomplete;
    v.Kind = kind;
    v.Reason = "the " + std::string(CliKindName(static_cast<TestKind>(kind))) + " run did not complete";
    v.ReasonChinese = "测试未完成";
    overall_ = v;
    legs_.clear();
    active_ = false;
    Finished(true);
    return true;
  }
  if (!legs_.empty()) {
    const TestKind next = legs_.front();
    legs_.pop_front();
    StartLeg(next);
    return false;
  }
  active_ = false;
  Finished(false);
  return true;
}

void StationRemote::Finished(bool) {}

void StationRemote::Abort() {
  legs_.clear();
  if (form_.RunKind != NoTest) {
    AbandonRun(form_, "");
  } else if (form_.StartRequested) {
    form_.StartRequested = 0;  // asked for but not begun
  }
  if (active_) {
    kt::Verdict v;
    v.Result = VerdictResult::Incomplete;
    v.Reason = "aborted";
    v.ReasonChinese = "已中止";
    overall_ = v;
    active_ = false;
  }
}

void StationRemote::Reset() {
  Abort();
  form_.Info = TestInfo{};
  last_.reset();
  overall_.reset();
}

int StationRemote::SetLimits(const std::string& name, std::string& error) {
  if (Busy()) return error = "a run is under way", 1;
  const std::string choice = SameName(name, "NONE") ? "" : name;
  // A name, never a path: a peer on the network does not pick files.
  if (choice.find('/') != std::string::npos) return error = "a profile is chosen by its name", 1;
  // As the window's Limits menu chooses: a profile of the unit's type still
  // judges a unit of that type.
  return recorder_.Choose(choice, error, Chinese());
}

std::string StationRemote::Limits() const {
  return recorder_.Chosen().empty() ? std::string("NONE") : recorder_.Chosen();
}

int StationRemote::SetInfo(const std::string& field, const std::string& value, std::string& error) {
  const InfoField* f = FieldNamed(field);
  if (!f) return error = "no field " + field, 1;
  if (Busy()) return error = "a run is under way", 1;
  const std::size_t max = static_cast<std::size_t>(f->Size - 1);
  if (GbkLength(value) > max)
    return error = f->Long + std::string(" holds at most ") + std::to_string(max) + " bytes", 1;
  if (!GbkKeeps(value)) return error = "characters a data file cannot keep", 1;
  form_.Info.*(f->Member) = value;
  return 0;
}

int StationRemote::Info(const std::string& field, std::string& value) const {
  const InfoField* f = FieldNamed(field);
  if (!f) return 1;
  value = form_.Info.*(f->Member);
  return 0;
}

std::string StationRemote::Verdict() const {
  const kt::Verdict* v = overall_ ? &*overall_ : last_ ? &last_->Result : nullptr;
  if (!v) return "NONE";
  switch (v->Result) {
    case VerdictResult::Pass:
      return "PASS";
    case VerdictResult::Fail:
      return "FAIL";
    case VerdictResult::Incomplete:
      return "INCOMPLETE";
    case VerdictResult::NotApplicable:
      return "NA";
    case VerdictResult::None:
      break;
  }
  return "NONE";
}

int StationRemote::Scalar(const std::string& figure, double& value, bool& measured) const {
  if (!last_) return 1;
  for (const NamedFigure& f : last_->Figures)
    if (SameName(f.Name, figure)) {
      value = f.Value, measured = f.Measured;
      return 0;
    }
  return 1;
}

int StationRemote::Array(const std::string& figure, std::vector<double>& values) const {
  if (!last_) return 1;
  const std::string prefix = figure + "[";
  values.clear();
  for (const NamedFigure& f : last_->Figures)
    if (f.Name.size() > prefix.size() && SameName(f.Name.substr(0, prefix.size()), prefix))
      values.push_back(f.Measured ? f.Value : std::numeric_limits<double>::quiet_NaN());
  return values.empty() ? 1 : 0;
}

int StationRemote::RunJson(std::string& json) const {
  if (!last_) return 1;
  json = kt::RunJson(*last_);
  return 0;
}

int StationRemote::Store(const std::string& name, std::string& error) {
  if (!last_ || last_->Record.empty()) return error = "no completed run to store", 1;
  const bool analysis = last_->Kind == GaoTest || last_->Kind == BaoTest;
  std::string path;
  if (RemoteFile(folder_, name, analysis ? ".bdt" : ".dat", path, error) != 0) return 1;
  // The bytes the run was logged with: the record of that very run, whatever
  // the window shows now.
  WriteFailure why;
  if (WriteWholeFile(path, last_->Record.data(), last_->Record.size(), &why) != 0)
    return error = "cannot write " + path + ": " + std::strerror(why.Errno), 1;
  return 0;
}

int StationRemote::Print(const std::string& name, std::string& error) {
  if (!last_ || last_->Record.empty()) return error = "no completed run to print", 1;
  std::string path;
  if (RemoteFile(folder_, name, ".pdf", path, error) != 0) return 1;
  // Drawn from the run's own record in a form of its own: the report is of
  // the run FETCh speaks of, and nothing on the screen changes.
  LoneForm lone;
  lone.form.ChineseMode = form_.ChineseMode;
  LoggedRun decoded;
  const bool analysis = last_->Kind == GaoTest || last_->Kind == BaoTest;
  if (lone.Decode(analysis ? "run.bdt" : "run.dat", last_->Record, decoded, error) != 0) return 1;
  const kt::Verdict* verdict = last_->Result.Result == VerdictResult::None ? nullptr : &last_->Result;
  const auto toFile = [&path](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    return true;
  };
  const TestKind kind = last_->Kind;
  const auto draw = [&](Canvas& canvas) {
    PrintKindReport(lone.form, kind, &lone.analysis, Chinese() ? 0 : 1, verdict, canvas);
  };
  if (PrintReportPage(toFile, draw) == PrintResult::Printed) return 0;
  QFile probe(QString::fromStdString(path));
  return error = "cannot write the report " + path + ": " +
                 (probe.open(QIODevice::Append) ? "the PDF could not be written" : probe.errorString().toStdString()),
         1;
}

void StationRemote::Note(const std::string& peer, const std::string& what) {
  // The audit trail keeps who changed what; a peer is known by its address.
  recorder_.Audit(peer, "remote: " + what);
}

}  // namespace kt
