#include "tasks/TaskManager.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/TempHome.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/FileTask.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskTestSupport.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::Eventually;
using testing::RecordingListener;
using testing::ScriptedContext;
using testing::ScriptedTask;
using Kind = FamilyEventKind;
using State = FamilyState;

class TaskManagerTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    store_ = std::make_unique<BinaryFileTaskStore>("bob", context_);
    TaskManagerOptions options;
    options.firstRetryPause = std::chrono::milliseconds(1);
    options.longestRetryPause = std::chrono::milliseconds(4);
    manager_ = std::make_unique<TaskManager>(*store_, options);
    manager_->AddListener(&listener_);
  }
  void TearDown() override {
    manager_.reset();
    TempHomeTest::TearDown();
  }

  /// A family with one scripted file task of 100 bytes (task id = family id + 100).
  std::shared_ptr<TaskFamily> Family(std::uint32_t id, State state = State::kQueued) {
    auto family = std::make_shared<TaskFamily>(id, TransferDirection::kUpload, nullptr,
                                               "/local/" + std::to_string(id), nullptr, "/Backup/" + std::to_string(id));
    family->state = state;
    family->PushBack(std::make_unique<ScriptedTask>(TaskType::kFile, id + 100, *family, 100));
    return family;
  }
  ScriptedTask& FrontTask(TaskFamily& family) {
    ScriptedTask* front = nullptr;
    family.ForEachTask([&front](const Task& t) { if (!front) front = const_cast<ScriptedTask*>(static_cast<const ScriptedTask*>(&t)); });
    return *front;
  }
  State StoredState(std::uint32_t id) {
    FamilyRecord record;
    EXPECT_EQ(DecodeFamily(testing::ReadText(store_->Folder() / (std::to_string(id) + ".tsf")), record), S_OK);
    return static_cast<State>(record.state);
  }
  State StateOf(std::uint32_t id) { return manager_->GetFamily(id)->state; }

  ScriptedContext context_;
  std::unique_ptr<BinaryFileTaskStore> store_;
  RecordingListener listener_;
  std::unique_ptr<TaskManager> manager_;
};

TEST_F(TaskManagerTest, OperationsMoveTheFamilyThroughItsStatesOrAreRefused) {
  manager_->AddFamily(Family(10), false);
  EXPECT_TRUE(fs::exists(store_->Folder() / "10.tsf"));
  EXPECT_TRUE(fs::exists(store_->Folder() / "10.110.tsk"));
  enum Op { kStop, kResume, kCancel, kRemoveStored };
  struct Step {
    Op op;
    bool accepted;
    State state;
    std::uint32_t canceling;
  } steps[] = {{kResume, false, State::kQueued, 0},  {kCancel, false, State::kQueued, 0},
               {kStop, true, State::kStopped, 0},    {kStop, true, State::kStopped, 0},
               {kResume, true, State::kQueued, 0},   {kStop, true, State::kStopped, 0},
               {kCancel, true, State::kQueued, 1},   {kStop, true, State::kStopped, 1},
               {kCancel, false, State::kStopped, 1}, {kResume, true, State::kQueued, 1}};
  auto family = manager_->GetFamily(10);
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const Step& s = steps[i];
    SCOPED_TRACE(i);
    bool accepted = s.op == kStop     ? manager_->StopFamily(10)
                    : s.op == kResume ? manager_->ResumeFamily(10)
                    : s.op == kCancel ? manager_->CancelFamily(10)
                                      : manager_->RemoveFamily(10, true);
    EXPECT_EQ(accepted, s.accepted);
    EXPECT_EQ(family->state, s.state);
    EXPECT_EQ(StoredState(10), s.state);
    EXPECT_EQ(family->canceling, s.canceling);
    if (accepted && s.op != kCancel) {
      EXPECT_EQ(family->lastError, s.op == kStop ? E_ABORT : S_OK);
    }
  }

  manager_->AddFamily(Family(20, State::kCompleted), true);
  EXPECT_FALSE(manager_->StopFamily(20));
  EXPECT_FALSE(manager_->StopFamily(99));
  EXPECT_EQ(manager_->GetStateOf("/Backup/"), State::kQueued);
  EXPECT_EQ(manager_->GetStateOf("/Backup/2"), State::kCompleted);
  EXPECT_TRUE(manager_->IsDuplicate(*Family(10)));
  EXPECT_FALSE(manager_->IsDuplicate(*Family(20))) << "a completed transfer may be made again";
  EXPECT_GT(manager_->NewFamilyId(), 20u);
  EXPECT_GT(manager_->NewTaskId(), 120u);

  // A stopped transfer the user gives up on can be removed with its files.
  EXPECT_TRUE(manager_->StopFamily(10));
  const std::uint32_t both[] = {10, 20};
  EXPECT_TRUE(manager_->RemoveFamilies(both, true));
  EXPECT_EQ(manager_->Families().size(), 0u);
  EXPECT_TRUE(fs::is_empty(store_->Folder()));
  std::vector<Kind> kinds;
  for (const auto& call : listener_.Calls()) {
    if (call.kind != Kind::kChanged) kinds.push_back(call.kind);
  }
  EXPECT_EQ(kinds, (std::vector<Kind>{Kind::kAdded, Kind::kAdded, Kind::kRemoved, Kind::kRemoved}));
}

