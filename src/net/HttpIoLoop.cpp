//===- net/HttpIoLoop.cpp - One libcurl multi handle and its thread ------===//

#include "net/HttpIoLoop.h"

#include <pthread.h>

#include <algorithm>
#include <cassert>
#include <iterator>
#include <utility>

#include "foundation/LogMgr.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "HttpRequestor";
// Upper bound of one wait; libcurl's own timers shorten it as needed.
constexpr int kPollMs = 1000;
// Idle keep-alive connections kept for reuse; above the 32 parallel requests
// a busy service back end issues, so a burst never closes what the next
// burst could reuse.
constexpr long kMaxCachedConnections = 64;
// Servers built on a thread per connection (the local service among them)
// stall new connections while idle keep-alive ones hold every worker; beyond
// this many, requests wait for a connection of their own requestor instead.
constexpr long kMaxConnectionsPerHost = 32;

}  // namespace

HttpIoLoop::HttpIoLoop(TlsSettings tls) : tls_(std::move(tls)) {}

HttpIoLoop::~HttpIoLoop() {
  assert(!thread_.joinable() && "HttpIoLoop destroyed without Shutdown");
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
}

HRESULT HttpIoLoop::Start(TlsSettings tls, std::shared_ptr<HttpIoLoop>& loop) {
  std::shared_ptr<HttpIoLoop> created(new HttpIoLoop(std::move(tls)));
  created->multi_ = curl_multi_init();
  if (created->multi_ == nullptr) {
    LogMgr::Get().Error(kCategory, "curl_multi_init failed");
    return E_OUTOFMEMORY;
  }
  curl_multi_setopt(created->multi_, CURLMOPT_MAXCONNECTS, kMaxCachedConnections);
  curl_multi_setopt(created->multi_, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxConnectionsPerHost);
  try {
    created->thread_ = std::thread([self = created] { self->Run(); });
  } catch (const std::system_error& error) {
    LogMgr::Get().Error(kCategory, "Cannot start the I/O thread: %s", error.what());
    return E_OUTOFMEMORY;
  }
  created->threadId_ = created->thread_.get_id();
  loop = std::move(created);
  return S_OK;
}

HRESULT HttpIoLoop::Submit(std::unique_ptr<HttpTransfer>& transfer) {
  std::lock_guard lock(mutex_);
  if (stopping_.load() || multi_ == nullptr) return HResultFromHttp(kHttpErrorCancelled);
  // A group's chunk requests come in a burst: the wake of the first brings
  // the loop to take all of them, so the others need not interrupt it again.
  const bool alreadyWoken = !submitted_.empty();
  submitted_.push_back(std::move(transfer));
  if (!alreadyWoken) curl_multi_wakeup(multi_);
  return S_OK;
}

void HttpIoLoop::DropLane(const std::string& key) {
  if (key.empty()) return;
  std::lock_guard lock(mutex_);
  if (stopping_.load() || multi_ == nullptr) return;
  // Handed over before this call but not admitted yet: they go as well.
  const auto kept = std::stable_partition(submitted_.begin(), submitted_.end(),
                                          [&](const auto& transfer) { return transfer->Lane().key != key; });
  std::move(kept, submitted_.end(), std::back_inserter(dropped_));
  submitted_.erase(kept, submitted_.end());
  droppedLanes_.push_back(key);
  curl_multi_wakeup(multi_);
}

void HttpIoLoop::CancelRequests(std::function<bool(void* userParam)> match) {
  std::lock_guard lock(mutex_);
  if (stopping_.load() || multi_ == nullptr) return;
  cancels_.push_back(std::move(match));
  curl_multi_wakeup(multi_);
}

void HttpIoLoop::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    stopping_.store(true);
    if (multi_ != nullptr) curl_multi_wakeup(multi_);
  }
  if (!thread_.joinable()) return;
  if (OnIoThread()) {
    // Destroyed from inside a completion: finish the others now, since the
    // caller expects no completion after this returns, and let the thread
    // end by itself once the current completion is back.
    CancelAll();
    thread_.detach();
    return;
  }
  thread_.join();
}

void HttpIoLoop::Run() {
  pthread_setname_np(pthread_self(), "korvex-http");
  while (!stopping_.load()) {
    AddSubmitted();
    int running = 0;
    curl_multi_perform(multi_, &running);
    CompleteFinished();
    if (stopping_.load()) break;
    // A lane's next request, started by a completion, goes out at once.
    if (std::exchange(laneStarted_, false)) continue;
    curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
  }
  CancelAll();
  std::lock_guard lock(mutex_);
  curl_multi_cleanup(multi_);
  multi_ = nullptr;
}

void HttpIoLoop::AddSubmitted() {
  std::vector<std::unique_ptr<HttpTransfer>> batch;
  std::vector<std::unique_ptr<HttpTransfer>> dropped;
  std::vector<std::string> lanes;
  std::vector<std::function<bool(void*)>> cancels;
  {
    std::lock_guard lock(mutex_);
    batch.swap(submitted_);
    dropped.swap(dropped_);
    lanes.swap(droppedLanes_);
    cancels.swap(cancels_);
  }
  // Lanes go before the batch joins them: what of the batch is left in a
  // dropped lane was handed over after the drop.
  for (const std::string& key : lanes) TakeWaiting(key, dropped);
  for (auto& transfer : dropped) transfer->Complete(HResultFromHttp(kHttpErrorCancelled));
  // A completion may have shut the loop down from this thread.
  for (auto& transfer : batch) {
    if (stopping_.load()) transfer->Complete(HResultFromHttp(kHttpErrorCancelled));
    else Admit(std::move(transfer));
  }
  // After the batch: a request handed over just before its cancel is known
  // by now, wherever it went.
  for (const auto& match : cancels) {
    if (stopping_.load()) break;
    CancelMatching(match);
  }
}

