//===- tasks/TreeCheck.h - What a tree transfer cannot send, found first -*- C++ -*-===//
///
/// Some trees cannot go over whole, and finding out half-way would leave a
/// part sent and a part not: the service compares names without regard to
/// case, so of "Report.txt" and "report.txt" it would keep one; and a task
/// record holds paths of at most 260 UTF-16 units, so a task with a longer
/// path could not be saved and would be lost at a restart. The whole source
/// tree is looked at before anything of it is sent.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include "platform/HResult.h"
#include "store/ObjectInfo.h"

namespace korvex {

class DataStore;
class Event;

/// Two names of one folder that differ only in case, going to the service.
inline constexpr HRESULT HR_NAMES_DIFFER_IN_CASE = MakeHResult(0x80071F46u);
/// A path longer than a task record holds (ERROR_FILENAME_EXCED_RANGE).
inline constexpr HRESULT HR_PATH_TOO_LONG = MakeHResult(0x800700CEu);

/// True when `path` fits a text field of a task record.
[[nodiscard]] bool FitsTaskRecord(const std::string& path);

/// The message for a path that does not fit a task record.
[[nodiscard]] std::string PathTooLongMessage(const std::string& path);

/// Walks the tree of `source` below `root`, which is to be copied into the
/// target folder `targetParent` (an address in the target store). Fails
/// with HR_PATH_TOO_LONG when a source or target path does not fit a task
/// record, and, when `caseBlind` (the target is the service), with
/// HR_NAMES_DIFFER_IN_CASE for two names of one folder that differ only in
/// case; `message` then names the path or both names. A listing failure is
/// returned as it is; E_ABORT when `stop` is set meanwhile.
[[nodiscard]] HRESULT CheckTree(DataStore& source, const ContainerInfo& root, const std::string& targetParent,
                                bool caseBlind, Event& stop, std::string& message);

}  // namespace korvex
