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
#include "app/OptionDlg.h"
#include "app/TaskDetailDlg.h"
#include "app/TransferListCtrl.h"
#include "app/TransferListModel.h"
#include "app/TransferSession.h"
#include "app/Translation.h"
#include "cli/ClientStartup.h"
#include "foundation/AutoStart.h"
#include "foundation/Registry.h"
#include "foundation/StringTable.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskManager.h"
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

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
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

  korvex::cli::Session LogInAlice() {
    korvex::app::CLoginDlg dialog(deployment_, false);
    Submit(dialog, true, "alice", "alice-demo-1", "demo");
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << Problem(dialog).toStdString();
    return dialog.GetSession();
  }

  bool AddFault(const std::string& fault) {
    httplib::Client client(korvexd_.BaseUrl());
    auto answer = client.Post(fault.empty() ? "/admin/faults/clear" : "/admin/faults", fault, "text/plain");
    return answer && answer->status == 200;
  }

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

namespace {

using korvex::FamilyState;
using korvex::TransferDirection;
using korvex::app::TransferListModel;

QString Cell(const TransferListModel& model, int row, int column) {
  return model.index(row, column).data().toString();
}

// The message boxes the transfer list shows without waiting for an answer.
QString TakeNotice(QWidget& owner) {
  QString text;
  for (QMessageBox* box : owner.findChildren<QMessageBox*>()) {
    text += box->text();
    box->close();
  }
  return text;
}

TEST_F(DesktopClient, TransferListFollowsTransfersAndItsCommands) {
  const korvex::cli::Session session = LogInAlice();
  korvex::app::CMainDlg window(session, deployment_);
  ASSERT_TRUE(korvex::Succeeded(window.Init()));
  window.show();
  korvex::app::CTransferListCtrl* list = window.TransferList();
  ASSERT_NE(list, nullptr);
  TransferListModel& rows = *list->Model();
  korvex::TaskManager& manager = window.Transfers()->Manager();
  QStringList finished;
  QObject::connect(list, &korvex::app::CTransferListCtrl::transferFinished,
                   [&](const QString& title, const QString& text) { finished << title + ": " + text; });

  // Slow writes keep the upload running long enough to be paused.
  const std::filesystem::path big = desktop_ / "big.bin";
  korvex::testing::WriteText(big, std::string(3 << 20, 'k'));
  ASSERT_TRUE(AddFault("delay=40,path=^/idtv1/stream/write/,count=100000,ttl=600"));
  const korvex::ContainerInfo cloudRoot = window.NetPane()->Model()->Container();
  ASSERT_EQ(list->StartTransfers(TransferDirection::kUpload, {big.string()}, cloudRoot).size(), 1u);
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 1; }));
  EXPECT_EQ(Cell(rows, 0, TransferListModel::kName), "big.bin");
  EXPECT_EQ(Cell(rows, 0, TransferListModel::kKind), "File");

  // The same transfer again is refused while the first is unfinished.
  EXPECT_TRUE(list->StartTransfers(TransferDirection::kUpload, {big.string()}, cloudRoot).empty());
  EXPECT_TRUE(TakeNotice(*list).startsWith("Repeated upload mission, \nFrom:\tbig.bin\nTo:\t"));

  ASSERT_TRUE(WaitFor([&] { return rows.index(0, 0).data(TransferListModel::kPercentRole).toInt() > 0; }));
  EXPECT_EQ(Cell(rows, 0, TransferListModel::kStatus), "Transfering");
  EXPECT_TRUE(WaitFor([&] { return Cell(rows, 0, TransferListModel::kSpeed).endsWith("/s"); }, 5000));
  SaveScreenshot(window, "main-window-transfer.png");

  list->View()->selectRow(0);
  list->PauseSelected();
  ASSERT_TRUE(WaitFor([&] { return Cell(rows, 0, TransferListModel::kStatus) == "Pause"; }));
  EXPECT_LT(rows.index(0, 0).data(TransferListModel::kPercentRole).toInt(), 100);
  list->ViewDetail();
  auto* detail = list->findChild<korvex::app::CTaskDetailDlg*>();
  ASSERT_NE(detail, nullptr);
  EXPECT_EQ(detail->findChild<QLabel*>("taskName")->text(), "big.bin");
  EXPECT_EQ(detail->findChild<QLabel*>("transferState")->text(), "Pause");
  EXPECT_EQ(detail->findChild<QLabel*>("unfinished")->text(), "1");
  SaveScreenshot(*detail, "task-detail.png");
  detail->close();

  // The network's return resumes only what it can mend: not the user's
  // pause, not a family waiting for the user's answer.
  const auto family = rows.FamilyAt(0);
  struct Case {
    const char* what;
    korvex::HRESULT stoppedBy;
    bool resumed;
  };
  for (const Case& c : {Case{"user pause", korvex::E_ABORT, false},
                        Case{"existing target", korvex::HR_ALREADY_EXISTS, false},
                        Case{"lost connection", korvex::MakeHResult(0x804F2EFDu), true}}) {
    SCOPED_TRACE(c.what);
    family->lastError = c.stoppedBy;  // as a family stored by an earlier run
    window.OnNetworkConnected();
    EXPECT_EQ(family->state != FamilyState::kStopped, c.resumed);
  }
  ASSERT_TRUE(AddFault(""));
  ASSERT_TRUE(WaitFor([&] { return Cell(rows, 0, TransferListModel::kStatus) == "Completed"; }, 60000));
  EXPECT_EQ(rows.index(0, 0).data(TransferListModel::kPercentRole).toInt(), 100);
  EXPECT_TRUE(Tree().count("/big.bin"));
  EXPECT_TRUE(WaitFor([&] { return finished == QStringList{"Transfer completed: big.bin"}; }, 2000)) << finished.join("|").toStdString();

  // A download into the local folder, then a file over the size limit.
  korvex::ContainerInfo localFolder;
  korvex::ItemInfo unused;
  bool isFolder = false;
  ASSERT_TRUE(korvex::Succeeded(
      korvex::FindByAddress(*window.Transfers()->LocalStore(), desktop_.string() + "/", isFolder, localFolder, unused)));
  ASSERT_EQ(list->StartTransfers(TransferDirection::kDownload, {cloudRoot.uri + "readme.txt"}, localFolder).size(), 1u)
      << TakeNotice(*list).toStdString();
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 2 && Cell(rows, 1, TransferListModel::kStatus) == "Completed"; }));
  EXPECT_TRUE(std::filesystem::exists(desktop_ / "readme.txt"));

  const std::filesystem::path huge = desktop_ / "huge.iso";
  { std::ofstream(huge).flush(); }
  std::filesystem::resize_file(huge, korvex::app::CTransferListCtrl::kSizeLimit + 1);  // sparse
  EXPECT_TRUE(list->StartTransfers(TransferDirection::kUpload, {huge.string()}, cloudRoot).empty());
  EXPECT_TRUE(TakeNotice(*list).startsWith("Size limited, the file(s) can't be uploaded: \nPath:\t"));
  std::filesystem::remove(huge);

  list->ClearCompleted();
  EXPECT_TRUE(WaitFor([&] { return rows.rowCount() == 0; }));
  EXPECT_TRUE(manager.Families().empty());

  // Without a tray icon (none offscreen) closing asks first; "No" keeps the
  // window, and with "ExitConfirm" off it closes at once.
  bool closed = false;
  QObject::connect(&window, &korvex::app::CMainDlg::closed, [&] { closed = true; });
  {
    MessageBoxAnswer answer(QMessageBox::No);
    window.close();
    EXPECT_TRUE(WaitFor([&] { return !answer.Text().isEmpty(); }, 3000));
    EXPECT_TRUE(answer.Text().startsWith("Exiting "));
  }
  EXPECT_FALSE(closed);
  EXPECT_TRUE(window.isVisible());
  ASSERT_TRUE(korvex::WriteString(korvex::Hive::CurrentUser, korvex::kProductKey, "common", "ExitConfirm", "0"));
  window.close();
  EXPECT_TRUE(closed);
}

