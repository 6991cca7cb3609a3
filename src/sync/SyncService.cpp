#include "sync/SyncService.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"
#include "platform/FileTime.h"
#include "store/DataStore.h"
#include "sync/SyncDirectoryTask.h"
#include "tasks/TaskManager.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr char kLogSource[] = "SyncService";
constexpr char kLastTimeValue[] = "Sync_LastTime";

/// A local folder path as pairs are compared: ending in "/".
std::string Extended(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

std::string ParentOf(const std::string& address) {
  std::string parent = address;
  if (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  parent.erase(parent.rfind('/') + 1);
  return parent;
}

std::string NameOf(const std::string& address) {
  std::string name = address;
  if (name.size() > 1 && name.back() == '/') name.pop_back();
  return name.substr(name.rfind('/') + 1);
}

std::string LocalTimeText(std::time_t at) {
  std::tm local{};
  (void)localtime_r(&at, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min);
  return text;
}

/// The first instant at which the local clock shows `wall` (to the minute):
/// none in the hour the spring change skips, the earlier of two in the hour
/// the autumn change repeats. mktime alone may pick either of those two.
std::optional<std::time_t> EarliestInstantOf(const std::tm& wall) {
  std::optional<std::time_t> earliest;
  for (int dst : {0, 1}) {
    std::tm ask = wall;
    ask.tm_isdst = dst;
    const std::time_t at = std::mktime(&ask);
    std::tm back{};
    if (at == -1 || localtime_r(&at, &back) == nullptr) continue;
    if (back.tm_isdst != dst || back.tm_year != wall.tm_year || back.tm_mon != wall.tm_mon ||
        back.tm_mday != wall.tm_mday || back.tm_hour != wall.tm_hour || back.tm_min != wall.tm_min)
      continue;
    if (!earliest || at < *earliest) earliest = at;
  }
  return earliest;
}

}  // namespace

SyncService::SyncService(TaskManager& manager, SyncServiceOptions options)
    : ThreadBase("KorvexSync"), manager_(manager), options_(std::move(options)) {
  if (options_.configPath.empty()) options_.configPath = SyncConfigPath(options_.account);
  if (!options_.random) {
    auto engine = std::make_shared<std::mt19937>(std::random_device{}());
    options_.random = [engine] { return static_cast<std::uint32_t>((*engine)()); };
  }
  NoteCreationStatus(Event::Create(false, false, wake_));
  watch_ = std::make_unique<BackupRunWatch>(BackupRunsPath(options_.configPath), options_.runEnded);
  manager_.AddListener(watch_.get());
  std::lock_guard lock(mutex_);
  ReloadLocked();
}

SyncService::~SyncService() {
  (void)Stop(true);
  manager_.RemoveListener(watch_.get());
}

void SyncService::ReloadLocked() {
  absent_.clear();
  config_ = LoadSyncConfig(options_.configPath, &absent_);
  // Once, not at every wake-up: the file stays as it is until it is saved.
  if (!config_.problem.empty() && config_.problem != reportedProblem_)
    LogMgr::Get().Warn(kLogSource, "%s", config_.problem.c_str());
  reportedProblem_ = config_.problem;
}

std::vector<SyncFolder> SyncService::AbsentFolders() const {
  std::lock_guard lock(mutex_);
  return absent_;
}

std::string SyncService::ConfigProblem() const {
  std::lock_guard lock(mutex_);
  return config_.problem;
}

std::map<std::string, BackupRun> SyncService::LastRuns() const {
  return LoadBackupRuns(BackupRunsPath(options_.configPath));
}

HRESULT SyncService::SaveLocked() {
  SyncConfig all = config_;
  all.folders.insert(all.folders.end(), absent_.begin(), absent_.end());
  return SaveSyncConfig(options_.configPath, all);
}

HRESULT SyncService::AddFolder(const std::string& localPath, const std::string& servicePath, std::uint64_t serviceId,
                               std::string* clash) {
  const std::string local = ExpandLocalPath(localPath);
  std::error_code ec;
  if (local.empty() || local.front() != '/' || !fs::is_directory(local, ec)) return HR_FILE_NOT_FOUND;
  const std::string service = Extended(servicePath);
  if (service.front() != '/' || service.find("//") != std::string::npos) return E_INVALIDARG;
  if (!FitsSyncPath(local) || !FitsSyncPath(service)) return HR_SYNC_PATH_TOO_LONG;
  std::lock_guard lock(mutex_);
  ReloadLocked();
  const std::string extended = Extended(local);
  // Pairs whose local folder is away for now count as well: they return.
  for (const auto* list : {&config_.folders, &absent_}) {
    for (const SyncFolder& folder : *list) {
      if (Extended(folder.localPath) == extended) return HR_ALREADY_EXISTS;
    }
  }
  // Two local folders backed up into one service folder, or one inside the
  // other's, would mix their files there and overwrite each other's.
  for (const auto* list : {&config_.folders, &absent_}) {
    for (const SyncFolder& folder : *list) {
      const std::string other = Extended(folder.servicePath);
      if (other == service) return HR_ALREADY_EXISTS;
      if (other.starts_with(service) || service.starts_with(other)) {
        if (clash != nullptr) *clash = folder.localPath + " -> " + folder.servicePath;
        return HR_SYNC_FOLDERS_OVERLAP;
      }
    }
  }
  SyncFolder folder;
  folder.localPath = local;
  folder.servicePath = service;
  folder.serviceId = serviceId;
  config_.folders.push_back(folder);
  if (const HRESULT hr = SaveLocked(); Failed(hr)) {
    config_.folders.pop_back();
    return hr;
  }
  LogMgr::Get().Info(kLogSource, "backup folder added: %s -> %s", local.c_str(), service.c_str());
  return S_OK;
}

HRESULT SyncService::RemoveFolder(const std::string& localPath) {
  std::lock_guard lock(mutex_);
  ReloadLocked();
  const std::string extended = Extended(ExpandLocalPath(localPath));
  for (auto* list : {&config_.folders, &absent_}) {
    for (auto it = list->begin(); it != list->end(); ++it) {
      if (Extended(it->localPath) != extended) continue;
      const SyncFolder removed = *it;
      const auto at = list->erase(it);
      if (const HRESULT hr = SaveLocked(); Failed(hr)) {
        list->insert(at, removed);
        return hr;
      }
      return S_OK;
    }
  }
  return HR_FILE_NOT_FOUND;
}

HRESULT SyncService::SetPaused(const std::string& localPath, bool paused) {
  std::lock_guard lock(mutex_);
  ReloadLocked();
  const std::string extended = Extended(ExpandLocalPath(localPath));
  for (SyncFolder& folder : config_.folders) {
    if (Extended(folder.localPath) != extended) continue;
    const SyncFolder before = folder;
    folder.paused = folder.pausedCompanion = paused ? 1 : 0;
    if (const HRESULT hr = SaveLocked(); Failed(hr)) {
      folder = before;
      return hr;
    }
    return S_OK;
  }
  return HR_FILE_NOT_FOUND;
}

std::vector<SyncFolder> SyncService::Folders() const {
  std::lock_guard lock(mutex_);
  return config_.folders;
}

std::uint32_t SyncService::PathStatus(const std::string& localPath) const {
  const std::string path = Extended(ExpandLocalPath(localPath));
  std::uint32_t status = 0;
  std::lock_guard lock(mutex_);
  for (const SyncFolder& folder : config_.folders) {
    const std::string root = Extended(folder.localPath);
    std::uint32_t bit = 0;
    if (path == root) bit = kSyncPathIsFolder;
    else if (path.starts_with(root)) bit = kSyncPathInsideFolder;
    else if (root.starts_with(path)) bit = kSyncPathContainsFolder;
    if (bit != 0 && folder.paused != 0) bit |= kSyncPathPaused;
    status |= bit;
  }
  return status;
}

SyncSchedule SyncService::Schedule() const {
  std::lock_guard lock(mutex_);
  return config_.schedule;
}

HRESULT SyncService::SetSchedule(std::int32_t hour, std::int32_t minute) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  ReloadLocked();
  const SyncSchedule before = config_.schedule;
  config_.schedule.hour = hour;
  config_.schedule.minute = minute;
  const HRESULT hr = SaveLocked();
  if (Failed(hr)) config_.schedule = before;
  return hr;
}

