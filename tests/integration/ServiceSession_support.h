// Logs in to a korvexd started by the test and opens the service back end
// with the session cookies, the way the main window does after login. Every
// test that uses it derives from ServiceSession, which starts korvexd with
// the demo accounts inside a private home without proxy variables.
#pragma once

#include "net/HttpRequestor.h"
#include "net/LoginForm.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/JsonParser.h"
#include "support/KorvexdProcess.h"
#include "support/TempHome.h"

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
        *out = {status, body, SetCookieValue(setCookies, "AUTH_PRO"),
                SetCookieValue(setCookies, "PHPSESSID")};
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
  /// The status the caller reads. A result that never completes fails the
  /// test (and reads E_ABORT).
  HRESULT Wait() {
    if (!result_) {
      ADD_FAILURE() << "the call handed out no result";
      return E_POINTER;
    }
    if (!result_->WaitPumping(20000)) {
      ADD_FAILURE() << "the call did not complete within 20 s";
      return E_ABORT;
    }
    return ReadOutcome(*result_);
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

/// korvexd with the demo accounts, alice logged in and her store open.
class ServiceSession : public korvex::testing::TempHomeTest {
 protected:
  void SetUp() override { StartSession({}); }

  /// Starts korvexd with `extraArgs` and logs alice in; for SetUp overrides.
  void StartSession(const std::vector<std::string>& extraArgs) {
    TempHomeTest::SetUp();
    std::vector<std::string> args{"--seed-demo"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    ASSERT_TRUE(korvexd_.Start(args)) << korvexd_.Error();
    LoginAnswer login = LogIn(korvexd_.BaseUrl(), "alice", "alice-demo-1");
    ASSERT_EQ(login.status, S_OK) << login.body;
    ASSERT_FALSE(login.authPro.empty());
    authPro_ = login.authPro;
    JsonValue answer = ParseJson(login.body);
    ASSERT_TRUE(answer.IsObject()) << login.body;
    root_ = Directory("/", *FindString(*answer.AsObject(), "dirid"));
    shares_ = Directory("/shares/", *FindString(*answer.AsObject(), "secdirid"));
    store_ = std::make_unique<KorvexDataStoreRemote>(korvexd_.BaseUrl(), korvexd_.BaseUrl(), login.authPro,
                                                     login.phpSessionId, "alice");
    ASSERT_EQ(store_->InitStatus(), S_OK);
  }
  void TearDown() override {
    store_.reset();
    TempHomeTest::TearDown();
  }

  static ContainerInfo Directory(const std::string& uri, const std::string& id) {
    ContainerInfo info;
    info.uri = uri;
    info.tag = static_cast<std::uint64_t>(std::stoull(id));
    return info;
  }

  /// Starts a call with `start` and waits for its outcome; a call that does
  /// not start fails the test.
  template <class Start>
  HRESULT Run(Start&& start) {
    Outcome outcome;
    const HRESULT hr = start(outcome.Out());
    EXPECT_EQ(hr, S_OK) << "the call did not start";
    return Failed(hr) ? hr : outcome.Wait();
  }

  KorvexdProcess korvexd_;
  std::unique_ptr<KorvexDataStoreRemote> store_;
  std::string authPro_;
  ContainerInfo root_;
  ContainerInfo shares_;
};

}  // namespace korvex::test
