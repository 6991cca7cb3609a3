// Names that are taken, end to end against korvexd on the offscreen
// platform: an upload and a download onto an existing name ask, and each
// answer does what it says (Keep Both, Replace, Skip, and one answer for
// every conflict of a folder); a conflict left unanswered and then skipped
// from the list is shown and notified as skipped, not as completed.

#include "app/ConflictDlg.h"
#include "app/DesktopClient.h"
#include "app/TaskDetailDlg.h"
#include "app/TransferCommands.h"
#include "app/TransferListCtrl.h"
#include "app/TransferListModel.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskManager.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPointer>

#include <fstream>

namespace {

using namespace korvex::testing::app;
using korvex::FamilyState;
using korvex::app::CConflictDlg;
using korvex::app::TransferListModel;
namespace fs = std::filesystem;

QString Cell(const TransferListModel& rows, int row) {
  return rows.index(row, TransferListModel::kStatus).data().toString();
}

// Answers every conflict dialog with the button named `button`, ticking
// "Do this for all conflicts" when `forAll`; counts the dialogs and keeps
// the text of the first.
class ConflictAnswers {
 public:
  // `buttons` in turn, the last one for every later dialog.
  ConflictAnswers(QStringList buttons, bool forAll) {
    QObject::connect(&timer_, &QTimer::timeout, [this, buttons, forAll] {
      auto* dialog = qobject_cast<CConflictDlg*>(QApplication::activeModalWidget());
      if (!dialog || dialog == last_) return;
      last_ = dialog;
      const QString button = buttons[std::min<int>(asked_, static_cast<int>(buttons.size()) - 1)];
      ++asked_;
      texts_ << dialog->findChild<QLabel*>("conflictText")->text();
      if (shot_) SaveScreenshot(*dialog, shot_);
      dialog->findChild<QCheckBox*>("forAllConflicts")->setChecked(forAll);
      if (button == "close") dialog->reject();
      else dialog->findChild<QPushButton*>(button)->click();
    });
    timer_.start(30);
  }
  ConflictAnswers(const char* button, bool forAll) : ConflictAnswers(QStringList{button}, forAll) {}
  int Asked() const { return asked_; }
  QString Text() const { return texts_.value(0); }
  const QStringList& Texts() const { return texts_; }
  void Screenshot(const char* name) { shot_ = name; }

