//===- update/UpdateFileCheck.cpp - Is this file ours to run? -------------===//

#include "update/UpdateFileCheck.h"

#include <link.h>
#include <openssl/evp.h>

#include <boost/format.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/SystemError.h"
#include "update/UpdateTexts.h"

namespace korvex {

namespace {

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Shdr = ElfW(Shdr);

// What "this machine" means: the running program's own header, so that a
// 32-bit build on a 64-bit kernel wants 32-bit files, like the loader does.
struct MachineIdentity {
  bool known = false;
  unsigned char elfClass = 0;
  unsigned char byteOrder = 0;
  std::uint16_t machine = 0;
};

const MachineIdentity& ThisMachine() {
  static const MachineIdentity identity = [] {
    MachineIdentity id;
    std::ifstream self("/proc/self/exe", std::ios::binary);
    Ehdr header{};
    if (self.read(reinterpret_cast<char*>(&header), sizeof header)) {
      id.known = std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0;
      id.elfClass = header.e_ident[EI_CLASS];
      id.byteOrder = header.e_ident[EI_DATA];
      id.machine = header.e_machine;
    }
    return id;
  }();
  return identity;
}

// Whether [offset, offset + size) lies inside a file of `fileSize` bytes,
// without letting a hostile offset wrap around.
bool Inside(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

bool IsForThisMachine(const Ehdr& header) {
  const MachineIdentity& self = ThisMachine();
  return self.known && header.e_ident[EI_CLASS] == self.elfClass && header.e_ident[EI_DATA] == self.byteOrder &&
         header.e_ident[EI_VERSION] == EV_CURRENT && header.e_machine == self.machine &&
         (header.e_type == ET_EXEC || header.e_type == ET_DYN);
}

// Every program and section header, and the bytes each of them announces,
// must be in the image: the section table comes last in a linked file, so a
// file cut anywhere fails one of these.
bool IsWhole(std::string_view image, const Ehdr& header) {
  const std::uint64_t size = image.size();
  if (header.e_phnum == 0 || header.e_phentsize != sizeof(Phdr) ||
      !Inside(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(Phdr), size)) {
    return false;
  }
  for (std::uint16_t i = 0; i < header.e_phnum; ++i) {
    Phdr segment{};
    std::memcpy(&segment, image.data() + header.e_phoff + i * sizeof(Phdr), sizeof segment);
    if (!Inside(segment.p_offset, segment.p_filesz, size)) return false;
  }
  if (header.e_shoff == 0) return true;
  if (header.e_shentsize != sizeof(Shdr) || header.e_shnum == 0 ||
      !Inside(header.e_shoff, std::uint64_t{header.e_shnum} * sizeof(Shdr), size)) {
    return false;
  }
  for (std::uint16_t i = 0; i < header.e_shnum; ++i) {
    Shdr section{};
    std::memcpy(&section, image.data() + header.e_shoff + i * sizeof(Shdr), sizeof section);
    if (section.sh_type != SHT_NOBITS && !Inside(section.sh_offset, section.sh_size, size)) return false;
  }
  return true;
}

std::string Format(const UpdateText& text, const std::string& a = {}, const std::string& b = {}) {
  boost::format f(std::string(Text(text)));
  f.exceptions(boost::io::no_error_bits);
  return (f % a % b).str();
}

// S_OK with the marker's version for a whole ELF file of this machine.
HRESULT CheckImage(std::string_view image, FileVersion& version, std::string& reason) {
  Ehdr header{};
  if (image.size() >= sizeof header) std::memcpy(&header, image.data(), sizeof header);
  if (image.size() < sizeof header || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || !IsForThisMachine(header)) {
    reason = Format(kTxtRefusedNotAProgram);
    return kHrNotAProgram;
  }
  if (!IsWhole(image, header)) {
    reason = Format(kTxtRefusedIncomplete, std::to_string(image.size()));
    return kHrNotAProgram;
  }
  if (!FindVersionMarker(image, version)) {
    reason = Format(kTxtRefusedNoVersion);
    return kHrOtherVersion;
  }
  return S_OK;
}

}  // namespace

std::string Sha256Hex(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

HRESULT CheckDownloadedFile(std::string_view image, const UpdateDescription& published, std::string_view fileName,
                            std::string& reason) {
  FileVersion version = 0;
  if (const HRESULT hr = CheckImage(image, version, reason); Failed(hr)) return hr;
  if (version != published.version) {
    reason = Format(kTxtRefusedOtherVersion, FormatVersion(version), published.versionText);
    return kHrOtherVersion;
  }
  // An empty result (the digest could not be computed) never matches.
  const std::string* sha256 = PublishedSha256(published, fileName);
  if (sha256 != nullptr && Sha256Hex(image) != *sha256) {
    reason = Format(kTxtRefusedDigest);
    return kHrDigestMismatch;
  }
  return S_OK;
}

HRESULT QueryUsableFileVersion(const std::filesystem::path& file, FileVersion& version) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return HResultFromErrno(errno != 0 ? errno : ENOENT);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return HResultFromErrno(EIO);
  std::string reason;
  return CheckImage(image, version, reason);
}

}  // namespace korvex
