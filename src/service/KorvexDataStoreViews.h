//===- service/KorvexDataStoreViews.h - The disks of one account -*- C++ -*-===//
///
/// The views of one service account that the user browses side by side.
/// Each is a proxy (KorvexDataStoreProxy.h) that differs only in its root:
/// the root is addressed "/<root name>/", so that addresses of different
/// views never look alike, and carries the kind and rights the panes test.
/// A view's kind 2 (shares) or 4 (VEZO) passes to everything listed below
/// its root (DataStore does that).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "service/KorvexDataStoreProxy.h"

#include <cstdint>
#include <string>

namespace korvex {

/// Base of the four views: fills the root from the view's fields.
class KorvexDataStoreView : public KorvexDataStoreProxy {
 public:
  [[nodiscard]] HRESULT InitializeRoot(Container* root) override;
  [[nodiscard]] const std::string& ViewRootName() const noexcept { return viewRootName_; }

 protected:
  /// `tag` is the root's service directory id, or empty for none.
  KorvexDataStoreView(KorvexDataStoreRemote* inner, std::string rootName, std::int32_t kind,
                      std::uint32_t privilege, boost::any tag);

 private:
  std::string viewRootName_;
  std::int32_t kind_;
  std::uint32_t privilege_;
  boost::any tag_;
};

/// The user's own disk.
class KorvexDataStoreMyDisk : public KorvexDataStoreView {
 public:
  /// `value` is kept for the panes; the view does not read it.
  KorvexDataStoreMyDisk(KorvexDataStoreRemote* inner, std::uint64_t rootDirId,
                        std::uint32_t privilege, std::uint32_t value, std::string rootName)
      : KorvexDataStoreView(inner, std::move(rootName), kContainerRoot, privilege, rootDirId),
        value_(value) {}
  [[nodiscard]] std::uint32_t Value() const noexcept { return value_; }

 private:
  std::uint32_t value_;
};

/// The folders other users share with the user; all of it carries kind 2.
class KorvexDataStoreShare : public KorvexDataStoreView {
 public:
  KorvexDataStoreShare(KorvexDataStoreRemote* inner, std::uint64_t dirId, std::uint32_t value,
                       std::string rootName)
      : KorvexDataStoreView(inner, std::move(rootName), kContainerShared, 0, dirId),
        value_(value) {}
  [[nodiscard]] std::uint32_t Value() const noexcept { return value_; }

 private:
  std::uint32_t value_;
};

/// The VEZO folder; all of it carries kind 4. Its root is listed through
/// its directory id like the other views' roots.
class KorvexDataStoreVEZO : public KorvexDataStoreView {
 public:
  KorvexDataStoreVEZO(KorvexDataStoreRemote* inner, std::string rootName, std::uint64_t dirId)
      : KorvexDataStoreView(inner, std::move(rootName), kContainerVezo, kViewDownloadRights,
                            dirId) {}

  /// Upload and download rights without administration (0x8A0).
  static constexpr std::uint32_t kViewDownloadRights = 0x8A0;
};

/// The sync folder that holds the backups.
class KorvexDataStoreSync : public KorvexDataStoreView {
 public:
  KorvexDataStoreSync(KorvexDataStoreRemote* inner, std::string rootName, std::uint64_t dirId)
      : KorvexDataStoreView(inner, std::move(rootName), kContainerRoot,
                            KorvexDataStoreVEZO::kViewDownloadRights, dirId) {}
};

}  // namespace korvex
