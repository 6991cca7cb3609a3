//===- tasks/TaskRecords.cpp - Byte layouts of the task store files -------===//

#include "tasks/TaskRecords.h"

#include <cstring>
#include <span>

#include "foundation/CryptoAPI.h"
#include "platform/TextConversion.h"

namespace korvex {
namespace {

constexpr std::uint32_t kFamilyMagic = 0x4C445446;  // "FTDL" read as a little-endian word
constexpr std::uint32_t kFamilyVersion = 3;
constexpr std::size_t kTextFieldBytes = kStoredTextUnits * 2;
constexpr std::size_t kVersion0Size = 1364;  // offsets 8 to 1371, without direction
constexpr std::size_t kVersion1Size = 1368;  // offsets 8 to 1375
constexpr std::size_t kVersion2Size = 1898;  // version 3 without the tail length
constexpr std::size_t kUnversionedStart = 8;
constexpr char kOptionSeparator[] = ";\r\n";

/// Little-endian writes into a buffer of fixed size; a text that does not
/// fit marks the whole record as failed instead of being cut.
class RecordWriter {
 public:
  explicit RecordWriter(std::size_t size) : bytes_(size, '\0') {}

  void U32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>(v >> (8 * i));
  }
  void U64(std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_[at + i] = static_cast<char>(v >> (8 * i));
  }
  void Raw(std::size_t at, const void* data, std::size_t size) { std::memcpy(&bytes_[at], data, size); }
  void Text(std::size_t at, std::string_view utf8) {
    std::u16string text = Utf8ToUtf16(utf8);
    if (text.size() >= kStoredTextUnits) {
      fits_ = false;
      return;
    }
    Units(at, text);
  }
  void Units(std::size_t at, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) U16(at + 2 * i, text[i]);
  }
  void Append(std::size_t extra) { bytes_.resize(bytes_.size() + extra, '\0'); }

  [[nodiscard]] bool Fits() const noexcept { return fits_; }
  [[nodiscard]] std::string& Bytes() noexcept { return bytes_; }

 private:
  void U16(std::size_t at, char16_t v) {
    bytes_[at] = static_cast<char>(v & 0xFF);
    bytes_[at + 1] = static_cast<char>(v >> 8);
  }

  std::string bytes_;
  bool fits_ = true;
};

std::uint32_t U32At(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}

std::uint64_t U64At(std::string_view b, std::size_t at) {
  return U32At(b, at) | (static_cast<std::uint64_t>(U32At(b, at + 4)) << 32);
}

