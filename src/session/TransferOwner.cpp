//===- session/TransferOwner.cpp - One owner of an account's transfers -------===//

#include "session/TransferOwner.h"

#include "foundation/LogMgr.h"
#include "platform/SystemError.h"
#include "session/FamilyIntake.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"
#include "tasks/TaskStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace korvex::session {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(int fd) {
  std::string text(256, '\0');
  const ssize_t n = ::pread(fd, text.data(), text.size() - 1, 0);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

[[nodiscard]] bool WriteAll(int fd, const std::string& text) {
  return ::ftruncate(fd, 0) == 0 && ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

/// "N.tsf" names N; anything else names nothing (0).
std::uint32_t FamilyIdOfName(const std::string& name) {
  if (name.size() < 5 || !name.ends_with(".tsf")) return 0;
  std::uint32_t id = 0;
  const char* end = name.data() + name.size() - 4;
  const auto [stop, error] = std::from_chars(name.data(), end, id);
  return error == std::errc() && stop == end ? id : 0;
}

}  // namespace

std::string WaitingText(const TransferHolder& holder) {
  return "waiting for " + holder.program + " (pid " + std::to_string(holder.pid) +
         "), which runs this account's transfers";
}

TransferOwner::TransferOwner(fs::path folder, std::string program)
    : folder_(std::move(folder)), program_(std::move(program)) {}

TransferOwner::~TransferOwner() {
  intake_.reset();
  Release();
  if (idFd_ >= 0) ::close(idFd_);
}

HRESULT TransferOwner::TryAcquire() {
  if (Owns()) return S_OK;
  if (ownerFd_ < 0) {
    ownerFd_ = ::open((folder_ / "runner.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (ownerFd_ < 0) return HResultFromErrno(errno);
  }
  if (::flock(ownerFd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK || errno == EINTR) return S_FALSE;
    return HResultFromErrno(errno);
  }
  owns_ = true;
  if (!WriteAll(ownerFd_, std::to_string(::getpid()) + " " + program_ + "\n")) return HResultFromErrno(errno);
  LogMgr::Get().Info("TransferOwner", "%s owns the transfers of %s", program_.c_str(), folder_.c_str());
  return S_OK;
}

TransferHolder TransferOwner::Holder() const {
  TransferHolder holder;
  const int fd = ::open((folder_ / "runner.lock").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return holder;
  // A lock that can be taken has no holder, whatever the file still says.
  if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
    ::close(fd);
    return holder;
  }
  std::istringstream in(ReadAll(fd));
  ::close(fd);
  in >> holder.pid;
  std::getline(in >> std::ws, holder.program);
  // Runners before the program name was written were all korvex.
  if (holder.program.empty()) holder.program = "korvex";
  return holder;
}

void TransferOwner::Release() {
  if (ownerFd_ < 0) return;
  if (owns_) (void)WriteAll(ownerFd_, "");
  ::close(ownerFd_);  // closing drops the lock
  ownerFd_ = -1;
  owns_ = false;
}

void TransferOwner::LockStore() {
  storeMutex_.lock();
  if (storeDepth_++ > 0) return;
  storeHolder_ = std::this_thread::get_id();
  if (idFd_ < 0) idFd_ = ::open((folder_ / "families.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (idFd_ < 0 || ::flock(idFd_, LOCK_EX) != 0)
    LogMgr::Get().Error("TransferOwner", "cannot lock families.lock, errno %d", errno);
}

void TransferOwner::UnlockStore() {
  if (--storeDepth_ == 0) {
    storeHolder_ = std::thread::id();
    if (idFd_ >= 0) (void)::flock(idFd_, LOCK_UN);
  }
  storeMutex_.unlock();
}

std::set<std::uint32_t> TransferOwner::StoredIds() const {
  std::set<std::uint32_t> ids;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error)) {
    if (const std::uint32_t id = FamilyIdOfName(entry.path().filename().string()); id != 0) ids.insert(id);
  }
  return ids;
}

std::set<std::uint32_t> TransferOwner::TakeUnknown(const std::set<std::uint32_t>& ids) {
  std::lock_guard lock(knownMutex_);
  std::set<std::uint32_t> unknown;
  std::set_difference(ids.begin(), ids.end(), known_.begin(), known_.end(), std::inserter(unknown, unknown.end()));
  known_.insert(unknown.begin(), unknown.end());
  return unknown;
}

std::uint32_t TransferOwner::NewFamilyId() {
  StoreHold hold(*this);
  if (idFd_ < 0) return 0;
  std::uint32_t last = 0;
  const std::string text = ReadAll(idFd_);
  (void)std::from_chars(text.data(), text.data() + text.size(), last);
  const std::set<std::uint32_t> stored = StoredIds();
  if (!stored.empty()) last = std::max(last, *stored.rbegin());
  {
    std::lock_guard lock(knownMutex_);
    if (!known_.empty()) last = std::max(last, *known_.rbegin());
    // The manager's own first id is 2; keep to its numbering.
    last = std::max<std::uint32_t>(last, 1);
    known_.insert(last + 1);
  }
  if (!WriteAll(idFd_, std::to_string(last + 1) + "\n")) {
    LogMgr::Get().Error("TransferOwner", "cannot write families.lock, errno %d", errno);
    return 0;
  }
  return last + 1;
}

HRESULT TransferOwner::Run(TaskStore& store, TaskManager& manager) {
  if (!Owns()) return E_ACCESSDENIED;
  FamilyMap stored;
  {
    StoreHold hold(*this);
    (void)store.LoadAll(stored);
    (void)TakeUnknown(StoredIds());
  }
  for (auto& [id, family] : stored) manager.AddFamily(family, true);
  manager.SetFamilyIdSource([this] { return NewFamilyId(); });
  intake_ = std::make_unique<FamilyIntake>(*this, store, manager);
  return intake_->Start();
}

void TransferOwner::HandBack(TaskManager& manager) {
  intake_.reset();
  std::vector<std::uint32_t> active;
  for (const auto& family : manager.Families()) {
    const FamilyState state = family->state;
    if (state == FamilyState::kQueued || state == FamilyState::kRunning) active.push_back(family->Id());
  }
  (void)manager.Stop(true);
  for (std::uint32_t id : active) {
    const auto family = manager.GetFamily(id);
    if (family && family->state == FamilyState::kStopped) (void)manager.ResumeFamily(id, false);
  }
  Release();
}

HRESULT ReadStoredFamily(const fs::path& folder, std::uint32_t id, FamilyRecord& record) {
  std::ifstream in(folder / (std::to_string(id) + ".tsf"), std::ios::binary);
  if (!in) return HR_FILE_NOT_FOUND;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return DecodeFamily(bytes, record);
}

}  // namespace korvex::session
