//===- service/ShareRequests.cpp - Shares and contacts -----------------===//

#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"

namespace korvex {
namespace {

// The service takes the users of a share as one comma-separated list of
// their names.
std::string UserList(const std::vector<BuddyInfo>& buddies) {
  std::string list;
  for (const BuddyInfo& buddy : buddies) {
    if (!list.empty()) list += ',';
    list += EncodeFormText(buddy.name);
  }
  return list;
}

}  // namespace

HRESULT KorvexDataStoreRemote::ShareContainer(const ContainerInfo& container, const std::vector<BuddyInfo>& buddies,
                                              AsyncResult** result) {
  return SendShare("/share/addsharedir", container, buddies, result);
}

HRESULT KorvexDataStoreRemote::EditContainerShare(const ContainerInfo& container, const std::vector<BuddyInfo>& buddies,
                                                  AsyncResult** result) {
  return SendShare("/share/editsharedir", container, buddies, result);
}

HRESULT KorvexDataStoreRemote::SendShare(const char* path, const ContainerInfo& container,
                                         const std::vector<BuddyInfo>& buddies, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("dirid=%1%&userid=%2%&privilege=%3%", *id, UserList(buddies), container.privilege);
    return StartRequest(
        hrtShareContainer, container.uri, {}, [&](RequestContext* context) { return SendApiPost(path, body, context); },
        result);
  });
}

HRESULT KorvexDataStoreRemote::UnshareContainer(const ContainerInfo& container, const std::vector<BuddyInfo>& buddies,
                                                AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("dirid=%1%&userid=%2%", *id, UserList(buddies));
    return StartRequest(
        hrtDelShareContainer, container.uri, {},
        [&](RequestContext* context) { return SendApiPost("/share/unsharedir", body, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::CancelContainerShare(const ContainerInfo& container, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    const char* path = container.kind == kContainerShared ? "/share/cancelsharedir" : "/share/removeshare";
    std::string body = FillTemplate("dirid=%1%", *id);
    return StartRequest(
        hrtUnShareContainer, container.uri, {},
        [&](RequestContext* context) { return SendApiPost(path, body, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::ListBuddies(std::uint32_t page, std::uint32_t pageSize, AsyncResult** result) {
  return Guarded(result, [&] {
    std::string path = FillTemplate("/contact/list/LOGO/timedesc/%1%/%2%", page, pageSize);
    return StartRequest(
        hrtGetBuddyList, {}, {}, [&](RequestContext* context) { return SendApiPost(path, {}, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::ListContainerBuddies(const ContainerInfo& container, std::uint32_t page,
                                                    std::uint32_t pageSize, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/share/diraccess/%1%/LOGO/%2%/%3%/%4%", *id, "timedesc", page, pageSize);
    return StartRequest(
        hrtListSharedBuddy, container.uri, {}, [&](RequestContext* context) { return SendApiPost(path, {}, context); },
        result);
  });
}

}  // namespace korvex
