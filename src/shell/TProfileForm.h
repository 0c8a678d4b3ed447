#pragma once
// The limit profile editor: name, revision, product type, rated power and a
// table of rules (figure, min, max, note). "Save" checks the profile as
// loading it would, names the rule it refuses, and replaces the file
// atomically; the dialog then accepts. Bounds and the rated power are
// written with '.' whatever the locale, an empty box is no bound (no rated
// power). When a bound, a figure or the rated power changed but the revision
// did not, Save first offers to raise the revision (see RaisedRevision);
// a changed name, type or note alone does not ask.
#include <QDialog>
#include <QString>
#include <string>

#include "verdict/Profile.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kt {

class ShellDialogs;

// The revision after `revision`: a trailing number counts up, keeping its
// width ("3" to "4", "A.7" to "A.8", "A.09" to "A.10"); empty becomes "1";
// anything else gets ".1".
std::string RaisedRevision(const std::string& revision);

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

  // Asks whether to raise the revision of `p` when its limits differ from
  // the loaded ones under the same revision; raises it in `p` and the box on yes.
  void OfferRevision(Profile& p);

  ShellDialogs& dialogs_;
  bool chinese_ = false;
  QString path_;
  Profile loaded_, result_;
  QLineEdit *name_ = nullptr, *revision_ = nullptr, *type_ = nullptr, *power_ = nullptr;
  QLabel *nameCaption_ = nullptr, *revisionCaption_ = nullptr, *typeCaption_ = nullptr, *powerCaption_ = nullptr;
  QTableWidget* rules_ = nullptr;
  QPushButton *add_ = nullptr, *remove_ = nullptr, *save_ = nullptr, *cancel_ = nullptr;
};

}  // namespace kt
