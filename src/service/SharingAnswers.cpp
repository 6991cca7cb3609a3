//===- service/SharingAnswers.cpp - Answers about shares, links, codes ---===//

#include "service/SharingAnswers.h"

#include "service/DirectoryAnswers.h"
#include "service/JsonResponse.h"
#include "service/ResultCompletion.h"
#include "service/WindowRequests.h"
#include "store/IDataStoreRemote.h"

#include <array>
#include <cstdlib>

namespace korvex {
namespace {

/// The service's answer to a link request has no address.
constexpr HRESULT kNoLinkAddress = HResultFromWin32(1606);

// Looks up every key of `keys` as a string; false when one is missing.
template <std::size_t N>
bool ReadStrings(const JsonObject& entry, const std::array<const char*, N>& keys,
                 std::array<const std::string*, N>& values) {
  for (std::size_t i = 0; i < N; ++i) {
    values[i] = FindString(entry, keys[i]);
    if (!values[i]) return false;
  }
  return true;
}

std::uint64_t PageSum(const JsonObject& root) {
  const std::uint64_t* pageSum = FindInteger(root, "pagesum");
  return pageSum ? *pageSum : 1;
}

// Calls `read` for every object of the array "list".
template <typename Read>
void ForEachListed(const JsonObject& root, Read&& read) {
  const JsonArray* list = FindArray(root, "list");
  if (!list) return;
  for (const JsonValue& element : *list) {
    if (const JsonObject* entry = element.AsObject()) read(*entry);
  }
}

std::int32_t SignedDecimal(const std::string& text) noexcept {
  return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

template <typename T>
std::vector<T*>* Release(std::vector<std::unique_ptr<T>>& owned) {
  auto* raw = new std::vector<T*>();
  raw->reserve(owned.size());
  for (auto& entry : owned) raw->push_back(entry.release());
  return raw;
}

// The link requests map a refusal without a state to the envelope's own
// code rather than to the general refusal, and know no "exists" states.
HRESULT LinkRefusalStatus(HRESULT envelope, std::int32_t state) noexcept {
  return state == 0 ? envelope : HResultFromWin32(state);
}

void CompleteLink(AsyncResult& result, HRESULT envelope, const JsonResponse& response) {
  if (Failed(envelope) || !response.succeeded) {
    const HRESULT status = LinkRefusalStatus(envelope, response.state);
    result.SetMessage(response.errmsg);
    CompleteWith(result, ItemCodesPayload(status, response.errmsg));
    return;
  }
  const std::string* url = FindString(*response.object, "url");
  if (!url || url->empty()) {
    result.SetMessage("Unkown error");
    CompleteWith(result, ItemCodesPayload(kNoLinkAddress, "Unkown error"));
    return;
  }
  CompleteWith(result, ItemCodesPayload(S_OK, *url));
}

void CompleteLinkDetail(AsyncResult& result, HRESULT envelope, const JsonResponse& response) {
  if (Failed(envelope) || !response.succeeded) {
    result.SetMessage(response.errmsg);
    result.Complete(LinkRefusalStatus(envelope, response.state));
    return;
  }
  auto text = [&](const char* key) {
    const std::string* value = FindString(*response.object, key);
    return value ? *value : std::string();
  };
  CompleteWith(result, ClientLinkDetailPayload(S_OK, text("url"), text("dist"), SignedDecimal(text("used")),
                                               SignedDecimal(text("overtime"))));
}

void CompleteNewAccessCode(AsyncResult& result, const JsonObject& root) {
  auto text = [&](const char* key) {
    const std::string* value = FindString(root, key);
    return value ? *value : std::string();
  };
  CompleteWith(result, CreateAccessCodePayload(S_OK, text("id"), text("expiretime"), text("code"), text("ownerid")));
}

}  // namespace

BuddyList ReadBuddyListing(const JsonObject& root, std::uint64_t& pageSum) {
  static constexpr std::array<const char*, 7> kKeys = {"userid", "name", "domain", "jointime", "email", "msn", "photo"};
  BuddyList buddies;
  pageSum = PageSum(root);
  ForEachListed(root, [&](const JsonObject& entry) {
    std::array<const std::string*, 7> v{};
    if (!ReadStrings(entry, kKeys, v)) return;
    auto buddy = std::make_unique<BuddyInfo>();
    buddy->tag = DecimalValue(*v[0]);
    buddy->name = *v[1];
    buddy->domain = *v[2];
    buddy->joinTime = *v[3];
    buddy->email = *v[4];
    buddy->msn = *v[5];
    buddy->photo = *v[6];
    buddies.push_back(std::move(buddy));
  });
  return buddies;
}

ShareList ReadShareListing(const JsonObject& root, std::uint64_t& pageSum) {
  static constexpr std::array<const char*, 9> kKeys = {"id",        "uid",    "dirid",    "uname",    "directoryname",
                                                       "privilege", "domain", "isrevert", "sharetime"};
  ShareList shares;
  pageSum = PageSum(root);
  ForEachListed(root, [&](const JsonObject& entry) {
    std::array<const std::string*, 9> v{};
    if (!ReadStrings(entry, kKeys, v)) return;
    auto share = std::make_unique<BuddyInfoEx>();
    share->tag = DecimalValue(*v[0]);
    share->buddy.tag = DecimalValue(*v[1]);
    share->directoryId = *v[2];
    share->buddy.name = *v[3];
    share->directoryName = *v[4];
    share->privilege = static_cast<std::uint32_t>(DecimalValue(*v[5]));
    share->buddy.privilege = share->privilege;
    share->buddy.domain = *v[6];
    share->buddy.joinTime = *v[8];
    shares.push_back(std::move(share));
  });
  return shares;
}

std::vector<ContainerCode> ReadAccessCodeListing(const JsonObject& root) {
  static constexpr std::array<const char*, 7> kKeys = {"directoryid", "code",      "expiretime", "name",
                                                       "logourl",     "isexpired", "dirname"};
  std::vector<ContainerCode> codes;
  ForEachListed(root, [&](const JsonObject& entry) {
    std::array<const std::string*, 7> v{};
    if (!ReadStrings(entry, kKeys, v)) return;
    ContainerCode code;
    if (const std::string* id = FindString(entry, "codeid")) code.codeId = *id;
    code.directoryId = *v[0];
    code.code = *v[1];
    code.expireTime = *v[2];
    code.name = *v[3];
    code.logoUrl = *v[4];
    code.directoryName = *v[6];
    codes.push_back(std::move(code));
  });
  return codes;
}

bool IsSharingAnswer(RequestType type) noexcept {
  switch (type) {
    case hrtGetBuddyList:
    case hrtListSharedBuddy:
    case hrtCreateLink:
    case hrtGetLink:
    case hrtListAccessCodes:
    case hrtCreateAccessCode:
    case hrtTransferLog:
      return true;
    default:
      return IsWindowAnswer(type);
  }
}

void CompleteSharingAnswer(RequestContext& context, const std::string& body) {
  AsyncResult& result = *context.result;
  // The report is fire-and-forget: whatever the service thinks of it, the
  // transfer it describes is done.
  if (context.type == hrtTransferLog) {
    result.Complete(S_OK);
    return;
  }
  if (IsWindowAnswer(context.type)) {
    CompleteWindowAnswer(context, body);
    return;
  }
  JsonResponse response;
  const HRESULT envelope = CheckJsonResponse(body, response);
  if (context.type == hrtCreateLink) return CompleteLink(result, envelope, response);
  if (context.type == hrtGetLink) return CompleteLinkDetail(result, envelope, response);
  if (Failed(envelope) || !response.succeeded) {
    result.SetMessage(response.errmsg);
    result.Complete(RefusalStatus(response.state));
    return;
  }
  std::uint64_t pageSum = 1;
  switch (context.type) {
    case hrtGetBuddyList: {
      BuddyList buddies = ReadBuddyListing(*response.object, pageSum);
      CompleteWith(result, ListBuddiesPayload(S_OK, pageSum, Release(buddies)));
      return;
    }
    case hrtListSharedBuddy: {
      ShareList shares = ReadShareListing(*response.object, pageSum);
      CompleteWith(result, ListContainerBuddiesPayload(S_OK, pageSum, Release(shares)));
      return;
    }
    case hrtListAccessCodes:
      CompleteWith(result,
                   AccessCodesPayload(S_OK, new std::vector<ContainerCode>(ReadAccessCodeListing(*response.object))));
      return;
    default:  // hrtCreateAccessCode
      CompleteNewAccessCode(result, *response.object);
      return;
  }
}

}  // namespace korvex
