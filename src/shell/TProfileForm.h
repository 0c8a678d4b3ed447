#pragma once
// The limit profile editor: name, revision, product type and a table of
// rules (figure, min, max, note). "Save" checks the profile as loading it
// would, names the rule it refuses, and replaces the file atomically; the
// dialog then accepts. Bounds are written with '.' whatever the locale, an
// empty box is no bound.
#include <QDialog>
#include <QString>

#include "verdict/Profile.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kt {

class ShellDialogs;

class TProfileForm : public QDialog {
  Q_OBJECT

 public:
  enum Column { FigureColumn, MinColumn, MaxColumn, NoteColumn, ColumnCount };

  explicit TProfileForm(ShellDialogs& dialogs, QWidget* parent = nullptr);

  // Fills the boxes and the table from `p`; a profile without rules gets
  // one empty row to start from. Save writes to `path`.
  void Load(const Profile& p, const QString& path);
  // Load, then shown modally through the dialogs; true when a valid profile
  // was saved, which `p` then holds (Source the file's name, RawText as written).
  bool Edit(Profile& p, const QString& path);
  // The profile last saved.
  const Profile& Result() const { return result_; }

  QLineEdit* NameBox() const { return name_; }
  QLineEdit* RevisionBox() const { return revision_; }
  QLineEdit* TypeBox() const { return type_; }
  QTableWidget* Rules() const { return rules_; }
  // One row's boxes: the figure's editable combo box's line, or a bound's or note's box.
  QLineEdit* Cell(int row, Column column) const;

 public slots:
  void SetChinese(bool chinese);
  void AddRule();
  void RemoveRule();  // the current row
  void Save();

 private:
  void AddRow(const ProfileRule& rule);
  // The profile the boxes describe, bounds read as numbers; 1 with the
  // message naming the rule when a bound is not a number.
  int Collect(Profile& out, ProfileMessage& error);

  ShellDialogs& dialogs_;
  bool chinese_ = false;
  QString path_;
  Profile result_;
  QLineEdit *name_ = nullptr, *revision_ = nullptr, *type_ = nullptr;
  QLabel *nameCaption_ = nullptr, *revisionCaption_ = nullptr, *typeCaption_ = nullptr;
  QTableWidget* rules_ = nullptr;
  QPushButton *add_ = nullptr, *remove_ = nullptr, *save_ = nullptr, *cancel_ = nullptr;
};

}  // namespace kt
