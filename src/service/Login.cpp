//===- service/Login.cpp - Logging in to and out of the service ----------===//

#include "service/Login.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include <boost/format.hpp>

#include "foundation/LogMgr.h"
#include "foundation/StatusMessages.h"
#include "foundation/StringTable.h"
#include "net/HttpErrorTable.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "service/JsonResponse.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "Login";

/// One request's answer, handed from the I/O thread to the waiting caller.
struct Attempt {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  HRESULT status = E_FAIL;
  std::string body;
  std::deque<std::string> setCookies;
};

void OnLoginAnswer(HRESULT status, const std::string& body,
                   const std::deque<std::string>& setCookies, const HttpHeaderMap&,
                   void* userParam) {
  auto* attempt = static_cast<Attempt*>(userParam);
  std::lock_guard lock(attempt->mutex);
  attempt->status = status;
  attempt->body = body;
  attempt->setCookies = setCookies;
  attempt->finished = true;
  attempt->done.notify_one();
}

HRESULT Send(HttpRequestor& requestor, std::string_view path, const std::string& body,
             Attempt& attempt) {
  const HRESULT sent = requestor.SendRequest(path, "POST", kLoginContentType, body.data(),
                                             body.size(), &OnLoginAnswer, &attempt, 0);
  if (Failed(sent)) return sent;
  std::unique_lock lock(attempt.mutex);
  attempt.done.wait(lock, [&attempt] { return attempt.finished; });
  return attempt.status;
}

/// Account fields arrive as decimal text or as numbers.
std::int64_t ReadNumber(const JsonObject& object, std::string_view key) {
  const JsonValue* value = FindField(object, key);
  if (value == nullptr) return 0;
  if (const std::string* text = value->AsString()) return std::strtoll(text->c_str(), nullptr, 10);
  std::int64_t number = 0;
  return value->GetInt64(number) ? number : 0;
}

std::string ReadText(const JsonObject& object, std::string_view key) {
  const std::string* text = FindString(object, key);
  return text != nullptr ? *text : std::string();
}

/// What one attempt brought back. `answered` is false when no envelope of
/// the service came back (transport failure, HTTP error page, garbage):
/// only then is a second attempt worth making.
struct Outcome {
  HRESULT status = E_FAIL;
  bool answered = false;
  std::string serviceMessage;
};

Outcome Evaluate(const Attempt& attempt, const LoginInput& input, LoginSession& session) {
  Outcome outcome;
  if (Failed(attempt.status)) {
    outcome.status = attempt.status;
    return outcome;
  }
  JsonResponse response;
  const HRESULT checked = CheckJsonResponse(attempt.body, response);
  const std::uint64_t* envelope =
      response.object != nullptr ? FindInteger(*response.object, "result") : nullptr;
  if (envelope == nullptr || *envelope > 1) {
    outcome.status = E_INVALIDARG;
    return outcome;
  }
  outcome.answered = true;
  if (Failed(checked)) {
    outcome.status = RefusalStatus(response.state);
    outcome.serviceMessage = response.errmsg;
    return outcome;
  }
  const JsonObject& object = *response.object;
  LoginSession result;
  result.mode = input.mode;
  result.authPro = SetCookieValue(attempt.setCookies, "AUTH_PRO");
  result.phpSessionId = SetCookieValue(attempt.setCookies, "PHPSESSID");
  result.rootDirId = ReadNumber(object, "dirid");
  if (input.mode == LoginMode::Account) {
    if (result.authPro.empty() || result.phpSessionId.empty()) {
      outcome.status = HR_LOGIN_NO_SESSION;
      return outcome;
    }
    result.secondDirId = ReadNumber(object, "secdirid");
    result.fileSize = static_cast<std::uint64_t>(ReadNumber(object, "filesize"));
    result.isSubAccount = ReadNumber(object, "issubaccount") != 0;
    result.status = static_cast<std::int32_t>(ReadNumber(object, "status"));
    result.accountClass = static_cast<std::int32_t>(ReadNumber(object, "class"));
    result.displayName = ReadText(object, "name");
    result.loginName = input.loginName;
    result.domain = input.domain;
    result.accountName = AccountName(input.loginName, input.domain);
  }
  result.loggedIn = true;
  session = std::move(result);
  outcome.status = S_OK;
  return outcome;
}

