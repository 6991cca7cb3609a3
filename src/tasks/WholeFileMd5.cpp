//===- tasks/WholeFileMd5.cpp - A download's MD5, made as groups settle ---===//

#include "tasks/WholeFileMd5.h"

namespace korvex {

void WholeFileMd5::HashGroup(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                             std::string& md5, Ahead& ahead) const {
  Md5State group;
  // A file of one group has the group's MD5: no second digest to carry.
  if (offset == hashed_ && whole_.empty() && !(offset == 0 && size == fileSize)) {
    ahead.from = offset;
    ahead.state = digest_;
    Md5UpdateBoth(group, ahead.state, data, size);
  } else {
    ahead.from = ~std::uint64_t{0};
    Md5Update(group, data, size);
  }
  md5 = Md5::ToHex(Md5Final(group));
}

HRESULT WholeFileMd5::Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                           const std::string& md5, const Ahead* ahead) {
  if (offset != hashed_ || size == 0) return S_OK;
  if (offset == 0 && size == fileSize && !md5.empty()) {
    whole_ = md5;
    hashed_ = size;
    return S_OK;
  }
  if (!whole_.empty()) return E_UNEXPECTED;
  if (ahead != nullptr && ahead->from == offset && ahead->state.length == offset + size) {
    digest_ = ahead->state;
  } else {
    Md5Update(digest_, data, size);
  }
  hashed_ += size;
  return S_OK;
}

void WholeFileMd5::Forget(std::uint64_t offset) {
  if (offset < hashed_) Reset();
}

void WholeFileMd5::Reset() {
  digest_ = Md5State();
  hashed_ = 0;
  whole_.clear();
}

HRESULT WholeFileMd5::Finish(std::string& md5) {
  md5 = whole_.empty() ? Md5::ToHex(Md5Final(digest_)) : whole_;
  Reset();
  return S_OK;
}

}  // namespace korvex
