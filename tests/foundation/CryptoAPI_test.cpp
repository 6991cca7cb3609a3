#include "foundation/CryptoAPI.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "support/TempHome.h"
#include "foundation/EncryptedFileFormat.h"
#include "foundation/LockFileReference.h"
#include "foundation/Rc4Stream.h"

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

constexpr HRESULT kPasswordMismatch = MakeHResult(0x80070056u);

TEST(Rc4Stream, BothBackendsMatchTheTextbookCipher) {
  const Rc4Stream::Key key = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ref::Digest digestKey{};
  std::copy(key.begin(), key.end(), digestKey.begin());
  const Bytes data = ref::Pattern(100000, 7);
  for (auto backend : {Rc4Stream::Backend::kPreferOpenSsl, Rc4Stream::Backend::kBuiltIn}) {
    SCOPED_TRACE(backend == Rc4Stream::Backend::kBuiltIn ? "built-in" : "openssl");
    Rc4Stream rc4(backend);
    Bytes out(data.size());
    EXPECT_EQ(rc4.Apply(data.data(), out.data(), 1), E_UNEXPECTED) << "no key yet";
    ASSERT_EQ(rc4.SetKey(key), S_OK);
    ASSERT_EQ(rc4.Apply(data.data(), out.data(), 5000), S_OK);
    // Restart begins the stream again; pieces of odd sizes continue one stream.
    ASSERT_EQ(rc4.Restart(), S_OK);
    for (std::size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 + 1) {
      piece = std::min(piece, data.size() - at);
      ASSERT_EQ(rc4.Apply(data.data() + at, out.data() + at, piece), S_OK);
    }
    EXPECT_EQ(out, ref::Rc4(digestKey, data));
  }
}

TEST(EncryptedFileFormat, RefusesHeadersItCannotRead) {
  const std::array<std::uint8_t, 4> bad[] = {
      {0xEE, 0xDD, 0x12, 0x20},  // high bits of the version set
      {0xEE, 0xDD, 0x02, 0x30},  // 48 KiB is no power of two
      {0xDD, 0xEE, 0x02, 0x20},
  };
  for (const auto& bytes : bad) {
    SCOPED_TRACE(::testing::Message() << std::hex << int{bytes[0]} << int{bytes[2]} << int{bytes[3]});
    EXPECT_FALSE(ParseEncryptedHeader(bytes).has_value());
  }
}

