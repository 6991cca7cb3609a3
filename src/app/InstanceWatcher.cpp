//===- app/InstanceWatcher.cpp - Answers later starts of the client -------===//

#include "app/InstanceWatcher.h"

#include "foundation/Startup.h"

#include <poll.h>

#include <cerrno>

namespace korvex::app {

InstanceWatcher::InstanceWatcher(InstanceChannel& channel, std::function<void()> onKnock)
    : channel_(channel), onKnock_(std::move(onKnock)) {}

InstanceWatcher::~InstanceWatcher() { Stop(); }

HRESULT InstanceWatcher::Start() {
  if (thread_.joinable()) return S_FALSE;
  if (const HRESULT hr = Event::Create(/*manualReset=*/true, /*initiallySet=*/false, stop_); Failed(hr)) return hr;
  thread_ = std::thread([this] { Run(); });
  return S_OK;
}

void InstanceWatcher::Stop() {
  if (!thread_.joinable()) return;
  stop_->Set();
  thread_.join();
}

void InstanceWatcher::Run() {
  // The thread's texts follow the same language choice as the first thread.
  (void)ChooseLanguage();
  for (;;) {
    pollfd fds[2] = {{channel_.Fd(), POLLIN, 0}, {stop_->Fd(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLNVAL))) return;
    if (fds[0].revents != 0 && channel_.TakeKnocks() > 0) onKnock_();
  }
}

}  // namespace korvex::app
