#include "tasks/TaskRecords.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/CryptoAPI.h"

namespace korvex {
namespace {

/// Bytes laid out by hand from the offset tables, independent of the codec.
struct Layout {
  std::string bytes;
  explicit Layout(std::size_t size) : bytes(size, '\0') {}
  Layout& U32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
    return *this;
  }
  Layout& U64(std::size_t at, std::uint64_t v) { return U32(at, static_cast<std::uint32_t>(v)).U32(at + 4, v >> 32); }
  Layout& Text(std::size_t at, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      bytes[at + 2 * i] = static_cast<char>(text[i] & 0xFF);
      bytes[at + 2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return *this;
  }
  Layout& Raw(std::size_t at, const std::uint8_t* data, std::size_t size) {
    bytes.replace(at, size, reinterpret_cast<const char*>(data), size);
    return *this;
  }
};

FamilyRecord SampleFamily() {
  FamilyRecord r;
  r.id = 7;
  r.state = 1;
  r.canceling = 1;
  r.lastError = E_ABORT;
  r.conflictAnswer = 2;
  r.serviceIsSource = true;
  r.sourcePath = "/Docs/Ünïcode 文件/";
  r.targetPath = "/home/alice/Downloads/";
  std::memcpy(r.password.data(), "s3cret", 6);
  r.totalBytes = 0x123456789ull;
  r.doneBytes = 4096;
  r.createdAt = 133000000000000000ull;
  r.elapsedTotal = 25000000;
  r.direction = 1;
  r.serviceRoot = "/other-root/";
  return r;
}

/// The version-3 fields shared by every layout, at their version-3 offsets.
Layout FamilyBody(const FamilyRecord& r, std::size_t size) {
  std::array<std::uint8_t, 256> sealed = r.password;
  EXPECT_EQ(CryptoAPI::ProtectField(sealed), S_OK);
  Layout l(size);
  l.U32(0, 0x4C445446).U32(4, 3).U32(8, 1902).U32(12, r.id).U32(16, r.state).U32(20, r.canceling);
  l.U32(24, static_cast<std::uint32_t>(r.lastError)).U32(28, r.conflictAnswer).U32(36, 1);
  l.Text(40, u"/Docs/Ünïcode 文件/").Text(562, u"/home/alice/Downloads/").Raw(1084, sealed.data(), 256);
  l.U64(1340, *r.totalBytes).U64(1348, r.doneBytes).U64(1356, r.createdAt).U64(1364, r.elapsedTotal);
  l.U32(1372, r.direction);
  return l;
}

TEST(TaskRecords, FamilyFileMatchesTheLayoutByteForByteWithAndWithoutOptions) {
  FamilyRecord plain = SampleFamily();
  Layout expectPlain = FamilyBody(plain, 1902);
  expectPlain.Text(1376, u"/other-root/");

  FamilyRecord withOption = SampleFamily();
  withOption.options = {{"a", "b"}};
  Layout expectOption = FamilyBody(withOption, 1916);
  expectOption.Text(1376, u"/other-root/").U32(1898, 14).Text(1902, u"a:b;\r\n");

  for (auto [record, expected] : {std::pair{plain, expectPlain}, std::pair{withOption, expectOption}}) {
    SCOPED_TRACE(expected.bytes.size());
    std::string bytes;
    ASSERT_EQ(EncodeFamily(record, bytes), S_OK);
    EXPECT_EQ(bytes, expected.bytes);
    FamilyRecord back;
    FamilyLayout layout{};
    ASSERT_EQ(DecodeFamily(bytes, back, &layout), S_OK);
    EXPECT_EQ(layout, FamilyLayout::kVersion3);
    EXPECT_EQ(back, record);
  }
}

TEST(TaskRecords, OldFamilyLayoutsAreReadAndWrittenBackAsVersion3) {
  FamilyRecord r = SampleFamily();
  r.serviceRoot.clear();
  Layout v3 = FamilyBody(r, 1902);
  // The header-less layouts start at offset 8 of the current one.
  std::string v0 = v3.bytes.substr(8, 1364), v1 = v3.bytes.substr(8, 1368);
  Layout v0l(0), v1l(0);
  v0l.bytes = v0;
  v1l.bytes = v1;
  v0l.U32(0, 0xDEADBEEF);  // the first word is replaced by the header size
  v1l.U32(0, 0xDEADBEEF).U32(1364, 0);  // a version-1 file stores its direction
  Layout v2 = FamilyBody(r, 1898);
  v2.U32(4, 2);
  struct Case {
    const char* name;
    std::string bytes;
    FamilyLayout layout;
    std::uint32_t direction;
  } cases[] = {{"version 0", v0l.bytes, FamilyLayout::kVersion0, 1},
               {"version 1", v1l.bytes, FamilyLayout::kVersion1, 0},
               {"version 2", v2.bytes, FamilyLayout::kVersion2, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FamilyRecord back;
    FamilyLayout layout{};
    ASSERT_EQ(DecodeFamily(c.bytes, back, &layout), S_OK);
    EXPECT_EQ(layout, c.layout);
    FamilyRecord expected = r;
    expected.direction = c.direction;
    EXPECT_EQ(back, expected);
    std::string rewritten;
    ASSERT_EQ(EncodeFamily(back, rewritten), S_OK);
    EXPECT_EQ(rewritten.size(), 1902u);
    EXPECT_EQ(rewritten.substr(4, 4), std::string("\3\0\0\0", 4));
  }
}

TEST(TaskRecords, TaskFilesMatchTheLayoutsByteForByte) {
  DirectoryTaskRecord dir{5, 9, 3, {"/src/a/", 0}, {"/dst/", 77}, {"/dst/a/", 0x1122334455ull}, 2, true};
  // The word after the 1610 bytes tells that the task made its folder.
  Layout dirBytes(1614);
  dirBytes.U32(1610, 1).U32(0, 1614).U32(4, 5).U32(8, 9).U32(12, 3).Text(16, u"/src/a/").Text(538, u"/dst/").Text(1060, u"/dst/a/");
  dirBytes.U64(1590, 77).U64(1598, 0x1122334455ull).U32(1606, 2);

  FileTaskRecord file;
  file.familyId = 5;
  file.taskId = 10;
  file.fileSize = 33 * 32768 + 1;
  file.fileTime = 0x01D9000000000000ull;
  file.source = {"/home/alice/big.iso", 0};
  file.targetParent = {"/Backup/", 42};
  file.target = {"/Backup/big.iso.lock", 4242};
  file.phase = 4;
  file.transferToken = "tok-123";
  file.blockCount = 34;
  file.doneBlocks = {0xFFFFFFFF, 0x1};
  Layout fileBytes(2156 + 8);
  fileBytes.U32(0, 2164).U32(4, 5).U32(8, 10).U32(12, 2).U64(16, file.fileSize).U64(24, file.fileTime);
  fileBytes.Text(32, u"/home/alice/big.iso").Text(554, u"/Backup/").Text(1076, u"/Backup/big.iso.lock");
  fileBytes.U64(1606, 42).U64(1614, 4242).U32(1622, 4).Text(1626, u"tok-123").U32(2148, 34).U32(2152, 32768);
  fileBytes.U32(2156, 0xFFFFFFFF).U32(2160, 1);

  // A download's partial name follows the bitmap as one more text field.
  FileTaskRecord download = file;
  download.partialName = ".big.iso.korvex-10.part";
  Layout downloadBytes(2164 + 522);
  downloadBytes.bytes.replace(0, fileBytes.bytes.size(), fileBytes.bytes);
  downloadBytes.U32(0, 2164 + 522).Text(2164, u".big.iso.korvex-10.part");

  for (auto [record, expected] : {std::pair<TaskRecord, Layout>{dir, dirBytes}, {file, fileBytes},
                                  {download, downloadBytes}}) {
    SCOPED_TRACE(expected.bytes.size());
    std::string bytes;
    ASSERT_EQ(EncodeTask(record, bytes), S_OK);
    EXPECT_EQ(bytes, expected.bytes);
    TaskRecord back;
    ASSERT_EQ(DecodeTask(bytes, back), S_OK);
    EXPECT_EQ(back, record);
  }
}

TEST(TaskRecords, OlderDirectoryRecordsLoadAsFoundFolders) {
  DirectoryTaskRecord dir{5, 9, 1, {"/src/a/", 0}, {"/dst/", 77}, {"/dst/a/", 78}, 1, true};
  std::string bytes;
  ASSERT_EQ(EncodeTask(dir, bytes), S_OK);
  bytes.resize(1610);
  bytes.replace(0, 4, std::string("\x4a\x06\0\0", 4));
  TaskRecord back;
  ASSERT_EQ(DecodeTask(bytes, back), S_OK);
  dir.createdTarget = false;
  EXPECT_EQ(std::get<DirectoryTaskRecord>(back), dir);
}

TEST(TaskRecords, DamagedOrUnfittingRecordsAreRefused) {
  std::string family;
  ASSERT_EQ(EncodeFamily(SampleFamily(), family), S_OK);
  FileTaskRecord file;
  file.blockCount = 33;
  file.doneBlocks = {0, 0};
  std::string task;
  ASSERT_EQ(EncodeTask(file, task), S_OK);
  auto patched = [](std::string bytes, std::size_t at, std::uint32_t v) {
    Layout l(0);
    l.bytes = std::move(bytes);
    return l.U32(at, v).bytes;
  };
  struct Case {
    const char* name;
    bool isFamily;
    std::string bytes;
    HRESULT expected;
  } cases[] = {
      {"wrong magic", true, patched(family, 0, 0x4C445447), E_FAIL},
      {"unknown version", true, patched(family, 4, 4), E_FAIL},
      {"header size", true, patched(family, 8, 1901), E_FAIL},
      {"tail beyond the end", true, patched(family, 1898, 10), E_FAIL},
      {"short family", true, family.substr(0, 1000), E_FAIL},
      {"first word not the size", false, patched(task, 0, 2163), E_FAIL},
      {"bitmap of another length", false, patched(task, 2148, 65), E_FAIL},
      {"short task", false, task.substr(0, 12), E_FAIL},
      {"directory of another size", false, patched(patched(task, 12, 1), 0, 2164), E_FAIL},
      {"bitmap with a torn tail", false, patched(task + "xy", 0, 2166), E_FAIL},
      {"unknown type", false, patched(task, 12, 7), E_NOTIMPL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FamilyRecord f;
    TaskRecord t;
    EXPECT_EQ(c.isFamily ? DecodeFamily(c.bytes, f) : DecodeTask(c.bytes, t), c.expected);
  }
  FamilyRecord tooLong = SampleFamily();
  tooLong.targetPath = "/" + std::string(260, 'x');
  std::string out;
  EXPECT_EQ(EncodeFamily(tooLong, out), E_INVALIDARG) << "a path that does not fit is never cut";
  file.doneBlocks.pop_back();
  EXPECT_EQ(EncodeTask(file, out), E_INVALIDARG);
}

}  // namespace
}  // namespace korvex
