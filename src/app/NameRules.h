//===- app/NameRules.h - What a typed entry name may be ---------*- C++ -*-===//
#pragma once

#include <QString>

namespace korvex::app {

/// The message refusing `name` as a file or folder name, or an empty string
/// when the name is acceptable: not empty and free of \ / * : ? > < | ".
[[nodiscard]] QString RefusedNameMessage(const QString& name);

/// "New folder", or the first of "New folder (1)", "New folder (2)", ...
/// for which `taken` is false.
template <class Taken>
[[nodiscard]] QString NewFolderName(Taken taken) {
  QString name = QStringLiteral("New folder");
  for (int n = 1; taken(name); ++n) name = QStringLiteral("New folder (%1)").arg(n);
  return name;
}

}  // namespace korvex::app
