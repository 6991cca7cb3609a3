//===- service/WindowRequests.cpp - File count, space and previews -----===//

#include "service/WindowRequests.h"

#include "foundation/LogMgr.h"
#include "service/DirectoryAnswers.h"
#include "service/JsonParser.h"
#include "service/JsonResponse.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"
#include "service/ResultCompletion.h"

#include <cctype>

namespace korvex {
namespace {

// The service has sent these numbers both as JSON numbers and as decimal
// text; either is read.
bool ReadNumber(const JsonObject& root, const char* key, std::uint64_t& value) {
  if (const std::uint64_t* number = FindInteger(root, key)) {
    value = *number;
    return true;
  }
  const std::string* text = FindString(root, key);
  if (!text || text->empty() || !std::isdigit(static_cast<unsigned char>((*text)[0]))) return false;
  value = DecimalValue(*text);
  return true;
}

void CompleteCountOrSpace(RequestContext& context, const std::string& body) {
  AsyncResult& result = *context.result;
  JsonResponse response;
  if (Failed(CheckJsonResponse(body, response)) || !response.succeeded) {
    result.SetMessage(response.errmsg);
    result.Complete(RefusalStatus(response.state));
    return;
  }
  std::uint64_t first = 0, second = 0;
  const bool usable = context.type == hrtCountFiles ? ReadNumber(*response.object, "total", first)
                                                    : ReadNumber(*response.object, "space", first) &&
                                                          ReadNumber(*response.object, "totalspace", second);
  if (!usable) {
    LogMgr::Get().Warn("KorvexDataStoreRemote", "%s answered without its numbers",
                       std::string(RequestTypeName(context.type)).c_str());
    result.Complete(E_INVALIDARG);
    return;
  }
  if (context.type == hrtCountFiles) {
    CompleteWith(result, FileCountPayload(S_OK, first));
  } else {
    CompleteWith(result, SpacePayload(S_OK, first, second));
  }
}

// A preview answer is judged on its own: any non-zero "result" with a "url"
// will do.
void CompletePreview(RequestContext& context, const std::string& body) {
  AsyncResult& result = *context.result;
  JsonValue root = ParseJson(body);
  const JsonObject* object = root.AsObject();
  if (!object) {
    LogMgr& log = LogMgr::Get();
    if (log.Admits(kLogError))
      log.Error("_GetPrevieUrl_HttpRequestCallback", "parse response JSON error, %s", body.c_str());
    result.Complete(E_INVALIDARG);
    return;
  }
  const std::uint64_t* verdict = FindInteger(*object, "result");
  const std::string* url = FindString(*object, "url");
  if (verdict && *verdict != 0 && url) {
    CompleteWith(result, PreviewPayload(S_OK, *url));
    return;
  }
  JsonResponse response;
  (void)CheckJsonResponse(body, response);
  result.SetMessage(response.errmsg);
  result.Complete(RefusalStatus(response.state));
}

}  // namespace

bool SplitPreviewAddress(std::string_view url, std::string& server, std::string& path) {
  server.clear();
  path.clear();
  const std::size_t scheme = url.find("://");
  if (url.find("http") == std::string_view::npos || scheme == std::string_view::npos) return false;
  const std::size_t slash = url.find('/', scheme + 3);
  server = url.substr(0, slash);
  path = slash == std::string_view::npos ? std::string("/") : std::string(url.substr(slash));
  return true;
}

bool IsWindowAnswer(RequestType type) noexcept {
  return type == hrtCountFiles || type == hrtGetSpace || type == hrtGetPicturePreview || type == hrtGetVideoPreview;
}

void CompleteWindowAnswer(RequestContext& context, const std::string& body) {
  if (context.type == hrtCountFiles || context.type == hrtGetSpace) {
    CompleteCountOrSpace(context, body);
  } else {
    CompletePreview(context, body);
  }
}

HRESULT KorvexDataStoreRemote::CountFiles(const ContainerInfo& container, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/directory/countfiles/%1%", *id);
    return StartRequest(
        hrtCountFiles, container.uri, {}, [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::GetSpace(AsyncResult** result) {
  return Guarded(result, [&] {
    return StartRequest(
        hrtGetSpace, {}, {}, [&](RequestContext* context) { return SendApiGet("/account/getspace", context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::GetPreviewUrl(const ItemInfo& item, bool video, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate(video ? "/file/getvideopreview/%1%" : "/file/getpicpreview/%1%", *id);
    return StartRequest(
        video ? hrtGetVideoPreview : hrtGetPicturePreview, item.uri, {},
        [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

}  // namespace korvex
