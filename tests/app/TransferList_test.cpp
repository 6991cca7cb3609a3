// The transfer list, the options dialog and the window's texts in Chinese,
// end to end against korvexd on the offscreen platform: an upload followed
// row by row through pause, the network's return and completion, a
// download, the refusals before a transfer starts, clearing completed rows,
// what closing the window does, options kept across a restart, and every
// window text translated. Screenshots go to build/screenshots/.

#include "app/DesktopClient.h"
#include "app/OptionDlg.h"
#include "app/SessionTransfers.h"
#include "app/TaskDetailDlg.h"
#include "app/ToolPanel.h"
#include "app/TransferCommands.h"
#include "app/TransferListCtrl.h"
#include "app/TransferListModel.h"
#include "app/Translation.h"
#include "foundation/AutoStart.h"
#include "foundation/Registry.h"
#include "foundation/StringTable.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskManager.h"

#include <cstdlib>
#include <fstream>
#include <regex>

#include <QTabWidget>

namespace {

using namespace korvex::testing::app;

using korvex::FamilyState;
using korvex::app::TransferListModel;

// Adds a fault to korvexd, or clears them all with an empty text.
bool AddFault(const std::string& baseUrl, const std::string& fault) {
  httplib::Client client(baseUrl);
  auto answer = client.Post(fault.empty() ? "/admin/faults/clear" : "/admin/faults", fault, "text/plain");
  return answer && answer->status == 200;
}

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
  korvex::app::CLoginDlg login(deployment_, false);
  Submit(login, true, "alice", "alice-demo-1", "demo");
  ASSERT_EQ(login.result(), QDialog::Accepted) << Problem(login).toStdString();
  korvex::app::CMainDlg window(login.GetSession(), deployment_);
  ASSERT_TRUE(korvex::Succeeded(window.Init()));
  window.show();
  korvex::app::CTransferListCtrl* list = window.TransferList();
  ASSERT_NE(list, nullptr);
  TransferListModel& rows = *list->Model();
  korvex::TaskManager& manager = window.Transfers()->Manager();
  korvex::app::CTransferCommands& commands = *window.TransferCommands();
  QStringList finished;
  QObject::connect(list, &korvex::app::CTransferListCtrl::transferFinished,
                   [&](const QString& title, const QString& text) { finished << title + ": " + text; });

