// The cloud pane's views against korvexd: "My Cloud" above the own disk,
// the folders others share, the backups and VEZO; a share read by its
// recipient, and item menus that offer only what the view and the rights
// of the folder shown allow.

#include "app/CloudMenus.h"
#include "app/DesktopClient.h"
#include "app/TransferCommands.h"

#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

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

void Activate(korvex::app::CDataStoreDlgBase& pane, const QString& name) {
  const int row = RowOf(*pane.Model(), name);
  ASSERT_GE(row, 0) << name.toStdString() << " in " << Names(*pane.Model()).join(",").toStdString();
  pane.View()->activated(pane.Model()->index(row, 0));
}

// A notice (a message box that closes by itself) of the window says `text`.
bool Noticed(QWidget& window, const char* text) {
  const auto boxes = window.findChildren<QMessageBox*>("notice");
  return std::ranges::any_of(boxes, [text](const QMessageBox* box) { return box->text().contains(text); });
}

// The context menu as the user sees it.
QStringList Offered(const korvex::app::CDataStoreDlgBase& pane) {
  QStringList texts;
  for (const QAction* action : pane.View()->actions()) {
    if (action->isVisible()) texts << action->text().remove('&');
  }
  return texts;
}

class CloudViews : public DesktopClient {
 protected:
  std::unique_ptr<korvex::app::CMainDlg> OpenAs(const QString& name, const QString& password) {
    korvex::app::CLoginDlg dialog(deployment_, false);
    Submit(dialog, true, name, password, "demo");
    if (dialog.result() != QDialog::Accepted) {
      ADD_FAILURE() << Problem(dialog).toStdString();
      return nullptr;
    }
    auto window = std::make_unique<korvex::app::CMainDlg>(dialog.GetSession(), deployment_);
    if (!korvex::Succeeded(window->Init())) {
      ADD_FAILURE() << "the main window did not open";
      return nullptr;
    }
    window->show();
    return window;
  }
};

