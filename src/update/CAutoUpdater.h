//===- update/CAutoUpdater.h - Fetches published updates --------*- C++ -*-===//
///
/// The update protocol shared by every updatable file: fetch the published
/// description, compare its version with the marker in the installed file,
/// and download the new file. Subclasses name the paths and what installing
/// means. Every request carries "?<tick>" so that no cache between the
/// client and the web site answers with an old description.
///
/// A downloaded file is kept only when it passes CheckDownloadedFile against
/// the description of the last CheckForUpdate (fetched anew when there was
/// none): a refused body is never written, so neither the installed file
/// nor an earlier download is touched, and RefusalMessage() tells the user
/// why.
///
/// Each request runs on the owned requestor's I/O thread while the caller
/// waits for it or for its cancel event. A cancelled wait returns at once
/// with E_ABORT; the request finishes in the background and its answer is
/// dropped.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "net/HttpRequestor.h"
#include "platform/Event.h"
#include "platform/HResult.h"
#include "update/UpdateDescription.h"

namespace korvex {

/// CheckForUpdate's answer when the installed file is current.
inline constexpr HRESULT kNoUpdateDue = S_FALSE;

class CAutoUpdater {
 public:
  /// `baseUrl` is the web site that publishes the files.
  explicit CAutoUpdater(std::string baseUrl);
  virtual ~CAutoUpdater();
  CAutoUpdater(const CAutoUpdater&) = delete;
  CAutoUpdater& operator=(const CAutoUpdater&) = delete;

  /// The local file whose version is compared and which an update replaces.
  [[nodiscard]] virtual std::filesystem::path GetTargetPath() const = 0;
  /// URL paths of the description and of the new file, from "/".
  [[nodiscard]] virtual std::string GetDescPath() const = 0;
  [[nodiscard]] virtual std::string GetBinaryPath() const = 0;
  /// Fetches and installs the new file.
  [[nodiscard]] virtual HRESULT Update(Event* cancel) = 0;

  /// S_OK when an update is due (the published version is newer, or the
  /// target file is missing), kNoUpdateDue when the target is current or
  /// newer, a failure otherwise (E_INVALIDARG for a malformed description).
  /// `published` is filled whenever the description was read.
  [[nodiscard]] HRESULT CheckForUpdate(UpdateDescription& published, Event* cancel);

  /// The description file's text.
  [[nodiscard]] HRESULT GetDesc(std::string& text, Event* cancel);
  /// Writes the new file to `file` (replacing it all at once, mode 0755)
  /// once it passed the checks above. An empty answer is E_INVALIDARG, a
  /// refused one the check's code; either leaves an existing `file` as it was.
  [[nodiscard]] HRESULT DownloadBinary(const std::filesystem::path& file, Event* cancel);

  /// Why the last download was refused, for the user; empty when it was not.
  [[nodiscard]] const std::string& RefusalMessage() const { return refusal_; }

  [[nodiscard]] const std::string& BaseUrl() const { return baseUrl_; }

 protected:
  /// The version of what is installed now: S_OK with `version`, S_FALSE when
  /// nothing is installed (the update is due whatever was published), a
  /// failure when it cannot be told. By default the target's marker.
  [[nodiscard]] virtual HRESULT QueryInstalledVersion(FileVersion& version) const;

 private:
  enum class RequestType { kGetDesc, kDownloadBinary };
  struct Request;

  /// GetDesc and parse into published_.
  [[nodiscard]] HRESULT FetchDescription(Event* cancel);
  /// CheckDownloadedFile against published_; sets refusal_ on failure.
  [[nodiscard]] HRESULT CheckBody(std::string_view body);
  [[nodiscard]] HRESULT Get(RequestType type, const std::string& path, std::string& body, Event* cancel);
  static void OnCompleted(HRESULT status, const std::string& body, const std::deque<std::string>& setCookies,
                          const HttpHeaderMap& headers, void* userParam);

  std::string baseUrl_;
  HRESULT initStatus_ = S_OK;
  std::unique_ptr<HttpRequestor> requestor_;
  std::optional<UpdateDescription> published_;  // of the last CheckForUpdate
  std::string refusal_;
};

}  // namespace korvex
