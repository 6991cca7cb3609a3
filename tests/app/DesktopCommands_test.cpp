// The main window's commands that move data, end to end against korvexd:
// a local folder uploaded by the command and a file dropped from the file
// manager, both downloaded back (by the command and by a drag between the
// panes), copy and move inside the cloud, a download link, an upload code,
// and decrypting a local ".lock" file; a picture uploaded behind the pane's
// back shows up in it by itself and previews.

#include "app/CloudCommands.h"
#include "app/DesktopClient.h"
#include "app/PreviewDlg.h"
#include "app/SessionTransfers.h"
#include "app/TransferCommands.h"
#include "app/UploadCodeDlg.h"
#include "foundation/EncryptingBlockEncoder.h"
#include "foundation/Registry.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "session/LocalUpload.h"

#include <QDropEvent>
#include <QImage>
#include <QInputDialog>
#include <QMimeData>
#include <QUrl>

#include <thread>

namespace {

using namespace korvex::testing::app;
namespace fs = std::filesystem;

int RowOf(const korvex::app::EntryListModel& model, const QString& name) {
  return static_cast<int>(Names(model).indexOf(name));
}

void Select(korvex::app::CDataStoreDlgBase& pane, const QString& name) {
  const int row = RowOf(*pane.Model(), name);
  ASSERT_GE(row, 0) << name.toStdString() << " in " << Names(*pane.Model()).join(",").toStdString();
  pane.View()->clearSelection();
  pane.View()->selectRow(row);
}

void OpenFolder(korvex::app::CDataStoreDlgBase& pane, const QString& name) {
  const int row = RowOf(*pane.Model(), name);
  ASSERT_GE(row, 0) << name.toStdString();
  pane.View()->activated(pane.Model()->index(row, 0));
}

// What the desktop's drag and drop delivers to a pane's list.
void Drop(QWidget* target, const QMimeData& data) {
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

std::string ReadAll(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec) ? korvex::testing::ReadText(path) : std::string();
}

// Types `text` into the next input dialog and presses OK.
ModalAnswer TypeInto(const QString& text) {
  return ModalAnswer([text](QWidget* modal) {
    auto* input = qobject_cast<QInputDialog*>(modal);
    if (!input) return false;
    input->setTextValue(text);
    input->accept();
    return true;
  });
}

// Every notice on screen (they close by themselves only after a while).
QString NoticeTexts() {
  QStringList texts;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->objectName() == "notice" && box->isVisible())
      texts << box->text();
  }
  return texts.join('\n');
}

