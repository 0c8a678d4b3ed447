#include "shell/TProfileForm.h"

#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

#include <charconv>
#include <cmath>

#include "shell/ShellDialogs.h"
#include "verdict/Figures.h"

namespace kt {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Pick(bool chinese, const char* english, const char* chinese_text) {
  return U(chinese ? chinese_text : english);
}
std::string Trimmed(const QLineEdit* box) { return box->text().trimmed().toStdString(); }

// What a bound box lets through on the way to a number: digits, one '.',
// a sign and an exponent. A comma never: the file always uses '.'.
const QRegularExpression BoundPattern(QStringLiteral(R"(-?(\d+\.?\d*|\.\d*)?([eE][-+]?\d*)?)"));

// Shortest text that reads back as the same number, never in the locale's
// form: "0.95", "207".
QString BoundText(const std::optional<double>& v) {
  if (!v) return {};
  char buf[40];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *v);
  return ec == std::errc{} ? QString::fromLatin1(buf, static_cast<int>(end - buf)) : QString();
}

// The whole text as a finite number, '.' as the separator.
bool ReadBound(const std::string& text, std::optional<double>& out) {
  out.reset();
  if (text.empty()) return true;
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::string BaseName(const QString& path) {
  const qsizetype slash = path.lastIndexOf('/');
  return (slash < 0 ? path : path.mid(slash + 1)).toStdString();
}

// A combo box in a scrolled table must not change its figure when the
// wheel only meant to scroll past it.
class WheelGuard final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::Wheel) return false;
    const auto* w = qobject_cast<QWidget*>(watched);
    return w && !w->hasFocus();
  }
};

// The rules as far as a verdict goes: figures and bounds, not the notes.
bool SameLimits(const Profile& a, const Profile& b) {
  if (a.RatedPowerW != b.RatedPowerW || a.Rules.size() != b.Rules.size()) return false;
  for (std::size_t i = 0; i < a.Rules.size(); ++i)
    if (a.Rules[i].Figure != b.Rules[i].Figure || a.Rules[i].Min != b.Rules[i].Min || a.Rules[i].Max != b.Rules[i].Max)
      return false;
  return true;
}

}  // namespace

std::string RaisedRevision(const std::string& revision) {
  if (revision.empty()) return "1";
  const std::size_t start = revision.find_last_not_of("0123456789") + 1;  // npos + 1 == 0: all digits
  if (start == revision.size()) return revision + ".1";
  std::string r = revision;
  std::size_t i = r.size();
  while (i > start && r[i - 1] == '9') r[--i] = '0';
  if (i > start)
    ++r[i - 1];
  else
    r.insert(start, 1, '1');  // "9" to "10", "A.99" to "A.100"
  return r;
}

TProfileForm::TProfileForm(ShellDialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
  setObjectName("ProfileForm");
  resize(760, 440);

  name_ = new QLineEdit(this);
  name_->setObjectName("ProfileName");
  revision_ = new QLineEdit(this);
  revision_->setObjectName("ProfileRevision");
  type_ = new QLineEdit(this);
  type_->setObjectName("ProfileType");
  power_ = new QLineEdit(this);
  power_->setObjectName("ProfileRatedPower");
  power_->setValidator(new QRegularExpressionValidator(BoundPattern, power_));
  nameCaption_ = new QLabel(this);
  revisionCaption_ = new QLabel(this);
  typeCaption_ = new QLabel(this);
  powerCaption_ = new QLabel(this);
  nameCaption_->setBuddy(name_);
  revisionCaption_->setBuddy(revision_);
  typeCaption_->setBuddy(type_);
  powerCaption_->setBuddy(power_);

  auto* fields = new QGridLayout;
  fields->addWidget(nameCaption_, 0, 0);
  fields->addWidget(name_, 0, 1, 1, 3);
  fields->addWidget(revisionCaption_, 1, 0);
  fields->addWidget(revision_, 1, 1);
  fields->addWidget(typeCaption_, 1, 2);
  fields->addWidget(type_, 1, 3);
  fields->addWidget(powerCaption_, 2, 0);
  fields->addWidget(power_, 2, 1);
  fields->setColumnStretch(1, 1);
  fields->setColumnStretch(3, 1);

  rules_ = new QTableWidget(0, ColumnCount, this);
  rules_->setObjectName("ProfileRules");
  rules_->setSelectionBehavior(QAbstractItemView::SelectRows);
  rules_->setSelectionMode(QAbstractItemView::SingleSelection);
  rules_->horizontalHeader()->setSectionResizeMode(NoteColumn, QHeaderView::Stretch);
  rules_->setColumnWidth(FigureColumn, 240);
  rules_->setColumnWidth(MinColumn, 100);
  rules_->setColumnWidth(MaxColumn, 100);
  rules_->verticalHeader()->setDefaultSectionSize(QComboBox().sizeHint().height() + 2);

  add_ = new QPushButton(this);
  remove_ = new QPushButton(this);
  save_ = new QPushButton(this);
  cancel_ = new QPushButton(this);
  add_->setObjectName("AddRule");
  remove_->setObjectName("RemoveRule");
  save_->setObjectName("SaveProfile");
  cancel_->setObjectName("CancelProfile");
  // Enter in a box of the table must not save a half-typed profile.
  for (QPushButton* b : {add_, remove_, save_, cancel_}) b->setAutoDefault(false);
  connect(add_, &QPushButton::clicked, this, &TProfileForm::AddRule);
  connect(remove_, &QPushButton::clicked, this, &TProfileForm::RemoveRule);
  connect(save_, &QPushButton::clicked, this, &TProfileForm::Save);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  buttons->addWidget(save_);
  buttons->addWidget(cancel_);
  auto* column = new QVBoxLayout(this);
  column->addLayout(fields);
  column->addWidget(rules_, 1);
  column->addLayout(buttons);

  SetChinese(false);
}

