//===- service/DirectoryRequests.cpp - Directory and file operations --===//

#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"

namespace korvex {

HRESULT KorvexDataStoreRemote::ListSubContainersAndItemCount(const ContainerInfo& container,
                                                             AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/directory/listandcount/%1%", *id);
    return StartRequest(hrtListSubContainersAndItemCount, container.uri, {},
                        [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::ListSubItems(const ContainerInfo& container, std::uint32_t start,
                                            std::uint32_t count, std::int32_t sortOrder, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    // An unknown sort value leaves its path segment empty; the service then
    // uses its default order.
    std::string path = FillTemplate("/file/listrandom/%1%/%2%/%3%/%4%/%5%", *id, "LOGO",
                                    std::string(SortKeyName(sortOrder)), start, count);
    return StartRequest(hrtListSubItems, container.uri, {},
                        [&](RequestContext* context) { return SendApiGet(path, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::CreateContainer(const ContainerInfo& parent, const ContainerInfo& newContainer,
                                               AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* parentId = ServiceId(parent.tag, parent.uri);
    if (!parentId) return NotStarted(result, E_INVALIDARG);
    // A sub-account may only create directories through the upload route
    // where it holds the upload right, unless the parent is virtual.
    bool uploadRoute = subAccount_ && (parent.privilege & kPrivilegeUpload) != 0 &&
                       (parent.privilege & kPrivilegeVirtual) == 0;
    std::string path = uploadRoute ? "/directory/uploaddir" : "/directory/create";
    std::string body = FillTemplate("parentid=%1%&dirname=%2%", *parentId, EncodeName(newContainer.name));
    return StartRequest(hrtCreateContainer, parent.uri + newContainer.name + "/",
                        CreateDirectoryExtra{parent.uri, newContainer.name},
                        [&](RequestContext* context) { return SendApiPost(path, body, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::DeleteContainer(const ContainerInfo& container, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("dirid=%1%", *id);
    return StartRequest(hrtDeleteContainer, container.uri, {},
                        [&](RequestContext* context) { return SendApiPost("/directory/delete", body, context); },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::RenameContainer(const ContainerInfo& container, const std::string& newName,
                                               AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("dirid=%1%&dirname=%2%", *id, EncodeName(newName));
    return StartRequest(hrtRenameContainer, container.uri, {},
                        [&](RequestContext* context) { return SendApiPost("/directory/rename", body, context); },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::MoveContainer(const ContainerInfo& container, const ContainerInfo& /*sourceParent*/,
                                             const ContainerInfo& targetParent, std::uint32_t /*flag*/,
                                             AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(container.tag, container.uri);
    const std::uint64_t* targetId = id ? ServiceId(targetParent.tag, targetParent.uri) : nullptr;
    if (!targetId) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("dirid=%1%&targetid=%2%", *id, *targetId);
    return StartRequest(hrtMoveContainer, container.uri, {},
                        [&](RequestContext* context) { return SendApiPost("/directory/move", body, context); },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::DeleteItem(const ItemInfo& item, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("fileid=%1%", *id);
    return StartRequest(hrtDeleteItem, item.uri, {},
                        [&](RequestContext* context) { return SendApiPost("/file/delete", body, context); },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::RenameItem(const ItemInfo& item, const std::string& newName, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("fileid=%1%&filename=%2%", *id, EncodeName(newName));
    return StartRequest(hrtRenameItem, item.uri, {},
                        [&](RequestContext* context) { return SendApiPost("/file/rename", body, context); },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::MoveItem(const ItemInfo& item, const ContainerInfo& /*sourceParent*/,
                                        const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                        AsyncResult** result) {
  return SendFileTransfer(hrtMoveItem, "/file/move", item, targetParent, overrideFlag, result);
}

HRESULT KorvexDataStoreRemote::CopyItem(const ItemInfo& item, const ContainerInfo& /*sourceParent*/,
                                        const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                        AsyncResult** result) {
  return SendFileTransfer(hrtCopyItem, "/file/copy", item, targetParent, overrideFlag, result);
}

HRESULT KorvexDataStoreRemote::SendFileTransfer(RequestType type, const char* path, const ItemInfo& item,
                                                const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                                AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    const std::uint64_t* targetId = id ? ServiceId(targetParent.tag, targetParent.uri) : nullptr;
    if (!targetId) return NotStarted(result, E_INVALIDARG);
    std::string body = FillTemplate("fileid=%1%&targetid=%2%&override=%3%", *id, *targetId, overrideFlag != 0);
    return StartRequest(type, item.uri, {},
                        [&](RequestContext* context) { return SendApiPost(path, body, context); }, result);
  });
}

}  // namespace korvex
