// The desktop client's backups end to end against korvexd: a local folder
// marked as a backup folder, run now, then run again after one file changed
// (only that file goes up), the backup time and folder list of the options
// dialog as reopened, the question before deleting a folder that holds a
// backup folder, one backup runner per account, and cancelling the backup.

#include "app/BackupCommands.h"
#include "app/DesktopClient.h"
#include "app/OptionDlg.h"
#include "app/SessionBackup.h"
#include "app/SessionTransfers.h"

#include <QInputDialog>
#include <QStatusBar>
#include <QSpinBox>
#include <QTreeWidget>

#include <chrono>

namespace {

using namespace korvex::testing::app;
namespace fs = std::filesystem;

void Select(korvex::app::CDataStoreDlgBase& pane, const QString& name) {
  const int row = static_cast<int>(Names(*pane.Model()).indexOf(name));
  ASSERT_GE(row, 0) << name.toStdString();
  pane.View()->clearSelection();
  pane.View()->selectRow(row);
}

// The backup families of `manager`, oldest first.
std::vector<std::shared_ptr<korvex::TaskFamily>> Backups(korvex::TaskManager& manager) {
  std::vector<std::shared_ptr<korvex::TaskFamily>> backups;
  for (const auto& family : manager.Families()) {
    if (family->Direction() == korvex::TransferDirection::kSyncUpload) backups.push_back(family);
  }
  std::sort(backups.begin(), backups.end(), [](const auto& a, const auto& b) { return a->Id() < b->Id(); });
  return backups;
}

ModalAnswer TypeInto(const QString& text) {
  return ModalAnswer([text](QWidget* modal) {
    auto* input = qobject_cast<QInputDialog*>(modal);
    if (input) {
      input->setTextValue(text);
      input->accept();
    }
    return input != nullptr;
  });
}

TEST_F(DesktopClient, BacksUpLocalFoldersAndOnlyWhatChanged) {
  const fs::path docs = desktop_ / "docs";
  korvex::testing::WriteText(docs / "a.txt", "alpha\n");
  korvex::testing::WriteText(docs / "sub" / "b.txt", std::string(50000, 'b'));
  fs::create_directories(desktop_ / "outer" / "inner");

  std::string account;
  const std::unique_ptr<korvex::app::CMainDlg> opened = OpenWindow(account);
  ASSERT_NE(opened, nullptr);
  korvex::app::CMainDlg& window = *opened;
  korvex::app::CLocalDriveDlg& local = *window.LocalPane();
  korvex::app::CBackupCommands& commands = *window.BackupCommands();
  korvex::app::SessionBackup& backup = *window.Backup();
  korvex::TaskManager& manager = window.Transfers()->Manager();
  ASSERT_TRUE(backup.IsRunner());
  const auto docsRow = [&] { return static_cast<int>(Names(*local.Model()).indexOf("docs")); };

  // The backup commands are in the menu of a folder, not of a file.
  const auto newBackupShown = [&] {
    for (QAction* action : local.View()->actions())
      if (action->text() == "New Backup") return action->isVisible();
    return false;
  };
  Select(local, "local-notes.txt");
  EXPECT_FALSE(newBackupShown());
  Select(local, "docs");
  EXPECT_TRUE(newBackupShown());

  // A cloud folder inside one that does not exist is refused; the offered
  // one, beside what the cloud pane shows, is taken.
  {
    ModalAnswer typed = TypeInto("/nowhere/docs");
    MessageBoxAnswer refused(QMessageBox::Ok);
    EXPECT_EQ(commands.NewBackup(), korvex::HR_FILE_NOT_FOUND);
    EXPECT_EQ(refused.Text(), "Illegal path or the path doen not exist");
  }
  ModalAnswer typed = TypeInto("/docs/");
  ASSERT_EQ(commands.NewBackup(), korvex::S_OK);
  EXPECT_EQ(commands.RowStatus(docsRow()), korvex::kSyncPathIsFolder);
  SaveScreenshot(window, "main-window-backup.png");

  // Run now: everything goes up. Then one file changes and only it is sent.
  ASSERT_EQ(commands.BackUpNow(), korvex::S_OK);
  ASSERT_TRUE(WaitFor([&] {
    const auto backups = Backups(manager);
    return backups.size() == 1 && backups[0]->state == korvex::FamilyState::kCompleted;
  }, 60000));
  const auto tree = Tree();
  EXPECT_TRUE(tree.count("/docs/a.txt") && tree.count("/docs/sub/b.txt"));
  const std::string changed = "alpha, changed\n";
  korvex::testing::WriteText(docs / "a.txt", changed);
  fs::last_write_time(docs / "a.txt", fs::file_time_type::clock::now() + std::chrono::minutes(2));
  // A name the service refuses is skipped, and the window says so.
  korvex::testing::WriteText(docs / "bad\\name.txt", "refused");
  const std::uint32_t firstRun = Backups(manager)[0]->Id();
  ASSERT_EQ(commands.BackUpNow(), korvex::S_OK);
  // The second run takes the place of the completed first one in the list.
  ASSERT_TRUE(WaitFor([&] {
    const auto backups = Backups(manager);
    return backups.size() == 1 && backups[0]->Id() != firstRun &&
           backups[0]->state == korvex::FamilyState::kCompleted;
  }, 60000));
  EXPECT_EQ(Backups(manager)[0]->Progress().doneBytes, changed.size());
  EXPECT_TRUE(WaitFor([&] { return window.statusBar()->currentMessage().contains("skipped 1 file"); }, 5000))
      << window.statusBar()->currentMessage().toStdString();

  // The options show the pair; a new time reaches the running service and
  // the file, and the reopened dialog shows it. A removal that is cancelled
  // with the dialog removes nothing.
  {
    korvex::app::COptionDlg options("alice", "/usr/bin/korvexdata", &window, &backup);
    auto* folders = options.findChild<QTreeWidget*>("backupFolders");
    ASSERT_EQ(folders->topLevelItemCount(), 1);
    EXPECT_EQ(folders->topLevelItem(0)->text(1), "/docs/");
    options.findChild<QSpinBox*>("backupHour")->setValue(2);
    options.findChild<QSpinBox*>("backupMinute")->setValue(30);
    options.show();
    SaveScreenshot(options, "options-dialog-backup.png");
    ASSERT_TRUE(options.Save());
  }
  EXPECT_EQ(backup.Sync().Schedule().hour, 2);
  const korvex::SyncConfig stored = korvex::LoadSyncConfig(korvex::SyncConfigPath(account));
  EXPECT_EQ(stored.schedule.hour, 2);
  EXPECT_EQ(stored.schedule.minute, 30);
  {
    korvex::app::COptionDlg reopened("alice", "/usr/bin/korvexdata", &window, &backup);
    EXPECT_EQ(reopened.findChild<QSpinBox*>("backupHour")->value(), 2);
    EXPECT_EQ(reopened.findChild<QSpinBox*>("backupMinute")->value(), 30);
    auto* folders = reopened.findChild<QTreeWidget*>("backupFolders");
    folders->setCurrentItem(folders->topLevelItem(0));
    reopened.findChild<QPushButton*>("removeBackup")->click();
    EXPECT_EQ(folders->topLevelItemCount(), 0);
    reopened.reject();
  }
  EXPECT_EQ(backup.Sync().Folders().size(), 1u);

  // Deleting a folder that holds a backup folder asks first; declined,
  // nothing goes; agreed, the folder and its pair go.
  ASSERT_EQ(backup.Sync().AddFolder((desktop_ / "outer" / "inner").string(), "/inner/", 0), korvex::S_OK);
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    Select(local, "outer");
    MessageBoxAnswer asked(answer);
    (void)local.DeleteSelection();
    // A local delete also says that it cannot be undone.
    EXPECT_EQ(asked.Text(), "The directory has automatic backup directory under it,Are you sure you want to delete it?"
                            "\n\nThis deletes permanently: it cannot be undone.");
    EXPECT_EQ(fs::exists(desktop_ / "outer" / "inner"), answer == QMessageBox::No);
  }
  EXPECT_EQ(backup.Sync().Folders().size(), 1u);