void TProfileForm::SetChinese(bool chinese) {
  chinese_ = chinese;
  setWindowTitle(Pick(chinese, "Limit profile", "限值文件"));
  nameCaption_->setText(Pick(chinese, "&Name:", "名称(&N)："));
  revisionCaption_->setText(Pick(chinese, "&Revision:", "版本(&R)："));
  typeCaption_->setText(Pick(chinese, "Product &type:", "型号(&T)："));
  powerCaption_->setText(Pick(chinese, "Rated &power (W):", "额定功率 (W)(&P)："));
  power_->setPlaceholderText(Pick(chinese, "none", "无"));
  rules_->setHorizontalHeaderLabels({Pick(chinese, "Figure", "量"), Pick(chinese, "Min", "下限"),
                                     Pick(chinese, "Max", "上限"), Pick(chinese, "Note", "备注")});
  add_->setText(Pick(chinese, "&Add rule", "添加规则(&A)"));
  remove_->setText(Pick(chinese, "Re&move rule", "删除规则(&M)"));
  save_->setText(Pick(chinese, "&Save", "保存(&S)"));
  cancel_->setText(Pick(chinese, "Cancel", "取消"));
  for (int row = 0; row < rules_->rowCount(); ++row)
    for (Column c : {MinColumn, MaxColumn}) Cell(row, c)->setPlaceholderText(Pick(chinese, "no bound", "无"));
}

void TProfileForm::Load(const Profile& p, const QString& path) {
  path_ = path;
  name_->setText(QString::fromStdString(p.Name));
  revision_->setText(QString::fromStdString(p.Revision));
  type_->setText(QString::fromStdString(p.Type));
  power_->setText(BoundText(p.RatedPowerW));
  loaded_ = p;
  rules_->setRowCount(0);
  for (const ProfileRule& rule : p.Rules) AddRow(rule);
  if (p.Rules.empty()) AddRow({});
}

bool TProfileForm::Edit(Profile& p, const QString& path) {
  Load(p, path);
  if (dialogs_.ExecModal(*this) != QDialog::Accepted) return false;
  p = result_;
  return true;
}

QLineEdit* TProfileForm::Cell(int row, Column column) const {
  QWidget* w = rules_->cellWidget(row, column);
  if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->lineEdit();
  return qobject_cast<QLineEdit*>(w);
}

void TProfileForm::AddRow(const ProfileRule& rule) {
  const int row = rules_->rowCount();
  rules_->insertRow(row);

  auto* figure = new QComboBox(rules_);
  figure->setEditable(true);
  figure->setInsertPolicy(QComboBox::NoInsert);
  figure->setFocusPolicy(Qt::StrongFocus);
  figure->installEventFilter(new WheelGuard(figure));
  QStringList names;
  for (const std::string& n : FigureNames()) names << QString::fromStdString(n);
  figure->addItems(names);
  // "Harmonic" finds every harmonic figure, not only those starting with it.
  auto* completer = new QCompleter(names, figure);
  completer->setFilterMode(Qt::MatchContains);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  figure->setCompleter(completer);
  figure->setEditText(QString::fromStdString(rule.Figure));
  rules_->setCellWidget(row, FigureColumn, figure);

  for (Column c : {MinColumn, MaxColumn}) {
    auto* box = new QLineEdit(BoundText(c == MinColumn ? rule.Min : rule.Max), rules_);
    box->setValidator(new QRegularExpressionValidator(BoundPattern, box));
    box->setPlaceholderText(Pick(chinese_, "no bound", "无"));
    rules_->setCellWidget(row, c, box);
  }
  rules_->setCellWidget(row, NoteColumn, new QLineEdit(QString::fromStdString(rule.Note), rules_));
}

