//===- tasks/TreeCheck.cpp - What a tree transfer cannot send, found first -===//

#include "tasks/TreeCheck.h"

#include <cctype>
#include <map>
#include <utility>
#include <vector>

#include "platform/Event.h"
#include "platform/TextConversion.h"
#include "store/DataStore.h"
#include "tasks/StoreCall.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskRecords.h"

namespace korvex {
namespace {

std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

std::string NameOf(std::string_view uri) {
  if (!uri.empty() && uri.back() == '/') uri.remove_suffix(1);
  const std::size_t slash = uri.rfind('/');
  return std::string(slash == std::string_view::npos ? uri : uri.substr(slash + 1));
}

}  // namespace

bool FitsTaskRecord(const std::string& path) { return Utf8ToUtf16(path).size() < kStoredTextUnits; }

std::string PathTooLongMessage(const std::string& path) {
  return path + ": the path is longer than " + std::to_string(kStoredTextUnits - 1) +
         " characters, more than a transfer can record to resume it";
}

HRESULT CheckTree(DataStore& source, const ContainerInfo& root, const std::string& targetParent, bool caseBlind,
                  Event& stop, std::string& message) {
  // Folders still to look at, each with its address on the target side.
  std::vector<std::pair<ContainerInfo, std::string>> pending{{root, targetParent + NameOf(root.uri) + "/"}};
  while (!pending.empty()) {
    auto [folder, target] = std::move(pending.back());
    pending.pop_back();
    for (const std::string* path : {&folder.uri, &target}) {
      if (FitsTaskRecord(*path)) continue;
      message = PathTooLongMessage(*path);
      return HR_PATH_TOO_LONG;
    }
    const EntryCounts counts = source.GetCounts(folder, false);
    if (Failed(counts.status)) return counts.status;
    std::map<std::string, std::string> names;
    for (std::int32_t position = 0; position < counts.containers + counts.items; ++position) {
      if (IsStopped(stop)) return E_ABORT;
      EntryAt entry = source.GetEntryAt(folder, position, false);
      if (entry.status == E_INVALIDARG && ListingEndsBefore(source, folder, position)) break;
      if (Failed(entry.status) || !entry.record) return Failed(entry.status) ? entry.status : E_UNEXPECTED;
      const bool isFolder = entry.record->kind == kObjectContainer;
      const std::string& uri = isFolder ? static_cast<const ContainerInfo&>(*entry.record).uri
                                        : static_cast<const ItemInfo&>(*entry.record).uri;
      const std::string name = NameOf(uri);
      if (caseBlind) {
        const auto [other, fresh] = names.emplace(Folded(name), name);
        if (!fresh) {
          message = "\"" + other->second + "\" and \"" + name + "\" in " + folder.uri +
                    " differ only in case; the service would keep only one of them";
          return HR_NAMES_DIFFER_IN_CASE;
        }
      }
      if (isFolder) {
        pending.emplace_back(static_cast<const ContainerInfo&>(*entry.record), target + name + "/");
        continue;
      }
      for (const std::string& path : {uri, target + name}) {
        if (FitsTaskRecord(path)) continue;
        message = PathTooLongMessage(path);
        return HR_PATH_TOO_LONG;
      }
    }
  }
  return S_OK;
}

}  // namespace korvex
