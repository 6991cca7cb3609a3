//===- session/LocalUpload.h - One local file into a folder of a store -*- C++ -*-===//
///
/// The upload that needs no transfer family: block by block through the
/// store's block protocol, as an access-code visitor must upload and as
/// either front end does for a single small file. The caller's thread waits.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/DataStore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace korvex::session {

/// UploadLocalFile's status for a local file that cannot be opened (ERROR_READ_FAULT).
inline constexpr HRESULT kLocalFileUnreadable = HResultFromWin32(30);

/// Told after each block (bytes sent so far) and once more with the size
/// when all are sent; the front end draws what it likes.
using UploadProgress = std::function<void(const ItemInfo& item, std::uint64_t sent)>;

/// Uploads the regular file `local` into `folder` of `store` block by block
/// (with the access code after `login --code`) and reports the transfer;
/// `item` receives the new file's record. E_INVALIDARG for something that is
/// not a regular file, kLocalFileUnreadable for one that cannot be read; a refusal
/// of the service may leave its words in `message`. Blocks the caller.
[[nodiscard]] HRESULT UploadLocalFile(DataStore& store, const ContainerInfo& folder, const std::filesystem::path& local,
                                      bool overwrite, const UploadProgress& progress, ItemInfo& item,
                                      std::string& message);

/// Starts a call on a store's back end, waits for it and returns its
/// status; `use` reads the payload of a success.
template <class Payload, class Start, class Use>
[[nodiscard]] HRESULT Await(Start&& start, Use&& use, std::string& message) {
  AsyncResult* result = nullptr;
  HRESULT hr = start(&result);
  if (Failed(hr) || !result) return hr;
  result->Wait();
  hr = ReadOutcome(*result);
  message = result->Message();
  if (Succeeded(hr)) {
    if (const Payload* payload = result->PayloadAs<Payload>()) use(*payload);
  }
  result->Release();
  return hr;
}

}  // namespace korvex::session
