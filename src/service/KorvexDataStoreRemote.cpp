//===- service/KorvexDataStoreRemote.cpp - Connections and answers ----===//

#include "service/KorvexDataStoreRemote.h"

#include "foundation/LogMgr.h"
#include "foundation/ShownText.h"
#include "service/DirectoryAnswers.h"
#include "service/JsonResponse.h"
#include "service/ResultCompletion.h"
#include "service/SharingAnswers.h"
#include "service/TransferAnswers.h"

#include <new>

namespace korvex {
namespace {

constexpr const char* kCategory = "KorvexDataStoreRemote";
constexpr std::string_view kFormHeader = "Content-Type: application/x-www-form-urlencoded";
// The largest real answers (a listing page, a share's member list) stay well
// below 1 MiB; chunk reads set their own, exact limit.
constexpr std::size_t kMaxAnswerBytes = 16u << 20;
constexpr std::size_t kLoggedBodyBytes = 4096;
// ERROR_INVALID_DATA: what the service sent cannot be a real answer.
constexpr HRESULT HR_ANSWER_TOO_LARGE = MakeHResult(0x8007000Du);

template <typename T>
std::vector<T*>* Release(std::vector<std::unique_ptr<T>>& owned) {
  auto* raw = new std::vector<T*>();
  raw->reserve(owned.size());
  for (auto& entry : owned) raw->push_back(entry.release());
  return raw;
}

// Answers whose success carries no value.
bool IsStatusOnly(RequestType type) {
  switch (type) {
    case hrtWriteItem: case hrtRenameItem: case hrtDeleteItem: case hrtCopyItem: case hrtMoveItem:
    case hrtDeleteContainer: case hrtRenameContainer: case hrtMoveContainer: case hrtShareContainer:
    case hrtDelShareContainer: case hrtUnShareContainer: case hrtEditPrivileges: case hrtSendLink:
    case hrtRemoveLink: case hrtChangeLink: case hrtDeleteAccessCodes: case hrtEditAccessCode:
    case hrtSendAccessCode:
      return true;
    default:
      return false;
  }
}

// A new directory is answered with its id only; the record is rebuilt from
// what the context kept. "Exists already" (2006) still carries the id of
// the existing directory and counts as success.
void CompleteCreateDirectory(RequestContext& context, HRESULT envelope, const JsonResponse& response) {
  AsyncResult& result = *context.result;
  bool usable = Succeeded(envelope) || (response.object && response.state == kStateDirectoryExists);
  if (!usable) {
    result.SetMessage(response.errmsg);
    result.Complete(RefusalStatus(response.state));
    return;
  }
  const std::string* id = FindString(*response.object, "id");
  if (!id) {
    result.SetMessage(response.errmsg);
    result.Complete(RefusalStatus(response.state));
    return;
  }
  const auto* extra = boost::any_cast<CreateDirectoryExtra>(&context.extra);
  auto container = std::make_unique<Container>();
  container->info.name = extra ? extra->name : std::string();
  container->info.uri = (extra ? extra->parentUri : std::string()) + container->info.name + "/";
  container->info.tag = DecimalValue(*id);
  CompleteWith(result, CreateContainerPayload(S_OK, container.release()));
}

void CompleteJsonAnswer(RequestContext& context, const std::string& body) {
  if (IsSharingAnswer(context.type)) return CompleteSharingAnswer(context, body);
  AsyncResult& result = *context.result;
  JsonResponse response;
  HRESULT envelope = CheckJsonResponse(body, response);
  if (context.type == hrtCreateContainer) {
    CompleteCreateDirectory(context, envelope, response);
    return;
  }
  if (Failed(envelope) || !response.succeeded) {
    result.SetMessage(response.errmsg);
    result.Complete(RefusalStatus(response.state));
    return;
  }
  // A listing's subject is the listed directory, the children's parent.
  const std::string& parent = context.subject;
  switch (context.type) {
    case hrtListSubContainersAndItemCount: {
      std::int32_t fileCount = 0;
      ContainerList containers = ReadContainerListing(*response.object, parent, fileCount);
      if (fileCount < 0) {
        result.SetMessage("the service's listing claims an impossible number of files");
        result.Complete(HR_ANSWER_TOO_LARGE);
        return;
      }
      CompleteWith(result, ListSubContainersPayload(S_OK, Release(containers), fileCount));
      return;
    }
    case hrtListSubItems: {
      ItemList items = ReadItemListing(*response.object, parent);
      CompleteWith(result, ListSubItemsPayload(S_OK, Release(items)));
      return;
    }
    default:
      // Requests whose answers are not handled here are never sent.
      result.Complete(IsStatusOnly(context.type) ? S_OK : E_UNEXPECTED);
      return;
  }
}

}  // namespace

KorvexDataStoreRemote::KorvexDataStoreRemote(std::string apiBaseUrl, std::string dataBaseUrl, std::string authPro,
                                             std::string phpSessionId, std::string rootName)
    : apiBaseUrl_(std::move(apiBaseUrl)), dataBaseUrl_(std::move(dataBaseUrl)), rootName_(std::move(rootName)) {
  OpenConnections(std::move(authPro), std::move(phpSessionId));
}

KorvexDataStoreRemote::KorvexDataStoreRemote(const KorvexDataStoreRemote& other)
    : KorvexDataStoreRemote(other, other.dataBaseUrl_) {}

KorvexDataStoreRemote::KorvexDataStoreRemote(const KorvexDataStoreRemote& other, std::string dataBaseUrl)
    : DataStoreRemoteNullImplBase(),
      apiBaseUrl_(other.apiBaseUrl_),
      dataBaseUrl_(std::move(dataBaseUrl)),
      rootName_(other.rootName_),
      subAccount_(other.subAccount_) {
  OpenConnections(other.api_->AuthPro(), other.api_->PhpSessionId());
}

KorvexDataStoreRemote::~KorvexDataStoreRemote() = default;

void KorvexDataStoreRemote::OpenConnections(std::string authPro, std::string phpSessionId) {
  api_ = std::make_unique<HttpRequestor>();
  transfer_ = std::make_unique<HttpRequestor>();
  api_->SetAuthPro(authPro);
  api_->SetPhpSessionId(phpSessionId);
  transfer_->SetAuthPro(std::move(authPro));
  transfer_->SetPhpSessionId(std::move(phpSessionId));
  HRESULT hr = api_->Init(apiBaseUrl_);
  if (Succeeded(hr)) hr = transfer_->Init(dataBaseUrl_);
  if (Failed(hr)) {
    initStatus_ = hr;
    LogMgr::Get().Error(kCategory, "Cannot open the service connections (%s, %s): hr = 0x%08X",
                        apiBaseUrl_.c_str(), dataBaseUrl_.c_str(), static_cast<unsigned>(hr));
  }
}

void KorvexDataStoreRemote::UseSession(const std::string& authPro, const std::string& phpSessionId) {
  for (HttpRequestor* connection : {api_.get(), transfer_.get()}) {
    if (connection == nullptr) continue;
    connection->SetAuthPro(authPro);
    connection->SetPhpSessionId(phpSessionId);
  }
}

HRESULT KorvexDataStoreRemote::CancelCall(AsyncResult* result) {
  if (const HRESULT hr = DataStoreRemoteNullImplBase::CancelCall(result); Failed(hr)) return hr;
  // The match runs later on the I/O threads and compares addresses only; the
  // reference it holds keeps the address from being reused by a new call
  // whose request the match would then take for this one.
  result->AddRef();
  const std::shared_ptr<AsyncResult> held(result, [](AsyncResult* r) { r->Release(); });
  for (HttpRequestor* connection : {api_.get(), transfer_.get()}) {
    if (connection == nullptr) continue;
    connection->CancelRequests([held](void* userParam) {
      return static_cast<const RequestContext*>(userParam)->result == held.get();
    });
  }
  return S_OK;
}

HRESULT KorvexDataStoreRemote::GetLoginText(std::string& text) {
  text = api_ ? api_->AuthPro() : std::string();
  return S_OK;
}

HRESULT KorvexDataStoreRemote::Dispatch(Connection connection, std::string_view path, std::string_view verb,
                                        std::string_view extraHeaders, const void* body, std::size_t length,
                                        std::uint32_t sizeLimit, RequestContext* context) {
  HttpRequestor& requestor = connection == Connection::kApi ? *api_ : *transfer_;
  // One byte past the cap tells a capped answer from one that fits.
  if (sizeLimit == 0) sizeLimit = kMaxAnswerBytes + 1;
  return requestor.SendRequest(path, verb, extraHeaders, body, length, &OnRequestComplete, context, sizeLimit,
                               context->lane, context->place);
}

HRESULT KorvexDataStoreRemote::SendApiGet(const std::string& path, RequestContext* context) {
  return Dispatch(Connection::kApi, path, "GET", {}, nullptr, 0, 0, context);
}

HRESULT KorvexDataStoreRemote::SendApiPost(const std::string& path, const std::string& body,
                                           RequestContext* context) {
  return Dispatch(Connection::kApi, path, "POST", body.empty() ? std::string_view() : kFormHeader, body.data(),
                  body.size(), 0, context);
}

HRESULT KorvexDataStoreRemote::SendTransferGet(const std::string& path, const std::string& extraHeaders,
                                               std::uint32_t sizeLimit, RequestContext* context) {
  return Dispatch(Connection::kTransfer, path, "GET", extraHeaders, nullptr, 0, sizeLimit, context);
}

HRESULT KorvexDataStoreRemote::SendTransferPost(const std::string& path, const std::string& body,
                                                RequestContext* context) {
  return Dispatch(Connection::kTransfer, path, "POST", body.empty() ? std::string_view() : kFormHeader,
                  body.data(), body.size(), 0, context);
}

HRESULT KorvexDataStoreRemote::SendTransferRaw(const std::string& path, const std::string& extraHeaders,
                                               const void* data, std::size_t length, RequestContext* context) {
  return Dispatch(Connection::kTransfer, path, "POST", extraHeaders, data, length, 0, context);
}

void KorvexDataStoreRemote::OnRequestComplete(HRESULT status, const std::string& body,
                                              const std::deque<std::string>& setCookies,
                                              const HttpHeaderMap& headers, void* userParam) {
  std::unique_ptr<RequestContext> context(static_cast<RequestContext*>(userParam));
  AsyncResult& result = *context->result;
  if (context->group) {
    CompleteGroupChunk(*context, status, headers);
  } else if (Failed(status)) {
    result.Complete(status);
  } else if (body.size() > kMaxAnswerBytes) {
    // An endless or hostile answer stops here instead of filling memory.
    result.SetMessage("the service's answer is larger than any real answer");
    result.Complete(HR_ANSWER_TOO_LARGE);
  } else {
    try {
      if (IsBlockAnswer(context->type)) {
        CompleteBlockAnswer(*context, body, setCookies);
      } else if (IsStreamAnswer(context->type)) {
        CompleteStreamAnswer(*context, body, headers);
      } else {
        CompleteJsonAnswer(*context, body);
      }
    } catch (const std::bad_alloc&) {
      result.Complete(E_OUTOFMEMORY);
    } catch (...) {
      result.Complete(E_UNEXPECTED);
    }
  }
  LogMgr& log = LogMgr::Get();
  if (result.State() == kAsyncFailed && log.Admits(kLogWarn)) {
    std::string requestName(RequestTypeName(context->type));
    log.Warn(kCategory, "Http Request Failed: RequestType = %s, hr = 0x%08X, ResponseBody = %s",
             requestName.c_str(), static_cast<unsigned>(result.Error()),
             body.empty() ? "(null)" : ShownText(body.substr(0, kLoggedBodyBytes)).c_str());
  }
}

}  // namespace korvex
