// Sharing is managed in one dialog: alice picks bob from her contacts with
// chosen rights, the pane marks the folder as shared, the rights are
// changed and the share withdrawn, each checked against what korvexd holds.
// The login dialog forgets a saved account.

#include "app/CloudCommands.h"
#include "app/DesktopClient.h"
#include "app/ShareDlg.h"

#include <QComboBox>
#include <QListWidget>
#include <QTableWidget>

namespace {

using namespace korvex::testing::app;
using korvex::app::CShareDlg;

// The rights each user holds in `folder`, as the dialog reads them afresh.
std::map<std::string, std::uint32_t> SharesOf(korvex::DataStore& store, const korvex::ContainerInfo& folder) {
  CShareDlg dialog(store, folder);
  EXPECT_TRUE(korvex::Succeeded(dialog.Reload()));
  std::map<std::string, std::uint32_t> shares;
  for (const korvex::BuddyInfoEx& share : dialog.Shares()) shares[share.buddy.name] = share.privilege;
  return shares;
}

TEST_F(DesktopClient, SharingIsManagedInItsDialogAndAccountsCanBeForgotten) {
  std::string account;
  auto window = OpenWindow(account);
  ASSERT_TRUE(window);
  korvex::app::CNetDriveDlg& cloud = *window->NetPane();
  const korvex::app::EntryListModel& model = *cloud.Model();
  const int projects = static_cast<int>(Names(model).indexOf("Projects"));
  ASSERT_GE(projects, 0);
  cloud.View()->selectRow(projects);

  // "Share Folder..." opens the dialog: bob is among the contacts, and
  // sharing with him for upload and download lists him under the shares.
  bool answered = false;
  ModalAnswer share([&answered](QWidget* modal) {
    auto* dialog = qobject_cast<CShareDlg*>(modal);
    if (!dialog) return false;
    auto* contacts = dialog->findChild<QListWidget*>("contacts");
    const auto bob = contacts->findItems("bob", Qt::MatchStartsWith);
    EXPECT_EQ(bob.size(), 1);
    EXPECT_TRUE(contacts->findItems("alice", Qt::MatchStartsWith).isEmpty()) << "nobody shares with themselves";
    if (bob.size() == 1) bob.front()->setSelected(true);
    auto* rights = dialog->findChild<QComboBox*>("rights");
    rights->setCurrentIndex(rights->findData(korvex::app::kShareUploadDownload));
    dialog->findChild<QPushButton*>("share")->click();
    EXPECT_EQ(dialog->findChild<QTableWidget*>("shares")->rowCount(), 1);
    EXPECT_TRUE(dialog->findChild<QLabel*>("problem")->text().isEmpty()) << dialog->findChild<QLabel*>("problem")->text().toStdString();
    SaveScreenshot(*dialog, "share-dialog.png");
    dialog->reject();
    answered = true;
    return true;
  });
  window->CloudCommands()->ShareFolder();
  ASSERT_TRUE(answered);
  korvex::DataStore& store = *model.Store();
  korvex::ContainerInfo folder;
  ASSERT_TRUE(store.GetContainerInfo("/" + model.ViewRoot().name + "/Projects/", folder) ||
              store.GetContainerInfo(model.Container().uri + "Projects/", folder));
  EXPECT_EQ(SharesOf(store, folder), (std::map<std::string, std::uint32_t>{{"bob", korvex::app::kShareUploadDownload}}));
  // The pane lists again and marks the shared folder.
  const int row = static_cast<int>(Names(model).indexOf("Projects"));
  EXPECT_EQ(model.index(row, 0).data(Qt::ToolTipRole).toString(), "Shared with other users");
  EXPECT_TRUE(model.index(static_cast<int>(Names(model).indexOf("Photos")), 0).data(Qt::ToolTipRole).isNull());
  SaveScreenshot(*window, "cloud-shared-folder.png");

  // Changing the rights and withdrawing the share, from the list of shares.
  {
    CShareDlg dialog(store, folder);
    ASSERT_TRUE(korvex::Succeeded(dialog.Reload()));
    auto* table = dialog.findChild<QTableWidget*>("shares");
    table->selectRow(0);
    auto* rights = qobject_cast<QComboBox*>(table->cellWidget(0, 1));
    ASSERT_NE(rights, nullptr);
    EXPECT_EQ(rights->currentData().toUInt(), korvex::app::kShareUploadDownload);
    rights->setCurrentIndex(rights->findData(korvex::app::kShareDownload));
    ASSERT_TRUE(korvex::Succeeded(dialog.ChangeSelected()));
    EXPECT_EQ(SharesOf(store, folder), (std::map<std::string, std::uint32_t>{{"bob", korvex::app::kShareDownload}}));
    // An unknown user is refused with the service's reason, inside the dialog.
    dialog.findChild<QLineEdit*>("typedUser")->setText("nobody-here");
    EXPECT_TRUE(korvex::Failed(dialog.ShareWithChosen()));
    EXPECT_FALSE(dialog.findChild<QLabel*>("problem")->text().isEmpty());
    table->selectRow(0);
    ASSERT_TRUE(korvex::Succeeded(dialog.StopSelected()));
    EXPECT_EQ(table->rowCount(), 0);
  }
  EXPECT_TRUE(SharesOf(store, folder).empty());

  // The login dialog forgets alice's saved account: the name leaves the list
  // and the next dialog offers nothing.
  {
    korvex::app::CLoginDlg dialog(deployment_, true);
    dialog.show();
    ASSERT_EQ(dialog.findChild<QLineEdit*>("loginName")->text(), "alice");
    MessageBoxAnswer yes(QMessageBox::Yes);
    dialog.findChild<QPushButton*>("deleteAccount")->click();
    EXPECT_TRUE(yes.Text().contains("alice"));
    EXPECT_TRUE(dialog.findChild<QLineEdit*>("loginName")->text().isEmpty());
    EXPECT_TRUE(dialog.findChild<QLineEdit*>("domain")->text().isEmpty());
    EXPECT_EQ(dialog.findChild<QComboBox*>()->count(), 0);
  }
  korvex::app::CLoginDlg later(deployment_, true);
  EXPECT_TRUE(later.findChild<QLineEdit*>("loginName")->text().isEmpty());
}

}  // namespace
