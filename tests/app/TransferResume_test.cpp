// Uploads interrupted by quitting the desktop client, against korvexd on the
// offscreen platform: one into the own disk and one into a folder another
// user shares, both cut off mid-way by closing the window; the next start
// logs in afresh (the old upload tokens are dead) and both arrive whole.

#include "app/DesktopClient.h"
#include "app/SessionTransfers.h"
#include "app/TransferCommands.h"
#include "app/TransferListCtrl.h"
#include "app/TransferListModel.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskManager.h"

namespace {

using namespace korvex::testing::app;
using korvex::FamilyState;
using korvex::app::TransferListModel;
namespace fs = std::filesystem;

void Activate(korvex::app::CDataStoreDlgBase& pane, const QString& name) {
  const int row = static_cast<int>(Names(*pane.Model()).indexOf(name));
  ASSERT_GE(row, 0) << name.toStdString() << " in " << Names(*pane.Model()).join(",").toStdString();
  pane.View()->activated(pane.Model()->index(row, 0));
}

TEST_F(DesktopClient, UploadsCutOffByQuittingCompleteAfterTheNextStart) {
  const fs::path own = desktop_ / "own-cut.bin";
  const fs::path shared = desktop_ / "shared-cut.bin";
  korvex::testing::WriteText(own, std::string(5 << 20, 'o'));
  korvex::testing::WriteText(shared, std::string(5 << 20, 's'));
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), "delay=150,path=^/idtv1/stream/|^/file/uploadblock/,count=100000,ttl=600"));
  {
    std::string account;
    const auto window = OpenWindow(account);
    ASSERT_NE(window, nullptr);
    korvex::app::CNetDriveDlg& cloud = *window->NetPane();
    window->TransferCommands()->UploadPaths({own.string()});
    // The second goes into bob's share, reached through "Share for Me".
    Activate(cloud, "[..]");
    Activate(cloud, "Share for Me");
    Activate(cloud, "Team Share(Upload/Download)");
    window->TransferCommands()->UploadPaths({shared.string()});
    TransferListModel& rows = *window->TransferList()->Model();
    ASSERT_TRUE(WaitFor([&] {
      return rows.rowCount() == 2 && rows.index(0, 0).data(TransferListModel::kPercentRole).toInt() > 0 &&
             rows.index(1, 0).data(TransferListModel::kPercentRole).toInt() > 0;
    }, 30000));
    // Quitting: the window goes while both are under way.
  }
  ASSERT_TRUE(ServiceFault(korvexd_.BaseUrl(), ""));
  EXPECT_EQ(CompleteFileSize(korvexd_.BaseUrl(), "alice", "/own-cut.bin"), -1);

  std::string account;
  const auto window = OpenWindow(account);
  ASSERT_NE(window, nullptr);
  TransferListModel& rows = *window->TransferList()->Model();
  ASSERT_TRUE(WaitFor([&] { return rows.rowCount() == 2; }));
  EXPECT_TRUE(WaitFor([&] {
    return rows.FamilyAt(0)->state == FamilyState::kCompleted && rows.FamilyAt(1)->state == FamilyState::kCompleted;
  }, 90000)) << rows.index(0, TransferListModel::kStatus).data().toString().toStdString() << " | "
             << rows.index(1, TransferListModel::kStatus).data().toString().toStdString();
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(rows.index(row, TransferListModel::kStatus).data().toString(), "Completed");
    EXPECT_TRUE(korvex::FailedTasks(*rows.FamilyAt(row)).empty());
  }
  EXPECT_EQ(CompleteFileSize(korvexd_.BaseUrl(), "alice", "/own-cut.bin"), std::int64_t{5} << 20);
  EXPECT_EQ(CompleteFileSize(korvexd_.BaseUrl(), "bob", "/Team Share/shared-cut.bin"), std::int64_t{5} << 20);
}

}  // namespace