/// UTF-16LE units from `at` up to the first zero or `maxUnits`.
std::u16string UnitsAt(std::string_view b, std::size_t at, std::size_t maxUnits) {
  std::u16string text;
  for (std::size_t i = 0; i < maxUnits && at + 2 * i + 1 < b.size(); ++i) {
    char16_t unit = static_cast<char16_t>(static_cast<std::uint8_t>(b[at + 2 * i]) |
                                          (static_cast<std::uint8_t>(b[at + 2 * i + 1]) << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

std::string TextAt(std::string_view b, std::size_t at) {
  return Utf16ToUtf8(UnitsAt(b, at, kStoredTextUnits));
}

std::u16string OptionsText(const std::map<std::string, std::string>& options) {
  std::string text;
  for (const auto& [key, value] : options) text += key + ":" + value + kOptionSeparator;
  return Utf8ToUtf16(text);
}

std::map<std::string, std::string> ParseOptions(const std::string& text) {
  std::map<std::string, std::string> options;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(kOptionSeparator, start);
    std::string_view piece(text.data() + start, (end == std::string::npos ? text.size() : end) - start);
    std::size_t colon = piece.find(':');
    if (colon != std::string_view::npos && colon > 0 && colon + 1 < piece.size()) {
      options.emplace(piece.substr(0, colon), piece.substr(colon + 1));
    }
    if (end == std::string::npos) break;
    start = end + std::strlen(kOptionSeparator);
  }
  return options;
}

/// Widens an old header-less layout to the version-3 offsets.
std::string WidenUnversioned(std::string_view file, bool hasDirection) {
  std::string full(kFamilyHeaderSize, '\0');
  std::memcpy(&full[kUnversionedStart], file.data(), file.size());
  auto put = [&full](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) full[at + i] = static_cast<char>(v >> (8 * i));
  };
  put(kUnversionedStart, kFamilyHeaderSize);
  // Those files knew only uploads and downloads, told apart by the word at 36.
  if (!hasDirection) put(1372, U32At(full, 36) != 0 ? 1 : 0);
  return full;
}

/// Brings every layout to the version-3 offsets; the tail (if any) follows.
HRESULT NormaliseFamily(std::string_view bytes, std::string& full, FamilyLayout& layout) {
  if (bytes.size() == kVersion0Size || bytes.size() == kVersion1Size) {
    layout = bytes.size() == kVersion0Size ? FamilyLayout::kVersion0 : FamilyLayout::kVersion1;
    full = WidenUnversioned(bytes, layout == FamilyLayout::kVersion1);
    return S_OK;
  }
  if (bytes.size() < 12 || U32At(bytes, 0) != kFamilyMagic) return E_FAIL;
  std::uint32_t version = U32At(bytes, 4);
  if (version == 2) {
    if (bytes.size() < kVersion2Size) return E_FAIL;
    layout = FamilyLayout::kVersion2;
    full.assign(bytes.data(), kVersion2Size);
    full.resize(kFamilyHeaderSize, '\0');
    return S_OK;
  }
  if (version != kFamilyVersion || bytes.size() < kFamilyHeaderSize) return E_FAIL;
  std::uint64_t tail = U32At(bytes, 1898);
  if (bytes.size() - kFamilyHeaderSize < tail) return E_FAIL;
  layout = FamilyLayout::kVersion3;
  full.assign(bytes.data(), kFamilyHeaderSize + tail);
  return S_OK;
}

void PutObjects(RecordWriter& w, std::size_t pathsAt, std::size_t idsAt, const StoredObject& a,
                const StoredObject& b, const StoredObject& c) {
  const StoredObject* objects[] = {&a, &b, &c};
  for (std::size_t i = 0; i < 3; ++i) {
    w.Text(pathsAt + i * kTextFieldBytes, objects[i]->path);
    w.U64(idsAt + i * 8, objects[i]->id);
  }
}

void GetObjects(std::string_view bytes, std::size_t pathsAt, std::size_t idsAt, StoredObject& a,
                StoredObject& b, StoredObject& c) {
  StoredObject* objects[] = {&a, &b, &c};
  for (std::size_t i = 0; i < 3; ++i) {
    objects[i]->path = TextAt(bytes, pathsAt + i * kTextFieldBytes);
    objects[i]->id = U64At(bytes, idsAt + i * 8);
  }
}

std::size_t BitmapWords(std::uint32_t blocks) { return (static_cast<std::size_t>(blocks) + 31) / 32; }

HRESULT EncodeDirectoryTask(const DirectoryTaskRecord& r, std::string& bytes) {
  RecordWriter w(kDirectoryTaskRecordSizeWithOrigin);
  w.U32(0, kDirectoryTaskRecordSizeWithOrigin);
  w.U32(4, r.familyId);
  w.U32(8, r.taskId);
  w.U32(12, r.type);
  PutObjects(w, 16, 1582, r.source, r.targetParent, r.target);
  w.U32(1606, r.marker);
  w.U32(kDirectoryTaskRecordSize, r.createdTarget ? 1 : 0);
  if (!w.Fits()) return E_INVALIDARG;
  bytes = std::move(w.Bytes());
  return S_OK;
}

HRESULT EncodeFileTask(const FileTaskRecord& r, std::string& bytes) {
  if (r.doneBlocks.size() != BitmapWords(r.blockCount)) return E_INVALIDARG;
  const std::size_t bitmapEnd = kFileTaskFixedSize + 4 * r.doneBlocks.size();
  const std::size_t size = bitmapEnd + (r.partialName.empty() ? 0 : kTextFieldBytes);
  RecordWriter w(size);
  w.U32(0, static_cast<std::uint32_t>(size));
  w.U32(4, r.familyId);
  w.U32(8, r.taskId);
  w.U32(12, 2);
  w.U64(16, r.fileSize);
  w.U64(24, r.fileTime);
  PutObjects(w, 32, 1598, r.source, r.targetParent, r.target);
  w.U32(1622, r.phase);
  w.Text(1626, r.transferToken);
  w.U32(2148, r.blockCount);
  w.U32(2152, r.blockSize);
  for (std::size_t i = 0; i < r.doneBlocks.size(); ++i) w.U32(kFileTaskFixedSize + 4 * i, r.doneBlocks[i]);
  if (!r.partialName.empty()) w.Text(bitmapEnd, r.partialName);
  if (!w.Fits()) return E_INVALIDARG;
  bytes = std::move(w.Bytes());
  return S_OK;
}

HRESULT DecodeFileTask(std::string_view b, FileTaskRecord& r) {
  if (b.size() < kFileTaskFixedSize) return E_FAIL;
  r.blockCount = U32At(b, 2148);
  const std::size_t words = BitmapWords(r.blockCount);
  const std::size_t bitmapEnd = kFileTaskFixedSize + 4 * words;
  if (b.size() != bitmapEnd && b.size() != bitmapEnd + kTextFieldBytes) return E_FAIL;
  if (b.size() > bitmapEnd) r.partialName = TextAt(b, bitmapEnd);
  r.familyId = U32At(b, 4);
  r.taskId = U32At(b, 8);
  r.fileSize = U64At(b, 16);
  r.fileTime = U64At(b, 24);
  GetObjects(b, 32, 1598, r.source, r.targetParent, r.target);
  r.phase = U32At(b, 1622);
  r.transferToken = TextAt(b, 1626);
  r.blockSize = U32At(b, 2152);
  r.doneBlocks.resize(words);
  for (std::size_t i = 0; i < words; ++i) r.doneBlocks[i] = U32At(b, kFileTaskFixedSize + 4 * i);
  return S_OK;
}

}  // namespace

HRESULT EncodeFamily(const FamilyRecord& r, std::string& bytes) {
  RecordWriter w(kFamilyHeaderSize);
  w.U32(0, kFamilyMagic);
  w.U32(4, kFamilyVersion);
  w.U32(8, kFamilyHeaderSize);
  w.U32(12, r.id);
  w.U32(16, r.state);
  w.U32(20, r.canceling);
  w.U32(24, static_cast<std::uint32_t>(r.lastError));
  w.U32(28, r.conflictAnswer);
  w.U32(36, r.serviceIsSource ? 1 : 0);
  w.Text(40, r.sourcePath);
  w.Text(562, r.targetPath);
  std::array<std::uint8_t, kPasswordFieldSize> password = r.password;
  if (HRESULT hr = CryptoAPI::ProtectField(password); Failed(hr)) return hr;
  w.Raw(1084, password.data(), password.size());
  w.U64(1340, r.totalBytes.value_or(~std::uint64_t{0}));
  w.U64(1348, r.doneBytes);
  w.U64(1356, r.createdAt);
  w.U64(1364, r.elapsedTotal);
  w.U32(1372, r.direction);
  w.Text(1376, r.serviceRoot);
  if (!r.options.empty()) {
    std::u16string tail = OptionsText(r.options);
    const std::size_t tailBytes = 2 * tail.size() + 2;
    w.U32(1898, static_cast<std::uint32_t>(tailBytes));
    w.Append(tailBytes);
    w.Units(kFamilyHeaderSize, tail);
  }
  if (!w.Fits()) return E_INVALIDARG;
  bytes = std::move(w.Bytes());
  return S_OK;
}

HRESULT DecodeFamily(std::string_view bytes, FamilyRecord& r, FamilyLayout* layoutOut) {
  std::string b;
  FamilyLayout layout{};
  if (HRESULT hr = NormaliseFamily(bytes, b, layout); Failed(hr)) return hr;
  if (U32At(b, 8) != kFamilyHeaderSize) return E_FAIL;
  r = FamilyRecord{};
  r.id = U32At(b, 12);
  r.state = U32At(b, 16);
  r.canceling = U32At(b, 20);
  r.lastError = static_cast<HRESULT>(U32At(b, 24));
  r.conflictAnswer = U32At(b, 28);
  r.serviceIsSource = U32At(b, 36) == 1;
  r.sourcePath = TextAt(b, 40);
  r.targetPath = TextAt(b, 562);
  std::memcpy(r.password.data(), &b[1084], r.password.size());
  if (HRESULT hr = CryptoAPI::UnprotectField(r.password); Failed(hr)) return hr;
  if (std::uint64_t total = U64At(b, 1340); total != ~std::uint64_t{0}) r.totalBytes = total;
  r.doneBytes = U64At(b, 1348);
  r.createdAt = U64At(b, 1356);
  r.elapsedTotal = U64At(b, 1364);
  r.direction = U32At(b, 1372);
  r.serviceRoot = TextAt(b, 1376);
  if (b.size() > kFamilyHeaderSize) {
    const std::size_t units = (b.size() - kFamilyHeaderSize) / 2;
    r.options = ParseOptions(Utf16ToUtf8(UnitsAt(b, kFamilyHeaderSize, units)));
  }
  if (layoutOut) *layoutOut = layout;
  return S_OK;
}

HRESULT EncodeTask(const TaskRecord& record, std::string& bytes) {
  if (const auto* dir = std::get_if<DirectoryTaskRecord>(&record)) return EncodeDirectoryTask(*dir, bytes);
  return EncodeFileTask(std::get<FileTaskRecord>(record), bytes);
}

HRESULT DecodeTask(std::string_view b, TaskRecord& record) {
  if (b.size() < 16 || U32At(b, 0) != b.size()) return E_FAIL;
  const std::uint32_t type = U32At(b, 12);
  if (type == 2) {
    FileTaskRecord file;
    if (HRESULT hr = DecodeFileTask(b, file); Failed(hr)) return hr;
    record = std::move(file);
    return S_OK;
  }
  if (type != 1 && type != 3) return E_NOTIMPL;
  if (b.size() != kDirectoryTaskRecordSize && b.size() != kDirectoryTaskRecordSizeWithOrigin) return E_FAIL;
  DirectoryTaskRecord dir;
  dir.familyId = U32At(b, 4);
  dir.taskId = U32At(b, 8);
  dir.type = type;
  GetObjects(b, 16, 1582, dir.source, dir.targetParent, dir.target);
  dir.marker = U32At(b, 1606);
  dir.createdTarget = b.size() > kDirectoryTaskRecordSize && U32At(b, kDirectoryTaskRecordSize) == 1;
  record = std::move(dir);
  return S_OK;
}

std::uint32_t FamilyIdOf(const TaskRecord& record) noexcept {
  return std::visit([](const auto& r) { return r.familyId; }, record);
}

std::uint32_t TaskIdOf(const TaskRecord& record) noexcept {
  return std::visit([](const auto& r) { return r.taskId; }, record);
}

}  // namespace korvex
