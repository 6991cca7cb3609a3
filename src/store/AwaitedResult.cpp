//===- store/AwaitedResult.cpp - A waited-for call result -----------------===//

#include "store/AwaitedResult.h"

#include "store/DataStore.h"

#include <string>

namespace korvex {
namespace detail {
// Defined in DataStore.cpp, read by DataStore::LastErrorMessage.
void RecordCallMessage(std::string message) noexcept;
}  // namespace detail

AwaitedResult::AwaitedResult(AsyncResult* result, bool pumping, OutcomeRule rule, IDataStoreRemote* remote)
    : result_(result) {
  if (pumping) {
    bool askedToStop = false;
    (void)result_->WaitPumping(kWaitNoLimit, [this, remote, &askedToStop] {
      askedToStop = true;
      // The back end also stops the work on the wire; the result itself is
      // cancelled first either way, so the wait ends at once.
      (void)result_->CancelCall();
      if (remote != nullptr) (void)remote->CancelCall(result_);
    });
    // A call that finished just before the user pressed Cancel keeps its outcome.
    givenUp_ = askedToStop && result_->State() == kAsyncCancelled;
  } else {
    result_->Wait();
  }
  if (givenUp_) {
    status_ = E_ABORT;
  } else {
    status_ = rule == OutcomeRule::kPayloadStatus ? ReadOutcome(*result_) : ReadCallStatus(*result_);
  }
  detail::RecordCallMessage(Failed(status_) && !givenUp_ ? result_->Message() : std::string());
}

AwaitedResult::~AwaitedResult() {
  if (result_->State() == kAsyncSucceeded) DeletePayloadObjects(*result_);
  result_->Release();
}

}  // namespace korvex
