//===- app/DesktopOpen.h - Handing a file to the desktop's application -*- C++ -*-===//
///
/// Opens a local file with the application the desktop chose for its type
/// (xdg-open behind QDesktopServices). Tests put a recorder in its place,
/// so that no application starts on the machine that runs them.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QString>

#include <functional>

namespace korvex::app {

/// False when the desktop has no application for the file.
bool OpenWithDesktop(const QString& path);

/// Replaces what OpenWithDesktop does; an empty function restores it.
void SetDesktopOpener(std::function<bool(const QString& path)> opener);

}  // namespace korvex::app
