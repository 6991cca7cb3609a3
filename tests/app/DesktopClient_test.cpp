// The desktop client against korvexd on loopback, on Qt's offscreen
// platform: the login dialog's refusals and its login, then both panes of
// the main window and the cloud pane's folder commands, checked against the
// tree the service holds. Screenshots of both windows go to
// build/screenshots/ for people to look at.

#include "app/DesktopClient.h"
#include "app/TransferCommands.h"

namespace {

using namespace korvex::testing::app;

TEST_F(DesktopClient, LoginRefusalsThenAccessCodeSession) {
  korvex::app::CLoginDlg dialog(deployment_, false);
  dialog.show();
  struct Case {
    const char* what;
    bool account;
    QString name, password, domain, code;
  };
  for (const Case& c : {Case{"no domain", true, "alice", "alice-demo-1", "", ""},
                        Case{"wrong password", true, "alice", "wrong", "demo", ""},
                        Case{"unknown code", false, "", "", "", "NOPE0000"}}) {
    SCOPED_TRACE(c.what);
    Submit(dialog, c.account, c.name, c.password, c.domain, c.code);
    EXPECT_FALSE(Problem(dialog).isEmpty());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
  }
  Submit(dialog, false, "", "", "", "DEMO2026");
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << Problem(dialog).toStdString();
  EXPECT_TRUE(dialog.GetSession().accessCode);

  // An access code reaches only its upload folder, which is the pane's
  // root; a visitor's upload lands in the folder behind the code.
  korvex::app::CMainDlg window(dialog.GetSession(), deployment_);
  ASSERT_TRUE(korvex::Succeeded(window.Init()));
  ASSERT_NE(window.NetPane(), nullptr);
  EXPECT_TRUE(window.NetPane()->Model()->AtRoot());
  korvex::testing::WriteText(desktop_ / "visit.txt", "from a visitor\n");
  window.TransferCommands()->UploadPaths({(desktop_ / "visit.txt").string()});
  EXPECT_TRUE(WaitFor([&] { return Tree().count("/Inbox/visit.txt") == 1; }));
}

TEST_F(DesktopClient, AccountBrowsesBothPanesAndEditsFolders) {
  korvex::app::CLoginDlg dialog(deployment_, false);
  dialog.show();
  dialog.findChild<QLineEdit*>("loginName")->setText("alice");
  dialog.findChild<QLineEdit*>("domain")->setText("demo");
  SaveScreenshot(dialog, "login-dialog.png");
  dialog.findChild<QCheckBox*>("rememberPassword")->setChecked(true);
  dialog.findChild<QCheckBox*>("automaticLogin")->setChecked(true);
  Submit(dialog, true, "alice", "alice-demo-1", "demo");
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << Problem(dialog).toStdString();

  // The saved automatic login fires when the program starts, but not when
  // the dialog comes back after a logout.
  for (const bool relogin : {false, true}) {
    SCOPED_TRACE(relogin ? "after logout" : "at start");
    korvex::app::CLoginDlg again(deployment_, relogin);
    again.show();
    EXPECT_EQ(again.findChild<QLineEdit*>("loginName")->text(), "alice");
    EXPECT_EQ(WaitFor([&] { return again.result() == QDialog::Accepted; }, relogin ? 500 : 15000), !relogin);
  }

  korvex::app::CMainDlg window(dialog.GetSession(), deployment_);
  ASSERT_TRUE(korvex::Succeeded(window.Init()));
  window.show();
  korvex::app::CNetDriveDlg& cloud = *window.NetPane();
  korvex::app::EntryListModel& model = *cloud.Model();
  // The own disk opens first; its parent row leads up to "My Cloud".
  EXPECT_EQ(Names(model), (QStringList{"[..]", "Documents", "Inbox", "Photos", "Projects", "readme.txt"}));
  ASSERT_NE(window.LocalPane(), nullptr);
  EXPECT_TRUE(Names(*window.LocalPane()->Model()).contains("local-notes.txt"));

  // Into a folder by double-click, where the parent row leads back out.
  cloud.View()->activated(model.index(1, 0));
  EXPECT_EQ(Names(model), (QStringList{"[..]", "notes.md", "report.pdf"}));
  cloud.View()->horizontalHeader()->setSortIndicator(korvex::app::EntryListModel::kColumnSize, Qt::DescendingOrder);
  EXPECT_EQ(Names(model), (QStringList{"[..]", "report.pdf", "notes.md"}));
  cloud.View()->horizontalHeader()->setSortIndicator(korvex::app::EntryListModel::kColumnName, Qt::AscendingOrder);
  cloud.View()->activated(model.index(0, 0));
  EXPECT_TRUE(model.AtRoot());

  // Two new folders take the first free names; both reach the service.
  ASSERT_TRUE(korvex::Succeeded(cloud.NewFolder()));
  ASSERT_TRUE(korvex::Succeeded(cloud.NewFolder()));
  EXPECT_TRUE(Tree().count("/New folder/") && Tree().count("/New folder (1)/"));

  const int row = model.FindContainerRow("New folder (1)");
  ASSERT_GE(row, 0);
  struct Rename {
    QString name;
    const char* refusal;  // start of the message, or null when accepted
  };
  for (const Rename& r : {Rename{"bad\"name", "The name can't contain:"}, Rename{"", "Empty name"},
                          Rename{"Reports.2026", nullptr}}) {
    SCOPED_TRACE(r.name.toStdString());
    MessageBoxAnswer answer(QMessageBox::Ok);
    const bool renamed = model.setData(model.index(row, 0), r.name, Qt::EditRole);
    EXPECT_EQ(renamed, r.refusal == nullptr);
    if (r.refusal) {
      EXPECT_TRUE(WaitFor([&] { return answer.Text().startsWith(r.refusal); }, 2000));
    }
  }
  EXPECT_TRUE(Tree().count("/Reports.2026/"));
  EXPECT_FALSE(Tree().count("/New folder (1)/"));
  SaveScreenshot(window, "main-window.png");

  // Deleting asks first; declining keeps the folder, confirming removes it.
  for (const auto& [button, kept] : {std::pair{QMessageBox::No, true}, std::pair{QMessageBox::Yes, false}}) {
    cloud.View()->selectRow(model.FindContainerRow("Reports.2026"));
    MessageBoxAnswer answer(button);
    (void)cloud.DeleteSelection();
    EXPECT_EQ(Tree().count("/Reports.2026/") == 1, kept);
  }
  EXPECT_EQ(model.FindContainerRow("Reports.2026"), -1);
}

}  // namespace
