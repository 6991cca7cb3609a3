//===- app/NameRules.cpp - What a typed entry name may be ------------------===//

#include "app/NameRules.h"

#include <QObject>

namespace korvex::app {

QString RefusedNameMessage(const QString& name) {
  static const QString kForbidden = QStringLiteral("\\/*:?><|\"");
  if (name.trimmed().isEmpty()) return QObject::tr("Empty name");
  for (const QChar c : name) {
    if (kForbidden.contains(c)) {
      return QObject::tr("The name can't contain:") + QStringLiteral("\n\\ / * : ? > < | \"");
    }
  }
  return {};
}

}  // namespace korvex::app
