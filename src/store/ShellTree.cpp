//===- store/ShellTree.cpp - Store addresses of the local computer --------===//

#include "store/ShellTree.h"

#include <mntent.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace korvex {
namespace {

constexpr std::string_view kDivisionSlash = "\xE2\x88\x95";  // U+2215

// Kernel and container file systems hold no user files.
constexpr std::array<std::string_view, 24> kPseudoTypes = {
    "proc",     "sysfs",      "devtmpfs",  "devpts",  "securityfs", "cgroup",
    "cgroup2",  "pstore",     "bpf",       "debugfs", "tracefs",    "configfs",
    "fusectl",  "mqueue",     "hugetlbfs", "autofs",  "binfmt_misc", "rpc_pipefs",
    "nsfs",     "efivarfs",   "selinuxfs", "ramfs",   "squashfs",   "tmpfs"};

// Folders the system owns; /run/media (removable disks) is the exception.
bool IsSystemMountPoint(std::string_view dir) {
  for (std::string_view prefix : {"/proc", "/sys", "/dev", "/run", "/boot", "/snap"}) {
    if (dir.size() >= prefix.size() && dir.compare(0, prefix.size(), prefix) == 0 &&
        (dir.size() == prefix.size() || dir[prefix.size()] == '/')) {
      return !(dir.rfind("/run/media/", 0) == 0);
    }
  }
  return false;
}

const ShellTree::Node* ChildNamed(const ShellTree::Node& node, std::string_view name) {
  for (const ShellTree::Node& child : node.children) {
    if (child.displayName == name) return &child;
  }
  return nullptr;
}

// Every mount point with its file-system type, pseudo ones included.
std::vector<std::pair<std::string, std::string>> AllMounts() {
  std::vector<std::pair<std::string, std::string>> mounts;
  std::unique_ptr<FILE, int (*)(FILE*)> table(setmntent("/proc/self/mounts", "r"), endmntent);
  if (!table) return mounts;
  mntent entry{};
  std::array<char, 4096> buffer{};
  while (getmntent_r(table.get(), &entry, buffer.data(), static_cast<int>(buffer.size())))
    mounts.emplace_back(entry.mnt_dir, entry.mnt_type);
  return mounts;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && path[0] == '/' && std::filesystem::exists(path, ec);
}

}  // namespace

ShellTree::ShellTree(std::string desktopPath) {
  root_.parsingName = std::move(desktopPath);
  Node computer{std::string(kComputerDisplayName), std::string(kComputerParsingName), ReadMounts()};
  root_.children.push_back(std::move(computer));
}

std::string ShellTree::DesktopPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return root_.parsingName;
}

bool ShellTree::IsComputer(std::string_view uri) noexcept {
  return uri == "/Computer/" || uri == "/Computer";
}

std::string ShellTree::MapPath(std::string_view uri) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string result = root_.parsingName;
  const Node* node = &root_;
  while (!uri.empty()) {
    const std::size_t slash = uri.find('/');
    const std::string_view part = uri.substr(0, slash);
    uri.remove_prefix(slash == std::string_view::npos ? uri.size() : slash + 1);
    if (part.empty()) continue;
    // Names of listed entries are never "." or ".."; an address holding one
    // would climb out of the folder it names.
    if (part == "." || part == "..") return std::string();
    const Node* child = node != nullptr ? ChildNamed(*node, part) : nullptr;
    node = child;
    if (child != nullptr && child->parsingName == kComputerParsingName) {
      result.clear();
    } else if (child != nullptr && PathExists(child->parsingName)) {
      result = child->parsingName;
    } else {
      if (result.empty() || result.back() != '/') result.push_back('/');
      result.append(part);
    }
  }
  if (node != nullptr && node->parsingName == kComputerParsingName) return std::string();
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::vector<ShellTree::Node> ShellTree::RefreshMounts() {
  std::vector<Node> mounts = ReadMounts();
  std::lock_guard<std::mutex> lock(mutex_);
  for (Node& child : root_.children) {
    if (child.parsingName == kComputerParsingName) child.children = mounts;
  }
  return mounts;
}

bool ShellTree::IsProtectedPath(const std::string& path) const {
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  const std::string normal = ec ? path : canonical.string();
  if (normal == "/" || normal.empty()) return true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (normal == root_.parsingName) return true;
  }
  // All mount points, even those the Computer folder does not show: removing
  // one would empty the file system below it before the final rmdir fails.
  const auto mounts = AllMounts();
  return std::any_of(mounts.begin(), mounts.end(), [&](const auto& m) { return m.first == normal; });
}

std::vector<ShellTree::Node> ShellTree::ReadMounts() {
  std::vector<Node> mounts;
  mounts.push_back({MountDisplayName("/"), "/", {}});
  for (const auto& [dir, type] : AllMounts()) {
    if (dir == "/" || dir.empty() || dir[0] != '/' || IsSystemMountPoint(dir)) continue;
    if (std::find(kPseudoTypes.begin(), kPseudoTypes.end(), type) != kPseudoTypes.end()) continue;
    const bool seen = std::any_of(mounts.begin(), mounts.end(),
                                  [&](const Node& m) { return m.parsingName == dir; });
    if (!seen) mounts.push_back({MountDisplayName(dir), dir, {}});
  }
  return mounts;
}

std::string ShellTree::MountDisplayName(const std::string& mountPoint) {
  if (mountPoint == "/") return "File System (" + std::string(kDivisionSlash) + ")";
  std::string name;
  for (char c : mountPoint) {
    if (c == '/') name.append(kDivisionSlash);
    else name.push_back(c);
  }
  return name;
}

}  // namespace korvex
