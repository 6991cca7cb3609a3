// Files go up and come back down through the block and stream operations
// against korvexd, and the faults korvexd injects reach the caller as their
// status codes, once each.

#include "ServiceSession_support.h"
#include "foundation/CryptoAPI.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>

namespace korvex::test {
namespace {

constexpr std::uint32_t kChunk = 32768;
constexpr std::uint64_t kStreamBytes = 32 * kChunk;
constexpr std::uint64_t kBlock = 1 << 20;

std::string Md5Of(std::string_view data) {
  std::string hex;
  EXPECT_EQ(CryptoAPI::HashBuffer(data.data(), data.size(), kHashMd5, hex), S_OK);
  return hex;
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 2654435761u + seed) >> 11);
  return data;
}

std::uint32_t Part(std::uint64_t offset, std::uint64_t step, std::size_t size) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(step, size - offset));
}

class FileTransfers : public ServiceSession {
 protected:
  /// Prepares the upload of `size` bytes as /name; the item carries the
  /// file id and the upload token.
  ItemInfo Prepare(const std::string& name, std::uint64_t size) {
    ItemInfo item;
    item.name = name;
    item.size = size;
    Outcome prepared;
    EXPECT_EQ(store_->CreateItem(root_, item, 1, prepared.Out()), S_OK);
    EXPECT_EQ(prepared.Wait(), S_OK);
    return prepared.Payload<CreateItemPayload>() ? boost::get<1>(*prepared.Payload<CreateItemPayload>())->info : item;
  }

  HRESULT WriteBlock(const ItemInfo& item, const std::string& data, std::uint64_t offset, std::uint32_t length) {
    auto bytes = std::make_unique<std::uint8_t[]>(length);
    std::memcpy(bytes.get(), data.data() + offset, length);
    return Run([&](AsyncResult** r) {
      return store_->WriteItem(item, std::move(bytes), static_cast<std::uint32_t>(offset),
                               static_cast<std::uint32_t>(offset >> 32), length, r);
    });
  }

  /// Reads `length` bytes at `offset` into `out` (when given).
  HRESULT ReadBlock(const ItemInfo& item, std::uint64_t offset, std::uint32_t length, std::string* out) {
    Outcome read;
    EXPECT_EQ(store_->ReadItem(item, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(offset >> 32),
                               length, read.Out()),
              S_OK);
    const HRESULT hr = read.Wait();
    if (const auto* payload = read.Payload<ReadBufferPayload>(); payload && out)
      out->assign(reinterpret_cast<const char*>(boost::get<1>(*payload)), length);
    return hr;
  }

  /// Writes `data`, or reads the file into it, over streams of 32 chunks
  /// with every chunk of a stream under way at once; each stream's MD5 must
  /// be that of its bytes.
  void MoveStreams(const ItemInfo& item, const std::string& token, bool read, std::string& data) {
    for (std::uint64_t first = 0; first < data.size(); first += kStreamBytes) {
      const std::uint32_t length = Part(first, kStreamBytes, data.size());
      Outcome open, close;
      ASSERT_EQ(store_->OpenStream(item, read, first, length, kChunk, token, open.Out()), S_OK);
      ASSERT_EQ(open.Wait(), S_OK);
      const std::string stream = boost::get<1>(*open.Payload<OpenStreamPayload>());
      std::deque<Outcome> chunks;
      for (std::uint32_t done = 0; done < length; done += kChunk) {
        const std::uint32_t size = std::min(kChunk, length - done), sequence = done / kChunk;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data() + first + done);
        ASSERT_EQ(read ? store_->ReadChunk(item, stream, sequence, first + done, size, chunks.emplace_back().Out())
                       : store_->WriteChunk(item, bytes, stream, sequence, first + done, size, chunks.emplace_back().Out()),
                  S_OK);
      }
      for (std::uint32_t i = 0; i < chunks.size(); ++i) {
        ASSERT_EQ(chunks[i].Wait(), S_OK);
        if (read)
          std::memcpy(data.data() + first + i * kChunk, boost::get<1>(*chunks[i].Payload<ReadBufferPayload>()),
                      std::min(kChunk, length - i * kChunk));
      }
      ASSERT_EQ(store_->CloseStream(item, stream, close.Out()), S_OK);
      ASSERT_EQ(close.Wait(), S_OK);
      EXPECT_EQ(boost::get<2>(*close.Payload<CloseStreamPayload>()), Md5Of(std::string_view(data).substr(first, length)));
    }
  }

  /// Completes the upload and returns the item with its download token.
  ItemInfo CompleteAndOpen(ItemInfo item) {
    EXPECT_EQ(Run([&](AsyncResult** r) { return store_->CompleteItem(item, 0, r); }), S_OK);
    Outcome opened;
    EXPECT_EQ(store_->OpenItem(item, false, opened.Out()), S_OK);
    EXPECT_EQ(opened.Wait(), S_OK);
    if (const auto* payload = opened.Payload<OpenItemPayload>()) item.extraTag = boost::get<1>(*payload);
    return item;
  }

  std::string ServiceMd5(const ItemInfo& item, HRESULT& status) {
    Outcome md5;
    EXPECT_EQ(store_->GetItemMd5(item, md5.Out()), S_OK);
    status = md5.Wait();
    return md5.Payload<ItemMd5Payload>() ? boost::get<1>(*md5.Payload<ItemMd5Payload>()) : std::string();
  }
};

