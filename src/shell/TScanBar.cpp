#include "shell/TScanBar.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "link/Controller.h"
#include "link/Form.h"
#include "runlog/RunLogQuery.h"
#include "runlog/RunLogReader.h"
#include "runlog/RunLogWriter.h"
#include "shell/ShellDialogs.h"
#include "shell/TVerdictBand.h"
#include "station/RunRecorder.h"
#include "station/StationSettings.h"
#include "verdict/VerdictText.h"

namespace kt {

namespace {

QString U(const std::string& s) { return QString::fromStdString(s); }

std::string KindWord(TestKind k, bool chinese) {
  return k > NoTest && k < KindCount ? (chinese ? KindTable[k].Chinese : KindTable[k].English) : "?";
}

}  // namespace

TScanBar::TScanBar(QWidget* parent, Host& host, Form& form, ShellDialogs& dialogs, RunRecorder& recorder,
                   ShowVerdict show)
    : QWidget(parent), host_(host), form_(form), dialogs_(dialogs), recorder_(recorder), show_(std::move(show)) {
  setObjectName("ScanBar");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 4, 2);
  label_ = new QLabel(this);
  label_->setObjectName("ScanLabel");
  field_ = new QLineEdit(this);
  field_->setObjectName("ScanField");
  field_->setMaxLength(static_cast<int>(ScanMaxBytes));
  field_->setMinimumWidth(220);
  label_->setBuddy(field_);
  outcome_ = new QLabel(this);
  outcome_->setObjectName("ScanOutcome");
  row->addWidget(label_);
  row->addWidget(field_);
  row->addWidget(outcome_, 1);
  connect(field_, &QLineEdit::returnPressed, this, [this] {
    const QString text = field_->text();
    field_->clear();
    Scan(text);
  });
  SetChinese(true);
}

TScanBar::~TScanBar() = default;

void TScanBar::SetChinese(bool chinese) {
  chinese_ = chinese;
  label_->setText(QString::fromUtf8(chinese ? "扫码" : "Scan"));
  field_->setPlaceholderText(QString::fromUtf8(chinese ? "型号*编号 或 编号" : "TYPE*SERIAL or SERIAL"));
}

void TScanBar::FocusField() {
  if (!isVisible()) return;
  field_->setFocus(Qt::OtherFocusReason);
  field_->selectAll();
}

void TScanBar::Refuse(const std::string& text) {
  // A scanner operator looks at the unit, not the screen: the sound says
  // that this scan did nothing.
  TVerdictBand::Beep();
  outcome_->setText(U(text));
  host_.SetStatusText(text);
  FocusField();
  if (remote_) {
    remote_ = false;
    if (finished_) finished_(nullptr, text);
  }
}

int TScanBar::ScanRemote(const std::string& text, std::string& error) {
  ScanCode code;
  ProfileMessage bad;
  if (state_ != State::Idle || form_.RunKind != NoTest) return error = "a run is under way", 1;
  if (ParseScan(text, settings::ScanSeparator(), code, bad) != 0) return error = bad.Text(chinese_), 1;
  remote_ = true;
  Scan(QString::fromStdString(text));
  return 0;
}

