//===- cli/SessionRunner.cpp - Running a command on the saved session -----===//

#include "cli/SessionRunner.h"

#include "cli/Console.h"
#include "cli/Texts.h"

namespace korvex::cli {

int RunWithSession(const GlobalOptions&, const DeploymentValues& deployment, const SessionCommand& command) {
  Session session;
  // A session made with another web site belongs to another service.
  if (Failed(LoadSession(session)) || session.webUrl != deployment.webUrl) return ReportMessage(Text(kTxtNotLoggedIn));
  for (int attempt = 0;; ++attempt) {
    CommandOutcome outcome;
    {
      SessionStores stores(session, deployment);
      outcome = command(stores);
    }
    if (outcome.status == kSessionRefused && attempt == 0) {
      if (RenewSession(session, deployment)) continue;
      return ReportMessage(Text(kTxtSessionExpired));
    }
    if (Failed(outcome.status)) return ReportFailure(outcome.status, outcome.subject, outcome.fallback);
    return kExitOk;
  }
}

}  // namespace korvex::cli