void TProfileForm::AddRule() {
  AddRow({});
  const int row = rules_->rowCount() - 1;
  rules_->setCurrentCell(row, FigureColumn);
  rules_->cellWidget(row, FigureColumn)->setFocus();
}

void TProfileForm::RemoveRule() {
  const int row = rules_->currentRow();
  if (row >= 0) rules_->removeRow(row);
}

int TProfileForm::Collect(Profile& out, ProfileMessage& error) {
  // Rows left entirely blank are no rules; once gone, the rule numbers of
  // the messages are the rows of the table.
  for (int row = rules_->rowCount() - 1; row >= 0; --row) {
    bool blank = true;
    for (int c = 0; c < ColumnCount; ++c)
      blank = blank && Cell(row, static_cast<Column>(c))->text().trimmed().isEmpty();
    if (blank) rules_->removeRow(row);
  }
  out = Profile{};
  out.Name = Trimmed(name_);
  out.Revision = Trimmed(revision_);
  out.Type = Trimmed(type_);
  const std::string source = BaseName(path_);
  if (const std::string power = Trimmed(power_); !ReadBound(power, out.RatedPowerW)) {
    error.English = "profile \"" + source + "\": rated power \"" + power + "\" is not a number";
    error.Chinese = "限值文件“" + source + "”：额定功率“" + power + "”不是数";
    return 1;
  }
  for (int row = 0; row < rules_->rowCount(); ++row) {
    ProfileRule rule;
    rule.Figure = Trimmed(Cell(row, FigureColumn));
    rule.Note = Trimmed(Cell(row, NoteColumn));
    for (Column c : {MinColumn, MaxColumn}) {
      const std::string text = Trimmed(Cell(row, c));
      if (ReadBound(text, c == MinColumn ? rule.Min : rule.Max)) continue;
      const std::string n = std::to_string(row + 1);
      const bool min = c == MinColumn;
      error.English = "profile \"" + source + "\", rule " + n + " (" + rule.Figure + "): " + (min ? "min" : "max") +
                      " \"" + text + "\" is not a number";
      error.Chinese = "限值文件“" + source + "”第 " + n + " 条规则（" + rule.Figure + "）：" +
                      (min ? "下限 min“" : "上限 max“") + text + "”不是数";
      rules_->setCurrentCell(row, c);
      return 1;
    }
    out.Rules.push_back(std::move(rule));
  }
  return 0;
}

void TProfileForm::OfferRevision(Profile& p) {
  if (p.Revision != loaded_.Revision || SameLimits(p, loaded_)) return;
  const std::string raised = RaisedRevision(p.Revision);
  const std::string text = chinese_ ? "限值已改动，版本却仍是“" + p.Revision + "”。把版本改为“" + raised + "”吗？"
                                    : "The limits have changed but the revision is still \"" + p.Revision +
                                          "\". Raise it to \"" + raised + "\"?";
  if (!dialogs_.Confirm(this, Pick(chinese_, "Revision", "版本"), U(text.c_str()))) return;
  p.Revision = raised;
  revision_->setText(QString::fromStdString(raised));
}

void TProfileForm::Save() {
  Profile p, checked;
  ProfileMessage error;
  const std::string path = path_.toStdString();
  // The file's own checks, on the text that will be written: what saves
  // here loads again. The revision is offered only for a profile that
  // would be saved, and checked again once raised.
  const auto check = [&] { return ParseProfile(ProfileToJson(p), BaseName(path_), checked, error) != 0; };
  bool refused = Collect(p, error) != 0 || check();
  if (!refused) {
    const std::string before = p.Revision;
    OfferRevision(p);
    refused = (p.Revision != before && check()) || SaveProfile(path, checked, error) != 0;
  }
  if (refused) {
    dialogs_.MessageBox(error.Text(chinese_), chinese_ ? "警告" : "Warning");
    return;
  }
  result_ = std::move(checked);
  accept();
}

}  // namespace kt
