//===- service/RequestContext.h - What a request's answer needs --*- C++ -*-===//
///
/// One context travels with each request as the transport's user parameter.
/// It is created by the operation that sends and deleted by the completion
/// routine, which is called exactly once per request that was handed over.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "net/HttpRequestor.h"
#include "service/RequestType.h"
#include "store/AsyncResult.h"
#include "store/ObjectInfo.h"

#include <boost/any.hpp>

#include <memory>
#include <string>

namespace korvex {

struct ChunkGroupCall;

struct RequestContext {
  /// Takes one reference to `asyncResult` for the request.
  RequestContext(RequestType requestType, AsyncResult* asyncResult, std::string subjectName)
      : type(requestType), result(asyncResult), subject(std::move(subjectName)) {
    result->AddRef();
  }
  ~RequestContext() { result->Release(); }
  RequestContext(const RequestContext&) = delete;
  RequestContext& operator=(const RequestContext&) = delete;

  RequestType type;
  /// The result the caller holds; completed exactly once by the answer.
  AsyncResult* result;
  /// The `uri` of the record the request is about (empty for streams).
  std::string subject;
  /// Per request: what building the answer needs beyond the subject
  /// (CreateDirectoryExtra for a new directory, CreateItemExtra for an
  /// upload preparation, the asked length as std::uint32_t for block and
  /// chunk reads).
  boost::any extra;
  /// Paces the request with others of its stream (chunk requests only).
  HttpLane lane;
  /// Where a chunk of a group call takes its bytes from or puts them.
  HttpBodyPlace place;
  /// Bytes the transport put at `place` (a chunk read of a group call).
  std::size_t received = 0;
  /// The group call a chunk request belongs to; null for any other request.
  std::shared_ptr<ChunkGroupCall> group;
};

/// What the answer to a new directory needs: the parent's `uri` and the
/// requested name, since the service answers with the id only.
struct CreateDirectoryExtra {
  std::string parentUri;
  std::string name;
};

/// What the answer to an upload preparation needs: the service answers with
/// the new file's id and token only, and the item is built from the rest.
struct CreateItemExtra {
  std::string parentUri;
  ItemInfo item;
};

}  // namespace korvex
