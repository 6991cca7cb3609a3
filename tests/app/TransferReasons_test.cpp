// What the transfer list and the status bar say about transfers that do
// not move, end to end against korvexd on the offscreen platform: a row
// stopped on a failure names the failure in words (and whole, in its tip),
// the status line never says "Transferring" for a paused transfer or one
// that waits for the answer to a name conflict.

#include "app/ConflictDlg.h"
#include "app/DesktopClient.h"
#include "app/TransferCommands.h"
#include "app/TransferListCtrl.h"
#include "app/TransferListModel.h"
#include "tasks/TaskManager.h"

#include <QFontMetrics>

namespace {

using namespace korvex::testing::app;
using korvex::FamilyState;
using korvex::app::TransferListModel;

constexpr const char* kSlowWrites = "delay=150,path=^/idtv1/stream/|^/file/uploadblock/,count=100000,ttl=600";

QString Status(const TransferListModel& rows, int row) {
  return rows.index(row, TransferListModel::kStatus).data().toString();
}

QString StatusLine(const korvex::app::CMainDlg& window) {
  return window.findChild<QLabel*>("transferLine")->text();
}

TEST_F(DesktopClient, TransfersThatDoNotMoveSayWhyInWords) {
  std::string account;
  const auto window = OpenWindow(account);
  ASSERT_NE(window, nullptr);
  korvex::app::CTransferListCtrl& list = *window->TransferList();
  TransferListModel& rows = *list.Model();
  QStringList notified;
  QObject::connect(&list, &korvex::app::CTransferListCtrl::transferFinished,
                   [&](const QString& title, const QString& text) { notified << title + ": " + text; });

  // The service cuts every connection that prepares an upload: the row
  // retries and names the failure, in words and whole in its tip.
  korvex::testing::WriteText(desktop_ / "cut.txt", "cut off\n");
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), "close=0,path=^/file/preupload,count=100000,ttl=600"));
  window->TransferCommands()->UploadPaths({(desktop_ / "cut.txt").string()});
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 1 && Status(rows, 0).startsWith("Wait to Retry: "); }, 30000))
      << Status(rows, 0).toStdString();
  const QString retrying = Status(rows, 0);
  EXPECT_FALSE(retrying.contains("0x")) << retrying.toStdString();
  EXPECT_TRUE(retrying.contains("connection") || retrying.contains("service")) << retrying.toStdString();
  EXPECT_EQ(rows.index(0, TransferListModel::kStatus).data(Qt::ToolTipRole).toString(), retrying);
  EXPECT_EQ(rows.index(0, TransferListModel::kDirection).data().toString(), "Upload");
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), ""));
  ASSERT_TRUE(WaitFor([&] { return rows.FamilyAt(0)->state == FamilyState::kCompleted; }, 60000)) << Status(rows, 0).toStdString();

  // A file that goes away while its upload is paused is given up: the end
  // says which file and why, not "0x80070002".
  const std::filesystem::path gone = desktop_ / "gone.bin";
  korvex::testing::WriteText(gone, std::string(4 << 20, 'g'));
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), kSlowWrites));
  window->TransferCommands()->UploadPaths({gone.string()});
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 2 && rows.index(1, 0).data(TransferListModel::kPercentRole).toInt() > 0; }));
  list.View()->selectRow(1);
  list.PauseSelected();
  ASSERT_TRUE(WaitFor([&] { return Status(rows, 1) == "Pause"; }));
  std::filesystem::remove(gone);
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), ""));
  notified.clear();
  list.StartSelected();
  ASSERT_TRUE(WaitFor([&] { return rows.FamilyAt(1)->state == FamilyState::kCompleted && !notified.isEmpty(); }, 30000))
      << Status(rows, 1).toStdString();
  EXPECT_EQ(Status(rows, 1), "Completed, 1 failed");
  EXPECT_TRUE(notified.front().endsWith(": gone.bin\ngone.bin: The file or folder does not exist"))
      << notified.front().toStdString();

  // The longest reason the list shows by itself fits its column.
  QTableView& view = *list.View();
  const int needed = view.fontMetrics().horizontalAdvance("Pause: the name exists, waiting for your answer");
  EXPECT_GT(view.columnWidth(TransferListModel::kStatus), needed + 8);
  EXPECT_GT(view.columnWidth(TransferListModel::kDirection), view.fontMetrics().horizontalAdvance("Download"));
}

TEST_F(DesktopClient, TheStatusLineSaysOnlyWhatHolds) {
  std::string account;
  const auto window = OpenWindow(account);
  ASSERT_NE(window, nullptr);
  korvex::app::CTransferListCtrl& list = *window->TransferList();
  TransferListModel& rows = *list.Model();
  korvex::app::CTransferCommands& commands = *window->TransferCommands();

  const std::filesystem::path big = desktop_ / "big.bin";
  korvex::testing::WriteText(big, std::string(6 << 20, 'b'));
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), kSlowWrites));
  commands.UploadPaths({big.string()});
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 1 && StatusLine(*window).startsWith("Transferring 1 item(s): "); }))
      << StatusLine(*window).toStdString();
  list.View()->selectRow(0);
  list.PauseSelected();
  ASSERT_TRUE(WaitFor([&] { return rows.FamilyAt(0)->state == FamilyState::kStopped; }));
  EXPECT_TRUE(WaitFor([&] { return StatusLine(*window) == "Paused: big.bin"; }, 3000)) << StatusLine(*window).toStdString();
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), ""));

  // A taken name: while the dialog waits (over two ticks of the line) the
  // line says so; Skip ends it, and nothing is said to move.
  korvex::testing::WriteText(desktop_ / "readme.txt", "a local readme\n");
  QString whileAsked;
  QElapsedTimer shown;
  ModalAnswer skip([&](QWidget* modal) {
    auto* dialog = qobject_cast<korvex::app::CConflictDlg*>(modal);
    if (!dialog) return false;
    if (!shown.isValid()) shown.start();
    if (shown.elapsed() < 2200) return false;
    whileAsked = StatusLine(*window);
    dialog->findChild<QPushButton*>("skip")->click();
    return true;
  });
  commands.UploadPaths({(desktop_ / "readme.txt").string()});
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 2 && rows.FamilyAt(1)->state == FamilyState::kCompleted; }, 30000));
  EXPECT_EQ(whileAsked, "A name exists: the transfer waits for your answer.");
  EXPECT_TRUE(WaitFor([&] { return StatusLine(*window) == "Transfers finished."; }, 3000)) << StatusLine(*window).toStdString();
}

}  // namespace
