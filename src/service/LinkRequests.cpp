//===- service/LinkRequests.cpp - Download links and mails -------------===//

#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"

namespace korvex {

HRESULT KorvexDataStoreRemote::GetItemCodes(const ItemInfo& item, std::uint32_t validity, const std::string& expiry,
                                            AsyncResult** result) {
  return SendLinkValidity(hrtCreateLink, "/file/getcodes/", item, validity, expiry, result);
}

HRESULT KorvexDataStoreRemote::ChangeItemCodes(const ItemInfo& item, std::uint32_t validity, const std::string& expiry,
                                               AsyncResult** result) {
  return SendLinkValidity(hrtChangeLink, "/file/changecodes/", item, validity, expiry, result);
}

// An expiry date travels in a form body; without one the validity number
// becomes the last segment of a GET.
HRESULT KorvexDataStoreRemote::SendLinkValidity(RequestType type, const char* pathStart, const ItemInfo& item,
                                                std::uint32_t validity, const std::string& expiry,
                                                AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = pathStart + FillTemplate("%1%", *id);
    if (expiry.empty()) {
      path += FillTemplate("/%1%", validity);
      return StartRequest(
          type, item.uri, {}, [&](RequestContext* context) { return SendApiGet(path, context); }, result);
    }
    std::string body = "overdate=" + EncodeFormText(expiry);
    return StartRequest(
        type, item.uri, {}, [&](RequestContext* context) { return SendApiPost(path, body, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::RemoveItemCodes(const ItemInfo& item, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/file/removecodes/%1%", *id);
    return StartRequest(
        hrtRemoveLink, item.uri, {}, [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::GetClientLinkDetail(const ItemInfo& item, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/file/clientlinkdetail/%1%", *id);
    return StartRequest(
        hrtGetLink, item.uri, {}, [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::SendItemToEmail(std::uint64_t fileId, const std::string& addresses,
                                               const std::string& content, AsyncResult** result) {
  return Guarded(result, [&] {
    std::string body =
        FillTemplate("id=%1%&mailAddress=%2%&content=%3%", fileId, EncodeFormText(addresses), EncodeFormText(content));
    return StartRequest(
        hrtSendLink, {}, {}, [&](RequestContext* context) { return SendApiPost("/file/sendtoemail", body, context); },
        result);
  });
}

HRESULT KorvexDataStoreRemote::SendLink(const std::string& addresses, const std::string& link,
                                        const std::string& fileName, AsyncResult** result) {
  return Guarded(result, [&] {
    std::string body = FillTemplate("email=%1%&link=%2%&filename=%3%", EncodeFormText(addresses), EncodeFormText(link),
                                    EncodeFormText(fileName));
    return StartRequest(
        hrtSendLink, {}, {}, [&](RequestContext* context) { return SendApiPost("/file/sendlink", body, context); },
        result);
  });
}

}  // namespace korvex
