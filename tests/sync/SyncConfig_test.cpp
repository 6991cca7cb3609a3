// "sync.cfg" byte for byte as earlier clients wrote it, and the daily
// schedule of the sync service driven by a fake clock, also across the
// changes of daylight saving and after a run was missed.

#include "sync/SyncConfig.h"
#include "sync/SyncDirectoryTask.h"
#include "sync/SyncService.h"
#include "platform/FileTime.h"
#include "support/TempHome.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

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

/// The process's time zone for the life of the object.
class FixedZone {
 public:
  explicit FixedZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~FixedZone() {
    if (old_) setenv("TZ", old_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

/// A wall-clock time of 2026; `dst` -1 lets the zone decide.
std::tm Wall(int month, int day, int hour, int minute, int dst = -1) {
  std::tm t{};
  t.tm_year = 126, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute, t.tm_isdst = dst;
  return t;
}

std::uint64_t FileTimeOf(std::tm wall) {
  return FileTimeFromSystemClock(std::chrono::system_clock::from_time_t(std::mktime(&wall)));
}

TEST_F(ScheduleTest, FollowsTheWallClockAcrossDaylightSavingAndRunsAMissedBackupOnce) {
  FixedZone zone("America/New_York");
  // 01:00 to 02:00 of 1 November comes twice: a change at 01:10 in the
  // second pass is later than a service copy of 01:30 in the first.
  const std::uint64_t copy = FileTimeOf(Wall(11, 1, 1, 30, 1)), change = FileTimeOf(Wall(11, 1, 1, 10, 0));
  ASSERT_LT(copy, change);
  EXPECT_TRUE(SyncDirectoryTask::NeedsUpload(change, copy, 0));
  EXPECT_FALSE(SyncDirectoryTask::NeedsUpload(copy, change, 0));
  EXPECT_FALSE(SyncDirectoryTask::NeedsUpload(copy + 9'999'999, copy, 0)) << "the same second";
  EXPECT_TRUE(SyncDirectoryTask::NeedsUpload(copy + 10'000'000, copy, 0));

  // 02:30 of 8 March does not exist: that day's run starts at 03:00.
  auto service = MakeService(0);
  ASSERT_EQ(service->SetSchedule(2, 30), S_OK);
  const struct {
    std::tm at;
    bool runs;
  } spring[] = {{Wall(3, 7, 2, 30), true}, {Wall(3, 8, 1, 59), false}, {Wall(3, 8, 3, 0), true},
                {Wall(3, 8, 3, 1), false}, {Wall(3, 9, 2, 29), false}, {Wall(3, 9, 2, 30), true}};
  for (const auto& tick : spring) {
    SCOPED_TRACE(std::to_string(tick.at.tm_mday) + " " + std::to_string(tick.at.tm_hour) + ":" +
                 std::to_string(tick.at.tm_min));
    EXPECT_EQ(service->OnMinute(tick.at), tick.runs);
  }
  // 01:30 of 1 November comes twice and runs once.
  ASSERT_EQ(service->SetSchedule(1, 30), S_OK);
  int runs = 0;
  for (const std::tm& at : {Wall(11, 1, 1, 29, 1), Wall(11, 1, 1, 30, 1), Wall(11, 1, 1, 31, 1),
                            Wall(11, 1, 1, 29, 0), Wall(11, 1, 1, 30, 0), Wall(11, 1, 1, 31, 0)})
    runs += service->OnMinute(at) ? 1 : 0;
  EXPECT_EQ(runs, 1);

  // The machine was off at 02:30 on 12 June: the first wake-up after it
  // runs the backup, once; the next day runs at its time again.
  fs::create_directories(Home() / "docs");
  SyncConfig config;
  config.schedule.hour = 2;
  config.schedule.minute = 30;
  SyncFolder folder;
  folder.localPath = (Home() / "docs").string();
  folder.servicePath = "/Docs/";
  folder.lastRun = FileTimeOf(Wall(6, 11, 2, 30));
  config.folders.push_back(folder);
  ASSERT_EQ(SaveSyncConfig(SyncConfigPath("alice"), config), S_OK);
  service = MakeService(0);
  EXPECT_FALSE(service->OnMinute(Wall(6, 12, 2, 0))) << "not missed yet";
  EXPECT_TRUE(service->OnMinute(Wall(6, 12, 9, 41)));
  EXPECT_FALSE(service->OnMinute(Wall(6, 12, 9, 42)));
  EXPECT_FALSE(service->OnMinute(Wall(6, 13, 2, 29)));
  EXPECT_TRUE(service->OnMinute(Wall(6, 13, 2, 30)));
}

}  // namespace
}  // namespace korvex
