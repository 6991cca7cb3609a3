//===- app/WindowLayout.cpp - The main window's size and proportions ------===//

#include "app/WindowLayout.h"

#include "foundation/Registry.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>

#include <string>

namespace korvex::app {
namespace {

constexpr std::string_view kWindowSubkey = "window";

// The states are Qt's own bytes, kept as Base64 text in the hive.
QByteArray Read(const QString& name) {
  const std::string text = ReadString(Hive::CurrentUser, kProductKey, kWindowSubkey, name.toStdString(), "");
  return QByteArray::fromBase64(QByteArray::fromStdString(text));
}

void Write(const QString& name, const QByteArray& state) {
  (void)WriteString(Hive::CurrentUser, kProductKey, kWindowSubkey, name.toStdString(), state.toBase64().toStdString());
}

// Header, rows and the tab bar of the list below the panes.
int TransferListHeight(const QSplitter& split) {
  const auto* tabs = qobject_cast<const QTabWidget*>(split.widget(1));
  const QTableView* list = tabs ? tabs->findChild<QTableView*>() : nullptr;
  if (!list) return split.height() / 4;
  const int rows = list->verticalHeader()->defaultSectionSize() * kDefaultTransferRows;
  // The list's own buttons and the tab bar sit around the rows.
  const int around = tabs->tabBar()->sizeHint().height() + list->horizontalHeader()->sizeHint().height() +
                     list->fontMetrics().height() * 3 + 24;
  return rows + around;
}

}  // namespace

void RestoreLayout(const WindowLayout& layout) {
  if (layout.window && !layout.window->restoreGeometry(Read("Geometry"))) layout.window->resize(1100, 760);
  if (layout.panes) (void)layout.panes->restoreState(Read("Panes"));
  if (layout.transfers && !layout.transfers->restoreState(Read("Transfers"))) {
    const int total = layout.window ? layout.window->height() - 120 : layout.transfers->height();
    const int list = TransferListHeight(*layout.transfers);
    layout.transfers->setSizes({std::max(total - list, list), list});
  }
  for (const auto& [name, header] : layout.headers) {
    if (header) (void)header->restoreState(Read("Columns." + name));
  }
}

void SaveLayout(const WindowLayout& layout) {
  if (layout.window) Write("Geometry", layout.window->saveGeometry());
  if (layout.panes) Write("Panes", layout.panes->saveState());
  if (layout.transfers) Write("Transfers", layout.transfers->saveState());
  for (const auto& [name, header] : layout.headers) {
    if (header) Write("Columns." + name, header->saveState());
  }
}

}  // namespace korvex::app
