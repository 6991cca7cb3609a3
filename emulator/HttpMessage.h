// The request and answer a korvexd route sees, free of the HTTP library
// underneath, so that route code reads the same whatever carries the bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace korvexd {

/// Header field names compare without case, as HTTP wants.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using Headers = std::multimap<std::string, std::string, CaseInsensitiveLess>;

/// An open file an answer is sent from, or a request body is written into;
/// closed with the last request or answer using it.
class OpenFile {
 public:
  /// Opens for reading; nullptr when the file cannot be opened.
  static std::shared_ptr<OpenFile> Open(const std::string& path);
  /// Opens an existing file for writing; nullptr when it cannot be opened.
  static std::shared_ptr<OpenFile> OpenForWriting(const std::string& path);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  OpenFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

/// Where a request body of known length is written as it arrives, instead of
/// being held in memory: at an offset of an open file.
struct BodyPlace {
  std::shared_ptr<OpenFile> file;
  std::uint64_t offset = 0;
  /// Runs once the request is over, told whether the whole body was stored.
  std::function<void(bool whole)> release;
};

/// A body that went into a file as it arrived.
struct StoredBody {
  BodyPlace place;
  std::uint64_t length = 0;  // as announced
  std::uint64_t written = 0;
  bool failed = false;       // a write failed; what followed was read and dropped
  ~StoredBody() {
    if (place.release) place.release(Whole());
  }
  bool Whole() const { return !failed && written == length; }
};

struct Request {
  std::string method;
  std::string target;   // as sent: path and query
  std::string path;     // percent-decoded, without the query
  std::string version;  // "HTTP/1.1"
  Headers headers;
  std::multimap<std::string, std::string> params;  // the query, decoded
  std::smatch matches;  // the route pattern's groups, over `path`
  std::string remoteAddress;
  std::string body;     // complete before any route sees the request...
  std::shared_ptr<StoredBody> stored;  // ...unless its route placed it in a file

  /// The first value of a header, or "".
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const { return headers.count(name) != 0; }
  std::size_t HeaderCount(const std::string& name) const { return headers.count(name); }
};

/// A byte range of an open file, sent in pieces rather than held in memory.
struct FileSlice {
  std::shared_ptr<OpenFile> file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct Response {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::optional<FileSlice> file;  // when set, the body comes from here instead
  /// Fault injection: announce the whole body, send this much, then drop the connection.
  std::optional<std::uint64_t> sendOnly;

  void SetContent(std::string content, std::string_view type);
  void SetFile(FileSlice slice, std::string_view type);
  /// Adds a header; repeated names (Set-Cookie) give repeated lines.
  void SetHeader(std::string_view name, std::string value);
  /// The first value of a header, or "".
  std::string Header(std::string_view name) const;
  std::uint64_t BodySize() const { return file ? file->length : body.size(); }
};

}  // namespace korvexd
