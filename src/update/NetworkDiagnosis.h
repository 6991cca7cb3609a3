//===- update/NetworkDiagnosis.h - What the network check does --*- C++ -*-===//
///
/// The check behind the network-check module. For each endpoint of the
/// service (the web site, the API host and the data host; an address shared
/// by two is checked once), in this order:
///
///   1. the proxy the user's configuration picks for it (or none);
///   2. name resolution of the host connected to (the proxy, else the
///      service host);
///   3. a TCP connection to the resolved addresses;
///   4. a GET of the product's update description ("/ZEPH300.xml", the one
///      page every client fetches) through HttpRequestor, with the user's
///      proxy and certificate policy. Any HTTP answer below 500 proves the
///      host is reached (the API and data hosts answer 404); a 5xx answer
///      is a service fault.
///
/// A failed step skips the later steps of its endpoint; the other endpoints
/// are still checked. The report is plain text, one line per step, ending
/// in a summary line.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Deployment.h"
#include "platform/Event.h"
#include "platform/HResult.h"

namespace korvex {

class HttpRequestor;

struct DiagnosisEndpoint {
  std::string label;  ///< "Web site", "API", "Data" or the URL itself
  std::string url;
};

/// The deployment's three endpoints.
[[nodiscard]] std::vector<DiagnosisEndpoint> ConfiguredEndpoints(const DeploymentValues& deployment);
/// Blank-separated URLs, each its own endpoint.
[[nodiscard]] std::vector<DiagnosisEndpoint> EndpointsFromText(std::string_view urls);

class NetworkDiagnosis {
 public:
  NetworkDiagnosis(std::vector<DiagnosisEndpoint> endpoints, std::chrono::milliseconds probeLimit);

  /// Runs every probe. S_OK when all passed, E_ABORT once `cancel` is seen,
  /// else the status of the first failed probe. `report` receives the text.
  [[nodiscard]] HRESULT Run(Event& cancel, std::string& report);

 public:
  struct RootRequest;  // the one GET under way

 private:
  [[nodiscard]] HRESULT CheckEndpoint(const DiagnosisEndpoint& endpoint, Event& cancel, std::string& report);
  [[nodiscard]] HRESULT RequestRoot(HttpRequestor& requestor, RootRequest& request, Event& cancel,
                                    std::string& line);

  std::vector<DiagnosisEndpoint> endpoints_;
  std::chrono::milliseconds probeLimit_;
};

}  // namespace korvex
