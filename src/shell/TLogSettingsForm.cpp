#include "shell/TLogSettingsForm.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

#include "runlog/LogTarget.h"
#include "station/StationSettings.h"

namespace kt {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// An environment variable set for this session wins over the setting: said
// beside the field, or the operator changes a setting that does nothing.
QString Overridden(bool chinese, const char* variable) {
  if (!qEnvironmentVariableIsSet(variable)) return {};
  return QString(chinese ? U("环境变量 %1=%2 优先于此设置。") : "The environment's %1=%2 wins over this setting.")
      .arg(variable, qEnvironmentVariable(variable));
}

}  // namespace

TLogSettingsForm::TLogSettingsForm(bool chinese, QWidget* parent) : QDialog(parent), Chinese_(chinese) {
  setObjectName("LogSettings");
  const bool c = chinese;
  setWindowTitle(c ? U("记录设置") : "Log settings");
  const RunLogConfig saved = settings::LogConfig();
  Target_ = new QLineEdit(QString::fromStdString(saved.Target), this);
  Target_->setObjectName("LogTarget");
  Target_->setPlaceholderText(c ? U("空：数据文件夹中的 runlog.db") : "empty: runlog.db in the data folder");
  Target_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('m')) * 40);
  Station_ = new QLineEdit(QString::fromStdString(saved.Station), this);
  Station_->setObjectName("LogStation");
  Station_->setPlaceholderText((c ? U("空：主机名 %1") : "empty: the host name, %1").arg(QSysInfo::machineHostName()));
  Problem_ = new QLabel(this);
  Problem_->setObjectName("LogSettingsProblem");
  Problem_->setStyleSheet("color: #b00000;");
  Problem_->setWordWrap(true);
  auto* forms = new QLabel(
      c ? U("记录位置：off（不记录）、sqlite:路径、postgresql://用户@主机:端口/数据库（同一产线的各工位共用）。")
        : "Where the log is: off (no log), sqlite:PATH, postgresql://USER@HOST:PORT/DBNAME (shared by a line of "
          "stations).",
      this);
  forms->setWordWrap(true);
  QString when = (c ? U("下次启动程序时生效。保存在 %1（键 log/target、log/station）。")
                    : "Takes effect at the next start of the program. Kept in %1 (keys log/target, log/station).")
                     .arg(QDir::toNativeSeparators(settings::FileName()));
  for (const char* variable : {"KT6100_LOG", "KT6100_STATION"}) {
    const QString note = Overridden(c, variable);
    if (!note.isEmpty()) when += "\n" + note;
  }
  auto* note = new QLabel(when, this);
  note->setWordWrap(true);
  note->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* fields = new QFormLayout;
  fields->addRow(c ? U("记录位置：") : "Log:", Target_);
  fields->addRow(c ? U("工位名称：") : "Station:", Station_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(c ? U("确定") : "OK");
  buttons->button(QDialogButtonBox::Cancel)->setText(c ? U("取消") : "Cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(forms);
  layout->addLayout(fields);
  layout->addWidget(Problem_);
  layout->addWidget(note);
  layout->addWidget(buttons);
}

void TLogSettingsForm::accept() {
  const QString target = Target_->text().trimmed();
  LogTarget parsed;
  std::string error;
  if (ParseLogTarget(target.toStdString(), parsed, error)) {
    Problem_->setText(
        (Chinese_ ? U("记录位置有误：%1") : "The log's address is wrong: %1").arg(QString::fromStdString(error)));
    Target_->setFocus();
    return;
  }
  settings::SetLogConfig(target, Station_->text().trimmed());
  QDialog::accept();
}

}  // namespace kt
