//===- service/DirectoryAnswers.h - Reading directory listings ---*- C++ -*-===//
///
/// Turns the service's answers to the two listings into store records. An
/// element of a listing that lacks a required field is skipped on its own,
/// so one odd entry never costs the user the rest of the page.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "service/JsonValue.h"
#include "store/Object.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

/// Owning forms of the listings until they are handed over in a payload.
using ContainerList = std::vector<std::unique_ptr<Container>>;
using ItemList = std::vector<std::unique_ptr<Item>>;

/// The sub-directories of "list" (missing or not an array: none), each with
/// `uri` = parentUri + name + "/". A directory that another user shares
/// ("ownername" longer than one character) is named "name(label)", the label
/// of its privilege in the current language. `fileCount` receives the low
/// 32 bits of the integer "files", or 0; -1 (and no containers) when that
/// count is negative or above kMaxFilesInFolder, which no real folder holds.
[[nodiscard]] ContainerList ReadContainerListing(const JsonObject& root, const std::string& parentUri,
                                                 std::int32_t& fileCount);

/// The files of "list", in the service's order, each with `uri` =
/// parentUri + name. Elements lacking any of "fileid", "name", "size",
/// "modifytime", "time", "state" or "sec" (as strings) are skipped.
[[nodiscard]] ItemList ReadItemListing(const JsonObject& root, const std::string& parentUri);

/// Converts a listing's "year-month-day hour:minute:second" text to
/// FILETIME. False (and `fileTime` 0) for text that is not such a date, a
/// date the calendar does not have, or a time of day out of range. Dates
/// before 1601 have no FILETIME and read as 0 as well.
[[nodiscard]] bool FileTimeFromServiceDate(std::string_view text, std::uint64_t& fileTime);

inline constexpr std::int32_t kMaxFilesInFolder = 1'000'000;

/// True when `text` is nothing but 1 to 19 decimal digits, their value in
/// `value`: sizes and ids from the service are refused otherwise.
[[nodiscard]] bool StrictDecimal(const std::string& text, std::uint64_t& value) noexcept;

/// The unsigned decimal value at the start of `text` (0 if none); the
/// service sends ids, sizes and rights as decimal text.
[[nodiscard]] std::uint64_t DecimalValue(const std::string& text) noexcept;

}  // namespace korvex
