//===- service/DirectoryAnswers.cpp - Reading directory listings ------===//

#include "service/DirectoryAnswers.h"

#include "foundation/StringTable.h"
#include "platform/AsciiText.h"
#include "platform/TextConversion.h"

#include <boost/date_time/gregorian/gregorian.hpp>

#include <cstdio>
#include <cstdlib>

namespace korvex {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kSecondsPerDay = 86'400;
// 1 PiB: far beyond what the service stores in one file.
constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 50;

std::string StringOrEmpty(const JsonObject& object, std::string_view key) {
  const std::string* text = FindString(object, key);
  return text ? *text : std::string();
}

std::unique_ptr<Container> ReadContainer(const JsonObject& entry, const std::string& parentUri) {
  const std::string* dirId = FindString(entry, "dirid");
  const std::string* dirName = FindString(entry, "dirname");
  const std::string* privilege = FindString(entry, "privilege");
  const std::string* shared = FindString(entry, "isshare");
  if (!dirId || !dirName || !shared || !privilege) return nullptr;

  auto container = std::make_unique<Container>();
  ContainerInfo& info = container->info;
  info.name = *dirName;
  info.uri = parentUri + info.name + "/";
  info.ownerName = StringOrEmpty(entry, "ownername");
  // The panes mark a folder that is shared with other users.
  info.kind = *shared == "1" ? kContainerSharedWithBuddies : kContainerOrdinary;
  info.privilege = static_cast<std::uint32_t>(DecimalValue(*privilege));
  info.tag = DecimalValue(*dirId);
  // Another user's directory shows the rights the user holds in it. The
  // `uri` keeps the plain name: it is the address, not the display text.
  // The owner's length counts characters (UTF-16 code units), not bytes: a
  // one-character Chinese name is three bytes long.
  if (Utf8ToUtf16(info.ownerName).size() > 1) {
    info.name += "(";
    info.name += UiString(PrivilegeLabelId(info.privilege));
    info.name += ")";
  }
  return container;
}

bool HasLockExtension(const std::string& name) {
  // "lock" holds no dot, so the extension is ".lock" exactly when the name ends so.
  return EndsWithIgnoringAsciiCase(name, ".lock");
}

std::unique_ptr<Item> ReadItem(const JsonObject& entry, const std::string& parentUri) {
  static constexpr const char* kRequired[] = {"fileid", "name", "size", "modifytime", "time", "state", "sec"};
  const std::string* fields[std::size(kRequired)];
  for (std::size_t i = 0; i < std::size(kRequired); ++i) {
    fields[i] = FindString(entry, kRequired[i]);
    if (!fields[i]) return nullptr;
  }
  const auto& [fileId, name, size, modifyTime, createTime, state, sec] = fields;

  // A size that is negative, not a number or beyond any file would become
  // a huge unsigned value that later sizes buffers and progress.
  std::uint64_t fileSize = 0, id = 0;
  if (!StrictDecimal(*size, fileSize) || fileSize > kMaxFileSize || !StrictDecimal(*fileId, id)) return nullptr;

  auto item = std::make_unique<Item>();
  ItemInfo& info = item->info;
  info.name = *name;
  info.uri = parentUri + info.name;
  info.tag = id;
  info.size = fileSize;
  (void)FileTimeFromServiceDate(*modifyTime, info.modifyTime);
  (void)FileTimeFromServiceDate(*createTime, info.createTime);
  info.partial = *state == "1" ? 1 : 0;
  if (*state == "4") info.stateFlag = 1;
  info.locked = *sec == "1" ? 1 : 0;
  if (!info.locked && HasLockExtension(info.name)) info.locked = 1;
  if (const std::string* linkId = FindString(entry, "linkid")) info.linkTag = DecimalValue(*linkId);
  return item;
}

}  // namespace

bool StrictDecimal(const std::string& text, std::uint64_t& value) noexcept {
  value = 0;
  if (text.empty() || text.size() > 19) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

std::uint64_t DecimalValue(const std::string& text) noexcept {
  return std::strtoull(text.c_str(), nullptr, 10);
}

ContainerList ReadContainerListing(const JsonObject& root, const std::string& parentUri, std::int32_t& fileCount) {
  ContainerList containers;
  fileCount = 0;
  if (const JsonValue* files = FindField(root, "files")) (void)files->GetInt32(fileCount);
  // The count sizes the folder's rows before any of them is read.
  if (fileCount < 0 || fileCount > kMaxFilesInFolder) {
    fileCount = -1;
    return containers;
  }
  const JsonArray* list = FindArray(root, "list");
  if (!list) return containers;
  containers.reserve(list->size());
  for (const JsonValue& element : *list) {
    const JsonObject* entry = element.AsObject();
    if (!entry) continue;
    if (auto container = ReadContainer(*entry, parentUri)) containers.push_back(std::move(container));
  }
  return containers;
}

ItemList ReadItemListing(const JsonObject& root, const std::string& parentUri) {
  ItemList items;
  const JsonArray* list = FindArray(root, "list");
  if (!list) return items;
  items.reserve(list->size());
  for (const JsonValue& element : *list) {
    const JsonObject* entry = element.AsObject();
    if (!entry) continue;
    if (auto item = ReadItem(*entry, parentUri)) items.push_back(std::move(item));
  }
  return items;
}

bool FileTimeFromServiceDate(std::string_view text, std::uint64_t& fileTime) {
  fileTime = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) != 6)
    return false;
  // Range checks come before the narrowing below, which would otherwise turn
  // a year such as 67000 into a valid one.
  if (year < 1400 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
  try {
    // The calendar checks year, month and the day within the month.
    boost::gregorian::date date(static_cast<unsigned short>(year), static_cast<unsigned short>(month),
                                static_cast<unsigned short>(day));
    static const boost::gregorian::date kFileTimeEpoch(1601, 1, 1);
    long days = (date - kFileTimeEpoch).days();
    if (days < 0) return false;
    std::uint64_t seconds = static_cast<std::uint64_t>(days) * kSecondsPerDay +
                            static_cast<std::uint64_t>(hour * 3600 + minute * 60 + second);
    fileTime = seconds * kTicksPerSecond;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace korvex
