// "sync.cfg" byte for byte as earlier clients wrote it, and the daily
// schedule of the sync service driven by a fake clock.

#include "sync/SyncConfig.h"
#include "sync/SyncService.h"
#include "support/TempHome.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::WriteText;

void PutLe(std::string& out, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>(value >> (8 * i));
}
void PutWide(std::string& out, std::size_t at, const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) PutLe(out, at + 2 * i, text[i], 2);
}

class SyncConfigTest : public testing::TempHomeTest {};

TEST_F(SyncConfigTest, FileIsWrittenByteExactAndReadBack) {
  const fs::path kept = Home() / "Dokumente äö";
  fs::create_directories(kept);
  SyncConfig config;
  config.schedule.hour = 2;
  config.schedule.minute = 30;
  SyncFolder folder;
  folder.localPath = kept.string();
  folder.servicePath = "/Backup/文档/";
  folder.localId = 0x0102030405060708;
  folder.serviceId = 0x1122334455667788;
  folder.paused = folder.pausedCompanion = 1;
  folder.lastRun = 0xA1B2C3D4E5F60718;
  config.folders = {folder, folder};
  config.folders[1].localPath = (Home() / "gone").string();

  // The layout built from the documented offsets alone.
  std::string expected(20 + 2 * 1092, '\0');
  for (int i = 0; i < 5; ++i) PutLe(expected, 4 * i, i == 0 ? 30 : i == 1 ? 2 : 0xFFFFFFFF, 4);
  for (int entry = 0; entry < 2; ++entry) {
    const std::size_t at = 20 + entry * 1092;
    PutWide(expected, at, fs::path(config.folders[entry].localPath).u16string());
    PutWide(expected, at + 522, u"/Backup/文档/");
    PutLe(expected, at + 1048, folder.localId, 8);
    PutLe(expected, at + 1056, folder.serviceId, 8);
    PutLe(expected, at + 1072, 1, 4);
    PutLe(expected, at + 1076, 1, 4);
    PutLe(expected, at + 1080, folder.lastRun, 8);
  }
  const fs::path file = SyncConfigPath("alice@demo");
  ASSERT_EQ(SaveSyncConfig(file, config), S_OK);
  EXPECT_EQ(file, Home() / "data" / "KorvexDataSMB" / "alice@demo" / "sync.cfg");
  ASSERT_EQ(ReadText(file), expected);

  // The pair whose folder is gone is dropped on reading; a cut-off entry
  // ends the list; fewer than 20 bytes are no file at all.
  std::vector<SyncFolder> absent;
  SyncConfig read = LoadSyncConfig(file, &absent);
  EXPECT_EQ(read.schedule, config.schedule);
  ASSERT_EQ(read.folders.size(), 1u);
  EXPECT_EQ(read.folders[0], folder);
  ASSERT_EQ(absent.size(), 1u);
  EXPECT_EQ(absent[0], config.folders[1]);
  EXPECT_EQ(DecodeSyncConfig(std::string_view(expected).substr(0, 20 + 1092 + 1091)).folders.size(), 1u);
  EXPECT_EQ(DecodeSyncConfig(std::string_view(expected).substr(0, 19)).schedule, SyncSchedule{});
}

class ScheduleTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    context_ = std::make_unique<TransferStoreContext>(nullptr, nullptr);
    store_ = std::make_unique<BinaryFileTaskStore>("alice", *context_);
    manager_ = std::make_unique<TaskManager>(*store_);
  }
  std::unique_ptr<SyncService> MakeService(std::uint32_t random) {
    SyncServiceOptions options;
    options.account = "alice";
    options.random = [random] { return random; };
    return std::make_unique<SyncService>(*manager_, options);
  }
  static std::tm At(int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = 126, t.tm_yday = day, t.tm_mday = day + 1, t.tm_hour = hour, t.tm_min = minute;
    return t;
  }
  std::unique_ptr<TransferStoreContext> context_;
  std::unique_ptr<BinaryFileTaskStore> store_;
  std::unique_ptr<TaskManager> manager_;
};

TEST_F(ScheduleTest, RunsAtTheSetTimeOncePerDayAndPicksADaytimeWhenNoneIsSet) {
  for (std::uint32_t random : {0u, 8u, 9u, 17u, 35u, 4000000000u}) {
    SCOPED_TRACE(random);
    const SyncSchedule picked = SyncSchedule::RandomDaily(random, random);
    EXPECT_GE(picked.hour, 9);
    EXPECT_LE(picked.hour, 17);
    EXPECT_EQ(picked.minute, static_cast<std::int32_t>(random % 60));
    EXPECT_FALSE(picked.IsUnset());
  }

  // No time set: the first wake-up runs and keeps a daytime for later runs.
  auto service = MakeService(20);
  ASSERT_TRUE(service->Schedule().IsUnset());
  EXPECT_TRUE(service->OnMinute(At(0, 3, 7)));
  EXPECT_EQ(service->Schedule().hour, 20 % 18 + 9);
  EXPECT_EQ(service->Schedule().minute, 20);
  EXPECT_EQ(MakeService(0)->Schedule(), service->Schedule()) << "the picked time is kept in sync.cfg";
  EXPECT_FALSE(service->OnMinute(At(0, 3, 8)));

  ASSERT_EQ(service->SetSchedule(2, 30), S_OK);
  EXPECT_EQ(service->SetSchedule(24, 0), E_INVALIDARG);
  const struct {
    int day, hour, minute;
    bool runs;
  } ticks[] = {{1, 2, 29, false}, {1, 2, 30, true}, {1, 2, 30, false}, {1, 2, 31, false},
               {1, 14, 30, false}, {2, 2, 30, true}};
  for (const auto& tick : ticks) {
    SCOPED_TRACE(std::to_string(tick.day) + " " + std::to_string(tick.hour) + ":" + std::to_string(tick.minute));
    EXPECT_EQ(service->OnMinute(At(tick.day, tick.hour, tick.minute)), tick.runs);
  }
  service->RequestSyncNow();
  EXPECT_TRUE(service->OnMinute(At(2, 9, 0))) << "sync-now runs whatever the time";
  EXPECT_FALSE(service->OnMinute(At(2, 9, 1)));
  EXPECT_FALSE(service->LastRunText().empty());
}

}  // namespace
}  // namespace korvex
