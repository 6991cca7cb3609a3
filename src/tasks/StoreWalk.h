//===- tasks/StoreWalk.h - Finding an entry of a store by address -*- C++ -*-===//
///
/// A store knows an entry only after its folder was listed. A transfer named
/// by an address alone (a typed path, a restarted task) lists each folder on
/// the way down through the store, so that its cache answers afterwards.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>

#include "platform/HResult.h"
#include "store/ObjectInfo.h"

namespace korvex {

class DataStore;

/// Finds the folder (address ending in "/") or file `uri` below the store's
/// root and copies its record into `folder` or `file`; `isFolder` tells
/// which. HR_FILE_NOT_FOUND when a name on the way is missing.
[[nodiscard]] HRESULT FindByAddress(DataStore& store, const std::string& uri, bool& isFolder, ContainerInfo& folder,
                                    ItemInfo& file);

/// True when row `position` of `folder` is past the end of its listing as
/// the store now holds it: the folder lost entries on its back end after it
/// was counted (a page came back short), and the rows beyond are gone, not
/// failing. A walk over the listing ends there instead of retrying a row
/// that can never come back.
[[nodiscard]] bool ListingEndsBefore(DataStore& store, const ContainerInfo& folder, std::int32_t position);

}  // namespace korvex
