// The request and answer a korvexd route sees.
#include "HttpMessage.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>

namespace korvexd {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  int order = ::strncasecmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return order != 0 ? order < 0 : a.size() < b.size();
}

std::string Request::Header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

std::shared_ptr<OpenFile> OpenFile::Open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::shared_ptr<OpenFile>(new OpenFile(fd, path));
}

std::shared_ptr<OpenFile> OpenFile::OpenForWriting(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::shared_ptr<OpenFile>(new OpenFile(fd, path));
}

OpenFile::~OpenFile() { ::close(fd_); }

void Response::SetContent(std::string content, std::string_view type) {
  body = std::move(content);
  file.reset();
  SetHeader("Content-Type", std::string(type));
}

void Response::SetFile(FileSlice slice, std::string_view type) {
  body.clear();
  file = std::move(slice);
  SetHeader("Content-Type", std::string(type));
}

void Response::SetHeader(std::string_view name, std::string value) {
  // One Content-Type per answer, whichever reply helper set it last.
  if (::strncasecmp(name.data(), "Content-Type", name.size()) == 0 && name.size() == 12) {
    std::erase_if(headers, [](const auto& h) { return ::strcasecmp(h.first.c_str(), "Content-Type") == 0; });
  }
  headers.emplace_back(std::string(name), std::move(value));
}

std::string Response::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key.size() == name.size() && ::strncasecmp(key.data(), name.data(), name.size()) == 0) return value;
  }
  return {};
}

}  // namespace korvexd
