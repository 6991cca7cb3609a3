//===- app/AppIcon.h - The program's icon -----------------------*- C++ -*-===//
#pragma once

#include <QIcon>

namespace korvex::app {

/// The installed theme icon "korvexdata" when the desktop has it, else the
/// same design drawn here, so that a build run from its folder has one too.
[[nodiscard]] QIcon AppIcon();

}  // namespace korvex::app
