// The window respects what the user made of it and speaks one language:
// a transfer list six rows tall at first, window size, splits and column
// widths kept for the next window, menus with unique letters that show the
// panes' keys, theme icons, one size format in panes and list, and in
// Chinese the sizes, dates, Qt's own buttons and the service's root names.

#include "app/DesktopClient.h"
#include "app/TransferListCtrl.h"
#include "app/TransferTexts.h"
#include "app/Translation.h"
#include "app/WindowLayout.h"
#include "foundation/Language.h"
#include "foundation/StringTable.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>
#include <QSplitter>
#include <QToolBar>

namespace {

using namespace korvex::testing::app;

// The letters marked with "&" in one menu, with the texts that use them.
std::map<QChar, QStringList> Accelerators(const QMenu& menu) {
  std::map<QChar, QStringList> letters;
  for (const QAction* action : menu.actions()) {
    const QString text = action->text().section('\t', 0, 0);
    const qsizetype at = text.indexOf('&');
    if (!action->isSeparator() && at >= 0 && at + 1 < text.size()) letters[text[at + 1].toLower()] << text;
  }
  return letters;
}

TEST_F(DesktopClient, LayoutIsKeptAndTextsFollowTheLanguage) {
  korvex::testing::WriteText(desktop_ / "big.txt", std::string(5000, 'x'));
  std::string account;
  auto window = OpenWindow(account);
  ASSERT_TRUE(window);
  QTest::qWait(100);
  ASSERT_NE(window->TransferList(), nullptr);
  QTableView& list = *window->TransferList()->View();
  EXPECT_GE(list.viewport()->height() / list.verticalHeader()->defaultSectionSize(), korvex::app::kDefaultTransferRows)
      << list.viewport()->height();
  SaveScreenshot(*window, "main-window-layout.png");

  // One size format: the pane says what the transfer list would.
  const korvex::app::EntryListModel& files = *window->LocalPane()->Model();
  const int big = static_cast<int>(Names(files).indexOf("big.txt"));
  ASSERT_GE(big, 0);
  EXPECT_EQ(files.index(big, korvex::app::EntryListModel::kColumnSize).data().toString(), korvex::app::FormatBytes(5000));
  EXPECT_EQ(korvex::app::FormatBytes(5000), "4.9 kB");

  // Every menu's letters are its own; the upload and download entries show
  // the panes' keys; the tool bar carries icons.
  for (const QAction* top : window->menuBar()->actions()) {
    SCOPED_TRACE(top->text().toStdString());
    for (const auto& [letter, texts] : Accelerators(*top->menu())) EXPECT_EQ(texts.size(), 1) << texts.join(", ").toStdString();
  }
  QStringList shown;
  for (const QAction* top : window->menuBar()->actions())
    for (const QAction* action : top->menu()->actions()) shown << action->text();
  EXPECT_TRUE(shown.contains("&Upload\tCtrl+U") && shown.contains("&Download\tCtrl+D")) << shown.join(" | ").toStdString();
  for (const QAction* tool : window->findChild<QToolBar*>()->actions())
    EXPECT_TRUE(tool->isSeparator() || !tool->icon().isNull()) << tool->text().toStdString();

  // What the user changed comes back in the next window.
  window->resize(1000, 650);
  auto* panes = window->findChild<QSplitter*>("panes");
  panes->setSizes({300, 700});
  window->NetPane()->View()->setColumnWidth(1, 133);
  const QList<int> paneSizes = panes->sizes();
  window->Exit(korvex::app::kExitProgram);
  window.reset();
  auto again = OpenWindow(account);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->size(), QSize(1000, 650));
  EXPECT_EQ(again->findChild<QSplitter*>("panes")->sizes(), paneSizes);
  EXPECT_EQ(again->NetPane()->View()->columnWidth(1), 133);
  again->Exit(korvex::app::kExitProgram);
  again.reset();

  // In Chinese: sizes, dates, Qt's buttons and the roots of stored transfers.
  korvex::SetCurrentLanguage(korvex::kLanguageChinese);
  ASSERT_TRUE(korvex::app::InstallTranslations(korvex::kLanguageChinese));
  EXPECT_TRUE(korvex::app::FormatBytes(30).contains(QString::fromUtf8("字节"))) << korvex::app::FormatBytes(30).toStdString();
  EXPECT_FALSE(QLocale().toString(QDate(2026, 12, 7), QLocale::ShortFormat).contains("Dec"));
  QDialogButtonBox buttons(QDialogButtonBox::Yes | QDialogButtonBox::Cancel);
  EXPECT_NE(buttons.button(QDialogButtonBox::Cancel)->text(), "Cancel") << "qtbase_zh_CN is not loaded";
  // Every text of Qt's own dialogs and menus, not only Cancel.
  QStringList qtTexts;
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
  for (const QAbstractButton* button : box.buttons()) qtTexts << button->text();
  QLineEdit edit;
  const std::unique_ptr<QMenu> editMenu(edit.createStandardContextMenu());
  for (const QAction* action : editMenu->actions())
    if (!action->isSeparator()) qtTexts << action->text().section(QLatin1Char('\t'), 0, 0);
  QInputDialog input;
  input.show();
  for (const QPushButton* button : input.findChildren<QPushButton*>()) qtTexts << button->text();
  QFileDialog fileDialog;
  fileDialog.setOption(QFileDialog::DontUseNativeDialog);
  fileDialog.show();
  for (const QLabel* label : fileDialog.findChildren<QLabel*>()) qtTexts << label->text();
  for (const QPushButton* button : fileDialog.findChildren<QPushButton*>()) qtTexts << button->text();
  EXPECT_GE(qtTexts.size(), 15);
  const QRegularExpression latinWord("[A-Za-z]{3,}");
  for (const QString& text : qtTexts) EXPECT_FALSE(text.contains(latinWord)) << text.toStdString();
  const std::string english = std::string("/") + std::string(korvex::UiString(korvex::kIdsRootMyDisk, korvex::kLanguageEnglish)) + "/a/";
  const std::string chinese = std::string("/") + std::string(korvex::UiString(korvex::kIdsRootMyDisk, korvex::kLanguageChinese)) + "/a/";
  EXPECT_EQ(korvex::app::ShownServicePath(english), chinese);
  {
    auto zh = OpenWindow(account);
    ASSERT_TRUE(zh);
    for (const QAction* top : zh->menuBar()->actions()) {
      SCOPED_TRACE(top->text().toStdString());
      for (const auto& [letter, texts] : Accelerators(*top->menu())) EXPECT_EQ(texts.size(), 1) << texts.join(", ").toStdString();
    }
    EXPECT_TRUE(Names(*zh->LocalPane()->Model()).contains(QString::fromUtf8("计算机")));
    SaveScreenshot(*zh, "main-window-zh.png");
    zh->Exit(korvex::app::kExitProgram);
  }
  korvex::SetCurrentLanguage(korvex::kLanguageEnglish);
  ASSERT_TRUE(korvex::app::InstallTranslations(korvex::kLanguageEnglish));
  EXPECT_EQ(korvex::app::ShownServicePath(chinese), english);
  EXPECT_EQ(korvex::app::FormatBytes(30), "30 bytes");
}

}  // namespace
