#include "station/FontSetup.h"

#include <QCoreApplication>
#include <QFont>
#include <QStringList>

namespace kt {

void SetApplicationIdentity() {
  QCoreApplication::setOrganizationName(QStringLiteral("KT6100"));
  QCoreApplication::setApplicationName(QStringLiteral("kt6100"));
}

void InstallFontSubstitutions() {
  const QString song = QStringLiteral("AR PL UMing CN");
  QFont::insertSubstitutions(QStringLiteral("宋体"), {song, QStringLiteral("AR PL UMing TW")});
  QFont::insertSubstitutions(QStringLiteral("T 宋体"), {song, QStringLiteral("AR PL UMing TW")});
  QFont::insertSubstitutions(QStringLiteral("Times New Roman"), {QStringLiteral("Liberation Serif"), song});
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"), song});
}

}  // namespace kt
