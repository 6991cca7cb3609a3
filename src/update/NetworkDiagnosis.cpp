//===- update/NetworkDiagnosis.cpp - What the network check does ----------===//

#include "update/NetworkDiagnosis.h"

#include <boost/format.hpp>

#include <array>
#include <set>
#include <sstream>

#include "net/HttpRequestor.h"
#include "net/ProxyConfigHelper.h"
#include "platform/VersionMarker.h"
#include "update/KorvexDataAutoUpdater.h"
#include "update/NetworkProbes.h"

namespace korvex {

struct NetworkDiagnosis::RootRequest {
  std::unique_ptr<Event> done;
  HRESULT status = E_UNEXPECTED;
};

namespace {

using Clock = std::chrono::steady_clock;

std::string Code(HRESULT hr) { return (boost::format("0x%08X") % static_cast<unsigned>(hr)).str(); }

std::string Elapsed(Clock::time_point since) {
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count()) + " ms";
}

std::string Outcome(HRESULT hr) { return hr == E_ABORT ? "cancelled" : "FAILED (" + Code(hr) + ")"; }

void OnRootAnswered(HRESULT status, const std::string&, const std::deque<std::string>&, const HttpHeaderMap&,
                    void* userParam) {
  auto* request = static_cast<NetworkDiagnosis::RootRequest*>(userParam);
  request->status = status;
  request->done->Set();
}

bool IsHttpAnswerBelow500(HRESULT hr) {
  const auto bits = static_cast<std::uint32_t>(hr);
  const std::uint32_t number = bits & 0xFFFFu;
  return (bits & 0xFFFF0000u) == kHttpFacilityBits && number >= 100 && number < 500;
}

}  // namespace

std::vector<DiagnosisEndpoint> ConfiguredEndpoints(const DeploymentValues& deployment) {
  return {{"Web site", deployment.webUrl}, {"API", deployment.apiUrl}, {"Data", deployment.dataUrl}};
}

std::vector<DiagnosisEndpoint> EndpointsFromText(std::string_view urls) {
  std::vector<DiagnosisEndpoint> endpoints;
  std::istringstream words{std::string(urls)};
  for (std::string url; words >> url;) endpoints.push_back({url, url});
  return endpoints;
}

NetworkDiagnosis::NetworkDiagnosis(std::vector<DiagnosisEndpoint> endpoints, std::chrono::milliseconds probeLimit)
    : endpoints_(std::move(endpoints)), probeLimit_(probeLimit) {}

HRESULT NetworkDiagnosis::Run(Event& cancel, std::string& report) {
  report = "KorvexData network check " + std::string(ProgramVersion()) + "\n";
  HRESULT first = S_OK;
  std::set<std::string> checked;
  for (const DiagnosisEndpoint& endpoint : endpoints_) {
    HostPort where;
    std::string scheme;
    const bool valid = SplitUrl(endpoint.url, where, &scheme);
    const std::string origin = scheme + "://" + where.host + ":" + std::to_string(where.port);
    if (valid && !checked.insert(origin).second) continue;
    report += endpoint.label + " " + endpoint.url + "\n";
    const HRESULT hr = valid ? CheckEndpoint(endpoint, cancel, report) : E_INVALIDARG;
    if (!valid) report += "  not an http(s) address\n";
    if (hr == E_ABORT) {
      first = E_ABORT;
      break;
    }
    if (Failed(hr) && Succeeded(first)) first = hr;
  }
  report += first == S_OK ? "Result: OK\n" : "Result: " + Outcome(first) + "\n";
  return first;
}

HRESULT NetworkDiagnosis::CheckEndpoint(const DiagnosisEndpoint& endpoint, Event& cancel, std::string& report) {
  HostPort service;
  std::string scheme;
  (void)SplitUrl(endpoint.url, service, &scheme);
  // Declared first so that it outlives the requestor, whose destruction
  // cancels a request still under way.
  RootRequest request;
  HttpRequestor requestor;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(probeLimit_).count();
  requestor.SetTimeouts({probeLimit_.count(), std::max<std::int64_t>(1, seconds)});
  // The proxy to name is the one the requestor resolved in Init.
  const HRESULT initialised = requestor.Init(endpoint.url);
  HostPort connectTo = service;
  std::string proxyLine = "  proxy: none\n";
  if (Succeeded(initialised)) {
    const ProxySettings proxy = requestor.Proxy();
    const std::string proxyUrl = ProxyConfigHelper::CurlProxyFor(proxy, scheme);
    HostPort proxyAt;
    if (proxy.accessType != kProxyAccessNoProxy && !proxyUrl.empty() &&
        !BypassesProxy(ProxyConfigHelper::CurlNoProxyList(proxy.bypass), service.host) &&
        SplitUrl(proxyUrl, proxyAt)) {
      connectTo = proxyAt;
      proxyLine = "  proxy: " + proxyUrl + "\n";
    }
  }
  report += proxyLine;

  Clock::time_point started = Clock::now();
  std::vector<ResolvedAddress> addresses;
  HRESULT hr = ResolveHost(connectTo.host, connectTo.port, probeLimit_, cancel.Fd(), addresses);
  report += "  resolve " + connectTo.host + ": " +
            (Succeeded(hr) ? "OK (" + addresses.front().text + ", " + Elapsed(started) + ")" : Outcome(hr)) + "\n";
  if (Failed(hr)) return hr;

  started = Clock::now();
  std::size_t connected = 0;
  hr = ConnectTcp(addresses, probeLimit_, cancel.Fd(), connected);
  report += "  connect " + connectTo.host + ":" + std::to_string(connectTo.port) + ": " +
            (Succeeded(hr) ? "OK (" + addresses[connected].text + ", " + Elapsed(started) + ")" : Outcome(hr)) +
            "\n";
  if (Failed(hr)) return hr;

  std::string line;
  hr = Failed(initialised) ? initialised : RequestRoot(requestor, request, cancel, line);
  if (Failed(initialised)) line = Outcome(initialised);
  report += "  " + scheme + " request GET " + kProductDescPath + ": " + line + "\n";
  return hr;
}

HRESULT NetworkDiagnosis::RequestRoot(HttpRequestor& requestor, RootRequest& request, Event& cancel,
                                      std::string& line) {
  const Clock::time_point started = Clock::now();
  HRESULT hr = Event::Create(true, false, request.done);
  if (Succeeded(hr)) hr = requestor.SendRequest(kProductDescPath, "GET", {}, nullptr, 0, &OnRootAnswered, &request, 4096);
  if (Succeeded(hr)) {
    std::array<Event*, 2> events{request.done.get(), &cancel};
    hr = WaitAny(events, kInfinite) == 0 ? request.status : E_ABORT;
  }
  if (IsHttpAnswerBelow500(hr)) {
    line = "OK (HTTP " + std::to_string(static_cast<std::uint32_t>(hr) & 0xFFFFu) + ", " + Elapsed(started) + ")";
    return S_OK;
  }
  line = Succeeded(hr) ? "OK (" + Elapsed(started) + ")" : Outcome(hr);
  return hr;
}

}  // namespace korvex
