// Logs in to a korvexd started by the test and opens the service back end
// with the session cookies, the way the main window does after login.
#pragma once

#include "net/HttpRequestor.h"
#include "service/KorvexDataStoreRemote.h"
#include "support/KorvexdProcess.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace korvex::test {

struct LoginAnswer {
  HRESULT status = E_FAIL;
  std::string body;
  std::string authPro;
  std::string phpSessionId;
};

// "NAME=value; Path=/" -> value, for one cookie of a Set-Cookie list.
inline std::string CookieFrom(const std::deque<std::string>& setCookies, const std::string& name) {
  for (const std::string& cookie : setCookies) {
    if (cookie.rfind(name + "=", 0) != 0) continue;
    std::size_t end = cookie.find(';');
    return cookie.substr(name.size() + 1, end == std::string::npos ? std::string::npos : end - name.size() - 1);
  }
  return {};
}

/// Posts the account login form synchronously and keeps the two cookies.
inline LoginAnswer LogIn(const std::string& baseUrl, const std::string& name, const std::string& password) {
  LoginAnswer answer;
  HttpRequestor requestor;
  if (Failed(answer.status = requestor.Init(baseUrl, /*async=*/false))) return answer;
  std::string form = "loginname=" + name + "&password=" + password + "&domain=demo&macaddr=";
  answer.status = requestor.SendRequest(
      "/2nddomain/loginnorandom", "POST", "Content-Type: application/x-www-form-urlencoded", form.data(),
      form.size(),
      [](HRESULT status, const std::string& body, const std::deque<std::string>& setCookies, const HttpHeaderMap&,
         void* user) {
        auto* out = static_cast<LoginAnswer*>(user);
        out->status = status;
        out->body = body;
        out->authPro = CookieFrom(setCookies, "AUTH_PRO");
        out->phpSessionId = CookieFrom(setCookies, "PHPSESSID");
      },
      &answer, 0);
  return answer;
}

/// Waits for `result` with a bound, reads its outcome and keeps the caller's
/// reference for the test to read the payload; Release() frees it.
class Outcome {
 public:
  Outcome() = default;
  Outcome(const Outcome&) = delete;
  ~Outcome() { Release(); }
  AsyncResult** Out() { return &result_; }
  /// The status the caller reads, or a failure of the test's own when the
  /// result never completes.
  HRESULT Wait() {
    if (!result_) return E_POINTER;
    if (!result_->WaitPumping(20000)) return E_ABORT;
    return ReadOutcome(*result_);
  }
  template <class Tuple>
  const Tuple* Payload() const {
    return result_ ? result_->PayloadAs<Tuple>() : nullptr;
  }
  void Release() {
    if (!result_) return;
    if (result_->State() == kAsyncSucceeded) DeletePayloadObjects(*result_);
    result_->Release();
    result_ = nullptr;
  }

 private:
  AsyncResult* result_ = nullptr;
};

}  // namespace korvex::test
