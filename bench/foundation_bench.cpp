// MD5 and RC4 throughput of CryptoAPI next to OpenSSL's own EVP primitives on
// the same buffers, and the cost of encoding an upload: a 64 MiB stream of
// 32 KiB blocks, each encrypted under a fresh key stream and then hashed for
// the transfer protocol, against the bare OpenSSL RC4 + MD5 of the same bytes.
// Compare the bytes_per_second column of each "ours" row with its "openssl"
// row; the stream pair's ratio is the encoding overhead.

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/CryptoAPI.h"
#include "foundation/EncryptingBlockEncoder.h"
#include "foundation/Rc4Stream.h"

namespace {

using korvex::CryptoAPI;
using korvex::EncryptingBlockEncoder;

constexpr std::size_t kBlock = 32768;
constexpr std::size_t kStreamBytes = 64u << 20;
constexpr unsigned char kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::vector<std::uint8_t> Buffer(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  std::uint32_t x = 12345;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return data;
}

/// OpenSSL's RC4, fetched from the legacy provider the ordinary way.
const EVP_CIPHER* OpenSslRc4() {
  static const EVP_CIPHER* cipher = [] {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    OSSL_PROVIDER_load(ctx, "legacy");
    OSSL_PROVIDER_load(ctx, "default");
    return static_cast<const EVP_CIPHER*>(EVP_CIPHER_fetch(ctx, "RC4", nullptr));
  }();
  return cipher;
}

void Check(bool ok, benchmark::State& state, const char* what) {
  if (!ok) state.SkipWithError(what);
}

void Md5Ours(benchmark::State& state) {
  const auto data = Buffer(static_cast<std::size_t>(state.range(0)));
  std::string hex;
  for (auto _ : state) {
    Check(korvex::Succeeded(CryptoAPI::HashBuffer(data.data(), data.size(), korvex::kHashMd5, hex)),
          state, "HashBuffer");
    benchmark::DoNotOptimize(hex.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void Md5OpenSsl(benchmark::State& state) {
  const auto data = Buffer(static_cast<std::size_t>(state.range(0)));
  unsigned char digest[16];
  unsigned int size = 0;
  for (auto _ : state) {
    Check(EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr) == 1, state,
          "EVP_Digest");
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void Rc4Ours(benchmark::State& state) {
  auto data = Buffer(static_cast<std::size_t>(state.range(0)));
  CryptoAPI crypto;
  Check(korvex::Succeeded(crypto.SetPassword("benchmark password")), state, "SetPassword");
  for (auto _ : state) {
    std::size_t length = data.size();
    Check(korvex::Succeeded(crypto.Encrypt(data.data(), &length, data.size(), false)), state,
          "Encrypt");
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
  state.SetLabel(korvex::Rc4Stream::UsesOpenSsl() ? "rc4=openssl-legacy" : "rc4=built-in");
}

void Rc4OpenSsl(benchmark::State& state) {
  auto data = Buffer(static_cast<std::size_t>(state.range(0)));
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Check(OpenSslRc4() != nullptr &&
            EVP_EncryptInit_ex(ctx, OpenSslRc4(), nullptr, kKey, nullptr) == 1,
        state, "RC4 unavailable");
  int out = 0;
  for (auto _ : state) {
    Check(EVP_EncryptUpdate(ctx, data.data(), &out, data.data(), static_cast<int>(data.size())) == 1,
          state, "EVP_EncryptUpdate");
    benchmark::DoNotOptimize(data.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// What an encrypted upload does per block: encode (re-key, encrypt, the
// check digest for block 0) and hash the encoded block for the protocol.
void StreamOurs(benchmark::State& state) {
  const auto plain = Buffer(kStreamBytes);
  EncryptingBlockEncoder encoder;
  Check(korvex::Succeeded(encoder.Init("benchmark password")), state, "Init");
  std::vector<std::uint8_t> block;
  std::string hex;
  for (auto _ : state) {
    std::uint64_t offset = 0;
    for (std::uint64_t index = 0; offset < plain.size(); ++index) {
      const std::size_t take = std::min<std::size_t>(encoder.PlainSizeOfBlock(index), plain.size() - offset);
      const bool ok =
          korvex::Succeeded(encoder.EncodeBlock(index, {plain.data() + offset, take}, block)) &&
          korvex::Succeeded(CryptoAPI::HashBuffer(block.data(), block.size(), korvex::kHashMd5, hex));
      Check(ok, state, "encode");
      offset += take;
    }
    benchmark::DoNotOptimize(hex.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kStreamBytes);
}

// The floor: one RC4 key stream over the same bytes, MD5 per block.
void StreamOpenSsl(benchmark::State& state) {
  const auto plain = Buffer(kStreamBytes);
  std::vector<std::uint8_t> block(kBlock);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  unsigned char digest[16];
  unsigned int size = 0;
  for (auto _ : state) {
    Check(EVP_EncryptInit_ex(ctx, OpenSslRc4(), nullptr, kKey, nullptr) == 1, state, "init");
    for (std::size_t offset = 0; offset < plain.size(); offset += kBlock) {
      int out = 0;
      const bool ok =
          EVP_EncryptUpdate(ctx, block.data(), &out, plain.data() + offset, static_cast<int>(kBlock)) == 1 &&
          EVP_Digest(block.data(), kBlock, digest, &size, EVP_md5(), nullptr) == 1;
      Check(ok, state, "rc4+md5");
    }
    benchmark::DoNotOptimize(digest);
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kStreamBytes);
}

}  // namespace

BENCHMARK(Md5Ours)->Name("md5/ours")->Arg(32768)->Arg(1 << 20);
BENCHMARK(Md5OpenSsl)->Name("md5/openssl")->Arg(32768)->Arg(1 << 20);
BENCHMARK(Rc4Ours)->Name("rc4/ours")->Arg(32768)->Arg(1 << 20);
BENCHMARK(Rc4OpenSsl)->Name("rc4/openssl")->Arg(32768)->Arg(1 << 20);
BENCHMARK(StreamOurs)->Name("stream64MiB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(StreamOpenSsl)->Name("stream64MiB/openssl")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
