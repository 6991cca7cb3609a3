//===- tasks/ThreadBase.cpp - A worker thread with a stop event -----------===//

#include "tasks/ThreadBase.h"

#include <pthread.h>

#include <system_error>

#include "platform/SystemError.h"

namespace korvex {

ThreadBase::ThreadBase(std::string name) : name_(name.empty() ? "KorvexWorker" : std::move(name)) {
  NoteCreationStatus(Event::Create(/*manualReset=*/true, false, stop_));
  NoteCreationStatus(Event::Create(/*manualReset=*/true, /*initiallySet=*/true, finished_));
}

ThreadBase::~ThreadBase() {
  std::lock_guard lock(threadMutex_);
  if (thread_.joinable()) thread_.join();
}

void ThreadBase::ReapLocked() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

HRESULT ThreadBase::Start() {
  if (Failed(initStatus_)) return initStatus_;
  std::lock_guard lock(threadMutex_);
  if (thread_.joinable() && !finished_->Wait(0)) return HR_THREAD_STILL_RUNNING;
  ReapLocked();
  stop_->Reset();
  stopping_ = false;
  finished_->Reset();
  try {
    thread_ = std::thread([this] {
      // Linux keeps at most 15 characters of a thread name.
      ::pthread_setname_np(::pthread_self(), name_.substr(0, 15).c_str());
      Run();
      finished_->Set();
    });
  } catch (const std::system_error& e) {
    finished_->Set();
    return HResultFromErrno(e.code().value());
  }
  return S_OK;
}

bool ThreadBase::Stop(bool wait, std::int64_t timeoutMs) {
  {
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable()) return true;
  }
  stopping_ = true;
  stop_->Set();
  if (!finished_->Wait(wait ? timeoutMs : 0)) return false;
  std::lock_guard lock(threadMutex_);
  ReapLocked();
  return true;
}

}  // namespace korvex
