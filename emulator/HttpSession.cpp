// One client connection of korvexd's HTTP server.
#include "HttpSession.h"

#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>

#include "ReplyBody.h"
#include "Wire.h"

namespace korvexd {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

constexpr std::uint32_t kHeaderLimit = 64 * 1024;
// A whole header block must arrive in this time, so a client that trickles
// it a byte at a time loses its connection rather than keeping it forever.
constexpr auto kHeaderTime = std::chrono::seconds(5);
// Each piece of an answer must be taken in this time; a body gets it plus
// the time to arrive at kSlowestBody bytes a second.
constexpr auto kIoTime = std::chrono::seconds(30);
constexpr std::uint64_t kSlowestBody = 64 * 1024;
// How long unread bytes of a refused request are drained before closing:
// closing with them unread resets the connection, and the client could lose
// the answer that explains the refusal.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerPiece = 64 * 1024;
// Placed bodies are read and written in pieces of this size, so a
// connection costs the same memory whatever it uploads.
constexpr std::size_t kStorePiece = 256 * 1024;

/// Decodes "%XX" escapes of a path; "+" stays as it is there.
std::string DecodePath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) && hex(text[i + 2])) {
      out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

Request ToRequest(const http::request_header<>& header, const std::string& remote) {
  Request req;
  req.method = std::string(header.method_string());
  req.target = std::string(header.target());
  req.version = "HTTP/" + std::to_string(header.version() / 10) + "." + std::to_string(header.version() % 10);
  for (const auto& field : header) req.headers.emplace(std::string(field.name_string()), std::string(field.value()));
  std::size_t question = req.target.find('?');
  req.path = DecodePath(std::string_view(req.target).substr(0, question));
  if (question != std::string::npos) {
    for (auto& [key, value] : ParseForm(std::string_view(req.target).substr(question + 1)))
      req.params.emplace(key, value);
  }
  req.remoteAddress = remote;
  return req;
}

/// Why a request's framing is unsafe to act on, or empty. A length that
/// two parsers could read differently (a sign, hex, two values, one beside
/// chunked coding) is how requests get smuggled or workers tied up.
std::string FramingError(const Request& req) {
  if (req.version == "HTTP/1.1" && !req.HasHeader("Host")) return "HTTP/1.1 request without Host";
  auto [first, end] = req.headers.equal_range("Content-Length");
  for (auto it = first; it != end; ++it) {
    if (!ParseU64(it->second)) return "Content-Length is not a decimal number";
    if (it->second != first->second) return "Content-Length given twice with different values";
  }
  if (first != end && req.HasHeader("Transfer-Encoding")) return "Content-Length beside Transfer-Encoding";
  return {};
}

void ErrorAnswer(Response& res, int status, const std::string& message) {
  res = Response{};
  res.status = status;
  res.SetContent(message + "\n", "text/plain; charset=utf-8");
}

template <class Stream>
class Session : public std::enable_shared_from_this<Session<Stream>> {
 public:
  static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

  Session(Stream stream, const SessionSettings& settings, std::string remote)
      : stream_(std::move(stream)), settings_(settings), remote_(std::move(remote)) {}

  auto Executor() { return stream_.get_executor(); }

  void Start() {
    if constexpr (kTls) {
      Tcp().expires_after(kHeaderTime);
      stream_.async_handshake(net::ssl::stream_base::server, [self = this->shared_from_this()](beast::error_code ec) {
        if (!ec) self->ReadHeader();
      });
    } else {
      ReadHeader();
    }
  }

 private:
  beast::tcp_stream& Tcp() { return beast::get_lowest_layer(stream_); }

  void ReadHeader() {
    req_ = Request{};
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    // The route sets the real limit once known. (Not boost::none: this Beast
    // compares a length against an empty limit as exceeding it.)
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
    Tcp().expires_after(kHeaderTime);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                              self->OnHeader(ec);
                            });
  }

  void OnHeader(beast::error_code ec) {
    if (ec == http::error::header_limit) return Refuse(431, "request header fields too large");
    if (&ec.category() == &http::make_error_code(http::error::end_of_stream).category() &&
        ec != http::error::end_of_stream)
      return Refuse(400, "malformed request: " + ec.message());
    if (ec) return;  // closed, timed out or reset: nothing to answer
    req_ = ToRequest(parser_->get().base(), remote_);
    if (std::string error = FramingError(req_); !error.empty()) return Refuse(400, error);
    route_ = settings_.router.Match(req_);
    const bool hasBody = parser_->chunked() || parser_->content_length().value_or(0) > 0;
    if (!route_) {
      ErrorAnswer(res_, 404, "no such path");
      return Reply(!hasBody && parser_->get().keep_alive());
    }
    std::uint64_t length = parser_->content_length().value_or(route_->maxBody);
    if (length > route_->maxBody) return Refuse(413, "request body too large");
    if (parser_->is_done()) return Handle();
    parser_->body_limit(route_->maxBody);
    if (route_->placer && !parser_->chunked()) Place(length);
    if (beast::iequals(req_.Header("Expect"), "100-continue")) {
      static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      Tcp().expires_after(kIoTime);
      return net::async_write(stream_, net::buffer(kContinue),
                              [self = this->shared_from_this(), length](beast::error_code ec, std::size_t) {
                                if (!ec) self->ReadBody(length);
                              });
    }
    ReadBody(length);
  }

  /// Asks the route where the body goes; it stays in memory when the route
  /// has no place for it.
  void Place(std::uint64_t length) {
    std::optional<BodyPlace> place;
    try {
      place = route_->placer(req_);
    } catch (...) {
      place.reset();
    }
    if (!place) return;
    req_.stored = std::make_shared<StoredBody>();
    req_.stored->place = std::move(*place);
    req_.stored->length = length;
  }

  void ReadBody(std::uint64_t length) {
    Tcp().expires_after(kIoTime + std::chrono::seconds(length / kSlowestBody));
    if (parser_->chunked()) {
      return http::async_read(stream_, buffer_, *parser_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec == http::error::body_limit) return self->Refuse(413, "request body too large");
        if (ec) return;
        self->req_.body = std::move(self->parser_->get().body());
        self->Handle();
      });
    }
    if (req_.stored) {
      // What came with the header goes first; the rest comes straight from
      // the socket in large pieces.
      std::uint64_t before = req_.stored->written;
      auto first = buffer_.data();  // a flat buffer: one piece
      Store(static_cast<const char*>(first.data()), first.size());
      buffer_.consume(static_cast<std::size_t>(req_.stored->written - before));
      return StoreMore();
    }
    // A body of known length goes straight into its own memory: what came
    // with the header is copied once, the socket fills in the rest in as
    // large pieces as it has ready.
    req_.body.assign(static_cast<std::size_t>(length), '\0');
    std::size_t have = net::buffer_copy(net::buffer(req_.body), buffer_.data());
    buffer_.consume(have);
    net::async_read(stream_, net::buffer(req_.body.data() + have, req_.body.size() - have),
                    [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                      // A body cut short or too slow never reaches the route,
                      // so no part of it can end up in a stored file.
                      if (!ec) self->Handle();
                    });
  }

  /// Writes the next piece of a placed body at its place; after a failed
  /// write the rest is still read, so that the answer can say so.
  void Store(const char* data, std::size_t size) {
    StoredBody& body = *req_.stored;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, body.length - body.written));
    std::size_t done = 0;
    while (!body.failed && done < size) {
      ssize_t n = ::pwrite(body.place.file->fd(), data + done, size - done,
                           static_cast<off_t>(body.place.offset + body.written + done));
      if (n <= 0) body.failed = true;
      done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    // Counted as taken even when dropped: it is off the wire either way.
    body.written += size;
  }

  void StoreMore() {
    StoredBody& body = *req_.stored;
    if (body.written == body.length) return Handle();
    if (piece_.empty()) piece_.resize(kStorePiece);
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(piece_.size(), body.length - body.written));
    // A body cut short or too slow never reaches the route, and the place's
    // release hears that it was not whole.
    stream_.async_read_some(net::buffer(piece_.data(), want), [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
      if (ec) return;
      self->Store(self->piece_.data(), n);
      self->StoreMore();
    });
  }

  void Handle() {
    res_ = Response{};
    try {
      route_->handler(req_, res_);
    } catch (...) {
      ErrorAnswer(res_, 500, "internal error");
    }
    // The place is let go before the answer goes out: its holder need not
    // wait on a client that is slow to read.
    req_.stored.reset();
    Reply(parser_->get().keep_alive());
  }

  /// Answers and closes: what follows on the connection cannot be trusted
  /// to start a request.
  void Refuse(int status, const std::string& message) {
    ErrorAnswer(res_, status, message);
    Reply(false);
  }

  void Reply(bool keepAlive) {
    if (settings_.logger) settings_.logger(req_, res_);
    if (res_.status < 200 || res_.status == 204 || res_.status == 304) {
      // These answers have no body by definition (an injected "http:204"
      // fault makes one); Beast refuses to frame one with a body.
      res_.body.clear();
      res_.file.reset();
      res_.sendOnly.reset();
    }
    out_.emplace();
    out_->version(11);
    out_->result(static_cast<unsigned>(res_.status));
    for (auto& [name, value] : res_.headers) out_->insert(name, value);
    keepAlive_ = keepAlive && !res_.sendOnly;
    out_->keep_alive(keepAlive_);
    if (req_.method == "HEAD") {
      // The length a GET would have, and no body.
      out_->content_length(res_.BodySize());
    } else {
      out_->body() = ReplyBody::value_type{std::move(res_.body), std::move(res_.file), res_.sendOnly};
      out_->prepare_payload();
    }
    serializer_.emplace(*out_);
    WriteSome();
  }

  void WriteSome() {
    Tcp().expires_after(kIoTime);
    http::async_write_some(stream_, *serializer_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return;
      if (!self->serializer_->is_done()) return self->WriteSome();
      self->serializer_.reset();
      self->out_.reset();
      if (self->keepAlive_) return self->ReadHeader();
      self->Close();
    });
  }

  void Close() {
    Tcp().expires_after(kLingerTime);
    if constexpr (kTls) {
      stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) { self->Tcp().close(); });
    } else {
      beast::error_code ignored;
      Tcp().socket().shutdown(tcp::socket::shutdown_send, ignored);
      Drain();
    }
  }

  void Drain() {
    Tcp().async_read_some(buffer_.prepare(kLingerPiece), [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return self->Tcp().close();
      self->Drain();
    });
  }

  Stream stream_;
  const SessionSettings& settings_;
  const std::string remote_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  Request req_;
  Response res_;
  const Router::Route* route_ = nullptr;
  std::optional<http::response<ReplyBody>> out_;
  std::optional<http::response_serializer<ReplyBody>> serializer_;
  std::vector<char> piece_;  // for placed bodies, made on the first one
  bool keepAlive_ = false;
};

std::string RemoteAddress(const tcp::socket& socket) {
  beast::error_code ec;
  auto endpoint = socket.remote_endpoint(ec);
  if (ec) return {};
  auto address = endpoint.address();
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    address = net::ip::make_address_v4(net::ip::v4_mapped, address.to_v6());
  return address.to_string();
}

}  // namespace

void ServePlain(tcp::socket socket, const SessionSettings& settings) {
  std::string remote = RemoteAddress(socket);
  auto session =
      std::make_shared<Session<beast::tcp_stream>>(beast::tcp_stream(std::move(socket)), settings, std::move(remote));
  // Started on the connection's own loop, which alone touches it from then on.
  net::post(session->Executor(), [session] { session->Start(); });
}

void ServeTls(tcp::socket socket, net::ssl::context& tls, const SessionSettings& settings) {
  std::string remote = RemoteAddress(socket);
  using TlsStream = beast::ssl_stream<beast::tcp_stream>;
  auto session = std::make_shared<Session<TlsStream>>(TlsStream(beast::tcp_stream(std::move(socket)), tls), settings,
                                                      std::move(remote));
  net::post(session->Executor(), [session] { session->Start(); });
}

}  // namespace korvexd
