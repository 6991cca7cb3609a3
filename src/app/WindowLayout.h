//===- app/WindowLayout.h - The main window's size and proportions -*- C++ -*-===//
///
/// What the user made of the window's layout, kept from one start to the
/// next under HKCU "SOFTWARE\KorvexDataSMB\window": the window's geometry,
/// the split between the panes and between panes and transfer list, and
/// the column widths of every list. Without a saved layout the transfer list
/// opens tall enough for about six rows.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QList>
#include <QString>

class QHeaderView;
class QMainWindow;
class QSplitter;

namespace korvex::app {

inline constexpr int kDefaultTransferRows = 6;

/// The parts of the window whose layout is kept; each is named for the
/// value it is stored under. Missing parts (no transfer list) are null.
struct WindowLayout {
  QMainWindow* window = nullptr;
  QSplitter* panes = nullptr;      ///< cloud beside local
  QSplitter* transfers = nullptr;  ///< the panes above the transfer list
  QList<QPair<QString, QHeaderView*>> headers;
};

/// Applies the saved layout, or the defaults where nothing was saved.
void RestoreLayout(const WindowLayout& layout);
void SaveLayout(const WindowLayout& layout);

}  // namespace korvex::app