TEST_F(TaskManagerTest, RunsFourFamiliesLowestIdFirstAndStoppingLeavesThemStoppedOnDisk) {
  std::unique_ptr<Event> release[7];
  for (auto& event : release) ASSERT_EQ(Event::Create(/*manualReset=*/true, false, event), S_OK);
  for (std::uint32_t id = 6; id >= 1; --id) {
    auto family = Family(id);
    FrontTask(*family).release = release[id].get();
    manager_->AddFamily(family, false);
  }
  ASSERT_EQ(manager_->Start(), S_OK);
  auto states = [this] {
    std::vector<State> all;
    for (std::uint32_t id = 1; id <= 6; ++id) all.push_back(StateOf(id));
    return all;
  };
  using enum FamilyState;
  ASSERT_TRUE(Eventually([&] { return states() == std::vector{kRunning, kRunning, kRunning, kRunning, kQueued, kQueued}; }));

  release[2]->Set();
  ASSERT_TRUE(Eventually([&] { return states() == std::vector{kRunning, kCompleted, kRunning, kRunning, kRunning, kQueued}; }));
  FamilyProgress done = manager_->GetFamily(2)->Progress();
  EXPECT_EQ(done.totalBytes, 100u);
  EXPECT_EQ(done.doneBytes, 100u);

  ASSERT_TRUE(manager_->StopFamily(3));
  EXPECT_EQ(StateOf(3), kStopped) << "stopping waits for the executor";
  EXPECT_EQ(manager_->GetFamily(3)->PendingCount(), 1u);
  ASSERT_TRUE(Eventually([&] { return StateOf(6) == kRunning; })) << "a free slot goes to the next family " << ::testing::PrintToString(states());
  EXPECT_TRUE(manager_->ResumeFamily(3));

  ASSERT_TRUE(manager_->Stop(true));
  EXPECT_EQ(states(), (std::vector{kStopped, kCompleted, kQueued, kStopped, kStopped, kStopped}));
  for (std::uint32_t id = 1; id <= 6; ++id) EXPECT_EQ(StoredState(id), states()[id - 1]) << id;
}

