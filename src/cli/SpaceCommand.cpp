//===- cli/SpaceCommand.cpp - Used and total space ------------------------===//
//
// The space figures are not a store operation: like the main window, the
// command asks the API connection directly with the session's cookies.

#include "cli/Console.h"
#include "cli/FileCommands.h"
#include "cli/SessionRunner.h"
#include "cli/Texts.h"
#include "net/HttpRequestor.h"
#include "service/JsonResponse.h"

#include <boost/format.hpp>
#include <boost/lexical_cast.hpp>

#include <iostream>

namespace korvex::cli {

namespace {

struct SpaceAnswer {
  HRESULT status = E_FAIL;
  std::uint64_t used = 0;
  std::uint64_t total = 0;
};

std::uint64_t NumberField(const JsonObject& object, std::string_view key) {
  const std::string* text = FindString(object, key);
  std::uint64_t value = 0;
  if (text) (void)boost::conversion::try_lexical_convert(*text, value);
  return value;
}

void OnSpaceAnswer(HRESULT status, const std::string& body, const std::deque<std::string>&, const HttpHeaderMap&,
                   void* user) {
  auto* answer = static_cast<SpaceAnswer*>(user);
  if (Failed(status)) {
    answer->status = status;
    return;
  }
  JsonResponse response;
  status = CheckJsonResponse(body, response);
  if (Failed(status)) {
    answer->status = response.object && !response.succeeded ? RefusalStatus(response.state) : status;
    return;
  }
  answer->used = NumberField(*response.object, "space");
  answer->total = NumberField(*response.object, "totalspace");
  answer->status = S_OK;
}

CommandOutcome QuerySpace(const Session& session, const DeploymentValues& deployment, SpaceAnswer& answer) {
  if (session.accessCode) return {E_ACCESSDENIED, "space", std::string(Text(kTxtAccessCodeOnly))};
  HttpRequestor requestor;
  requestor.SetProxyQueryUrl(deployment.webUrl);
  if (const HRESULT hr = requestor.Init(deployment.apiUrl, /*async=*/false); Failed(hr)) return {hr, "space", {}};
  requestor.SetAuthPro(session.authPro);
  requestor.SetPhpSessionId(session.phpSessionId);
  if (const HRESULT hr = requestor.SendRequest("/account/getspace", "GET", "", nullptr, 0, OnSpaceAnswer, &answer, 0);
      Failed(hr)) {
    return {hr, "space", {}};
  }
  return {answer.status, "space", {}};
}

}  // namespace

int RunSpace(const GlobalOptions& options, const DeploymentValues& deployment) {
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    SpaceAnswer answer;
    CommandOutcome outcome = QuerySpace(stores.GetSession(), deployment, answer);
    if (Failed(outcome.status)) return outcome;
    if (options.json) {
      std::cout << "{\"used\":" << answer.used << ",\"total\":" << answer.total << "}" << std::endl;
    } else {
      const double percent = answer.total ? 100.0 * static_cast<double>(answer.used) / static_cast<double>(answer.total)
                                          : 0.0;
      std::cout << boost::format(std::string(Text(kTxtSpaceLine))) % HumanSize(answer.used) %
                       HumanSize(answer.total) % (boost::format("%.1f") % percent).str()
                << std::endl;
    }
    return {};
  });
}

}  // namespace korvex::cli
