//===- store/ShellTree.h - Store addresses of the local computer -*- C++ -*-===//
///
/// The local store shows the computer the way a desktop does: the root
/// ("/") is the desktop (the user's home folder, with its folders and
/// files) plus a virtual "Computer" folder whose children are the mounted
/// file systems. Addresses are paths of display names, so they cannot be
/// handed to the file system as they are; this tree translates them.
///
///   /                                   -> the home folder
///   /Documents/a.txt                    -> <home>/Documents/a.txt
///   /Computer/                          -> no path (a virtual folder)
///   /Computer/File System (∕)/etc/      -> /etc
///   /Computer/∕media∕usb/photos/        -> /media/usb/photos
///
/// Mount points are named by their path with each "/" shown as U+2215
/// (DIVISION SLASH), the root file system as "File System (∕)": a real "/"
/// in a name would split the address.
///
/// Threads: every read and update takes the tree's lock.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

/// Parsing name of the virtual Computer folder (a class id, as on the
/// desktop whose layout the store keeps).
inline constexpr std::string_view kComputerParsingName = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
inline constexpr std::string_view kComputerDisplayName = "Computer";

class ShellTree {
 public:
  struct Node {
    std::string displayName;
    /// A file-system path, or a class id beginning with "::" for a virtual folder.
    std::string parsingName;
    std::vector<Node> children;
  };

  /// `desktopPath`: the folder shown as the root.
  explicit ShellTree(std::string desktopPath);

  [[nodiscard]] std::string DesktopPath() const;

  /// The file-system path of a store address (container or item), or empty
  /// when it names none: the Computer folder, or an address with a "." or
  /// ".." part (such an address never comes from a listing).
  [[nodiscard]] std::string MapPath(std::string_view uri) const;

  /// True for the address of the Computer folder.
  [[nodiscard]] static bool IsComputer(std::string_view uri) noexcept;

  /// Reads the mounted file systems again, stores them as the Computer
  /// folder's children and returns a copy ("/" first).
  std::vector<Node> RefreshMounts();

  /// True when `path` is "/", the desktop folder or a mount point: folders
  /// that no delete may remove.
  [[nodiscard]] bool IsProtectedPath(const std::string& path) const;

  /// The mounted file systems worth showing: real disks and network shares,
  /// not the kernel's pseudo file systems. Read from /proc/self/mounts.
  [[nodiscard]] static std::vector<Node> ReadMounts();
  /// "File System (∕)" for "/", else the path; U+2215 for each "/".
  [[nodiscard]] static std::string MountDisplayName(const std::string& mountPoint);

 private:
  mutable std::mutex mutex_;  // guards root_
  Node root_;
};

}  // namespace korvex