 private:
  QTimer timer_;
  QPointer<CConflictDlg> last_;
  int asked_ = 0;
  QStringList texts_;
  const char* shot_ = nullptr;
};

TEST_F(DesktopClient, NameConflictsAskAndEachAnswerDoesWhatItSays) {
  fs::create_directories(desktop_ / "batch");
  korvex::testing::WriteText(desktop_ / "batch" / "a.txt", "first a\n");
  korvex::testing::WriteText(desktop_ / "batch" / "b.txt", "first b\n");
  std::string account;
  const auto window = OpenWindow(account);
  ASSERT_NE(window, nullptr);
  korvex::app::CTransferListCtrl& list = *window->TransferList();
  TransferListModel& rows = *list.Model();
  korvex::app::CTransferCommands& commands = *window->TransferCommands();
  QStringList notified;
  QObject::connect(&list, &korvex::app::CTransferListCtrl::transferFinished,
                   [&](const QString& title, const QString& text) { notified << title + ": " + text; });
  const std::string base = korvexd_.BaseUrl();
  const std::int64_t seeded = CompleteFileSize(base, "alice", "/readme.txt");
  ASSERT_GT(seeded, 0);
  const fs::path readme = desktop_ / "readme.txt";
  korvex::testing::WriteText(readme, std::string(3000, 'L'));
  const auto completedRows = [&](int n) {
    if (rows.rowCount() != n) return false;
    for (int row = 0; row < n; ++row)
      if (rows.FamilyAt(row)->state != FamilyState::kCompleted) return false;
    return true;
  };

  {
    // Keep Both: the service's file stays, the upload arrives beside it.
    ConflictAnswers answers("keepBoth", false);
    answers.Screenshot("conflict-dialog.png");
    commands.UploadPaths({readme.string()});
    ASSERT_TRUE(WaitFor([&] { return completedRows(1); }, 30000)) << answers.Asked();
    EXPECT_EQ(answers.Asked(), 1);
    EXPECT_TRUE(answers.Text().contains("\"readme.txt\"")) << answers.Text().toStdString();
    EXPECT_EQ(CompleteFileSize(base, "alice", "/readme.txt"), seeded);
    EXPECT_EQ(CompleteFileSize(base, "alice", "/readme (2).txt"), 3000);
  }
  {
    // Replace: the service's file becomes the local one.
    ConflictAnswers answers("replace", false);
    commands.UploadPaths({readme.string()});
    ASSERT_TRUE(WaitFor([&] { return completedRows(2); }, 30000)) << answers.Asked();
    EXPECT_EQ(answers.Asked(), 1);
    EXPECT_EQ(CompleteFileSize(base, "alice", "/readme.txt"), 3000);
    EXPECT_EQ(Cell(rows, 1), "Completed");
  }
  {
    // A download onto the local name, kept beside it.
    ConflictAnswers answers("keepBoth", false);
    auto item = std::make_shared<korvex::ItemInfo>();
    korvex::ContainerInfo unused;
    bool isFolder = true;
    korvex::DataStore& store = *window->NetPane()->Model()->Store();
    store.InvalidateContainer(window->NetPane()->Model()->Container());
    ASSERT_EQ(korvex::FindByAddress(store, window->NetPane()->Model()->Container().uri + "readme.txt", isFolder,
                                    unused, *item),
              korvex::S_OK);
    korvex::testing::WriteText(readme, "older local text\n");
    commands.Download({item}, desktop_.string() + "/", false);
    ASSERT_TRUE(WaitFor([&] { return completedRows(3); }, 30000)) << answers.Asked();
    EXPECT_EQ(answers.Asked(), 1);
    EXPECT_EQ(fs::file_size(readme), 17u);
    EXPECT_TRUE(fs::exists(desktop_ / "readme (2).txt") && fs::file_size(desktop_ / "readme (2).txt") == 3000);
  }
  {
    // One answer for the whole folder: its second conflict asks nothing.
    commands.UploadPaths({(desktop_ / "batch").string() + "/"});
    ASSERT_TRUE(WaitFor([&] { return completedRows(4); }, 30000));
    korvex::testing::WriteText(desktop_ / "batch" / "a.txt", "second a, longer\n");
    korvex::testing::WriteText(desktop_ / "batch" / "b.txt", "second b, longer\n");
    ConflictAnswers answers("replace", true);
    commands.UploadPaths({(desktop_ / "batch").string() + "/"});
    ASSERT_TRUE(WaitFor([&] { return completedRows(5); }, 30000)) << answers.Asked();
    EXPECT_EQ(answers.Asked(), 1);
    EXPECT_EQ(CompleteFileSize(base, "alice", "/batch/a.txt"), 17);
    EXPECT_EQ(CompleteFileSize(base, "alice", "/batch/b.txt"), 17);
  }
  {
    // An answer for one file is used by that file, not by the next one of
    // the folder: the file replaced is the one the first dialog named.
    korvex::testing::WriteText(desktop_ / "batch" / "a.txt", "third a, longer still\n");
    korvex::testing::WriteText(desktop_ / "batch" / "b.txt", "third b, longer still\n");
    ConflictAnswers answers(QStringList{"replace", "skip"}, false);
    commands.UploadPaths({(desktop_ / "batch").string() + "/"});
    ASSERT_TRUE(WaitFor([&] { return completedRows(6); }, 30000)) << answers.Asked();
    ASSERT_EQ(answers.Asked(), 2);
    EXPECT_TRUE(answers.Texts()[0].contains("\"/My Disk/batch/\"")) << answers.Texts()[0].toStdString();
    const bool aFirst = answers.Texts()[0].contains("\"a.txt\"");
    EXPECT_TRUE(answers.Texts()[1].contains(aFirst ? "\"b.txt\"" : "\"a.txt\"")) << answers.Texts().join("|").toStdString();
    EXPECT_EQ(CompleteFileSize(base, "alice", "/batch/a.txt"), aFirst ? 22 : 17);
    EXPECT_EQ(CompleteFileSize(base, "alice", "/batch/b.txt"), aFirst ? 17 : 22);
  }
  list.ClearCompleted();
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 0; }));
  notified.clear();

  {
    // Skip: nothing moves, and the row and the notification say so.
    ConflictAnswers answers("skip", false);
    commands.UploadPaths({readme.string()});
    ASSERT_TRUE(WaitFor([&] { return completedRows(1); }, 30000)) << answers.Asked();
    EXPECT_EQ(Cell(rows, 0), "Skipped");
    EXPECT_EQ(rows.index(0, 0).data(TransferListModel::kPercentRole).toInt(), 0);
    EXPECT_EQ(CompleteFileSize(base, "alice", "/readme.txt"), 3000);
  }
  {
    // Left unanswered, then "Skip Error" from the list: the same.
    ConflictAnswers answers("close", false);
    commands.UploadPaths({readme.string()});
    ASSERT_TRUE(WaitFor([&] { return answers.Asked() == 1 && rows.rowCount() == 2 &&
                                     rows.FamilyAt(1)->state == FamilyState::kStopped; }, 30000))
        << answers.Asked() << " " << rows.rowCount() << " " << Cell(rows, rows.rowCount() - 1).toStdString();
    EXPECT_EQ(Cell(rows, 1), "Pause: the name exists, waiting for your answer");
    list.View()->selectRow(1);
    list.SkipError();
    ASSERT_TRUE(WaitFor([&] { return completedRows(2); }, 30000));
    EXPECT_EQ(Cell(rows, 1), "Skipped");
    EXPECT_EQ(rows.index(1, 0).data(TransferListModel::kPercentRole).toInt(), 0);
    list.ViewDetail();
    auto* detail = list.findChild<korvex::app::CTaskDetailDlg*>();
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->findChild<QLabel*>("transferState")->text(), "Skipped");
    auto* tasks = detail->findChild<QListWidget*>("unfinishedTasks");
    ASSERT_EQ(tasks->count(), 1);
    EXPECT_TRUE(tasks->item(0)->text().startsWith("Skipped")) << tasks->item(0)->text().toStdString();
    detail->close();
    EXPECT_EQ(CompleteFileSize(base, "alice", "/readme.txt"), 3000);
  }
  EXPECT_TRUE(WaitFor([&] { return notified.size() == 2; }, 3000));
  EXPECT_EQ(notified, (QStringList{"Transfer skipped: readme.txt", "Transfer skipped: readme.txt"}));
}

}  // namespace
