#pragma once
#include <QWidget>

namespace kt {

// "The link failed" notice. Shown without blocking while the program retries
// the handshake, hidden by the next successful one.
class TAlarmForm : public QWidget {
  Q_OBJECT
 public:
  explicit TAlarmForm(QWidget* owner);
};

}  // namespace kt
