//===- service/WindowRequests.h - What the windows show besides files -*- C++ -*-===//
///
/// The file count of a directory, the account's space and the preview
/// address of a picture or a video are not store operations: the windows
/// ask for them directly (KorvexDataStoreRemote::CountFiles, GetSpace,
/// GetPreviewUrl) and show the answer, keeping what they showed before when
/// a request fails. These are the payloads of those results and the reading
/// of their answers.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "service/RequestContext.h"

#include <boost/tuple/tuple.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

/// CountFiles: the number of files below the directory.
using FileCountPayload = boost::tuple<HRESULT, std::uint64_t>;
/// GetSpace: bytes used, bytes the account may use.
using SpacePayload = boost::tuple<HRESULT, std::uint64_t, std::uint64_t>;
/// GetPreviewUrl: the preview's address as the service gave it.
using PreviewPayload = boost::tuple<HRESULT, std::string>;

/// Splits a preview address at the first "/" after "://" into the server
/// part ("http://host:port") and the path ("/preview/7?t=..", "/" when the
/// address has none). False, with both empty, for an address without
/// "http" and "://", which the preview window cannot open.
[[nodiscard]] bool SplitPreviewAddress(std::string_view url, std::string& server, std::string& path);

/// Whether `type` is one of the window requests.
[[nodiscard]] bool IsWindowAnswer(RequestType type) noexcept;

/// Completes a window request's result from a transport-successful `body`.
void CompleteWindowAnswer(RequestContext& context, const std::string& body);

}  // namespace korvex