std::string TrimmedBase(std::string_view url) {
  while (url.ends_with('/')) url.remove_suffix(1);
  return std::string(url);
}

}  // namespace

std::string LoginFailureMessage(HRESULT status) {
  switch (status) {
    case HR_LOGIN_USER_MISSING: return std::string(UiString(kIdsLoginUserMissing));
    case HR_LOGIN_NO_SERVICE: return std::string(UiString(kIdsLoginNoService));
    case HR_LOGIN_SERVICE_EXPIRED: return std::string(UiString(kIdsLoginServiceExpired));
    case HR_LOGIN_NOT_ACTIVATED: return std::string(UiString(kIdsLoginNotActivated));
    case HR_LOGIN_NO_SESSION: return std::string(UiString(kIdsLoginNoSession));
    default: break;
  }
  std::string text;
  if (StatusMessages::Get().Lookup(status, text) && !text.empty()) return text;
  // Only the service's own refusal may say the password is wrong.
  if (const std::string_view transport = TransportFailureText(status); !transport.empty())
    return std::string(transport);
  if (status == E_INVALIDARG) return "The service's answer to the login cannot be read";
  return std::string(UiString(kIdsLoginFailed));
}

HRESULT Login(HttpRequestor& requestor, const LoginInput& input, const LoginOptions& options,
              LoginSession& session, LoginFailure& failure) {
  const bool account = input.mode == LoginMode::Account;
  const std::string_view path = account ? kAccountLoginPath : kAccessCodeLoginPath;
  const std::string body =
      account ? FormatAccountLoginBody(options.accountBodyFormat, input,
                                       options.macList ? *options.macList : MacAddressList())
              : FormatAccessCodeLoginBody(input);
  LogMgr& log = LogMgr::Get();
  log.Info(kCategory, "Logging in %s at %s", account ? input.loginName.c_str() : "with an access code",
           requestor.BaseUrl().c_str());

  Outcome outcome;
  std::string failedAuthPro;
  for (int round = 1; round <= 2; ++round) {
    if (round == 2) {
      // A proxy that cannot be reached, or stale cookies the service's front
      // end rejects, are the usual reasons for getting no answer at all.
      log.Warn(kCategory, "Login got no answer (0x%08X); trying again without proxy",
               static_cast<unsigned>(outcome.status));
      requestor.SetUseProxy(false);
      requestor.SetAuthPro({});
      requestor.SetPhpSessionId({});
    }
    Attempt attempt;
    attempt.status = Send(requestor, path, body, attempt);
    outcome = Evaluate(attempt, input, session);
    failedAuthPro = SetCookieValue(attempt.setCookies, "AUTH_PRO");
    if (Succeeded(outcome.status) || outcome.answered) break;
  }

  if (Succeeded(outcome.status)) {
    requestor.SetAuthPro(session.authPro);
    requestor.SetPhpSessionId(session.phpSessionId);
    log.Info(kCategory, "Logged in as %s", account ? session.accountName.c_str() : "access code");
    return S_OK;
  }
  failure = LoginFailure{};
  failure.status = outcome.status;
  failure.serviceMessage = outcome.serviceMessage;
  failure.message = LoginFailureMessage(outcome.status);
  if (outcome.status == HR_LOGIN_PROFILE_MISSING) {
    failure.webPage = (boost::format("%s/account/gotoweb/%s?src=/account/fillprofile") %
                       TrimmedBase(requestor.BaseUrl()) % failedAuthPro)
                          .str();
  }
  log.Warn(kCategory, "Login failed: 0x%08X", static_cast<unsigned>(outcome.status));
  return outcome.status;
}

HRESULT PrepareAccountFolder(const LoginSession& session, std::filesystem::path& folder) {
  const std::string& name = session.accountName;
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    LogMgr::Get().Warn(kCategory, "The account name \"%s\" cannot name a folder", name.c_str());
    return E_INVALIDARG;
  }
  const std::filesystem::path path = paths::AppDataDir() / "KorvexDataSMB" / name;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    const HRESULT status = HResultFromErrno(ec.value());
    LogMgr::Get().Error(kCategory, "SHPathPrepareForWrite %s error 0x%08X", path.c_str(),
                        static_cast<unsigned>(status));
    return status;
  }
  folder = path;
  return S_OK;
}

void Logout(LoginSession& session, const std::function<void()>& stopServices) {
  if (stopServices) stopServices();
  session = LoginSession{};
}

}  // namespace korvex
