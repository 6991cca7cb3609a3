//===- app/Notice.h - Messages that close by themselves ---------*- C++ -*-===//
#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace korvex::app {

/// How long an informational message of the main window stays up.
inline constexpr int kNoticeMilliseconds = 15000;

/// Shows `text` in an information box over `parent` that does not block
/// and closes by itself after kNoticeMilliseconds. Returns the box, which
/// deletes itself when closed.
QMessageBox* ShowNotice(QWidget* parent, const QString& title, const QString& text);

}  // namespace korvex::app
