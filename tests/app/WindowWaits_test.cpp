// A window that waits for the service, against korvexd on the offscreen
// platform: a slow listing shows the busy cursor at once and a small
// progress with Cancel after half a second, keeps the window's events
// flowing, drops a click made meanwhile instead of replaying it, and
// Cancel ends the wait long before the service would have answered, and
// the pane says the work was cancelled, not that it failed. Pages fetched
// while scrolling a big folder wait the same way instead of freezing.

#include "app/DesktopClient.h"
#include "app/WaitIndicator.h"
#include "emulator/ServiceClient.h"

#include <QMouseEvent>
#include <QProgressDialog>

namespace {

using namespace korvex::testing::app;
using korvex::app::WaitIndicator;

QProgressDialog* ShownWaitDialog() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QProgressDialog*>(widget);
    if (dialog && dialog->objectName() == "waitDialog" && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

QString StatusLine(const QWidget& pane) {
  const auto* line = pane.findChild<QLabel*>("statusLine");
  return line ? line->text() : QString("(no status line)");
}

void PostClick(QWidget& target) {
  const QPointF at = QPointF(target.rect().center());
  const QPointF global = QPointF(target.mapToGlobal(target.rect().center()));
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QCoreApplication::postEvent(&target, new QMouseEvent(type, at, global, Qt::LeftButton,
                                                         type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                         Qt::NoModifier));
  }
}

// The wait indicator for one test, taken down again however the test ends.
struct InstalledWaitIndicator {
  InstalledWaitIndicator() { WaitIndicator::Install(); }
  ~InstalledWaitIndicator() { WaitIndicator::Uninstall(); }
  InstalledWaitIndicator(const InstalledWaitIndicator&) = delete;
  InstalledWaitIndicator& operator=(const InstalledWaitIndicator&) = delete;
};

TEST_F(DesktopClient, SlowCallsShowTheWaitDropInputAndCanBeCancelled) {
  std::string account;
  const auto window = OpenWindow(account);
  ASSERT_NE(window, nullptr);
  const InstalledWaitIndicator installed;
  korvex::app::CNetDriveDlg& cloud = *window->NetPane();
  QPushButton* newFolder = nullptr;
  for (QPushButton* button : window->LocalPane()->findChildren<QPushButton*>())
    if (button->text() == "New Folder") newFolder = button;
  ASSERT_NE(newFolder, nullptr);
  int clicks = 0;
  QObject::connect(newFolder, &QPushButton::clicked, [&] { ++clicks; });

  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), "delay=2000,path=^/directory/listandcount/,count=1,ttl=60"));
  bool busyAtOnce = false, progressLater = false, progressEarly = true;
  QTimer::singleShot(150, [&] {
    busyAtOnce = QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
    progressEarly = ShownWaitDialog() != nullptr;
    PostClick(*newFolder);
  });
  QTimer::singleShot(1200, [&] { progressLater = ShownWaitDialog() != nullptr; });
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(cloud.Refresh(), korvex::S_OK);
  EXPECT_GE(clock.elapsed(), 1800);
  EXPECT_TRUE(busyAtOnce) << "the busy cursor shows at once";
  EXPECT_FALSE(progressEarly) << "no window for a short wait";
  EXPECT_TRUE(progressLater) << "the progress with Cancel past half a second";
  // Afterwards: the click made during the wait is gone, not replayed, and
  // the cursor and the progress have gone too.
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(ShownWaitDialog(), nullptr);
  newFolder->click();  // and the window answers clicks again
  EXPECT_EQ(clicks, 1);

  // Cancel gives the wait up long before the service would answer.
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), "delay=8000,path=^/directory/listandcount/,count=1,ttl=60"));
  QTimer::singleShot(900, [] {
    if (QProgressDialog* dialog = ShownWaitDialog()) dialog->findChild<QPushButton*>()->click();
  });
  clock.restart();
  EXPECT_EQ(cloud.Refresh(), korvex::E_ABORT);
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_EQ(StatusLine(cloud), "Refreshing cancelled.");
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The pane lists again once the service answers.
  EXPECT_EQ(cloud.Refresh(), korvex::S_OK);
  EXPECT_TRUE(Names(*cloud.Model()).contains("readme.txt"));
  EXPECT_EQ(StatusLine(cloud), "");
}

