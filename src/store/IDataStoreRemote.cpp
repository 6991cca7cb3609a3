//===- store/IDataStoreRemote.cpp - Payload ownership helper --------------===//

#include "store/IDataStoreRemote.h"

namespace korvex {
namespace {

template <class T>
void DeleteVector(std::vector<T*>* objects) {
  if (objects == nullptr) return;
  for (T* object : *objects) delete object;
  delete objects;
}

// True when the payload held a `Tuple`, whose owned objects `drop` deleted.
template <class Tuple, class Drop>
bool DropIf(const AsyncResult& result, Drop drop) {
  const Tuple* payload = result.PayloadAs<Tuple>();
  if (payload == nullptr) return false;
  drop(*payload);
  return true;
}

}  // namespace

void DeletePayloadObjects(AsyncResult& result) {
  const bool dropped =
      DropIf<ListSubContainersPayload>(
          result, [](const auto& p) { DeleteVector(boost::get<1>(p)); }) ||
      DropIf<ListSubItemsPayload>(result, [](const auto& p) { DeleteVector(boost::get<1>(p)); }) ||
      DropIf<CreateContainerPayload>(result, [](const auto& p) { delete boost::get<1>(p); }) ||
      DropIf<CreateItemPayload>(result, [](const auto& p) { delete boost::get<1>(p); }) ||
      DropIf<ListBuddiesPayload>(result, [](const auto& p) { DeleteVector(boost::get<2>(p)); }) ||
      DropIf<ListContainerBuddiesPayload>(
          result, [](const auto& p) { DeleteVector(boost::get<2>(p)); }) ||
      DropIf<ReadBufferPayload>(result, [](const auto& p) { delete[] boost::get<1>(p); }) ||
      DropIf<AccessCodesPayload>(result, [](const auto& p) { delete boost::get<1>(p); });
  // Payloads without owned objects stay: they may still be read.
  if (dropped) result.ClearPayload();
}

}  // namespace korvex