TEST_F(TaskManagerTest, CancelingGivesAFailingTaskUpAfterFiveRetriesAndGoesOn) {
  std::atomic<int> cancels{0};
  auto canceled = Family(30, State::kStopped);
  FrontTask(*canceled).failures = 100;
  auto second = std::make_unique<ScriptedTask>(TaskType::kFile, 131, *canceled, 7);
  second->cancels = &cancels;
  canceled->PushBack(std::move(second));

  auto flaky = Family(31);
  FrontTask(*flaky).failures = 3;
  auto missing = Family(32);
  FrontTask(*missing).failures = 1;
  FrontTask(*missing).error = HR_FILE_NOT_FOUND;
  missing->PushBack(std::make_unique<ScriptedTask>(TaskType::kFile, 232, *missing, 5));
  auto full = Family(33);
  FrontTask(*full).failures = 1;
  FrontTask(*full).error = HR_SERVICE_NO_SPACE;
  for (const auto& family : {canceled, flaky, missing, full}) manager_->AddFamily(family, false);
  ASSERT_TRUE(manager_->CancelFamily(30));
  ASSERT_EQ(manager_->Start(), S_OK);
  ASSERT_TRUE(Eventually([&] {
    return StateOf(30) == State::kCompleted && StateOf(31) == State::kCompleted &&
           StateOf(32) == State::kCompleted && StateOf(33) == State::kStopped;
  }));
  EXPECT_EQ(cancels, 1) << "the next task ran its cancel routine";
  EXPECT_EQ(flaky->retryCount, 0u) << "a success clears the count";

  std::map<std::uint32_t, std::vector<ErrorDetail>> details;
  for (const auto& call : listener_.Calls()) {
    if (call.event == TaskEvent::kError) details[call.family].push_back(call.detail);
  }
  using enum ErrorDetail;
  EXPECT_EQ(details[30], (std::vector{kRetry, kRetry, kRetry, kRetry, kRetry, kSkipped}));
  EXPECT_EQ(details[31], (std::vector{kRetry, kRetry, kRetry}));
  // A source that is gone fails that file alone, and the family says so.
  EXPECT_EQ(details[32], std::vector{kSkipped});
  const std::vector<FailedTask> failed = FailedTasks(*missing);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].source, "/from/file");
  EXPECT_EQ(failed[0].error, HR_FILE_NOT_FOUND);
  EXPECT_EQ(missing->Progress().doneBytes, 5u) << "the next file went on";
  EXPECT_EQ(details[33], std::vector{kFamilyStops});
  EXPECT_EQ(full->lastError, HR_SERVICE_NO_SPACE);
  EXPECT_EQ(full->PendingCount(), 1u) << "the task waits for the user";
  EXPECT_EQ(StopReason(*full).first, "/from/file");
}

TEST_F(TaskManagerTest, TransientErrorsWaitLongerEachTimeUpToAMinute) {
  TaskManager manager(*store_);
  auto family = Family(40);
  ScriptedTask& task = FrontTask(*family);
  std::vector<std::int64_t> pauses;
  for (int i = 0; i < 12; ++i) {
    TaskEventAnswer answer = manager.OnTaskEvent(task, TaskEvent::kError, static_cast<std::uint32_t>(E_FAIL), 1);
    EXPECT_EQ(answer.detail, ErrorDetail::kRetry);
    EXPECT_LE(family->retryCount, 9u);
    pauses.push_back(answer.retryPause.count());
  }
  EXPECT_EQ(pauses, (std::vector<std::int64_t>{200, 400, 800, 1600, 3200, 6400, 12800, 25600, 51200, 60000, 60000, 60000}));
  EXPECT_TRUE(log_->Contains("task error [80004005], retrying..."));
  // Another chunk's success says nothing of the failing step.
  (void)manager.OnTaskEvent(task, TaskEvent::kProgress, 1, 0);
  EXPECT_EQ(manager.OnTaskEvent(task, TaskEvent::kError, static_cast<std::uint32_t>(E_FAIL), 1).retryPause.count(), 60000);
  manager.OnStepSucceeded(task);
  EXPECT_EQ(family->retryCount, 0u);
  EXPECT_EQ(manager.OnTaskEvent(task, TaskEvent::kError, static_cast<std::uint32_t>(E_FAIL), 1).retryPause.count(), 200);

  // A command that waits for its transfers gives up once the errors have
  // lasted its limit, and keeps why.
  TaskManagerOptions bounded;
  bounded.giveUpAfter = std::chrono::milliseconds(50);
  TaskManager waiting(*store_, bounded);
  auto other = Family(41);
  ScriptedTask& flaky = FrontTask(*other);
  const auto first = waiting.OnTaskEvent(flaky, TaskEvent::kError, static_cast<std::uint32_t>(E_FAIL), 1, "busy");
  EXPECT_EQ(first.detail, ErrorDetail::kRetry);
  EXPECT_LE(first.retryPause.count(), 50);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(waiting.OnTaskEvent(flaky, TaskEvent::kError, static_cast<std::uint32_t>(E_FAIL), 1, "busy\n").detail,
            ErrorDetail::kFamilyStops);
  EXPECT_EQ(StopReason(*other), (std::pair<std::string, std::string>{"/from/file", "busy\\n"}));
}

