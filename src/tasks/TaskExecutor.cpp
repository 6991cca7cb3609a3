//===- tasks/TaskExecutor.cpp - The thread that runs one family -----------===//

#include "tasks/TaskExecutor.h"

#include "platform/FileTime.h"
#include "store/DataStoreRemoteImplBase.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"
#include "tasks/TaskStore.h"

namespace korvex {

TaskExecutor::TaskExecutor(std::shared_ptr<TaskFamily> family, TaskManager& manager)
    : ThreadBase("TaskExecutor"), family_(std::move(family)), manager_(manager) {
  family_->state = FamilyState::kRunning;
  family_->BeginRun(FileTimeNow());
}

TaskExecutor::~TaskExecutor() { Stop(true); }

void TaskExecutor::Run() {
  TaskRunContext context{StopEvent(), manager_};
  // A task waits for each local file operation as soon as it starts it.
  const InlineStoreCalls inlineCalls;
  while (family_->PendingCount() > 0 && !StopEvent().Wait(0)) {
    if (!family_->Progress().totalBytes) {
      if (auto total = family_->QueuedFileBytes()) {
        family_->SetTotalBytes(*total);
        (void)manager_.Store().SaveFamily(*family_);
      }
    }
    Task* task = family_->BeginNext();
    if (task == nullptr) break;
    bool finished = family_->canceling ? task->RunCancel(context) : task->Run(context);
    task->Finish(context);
    family_->EndCurrent(finished);
  }
}

}  // namespace korvex
