// Logs in to a korvexd started by the test and opens the service back end
// with the session cookies, the way the main window does after login.
#pragma once

#include "net/HttpRequestor.h"
#include "service/AnswerLookup.h"
#include "service/KorvexDataStoreRemote.h"
#include "support/KorvexdProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex::test {

struct LoginAnswer {
  HRESULT status = E_FAIL;
  std::string body;
  std::string authPro;
  std::string phpSessionId;
};

/// Posts a login form synchronously and keeps the two cookies.
inline LoginAnswer PostLogin(const std::string& baseUrl, const char* path, const std::string& form) {
  LoginAnswer answer;
  HttpRequestor requestor;
  if (Failed(answer.status = requestor.Init(baseUrl, /*async=*/false))) return answer;
  answer.status = requestor.SendRequest(
      path, "POST", "Content-Type: application/x-www-form-urlencoded", form.data(),
      form.size(),
      [](HRESULT status, const std::string& body, const std::deque<std::string>& setCookies, const HttpHeaderMap&,
         void* user) {
        auto* out = static_cast<LoginAnswer*>(user);
        *out = {status, body, ResponseCookieValue(setCookies, "AUTH_PRO"),
                ResponseCookieValue(setCookies, "PHPSESSID")};
      },
      &answer, 0);
  return answer;
}

inline LoginAnswer LogIn(const std::string& baseUrl, const std::string& name, const std::string& password) {
  return PostLogin(baseUrl, "/2nddomain/loginnorandom",
                   "loginname=" + name + "&password=" + password + "&domain=demo&macaddr=");
}

/// Holds the caller's reference to a result; Wait() is bounded.
class Outcome {
 public:
  Outcome() = default;
  Outcome(const Outcome&) = delete;
  ~Outcome() {
    if (!result_) return;
    if (result_->State() == kAsyncSucceeded) DeletePayloadObjects(*result_);
    result_->Release();
  }
  AsyncResult** Out() { return &result_; }
  /// The status the caller reads, or a failure of the test's own when the
  /// result never completes.
  HRESULT Wait() {
    if (!result_) return E_POINTER;
    return result_->WaitPumping(20000) ? ReadOutcome(*result_) : E_ABORT;
  }
  /// The service's own words that came with the result.
  std::string Message() const { return result_ ? result_->Message() : std::string(); }
  template <class Tuple>
  const Tuple* Payload() const {
    return result_ ? result_->PayloadAs<Tuple>() : nullptr;
  }

 private:
  AsyncResult* result_ = nullptr;
};

}  // namespace korvex::test
