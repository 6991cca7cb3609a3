#include "foundation/EncryptingBlockEncoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempHome.h"
#include "foundation/Registry.h"
#include "foundation/LockFileReference.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
namespace ref = reference;
using ref::AsBytes;
using ref::AsText;
using ref::Bytes;
using testing::ReadText;
using testing::WriteText;
using Names = std::vector<std::string>;

class EncryptingBlockEncoderTest : public testing::TempHomeTest {};

TEST_F(EncryptingBlockEncoderTest, WholeFilesMatchTheIndependentCodec) {
  const std::string password = "Zx9! pass";
  struct Case { std::size_t size; std::uint32_t blockSize; std::size_t expectedSize; } cases[] = {
      {0, 32768, 20},         {15, 32768, 35},          {16, 32768, 36},    {32748, 32768, 32768},
      {32749, 32768, 32769}, {100000, 32768, 100020}, {3000, 1024, 3020}, {300000, 262144, 300020},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " bytes, block " << c.blockSize);
    const Bytes plain = ref::Pattern(c.size, static_cast<std::uint32_t>(c.size) + 3);
    WriteText(Home() / "plain", AsText(plain));
    EncryptingBlockEncoder encoder;
    ASSERT_EQ(encoder.Init(password, c.blockSize), S_OK);
    ASSERT_EQ(encoder.EncryptFile(Home() / "plain", Home() / "plain.lock"), S_OK) << log_->All();

    const Bytes file = AsBytes(ReadText(Home() / "plain.lock"));
    EXPECT_EQ(file.size(), c.expectedSize);
    EXPECT_EQ(file, ref::Encode(plain, password, c.blockSize));
    EXPECT_EQ(Listing(), (Names{"plain", "plain.lock"}));
  }
}

// Files move both ways between this client and the original one, which keys
// with the password in its ANSI code page; the reference codec encodes from
// the expected key bytes on its own.
TEST_F(EncryptingBlockEncoderTest, KeysWithThePasswordInTheConfiguredCodePage) {
  const std::string chinese = "\xE5\xAF\x86\xE7\xA0\x81" "123", chineseGbk = "\xC3\xDC\xC2\xEB" "123";  // 密码123
  const std::string emoji = "\xE5\xAF\x86\xF0\x9F\x98\x80";  // GBK has no emoji
  struct Case { const char* name; std::uint32_t user; std::string password, keyBytes; } cases[] = {
      {"HKLM names UTF-8", 0, chinese, chinese},
      {"HKCU wins over HKLM", 936, chinese, chineseGbk},
      {"no mapping in the code page", 936, emoji, emoji},
      {"unknown code page", 4242, chinese, chinese},
  };
  const Bytes plain = ref::Pattern(40000, 23);
  WriteText(Home() / "plain", AsText(plain));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(MachineHive(), "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvexDataSMB]\n"
                             "\"PasswordCodePage\"=dword:0000fde9\n");  // 65001
    if (c.user != 0) {
      ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "PasswordCodePage", c.user));
    }
    EncryptingBlockEncoder encoder;
    ASSERT_EQ(encoder.Init(c.password), S_OK);
    ASSERT_EQ(encoder.EncryptFile(Home() / "plain", Home() / "plain.lock"), S_OK) << log_->All();
    EXPECT_EQ(AsBytes(ReadText(Home() / "plain.lock")), ref::Encode(plain, c.keyBytes));
    // With the default code page 936, either kind of file opens.
    fs::remove_all(Home() / "etc");
    fs::remove_all(Home() / "config");
    WriteText(Home() / "ref.lock", AsText(ref::Encode(plain, c.keyBytes)));
    CryptoAPI crypto;
    ASSERT_EQ(crypto.DecryptFile(Home() / "ref.lock", Home() / "back", c.password), S_OK) << log_->All();
    EXPECT_EQ(AsBytes(ReadText(Home() / "back")), plain);
  }
}

TEST_F(EncryptingBlockEncoderTest, BlocksEncodeIndependentlyForResume) {
  const Bytes plain = ref::Pattern(5 * 32768 + 77, 22);
  const Bytes whole = ref::Encode(plain, "resume");
  EncryptingBlockEncoder encoder;
  ASSERT_EQ(encoder.Init("resume"), S_OK);
  // Out of order, as a resumed upload sends them.
  for (std::uint64_t index : {3u, 0u, 5u, 1u, 4u, 2u}) {
    SCOPED_TRACE(index);
    const std::uint64_t from = encoder.PlainOffsetOfBlock(index);
    const std::size_t take = std::min<std::size_t>(encoder.PlainSizeOfBlock(index), plain.size() - from);
    Bytes block;
    ASSERT_EQ(encoder.EncodeBlock(index, std::span(plain).subspan(from, take), block), S_OK);
    const std::size_t at = index * 32768;
    ASSERT_LE(at + block.size(), whole.size());
    EXPECT_TRUE(std::equal(block.begin(), block.end(), whole.begin() + static_cast<std::ptrdiff_t>(at)));
  }
  EXPECT_EQ(EncryptingBlockEncoder::EncodedSize(plain.size()), whole.size());
}

TEST_F(EncryptingBlockEncoderTest, RejectsMisuse) {
  EncryptingBlockEncoder encoder;
  Bytes out;
  const Bytes plain(40000, 1);
  EXPECT_EQ(encoder.EncodeBlock(0, std::span(plain).first(10), out), E_UNEXPECTED);
  for (std::uint32_t size : {0u, 1000u, 3072u, 524288u}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(encoder.Init("pw", size), E_INVALIDARG);
  }
  ASSERT_EQ(encoder.Init("pw"), S_OK);
  EXPECT_EQ(encoder.EncodeBlock(0, std::span(plain).first(32749), out), E_INVALIDARG);
  EXPECT_EQ(encoder.EncodeBlock(1, std::span(plain).first(32769), out), E_INVALIDARG);
  EXPECT_EQ(encoder.EncodeBlock(2, std::span(plain).first(0), out), E_INVALIDARG);
}

TEST_F(EncryptingBlockEncoderTest, FailedEncryptionKeepsTheOldOutput) {
  WriteText(Home() / "a.bin.lock", "old");
  EncryptingBlockEncoder encoder;
  ASSERT_EQ(encoder.Init("pw"), S_OK);
  EXPECT_EQ(encoder.EncryptFile(Home() / "missing", Home() / "a.bin.lock"), HR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadText(Home() / "a.bin.lock"), "old");
  EXPECT_EQ(Listing(), Names{"a.bin.lock"});
}

}  // namespace
}  // namespace korvex
