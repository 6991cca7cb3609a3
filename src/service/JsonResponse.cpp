//===- service/JsonResponse.cpp - The common answer envelope ----------===//

#include "service/JsonResponse.h"

#include "foundation/LogMgr.h"
#include "service/JsonParser.h"

#include <cstdlib>
#include <string>

namespace korvex {
namespace {

constexpr const char* kCategory = "JsonResponse";

// Bodies are logged as text; a body may carry NULs, which would cut the
// line short in a printf "%s", so they are formatted from a copy.
void WarnWithBody(const char* format, std::string_view body) {
  if (!LogMgr::Get().Admits(kLogWarn)) return;
  std::string text(body);
  LogMgr::Get().Warn(kCategory, format, text.c_str());
}

// "state" may arrive as a number or as decimal text; text is read the way
// the C conversion reads it (leading digits, 0 if none).
void ReadState(const JsonObject& object, std::int32_t& state) {
  const JsonValue* value = FindField(object, "state");
  if (!value) return;
  if (const std::string* text = value->AsString()) {
    state = static_cast<std::int32_t>(std::strtoll(text->c_str(), nullptr, 10));
    return;
  }
  (void)value->GetInt32(state);
}

}  // namespace

HRESULT CheckJsonResponse(std::string_view body, JsonResponse& response) {
  LogMgr& log = LogMgr::Get();
  if (log.Admits(kLogTrace)) {
    std::string text(body);
    log.Trace(kCategory, "unescaped response: %s", text.c_str());
  }

  response.root = ParseJson(body);
  response.object = response.root.AsObject();
  if (!response.object) {
    WarnWithBody("Invalid Json Response: %s", body);
    return E_INVALIDARG;
  }

  const std::uint64_t* result = FindInteger(*response.object, "result");
  if (!result) {
    WarnWithBody("Invalid Json Response, No result field found: %s", body);
    return E_INVALIDARG;
  }
  if (*result > 1) {
    WarnWithBody("Invalid Json Response, result not in [0,1]: %s", body);
    return E_INVALIDARG;
  }

  response.succeeded = *result == 1;
  if (response.succeeded) return S_OK;

  if (const std::string* errmsg = FindString(*response.object, "errmsg")) response.errmsg = *errmsg;
  ReadState(*response.object, response.state);
  if (log.Admits(kLogWarn)) {
    std::string text(body);
    log.Warn(kCategory, "Json Response Error: errmsg = %s, state = %d : %s", response.errmsg.c_str(),
             response.state, text.c_str());
  }
  return E_INVALIDARG;
}

HRESULT RefusalStatus(std::int32_t state) noexcept {
  switch (state) {
    case 3009:
    case 3017:
    case 2013:
    case kStateDirectoryExists:
      return HR_ALREADY_EXISTS;
    case 0:
      return HResultFromHttp(0);
    default:
      break;
  }
  if (state < 0) return state;
  return HResultFromWin32(state);
}

}  // namespace korvex
