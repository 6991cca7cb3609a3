//===- cli/AccountTransfers.cpp - A korvex run's view of the account's transfers -===//

#include "cli/AccountTransfers.h"

#include "cli/Console.h"
#include "cli/TransferOutcome.h"
#include "foundation/ShownText.h"
#include "platform/Event.h"
#include "session/SessionKeeper.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/TaskFamilyEventListener.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

namespace korvex::cli {
namespace {

namespace chr = std::chrono;

std::atomic<bool> g_interrupted{false};
/// The wait of the run that follows its families, if one waits: Ctrl-C
/// ends it at once. Only its eventfd write runs in the handler.
std::atomic<Event*> g_followWake{nullptr};

extern "C" void OnInterrupt(int) {
  const int savedErrno = errno;
  g_interrupted = true;
  if (Event* wake = g_followWake.load()) wake->Set();
  errno = savedErrno;
}

}  // namespace

const char* StateName(FamilyState state) {
  switch (state) {
    case FamilyState::kQueued: return "queued";
    case FamilyState::kStopped: return "stopped";
    case FamilyState::kRunning: return "running";
    case FamilyState::kCompleted: return "completed";
  }
  return "?";
}

namespace {

bool Active(FamilyState state) { return state == FamilyState::kQueued || state == FamilyState::kRunning; }

/// One progress line; `elapsed` in 100 ns units. `why` says what a
/// retrying family waits for.
void PrintLine(std::uint32_t id, std::uint64_t done, std::optional<std::uint64_t> total, std::uint64_t elapsed,
               std::string_view state, bool terminal, std::string_view why = {}) {
  // A group sent again after a failure may count twice for a moment; the
  // line never claims more than the whole.
  if (total) done = std::min(done, *total);
  const double seconds = static_cast<double>(elapsed) / 1e7;
  const double speed = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::string line = "[" + std::to_string(id) + "] " + HumanSize(done);
  if (total && *total > 0) {
    line += " / " + HumanSize(*total) + "  " + std::to_string(std::min<std::uint64_t>(100, done * 100 / *total)) + "%";
    if (speed > 0 && *total > done)
      line += "  " + std::to_string(static_cast<long long>((*total - done) / speed)) + " s left";
  }
  line += "  " + HumanSize(static_cast<std::uint64_t>(speed)) + "/s  " + std::string(state);
  if (!why.empty()) line += ": " + std::string(why);
  // "\x1b[K" clears what a longer earlier line left behind.
  std::cerr << (terminal ? "\r" : "") << line << (terminal ? "\x1b[K" : "\n") << std::flush;
}

/// Milliseconds until the next progress line is due: a terminal's bar
/// moves several times a second, a log gets a line every 5 seconds.
std::int64_t NextLineIn(bool terminal, chr::steady_clock::time_point lastLine) {
  const auto pace = terminal ? chr::milliseconds(250) : chr::milliseconds(5000);
  const auto left = chr::ceil<chr::milliseconds>(lastLine + pace - chr::steady_clock::now()).count();
  return std::max<std::int64_t>(left, 0);
}

/// Wakes the run whenever a family changes state (starts, stops, completes)
/// and on Ctrl-C, so that it learns of each at once. Progress of the tasks
/// does not wake it: the progress lines keep their own pace.
class FollowWake final : public TaskFamilyEventListener {
 public:
  FollowWake(TaskManager& manager, Event& wake) : manager_(manager), wake_(wake) {
    manager_.AddListener(this);
    g_followWake = &wake_;
  }
  ~FollowWake() override {
    g_followWake = nullptr;
    manager_.RemoveListener(this);
  }
  FollowWake(const FollowWake&) = delete;
  FollowWake& operator=(const FollowWake&) = delete;

  void OnTaskFamilyEvent(TaskFamily&, FamilyEventKind, Task* task, TaskEvent event, ErrorDetail, HRESULT) override {
    if (task == nullptr) wake_.Set();
    // Failed files end too: they count among the files handled.
    else if (event == TaskEvent::kEnded && task->Type() == TaskType::kFile) ++filesEnded_;
  }

  [[nodiscard]] std::size_t FilesEnded() const noexcept { return filesEnded_; }

