// The desktop client against korvexd on loopback, on Qt's offscreen
// platform: the login dialog's refusals and its login, then both panes of
// the main window and the cloud pane's folder commands, checked against the
// tree the service holds. Screenshots of both windows go to
// build/screenshots/ for people to look at.

#include "app/DataStoreDlgBase.h"
#include "app/LocalDriveDlg.h"
#include "app/LoginDlg.h"
#include "app/MainDlg.h"
#include "app/NetDriveDlg.h"
#include "cli/ClientStartup.h"
#include "support/KorvexdProcess.h"
#include "support/TempHome.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>

#include <functional>
#include <memory>
#include <set>

namespace {

using korvex::testing::ScopedEnv;
using Json = nlohmann::json;

// Processes events until `done` holds, for at most `ms` milliseconds.
bool WaitFor(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

// Answers the next message box with `button` and keeps its text; gives up
// after two seconds so that a box that never comes cannot hang the test.
class MessageBoxAnswer {
 public:
  explicit MessageBoxAnswer(QMessageBox::StandardButton button) {
    QObject::connect(&timer_, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box) {
        text_ = box->text();
        box->button(button)->click();
      }
      if (box || ++ticks_ > 40) timer_.stop();
    });
    timer_.start(50);
  }
  const QString& Text() const { return text_; }

 private:
  QTimer timer_;
  QString text_;
  int ticks_ = 0;
};

void SaveScreenshot(QWidget& window, const char* name) {
  QDir().mkpath(KORVEX_SCREENSHOT_DIR);
  const QString path = QString(KORVEX_SCREENSHOT_DIR) + "/" + name;
  EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
}

QStringList Names(const korvex::app::EntryListModel& model) {
  QStringList names;
  for (int row = 0; row < model.rowCount(); ++row) names << model.index(row, 0).data().toString();
  return names;
}

class DesktopClient : public korvex::testing::TempHomeTest {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "korvex_app_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }

  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    for (const char* name : {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL"})
      env_.push_back(std::make_unique<ScopedEnv>(name, korvexd_.BaseUrl().c_str()));
    desktop_ = Home() / "desktop";
    korvex::testing::WriteText(desktop_ / "local-notes.txt", "kept on this computer\n");
    env_.push_back(std::make_unique<ScopedEnv>("HOME", desktop_.c_str()));
    std::string error;
    ASSERT_TRUE(korvex::Succeeded(korvex::cli::StartClient({}, deployment_, error))) << error;
  }

  // The user's tree as the service holds it: "/dir/" and "/dir/file" paths.
  std::set<std::string> Tree(const std::string& user = "alice") {
    httplib::Client client(korvexd_.BaseUrl());
    auto answer = client.Get("/admin/tree/" + user);
    std::set<std::string> paths;
    if (!answer || answer->status != 200) return paths;
    const std::function<void(const Json&, const std::string&)> walk = [&](const Json& dir, const std::string& at) {
      for (const Json& file : dir["files"]) paths.insert(at + file["name"].get<std::string>());
      for (const Json& sub : dir["dirs"]) {
        paths.insert(at + sub["name"].get<std::string>() + "/");
        walk(sub, at + sub["name"].get<std::string>() + "/");
      }
    };
    walk(Json::parse(answer->body)["tree"], "/");
    return paths;
  }

  // Types into the dialog and presses its OK button; waits for the answer.
  static void Submit(korvex::app::CLoginDlg& dialog, bool account, const QString& name, const QString& password,
                     const QString& domain, const QString& code = {}) {
    dialog.findChild<QRadioButton*>(account ? "accountMode" : "codeMode")->setChecked(true);
    dialog.findChild<QLineEdit*>("loginName")->setText(name);
    dialog.findChild<QLineEdit*>("password")->setText(password);
    dialog.findChild<QLineEdit*>("domain")->setText(domain);
    dialog.findChild<QLineEdit*>("accessCode")->setText(code);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(WaitFor([&] { return !dialog.IsSending(); }));
  }

  static QString Problem(const korvex::app::CLoginDlg& dialog) { return dialog.findChild<QLabel*>("problem")->text(); }

  korvex::test::KorvexdProcess korvexd_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  std::filesystem::path desktop_;
  korvex::DeploymentValues deployment_;
};

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

  // An access code reaches only its upload folder, which is the pane's root.
  korvex::app::CMainDlg window(dialog.GetSession(), deployment_);
  ASSERT_TRUE(korvex::Succeeded(window.Init()));
  ASSERT_NE(window.NetPane(), nullptr);
  EXPECT_TRUE(window.NetPane()->Model()->AtRoot());
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
  EXPECT_EQ(Names(model), (QStringList{"Documents", "Inbox", "Photos", "Projects", "readme.txt"}));
  ASSERT_NE(window.LocalPane(), nullptr);
  EXPECT_TRUE(Names(*window.LocalPane()->Model()).contains("local-notes.txt"));

  // Into a folder by double-click, where the parent row leads back out.
  cloud.View()->activated(model.index(0, 0));
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
