// The directory and file operations of the service back end against a real
// korvexd over loopback; every change is checked by listing again.

#include "ServiceSession_support.h"

#include <gtest/gtest.h>

#include <optional>

namespace korvex::test {
namespace {

class DirectoryOperations : public ServiceSession {
 protected:
  // Lists `dir` and returns copies of its sub-directories' records.
  std::vector<ContainerInfo> ListDirs(const ContainerInfo& dir, std::int32_t* fileCount = nullptr) {
    Outcome outcome;
    EXPECT_EQ(store_->ListSubContainersAndItemCount(dir, outcome.Out()), S_OK);
    EXPECT_EQ(outcome.Wait(), S_OK);
    std::vector<ContainerInfo> infos;
    const auto* payload = outcome.Payload<ListSubContainersPayload>();
    if (!payload) return infos;
    for (const Container* c : *boost::get<1>(*payload)) infos.push_back(c->info);
    if (fileCount) *fileCount = boost::get<2>(*payload);
    return infos;
  }

  std::vector<ItemInfo> ListFiles(const ContainerInfo& dir, std::int32_t sort = 1) {
    Outcome outcome;
    EXPECT_EQ(store_->ListSubItems(dir, 0, 100, sort, outcome.Out()), S_OK);
    EXPECT_EQ(outcome.Wait(), S_OK);
    std::vector<ItemInfo> infos;
    const auto* payload = outcome.Payload<ListSubItemsPayload>();
    if (!payload) return infos;
    for (const Item* i : *boost::get<1>(*payload)) infos.push_back(i->info);
    return infos;
  }

  template <class T>
  static std::optional<T> Named(const std::vector<T>& infos, const std::string& name) {
    for (const T& info : infos)
      if (info.name == name) return info;
    return std::nullopt;
  }

  std::optional<ContainerInfo> Create(const ContainerInfo& parent, const std::string& name, HRESULT* status = nullptr) {
    ContainerInfo request;
    request.name = name;
    Outcome outcome;
    EXPECT_EQ(store_->CreateContainer(parent, request, outcome.Out()), S_OK);
    HRESULT hr = outcome.Wait();
    if (status) *status = hr;
    const auto* payload = outcome.Payload<CreateContainerPayload>();
    if (Failed(hr) || !payload) return std::nullopt;
    return boost::get<1>(*payload)->info;
  }

};

TEST_F(DirectoryOperations, ListsTheSeededDisk) {
  std::int32_t fileCount = -1;
  std::vector<ContainerInfo> dirs = ListDirs(root_, &fileCount);
  for (const char* name : {"Documents", "Photos", "Projects", "Inbox"}) {
    SCOPED_TRACE(name);
    auto dir = Named(dirs, name);
    ASSERT_TRUE(dir.has_value());
    EXPECT_EQ(dir->uri, std::string("/") + name + "/");
    EXPECT_NE(boost::any_cast<std::uint64_t>(&dir->tag), nullptr);
  }
  EXPECT_EQ(fileCount, 1);  // readme.txt

  auto documents = Named(dirs, "Documents");
  ASSERT_TRUE(documents.has_value());
  std::vector<ItemInfo> files = ListFiles(*documents, 3);  // by size
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "notes.md");
  EXPECT_EQ(files[1].name, "report.pdf");
  EXPECT_EQ(files[1].uri, "/Documents/report.pdf");
  EXPECT_GT(files[1].size, files[0].size);
  EXPECT_GT(files[1].modifyTime, 130000000000000000u);  // after 2012
  EXPECT_EQ(ListFiles(*documents, 4).at(0).name, "report.pdf");

  // A page from the second file on.
  Outcome page;
  ASSERT_EQ(store_->ListSubItems(*documents, 1, 10, 1, page.Out()), S_OK);
  ASSERT_EQ(page.Wait(), S_OK);
  ASSERT_EQ(boost::get<1>(*page.Payload<ListSubItemsPayload>())->size(), 1u);

