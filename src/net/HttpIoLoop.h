//===- net/HttpIoLoop.h - One libcurl multi handle and its thread -*- C++ -*-===//
///
/// Drives every transfer of one requestor: a libcurl multi handle owned by
/// one I/O thread, so that keep-alive connections and the DNS cache are
/// shared by all its requests and every completion runs on that thread.
/// Other threads only hand transfers over (Submit) and wake the thread.
///
/// The loop is shared between its requestor and its thread: when a
/// requestor is destroyed from inside one of its completions, the thread
/// cannot be joined, so it finishes on its own and frees the loop last.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include <curl/curl.h>

#include "net/HttpTransfer.h"

namespace korvex {

class HttpIoLoop : public std::enable_shared_from_this<HttpIoLoop> {
 public:
  /// Creates the multi handle and starts the thread.
  [[nodiscard]] static HRESULT Start(TlsSettings tls, std::shared_ptr<HttpIoLoop>& loop);

  ~HttpIoLoop();
  HttpIoLoop(const HttpIoLoop&) = delete;
  HttpIoLoop& operator=(const HttpIoLoop&) = delete;

  /// Hands a prepared transfer to the I/O thread. On failure (the loop is
  /// shutting down) the transfer comes back untouched in `transfer`.
  [[nodiscard]] HRESULT Submit(std::unique_ptr<HttpTransfer>& transfer);

  /// Gives up the requests of lane `key` that have not gone on the wire:
  /// each completes with the cancelled status on the I/O thread. Those on
  /// the wire run to their end; requests handed over later join the lane as
  /// usual.
  void DropLane(const std::string& key);

  /// Gives up the transfers `match` picks by their user parameter (see
  /// HttpRequestor::CancelRequests); applied on the I/O thread after what
  /// was handed over before this call has been admitted.
  void CancelRequests(std::function<bool(void* userParam)> match);

  /// Cancels every transfer (each completes with the cancelled status) and
  /// ends the thread. Returns after the last completion has run, also when
  /// called from inside a completion.
  void Shutdown();

  [[nodiscard]] bool OnIoThread() const { return std::this_thread::get_id() == threadId_; }

  /// Lives as long as the loop, for transfers that point at it.
  [[nodiscard]] const TlsSettings& Tls() const { return tls_; }

 private:
  explicit HttpIoLoop(TlsSettings tls);
  void Run();
  /// Drops the lanes asked for, then admits what was handed over.
  void AddSubmitted();
  /// Moves the transfers waiting in lane `key` to `out`.
  void TakeWaiting(const std::string& key, std::vector<std::unique_ptr<HttpTransfer>>& out);
  /// Starts `transfer`, or queues it behind its lane's running ones.
  void Admit(std::unique_ptr<HttpTransfer> transfer);
  void Start(std::unique_ptr<HttpTransfer> transfer);
  /// A transfer of lane `key` ended: starts the next one waiting in it.
  void LeaveLane(const std::string& key);
  void CompleteFinished();
  /// Completes, cancelled, every known transfer that `match` picks.
  void CancelMatching(const std::function<bool(void* userParam)>& match);
  void CancelAll();

  const TlsSettings tls_;
  CURLM* multi_ = nullptr;       // freed under mutex_ so a late Submit never wakes a dead handle
  std::thread thread_;
  std::thread::id threadId_;
  std::atomic<bool> stopping_{false};

  std::mutex mutex_;  // guards the four below and the lifetime of multi_
  std::vector<std::unique_ptr<HttpTransfer>> submitted_;
  std::vector<std::string> droppedLanes_;
  std::vector<std::unique_ptr<HttpTransfer>> dropped_;  // taken from submitted_ by DropLane
  std::vector<std::function<bool(void*)>> cancels_;      // CancelRequests not applied yet

  // I/O thread only.
  std::unordered_map<CURL*, std::unique_ptr<HttpTransfer>> active_;
  struct Lane {
    std::uint32_t running = 0;
    std::deque<std::unique_ptr<HttpTransfer>> waiting;
  };
  std::unordered_map<std::string, Lane> lanes_;
  bool laneStarted_ = false;
};

}  // namespace korvex
