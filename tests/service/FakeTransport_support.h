// A service back end whose requests are recorded instead of sent, so tests
// can check what would go over the wire and feed answers back by hand.
#pragma once

#include "service/KorvexDataStoreRemote.h"

#include <string>
#include <vector>

namespace korvex::testing {

struct SentRequest {
  bool onApi = true;
  std::string path;
  std::string verb;
  std::string headers;
  std::string body;
  std::uint32_t sizeLimit = 0;
  RequestContext* context = nullptr;
};

class RecordingStore : public KorvexDataStoreRemote {
 public:
  // The URLs only need to parse: nothing is ever sent to them. Build it
  // inside a TempHomeTest: its connections read and write proxy settings.
  explicit RecordingStore(std::string authPro = "auth-token")
      : KorvexDataStoreRemote("http://127.0.0.1:9", "http://127.0.0.1:9", std::move(authPro), "php-session", "Root") {}
  ~RecordingStore() override {
    // Requests that a test never answered still own their context.
    for (auto& request : sent) Answer(request, E_ABORT, "");
  }

  /// Answers `request` through the completion routine, as a connection would.
  static void Answer(SentRequest& request, HRESULT status, const std::string& body,
                     const std::deque<std::string>& setCookies = {}, const HttpHeaderMap& headers = {}) {
    if (!request.context) return;
    KorvexDataStoreRemote::OnRequestComplete(status, body, setCookies, headers, request.context);
    request.context = nullptr;
  }
  void AnswerLast(const std::string& body, HRESULT status = S_OK, const std::deque<std::string>& setCookies = {},
                  const HttpHeaderMap& headers = {}) {
    Answer(sent.back(), status, body, setCookies, headers);
  }

  std::vector<SentRequest> sent;
  HRESULT handOver = S_OK;  // what Dispatch reports

 protected:
  HRESULT Dispatch(Connection connection, std::string_view path, std::string_view verb,
                   std::string_view extraHeaders, const void* body, std::size_t length, std::uint32_t sizeLimit,
                   RequestContext* context) override {
    if (Failed(handOver)) return handOver;
    sent.push_back({connection == Connection::kApi, std::string(path), std::string(verb), std::string(extraHeaders),
                    std::string(static_cast<const char*>(body), length), sizeLimit, context});
    return S_OK;
  }
};

}  // namespace korvex::testing