  // The folder bob shares carries its owner and rights in its name.
  std::vector<ContainerInfo> shared = ListDirs(shares_);
  ASSERT_FALSE(shared.empty());
  EXPECT_EQ(shared[0].ownerName, "bob");
  EXPECT_EQ(shared[0].name, "Team Share(Upload/Download)");
}

TEST_F(DirectoryOperations, CreatesRenamesMovesAndDeletesDirectories) {
  const std::string name = "New \xC3\xA9-dir_1.~ %&";
  auto created = Create(root_, name);
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(created->uri, "/" + name + "/");
  auto listed = Named(ListDirs(root_), name);
  ASSERT_TRUE(listed.has_value());
  EXPECT_EQ(boost::any_cast<std::uint64_t>(listed->tag), boost::any_cast<std::uint64_t>(created->tag));

  // Creating it again yields the existing directory.
  auto again = Create(root_, name);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(boost::any_cast<std::uint64_t>(again->tag), boost::any_cast<std::uint64_t>(created->tag));

  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->RenameContainer(*listed, "Renamed", r); }), S_OK);
  std::vector<ContainerInfo> dirs = ListDirs(root_);
  EXPECT_FALSE(Named(dirs, name).has_value());
  auto renamed = Named(dirs, "Renamed");
  ASSERT_TRUE(renamed.has_value());

  // Renaming onto an existing name reads as "exists already".
  EXPECT_EQ(Run([&](AsyncResult** r) { return store_->RenameContainer(*renamed, "Photos", r); }), HR_ALREADY_EXISTS);

  auto target = Create(root_, "Target");
  ASSERT_TRUE(target.has_value());
  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->MoveContainer(*renamed, root_, *target, 0, r); }), S_OK);
  EXPECT_FALSE(Named(ListDirs(root_), "Renamed").has_value());
  auto moved = Named(ListDirs(*target), "Renamed");
  ASSERT_TRUE(moved.has_value());
  EXPECT_EQ(moved->uri, "/Target/Renamed/");

  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->DeleteContainer(*moved, r); }), S_OK);
  EXPECT_TRUE(ListDirs(*target).empty());
}

TEST_F(DirectoryOperations, RenamesMovesCopiesAndDeletesFiles) {
  std::vector<ContainerInfo> dirs = ListDirs(root_);
  auto documents = Named(dirs, "Documents");
  auto inbox = Named(dirs, "Inbox");
  ASSERT_TRUE(documents && inbox);
  auto notes = Named(ListFiles(*documents), "notes.md");
  ASSERT_TRUE(notes.has_value());

  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->RenameItem(*notes, "my notes.md", r); }), S_OK);
  auto renamed = Named(ListFiles(*documents), "my notes.md");
  ASSERT_TRUE(renamed.has_value());
  EXPECT_EQ(renamed->size, notes->size);

  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->CopyItem(*renamed, *documents, *inbox, 0, r); }), S_OK);
  EXPECT_TRUE(Named(ListFiles(*documents), "my notes.md").has_value());
  auto copy = Named(ListFiles(*inbox), "my notes.md");
  ASSERT_TRUE(copy.has_value());
  EXPECT_NE(boost::any_cast<std::uint64_t>(copy->tag), boost::any_cast<std::uint64_t>(renamed->tag));

  // A second copy collides unless the caller overrides.
  EXPECT_EQ(Run([&](AsyncResult** r) { return store_->CopyItem(*renamed, *documents, *inbox, 0, r); }),
            HR_ALREADY_EXISTS);
  EXPECT_EQ(Run([&](AsyncResult** r) { return store_->CopyItem(*renamed, *documents, *inbox, 1, r); }), S_OK);
  EXPECT_EQ(ListFiles(*inbox).size(), 1u);

  auto report = Named(ListFiles(*documents), "report.pdf");
  ASSERT_TRUE(report.has_value());
  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->MoveItem(*report, *documents, *inbox, 0, r); }), S_OK);
  EXPECT_FALSE(Named(ListFiles(*documents), "report.pdf").has_value());
  ASSERT_TRUE(Named(ListFiles(*inbox), "report.pdf").has_value());

  ASSERT_EQ(Run([&](AsyncResult** r) { return store_->DeleteItem(*renamed, r); }), S_OK);
  EXPECT_TRUE(ListFiles(*documents).empty());
}

TEST_F(DirectoryOperations, RefusalsAndTransportFailuresReachTheCaller) {
  // Each call completes (Run fails the test otherwise) with its mapped code.
  ContainerInfo missing = Directory("/gone/", "987654321");
  EXPECT_EQ(Run([&](AsyncResult** r) { return store_->ListSubContainersAndItemCount(missing, r); }),
            MakeHResult(0x800707D2u));  // state 2002, unknown directory

  // A session the service does not know: the login-failure state, unchanged.
  KorvexDataStoreRemote stranger(korvexd_.BaseUrl(), korvexd_.BaseUrl(), "bogus", "bogus", "x");
  EXPECT_EQ(Run([&](AsyncResult** r) { return stranger.ListSubContainersAndItemCount(root_, r); }),
            MakeHResult(0x804F2EEFu));

  // Nothing listening any more: the connection is refused.
  ASSERT_TRUE(korvexd_.Stop());
  EXPECT_EQ(Run([&](AsyncResult** r) { return store_->DeleteContainer(root_, r); }), MakeHResult(0x804F2EFDu));
}

TEST_F(DirectoryOperations, CopiesOfTheStoreShareTheSession) {
  KorvexDataStoreRemote copy(*store_);
  KorvexDataStoreRemote other(*store_, korvexd_.BaseUrl());
  for (KorvexDataStoreRemote* s : {&copy, &other}) {
    EXPECT_EQ(Run([&](AsyncResult** r) { return s->ListSubContainersAndItemCount(root_, r); }), S_OK);
  }
}

}  // namespace
}  // namespace korvex::test
