//===- service/AccessCodeUpload.cpp - Uploading through an access code --===//

#include "platform/FileTime.h"
#include "service/KorvexDataStoreUploadDisk.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"
#include "service/TransferAnswers.h"
#include "service/TransferText.h"

namespace korvex {
namespace {

// A time before 1970 (or none at all) goes out as 0 rather than as the huge
// number unsigned arithmetic would make of it.
std::uint64_t UnixSeconds(std::uint64_t fileTime) noexcept {
  return fileTime < kUnixEpochAsFileTime ? 0 : (fileTime - kUnixEpochAsFileTime) / 10'000'000u;
}

}  // namespace

// The code decides the directory, so the parent's id is not sent; the
// answer is read as that of any upload preparation.
HRESULT KorvexDataStoreUploadDisk::CreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                              std::uint32_t overrideFlag, AsyncResult** result) {
  return Guarded(result, [&] {
    if (item.size == 0) return NotStarted(result, HR_EMPTY_UPLOAD);
    std::string body = FillTemplate("code=%1%&filename=%2%&size=%3%&%4%=%5%&lastmodifytime=%6%",
                                    EncodeFormText(accessCode_), EncodeName(item.name), item.size,
                                    EncodeName("over_ride"), overrideFlag != 0 ? 1 : 0, UnixSeconds(item.modifyTime));
    return StartRequest(
        hrtCreateItem, parent.uri + item.name, CreateItemExtra{parent.uri, item},
        [&](RequestContext* context) { return SendApiPost("/accesscode/preupload", body, context); }, result);
  });
}

HRESULT KorvexDataStoreUploadDisk::CompleteItem(const ItemInfo& item, std::uint32_t /*overrideFlag*/,
                                                AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    const std::string* token = id ? TransferToken(item) : nullptr;
    if (!token) return NotStarted(result, E_INVALIDARG);
    std::string body =
        FillTemplate("fileid=%1%&code=%2%&token=%3%", *id, EncodeFormText(accessCode_), EncodeFormText(*token));
    return StartRequest(
        hrtCompleteItem, item.uri, {},
        [&](RequestContext* context) { return SendApiPost("/accesscode/uploadover", body, context); }, result);
  });
}

}  // namespace korvex