void HttpIoLoop::CancelMatching(const std::function<bool(void*)>& match) {
  std::vector<std::unique_ptr<HttpTransfer>> victims;
  std::vector<std::string> freedLanes;
  for (auto it = active_.begin(); it != active_.end();) {
    if (!match(it->second->UserParam())) {
      ++it;
      continue;
    }
    // Taken off the multi handle in mid-answer, its connection cannot be
    // reused and is closed: the server sees the client go.
    curl_multi_remove_handle(multi_, it->first);
    if (!it->second->Lane().key.empty()) freedLanes.push_back(it->second->Lane().key);
    victims.push_back(std::move(it->second));
    it = active_.erase(it);
  }
  for (auto& [key, lane] : lanes_) {
    auto kept = std::stable_partition(lane.waiting.begin(), lane.waiting.end(),
                                      [&](const auto& transfer) { return !match(transfer->UserParam()); });
    std::move(kept, lane.waiting.end(), std::back_inserter(victims));
    lane.waiting.erase(kept, lane.waiting.end());
  }
  for (const std::string& key : freedLanes) LeaveLane(key);
  // Every victim completes, even when one of the completions shuts the
  // loop down: they are no longer where the shutdown looks for them.
  for (auto& transfer : victims) transfer->Complete(HResultFromHttp(kHttpErrorCancelled));
}

void HttpIoLoop::TakeWaiting(const std::string& key, std::vector<std::unique_ptr<HttpTransfer>>& out) {
  const auto found = lanes_.find(key);
  if (found == lanes_.end()) return;
  Lane& lane = found->second;
  for (auto& transfer : lane.waiting) out.push_back(std::move(transfer));
  lane.waiting.clear();
  if (lane.running == 0) lanes_.erase(found);
}

void HttpIoLoop::Admit(std::unique_ptr<HttpTransfer> transfer) {
  const HttpLane& lane = transfer->Lane();
  if (!lane.key.empty()) {
    Lane& queue = lanes_[lane.key];
    if (queue.running >= lane.limit) {
      queue.waiting.push_back(std::move(transfer));
      return;
    }
    ++queue.running;
  }
  Start(std::move(transfer));
}

void HttpIoLoop::Start(std::unique_ptr<HttpTransfer> transfer) {
  CURL* easy = transfer->Easy();
  const CURLMcode added = curl_multi_add_handle(multi_, easy);
  if (added == CURLM_OK) {
    active_.emplace(easy, std::move(transfer));
    return;
  }
  LogMgr::Get().Error(kCategory, "curl_multi_add_handle failed: %s", curl_multi_strerror(added));
  const std::string key = transfer->Lane().key;
  transfer->Complete(HResultFromHttp(kHttpErrorInternal));
  transfer.reset();
  if (!key.empty() && !stopping_.load()) LeaveLane(key);
}

void HttpIoLoop::LeaveLane(const std::string& key) {
  auto found = lanes_.find(key);
  if (found == lanes_.end()) return;
  Lane& lane = found->second;
  if (lane.running > 0) --lane.running;
  if (lane.waiting.empty()) {
    if (lane.running == 0) lanes_.erase(found);
    return;
  }
  std::unique_ptr<HttpTransfer> next = std::move(lane.waiting.front());
  lane.waiting.pop_front();
  ++lane.running;
  laneStarted_ = true;
  Start(std::move(next));
}

void HttpIoLoop::CompleteFinished() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* easy = message->easy_handle;
    const CURLcode result = message->data.result;
    auto found = active_.find(easy);
    assert(found != active_.end() && "finished transfer unknown to its loop");
    if (found == active_.end()) continue;
    std::unique_ptr<HttpTransfer> transfer = std::move(found->second);
    active_.erase(found);
    const HRESULT status = transfer->Conclude(result);
    curl_multi_remove_handle(multi_, easy);
    // The lane's next request goes out before this completion runs.
    if (!transfer->Lane().key.empty()) LeaveLane(transfer->Lane().key);
    transfer->Complete(status);
    // A completion may have destroyed the requestor: stop touching messages.
    if (stopping_.load()) break;
  }
}

void HttpIoLoop::CancelAll() {
  // Completions may submit again; the stopping flag refuses those, so this
  // ends after the transfers already known.
  std::vector<std::unique_ptr<HttpTransfer>> victims;
  {
    std::lock_guard lock(mutex_);
    victims.swap(submitted_);
    std::move(dropped_.begin(), dropped_.end(), std::back_inserter(victims));
    dropped_.clear();
    droppedLanes_.clear();
    cancels_.clear();
  }
  for (auto& [easy, transfer] : active_) {
    curl_multi_remove_handle(multi_, easy);
    victims.push_back(std::move(transfer));
  }
  active_.clear();
  for (auto& [key, lane] : lanes_) {
    for (auto& transfer : lane.waiting) victims.push_back(std::move(transfer));
  }
  lanes_.clear();
  for (auto& transfer : victims) transfer->Complete(HResultFromHttp(kHttpErrorCancelled));
}

}  // namespace korvex