TEST_F(DesktopClient, OptionsAreStoredWhereTheClientReadsThem) {
  using korvex::Hive;
  const std::string program = "/opt/korvex data/bin/korvexdata";
  const std::string passwordKey = std::string(korvex::kProductKey) + "\\alice";
  {
    korvex::app::COptionDlg dialog("alice", program);
    dialog.show();
    dialog.findChild<QCheckBox*>("encryptByDefault")->setChecked(true);
    {
      MessageBoxAnswer answer(QMessageBox::Ok);
      dialog.accept();
      EXPECT_TRUE(WaitFor([&] { return !answer.Text().isEmpty(); }, 3000));
      EXPECT_EQ(answer.Text(), "Please set default password");
    }
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.findChild<QLineEdit*>("defaultPassword")->setText("s3cret pass");
    dialog.findChild<QCheckBox*>("autoRun")->setChecked(true);
    dialog.findChild<QCheckBox*>("trayIcon")->setChecked(false);
    dialog.findChild<QRadioButton*>("chinese")->setChecked(true);
    SaveScreenshot(dialog, "options-dialog.png");
    MessageBoxAnswer answer(QMessageBox::Ok);
    dialog.accept();
    EXPECT_TRUE(WaitFor([&] { return !answer.Text().isEmpty(); }, 3000));
    EXPECT_EQ(answer.Text().toStdString(), korvex::UiString(korvex::kIdsLanguageChanged));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.TrayIconChanged());
  }
  EXPECT_EQ(korvex::ReadString(Hive::CurrentUser, passwordKey, "DefaultEncryptPassword", ""), "s3cret pass");
  EXPECT_EQ(korvex::ReadString(Hive::CurrentUser, korvex::kProductKey, "common", "DisplayTrayIcon", ""), "0");
  EXPECT_EQ(korvex::ReadString(Hive::CurrentUser, korvex::kProductKey, "Language", ""), "zh");
  EXPECT_EQ(korvex::AutoStartProgram(), program);
  const std::string entry = korvex::AutoStartEntryPath().string();
  EXPECT_EQ(entry, (Home() / "config/autostart/korvexdata.desktop").string());

  // Opened again, as after a restart, it shows what was stored; clearing the
  // two choices removes the password and the autostart entry.
  korvex::app::COptionDlg again("alice", program);
  EXPECT_TRUE(again.findChild<QCheckBox*>("encryptByDefault")->isChecked());
  EXPECT_TRUE(again.findChild<QCheckBox*>("autoRun")->isChecked());
  EXPECT_FALSE(again.findChild<QCheckBox*>("trayIcon")->isChecked());
  EXPECT_TRUE(again.findChild<QRadioButton*>("chinese")->isChecked());
  again.findChild<QCheckBox*>("encryptByDefault")->setChecked(false);
  again.findChild<QCheckBox*>("autoRun")->setChecked(false);
  ASSERT_TRUE(again.Save());
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_EQ(korvex::ReadString(Hive::CurrentUser, passwordKey, "DefaultEncryptPassword", "absent"), "absent");
}

