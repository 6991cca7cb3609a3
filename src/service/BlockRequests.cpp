//===- service/BlockRequests.cpp - The block transfer requests ---------===//

#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"
#include "service/TransferAnswers.h"
#include "service/TransferText.h"

namespace korvex {
namespace {

constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000u;
constexpr std::uint64_t kTicksPerSecond = 10000000u;
// A file marked 1 is uploaded encrypted, with a header of this many bytes.
constexpr std::uint64_t kEncryptionHeaderBytes = 20;

bool IsProtected(const ItemInfo& item) noexcept { return item.locked == 1 || item.locked == 2; }

// FILETIME as Unix seconds. A time before 1970 (or none at all) is sent as
// 0 rather than as the huge number unsigned arithmetic would make of it.
std::uint64_t UnixSeconds(std::uint64_t fileTime) noexcept {
  return fileTime < kUnixEpochFileTime ? 0 : (fileTime - kUnixEpochFileTime) / kTicksPerSecond;
}

// The extension of `name` from its last "." on, dot included.
std::string Extension(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

HRESULT KorvexDataStoreRemote::CreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                          std::uint32_t overrideFlag, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* parentId = ServiceId(parent.tag, parent.uri);
    if (!parentId) return NotStarted(result, HR_NO_TARGET_DIRECTORY);
    const std::uint64_t size = item.size + (item.locked == 1 ? kEncryptionHeaderBytes : 0);
    if (size == 0) return NotStarted(result, HR_EMPTY_UPLOAD);
    std::string body = FillTemplate("dirid=%1%&filename=%2%&size=%3%&%4%=%5%&lastmodifytime=%6%&sec=%7%", *parentId,
                                    EncodeName(item.name), size, EncodeName("over_ride"), overrideFlag != 0 ? 1 : 0,
                                    UnixSeconds(item.modifyTime), IsProtected(item) ? 1 : 0);
    return StartRequest(hrtCreateItem, parent.uri + item.name, CreateItemExtra{parent.uri, item},
                        [&](RequestContext* context) { return SendApiPost("/file/preupload", body, context); },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::WriteItem(const ItemInfo& item, std::unique_ptr<std::uint8_t[]> data,
                                         std::uint32_t offsetLow, std::uint32_t offsetHigh, std::uint32_t length,
                                         AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    const std::string* token = id ? TransferToken(item) : nullptr;
    if (!token || (length > 0 && !data)) return NotStarted(result, E_INVALIDARG);
    const std::uint64_t offset = JoinOffset(offsetLow, offsetHigh);
    // Upload paths carry their parameters after a "/", not after a "?".
    std::string path = FillTemplate("/file/uploadblock/%1%%2%/a=%3%&t=%4%&random=%5%", *id, Extension(item.name),
                                    TransferAuth(), *token, RandomValue());
    std::string headers = BlockRangeHeaders(offset, offset + length);
    return StartRequest(hrtWriteItem, item.uri, {},
                        [&](RequestContext* context) {
                          return SendTransferRaw(path, headers, data.get(), length, context);
                        },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::CompleteItem(const ItemInfo& item, std::uint32_t /*overrideFlag*/,
                                            AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    const std::string* token = id ? TransferToken(item) : nullptr;
    if (!token) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/file/uploadover/%1%/%2%?product=smb&a=%3%&t=%4%", *id,
                                    IsProtected(item) ? 1 : 0, TransferAuth(), *token);
    return StartRequest(hrtCompleteItem, item.uri, {},
                        [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::OpenItem(const ItemInfo& item, bool /*forWriting*/, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/file/predownloadnoredirect/%1%", *id);
    return StartRequest(hrtOpenItem, item.uri, {},
                        [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::ReadItem(const ItemInfo& item, std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                        std::uint32_t length, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    const std::string* token = id ? TransferToken(item) : nullptr;
    // A read of nothing has no inclusive range (and a size limit of 0 would
    // mean the whole file).
    if (!token || length == 0) return NotStarted(result, E_INVALIDARG);
    const std::uint64_t offset = JoinOffset(offsetLow, offsetHigh);
    std::string path = FillTemplate("/file/downloadblock/%1%?a=%2%&t=%3%&random=%4%", *id, TransferAuth(), *token,
                                    RandomValue());
    std::string headers = BlockRangeHeaders(offset, offset + length - 1);
    return StartRequest(hrtReadItem, item.uri, length,
                        [&](RequestContext* context) { return SendTransferGet(path, headers, length, context); },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::GetItemMd5(const ItemInfo& item, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    const std::string* token = id ? TransferToken(item) : nullptr;
    if (!token) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/file/md5sum/%1%?a=%2%&t=%3%&random=%4%", *id, TransferAuth(), *token,
                                    RandomValue());
    return StartRequest(hrtMd5Sum, item.uri, {},
                        [&](RequestContext* context) { return SendTransferGet(path, {}, 0, context); }, result);
  });
}

}  // namespace korvex
