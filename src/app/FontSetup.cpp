#include "app/FontSetup.h"

#include <QFont>
#include <QStringList>

namespace kt {

void InstallFontSubstitutions() {
  const QString song = QStringLiteral("AR PL UMing CN");
  QFont::insertSubstitutions(QStringLiteral("宋体"), {song, QStringLiteral("AR PL UMing TW")});
  QFont::insertSubstitutions(QStringLiteral("T 宋体"), {song, QStringLiteral("AR PL UMing TW")});
  QFont::insertSubstitutions(QStringLiteral("Times New Roman"), {QStringLiteral("Liberation Serif"), song});
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"), song});
}

}  // namespace kt