TEST_F(DesktopClient, PagesFetchedWhileScrollingKeepTheWindowAliveAndCanBeCancelled) {
  korvex::test::ServiceClient client(korvexd_);
  ASSERT_TRUE(client.Login("alice", "alice-demo-1"));
  const std::int64_t big = client.MakeDir(client.RootDir(), "Big");
  ASSERT_GT(big, 0);
  constexpr int kFiles = 100;
  for (int i = 0; i < kFiles; ++i) {
    const QString name = QString("f%1").arg(i, 3, 10, QChar('0'));
    auto [answer, token] = client.PreUpload(big, name.toStdString(), 1);
    const std::string id = answer.substr(0, answer.find_first_not_of("0123456789"));
    ASSERT_FALSE(id.empty()) << answer;
    ASSERT_TRUE(client.UploadBlock(answer, token, 0, "x"));
    ASSERT_EQ(client.UploadOver(id, token), "1");
  }
  std::string account;
  const auto window = OpenWindow(account);
  ASSERT_NE(window, nullptr);
  const InstalledWaitIndicator installed;
  korvex::app::CNetDriveDlg& cloud = *window->NetPane();
  const korvex::app::EntryListModel& model = *cloud.Model();
  const int folderRow = model.FindContainerRow("Big");
  ASSERT_GE(folderRow, 0);
  const auto folder = static_cast<const korvex::ContainerInfo&>(*model.Entry(folderRow));
  ASSERT_EQ(cloud.Open(folder), korvex::S_OK);
  ASSERT_EQ(model.rowCount(), kFiles + 1);  // and "[..]"
  const auto nameAt = [&](int row) { return model.index(row, 0).data().toString(); };

  // The last rows' page is slow: asked for by painting, it is fetched with
  // the window's events flowing, the busy cursor and then the wait window.
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), "delay=1500,path=^/file/listrandom/,count=1,ttl=60"));
  bool busy = false, progress = false;
  QTimer::singleShot(300, [&] {
    busy = QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
  });
  QTimer::singleShot(1100, [&] {
    progress = ShownWaitDialog() != nullptr;
    if (progress) SaveScreenshot(*ShownWaitDialog(), "wait-page-fetch.png");
  });
  cloud.View()->scrollToBottom();
  EXPECT_EQ(nameAt(kFiles), "") << "painting does not wait for the page";
  EXPECT_TRUE(WaitFor([&] { return nameAt(kFiles) == "f099"; }, 10000));
  EXPECT_TRUE(busy) << "timers ran while the page was awaited, under the busy cursor";
  EXPECT_TRUE(progress) << "the wait window past half a second";
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A page the user gives up stays empty, the pane says it was cancelled,
  // and painting the same rows again does not start the wait over.
  const int middle = 34;  // between the first page and the last ones
  ASSERT_EQ(model.Store()->CachedEntryAt(model.Container(), middle - 1).status, korvex::S_FALSE);
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), "delay=8000,path=^/file/listrandom/,count=1,ttl=60"));
  QTimer::singleShot(900, [] {
    if (QProgressDialog* dialog = ShownWaitDialog()) dialog->findChild<QPushButton*>()->click();
  });
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(nameAt(middle), "");
  EXPECT_TRUE(WaitFor([&] { return StatusLine(cloud) == "Listing cancelled."; }, 6000)) << StatusLine(cloud).toStdString();
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_EQ(nameAt(middle), "");
  cloud.View()->scrollTo(model.index(middle, 0));
  WaitFor([] { return false; }, 100);
  SaveScreenshot(cloud, "wait-page-cancelled.png");
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(ShownWaitDialog(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // Listed again, the rows come back.
  ASSERT_EQ(cloud.Refresh(), korvex::S_OK);
  EXPECT_TRUE(WaitFor([&] { return nameAt(middle) == "f033"; }, 10000));
}

}  // namespace
