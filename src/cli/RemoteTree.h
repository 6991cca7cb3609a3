//===- cli/RemoteTree.h - Finding typed paths in a DataStore ----*- C++ -*-===//
///
/// A typed path names an entry by its names from the view's root; the store
/// knows entries by address once their parent has been listed. These
/// helpers list each folder on the way down (through the store, so that
/// its cache answers the next step) and hand out copies of the records.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "session/RemotePath.h"
#include "store/DataStore.h"

#include <vector>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

/// One entry found by path: a folder (`isContainer`) or a file.
struct RemoteEntry {
  bool isContainer = false;
  ContainerInfo container;  ///< the folder, when isContainer
  ItemInfo item;            ///< the file, otherwise
  ContainerInfo parent;     ///< the folder holding it (the root for the root)
};

/// HR_FILE_NOT_FOUND when a name on the way does not exist (or a file
/// stands where a folder is needed); a listing's own failure as it is.
[[nodiscard]] HRESULT FindEntry(DataStore& store, const RemotePath& path, RemoteEntry& entry);

/// The folder at `path`; HR_FILE_NOT_FOUND when it is missing, E_INVALIDARG
/// when `path` names a file.
[[nodiscard]] HRESULT FindContainer(DataStore& store, const RemotePath& path, ContainerInfo& container);

/// Every sub-folder and every file of `container`, files in the store's
/// sort order.
[[nodiscard]] HRESULT ListContainer(DataStore& store, const ContainerInfo& container,
                                    std::vector<ContainerInfo>& containers, std::vector<ItemInfo>& items);

}  // namespace korvex::cli