TEST(TaskErrorRules, AreAppliedInOrder) {
  using enum ErrorRuleOutcome::Action;
  using D = TransferDirection;
  constexpr auto kNormal = ErrorDetail::kNormal, kFinal = ErrorDetail::kFinal,
                 kFamilyStops = ErrorDetail::kFamilyStops, kSkipped = ErrorDetail::kSkipped;
  struct Case {
    HRESULT error;
    D direction;
    std::uint32_t answer;
    bool folder;
    ErrorRuleOutcome expected;
  } cases[] = {
      {HR_ALREADY_EXISTS, D::kUpload, 0, false, {kReport, kFamilyStops, {}}},
      {HR_ALREADY_EXISTS, D::kUpload, 3, false, {kPass, kSkipped, 0u}},
      {HR_ALREADY_EXISTS, D::kUpload, 4, false, {kPass, kSkipped, {}}},
      {HR_ALREADY_EXISTS, D::kUpload, 2, false, {kPass, kNormal, {}}},
      {HR_ALREADY_EXISTS, D::kUpload, 7, false, {kReport, kFamilyStops, {}}},
      {HR_ALREADY_EXISTS, D::kUpload, 5, false, {kReport, kFamilyStops, {}}},
      {E_FAIL, D::kUpload, 5, false, {kPass, kNormal, 0u}},
      // What waiting cannot heal gives the one file up; the family goes on.
      {HR_SERVICE_REFUSED_PATH, D::kUpload, 0, true, {kReport, kSkipped, {}}},
      {HR_SERVICE_REFUSED_PATH, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      {E_ACCESSDENIED, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      {E_ACCESSDENIED, D::kDownload, 0, false, {kReport, kSkipped, {}}},
      {E_ACCESSDENIED, D::kSyncUpload, 2, false, {kReport, kSkipped, {}}},
      {HR_FILE_NOT_FOUND, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      {HR_BAD_PATHNAME, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      {HR_NAME_TOO_LONG, D::kDownload, 0, false, {kReport, kSkipped, {}}},
      {HR_GROUP_VERIFY_FAILED, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      {HR_NOT_RETRIED_A, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      {HR_NOT_RETRIED_B, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      {HR_BAD_PATHNAME, D::kSyncUpload, 2, false, {kReport, kSkipped, {}}},
      {HR_FILE_NOT_FOUND, D::kSyncUpload, 2, true, {kReport, kSkipped, {}}},
      {HR_SERVICE_BAD_NAME, D::kUpload, 0, false, {kReport, kSkipped, {}}},
      // A full disk would fail every later file too: the user makes room.
      {HR_SERVICE_NO_SPACE, D::kUpload, 0, false, {kReport, kFamilyStops, {}}},
      {HR_DISK_QUOTA, D::kDownload, 0, false, {kReport, kFamilyStops, {}}},
      {HR_PASS_NEXT_ERROR, D::kUpload, 0, false, {kReport, kFinal, 5u}},
      {HResultFromHttp(503), D::kUpload, 0, false, {kRetry, ErrorDetail::kRetry, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.error << " answer " << c.answer);
    EXPECT_EQ(ApplyErrorRules({c.error, c.direction, c.answer, c.folder}), c.expected);
  }
}

}  // namespace
}  // namespace korvex