std::string SyncService::LastRunText() const {
  return ReadString(Hive::CurrentUser, kProductKey, options_.account, kLastTimeValue, "");
}

void SyncService::WriteLastTime(const std::tm& now) const {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
                now.tm_hour, now.tm_min);
  if (!WriteString(Hive::CurrentUser, kProductKey, options_.account, kLastTimeValue, text))
    LogMgr::Get().Warn(kLogSource, "cannot write %s", kLastTimeValue);
}

std::tm SyncService::Now() const {
  if (options_.localTime) return options_.localTime();
  const std::time_t seconds = std::time(nullptr);
  std::tm local{};
  (void)localtime_r(&seconds, &local);
  return local;
}

void SyncService::RequestSyncNow() {
  syncNow_ = true;
  if (wake_) wake_->Set();
}

std::shared_ptr<TaskFamily> SyncService::MakeFamily(const SyncFolder& folder, const std::shared_ptr<DataStore>& local,
                                                    const std::shared_ptr<DataStore>& service, std::uint64_t now) {
  ContainerInfo localFolder, serviceParent, serviceFolder;
  localFolder.uri = Extended(folder.localPath);
  localFolder.name = folder.LocalName();
  // The file keeps service paths below the own disk; the store's addresses
  // begin with its root's name.
  serviceFolder.uri = service->RootInfo().uri + folder.servicePath.substr(1);
  serviceFolder.name = NameOf(serviceFolder.uri);
  if (folder.serviceId != 0) serviceFolder.tag = folder.serviceId;
  serviceParent.uri = ParentOf(serviceFolder.uri);
  auto family = std::make_shared<TaskFamily>(manager_.NewFamilyId(), TransferDirection::kSyncUpload, local,
                                             localFolder.uri, service, serviceFolder.uri);
  FamilyProgress stamp;
  stamp.createdAt = now;
  family->RestoreProgress(stamp);
  // Stopped until the whole run is resumed in one call.
  family->state = FamilyState::kStopped;
  family->PushFront(std::make_unique<SyncDirectoryTask>(manager_.NewTaskId(), *family, localFolder, serviceParent,
                                                        serviceFolder));
  return family;
}

