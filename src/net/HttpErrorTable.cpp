//===- net/HttpErrorTable.cpp - libcurl results as transport numbers -----===//

#include "net/HttpErrorTable.h"

#include <curl/curl.h>

#include "net/HttpRequestor.h"

namespace korvex {
namespace {

struct CurlErrorMapping {
  CURLcode code;
  std::uint32_t number;
};

constexpr CurlErrorMapping kCurlErrors[] = {
    {CURLE_OPERATION_TIMEDOUT, kHttpErrorTimeout},
    {CURLE_COULDNT_RESOLVE_HOST, kHttpErrorNameNotResolved},
    {CURLE_COULDNT_RESOLVE_PROXY, kHttpErrorNameNotResolved},
    {CURLE_COULDNT_CONNECT, kHttpErrorCannotConnect},
    // The peer went away or cut the answer short.
    {CURLE_SEND_ERROR, kHttpErrorConnectionReset},
    {CURLE_RECV_ERROR, kHttpErrorConnectionReset},
    {CURLE_GOT_NOTHING, kHttpErrorConnectionReset},
    {CURLE_PARTIAL_FILE, kHttpErrorConnectionReset},
    {CURLE_HTTP2, kHttpErrorConnectionReset},
    {CURLE_HTTP2_STREAM, kHttpErrorConnectionReset},
    // Everything that goes wrong in the TLS layer, certificate checks first.
    {CURLE_PEER_FAILED_VERIFICATION, kHttpErrorSecureFailure},
    {CURLE_SSL_CONNECT_ERROR, kHttpErrorSecureFailure},
    {CURLE_SSL_CERTPROBLEM, kHttpErrorSecureFailure},
    {CURLE_SSL_CIPHER, kHttpErrorSecureFailure},
    {CURLE_SSL_CACERT_BADFILE, kHttpErrorSecureFailure},
    {CURLE_SSL_CRL_BADFILE, kHttpErrorSecureFailure},
    {CURLE_SSL_ISSUER_ERROR, kHttpErrorSecureFailure},
    {CURLE_SSL_PINNEDPUBKEYNOTMATCH, kHttpErrorSecureFailure},
    {CURLE_SSL_INVALIDCERTSTATUS, kHttpErrorSecureFailure},
    {CURLE_SSL_SHUTDOWN_FAILED, kHttpErrorSecureFailure},
    {CURLE_SSL_ENGINE_NOTFOUND, kHttpErrorSecureFailure},
    {CURLE_SSL_ENGINE_SETFAILED, kHttpErrorSecureFailure},
    {CURLE_SSL_ENGINE_INITFAILED, kHttpErrorSecureFailure},
    {CURLE_USE_SSL_FAILED, kHttpErrorSecureFailure},
    {CURLE_URL_MALFORMAT, kHttpErrorInvalidUrl},
    {CURLE_UNSUPPORTED_PROTOCOL, kHttpErrorInvalidUrl},
    {CURLE_ABORTED_BY_CALLBACK, kHttpErrorCancelled},
};

}  // namespace

std::uint32_t HttpErrorFromCurl(int curlCode) noexcept {
  for (const auto& mapping : kCurlErrors) {
    if (mapping.code == curlCode) return mapping.number;
  }
  return kHttpErrorInternal;
}

std::string_view TransportFailureText(HRESULT status) noexcept {
  if ((static_cast<std::uint32_t>(status) & 0xFFFF0000u) != kHttpFacilityBits) return {};
  switch (static_cast<std::uint32_t>(status) & 0xFFFFu) {
    case kHttpErrorTimeout: return "The service did not answer in time";
    case kHttpErrorInvalidUrl: return "The service's address is not valid";
    case kHttpErrorNameNotResolved: return "The service's host name cannot be resolved";
    case kHttpErrorCannotConnect: return "Cannot connect to the service";
    case kHttpErrorConnectionReset: return "The connection to the service was cut";
    case kHttpErrorRedirectRefused:
      return "The service sent the request to another address; it was not sent there";
    case kHttpErrorSecureFailure:
      return "The secure connection to the service failed: its certificate cannot be verified";
    default: return {};
  }
}

}  // namespace korvex
