//===- service/CodeRequests.cpp - Managing upload access codes ---------===//

#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"

namespace korvex {

HRESULT KorvexDataStoreRemote::ListAccessCodes(const ContainerInfo& container, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/accesscode/listsingle/%1%/TEXT/timedesc", *id);
    return StartRequest(
        hrtListAccessCodes, container.uri, {}, [&](RequestContext* context) { return SendApiGet(path, context); },
        result);
  });
}

HRESULT KorvexDataStoreRemote::CreateAccessCode(const ContainerInfo& container, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/accesscode/createcode/%1%", *id);
    return StartRequest(
        hrtCreateAccessCode, container.uri, {}, [&](RequestContext* context) { return SendApiGet(path, context); },
        result);
  });
}

HRESULT KorvexDataStoreRemote::DeleteAccessCodes(const std::string& codeIds, AsyncResult** result) {
  return Guarded(result, [&] {
    std::string body = "codeids=" + EncodeFormText(codeIds);
    return StartRequest(
        hrtDeleteAccessCodes, {}, {},
        [&](RequestContext* context) { return SendApiPost("/accesscode/delete", body, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::EditAccessCode(const std::string& codeId, const std::string& expiration,
                                              AsyncResult** result) {
  return Guarded(result, [&] {
    std::string body = FillTemplate("codeid=%1%&expiration=%2%", EncodeFormText(codeId), EncodeFormText(expiration));
    return StartRequest(
        hrtEditAccessCode, {}, {},
        [&](RequestContext* context) { return SendApiPost("/accesscode/editcode", body, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::SendAccessCodeEmail(const std::string& codeId, const std::string& code,
                                                   const std::string& addresses, const std::string& content,
                                                   AsyncResult** result) {
  return Guarded(result, [&] {
    std::string body = FillTemplate("code=%1%&emailvalue=%2%&content=%3%&codeid=%4%", EncodeFormText(code),
                                    EncodeFormText(addresses), EncodeFormText(content), EncodeFormText(codeId));
    return StartRequest(
        hrtSendAccessCode, {}, {},
        [&](RequestContext* context) { return SendApiPost("/accesscode/sendtoemail", body, context); }, result);
  });
}

}  // namespace korvex