 private:
  TaskManager& manager_;
  Event& wake_;
  std::atomic<std::size_t> filesEnded_{0};
};

}  // namespace

InterruptGuard::InterruptGuard() {
  g_interrupted = false;
  old_ = std::signal(SIGINT, OnInterrupt);
  oldTerm_ = std::signal(SIGTERM, OnInterrupt);
}

InterruptGuard::~InterruptGuard() {
  std::signal(SIGINT, old_);
  std::signal(SIGTERM, oldTerm_);
}

bool InterruptGuard::Interrupted() noexcept { return g_interrupted; }

Transfers::Transfers(SessionStores& stores, DataStore& service, const DeploymentValues& deployment,
                     TaskManagerOptions managerOptions)
    : stores_(stores),
      deployment_(deployment),
      // The session owns its store; the families only borrow it.
      service_(&service, [](DataStore*) {}),
      local_(std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"), 1, true)),
      context_(service_, local_),
      taskStore_(BinaryFileTaskStore::FolderNameForAccount(stores.GetSession().accountName), context_),
      manager_(taskStore_, std::move(managerOptions)),
      owner_(taskStore_.Folder(), "korvex") {
  // Also a run that does not own the transfers makes families, for the owner.
  manager_.SetFamilyIdSource([this] { return owner_.NewFamilyId(); });
}

Transfers::~Transfers() {
  if (owner_.Owns()) owner_.HandBack(manager_);
}

HRESULT Transfers::TryOwn() {
  if (owner_.Owns()) return S_OK;
  const HRESULT hr = owner_.TryAcquire();
  if (hr != S_OK) return hr;
  // What this run wrote while another process owned the transfers is on
  // disk, and that process may have moved it on: the store is the truth.
  (void)manager_.RemoveAllFamilies(false);
  if (const HRESULT run = owner_.Run(taskStore_, manager_); Failed(run)) return run;
  return S_OK;
}

HRESULT Transfers::Own(void (*busy)(const TransferHolder&)) {
  bool told = false;
  for (;;) {
    const HRESULT hr = TryOwn();
    if (hr != S_FALSE) return hr;
    const TransferHolder holder = owner_.Holder();
    if (!told && holder.pid != 0) {
      std::cerr << WaitingText(holder) << std::endl;
      told = true;
    }
    if (busy) busy(holder);
    if (g_interrupted) return E_ABORT;
    ::usleep(200 * 1000);
  }
}

void Transfers::LoadForReading() {
  FamilyMap stored;
  (void)taskStore_.LoadAll(stored);
  for (auto& [id, family] : stored) manager_.AddFamily(family, true);
}

HRESULT Transfers::SeeThrough(const std::vector<std::uint32_t>& ids) {
  for (;;) {
    if (owner_.Owns()) return FollowOwned(ids);
    const HRESULT hr = FollowStored(ids);
    if (hr != S_FALSE) return hr;
  }
}

CommandOutcome Transfers::FollowAndReport(const std::vector<std::uint32_t>& ids, bool json) {
  filesEnded_ = 0;
  const HRESULT followed = SeeThrough(ids);
  // The families go on elsewhere, or the session is gone: nothing ended.
  if (followed == kStoppedFollowing) return {followed, {}, "no longer followed here"};
  if (followed == kSessionEnded) return {followed, {}, {}};
  // Followed from another process's records, the families here are as this
  // run made them: the store holds how they ended.
  FamilyMap stored;
  if (!owner_.Owns()) (void)taskStore_.LoadAll(stored);
  std::vector<std::shared_ptr<TaskFamily>> families;
  for (std::uint32_t id : ids) {
    if (const auto it = stored.find(id); it != stored.end()) families.push_back(it->second);
    else if (auto family = manager_.GetFamily(id)) families.push_back(std::move(family));
  }
  return ReportTransferEnd(families, filesEnded_, followed, json);
}

HRESULT Transfers::FollowOwned(const std::vector<std::uint32_t>& ids) {
  std::unique_ptr<Event> wake;
  if (const HRESULT hr = Event::Create(false, false, wake); Failed(hr)) return hr;
  const FollowWake watch(manager_, *wake);
  Event* const wakeUp = wake.get();
  SessionKeeper keeper(manager_, stores_, deployment_, [wakeUp] { wakeUp->Set(); });
  if (const HRESULT hr = manager_.Start(); Failed(hr) && hr != HR_THREAD_STILL_RUNNING) return E_FAIL;
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  auto lastLine = chr::steady_clock::now();
  for (;;) {
    bool busy = false;
    for (std::uint32_t id : ids) {
      const auto family = manager_.GetFamily(id);
      if (family && Active(family->state)) busy = true;
    }
    const auto now = chr::steady_clock::now();
    if (terminal || now - lastLine >= chr::seconds(5) || !busy) {
      for (std::uint32_t id : ids) {
        if (const auto family = manager_.GetFamily(id)) {
          const FamilyProgress p = family->Progress();
          // While retrying, the line says why it is waiting.
          const bool retrying = family->retryCount != 0 && Failed(family->lastError.load());
          PrintLine(id, p.doneBytes, p.totalBytes, p.elapsedRun, FamilyStateText(*family), terminal,
                    retrying ? ErrorLine(family->lastError, family->LastErrorText()) : std::string());
        }
      }
      lastLine = now;
    }
    if (!busy) break;
    switch (keeper.Handle()) {
      case SessionKeeper::Answer::kRenewed:
        std::cerr << "\nthe service ended the session; logged in again" << std::endl;
        break;
      case SessionKeeper::Answer::kStopped: return kSessionEnded;
      case SessionKeeper::Answer::kNone: break;
    }
    if (g_interrupted) {
      (void)manager_.StopFamilies(ids);
      std::cerr << "\nstopped; continue with: korvex transfers resume";
      for (std::uint32_t id : ids) std::cerr << ' ' << id;
      std::cerr << std::endl;
      return E_ABORT;
    }
    (void)wake->Wait(NextLineIn(terminal, lastLine));
  }
  if (terminal) std::cerr << std::endl;
  filesEnded_ = watch.FilesEnded();
  for (std::uint32_t id : ids) {
    const auto family = manager_.GetFamily(id);
    if (family && family->state != FamilyState::kCompleted)
      return Failed(family->lastError.load()) ? family->lastError.load() : E_FAIL;
  }
  return S_OK;
}

HRESULT Transfers::FollowStored(const std::vector<std::uint32_t>& ids) {
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  TransferHolder holder = owner_.Holder();
  if (holder.pid != 0) std::cerr << holder.program << " (pid " << holder.pid << ") runs these transfers" << std::endl;
  auto lastLine = chr::steady_clock::time_point{};
  for (;;) {
    // The owner saves progress about once a second; a closer look would
    // only read the same records again.
    bool busy = false;
    HRESULT failure = S_OK;
    const auto now = chr::steady_clock::now();
    const bool print = terminal || now - lastLine >= chr::seconds(5);
    for (std::uint32_t id : ids) {
      FamilyRecord record;
      if (Failed(ReadStoredFamily(owner_.Folder(), id, record))) {
        // Removed by its owner before this run saw it end.
        if (Succeeded(failure)) failure = E_FAIL;
        continue;
      }
      const auto state = static_cast<FamilyState>(record.state);
      if (Active(state)) busy = true;
      else if (state != FamilyState::kCompleted && Succeeded(failure))
        failure = Failed(record.lastError) ? record.lastError : E_FAIL;
      if (print) PrintLine(id, record.doneBytes, record.totalBytes, record.elapsedTotal, StateName(state), terminal);
    }
    if (print) lastLine = now;
    if (!busy) {
      if (terminal) std::cerr << std::endl;
      return failure;
    }
    if (const HRESULT hr = TryOwn(); hr != S_FALSE) return Failed(hr) ? hr : S_FALSE;
    if (g_interrupted) {
      holder = owner_.Holder();
      std::cerr << "\n" << holder.program << " (pid " << holder.pid
                << ") goes on with these transfers; follow with: korvex transfers" << std::endl;
      return kStoppedFollowing;
    }
    ::usleep(terminal ? 250 * 1000 : 1000 * 1000);
  }
}

}  // namespace korvex::cli
