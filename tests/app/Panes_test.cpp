// The two panes behave as file panes do: headers sort folders and files,
// a new folder opens its name for editing and keeps the editor through the
// listing that follows, a click on a selected row starts no rename, keys
// go up a level, and double-clicking a file opens it (a local one at once,
// a cloud one after its download into a temporary folder).

#include "app/CloudFileOpener.h"
#include "app/DesktopClient.h"
#include "app/DesktopOpen.h"

#include <QStyleHints>
#include <QTest>

namespace {

using namespace korvex::testing::app;
using korvex::app::EntryListModel;

QStringList g_warnings;

void KeepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtDebugMsg && type != QtInfoMsg) g_warnings << text;
}

// Whether `a` is listed before `b`.
bool Before(const EntryListModel& model, const QString& a, const QString& b) {
  const QStringList names = Names(model);
  return names.contains(a) && names.contains(b) && names.indexOf(a) < names.indexOf(b);
}

QLineEdit* Editor(korvex::app::CDataStoreDlgBase& pane) {
  for (QLineEdit* edit : pane.View()->viewport()->findChildren<QLineEdit*>())
    if (edit->isVisible()) return edit;
  return nullptr;
}

TEST_F(DesktopClient, PanesSortOpenEditAndGoUpAsFilePanesDo) {
  for (const char* folder : {"b-dir", "A-dir", "c-dir"}) std::filesystem::create_directories(desktop_ / folder);
  korvex::testing::WriteText(desktop_ / "small.txt", "1");
  korvex::testing::WriteText(desktop_ / "big.txt", std::string(5000, 'x'));
  std::string account;
  auto window = OpenWindow(account);
  ASSERT_TRUE(window);
  window->activateWindow();
  QStringList opened;
  korvex::app::SetDesktopOpener([&opened](const QString& path) {
    opened << path;
    return true;
  });
  g_warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler(KeepWarnings);

  // The local pane's headers sort it, folders included.
  korvex::app::CLocalDriveDlg& local = *window->LocalPane();
  const EntryListModel& files = *local.Model();
  QHeaderView& localHeader = *local.View()->horizontalHeader();
  localHeader.setSortIndicator(EntryListModel::kColumnName, Qt::DescendingOrder);
  EXPECT_TRUE(Before(files, "c-dir", "b-dir") && Before(files, "b-dir", "A-dir")) << Names(files).join(",").toStdString();
  EXPECT_TRUE(Before(files, "small.txt", "local-notes.txt") && Before(files, "local-notes.txt", "big.txt"));
  localHeader.setSortIndicator(EntryListModel::kColumnSize, Qt::DescendingOrder);
  EXPECT_TRUE(Before(files, "big.txt", "local-notes.txt") && Before(files, "local-notes.txt", "small.txt"))
      << Names(files).join(",").toStdString();
  // A double-clicked local file goes to the desktop's application.
  local.View()->activated(files.index(static_cast<int>(Names(files).indexOf("big.txt")), 0));
  EXPECT_EQ(opened, QStringList{QString::fromStdString((desktop_ / "big.txt").string())});

  // The cloud pane orders its folders by the header as well.
  korvex::app::CNetDriveDlg& cloud = *window->NetPane();
  const EntryListModel& model = *cloud.Model();
  cloud.View()->horizontalHeader()->setSortIndicator(EntryListModel::kColumnName, Qt::DescendingOrder);
  EXPECT_EQ(Names(model), (QStringList{"[..]", "Projects", "Photos", "Inbox", "Documents", "readme.txt"}));
  cloud.View()->horizontalHeader()->setSortIndicator(EntryListModel::kColumnName, Qt::AscendingOrder);

  // Clicking the selected row twice, slower than a double click, starts no
  // rename; F2 does.
  cloud.View()->setFocus();
  const QPoint at = cloud.View()->visualRect(model.index(5, 0)).center();
  for (int click = 0; click < 2; ++click) {
    QTest::mouseClick(cloud.View()->viewport(), Qt::LeftButton, {}, at);
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 200);
  }
  EXPECT_EQ(Editor(cloud), nullptr);
  QTest::keyClick(cloud.View(), Qt::Key_F2);
  ASSERT_NE(Editor(cloud), nullptr);
  QTest::keyClick(Editor(cloud), Qt::Key_Escape);

  // A new folder's name is open for editing and stays so while the listing
  // catches up; what is typed becomes its name.
  ASSERT_TRUE(korvex::Succeeded(cloud.NewFolder()));
  QTest::qWait(400);
  QLineEdit* editor = Editor(cloud);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "New folder");
  editor->selectAll();
  QTest::keyClicks(editor, "Plans");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return Tree().count("/Plans/") == 1 && Names(model).contains("Plans"); }));
  EXPECT_FALSE(Tree().count("/New folder/"));
  QTest::qWait(200);
  EXPECT_TRUE(g_warnings.filter("closeEditor").isEmpty()) << g_warnings.join("\n").toStdString();

  // Backspace and Alt+Up go up a level.
  for (const auto& keys : {QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Up)}) {
    SCOPED_TRACE(keys.toString().toStdString());
    cloud.View()->activated(model.index(static_cast<int>(Names(model).indexOf("Documents")), 0));
    ASSERT_EQ(Names(model), (QStringList{"[..]", "notes.md", "report.pdf"}));
    cloud.View()->setFocus();
    QTest::keySequence(cloud.View(), keys);
    EXPECT_TRUE(Names(model).contains("Documents"));
  }

  // A cloud file that is no picture arrives in a temporary folder of its
  // own and is opened from there.
  QString arrived;
  QObject::connect(window->findChild<korvex::app::CCloudFileOpener*>(), &korvex::app::CCloudFileOpener::fileOpened,
                   [&arrived](const QString& path, bool) { arrived = path; });
  cloud.View()->selectRow(static_cast<int>(Names(model).indexOf("readme.txt")));
  cloud.View()->activated(model.index(static_cast<int>(Names(model).indexOf("readme.txt")), 0));
  ASSERT_TRUE(WaitFor([&] { return !arrived.isEmpty(); }, 30000));
  EXPECT_TRUE(arrived.startsWith(korvex::app::CCloudFileOpener::DownloadRoot())) << arrived.toStdString();
  EXPECT_TRUE(arrived.endsWith("/readme.txt"));
  EXPECT_FALSE(korvex::testing::ReadText(arrived.toStdString()).empty());
  EXPECT_EQ(opened.last(), arrived);
  QDir(QFileInfo(arrived).path()).removeRecursively();

  qInstallMessageHandler(previous);
  korvex::app::SetDesktopOpener({});
}

}  // namespace
