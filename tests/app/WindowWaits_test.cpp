// A window that waits for the service, against korvexd on the offscreen
// platform: a slow listing shows the busy cursor at once and a small
// progress with Cancel after half a second, keeps the window's events
// flowing, drops a click made meanwhile instead of replaying it, and
// Cancel ends the wait long before the service would have answered.

#include "app/DesktopClient.h"
#include "app/WaitIndicator.h"

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

void PostClick(QWidget& target) {
  const QPointF at = QPointF(target.rect().center());
  const QPointF global = QPointF(target.mapToGlobal(target.rect().center()));
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QCoreApplication::postEvent(&target, new QMouseEvent(type, at, global, Qt::LeftButton,
                                                         type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                         Qt::NoModifier));
  }
}

TEST_F(DesktopClient, SlowCallsShowTheWaitDropInputAndCanBeCancelled) {
  std::string account;
  const auto window = OpenWindow(account);
  ASSERT_NE(window, nullptr);
  WaitIndicator::Install();
  struct Uninstall {
    ~Uninstall() { WaitIndicator::Uninstall(); }
  } uninstall;
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
  EXPECT_TRUE(korvex::Failed(cloud.Refresh()));
  EXPECT_LT(clock.elapsed(), 5000);
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The pane lists again once the service answers.
  EXPECT_EQ(cloud.Refresh(), korvex::S_OK);
  EXPECT_TRUE(Names(*cloud.Model()).contains("readme.txt"));
}

}  // namespace
