// Upload and download tokens, and the byte I/O on file contents that the
// block and stream paths share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Service.h"

namespace korvexd {

/// A "TOKEN" handed out by an upload or download preparation.
struct Transfer {
  std::string token;
  std::int64_t fileId = 0;
  bool upload = false;
  std::string auth;         // the AUTH_PRO of the session that prepared it
  std::int64_t codeId = 0;  // set when an access code prepared it
  std::int64_t created = 0;
};

std::optional<Transfer> FindTransfer(Service& service, const std::string& token);
/// The token names this file, and the "a=" value names the session that
/// prepared it; tokens an access code prepared accept any "a=".
bool TransferAllows(const Transfer& transfer, std::int64_t fileId, const std::string& auth);
std::string NewTransfer(Service& service, std::int64_t fileId, bool upload, const Session& session);
/// The token still stands for the file: it has not expired, its session or
/// access code is still valid, and its holder still has the right (upload or
/// download) on the file's directory. Checked on every data request, so a
/// withdrawn share or a deleted code takes effect at once.
bool TransferStillValid(Service& service, const Transfer& transfer, const File& file);

/// Records that [first, end) of an upload's bytes arrived; batched, it may
/// wait with others of its kind (a stream's chunks) before it is written.
void RecordReceived(Service& service, std::int64_t fileId, std::uint64_t first, std::uint64_t end, bool batched);
/// Writes every received range still waiting into the database.
void FlushReceived(Service& service);

struct UploadRequest {
  std::string name;
  std::int64_t size = 0;
  std::int64_t mtime = 0;
  int sec = 0;
  bool override = false;
  bool mayReplace = false;  // the caller holds the right to delete in the directory
};

/// Parses the preparation form fields shared by account and code uploads;
/// refuses the call and returns nullopt when they are unusable.
std::optional<UploadRequest> ReadUploadRequest(Call& call);
/// Creates the partial file in dir, charging its declared size to the
/// owner's quota at once, and answers the plain-text form "<id><extension>"
/// with a "TOKEN" cookie, or a refusal. An access-code visitor (the call's
/// session has a code) never replaces or reveals a file: a name taken at
/// completion gives the visitor's file a free name instead.
void PrepareUpload(Service& service, Call& call, const Dir& dir, const UploadRequest& request);
/// Completes an upload once every byte of the declared size has arrived;
/// answers "1". A complete file that took the name meanwhile is replaced
/// only when override was asked at preparation by a caller who may still
/// delete there.
void FinishUpload(Service& service, Call& call, std::int64_t fileId, const std::string& token,
                  const std::string& auth);

/// Where a request body carrying [first, first+length) of an upload is
/// written as it arrives: into the upload's contents, when the upload is
/// open and none of those bytes has arrived before, so that a body cut short
/// can only land where nothing stood. The upload cannot complete until the
/// request is over, and bytes of that range recorded meanwhile are
/// forgotten again when the body did not arrive whole.
std::optional<BodyPlace> PlaceUploadBytes(Service& service, std::int64_t fileId, std::uint64_t first,
                                          std::uint64_t length);
/// The length of a raw request body, wherever it went.
std::uint64_t BodyLength(const Call& call);
/// Stores a request's body at offset `first` of an open upload's contents
/// (written already when PlaceUploadBytes placed it there) and records the
/// bytes as received, `batched` as RecordReceived. False when the upload is
/// no longer open or the bytes could not be written.
bool StoreUploadBytes(Service& service, const Call& call, std::int64_t fileId, std::uint64_t first, bool batched);

/// Writes bytes at an offset of a file's existing contents; false when the
/// contents are gone (the file was deleted) or on an I/O error.
bool WriteAt(const std::filesystem::path& path, std::uint64_t offset, const std::string& data);
/// Up to length bytes at an offset, to be sent from the open file rather
/// than read into memory; nullopt when the contents cannot be opened.
std::optional<FileSlice> SliceAt(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length);
/// Size of a file's contents on disk, 0 when absent.
std::uint64_t StoredSize(const std::filesystem::path& path);

}  // namespace korvexd
