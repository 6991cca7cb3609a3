// Files go up and come back down through the block and stream operations
// of the service back end against korvexd, and the faults korvexd injects
// reach the caller as their status codes.

#include "ServiceSession_support.h"
#include "foundation/CryptoAPI.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <optional>

namespace korvex::test {
namespace {

constexpr std::uint32_t kChunk = 32768;
constexpr std::uint32_t kChunksPerStream = 32;
constexpr std::uint32_t kBlock = 1 << 20;

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

class FileTransfers : public ServiceSession {
 protected:
  ContainerInfo Inbox() {
    Outcome listing;
    EXPECT_EQ(store_->ListSubContainersAndItemCount(root_, listing.Out()), S_OK);
    EXPECT_EQ(listing.Wait(), S_OK);
    ContainerInfo inbox;
    if (const auto* payload = listing.Payload<ListSubContainersPayload>()) {
      for (const Container* c : *boost::get<1>(*payload))
        if (c->info.name == "Inbox") inbox = c->info;
    }
    EXPECT_FALSE(inbox.tag.empty()) << "no Inbox";
    return inbox;
  }

  /// The prepared item (file id and upload token set), or nothing.
  std::optional<ItemInfo> Prepare(const std::string& name, std::uint64_t size) {
    ItemInfo item;
    item.name = name;
    item.size = size;
    item.modifyTime = 116444736000000000u + 1700000000ull * 10000000u;
    Outcome outcome;
    EXPECT_EQ(store_->CreateItem(Inbox(), item, 1, outcome.Out()), S_OK);
    EXPECT_EQ(outcome.Wait(), S_OK);
    const auto* payload = outcome.Payload<CreateItemPayload>();
    if (!payload) return std::nullopt;
    return boost::get<1>(*payload)->info;
  }

  HRESULT WriteBlock(const ItemInfo& item, const std::string& data, std::uint64_t offset, std::uint32_t length) {
    auto bytes = std::make_unique<std::uint8_t[]>(length);
    std::memcpy(bytes.get(), data.data() + offset, length);
    return Run([&](AsyncResult** r) {
      return store_->WriteItem(item, std::move(bytes), static_cast<std::uint32_t>(offset),
                               static_cast<std::uint32_t>(offset >> 32), length, r);
    });
  }

  void WriteBlocks(const ItemInfo& item, const std::string& data) {
    for (std::uint64_t offset = 0; offset < data.size(); offset += kBlock) {
      const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlock, data.size() - offset));
      ASSERT_EQ(WriteBlock(item, data, offset, length), S_OK) << offset;
    }
  }

  /// Moves `data` (writing) or the file's bytes into `data` (reading) over
  /// streams of 32 chunks, every chunk of a stream in flight at once; each
  /// stream's MD5 must match the bytes.
  void MoveStreams(const ItemInfo& item, const std::string& token, bool read, std::string& data) {
    const std::uint64_t groupBytes = std::uint64_t{kChunk} * kChunksPerStream;
    for (std::uint64_t first = 0; first < data.size(); first += groupBytes) {
      const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(groupBytes, data.size() - first));
      Outcome open;
      ASSERT_EQ(store_->OpenStream(item, read, first, length, kChunk, token, open.Out()), S_OK);
      ASSERT_EQ(open.Wait(), S_OK);
      const std::string stream = boost::get<1>(*open.Payload<OpenStreamPayload>());
      std::deque<Outcome> chunks;
      for (std::uint32_t done = 0, sequence = 0; done < length; done += kChunk, ++sequence) {
        const std::uint32_t size = std::min(kChunk, length - done);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data() + first + done);
        chunks.emplace_back();
        ASSERT_EQ(read ? store_->ReadChunk(item, stream, sequence, first + done, size, chunks.back().Out())
                       : store_->WriteChunk(item, bytes, stream, sequence, first + done, size, chunks.back().Out()),
                  S_OK);
      }
      for (std::uint32_t i = 0; i < chunks.size(); ++i) {
        ASSERT_EQ(chunks[i].Wait(), S_OK);
        if (!read) continue;
        const std::uint32_t size = std::min(kChunk, length - i * kChunk);
        std::memcpy(data.data() + first + i * kChunk, boost::get<1>(*chunks[i].Payload<ReadBufferPayload>()), size);
      }
      Outcome close;
      ASSERT_EQ(store_->CloseStream(item, stream, close.Out()), S_OK);
      ASSERT_EQ(close.Wait(), S_OK);
      EXPECT_EQ(boost::get<2>(*close.Payload<CloseStreamPayload>()), Md5Of(std::string_view(data).substr(first, length)));
    }
  }

  /// The download token of a complete file.
  std::string Open(const ItemInfo& item) {
    Outcome outcome;
    EXPECT_EQ(store_->OpenItem(item, false, outcome.Out()), S_OK);
    EXPECT_EQ(outcome.Wait(), S_OK);
    const auto* payload = outcome.Payload<OpenItemPayload>();
    return payload ? boost::any_cast<std::string>(boost::get<1>(*payload)) : std::string();
  }

  HRESULT ReadBlock(const ItemInfo& item, std::uint64_t offset, std::uint32_t length, std::string* out) {
    Outcome outcome;
    EXPECT_EQ(store_->ReadItem(item, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(offset >> 32),
                               length, outcome.Out()),
              S_OK);
    const HRESULT hr = outcome.Wait();
    if (const auto* payload = outcome.Payload<ReadBufferPayload>(); payload && out)
      out->assign(reinterpret_cast<const char*>(boost::get<1>(*payload)), length);
    return hr;
  }

  std::string ServiceMd5(const ItemInfo& item, HRESULT* status = nullptr) {
    Outcome outcome;
    EXPECT_EQ(store_->GetItemMd5(item, outcome.Out()), S_OK);
    const HRESULT hr = outcome.Wait();
    if (status) *status = hr;
    const auto* payload = outcome.Payload<ItemMd5Payload>();
    return payload ? boost::get<1>(*payload) : std::string();
  }
};

