//===- app/InstanceWatcher.h - Answers later starts of the client -*- C++ -*-===//
///
/// The thread that waits for a later start of the client to knock on the
/// instance channel, and for its own stop event. A knock is handed to
/// `onKnock` on the watcher's thread; the caller posts it on to the GUI
/// thread, which brings the login dialog or the main window forward.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/Event.h"
#include "platform/HResult.h"
#include "platform/InstanceChannel.h"

#include <functional>
#include <memory>
#include <thread>

namespace korvex::app {

class InstanceWatcher {
 public:
  /// `channel` must outlive the watcher.
  InstanceWatcher(InstanceChannel& channel, std::function<void()> onKnock);
  /// Stops the thread and waits for it.
  ~InstanceWatcher();
  InstanceWatcher(const InstanceWatcher&) = delete;
  InstanceWatcher& operator=(const InstanceWatcher&) = delete;

  [[nodiscard]] HRESULT Start();
  /// Signals the stop event and waits for the thread without limit.
  void Stop();

 private:
  void Run();

  InstanceChannel& channel_;
  std::function<void()> onKnock_;
  std::unique_ptr<Event> stop_;
  std::thread thread_;
};

}  // namespace korvex::app