// Every text the window shows has a Chinese translation: the sources are
// scanned again into a copy of the translation file, where any text without
// one is marked unfinished. Then the language switch, as a restart applies it.
TEST_F(DesktopClient, WindowTextsSwitchToChinese) {
#ifdef KORVEX_LUPDATE
  const std::filesystem::path copy = Home() / "check_zh_CN.ts";
  std::filesystem::copy_file(KORVEX_APP_SOURCES "/translations/korvexdata_zh_CN.ts", copy);
  const std::string command = std::string("\"") + KORVEX_LUPDATE + "\" -silent -no-obsolete -locations none \"" +
                              KORVEX_APP_SOURCES + "\" -ts \"" + copy.string() + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(copy);
  const std::string ts((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::regex unfinished(R"(<source>([^<]*)</source>\s*<translation type="unfinished")");
  std::string untranslated;
  for (auto it = std::sregex_iterator(ts.begin(), ts.end(), unfinished); it != std::sregex_iterator(); ++it)
    untranslated += "\n  " + (*it)[1].str();
  EXPECT_TRUE(untranslated.empty()) << "texts without a Chinese translation (cmake --build build --target "
                                       "korvexdata_lupdate, then translate them):"
                                    << untranslated;
#endif

  korvex::SetCurrentLanguage(korvex::kLanguageChinese);
  ASSERT_TRUE(korvex::app::InstallTranslations(korvex::kLanguageChinese));
  {
    korvex::app::COptionDlg dialog("alice", "/usr/bin/korvexdata");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("选项"));
    EXPECT_EQ(dialog.findChild<QCheckBox*>("trayIcon")->text(), QString::fromUtf8("显示托盘图标"));
    SaveScreenshot(dialog, "options-dialog-zh.png");
  }
  korvex::SetCurrentLanguage(korvex::kLanguageEnglish);
  ASSERT_TRUE(korvex::app::InstallTranslations(korvex::kLanguageEnglish));
  korvex::app::COptionDlg english("alice", "/usr/bin/korvexdata");
  EXPECT_EQ(english.windowTitle(), "Options");
}

}  // namespace
