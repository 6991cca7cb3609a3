//===- service/ResultCompletion.h - Completing with a payload ----*- C++ -*-===//
#pragma once

#include "store/IDataStoreRemote.h"

namespace korvex {

/// Stores `payload` and completes `result` with its status. A completer that
/// lost to a cancel frees the objects the payload owns, since no receiver
/// will.
template <typename Tuple>
void CompleteWith(AsyncResult& result, const Tuple& payload) {
  result.SetPayload(payload);
  if (!result.Complete(boost::get<0>(payload))) DeletePayloadObjects(result);
}

}  // namespace korvex