TEST_F(DesktopClient, MovesFilesBetweenPanesAndShares) {
  const std::string big(100000, 'b');
  korvex::testing::WriteText(desktop_ / "trip" / "a.txt", "alpha\n");
  korvex::testing::WriteText(desktop_ / "trip" / "sub" / "b.bin", big);
  korvex::testing::WriteText(desktop_ / "dropped.txt", "dropped\n");
  // A download's own partial file (shown with hidden files), and a file of
  // the user's that merely ends in ".tmp".
  korvex::testing::WriteText(desktop_ / ".half.bin.korvex-7.part", "half of it");
  korvex::testing::WriteText(desktop_ / "notes.tmp", "mine");
  ASSERT_TRUE(korvex::WriteDword(korvex::Hive::CurrentUser, korvex::kProductKey, korvex::kShowHiddenFilesValue, 1));
  fs::create_directories(desktop_ / "back");
  korvex::testing::WriteText(Home() / "plain.txt", "the secret\n");
  korvex::EncryptingBlockEncoder encoder;
  ASSERT_EQ(encoder.Init("s3cret"), korvex::S_OK);
  ASSERT_EQ(encoder.EncryptFile(Home() / "plain.txt", desktop_ / "secret.txt.lock"), korvex::S_OK);

  std::string account;
  const std::unique_ptr<korvex::app::CMainDlg> opened = OpenWindow(account);
  ASSERT_NE(opened, nullptr);
  korvex::app::CMainDlg& window = *opened;
  korvex::app::CNetDriveDlg& cloud = *window.NetPane();
  korvex::app::CLocalDriveDlg& local = *window.LocalPane();
  korvex::app::CTransferCommands& transfers = *window.TransferCommands();
  korvex::app::CCloudCommands& sharing = *window.CloudCommands();

  // A download still on its way is listed, greyed and with a word on why.
  const korvex::app::EntryListModel& shown = *local.Model();
  const int half = RowOf(shown, ".half.bin.korvex-7.part");
  ASSERT_GE(half, 0) << Names(shown).join(",").toStdString();
  EXPECT_EQ(shown.index(half, 0).data(Qt::ToolTipRole).toString(), "Not finished: still being transferred");
  EXPECT_TRUE(shown.index(half, 0).data(Qt::ForegroundRole).isValid());
  EXPECT_FALSE(shown.index(RowOf(shown, "dropped.txt"), 0).data(Qt::ToolTipRole).isValid());
  EXPECT_FALSE(shown.index(RowOf(shown, "notes.tmp"), 0).data(Qt::ToolTipRole).isValid());

  // A picture uploaded on another thread through the pane's store, as a
  // backup does it: the pane lists it without being refreshed.
  QImage drawn(40, 30, QImage::Format_RGB32);
  drawn.fill(Qt::darkCyan);
  ASSERT_TRUE(drawn.save(QString::fromStdString((desktop_ / "picture.png").string())));
  korvex::HRESULT uploaded = korvex::E_FAIL;
  std::thread uploader([&, root = cloud.Model()->Container()] {
    korvex::ItemInfo item;
    std::string message;
    uploaded = korvex::session::UploadLocalFile(*cloud.Model()->Store(), root, desktop_ / "picture.png", false, nullptr, item, message);
  });
  // A stale count would show the new file in the place of the old one.
  const bool listed = WaitFor([&] {
    const QStringList names = Names(*cloud.Model());
    return names.contains("picture.png") && names.contains("readme.txt");
  }, 30000);
  uploader.join();
  ASSERT_EQ(uploaded, korvex::S_OK);
  ASSERT_TRUE(listed) << Names(*cloud.Model()).join(", ").toStdString();

  // Its preview shows the picture; a file that is no picture, and one whose
  // bytes are no picture, say so in the dialog.
  for (const auto& [folder, name, says] :
       {std::tuple{"", "picture.png", "40 x 30 pixels"}, std::tuple{"", "readme.txt", "Only pictures and videos"},
        std::tuple{"Photos", "sunset.jpg", "could not be read"}}) {
    SCOPED_TRACE(name);
    if (*folder) OpenFolder(cloud, folder);
    Select(cloud, name);
    korvex::app::CPreviewDlg* preview = sharing.Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->windowTitle(), QString("Preview - %1").arg(name));
    ASSERT_TRUE(WaitFor([&] { return preview->Finished(); }));
    const bool shown = std::string(name) == "picture.png";
    EXPECT_EQ(preview->Picture().size(), shown ? drawn.size() : QImage().size());
    EXPECT_TRUE(preview->findChild<QLabel*>("previewMessage")->text().contains(says))
        << preview->findChild<QLabel*>("previewMessage")->text().toStdString();
    if (shown) SaveScreenshot(*preview, "preview-dialog.png");
    preview->close();
    if (*folder) {
      ASSERT_TRUE(korvex::Succeeded(cloud.GoUp()));
    }
  }

  // Upload a folder by the command, and a file dropped from the file
  // manager together with the drive root, which is never uploaded.
  Select(local, "trip");
  transfers.UploadSelection(false);
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile("/"), QUrl::fromLocalFile(QString::fromStdString((desktop_ / "dropped.txt").string()))});
  Drop(cloud.View()->viewport(), files);
  ASSERT_TRUE(WaitFor([&] {
    const auto tree = Tree();
    return tree.count("/trip/a.txt") && tree.count("/trip/sub/b.bin") && tree.count("/dropped.txt");
  }, 60000));
  EXPECT_EQ(window.Transfers()->Manager().Families().size(), 2u);
  // The pane lists what arrived once each transfer has ended.
  ASSERT_TRUE(WaitFor([&] {
    const QStringList names = Names(*cloud.Model());
    return names.contains("trip") && names.contains("dropped.txt");
  }));

  // Download the folder by the command and the file by a drag between the
  // panes, into the folder the local pane shows.
  OpenFolder(local, "back");
  Select(cloud, "trip");
  transfers.DownloadSelection();
  std::unique_ptr<QMimeData> dragged(cloud.Model()->mimeData({cloud.Model()->index(RowOf(*cloud.Model(), "dropped.txt"), 0)}));
  ASSERT_NE(dragged, nullptr);
  Drop(local.View()->viewport(), *dragged);
  EXPECT_TRUE(WaitFor([&] {
    return ReadAll(desktop_ / "back" / "trip" / "sub" / "b.bin") == big &&
           ReadAll(desktop_ / "back" / "trip" / "a.txt") == "alpha\n" &&
           ReadAll(desktop_ / "back" / "dropped.txt") == "dropped\n";
  }, 60000));

  // Copy a file and move a folder out of "trip" into the root.
  for (const auto& [name, cut] : {std::pair{QString("a.txt"), false}, std::pair{QString("sub"), true}}) {
    SCOPED_TRACE(name.toStdString());
    OpenFolder(cloud, "trip");
    Select(cloud, name);
    sharing.CopySelection(cut);
    ASSERT_TRUE(korvex::Succeeded(cloud.GoUp()));
    EXPECT_EQ(sharing.Paste(), korvex::S_OK);
  }
  const auto tree = Tree();
  EXPECT_TRUE(tree.count("/a.txt") && tree.count("/trip/a.txt"));
  EXPECT_TRUE(tree.count("/sub/b.bin") && !tree.count("/trip/sub/"));

  // A link for a file; the link the service keeps is the one shown.
  Select(cloud, "readme.txt");
  const QString url = sharing.CreateLink();
  ASSERT_FALSE(url.isEmpty());
  korvex::LinkDetail detail;
  ASSERT_EQ(cloud.Model()->Store()->GetClientLinkDetail(*std::static_pointer_cast<korvex::ItemInfo>(cloud.SelectedEntries().front()), detail),
            korvex::S_OK);
  EXPECT_EQ(detail.url, url.toStdString());

  // An upload code for a folder.
  Select(cloud, "trip");
  auto trip = std::static_pointer_cast<korvex::ContainerInfo>(cloud.SelectedEntries().at(0));
  korvex::app::CUploadCodeDlg codes(*cloud.Model()->Store(), *trip, &window);
  ASSERT_EQ(codes.Reload(), korvex::S_OK);
  ASSERT_EQ(codes.CreateCode(), korvex::S_OK);
  ASSERT_EQ(codes.Codes().size(), 1u);
  EXPECT_FALSE(codes.Codes().front().code.empty());

  // Decrypting: a wrong password leaves the file locked, the right one
  // replaces it by the plain file.
  ASSERT_TRUE(korvex::Succeeded(local.GoBack()));
  for (const auto& [password, plain] : {std::pair{"wrong", false}, std::pair{"s3cret", true}}) {
    SCOPED_TRACE(password);
    Select(local, "secret.txt.lock");
    ModalAnswer typed = TypeInto(password);
    transfers.DecryptSelection();
    if (plain) {
      EXPECT_TRUE(WaitFor([&] { return ReadAll(desktop_ / "secret.txt") == "the secret\n"; }));
      EXPECT_FALSE(fs::exists(desktop_ / "secret.txt.lock"));
      EXPECT_TRUE(WaitFor([&] { return RowOf(*local.Model(), "secret.txt") >= 0; }));
    } else {
      EXPECT_TRUE(WaitFor([] { return NoticeTexts().contains("not match"); }));
      EXPECT_TRUE(fs::exists(desktop_ / "secret.txt.lock"));
    }
  }
  // Every transfer this window started has ended, and the status line says so.
  EXPECT_TRUE(WaitFor([&] { return window.findChild<QLabel*>("transferLine")->text() == "Transfers finished."; }))
      << window.findChild<QLabel*>("transferLine")->text().toStdString();
  SaveScreenshot(window, "main-window-commands.png");

  // The window lets the account's transfers go, as at logout. A transfer saved
  // while nobody runs them waits queued in the store; a "reset" start that
  // takes them over brings it back stopped (and stopped it stays).
  window.Transfers()->Shutdown();
  std::uint32_t id = 0;
  std::filesystem::path folder;
  {
    korvex::app::SessionTransfers saved(*cloud.Model()->Store(), account, false);
    std::vector<std::uint32_t> queued;
    std::vector<korvex::app::RefusedTransfer> refused;
    saved.Upload({(desktop_ / "dropped.txt").string()}, cloud.Model()->Container(), {}, queued, refused);
    ASSERT_EQ(queued.size(), 1u);
    id = queued.front();
    folder = saved.TaskFolder();
  }
  korvex::FamilyRecord record;
  ASSERT_TRUE(korvex::Succeeded(korvex::session::ReadStoredFamily(folder, id, record)));
  EXPECT_EQ(record.state, static_cast<std::uint32_t>(korvex::FamilyState::kQueued));
  {
    korvex::app::SessionTransfers loaded(*cloud.Model()->Store(), account, /*loadStopped=*/true);
    ASSERT_EQ(loaded.Start(), korvex::S_OK);
    EXPECT_TRUE(loaded.Owns());
    const auto family = loaded.Manager().GetFamily(id);
    ASSERT_NE(family, nullptr);
    EXPECT_EQ(family->state.load(), korvex::FamilyState::kStopped);
  }

  // While another program runs them, a client shows the account's transfers,
  // says who runs them, and takes over when that program ends.
  korvex::session::TransferOwner daemon(folder, "korvex daemon");
  ASSERT_EQ(daemon.TryAcquire(), korvex::S_OK);
  korvex::app::SessionTransfers waiting(*cloud.Model()->Store(), account, false);
  ASSERT_EQ(waiting.Start(), korvex::S_OK);
  EXPECT_FALSE(waiting.Owns());
  EXPECT_EQ(waiting.Holder().program, "korvex daemon");
  EXPECT_NE(waiting.Manager().GetFamily(id), nullptr);
  daemon.Release();
  EXPECT_TRUE(WaitFor([&] { return waiting.Owns(); }));
}

}  // namespace
