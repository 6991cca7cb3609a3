//===- app/DesktopOpen.cpp - Handing a file to the desktop's application ---===//

#include "app/DesktopOpen.h"

#include <QDesktopServices>
#include <QUrl>

namespace korvex::app {
namespace {

std::function<bool(const QString&)>& Opener() {
  static std::function<bool(const QString&)> opener;
  return opener;
}

}  // namespace

bool OpenWithDesktop(const QString& path) {
  if (Opener()) return Opener()(path);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void SetDesktopOpener(std::function<bool(const QString& path)> opener) { Opener() = std::move(opener); }

}  // namespace korvex::app
