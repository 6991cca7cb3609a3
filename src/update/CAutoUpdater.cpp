//===- update/CAutoUpdater.cpp - Fetches published updates ----------------===//

#include "update/CAutoUpdater.h"

#include <boost/format.hpp>

#include <array>
#include <chrono>
#include <system_error>

#include "foundation/LogMgr.h"
#include "platform/AtomicFile.h"
#include "platform/SystemError.h"
#include "update/UpdateFileCheck.h"
#include "update/UpdateTexts.h"

namespace korvex {

namespace {

constexpr const char* kCategory = "AutoUpdater";

const char* RequestTypeName(int type) { return type == 0 ? "hrtGetDesc" : "hrtDownloadBinary"; }

// Milliseconds since boot, like the tick count the web site's caches have
// always been busted with.
std::uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

// Shared by the waiting caller and the completion, so that a caller who
// gave up (cancel) leaves the completion something valid to write to.
struct CAutoUpdater::Request {
  RequestType type;
  std::unique_ptr<Event> done;
  HRESULT status = E_UNEXPECTED;
  std::string body;
};

CAutoUpdater::CAutoUpdater(std::string baseUrl)
    : baseUrl_(std::move(baseUrl)), requestor_(std::make_unique<HttpRequestor>()) {
  initStatus_ = requestor_->Init(baseUrl_, /*async=*/true);
  if (Failed(initStatus_)) {
    LogMgr::Get().Error(kCategory, "HttpRequestor Init Failed: Url = %s, hr = 0x%08X", baseUrl_.c_str(),
                        static_cast<unsigned>(initStatus_));
  }
}

CAutoUpdater::~CAutoUpdater() = default;

void CAutoUpdater::OnCompleted(HRESULT status, const std::string& body, const std::deque<std::string>&,
                               const HttpHeaderMap&, void* userParam) {
  auto* holder = static_cast<std::shared_ptr<Request>*>(userParam);
  const std::shared_ptr<Request> request = std::move(*holder);
  delete holder;
  if (Failed(status)) {
    LogMgr::Get().Error(kCategory, "Http Request Failed: RequestType = %s, hr = 0x%08X, ResponseBody = %s",
                        RequestTypeName(static_cast<int>(request->type)), static_cast<unsigned>(status),
                        body.empty() ? "(null)" : body.c_str());
  } else {
    request->body = body;
  }
  request->status = Failed(status) ? status : S_OK;
  request->done->Set();
}

HRESULT CAutoUpdater::Get(RequestType type, const std::string& path, std::string& body, Event* cancel) {
  if (Failed(initStatus_)) return initStatus_;
  auto request = std::make_shared<Request>();
  request->type = type;
  if (const HRESULT hr = Event::Create(true, false, request->done); Failed(hr)) return hr;
  const std::string target = (boost::format("%1%?%2%") % path % TickCount()).str();
  auto* holder = new std::shared_ptr<Request>(request);
  if (const HRESULT hr = requestor_->SendRequest(target, "GET", {}, nullptr, 0, &OnCompleted, holder, 0);
      Failed(hr)) {
    delete holder;
    return hr;
  }
  std::array<Event*, 2> events{request->done.get(), cancel};
  const int signalled = WaitAny(std::span<Event* const>(events.data(), cancel != nullptr ? 2 : 1), kInfinite);
  if (signalled == 1) return E_ABORT;
  if (signalled != 0) return E_UNEXPECTED;
  if (Failed(request->status)) return request->status;
  body = std::move(request->body);
  return S_OK;
}

HRESULT CAutoUpdater::GetDesc(std::string& text, Event* cancel) {
  const HRESULT hr = Get(RequestType::kGetDesc, GetDescPath(), text, cancel);
  if (Failed(hr)) LogMgr::Get().Error(kCategory, "GetDesc Failed: hr = 0x%08X", static_cast<unsigned>(hr));
  return hr;
}

HRESULT CAutoUpdater::DownloadBinary(const std::filesystem::path& file, Event* cancel) {
  refusal_.clear();
  std::string body;
  HRESULT hr = Get(RequestType::kDownloadBinary, GetBinaryPath(), body, cancel);
  if (Succeeded(hr) && body.empty()) hr = E_INVALIDARG;
  if (Succeeded(hr) && !published_) hr = FetchDescription(cancel);
  if (Succeeded(hr)) hr = CheckBody(body);
  // Written beside the old copy and renamed over it, so a failed write never
  // leaves a half file where an earlier download (or the program) was.
  if (Succeeded(hr)) hr = WriteFileAtomically(file, body, 0755);
  if (Failed(hr)) LogMgr::Get().Error(kCategory, "DownloadBinary Failed: hr = 0x%08X", static_cast<unsigned>(hr));
  return hr;
}

HRESULT CAutoUpdater::FetchDescription(Event* cancel) {
  published_.reset();
  std::string text;
  if (const HRESULT hr = GetDesc(text, cancel); Failed(hr)) return hr;
  UpdateDescription published;
  if (const HRESULT hr = ParseUpdateDescription(text, published); Failed(hr)) {
    LogMgr::Get().Error(kCategory, "ParseDescXml Failed: hr = 0x%08X", static_cast<unsigned>(hr));
    return E_INVALIDARG;
  }
  published_ = std::move(published);
  return S_OK;
}

HRESULT CAutoUpdater::CheckBody(std::string_view body) {
  const std::string name = std::filesystem::path(GetBinaryPath()).filename().string();
  std::string reason;
  const HRESULT hr = CheckDownloadedFile(body, *published_, name, reason);
  if (Failed(hr)) {
    boost::format message{std::string(Text(kTxtDownloadRefused))};
    message.exceptions(boost::io::no_error_bits);
    refusal_ = (message % name % reason).str();
    LogMgr::Get().Error(kCategory, "Download of %s refused: %s", name.c_str(), reason.c_str());
  }
  return hr;
}

HRESULT CAutoUpdater::QueryInstalledVersion(FileVersion& version) const {
  const std::filesystem::path target = GetTargetPath();
  std::error_code error;
  if (!std::filesystem::exists(target, error)) return S_FALSE;
  const HRESULT hr = QueryFileVersion(target, version);
  if (Failed(hr)) {
    LogMgr::Get().Error(kCategory, "QueryFileVersion Failed: %s, hr = 0x%08X", target.c_str(),
                        static_cast<unsigned>(hr));
  }
  return hr;
}

HRESULT CAutoUpdater::CheckForUpdate(UpdateDescription& published, Event* cancel) {
  if (const HRESULT hr = FetchDescription(cancel); Failed(hr)) return hr;
  published = *published_;
  FileVersion installed = 0;
  const HRESULT hr = QueryInstalledVersion(installed);
  if (Failed(hr)) return hr;
  if (hr == S_FALSE) {
    LogMgr::Get().Info(kCategory, "Target File Doesn't Exists: %s, Force Update", GetTargetPath().c_str());
    return S_OK;
  }
  if (published.version <= installed) return kNoUpdateDue;
  LogMgr::Get().Info(kCategory, "New Version Found: Old = %s, New = %s", FormatVersion(installed).c_str(),
                     published.versionText.c_str());
  return S_OK;
}

}  // namespace korvex
