//===- session/AccountLogin.cpp - One login request for korvex ----------------===//

#include "session/AccountLogin.h"

namespace korvex::session {

HRESULT LogInToService(const LoginInput& input, const DeploymentValues& deployment, Session& session,
                       LoginFailure& failure) {
  HttpRequestor requestor;
  requestor.SetProxyQueryUrl(deployment.webUrl);
  if (const HRESULT hr = requestor.Init(deployment.webUrl); Failed(hr)) {
    failure.status = hr;
    failure.message = LoginFailureMessage(hr);
    return hr;
  }
  LoginSession answer;
  if (const HRESULT hr = Login(requestor, input, LoginOptions{}, answer, failure); Failed(hr)) return hr;
  Session made;
  made.accessCode = input.mode == LoginMode::AccessCode;
  if (made.accessCode) made.uploadCode = input.accessCode;
  made.loginName = answer.loginName;
  made.domain = answer.domain;
  made.accountName = answer.accountName;
  made.displayName = answer.displayName;
  made.authPro = answer.authPro;
  made.phpSessionId = answer.phpSessionId;
  made.rootId = static_cast<std::uint64_t>(answer.rootDirId);
  made.shareRootId = static_cast<std::uint64_t>(answer.secondDirId);
  made.subAccount = answer.isSubAccount;
  made.webUrl = deployment.webUrl;
  session = std::move(made);
  return S_OK;
}

}  // namespace korvex::session