TEST_F(CloudViews, RecipientReachesSharesAndMenusFollowRights) {
  fs::create_directories(desktop_ / "from-alice");
  {
    // Alice starts in her own disk with every command; above it, the views.
    const auto window = OpenAs("alice", "alice-demo-1");
    ASSERT_NE(window, nullptr);
    korvex::app::CNetDriveDlg& cloud = *window->NetPane();
    Select(cloud, "Documents");
    EXPECT_TRUE(Offered(cloud).contains("Manage Upload Code"));
    EXPECT_TRUE(Offered(cloud).contains("Delete"));
    // She shares "Documents" with bob for reading only.
    auto documents = std::static_pointer_cast<korvex::ContainerInfo>(cloud.SelectedEntries().front());
    documents->privilege = 0x8A0;
    ASSERT_EQ(cloud.Model()->Store()->ShareContainerWith(*documents, "bob"), korvex::S_OK);

    // Bob's "Team Share" lets her upload and make folders, not delete.
    Activate(cloud, "[..]");
    EXPECT_EQ(Names(*cloud.Model()), (QStringList{"My Disk", "Share for Me", "My Backup", "VEZO Space"}));
    EXPECT_TRUE(Offered(cloud).filter("Delete").isEmpty());
    Activate(cloud, "Share for Me");
    Activate(cloud, "Team Share(Upload/Download)");
    EXPECT_TRUE(cloud.Permits(korvex::app::kCmdUpload));
    korvex::testing::WriteText(desktop_ / "for-bob.txt", "into the share\n");
    window->TransferCommands()->UploadPaths({(desktop_ / "for-bob.txt").string()});
    EXPECT_TRUE(WaitFor([&] { return Tree("bob").count("/Team Share/for-bob.txt") == 1; }, 30000));
    // The pane hears of it through the transfer's store and lists it again.
    EXPECT_TRUE(WaitFor([&] {
      const QStringList names = Names(*cloud.Model());
      return names.contains("for-bob.txt") && names.contains("kickoff.txt");
    }));
    EXPECT_TRUE(Offered(cloud).contains("New Folder"));
    Select(cloud, "kickoff.txt");
    EXPECT_TRUE(Offered(cloud).contains("Download"));
    EXPECT_FALSE(Offered(cloud).contains("Delete"));
    EXPECT_FALSE(Offered(cloud).contains("Create Link")) << "links are made on own files only";
    EXPECT_FALSE(Offered(cloud).contains("Manage Upload Code"));
  }

  const auto window = OpenAs("bob", "bob-demo-1");
  ASSERT_NE(window, nullptr);
  korvex::app::CNetDriveDlg& cloud = *window->NetPane();
  korvex::app::EntryListModel& model = *cloud.Model();
  EXPECT_EQ(Names(model), (QStringList{"[..]", "Private", "Team Share"}));

  // VEZO has no folder on this service: it says so and the pane stays put.
  Activate(cloud, "[..]");
  ASSERT_TRUE(model.AtTop());
  SaveScreenshot(cloud, "cloud-my-cloud.png");
  // A whole disk is no download.
  Select(cloud, "My Disk");
  EXPECT_TRUE(Offered(cloud).filter("Download").isEmpty());
  window->TransferCommands()->DownloadSelection();
  EXPECT_TRUE(Noticed(*window, "cannot be downloaded"));
  cloud.View()->clearSelection();
  Activate(cloud, "VEZO Space");
  EXPECT_TRUE(model.AtTop());
  EXPECT_TRUE(std::ranges::any_of(cloud.findChildren<QLabel*>(),
                                  [](const QLabel* label) { return label->text().contains("not offered"); }));
  Activate(cloud, "My Backup");
  EXPECT_EQ(Names(model), (QStringList{"[..]", "Private", "Team Share"}));
  Select(cloud, "Private");
  EXPECT_TRUE(Offered(cloud).contains("Manage Upload Code")) << "the backup view's short menu";
  EXPECT_FALSE(Offered(cloud).contains("Create Link")) << "the backup view's short menu";
  Activate(cloud, "[..]");

  // Alice's folder, read only: it opens and downloads, and nothing offers
  // to change it.
  Activate(cloud, "Share for Me");
  EXPECT_EQ(Names(model), (QStringList{"[..]", "Documents(Download)"}));
  Select(cloud, "Documents(Download)");
  EXPECT_TRUE(Offered(cloud).contains("Download"));
  EXPECT_FALSE(Offered(cloud).contains("Delete"));
  EXPECT_FALSE(Offered(cloud).contains("Rename"));
  Activate(cloud, "Documents(Download)");
  EXPECT_EQ(Names(model), (QStringList{"[..]", "notes.md", "report.pdf"}));
  Select(cloud, "notes.md");
  const QStringList offered = Offered(cloud);
  for (const char* text : {"Download", "Download To...", "Preview", "Copy", "Refresh"}) {
    EXPECT_TRUE(offered.contains(text)) << text << " in " << offered.join(",").toStdString();
  }
  for (const char* text : {"Delete", "Rename", "Cut", "Paste", "New Folder", "Create Link", "Manage Upload Code"}) {
    EXPECT_FALSE(offered.contains(text)) << text << " in " << offered.join(",").toStdString();
  }
  SaveScreenshot(cloud, "cloud-share-for-me.png");
  for (const QPushButton* button : cloud.findChildren<QPushButton*>()) {
    if (button->text() == "Delete" || button->text() == "New Folder") {
      EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
    }
  }

  // The commands refuse what the menu leaves out, whichever way they come.
  EXPECT_EQ(cloud.DeleteSelection(), korvex::S_FALSE);
  EXPECT_EQ(cloud.NewFolder(), korvex::S_FALSE);
  EXPECT_FALSE(model.flags(model.index(RowOf(model, "notes.md"), 0)) & Qt::ItemIsEditable);
  korvex::testing::WriteText(desktop_ / "intruder.txt", "not welcome\n");
  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString((desktop_ / "intruder.txt").string()))});
  QDragEnterEvent enter(cloud.View()->viewport()->rect().center(), Qt::CopyAction, &dropped, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(cloud.View()->viewport(), &enter);
  EXPECT_FALSE(enter.isAccepted());
  window->TransferCommands()->UploadPaths({(desktop_ / "intruder.txt").string()});
  EXPECT_TRUE(Noticed(*window, "does not take uploads"));
  EXPECT_TRUE(Tree("alice").count("/Documents/notes.md"));
  EXPECT_FALSE(Tree("alice").count("/Documents/intruder.txt"));
  EXPECT_FALSE(Tree("alice").count("/Documents/New folder/"));

  // What may be read arrives.
  Activate(*window->LocalPane(), "from-alice");
  window->TransferCommands()->DownloadSelection();
  const fs::path arrived = fs::path(window->LocalPane()->CurrentFolderPath()) / "notes.md";
  EXPECT_TRUE(WaitFor([&] { return fs::exists(arrived) && fs::file_size(arrived) > 0; }, 30000)) << arrived;
}

}  // namespace
