//===- service/TransferAnswers.h - Answers of file data requests -*- C++ -*-===//
///
/// The block and stream requests are answered in plain text, raw bytes or a
/// response header rather than by the JSON envelope alone: an upload
/// preparation answers "<id>.<ext>" and a "TOKEN" cookie, a completion "1",
/// a read the bytes themselves, a stream request its status header
/// "x-korvexws-idt-status: code=N". Each handler completes the context's
/// result exactly once.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "net/HttpRequestor.h"
#include "platform/HResult.h"
#include "service/RequestContext.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <deque>
#include <string>
#include <string_view>

namespace korvex {

/// Status codes of the file data requests.
inline constexpr HRESULT HR_SHORT_READ = MakeHResult(0x80071F43u);
inline constexpr HRESULT HR_UPLOAD_NOT_CONFIRMED = MakeHResult(0x80071B5Au);
inline constexpr HRESULT HR_NO_TARGET_DIRECTORY = MakeHResult(0x800707D3u);
/// The service does not store empty files: "The uploaded file could not be null".
inline constexpr HRESULT HR_EMPTY_UPLOAD = MakeHResult(0x80070BCCu);

/// The stream status that means success.
inline constexpr std::string_view kStreamStatusOk = "2000";

/// Whether the answer of `type` is read by CompleteBlockAnswer (upload
/// preparation and completion, download preparation, block read, MD5).
[[nodiscard]] bool IsBlockAnswer(RequestType type) noexcept;
/// Whether the answer of `type` is read by CompleteStreamAnswer.
[[nodiscard]] bool IsStreamAnswer(RequestType type) noexcept;

void CompleteBlockAnswer(RequestContext& context, const std::string& body,
                         const std::deque<std::string>& setCookies);
void CompleteStreamAnswer(RequestContext& context, const std::string& body, const HttpHeaderMap& headers);

/// What the chunk requests of one ReadChunks or WriteChunks call share. The
/// result (every chunk's context holds it) completes once: at the first
/// failure, or when the last chunk is done.
struct ChunkGroupCall {
  /// A read's buffer, handed to the caller with the success.
  std::unique_ptr<std::uint8_t[]> received;
  /// A write's bytes, held while any chunk may still send them.
  std::shared_ptr<const std::uint8_t[]> sent;
  std::atomic<std::uint32_t> remaining{0};
  std::atomic<bool> ended{false};
  std::shared_ptr<std::atomic<std::uint32_t>> moved;
};

/// The answer to a chunk of a group call, with the transport's `status`:
/// counts it, or ends the group call with the first failure.
void CompleteGroupChunk(RequestContext& context, HRESULT status, const HttpHeaderMap& headers);

/// The length a block or chunk read asked for, kept in the context.
[[nodiscard]] std::uint32_t AskedLength(const RequestContext& context) noexcept;
/// False, with the result completed as a short read (logged at Error under
/// `category`), when `body` holds fewer bytes than the asked length.
[[nodiscard]] bool CheckReadLength(RequestContext& context, const std::string& body, const char* category);
/// Completes with a new buffer of the asked length from the start of `body`.
void CompleteWithReadBuffer(RequestContext& context, const std::string& body);

/// The status code of a stream status ("4003" gives 0x804F0013); anything
/// unknown, and a missing status, reads as "the file is gone" (0x80070002).
[[nodiscard]] HRESULT StreamStatusCode(std::string_view streamStatus) noexcept;

/// A refusal state as a status code without the "exists" special cases:
/// none (0) gives 0x804F0000, a positive state 0x8007xxxx, a negative one
/// itself.
[[nodiscard]] HRESULT StateStatus(std::int32_t state) noexcept;

}  // namespace korvex
