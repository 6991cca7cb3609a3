//===- session/FamilyIntake.cpp - The owner's door for handed-over families -===//

#include "session/FamilyIntake.h"

#include "foundation/LogMgr.h"
#include "session/TransferOwner.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"
#include "tasks/TaskStore.h"

namespace korvex::session {
namespace {

constexpr std::int64_t kLookEveryMs = 500;

}  // namespace

FamilyIntake::FamilyIntake(TransferOwner& owner, TaskStore& store, TaskManager& manager)
    : owner_(owner), store_(store), manager_(manager) {}

FamilyIntake::~FamilyIntake() {
  if (stop_) stop_->Set();
  if (thread_.joinable()) thread_.join();
}

HRESULT FamilyIntake::Start() {
  if (const HRESULT hr = Event::Create(true, false, stop_); Failed(hr)) return hr;
  thread_ = std::thread([this] {
    while (!stop_->Wait(kLookEveryMs)) TakeIn();
  });
  return S_OK;
}

void FamilyIntake::TakeIn() {
  const std::set<std::uint32_t> fresh = owner_.TakeUnknown(owner_.StoredIds());
  if (fresh.empty()) return;
  FamilyMap stored;
  {
    // The hand-over writes a family's tasks and then its file under this
    // lock: read under it, the family comes whole or not at all.
    TransferOwner::StoreHold hold(owner_);
    (void)store_.LoadAll(stored);
  }
  for (auto& [id, family] : stored) {
    if (!fresh.contains(id) || manager_.GetFamily(id)) continue;
    LogMgr::Get().Info("TransferOwner", "taking in family %u", static_cast<unsigned>(id));
    manager_.AddFamily(family, true);
  }
}

}  // namespace korvex::session
