// The request and answer a korvexd route sees, free of the HTTP library
// underneath, so that route code reads the same whatever carries the bytes.
#pragma once

#include <cstdint>
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

struct Request {
  std::string method;
  std::string target;   // as sent: path and query
  std::string path;     // percent-decoded, without the query
  std::string version;  // "HTTP/1.1"
  Headers headers;
  std::multimap<std::string, std::string> params;  // the query, decoded
  std::smatch matches;  // the route pattern's groups, over `path`
  std::string remoteAddress;
  std::string body;     // complete before any route sees the request

  /// The first value of a header, or "".
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const { return headers.count(name) != 0; }
  std::size_t HeaderCount(const std::string& name) const { return headers.count(name); }
};

/// An open file an answer is sent from; closed with the last answer using it.
class OpenFile {
 public:
  /// Opens for reading; nullptr when the file cannot be opened.
  static std::shared_ptr<OpenFile> Open(const std::string& path);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }

 private:
  explicit OpenFile(int fd) : fd_(fd) {}
  int fd_;
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
