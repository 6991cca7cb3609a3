//===- store/DataStoreSort.cpp - Orders of item slots ---------------------===//

#include "platform/TextConversion.h"
#include "store/DataStore.h"

#include <algorithm>

namespace korvex {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Names order by their code page 936 bytes, lower-cased byte by byte: GBK
// groups Chinese names by pronunciation, which UTF-8 byte order does not. A
// name that GBK cannot hold keeps its UTF-8 bytes.
std::string NameKey(const std::string& name) {
  std::string key;
  // GBK keeps ASCII as it is; most names are ASCII and skip the converter,
  // which opens a descriptor per call.
  const bool ascii = std::all_of(name.begin(), name.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !Utf8ToGbk(name, key)) key = name;
  std::transform(key.begin(), key.end(), key.begin(), LowerAscii);
  return key;
}

std::string ExtensionKey(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  std::string key = dot == std::string::npos ? std::string() : name.substr(dot);
  std::transform(key.begin(), key.end(), key.begin(), LowerAscii);
  return key;
}

struct SortEntry {
  EntryRef<Item>* slot;
  std::string text;
  std::uint64_t number;
};

}  // namespace

void DataStore::SortItemSlots(ContainerChildren& children, std::uint32_t order) const {
  if (order < kSortNameAscending || order > kSortExtensionDescending) return;
  const bool descending = order % 2 == 0;
  const bool numeric = order >= kSortSizeAscending && order <= kSortTimeDescending;
  // Keys are computed once per slot: a name key needs a conversion, and a
  // comparison sort would otherwise convert each name many times.
  std::vector<SortEntry> entries;
  entries.reserve(children.items.size());
  for (EntryRef<Item>* slot : children.items) {
    SortEntry entry{slot, {}, 0};
    if (slot->present()) {
      const ItemInfo& info = (*slot)->info;
      if (order <= kSortNameDescending) entry.text = NameKey(info.name);
      else if (order <= kSortSizeDescending) entry.number = info.size;
      else if (order <= kSortTimeDescending) entry.number = info.modifyTime;
      else entry.text = ExtensionKey(info.name);
    }
    entries.push_back(std::move(entry));
  }
  // Slots whose page is not fetched yet go last in either direction: they
  // must compare consistently for the sort to be well defined.
  auto less = [&](const SortEntry& a, const SortEntry& b) {
    const bool aEmpty = !a.slot->present(), bEmpty = !b.slot->present();
    if (aEmpty || bEmpty) return !aEmpty && bEmpty;
    const SortEntry& x = descending ? b : a;
    const SortEntry& y = descending ? a : b;
    return numeric ? x.number < y.number : x.text < y.text;
  };
  std::stable_sort(entries.begin(), entries.end(), less);
  for (std::size_t i = 0; i < entries.size(); ++i) children.items[i] = entries[i].slot;
}

}  // namespace korvex