bool SyncService::ReplaceEarlierRuns(const TaskFamily& next) {
  std::vector<std::uint32_t> done, stopped;
  for (const auto& family : manager_.Families()) {
    if (family->Direction() != TransferDirection::kSyncUpload || family->SourcePath() != next.SourcePath() ||
        family->TargetPath() != next.TargetPath())
      continue;
    const FamilyState state = family->state;
    if (state == FamilyState::kQueued || state == FamilyState::kRunning) return false;
    // A stopped backup would resume into the dead end that stopped it, and
    // its folder tasks are not kept across restarts: a fresh comparison
    // takes its place and sends whatever it had left.
    if (state == FamilyState::kStopped) stopped.push_back(family->Id());
    // Completed ones are history once the next run starts; those that met
    // errors stay for the user to look at.
    else if (Succeeded(family->lastError.load()) && family->LastErrorText().empty()) done.push_back(family->Id());
  }
  for (std::uint32_t id : stopped) {
    LogMgr::Get().Info(kLogSource, "stopped backup %u of %s is replaced by a new run", id, next.SourcePath().c_str());
    if (manager_.RemoveFamily(id, false)) (void)manager_.Store().DeleteFamily(id);
  }
  if (!done.empty() && !manager_.RemoveFamilies(done, true))
    LogMgr::Get().Warn(kLogSource, "some completed backups of %s could not be cleared", next.SourcePath().c_str());
  return true;
}

std::vector<std::uint32_t> SyncService::Synchronize() {
  WriteLastTime(Now());
  std::vector<SyncFolder> folders;
  {
    std::lock_guard lock(mutex_);
    ReloadLocked();
    folders = config_.folders;
  }
  std::vector<std::uint32_t> ids;
  if (!options_.makeServiceStore || !options_.makeLocalStore) {
    LogMgr::Get().Error(kLogSource, "no store to back up with");
    return ids;
  }
  const std::uint64_t now = FileTimeNow();
  std::vector<std::string> started;
  for (const SyncFolder& folder : folders) {
    std::error_code ec;
    if (folder.paused != 0 || !fs::is_directory(folder.localPath, ec)) continue;
    // Stores of its own for every backup: one backup's listing of a folder
    // above its own would otherwise drop what another compares against.
    const std::shared_ptr<DataStore> service = options_.makeServiceStore();
    const std::shared_ptr<DataStore> local = options_.makeLocalStore();
    if (!service || !local) {
      LogMgr::Get().Error(kLogSource, "no store to back up %s with", folder.localPath.c_str());
      continue;
    }
    const auto family = MakeFamily(folder, local, service, now);
    if (!ReplaceEarlierRuns(*family)) {
      LogMgr::Get().Info(kLogSource, "backup of %s is still running; not started again", folder.localPath.c_str());
      continue;
    }
    // The family is stopped, so its one queued task stays where it is.
    const Task* root = nullptr;
    family->ForEachTask([&root](const Task& task) { root = &task; });
    watch_->Follow(family->Id(), folder.localPath, now);
    manager_.AddFamily(family, true);
    if (root != nullptr) (void)manager_.Store().SaveTask(*root);
    ids.push_back(family->Id());
    started.push_back(folder.localPath);
  }
  {
    std::lock_guard lock(mutex_);
    for (SyncFolder& folder : config_.folders) {
      if (std::find(started.begin(), started.end(), folder.localPath) != started.end()) folder.lastRun = now;
    }
    if (!started.empty()) (void)SaveLocked();
  }
  (void)manager_.ResumeFamilies(ids);
  return ids;
}