  // One runner per account: while another process holds the role, this
  // window leaves the backups to it, names it, and asks it to run now.
  backup.Stop();
  korvex::BackupRunnerLock daemon(window.Transfers()->TaskFolder());
  ASSERT_EQ(daemon.TryAcquire("korvex daemon"), korvex::S_OK);
  EXPECT_EQ(backup.Start(), korvex::S_FALSE);
  EXPECT_TRUE(commands.RunnerText().contains("korvex daemon"));
  korvex::Event* asked = korvex::SyncNowSignalEvent();
  (void)asked->TryConsume();
  ASSERT_EQ(commands.BackUpNow(), korvex::S_OK);
  EXPECT_TRUE(asked->Wait(5000));
  daemon.Release();
  EXPECT_EQ(backup.Start(), korvex::S_OK);

  // Cancelling the backup unmarks the folder; what is in the cloud stays.
  Select(local, "docs");
  {
    MessageBoxAnswer yes(QMessageBox::Yes);
    EXPECT_EQ(commands.CancelBackup(), korvex::S_OK);
  }
  EXPECT_TRUE(backup.Sync().Folders().empty());
  EXPECT_EQ(commands.RowStatus(docsRow()), 0u);
  EXPECT_TRUE(Tree().count("/docs/a.txt"));
  window.Exit(korvex::app::kExitRelogin);
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

}  // namespace
