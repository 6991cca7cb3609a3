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

template <class... Tuples>
bool HoldsOneOf(const boost::any& payload) {
  return ((payload.type() == typeid(Tuples)) || ...);
}

bool OwnsObjects(const boost::any& payload) {
  return HoldsOneOf<ListSubContainersPayload, ListSubItemsPayload, CreateContainerPayload, CreateItemPayload,
                    ListBuddiesPayload, ListContainerBuddiesPayload, ReadBufferPayload, AccessCodesPayload>(payload);
}

// Deletes what `payload` points to when it holds a `Tuple`.
template <class Tuple, class Drop>
void DropIf(const boost::any& payload, Drop drop) {
  if (const Tuple* tuple = boost::any_cast<Tuple>(&payload)) drop(*tuple);
}

}  // namespace

void DeletePayloadObjects(AsyncResult& result) {
  // Taken out first, in one step: a completer and a receiver that abandon
  // the same result at once must not both delete its objects. Payloads
  // without owned objects stay, since they may still be read.
  const boost::any payload = result.TakePayloadIf(OwnsObjects);
  if (payload.empty()) return;
  DropIf<ListSubContainersPayload>(payload, [](const auto& p) { DeleteVector(boost::get<1>(p)); });
  DropIf<ListSubItemsPayload>(payload, [](const auto& p) { DeleteVector(boost::get<1>(p)); });
  DropIf<CreateContainerPayload>(payload, [](const auto& p) { delete boost::get<1>(p); });
  DropIf<CreateItemPayload>(payload, [](const auto& p) { delete boost::get<1>(p); });
  DropIf<ListBuddiesPayload>(payload, [](const auto& p) { DeleteVector(boost::get<2>(p)); });
  DropIf<ListContainerBuddiesPayload>(payload, [](const auto& p) { DeleteVector(boost::get<2>(p)); });
  DropIf<ReadBufferPayload>(payload, [](const auto& p) { delete[] boost::get<1>(p); });
  DropIf<AccessCodesPayload>(payload, [](const auto& p) { delete boost::get<1>(p); });
}

}  // namespace korvex