TEST_F(FileTransfers, FilesMakeTheRoundTripOverBlocksAndOverStreams) {
  for (const std::size_t size : {std::size_t{1}, std::size_t{32767}, std::size_t{32768}, std::size_t{32769},
                                 std::size_t{(5 << 20) + 3}}) {
    for (const bool overStreams : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (overStreams ? " bytes up over streams" : " bytes up over blocks"));
      std::string data = Pattern(size, static_cast<unsigned>(size) + overStreams);
      const std::string name = std::to_string(size) + (overStreams ? "-streamed.bin" : "-blocks.bin");
      std::optional<ItemInfo> item = Prepare(name, size);
      ASSERT_TRUE(item.has_value());
      EXPECT_EQ(item->uri, "/Inbox/" + name);
      const std::string uploadToken = boost::any_cast<std::string>(item->extraTag);
      if (overStreams) {
        MoveStreams(*item, uploadToken, false, data);
      } else {
        WriteBlocks(*item, data);
      }
      ASSERT_EQ(Run([&](AsyncResult** r) { return store_->CompleteItem(*item, 0, r); }), S_OK);

      // Down again the other way.
      item->extraTag = Open(*item);
      std::string back(size, '\0');
      if (overStreams) {
        for (std::uint64_t offset = 0; offset < size; offset += kBlock) {
          const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlock, size - offset));
          std::string block;
          ASSERT_EQ(ReadBlock(*item, offset, length, &block), S_OK);
          back.replace(offset, length, block);
        }
      } else {
        MoveStreams(*item, boost::any_cast<std::string>(item->extraTag), true, back);
      }
      EXPECT_TRUE(back == data) << "the bytes differ";

      const std::filesystem::path local = Home() / name;
      korvex::testing::WriteText(local, data);
      std::string localMd5;
      ASSERT_EQ(CryptoAPI::HashFileRange(local, kHashMd5, localMd5, 0, size), S_OK);
      EXPECT_EQ(ServiceMd5(*item), localMd5);
    }
  }
  // An empty file is refused before anything is sent.
  ItemInfo empty;
  empty.name = "empty.txt";
  Outcome none;
  EXPECT_EQ(store_->CreateItem(Inbox(), empty, 0, none.Out()), MakeHResult(0x80070BCCu));
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
  std::optional<ItemInfo> item = Prepare("faulty.bin", data.size());
  ASSERT_TRUE(item.has_value());
  const std::string uploadToken = boost::any_cast<std::string>(item->extraTag);

  // Each fault fires once: had this layer retried, the first call would
  // have succeeded.
  const HRESULT connectionReset = MakeHResult(0x804F2EFEu);
  EXPECT_EQ(WriteBlock(*item, data, 0, 65536), connectionReset);
  ASSERT_EQ(WriteBlock(*item, data, 0, 65536), S_OK);
  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->CompleteItem(*item, 0, r); }), S_OK);

  const std::string downloadToken = Open(*item);
  item->extraTag = downloadToken;
  std::string block;
  EXPECT_EQ(ReadBlock(*item, 0, 4096, &block), MakeHResult(0x80071F43u));
  ASSERT_EQ(ReadBlock(*item, 0, 4096, &block), S_OK);
  EXPECT_EQ(block, data.substr(0, 4096));

  Outcome open;
  ASSERT_EQ(store_->OpenStream(*item, true, 0, 65536, kChunk, downloadToken, open.Out()), S_OK);
  ASSERT_EQ(open.Wait(), S_OK);
  const std::string stream = boost::get<1>(*open.Payload<OpenStreamPayload>());
  Outcome refused;
  ASSERT_EQ(store_->ReadChunk(*item, stream, 0, 0, kChunk, refused.Out()), S_OK);
  EXPECT_EQ(refused.Wait(), MakeHResult(0x804F0013u));
  ASSERT_NE(refused.Payload<StreamFailurePayload>(), nullptr);
  EXPECT_EQ(boost::get<1>(*refused.Payload<StreamFailurePayload>()), 4003);
  Outcome chunk;
  ASSERT_EQ(store_->ReadChunk(*item, stream, 0, 0, kChunk, chunk.Out()), S_OK);
  EXPECT_EQ(chunk.Wait(), S_OK);
  Outcome close;
  ASSERT_EQ(store_->CloseStream(*item, stream, close.Out()), S_OK);
  ASSERT_EQ(close.Wait(), S_OK);
  EXPECT_EQ(boost::get<2>(*close.Payload<CloseStreamPayload>()), std::string(32, '0'))
      << "the wrong MD5 reaches the caller, who compares it";

  HRESULT md5Status = S_OK;
  (void)ServiceMd5(*item, &md5Status);
  EXPECT_EQ(md5Status, connectionReset);

  // The failed upload and download were logged, without the session value
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