std::int64_t TScanBar::TodayStartUtcMs() const {
  return QDateTime(QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch();
}

void TScanBar::Scan(const QString& text) {
  if (state_ != State::Idle || form_.RunKind != NoTest) {
    Refuse(chinese_ ? "测试进行中，扫码被拒绝" : "A run is under way: scan refused");
    return;
  }
  ScanCode code;
  ProfileMessage error;
  if (ParseScan(text.toStdString(), settings::ScanSeparator(), code, error) != 0) {
    Refuse(error.Text(chinese_));
    return;
  }
  code_ = code;
  RunLogWriter* writer = recorder_.Writer();
  if (!writer) {
    Continue(0, 0);
    return;
  }
  // The log knows of passes and golden checks on other stations and in
  // earlier sessions; its answer comes from the reader's thread, and no
  // scan is taken meanwhile.
  if (!reader_) reader_ = std::make_unique<RunLogReader>(writer->Log().Target);
  state_ = State::Checking;
  struct Found {
    std::int64_t pass = 0, golden = 0;
  };
  auto found = std::make_shared<Found>();
  const std::string serial = code_.Serial, station = writer->Log().Station;
  const ActiveLimits limits = recorder_.LimitsFor(code_.Type.empty() ? form_.Info.Type : code_.Type);
  const std::string profile = limits.File ? limits.File->Name : std::string();
  const std::int64_t since = TodayStartUtcMs();
  const std::uint64_t ask = ++ask_;
  reader_->Ask(
      0,
      [=](QSqlDatabase& db, QString& e) {
        return LastPass(db, serial, since, found->pass, e) ||
               (!profile.empty() && LastGoldenPass(db, station, profile, found->golden, e));
      },
      [this, found, ask](int status, const QString&) {
        if (ask != ask_ || state_ != State::Checking) return;
        state_ = State::Idle;
        // A log that cannot answer does not stop the line: what this
        // program saw itself still counts, only the log's part is lost.
        if (status == 0)
          Continue(found->pass, found->golden);
        else
          Continue(0, 0);
      });
  // A server that does not answer at all (a network that hangs) must not
  // hold the line either: the scan goes on without the log's part.
  QTimer::singleShot(LogAnswerMs, this, [this, ask] {
    if (ask != ask_ || state_ != State::Checking) return;
    ++ask_;  // its late answer is dropped
    state_ = State::Idle;
    Continue(0, 0);
  });
}

void TScanBar::Cancel() {
  if (state_ == State::Checking) {
    ++ask_;  // the log's answer is dropped
    state_ = State::Idle;
    remote_ = false;
    outcome_->setText(U(chinese_ ? "已中止：" + code_.Serial : "Aborted: " + code_.Serial));
    FocusField();
  } else if (state_ == State::Running && form_.RunKind == NoTest && form_.StartRequested == 0) {
    Finish("aborted", "已中止");
  }
}

void TScanBar::Continue(std::int64_t lastPassMs, std::int64_t goldenPassMs) {
  // The unit's number and type decide its limits and whether it is a
  // golden unit; a refused scan leaves the test information as it was.
  const TestInfo before = form_.Info;
  form_.Info.No = code_.Serial;
  if (!code_.Type.empty()) form_.Info.Type = code_.Type;
  const ProfileMessage blocked = BlockedBecause(recorder_.Gate(goldenPassMs));
  if (!blocked.English.empty()) {
    form_.Info = before;
    Refuse(blocked.Text(chinese_));
    return;
  }
  const auto seen = passed_.find(code_.Serial);
  if (seen != passed_.end()) lastPassMs = std::max(lastPassMs, seen->second);
  // A golden unit is checked again every shift: no question for it.
  if (lastPassMs >= TodayStartUtcMs() && !recorder_.GoldenUnitOfRun() && !remote_) {
    AskRetest();
    return;
  }
  Begin();
}

void TScanBar::AskRetest() {
  const QString text =
      chinese_ ? QString::fromUtf8("编号 %1 今天已测试合格。要重测吗？").arg(U(code_.Serial))
               : QString("Serial %1 has already passed today. Test it again (a retest)?").arg(U(code_.Serial));
  if (!dialogs_.Confirm(this, QString::fromUtf8(chinese_ ? "重测？" : "Retest?"), text)) {
    outcome_->setText(U(chinese_ ? "未重测：" + code_.Serial : "Not retested: " + code_.Serial));
    FocusField();
    return;
  }
  Begin();
}

void TScanBar::Begin() {
  const ActiveLimits limits = recorder_.LimitsFor(form_.Info.Type);
  steps_ = ScanSteps(limits.File ? limits.File->Sequence : std::vector<TestKind>{}, form_.SelectedKind);
  next_ = 0;
  verdicts_.clear();
  summary_.clear();
  state_ = State::Running;
  StartNext();
}

void TScanBar::StartNext() {
  if (state_ != State::Running || next_ >= steps_.size()) return;
  const TestKind kind = steps_[next_++];
  outcome_->setText(U(form_.Info.No + "  " + std::to_string(next_) + "/" + std::to_string(steps_.size()) + "  " +
                      KindWord(kind, chinese_)));
  StartTestCommand(form_, kind, kind == StartTest ? StartMode::StartUp : StartMode::Single);
}

void TScanBar::RunEnded(int kind, RunOutcome outcome, const Verdict& judged) {
  if (state_ != State::Running) return;
  if (next_ == 0 || kind != steps_[next_ - 1]) {
    Finish("another run came in between", "中途插入了其他测试");
    return;
  }
  if (outcome != RunOutcome::Completed) {
    Finish("the " + KindWord(kind, false) + " run did not complete", KindWord(kind, true) + "测试未完成");
    return;
  }
  summary_ += (summary_.empty() ? "" : ", ") + KindWord(kind, chinese_) + " " +
              (judged.Result == VerdictResult::None ? "-" : VerdictResultText(judged.Result, chinese_));
  verdicts_.push_back(judged);
  if (next_ < steps_.size()) {
    // After the run's own end has been handled everywhere.
    QTimer::singleShot(0, this, [this] { StartNext(); });
    return;
  }
  Finish("", "");
}

void TScanBar::Finish(const std::string& englishWhy, const std::string& chineseWhy) {
  state_ = State::Idle;
  const GoldenUnit* golden = recorder_.GoldenUnitOfRun();
  Verdict v = golden && englishWhy.empty() ? GoldenSequenceVerdict(*golden, verdicts_) : WorstVerdict(verdicts_);
  if (!englishWhy.empty()) {
    // A sequence cut short is never a pass, whatever its runs so far said.
    v.Result = VerdictResult::Incomplete;
    v.Kind = next_ > 0 ? steps_[next_ - 1] : NoTest;
    v.Reason = "sequence stopped: " + englishWhy;
    v.ReasonChinese = "测试序列中止：" + chineseWhy;
    summary_ += (summary_.empty() ? "" : ", ") + (chinese_ ? v.ReasonChinese : v.Reason);
  }
  if (v.Result != VerdictResult::None) show_(v);
  if (v.Result == VerdictResult::Pass && golden) {
    // The station is checked: production may run until the next check is due.
    recorder_.NoteGoldenPass(v.ProfileName, QDateTime::currentMSecsSinceEpoch());
    if (audit_) audit_(GoldenPassedWhat, v.ProfileName);
  } else if (v.Result == VerdictResult::Pass) {
    passed_[form_.Info.No] = QDateTime::currentMSecsSinceEpoch();
  }
  const std::string word = v.Result == VerdictResult::None ? (chinese_ ? "未判定（无限值）" : "not judged (no limits)")
                                                           : VerdictResultText(v.Result, chinese_);
  const std::string text = form_.Info.No + (form_.Info.Type.empty() ? "" : " (" + form_.Info.Type + ")") + ": " + word +
                           (steps_.size() > 1 || !englishWhy.empty() ? "  [" + summary_ + "]" : "");
  outcome_->setText(U(text));
  host_.SetStatusText(text);
  FocusField();
  if (remote_) {
    remote_ = false;
    if (finished_) finished_(&v, "");
  }
}

}  // namespace kt