  // Slow writes keep the upload running long enough to be paused.
  const std::filesystem::path big = desktop_ / "big.bin";
  korvex::testing::WriteText(big, std::string(8 << 20, 'k'));
  ASSERT_TRUE(AddFault(korvexd_.BaseUrl(), "delay=150,path=^/idtv1/stream/|^/file/uploadblock/,count=100000,ttl=600"));
  const korvex::ContainerInfo cloudRoot = window.NetPane()->Model()->Container();
  commands.UploadPaths({big.string()});
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 1; }));
  EXPECT_EQ(Cell(rows, 0, TransferListModel::kName), "big.bin");
  EXPECT_EQ(Cell(rows, 0, TransferListModel::kKind), "File");

  // The same transfer again is refused while the first is unfinished.
  commands.UploadPaths({big.string()});
  EXPECT_TRUE(TakeNotice(window).startsWith("Repeated upload mission, \nFrom:\tbig.bin\nTo:\t"));
  EXPECT_EQ(manager.Families().size(), 1u);

  ASSERT_TRUE(WaitFor([&] { return rows.index(0, 0).data(TransferListModel::kPercentRole).toInt() > 0; }));
  EXPECT_EQ(Cell(rows, 0, TransferListModel::kStatus), "Transfering");
  EXPECT_TRUE(WaitFor([&] { return Cell(rows, 0, TransferListModel::kSpeed).endsWith("/s"); }, 5000))
      << Cell(rows, 0, TransferListModel::kStatus).toStdString() << " " << Cell(rows, 0, TransferListModel::kProgress).toStdString();
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
  ASSERT_TRUE(AddFault(korvexd_.BaseUrl(), ""));
  ASSERT_TRUE(WaitFor([&] { return Cell(rows, 0, TransferListModel::kStatus) == "Completed"; }, 60000));
  EXPECT_EQ(rows.index(0, 0).data(TransferListModel::kPercentRole).toInt(), 100);
  EXPECT_TRUE(Tree().count("/big.bin"));
  EXPECT_TRUE(WaitFor([&] { return finished == QStringList{"Transfer completed: big.bin"}; }, 2000)) << finished.join("|").toStdString();

  // The "Tool" tab asks for the space when it is opened: the upload counts.
  auto* tabs = window.findChild<QTabWidget*>("transferTabs");
  ASSERT_NE(tabs, nullptr);
  tabs->setCurrentWidget(window.ToolPanel());
  EXPECT_GE(window.ToolPanel()->UsedBytes(), std::uint64_t{8} << 20);
  EXPECT_GT(window.ToolPanel()->TotalBytes(), window.ToolPanel()->UsedBytes());
  tabs->setCurrentWidget(list);

  // A file that vanished while its upload was paused stops its family; the
  // skip timer gives the file up, records it, and the family completes.
  const std::filesystem::path gone = desktop_ / "gone.bin";
  korvex::testing::WriteText(gone, std::string(4 << 20, 'g'));
  ASSERT_TRUE(AddFault(korvexd_.BaseUrl(), "delay=150,path=^/idtv1/stream/|^/file/uploadblock/,count=100000,ttl=600"));
  commands.UploadPaths({gone.string()});
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 2 && rows.index(1, 0).data(TransferListModel::kPercentRole).toInt() > 0; }));
  list->View()->selectRow(1);
  list->PauseSelected();
  ASSERT_TRUE(WaitFor([&] { return Cell(rows, 1, TransferListModel::kStatus) == "Pause"; }));
  std::filesystem::remove(gone);
  ASSERT_TRUE(AddFault(korvexd_.BaseUrl(), ""));
  list->StartSelected();
  const auto skipped = rows.FamilyAt(1);
  ASSERT_TRUE(WaitFor([&] { return skipped->state == FamilyState::kCompleted; }, 60000))
      << std::hex << static_cast<unsigned>(skipped->lastError.load()) << " " << Cell(rows, 1, TransferListModel::kStatus).toStdString();
  const auto options = skipped->Options();
  ASSERT_EQ(options.size(), 1u);
  EXPECT_NE(options.begin()->first.find("gone.bin-->"), std::string::npos) << options.begin()->first;
  EXPECT_EQ(options.begin()->second, " : Error by 0x80070002");

  // A download into the local folder, then a file over the size limit.
  auto readme = std::make_shared<korvex::ItemInfo>();
  korvex::ContainerInfo unused;
  bool isFolder = true;
  window.NetPane()->Model()->Store()->InvalidateContainer(cloudRoot);  // it holds big.bin now
  ASSERT_EQ(korvex::FindByAddress(*window.NetPane()->Model()->Store(), cloudRoot.uri + "readme.txt", isFolder, unused,
                                  *readme),
            korvex::S_OK);
  commands.Download({readme}, desktop_.string() + "/", false);
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 3 && Cell(rows, 2, TransferListModel::kStatus) == "Completed"; }));
  EXPECT_TRUE(std::filesystem::exists(desktop_ / "readme.txt"));

  const std::filesystem::path huge = desktop_ / "huge.iso";
  { std::ofstream(huge).flush(); }
  std::filesystem::resize_file(huge, korvex::app::kTransferSizeLimit + 1);  // sparse
  commands.UploadPaths({huge.string()});
  EXPECT_TRUE(TakeNotice(window).startsWith("Size limited, the file(s) can't be uploaded: \nPath:\t"));
  EXPECT_EQ(rows.rowCount(), 3);
  std::filesystem::remove(huge);

  list->ClearCompleted();
  EXPECT_TRUE(WaitFor([&] { return rows.rowCount() == 0; }));
  EXPECT_TRUE(manager.Families().empty());

  // Without a tray icon (none offscreen) closing asks first; "No" keeps the
  // window, and with "ExitConfirm" off the exit routine runs at once.
  {
    MessageBoxAnswer answer(QMessageBox::No);
    window.close();
    EXPECT_TRUE(WaitFor([&] { return !answer.Text().isEmpty(); }, 3000));
    EXPECT_TRUE(answer.Text().startsWith("Exiting "));
  }
  EXPECT_TRUE(window.isVisible());
  ASSERT_TRUE(korvex::WriteString(korvex::Hive::CurrentUser, korvex::kProductKey, "common", "ExitConfirm", "0"));
  window.close();
  EXPECT_FALSE(window.isVisible());
  // The exit routine asked the (absent) main loop to end; Qt keeps that
  // request for the next loop, which would end every later dialog at once.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
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
