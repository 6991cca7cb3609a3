//===- store/AwaitedResult.cpp - A waited-for call result -----------------===//

#include "store/AwaitedResult.h"

#include "store/DataStore.h"

#include <string>

namespace korvex {
namespace detail {
// Defined in DataStore.cpp, read by DataStore::LastErrorMessage.
void RecordCallMessage(std::string message) noexcept;
}  // namespace detail

AwaitedResult::AwaitedResult(AsyncResult* result, bool pumping, OutcomeRule rule)
    : result_(result) {
  if (pumping) {
    (void)result_->WaitPumping(kWaitNoLimit);
  } else {
    result_->Wait();
  }
  status_ = rule == OutcomeRule::kPayloadStatus ? ReadOutcome(*result_) : ReadCallStatus(*result_);
  detail::RecordCallMessage(Failed(status_) ? result_->Message() : std::string());
}

AwaitedResult::~AwaitedResult() {
  if (result_->State() == kAsyncSucceeded) DeletePayloadObjects(*result_);
  result_->Release();
}

}  // namespace korvex
