//===- store/ObjectInfo.h - Descriptive records of store entries -*- C++ -*-===//
///
/// Every store back end (the service, the local file system) describes what
/// it holds with these plain value records: directories (ContainerInfo),
/// files (ItemInfo), other users (BuddyInfo, BuddyInfoEx) and link or access
/// codes (ContainerCode). They are copied freely; copying a boost::any tag
/// clones its content. The virtual destructor lets a record be owned through
/// an ObjectInfo pointer and told apart by ObjectInfo::kind.
///
/// Addresses (`uri`): "/" is a store's root; a container's address is its
/// parent's followed by its name and "/", an item's its parent's followed by
/// its name. All text is UTF-8.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <boost/any.hpp>

#include <cstdint>
#include <string>

namespace korvex {

/// Which record an ObjectInfo (or live Object) is. 3 is not used.
enum ObjectKind : std::int32_t {
  kObjectContainer = 1,
  kObjectItem = 2,
  kObjectBuddy = 4,
  kObjectBuddyEx = 5,
};

/// Values of ContainerInfo::kind.
enum ContainerKind : std::int32_t {
  kContainerOrdinary = 0,
  kContainerSharedWithBuddies = 1,  ///< shared with chosen buddies
  kContainerShared = 2,             ///< the shares view and all below it; direct shares
  kContainerRoot = 3,               ///< a store's root or a virtual folder
  kContainerVezo = 4,               ///< the VEZO view and all below it
};

/// Rights masks of ContainerInfo::privilege that several layers test.
inline constexpr std::uint32_t kPrivilegeAll = 0xFFFF;
inline constexpr std::uint32_t kPrivilegeVirtual = 0x8000;  ///< new store roots, Computer
inline constexpr std::uint32_t kPrivilegeUpload = 0x40;

class ObjectInfo {
 public:
  virtual ~ObjectInfo() = default;

  /// Set by the subclass's constructor and never changed. ContainerInfo has
  /// a field of the same name (its container kind) that hides this one; read
  /// this one through an ObjectInfo reference.
  ObjectKind kind;

 protected:
  explicit ObjectInfo(ObjectKind objectKind) noexcept : kind(objectKind) {}
  // Protected so that a record cannot be sliced into another kind through
  // base references.
  ObjectInfo(const ObjectInfo&) = default;
  ObjectInfo& operator=(const ObjectInfo&) = default;
};

/// A directory.
struct ContainerInfo : ObjectInfo {
  ContainerInfo() noexcept : ObjectInfo(kObjectContainer) {}

  /// Display name: the last component of `uri`; the service adds the owner's
  /// privilege label in parentheses for directories of other users.
  std::string name;
  /// Ends in "/"; the cache's key.
  std::string uri;
  /// Owner as the service lists it; empty for local folders.
  std::string ownerName;
  /// Carried and copied for back ends; nothing in the store layer reads it.
  std::uint64_t reservedValue = 0;
  /// False forbids dropping the cached listing (the service root).
  bool refreshable = true;
  /// A ContainerKind value.
  std::int32_t kind = kContainerOrdinary;
  /// Rights mask.
  std::uint32_t privilege = kPrivilegeAll;
  /// Carried and copied for back ends; nothing in the store layer reads it.
  bool reservedFlag = false;
  /// Indices into the system image list, -1 for none.
  std::int32_t smallIcon = -1;
  std::int32_t openIcon = -1;
  /// The back end's own id of the directory (the service: std::uint64_t
  /// "dirid"). Only the back end interprets it.
  boost::any tag;
};

/// A file.
struct ItemInfo : ObjectInfo {
  ItemInfo() noexcept : ObjectInfo(kObjectItem) {}

  std::string name;
  /// Empty from listings; carried for the back end.
  std::string reserved;
  /// Parent's `uri` followed by `name`, no trailing "/".
  std::string uri;
  std::uint64_t size = 0;
  /// FILETIME (100 ns since 1601-01-01 UTC).
  std::uint64_t modifyTime = 0;
  std::uint64_t createTime = 0;
  /// Protection mark: 0 unprotected; 1 and 2 are treated as protected by the
  /// transfer requests (1: ".lock" name or marked by the service).
  std::uint32_t locked = 0;
  /// Set by the service adapter from the entry's state; 0 from the local store.
  std::uint32_t stateFlag = 0;
  /// Text that the service's upload preparation answers with.
  std::string uploadText;
  /// Non-zero for a file whose transfer is not finished.
  std::uint32_t partial = 0;
  /// The back end's id of the file (the service: std::uint64_t "fileid").
  boost::any tag;
  /// The service's transfer token (std::string) once known.
  boost::any extraTag;
  /// The service's link id (std::uint64_t) when the file has a link.
  boost::any linkTag;
};

/// Another user of the service, as the contact listing gives it.
struct BuddyInfo : ObjectInfo {
  BuddyInfo() noexcept : ObjectInfo(kObjectBuddy) {}

  /// What share requests send as the user.
  std::string name;
  std::string email;
  std::string msn;
  std::string domain;
  std::string photo;
  std::string joinTime;
  /// Rights of the user within a share; the contact listing leaves it 0.
  std::uint32_t privilege = 0;
  /// The user id (std::uint64_t "userid").
  boost::any tag;
};

/// One share of a directory with one user, as the share-access listing gives it.
struct BuddyInfoEx : ObjectInfo {
  BuddyInfoEx() noexcept : ObjectInfo(kObjectBuddyEx) {}

  BuddyInfo buddy;
  std::uint32_t privilege = 0;
  std::string directoryId;
  std::string directoryName;
  boost::any tag;
};

/// One download link or access code. Not an ObjectInfo: it only travels in
/// std::vector<ContainerCode> by value.
struct ContainerCode {
  std::string codeId;
  std::string code;
  std::string name;
  std::string expireTime;
  /// Not filled by the access-code listing.
  std::string isExpired;
  std::string logoUrl;
  /// Not filled by the access-code listing.
  std::string ownerId;
  std::string directoryId;
  std::string directoryName;
};

}  // namespace korvex