TEST(CryptoAPIHash, BufferDigestsAreUpperCaseMd5) {
  std::string hex = "stale";
  ASSERT_EQ(CryptoAPI::HashBuffer("", 0, kHashMd5, hex), S_OK);
  EXPECT_EQ(hex, "D41D8CD98F00B204E9800998ECF8427E");
  ASSERT_EQ(CryptoAPI::HashBuffer("abc", 3, kHashMd5, hex), S_OK);
  EXPECT_EQ(hex, "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_TRUE(Failed(CryptoAPI::HashBuffer("x", 1, static_cast<HashAlgorithm>(0x8004), hex)));
  EXPECT_EQ(hex, "");
}

class CryptoAPIFile : public testing::TempHomeTest {};

TEST_F(CryptoAPIFile, HashesTheRequestedRangeInPieces) {
  // Longer than three read pieces, so that piece boundaries are crossed.
  const Bytes data = ref::Pattern(3 * CryptoAPI::kHashReadSize + 12345, 2);
  const fs::path path = Home() / "data.bin";
  WriteText(path, AsText(data));
  auto md5Of = [&](std::size_t from, std::size_t count) { return ref::Hex(ref::Md5(data.data() + from, count)); };
  struct Case { const char* name; std::uint64_t offset, length; std::string expected; } cases[] = {
      {"whole file", 0, data.size(), md5Of(0, data.size())},
      {"inner range", 1000, 2 * CryptoAPI::kHashReadSize + 7, md5Of(1000, 2 * CryptoAPI::kHashReadSize + 7)},
      {"runs past the end", 32768, data.size(), md5Of(32768, data.size() - 32768)},
      {"starts past the end", data.size() + 10, 100, md5Of(0, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string hex;
    ASSERT_EQ(CryptoAPI::HashFileRange(path, kHashMd5, hex, c.offset, c.length), S_OK);
    EXPECT_EQ(hex, c.expected);
  }
}

TEST_F(CryptoAPIFile, HashFallsBackToTheDownloadInProgress) {
  const fs::path path = Home() / "movie.mp4";
  WriteText(Home() / "movie.mp4.tmp", "partial");
  std::string hex;
  ASSERT_EQ(CryptoAPI::HashFileRange(path, kHashMd5, hex, 0, 100), S_OK);
  EXPECT_EQ(hex, ref::Hex(ref::Md5("partial")));
  // Once the real file exists it wins over the sibling.
  WriteText(path, "complete");
  ASSERT_EQ(CryptoAPI::HashFileRange(path, kHashMd5, hex, 0, 100), S_OK);
  EXPECT_EQ(hex, ref::Hex(ref::Md5("complete")));

  hex = "stale";
  EXPECT_EQ(CryptoAPI::HashFileRange(Home() / "absent", kHashMd5, hex, 0, 10), HR_FILE_NOT_FOUND);
  EXPECT_EQ(hex, "");
  EXPECT_TRUE(log_->Contains("CryptoAPI-Error opening ciphertext file, ret = 80070002")) << log_->All();
}

TEST(CryptoAPICipher, EncryptIsRc4UnderTheMd5OfThePassword) {
  CryptoAPI crypto;
  Bytes data = ref::Pattern(1000, 5);
  std::size_t length = data.size();
  EXPECT_EQ(crypto.Encrypt(data.data(), &length, data.size(), true), MakeHResult(0x80070006u));

  ASSERT_EQ(crypto.SetPassword("s3cret pass"), S_OK);
  const Bytes plain = data;
  const Bytes expected = ref::Rc4(ref::Md5("s3cret pass"), plain);
  // Two pieces without "final" continue one key stream ...
  std::size_t half = 400, rest = plain.size() - 400;
  ASSERT_EQ(crypto.Encrypt(data.data(), &half, half, false), S_OK);
  ASSERT_EQ(crypto.Encrypt(data.data() + 400, &rest, rest, true), S_OK);
  EXPECT_EQ(data, expected);
  // ... and "final" ends the message, so the next one starts the stream anew.
  ASSERT_EQ(crypto.Decrypt(data.data(), &length, true), S_OK);
  EXPECT_EQ(data, plain);

  length = 10;
  EXPECT_TRUE(Failed(crypto.Encrypt(data.data(), &length, 9, true))) << "buffer smaller than the data";
}

/// Hashing of passwords fails on demand, as in a FIPS-mode crypto library.
struct RefusingCryptoAPI : CryptoAPI {
  bool refuse = false;
  HRESULT DigestPassword(std::string_view password, Md5::Digest& digest) override {
    return refuse ? E_FAIL : CryptoAPI::DigestPassword(password, digest);
  }
};

TEST(CryptoAPICipher, FailedReKeyLeavesNoKeyToEncryptWith) {
  RefusingCryptoAPI crypto;
  Bytes data = ref::Pattern(64, 3);
  const Bytes plain = data;
  Md5::Digest digest{};
  // The check digest leaves the built-in check key behind, which ships with
  // the program and must never protect the user's data.
  ASSERT_EQ(crypto.ComputeCheckDigest(data.data(), data.size(), digest), S_OK);
  crypto.refuse = true;
  EXPECT_EQ(crypto.SetPassword("user password"), E_FAIL);
  EXPECT_FALSE(crypto.KeyReady());
  std::size_t length = data.size();
  EXPECT_EQ(crypto.Encrypt(data.data(), &length, data.size(), true), MakeHResult(0x80070006u));
  EXPECT_EQ(data, plain);
}

TEST(CryptoAPICipher, ProtectedFieldUsesTheFieldKeyAndRoundTrips) {
  std::array<std::uint8_t, CryptoAPI::kProtectedFieldSize> field{};
  const std::string password = "transfer password";
  std::copy(password.begin(), password.end(), field.begin());
  const Bytes plain(field.begin(), field.end());

  ASSERT_EQ(CryptoAPI::ProtectField(field), S_OK);
  EXPECT_EQ(Bytes(field.begin(), field.end()), ref::Rc4(ref::Md5(ref::kFieldKey), plain));
  ASSERT_EQ(CryptoAPI::UnprotectField(field), S_OK);
  EXPECT_EQ(Bytes(field.begin(), field.end()), plain);
}

class CryptoAPIDecryptFile : public testing::TempHomeTest {
 protected:
  HRESULT Decrypt(const Bytes& file, std::string_view password, std::uint32_t blockSize = 0) {
    WriteText(Home() / "report.pdf.lock", AsText(file));
    CryptoAPI crypto;
    return crypto.DecryptFile(Home() / "report.pdf.lock", Home() / "report.pdf", password, blockSize);
  }
  Bytes Plaintext() const { return AsBytes(ReadText(Home() / "report.pdf")); }
};

TEST_F(CryptoAPIDecryptFile, ReadsFilesBuiltByTheReferenceEncoder) {
  struct Case {
    std::size_t size;
    std::uint32_t blockSize;
    bool header;
    std::uint32_t callerBlockSize;
  } cases[] = {
      {0, 32768, true, 0},      {10, 32768, true, 0},     {16, 32768, true, 0},     {32748, 32768, true, 0},
      {32749, 32768, true, 0},  {200000, 32768, true, 0}, {5000, 1024, true, 0},
      {600000, 262144, true, 0}, {10, 32768, false, 0},   {70001, 32768, false, 0},
      {9000, 4096, false, 4096},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " bytes, block " << c.blockSize
                                      << (c.header ? "" : ", headerless"));
    const Bytes plain = ref::Pattern(c.size, static_cast<std::uint32_t>(c.size + 1));
    ASSERT_EQ(Decrypt(ref::Encode(plain, "pa55", c.blockSize, c.header), "pa55", c.callerBlockSize), S_OK)
        << log_->All();
    EXPECT_EQ(Plaintext(), plain);
    EXPECT_EQ(Listing(), (Names{"report.pdf", "report.pdf.lock"}));
  }
  // The older header version has a whole first block after its header.
  const Bytes plain = ref::Pattern(70000, 31);
  Bytes file = {0xEE, 0xDD, 0x01, 0x20};
  const Bytes body = ref::Encode(plain, "v1", 32768, false);
  file.insert(file.end(), body.begin(), body.end());
  ASSERT_EQ(Decrypt(file, "v1"), S_OK) << log_->All();
  EXPECT_EQ(Plaintext(), plain);
}

TEST_F(CryptoAPIDecryptFile, WrongPasswordWritesNothing) {
  const Bytes file = ref::Encode(ref::Pattern(10, 9), "right");
  EXPECT_EQ(Decrypt(file, "wrong"), kPasswordMismatch);
  EXPECT_TRUE(log_->Contains("CryptoAPI-Password error, ret = 80070056")) << log_->All();
  EXPECT_EQ(Listing(), Names{"report.pdf.lock"});

  // An existing plaintext of the same name survives the failed attempt.
  WriteText(Home() / "report.pdf", "old");
  EXPECT_EQ(Decrypt(file, "wrong"), kPasswordMismatch);
  EXPECT_EQ(Plaintext(), AsBytes("old"));
}

TEST_F(CryptoAPIDecryptFile, ReplacingAnExistingPlaintextKeepsItsMode) {
  for (fs::perms mode : {fs::perms(0600), fs::perms(0755)}) {
    WriteText(Home() / "report.pdf", "old");
    fs::permissions(Home() / "report.pdf", mode);
    ASSERT_EQ(Decrypt(ref::Encode(ref::Pattern(100, 14), "pw"), "pw"), S_OK) << log_->All();
    EXPECT_EQ(fs::status(Home() / "report.pdf").permissions(), mode);
  }
}

TEST_F(CryptoAPIDecryptFile, DamagedFilesFailWithoutOutput) {
  const Bytes good = ref::Encode(ref::Pattern(50000, 11), "pw");
  const Bytes garbage = ref::Pattern(100000, 12);
  struct Case { const char* name; Bytes file; } cases[] = {
      {"empty file", {}},
      {"header only", Bytes(good.begin(), good.begin() + 4)},
      {"digest cut short", Bytes(good.begin(), good.begin() + 19)},
      {"first block cut short", Bytes(good.begin(), good.begin() + 5000)},
      {"garbage", garbage},
      {"short garbage", Bytes(garbage.begin(), garbage.begin() + 300)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(Failed(Decrypt(c.file, "pw"))) << log_->All();
    EXPECT_EQ(Listing(), Names{"report.pdf.lock"});
  }
}

TEST_F(CryptoAPIDecryptFile, RefusesInconsistentRequests) {
  // A block size is only meaningful for a headerless file.
  EXPECT_EQ(Decrypt(ref::Encode(ref::Pattern(100, 13), "pw"), "pw", 4096), E_INVALIDARG);
  EXPECT_EQ(Listing(), Names{"report.pdf.lock"});

  CryptoAPI crypto;
  EXPECT_EQ(crypto.DecryptFile(Home() / "missing.lock", Home() / "out", "pw"), HR_FILE_NOT_FOUND);
  EXPECT_TRUE(Failed(crypto.DecryptFile(Home() / "report.pdf.lock", Home() / "no-such-dir" / "out", "pw")));
  EXPECT_TRUE(log_->Contains("CryptoAPI-Error opening plaintext file")) << log_->All();
}

}  // namespace
}  // namespace korvex
