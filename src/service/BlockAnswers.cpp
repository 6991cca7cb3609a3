//===- service/BlockAnswers.cpp - Answers of the block transfer requests ===//

#include "foundation/LogMgr.h"
#include "net/LoginForm.h"
#include "service/JsonResponse.h"
#include "service/ResultCompletion.h"
#include "service/TransferAnswers.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace korvex {
namespace {

// The upload preparation's negative answers.
HRESULT PreparationRefusal(std::int64_t answer) noexcept {
  switch (answer) {
    case -1: return HResultFromHttp(0x0007);
    case -2: return HResultFromHttp(0x0009);
    case -3: return MakeHResult(0x800700A1u);
    case -4: return HR_ALREADY_EXISTS;
    case -7: return HR_NO_TARGET_DIRECTORY;
    case -10: return HResultFromHttp(0x0009);
    default: return HResultFromHttp(0);
  }
}

// Answer: "<id>[.<ext>][|<x>|<text>]" and the "TOKEN" cookie; a JSON
// envelope only as a refusal.
void CompleteCreateItem(RequestContext& context, const std::string& body,
                        const std::deque<std::string>& setCookies) {
  AsyncResult& result = *context.result;
  JsonResponse response;
  if (Failed(CheckJsonResponse(body, response)) && response.state != 0) {
    result.SetMessage(response.errmsg);
    result.Complete(StateStatus(response.state));
    return;
  }
  // Read as 64 bits: a 32-bit reading would turn ids above 2^31 negative
  // and report a refusal for a prepared upload.
  const std::int64_t answer = std::strtoll(body.c_str(), nullptr, 10);
  if (answer < 0) {
    result.Complete(PreparationRefusal(answer));
    return;
  }
  const std::uint64_t fileId = std::strtoull(body.c_str(), nullptr, 10);
  std::string text;
  if (const auto first = body.find('|'); first != std::string::npos) {
    if (const auto second = body.find('|', first + 1); second != std::string::npos) text = body.substr(second + 1);
  }
  std::string token = SetCookieValue(setCookies, "TOKEN");
  if (token.empty()) {
    result.Complete(HResultFromHttp(0));
    return;
  }
  const auto* extra = boost::any_cast<CreateItemExtra>(&context.extra);
  auto item = std::make_unique<Item>();
  if (extra) item->info = extra->item;
  item->info.uri = (extra ? extra->parentUri : std::string()) + item->info.name;
  item->info.partial = 1;
  item->info.tag = fileId;
  item->info.extraTag = std::move(token);
  item->info.uploadText = std::move(text);
  CompleteWith(result, CreateItemPayload(S_OK, item.release()));
}

void CompleteOpenItem(RequestContext& context, const std::string& body, const std::deque<std::string>& setCookies) {
  JsonResponse response;
  (void)CheckJsonResponse(body, response);  // for its log lines only
  std::string token = SetCookieValue(setCookies, "TOKEN");
  if (token.empty() || token == "deleted") {
    context.result->SetMessage(response.errmsg);
    context.result->Complete(HR_FILE_NOT_FOUND);
    return;
  }
  CompleteWith(*context.result, OpenItemPayload(S_OK, boost::any(std::move(token)), body));
}

void CompleteItemMd5(RequestContext& context, const std::string& body) {
  JsonResponse response;
  if (Failed(CheckJsonResponse(body, response))) {
    context.result->SetMessage(response.errmsg);
    context.result->Complete(StateStatus(response.state));
    return;
  }
  const std::string* md5 = FindString(*response.object, "md5sum");
  CompleteWith(*context.result, ItemMd5Payload(S_OK, md5 ? *md5 : std::string()));
}

}  // namespace

std::uint32_t AskedLength(const RequestContext& context) noexcept {
  const auto* length = boost::any_cast<std::uint32_t>(&context.extra);
  return length ? *length : 0;
}

bool CheckReadLength(RequestContext& context, const std::string& body, const char* category) {
  const std::uint32_t length = AskedLength(context);
  if (body.size() >= length) return true;
  LogMgr& log = LogMgr::Get();
  if (log.Admits(kLogError)) {
    log.Error(category, "get file data, need %d, but server give me %d, response = %s", static_cast<int>(length),
              static_cast<int>(body.size()), body.c_str());
  }
  context.result->Complete(HR_SHORT_READ);
  return false;
}

void CompleteWithReadBuffer(RequestContext& context, const std::string& body) {
  const std::uint32_t length = AskedLength(context);
  // Any surplus beyond the asked length is dropped.
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(length);
  if (length > 0) std::memcpy(buffer.get(), body.data(), length);
  CompleteWith(*context.result, ReadBufferPayload(S_OK, buffer.release()));
}

bool IsBlockAnswer(RequestType type) noexcept {
  return type == hrtOpenItem || type == hrtReadItem || type == hrtCreateItem || type == hrtCompleteItem ||
         type == hrtMd5Sum;
}

HRESULT StateStatus(std::int32_t state) noexcept {
  if (state == 0) return HResultFromHttp(0);
  return state < 0 ? state : HResultFromWin32(state);
}

void CompleteBlockAnswer(RequestContext& context, const std::string& body,
                         const std::deque<std::string>& setCookies) {
  switch (context.type) {
    case hrtCreateItem:
      return CompleteCreateItem(context, body, setCookies);
    case hrtCompleteItem:
      // Nothing but "1" confirms the upload; the envelope is not consulted.
      context.result->Complete(body == "1" ? S_OK : HR_UPLOAD_NOT_CONFIRMED);
      return;
    case hrtOpenItem:
      return CompleteOpenItem(context, body, setCookies);
    case hrtReadItem:
      if (CheckReadLength(context, body, "ReadItem")) CompleteWithReadBuffer(context, body);
      return;
    case hrtMd5Sum:
      return CompleteItemMd5(context, body);
    default:
      context.result->Complete(E_UNEXPECTED);
      return;
  }
}

}  // namespace korvex
