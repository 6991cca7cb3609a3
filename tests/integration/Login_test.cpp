// Logging in to korvexd over loopback the way both front ends do: input
// check, login with its retry, saved accounts, automatic login, logout.
#include "service/Login.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "net/LoginInputCheck.h"
#include "net/SavedAccounts.h"
#include "service/JsonResponse.h"
#include "support/KorvexdProcess.h"
#include "support/TempHome.h"

namespace korvex {
namespace {

class LoginSessionTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
  }

  /// A fresh asynchronous requestor for the web site, as the main window
  /// makes one per login.
  std::unique_ptr<HttpRequestor> WebRequestor() {
    auto requestor = std::make_unique<HttpRequestor>();
    EXPECT_EQ(requestor->Init(korvexd_.BaseUrl()), S_OK);
    return requestor;
  }

  HRESULT LogIn(LoginInput input, LoginSession& session, LoginFailure& failure) {
    if (const unsigned message = CheckLoginInput(input, "korvexdata.com"); message != 0) {
      ADD_FAILURE() << "input refused with message " << message;
      return E_INVALIDARG;
    }
    LoginOptions options;
    options.macList = "00-11-22-33-44-55";
    return Login(*WebRequestor(), input, options, session, failure);
  }

  /// Posts a fault to korvexd's admin path.
  void AddFault(const std::string& fault) {
    HttpRequestor admin;
    ASSERT_EQ(admin.Init(korvexd_.BaseUrl(), /*async=*/false), S_OK);
    HRESULT status = E_FAIL;
    ASSERT_EQ(admin.SendRequest("/admin/faults", "POST", "", fault.data(), fault.size(),
                                [](HRESULT s, const std::string&, const std::deque<std::string>&,
                                   const HttpHeaderMap&, void* out) { *static_cast<HRESULT*>(out) = s; },
                                &status, 0),
              S_OK);
    ASSERT_EQ(status, S_OK);
  }

  test::KorvexdProcess korvexd_;
};

TEST_F(LoginSessionTest, AccountAndAccessCodeLoginsAndTheirRefusals) {
  LogMgr::Get().SetThreshold(kLogDebug);
  struct Case {
    LoginInput input;
    HRESULT status;
    const char* message;
    const char* serviceMessage;
  };
  const Case cases[] = {
      {{LoginMode::Account, "alice", "alice-demo-1", "https://www.korvexdata.com/demo", ""}, S_OK, "", ""},
      {{LoginMode::Account, "bob@demo", "bob-demo-1", "", ""}, S_OK, "", ""},
      {{LoginMode::Account, "alice", "wrong", "demo", ""}, MakeHResult(0x800704B3u),
       "Either your password or your user name is incorrect", "wrong user name or password"},
      {{LoginMode::Account, "nobody", "x", "demo", ""}, MakeHResult(0x800704BCu), "User name does not exist",
       "user does not exist"},
      {{LoginMode::AccessCode, "", "", "", "DEMO2026"}, S_OK, "", ""},
      {{LoginMode::AccessCode, "", "", "", "NOPE"}, RefusalStatus(6101), "This code is invalid", "This code is invalid"},
  };
  std::vector<std::string> secrets;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.loginName + c.input.accessCode);
    LoginSession session;
    LoginFailure failure;
    ASSERT_EQ(LogIn(c.input, session, failure), c.status) << failure.message;
    if (Failed(c.status)) {
      EXPECT_FALSE(session.loggedIn);
      EXPECT_EQ(failure.message, c.message);
      EXPECT_EQ(failure.serviceMessage, c.serviceMessage);
      continue;
    }
    EXPECT_TRUE(session.loggedIn);
    EXPECT_GT(session.rootDirId, 0);
    if (c.input.mode == LoginMode::AccessCode) {
      EXPECT_EQ(session.mode, LoginMode::AccessCode);
      EXPECT_TRUE(session.displayName.empty());
      continue;
    }
    EXPECT_FALSE(session.authPro.empty());
    EXPECT_FALSE(session.phpSessionId.empty());
    EXPECT_GT(session.secondDirId, 0);
    EXPECT_EQ(session.accountName, c.input.loginName == "alice" ? "alice@demo" : "bob@demo");
    EXPECT_EQ(session.displayName, c.input.loginName == "alice" ? "Alice Demo" : "Bob Demo");
    secrets.insert(secrets.end(),
                   {c.input.password, EncodeLoginField(c.input.password), session.authPro, session.phpSessionId});
  }
  // Level 1 shows requests and answers, but never what opens the account.
  for (const std::string& secret : secrets) EXPECT_FALSE(log_->Contains(secret)) << secret;
  EXPECT_TRUE(log_->Contains("Logged in as alice@demo")) << "the log did run at this level";
}

int UnusedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

TEST_F(LoginSessionTest, RetriesOnceWithoutProxyOnlyWhenTheServiceGaveNoAnswer) {
  {
    // A proxy that is not there: the first attempt fails in transport.
    const std::string proxy = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort());
    testing::ScopedEnv env("http_proxy", proxy.c_str());
    auto requestor = WebRequestor();
    ASSERT_TRUE(requestor->UseProxy());
    LoginSession session;
    LoginFailure failure;
    ASSERT_EQ(Login(*requestor, {LoginMode::Account, "alice", "alice-demo-1", "demo", ""}, {}, session, failure),
              S_OK)
        << failure.message;
    EXPECT_FALSE(requestor->UseProxy());
    EXPECT_EQ(requestor->AuthPro(), session.authPro);
    EXPECT_TRUE(log_->Contains("trying again without proxy"));
  }
  // Two answers that are not the service's: both attempts fail, and the
  // user sees the status's text.
  AddFault("http=503,path=^/2nddomain/,count=2");
  LoginSession session;
  LoginFailure failure;
  EXPECT_EQ(LogIn({LoginMode::Account, "alice", "alice-demo-1", "demo", ""}, session, failure),
            MakeHResult(0x804F01F7u));
  EXPECT_EQ(failure.message, "Service unavailable");
  // A refusal is an answer and is not retried: a retry would meet the 503.
  AddFault("http=503,path=^/2nddomain/,nth=2");
  EXPECT_EQ(LogIn({LoginMode::Account, "alice", "wrong", "demo", ""}, session, failure),
            MakeHResult(0x800704B3u));
  // One answer that is not the service's, then a good one.
  EXPECT_EQ(LogIn({LoginMode::Account, "alice", "alice-demo-1", "demo", ""}, session, failure), S_OK);
}

TEST_F(LoginSessionTest, NonAsciiNameAndSavedAccountDriveAutomaticLoginUntilLogout) {
  // A user whose name needs %20 and %C3%A4 and whose password holds ";".
  const std::string name = "j\xC3\xA4ger bauer";
  const std::string password = "pa;ss w\xC3\xB6rd&=1";
  ASSERT_TRUE(korvexd_.Stop());
  const std::string command = std::string("'") + KORVEXD_PATH + "' --data-dir '" + korvexd_.DataDir().string() +
                              "' add-user '" + name + "' '" + password + "' demo >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(korvexd_.Start()) << korvexd_.Error();

  auto store = CredentialStore::OpenFile(Home() / "config" / "KorvexDataSMB");
  const LoginInput typed{LoginMode::Account, name, password, "demo.korvexdata.com", ""};
  LoginSession session;
  LoginFailure failure;
  ASSERT_EQ(LogIn(typed, session, failure), S_OK) << failure.message;
  EXPECT_EQ(session.accountName, name + "@demo");
  std::filesystem::path folder;
  ASSERT_EQ(PrepareAccountFolder(session, folder), S_OK);
  EXPECT_EQ(folder, Home() / "data" / "KorvexDataSMB" / (name + "@demo"));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  LoginSession hostile = session;
  hostile.accountName = "../../x@demo";
  EXPECT_EQ(PrepareAccountFolder(hostile, folder), E_INVALIDARG);
  ASSERT_EQ(SaveCredentials(*store, {LoginMode::Account, name, password, session.domain, ""}, {true, true, true}),
            S_OK);

  // The next start logs in by itself with what was saved.
  const LoginDialogStart start = StartLoginDialog(*store, /*relogin=*/false);
  ASSERT_TRUE(start.loginNow);
  LoginSession again;
  ASSERT_EQ(LogIn({LoginMode::Account, start.selectedName, start.selected.password, start.selected.domain, ""},
                  again, failure),
            S_OK)
      << failure.message;

  bool stopped = false;
  Logout(again, [&stopped] { stopped = true; });
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(again.loggedIn);
  EXPECT_TRUE(again.authPro.empty());
  EXPECT_FALSE(StartLoginDialog(*store, /*relogin=*/true).loginNow) << "no automatic login after a logout";
}

}  // namespace
}  // namespace korvex
