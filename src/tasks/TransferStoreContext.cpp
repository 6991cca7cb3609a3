#include "tasks/TransferStoreContext.h"

#include "tasks/DirectoryTask.h"
#include "tasks/FileTask.h"

namespace korvex {

std::unique_ptr<Task> TransferStoreContext::RebuildDirectoryTask(TaskFamily& family,
                                                                 const DirectoryTaskRecord& record) {
  // Folder synchronisation tasks belong to backups, which this client does not run.
  if (record.type != static_cast<std::uint32_t>(TaskType::kDirectory)) return nullptr;
  return std::make_unique<DirectoryTask>(family, record);
}

std::unique_ptr<Task> TransferStoreContext::RebuildFileTask(TaskFamily& family, const FileTaskRecord& record) {
  return std::make_unique<FileTask>(family, record);
}

}  // namespace korvex