TEST_F(FileTransfers, FilesMakeTheRoundTripOverBlocksAndOverStreams) {
  for (const std::size_t size : {std::size_t{1}, std::size_t{32767}, std::size_t{32768}, std::size_t{32769},
                                 std::size_t{(5 << 20) + 3}}) {
    for (const bool upOverStreams : {false, true}) {
      const std::string name = std::to_string(size) + (upOverStreams ? "-streams.bin" : "-blocks.bin");
      SCOPED_TRACE(name + ", down the other way");
      std::string data = Pattern(size, static_cast<unsigned>(size) + upOverStreams);
      ItemInfo item = Prepare(name, size);
      ASSERT_EQ(item.uri, "/" + name);
      if (upOverStreams) MoveStreams(item, boost::any_cast<std::string>(item.extraTag), false, data);
      for (std::uint64_t offset = 0; !upOverStreams && offset < size; offset += kBlock)
        ASSERT_EQ(WriteBlock(item, data, offset, Part(offset, kBlock, size)), S_OK);

      item = CompleteAndOpen(item);
      std::string back(size, '\0');
      if (!upOverStreams) MoveStreams(item, boost::any_cast<std::string>(item.extraTag), true, back);
      for (std::uint64_t offset = 0, length = 0; upOverStreams && offset < size; offset += length) {
        std::string block;
        length = Part(offset, kBlock, size);
        ASSERT_EQ(ReadBlock(item, offset, static_cast<std::uint32_t>(length), &block), S_OK);
        back.replace(offset, length, block);
      }
      EXPECT_TRUE(back == data) << "the bytes differ";

      korvex::testing::WriteText(Home() / name, data);
      std::string localMd5;
      HRESULT status = E_FAIL;
      ASSERT_EQ(CryptoAPI::HashFileRange(Home() / name, kHashMd5, localMd5, 0, size), S_OK);
      EXPECT_EQ(ServiceMd5(item, status), localMd5);
    }
  }
}

class FaultyTransfers : public FileTransfers {
 protected:
  void SetUp() override {
    StartSession({"--fault", "close=10,path=^/file/uploadblock/", "--fault", "cut=100,path=^/file/downloadblock/",
                  "--fault", "stream=4003,path=^/idtv1/stream/read/", "--fault", "badmd5,path=^/idtv1/stream/close/",
                  "--fault", "close=10,path=^/file/md5sum/"});
  }
};

TEST_F(FaultyTransfers, EachFaultGivesItsCodeOnceWithoutRetriesAndNoSecretIsLogged) {
  LogMgr::Get().SetThreshold(kLogDebug);
  const std::string data = Pattern(65536, 7);
  ItemInfo item = Prepare("faulty.bin", data.size());
  const std::string uploadToken = boost::any_cast<std::string>(item.extraTag);
  // Each fault fires once, so a retry inside this layer would have hidden it.
  const HRESULT connectionReset = MakeHResult(0x804F2EFEu);
  EXPECT_EQ(WriteBlock(item, data, 0, 65536), connectionReset);
  ASSERT_EQ(WriteBlock(item, data, 0, 65536), S_OK);

  item = CompleteAndOpen(item);
  const std::string downloadToken = boost::any_cast<std::string>(item.extraTag);
  std::string block;
  EXPECT_EQ(ReadBlock(item, 0, 4096, &block), MakeHResult(0x80071F43u));
  ASSERT_EQ(ReadBlock(item, 0, 4096, &block), S_OK);
  EXPECT_EQ(block, data.substr(0, 4096));

  Outcome open, refused, chunk, close;
  ASSERT_EQ(store_->OpenStream(item, true, 0, 65536, kChunk, downloadToken, open.Out()), S_OK);
  ASSERT_EQ(open.Wait(), S_OK);
  const std::string stream = boost::get<1>(*open.Payload<OpenStreamPayload>());
  ASSERT_EQ(store_->ReadChunk(item, stream, 0, 0, kChunk, refused.Out()), S_OK);
  EXPECT_EQ(refused.Wait(), MakeHResult(0x804F0013u));
  ASSERT_NE(refused.Payload<StreamFailurePayload>(), nullptr);
  EXPECT_EQ(boost::get<1>(*refused.Payload<StreamFailurePayload>()), 4003);
  ASSERT_EQ(store_->ReadChunk(item, stream, 0, 0, kChunk, chunk.Out()), S_OK);
  EXPECT_EQ(chunk.Wait(), S_OK);
  ASSERT_EQ(store_->CloseStream(item, stream, close.Out()), S_OK);
  ASSERT_EQ(close.Wait(), S_OK);
  EXPECT_EQ(boost::get<2>(*close.Payload<CloseStreamPayload>()), std::string(32, '0')) << "the caller compares it";

  HRESULT md5Status = S_OK;
  (void)ServiceMd5(item, md5Status);
  EXPECT_EQ(md5Status, connectionReset);

  // The failed upload and download were logged without the session value
  // or either token.
  const std::string log = log_->All();
  EXPECT_NE(log.find("/file/uploadblock/"), std::string::npos) << log;
  EXPECT_NE(log.find("/file/md5sum/"), std::string::npos) << log;
  for (const std::string& secret : {authPro_, uploadToken, downloadToken}) {
    ASSERT_FALSE(secret.empty());
    EXPECT_EQ(log.find(secret), std::string::npos) << "a secret in the log:\n" << log;
  }
}

}  // namespace
}  // namespace korvex::test
