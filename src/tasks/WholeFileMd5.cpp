//===- tasks/WholeFileMd5.cpp - A download's MD5, made as groups settle ---===//

#include "tasks/WholeFileMd5.h"

namespace korvex {

WholeFileMd5::WholeFileMd5() : digest_(std::make_unique<Md5>()) {}

WholeFileMd5::~WholeFileMd5() = default;

HRESULT WholeFileMd5::Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                           const std::string& md5) {
  if (offset != hashed_ || size == 0) return S_OK;
  if (offset == 0 && size == fileSize && !md5.empty()) {
    whole_ = md5;
    hashed_ = size;
    return S_OK;
  }
  if (!whole_.empty()) return E_UNEXPECTED;
  if (const HRESULT hr = digest_->Update(data, size); Failed(hr)) {
    Reset();
    return hr;
  }
  hashed_ += size;
  return S_OK;
}

void WholeFileMd5::Forget(std::uint64_t offset) {
  if (offset < hashed_) Reset();
}

void WholeFileMd5::Reset() {
  digest_ = std::make_unique<Md5>();
  hashed_ = 0;
  whole_.clear();
}

HRESULT WholeFileMd5::Finish(std::string& md5) {
  HRESULT hr = S_OK;
  if (!whole_.empty()) {
    md5 = whole_;
  } else {
    Md5::Digest value{};
    hr = digest_->Final(value);
    if (Succeeded(hr)) md5 = Md5::ToHex(value);
  }
  Reset();
  return hr;
}

}  // namespace korvex
