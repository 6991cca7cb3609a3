// The body of korvexd's answers as Beast sends it: text held in memory, or
// a slice of an open file read in large pieces as the socket takes them, so
// that a download of any size costs one piece of memory.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <boost/asio/error.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/optional.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "HttpMessage.h"

namespace korvexd {

struct ReplyBody {
  struct value_type {
    std::string text;
    std::optional<FileSlice> file;
    /// Announce size(), send this many bytes, then fail the write.
    std::optional<std::uint64_t> sendOnly;
  };

  static std::uint64_t size(const value_type& body) { return body.file ? body.file->length : body.text.size(); }

  class writer {
   public:
    using const_buffers_type = boost::asio::const_buffer;

    template <bool isRequest, class Fields>
    writer(const boost::beast::http::header<isRequest, Fields>&, const value_type& body) : body_(body) {}

    void init(boost::beast::error_code& ec) {
      ec = {};
      limit_ = std::min(size(body_), body_.sendOnly.value_or(size(body_)));
      if (body_.file) piece_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, limit_)));
    }

    boost::optional<std::pair<const_buffers_type, bool>> get(boost::beast::error_code& ec) {
      ec = {};
      if (sent_ >= limit_) {
        // A cut answer ends with a dropped connection, never as a complete message.
        if (body_.sendOnly && limit_ < size(body_)) ec = boost::asio::error::connection_aborted;
        return boost::none;
      }
      const bool cut = body_.sendOnly.has_value();
      if (!body_.file) {
        std::size_t n = static_cast<std::size_t>(limit_ - sent_);
        const char* data = body_.text.data() + sent_;
        sent_ += n;
        return {{boost::asio::const_buffer(data, n), cut || sent_ < limit_}};
      }
      std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(piece_.size(), limit_ - sent_));
      ssize_t got = ::pread(body_.file->file->fd(), piece_.data(), want,
                            static_cast<off_t>(body_.file->offset + sent_));
      if (got <= 0) {
        // The file shrank under the answer: the announced length can no longer be kept.
        ec = boost::asio::error::connection_aborted;
        return boost::none;
      }
      sent_ += static_cast<std::uint64_t>(got);
      return {{boost::asio::const_buffer(piece_.data(), static_cast<std::size_t>(got)), cut || sent_ < limit_}};
    }

   private:
    static constexpr std::uint64_t kPiece = 256 * 1024;
    const value_type& body_;
    std::vector<char> piece_;
    std::uint64_t limit_ = 0;
    std::uint64_t sent_ = 0;
  };
};

}  // namespace korvexd
