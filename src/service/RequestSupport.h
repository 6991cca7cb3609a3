//===- service/RequestSupport.h - Shared steps of building requests -*- C++ -*-===//
///
/// Steps every request family of the service back end takes before it
/// sends: finding the service id of a record, and keeping an allocation
/// failure while building a request from escaping as an exception.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/LogMgr.h"
#include "platform/HResult.h"
#include "store/AsyncResult.h"

#include <boost/any.hpp>

#include <cstdint>
#include <new>
#include <string>

namespace korvex {

/// The service id (std::uint64_t) in a record's `tag`, or null. A record
/// without one was not listed by the service (or came from another store),
/// so there is nothing to send; that is logged.
[[nodiscard]] inline const std::uint64_t* ServiceId(const boost::any& tag, const std::string& uri) {
  const auto* id = boost::any_cast<std::uint64_t>(&tag);
  if (!id) LogMgr::Get().Warn("KorvexDataStoreRemote", "No service id for %s", uri.c_str());
  return id;
}

/// Clears the out result and returns `status`: the operation did not start.
[[nodiscard]] inline HRESULT NotStarted(AsyncResult** result, HRESULT status) noexcept {
  if (result) *result = nullptr;
  return status;
}

/// Runs `body`, turning an exception into a status with no result handed out.
template <typename Body>
[[nodiscard]] HRESULT Guarded(AsyncResult** result, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return NotStarted(result, E_OUTOFMEMORY);
  } catch (...) {
    return NotStarted(result, E_UNEXPECTED);
  }
}

}  // namespace korvex