std::optional<std::time_t> SyncService::DueInstant(std::time_t now) const {
  const SyncSchedule schedule = config_.schedule;
  if (schedule.IsUnset()) return std::nullopt;
  // The scheduled minute of today, or of yesterday while today's is still
  // ahead; when the clock skips it (the spring change), the first minute
  // that exists after it.
  for (int daysBack = 0; daysBack <= 1; ++daysBack) {
    std::tm day{};
    (void)localtime_r(&now, &day);
    day.tm_mday -= daysBack;
    for (int late = 0; late <= 180; ++late) {
      std::tm wall = day;
      wall.tm_hour = schedule.hour;
      wall.tm_min = schedule.minute + late;
      wall.tm_sec = 0;
      (void)timegm(&wall);  // puts the fields in range, without daylight saving
      const std::optional<std::time_t> at = EarliestInstantOf(wall);
      if (!at) continue;  // the clock skips this minute
      if (*at <= now) return *at;
      break;
    }
  }
  return std::nullopt;
}

bool SyncService::OnMinute(const std::tm& now) {
  bool due = syncNow_.exchange(false);
  {
    std::lock_guard lock(mutex_);
    ReloadLocked();
    std::tm copy = now;
    const std::time_t instant = std::mktime(&copy);
    // With no time chosen yet, the first wake-up runs and picks one.
    if (config_.schedule.IsUnset()) due = true;
    if (const std::optional<std::time_t> scheduled = DueInstant(instant);
        scheduled && (!lastDue_ || *lastDue_ < *scheduled)) {
      // Its own minute, or a run missed while the machine was off or asleep:
      // that one runs once, at the first wake-up after it.
      std::uint64_t lastRun = 0;
      for (const auto* list : {&config_.folders, &absent_}) {
        for (const SyncFolder& folder : *list) lastRun = std::max(lastRun, folder.lastRun);
      }
      const std::time_t lastRunAt = std::chrono::system_clock::to_time_t(SystemClockFromFileTime(lastRun));
      const bool missed = lastRun != 0 && lastRunAt < *scheduled;
      if (instant - *scheduled < 60 || missed) {
        if (missed && instant - *scheduled >= 60)
          LogMgr::Get().Info(kLogSource, "the backup of %s was missed; running it now", LocalTimeText(*scheduled).c_str());
        lastDue_ = *scheduled;
        due = true;
      }
    }
    if (!due) return false;
    if (config_.schedule.IsUnset()) {
      const std::uint32_t hour = options_.random();
      config_.schedule = SyncSchedule::RandomDaily(hour, options_.random());
      LogMgr::Get().Info(kLogSource, "daily backup time set to %02d:%02d", config_.schedule.hour,
                         config_.schedule.minute);
      (void)SaveLocked();
    }
  }
  (void)Synchronize();
  return true;
}

std::int64_t SyncService::UntilNextTick() const {
  const std::int64_t tick = std::max<std::int64_t>(1, options_.tick.count());
  const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch()).count();
  // Waking on the minute's boundary (plus a little) keeps drift from ever
  // skipping the scheduled minute.
  return tick - sinceEpoch % tick + std::min<std::int64_t>(tick / 100, 200);
}

void SyncService::Run() {
  std::vector<Event*> events{&StopEvent(), wake_.get()};
  if (options_.syncNowEvent) events.push_back(options_.syncNowEvent);
  for (;;) {
    const int which = WaitAny(events, UntilNextTick());
    if (which == 0) return;
    if (which == 2) syncNow_ = true;
    (void)OnMinute(Now());
  }
}

}  // namespace korvex
