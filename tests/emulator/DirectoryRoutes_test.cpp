// Directory and file operations as the client sends them, and the rights
// of a folder that another user shares.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

std::vector<std::string> Names(const Json& listing) {
  std::vector<std::string> names;
  for (const Json& e : listing["list"]) names.push_back(e["name"]);
  return names;
}

using DirectoryTest = KorvexdTest;

TEST_F(DirectoryTest, ListingHasTheWireForms) {
  Json root = List(*alice_, alice_->RootDir());
  ASSERT_EQ(root["result"], 1);
  EXPECT_TRUE(root["files"].is_number_integer());
  EXPECT_EQ(root["files"], 1);  // readme.txt
  ASSERT_FALSE(root["list"].empty());
  for (const Json& e : root["list"]) {
    ExpectTextFields(e, {"dirid", "dirname", "isshare", "privilege", "ownername"});
    EXPECT_EQ(e["ownername"], "");
    EXPECT_EQ(e["privilege"], "65535");
  }
  Json files = Files(*alice_, SubDir(*alice_, alice_->RootDir(), "Documents"));
  ASSERT_EQ(files["list"].size(), 2u);
  for (const Json& e : files["list"]) {
    ExpectTextFields(e, {"fileid", "name", "size", "modifytime", "time", "state", "sec"});
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    EXPECT_EQ(std::sscanf(e["modifytime"].get<std::string>().c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec), 6)
        << e["modifytime"];
    EXPECT_GE(y, 2020);
    EXPECT_EQ(e["state"], "0");
  }
}

TEST_F(DirectoryTest, CreateAnswersExistingNameWithItsId) {
  std::int64_t id = alice_->MakeDir(alice_->RootDir(), "New folder é");
  ASSERT_GT(id, 0);
  Json again = alice_->PostJson("/directory/create",
                                "parentid=" + std::to_string(alice_->RootDir()) + "&dirname=" + Encode("New folder é"));
  EXPECT_EQ(again["result"], 0);
  EXPECT_EQ(StateOf(again), 2006);
  EXPECT_EQ(again["id"], std::to_string(id));
  // The sub-account path creates in the same way.
  Json sub = alice_->PostJson("/directory/uploaddir", "parentid=" + std::to_string(id) + "&dirname=inner");
  EXPECT_EQ(sub["result"], 1);
  EXPECT_EQ(SubDir(*alice_, alice_->RootDir(), "New folder é"), id);
}

TEST_F(DirectoryTest, ParallelCreatesOfOneNameMakeOneDirectory) {
  constexpr int kClients = 12;
  std::vector<std::int64_t> ids(kClients, -1);
  std::vector<std::thread> threads;
  std::string body = "parentid=" + std::to_string(alice_->RootDir()) + "&dirname=race";
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      ServiceClient c(korvexd_);
      c.SetAuth(alice_->Auth());
      auto res = c.PostForm("/directory/create", body);
      if (!res) return;
      Json j = Json::parse(res->body, nullptr, false);
      if (j.is_object() && j.contains("id")) ids[i] = std::stoll(j["id"].get<std::string>());
    });
  }
  for (auto& t : threads) t.join();
  for (std::int64_t id : ids) EXPECT_EQ(id, ids[0]) << "every caller gets the one directory's id";
  EXPECT_GT(ids[0], 0);
  int named = 0;
  Json listing = List(*alice_, alice_->RootDir());
  for (const Json& e : listing["list"]) named += e["dirname"] == "race";
  EXPECT_EQ(named, 1);
}

TEST_F(DirectoryTest, RefusesInvalidNamesAndUnknownParents) {
  struct Case {
    std::string body;
    long long state;
  } cases[] = {
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=", 2004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=a%2Fb", 3004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=%2E%2E", 3004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=x%01", 3004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=%FF%FE", 3004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=%C0%AF", 3004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=%E0%80%AF", 3004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=%ED%A0%80", 3004},
      {"parentid=" + std::to_string(alice_->RootDir()) + "&dirname=%F4%90%80%80", 3004},
      {"parentid=999999&dirname=a", 2002},
      {"parentid=abc&dirname=a", 3000},
      {"dirname=a", 3000},
      {"parentid=" + std::to_string(bob_->RootDir()) + "&dirname=a", 2005},
      {"parentid=" + std::to_string(alice_->ShareDir()) + "&dirname=a", 2014},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    Json j = alice_->PostJson("/directory/create", c.body);
    EXPECT_EQ(j["result"], 0);
    EXPECT_EQ(StateOf(j), c.state);
  }
}

TEST_F(DirectoryTest, RenameMoveAndDeleteDirectories) {
  std::int64_t a = alice_->MakeDir(alice_->RootDir(), "a");
  std::int64_t b = alice_->MakeDir(alice_->RootDir(), "b");
  std::int64_t inner = alice_->MakeDir(a, "inner");
  ASSERT_GT(inner, 0);
  auto post = [&](const std::string& path, const std::string& body) { return alice_->PostJson(path, body); };

  EXPECT_EQ(StateOf(post("/directory/rename", "dirid=" + std::to_string(a) + "&dirname=b")), 2006);
  EXPECT_EQ(post("/directory/rename", "dirid=" + std::to_string(a) + "&dirname=a2")["result"], 1);
  EXPECT_EQ(SubDir(*alice_, alice_->RootDir(), "a2"), a);

  EXPECT_EQ(post("/directory/move", "dirid=" + std::to_string(a) + "&targetid=" + std::to_string(inner))["result"], 0)
      << "a directory cannot move into itself";
  EXPECT_EQ(StateOf(post("/directory/move", "dirid=" + std::to_string(a) + "&targetid=" + std::to_string(alice_->RootDir()))),
            -3);
  EXPECT_EQ(post("/directory/move", "dirid=" + std::to_string(a) + "&targetid=" + std::to_string(b))["result"], 1);
  EXPECT_EQ(SubDir(*alice_, b, "a2"), a);
  EXPECT_EQ(SubDir(*alice_, alice_->RootDir(), "a2"), -1);

  EXPECT_EQ(post("/directory/delete", "dirid=" + std::to_string(b))["result"], 1);
  EXPECT_EQ(StateOf(List(*alice_, inner)), 2002) << "the whole subtree is gone";
  EXPECT_EQ(StateOf(post("/directory/delete", "dirid=" + std::to_string(alice_->RootDir()))), 2005)
      << "the root cannot be deleted";
}

TEST_F(DirectoryTest, FileRenameMoveCopyAndNameClashes) {
  std::int64_t docs = SubDir(*alice_, alice_->RootDir(), "Documents");
  std::int64_t target = alice_->MakeDir(alice_->RootDir(), "target");
  std::string notes = FileId(*alice_, docs, "notes.md");
  std::string report = FileId(*alice_, docs, "report.pdf");
  ASSERT_FALSE(notes.empty());
  auto post = [&](const std::string& path, const std::string& body) { return alice_->PostJson(path, body); };

  EXPECT_EQ(StateOf(post("/file/rename", "fileid=" + notes + "&filename=report%2Epdf")), 3009);
  EXPECT_EQ(post("/file/rename", "fileid=" + notes + "&filename=" + Encode("a b.txt"))["result"], 1);
  EXPECT_EQ(FileId(*alice_, docs, "a b.txt"), notes);

  std::string to = "&targetid=" + std::to_string(target);
  EXPECT_EQ(post("/file/copy", "fileid=" + notes + to + "&override=0")["result"], 1);
  EXPECT_EQ(StateOf(post("/file/copy", "fileid=" + notes + to + "&override=0")), 3009);
  EXPECT_EQ(post("/file/copy", "fileid=" + notes + to + "&override=1")["result"], 1);
  EXPECT_EQ(Files(*alice_, target)["list"].size(), 1u) << "override replaces, never duplicates";
  EXPECT_EQ(StateOf(post("/file/move", "fileid=" + report + "&targetid=" + std::to_string(docs) + "&override=0")), -3);
  EXPECT_EQ(post("/file/move", "fileid=" + report + to + "&override=0")["result"], 1);
  EXPECT_EQ(Names(Files(*alice_, target, "title")), (std::vector<std::string>{"a b.txt", "report.pdf"}));
  EXPECT_EQ(Names(Files(*alice_, docs)), (std::vector<std::string>{"a b.txt"}));

  EXPECT_EQ(post("/file/delete", "fileid=" + notes)["result"], 1);
  EXPECT_EQ(StateOf(post("/file/delete", "fileid=" + notes)), 3016);
  EXPECT_EQ(Files(*alice_, docs)["list"].size(), 0u);
}

TEST_F(DirectoryTest, PagesFollowEachSortKey) {
  std::int64_t sorted = alice_->MakeDir(alice_->RootDir(), "sorted");
  std::int64_t docs = SubDir(*alice_, alice_->RootDir(), "Documents");
  std::int64_t projects = SubDir(*alice_, SubDir(*alice_, alice_->RootDir(), "Projects"), "2026");
  std::string to = "&targetid=" + std::to_string(sorted) + "&override=0";
  for (auto [dir, name] : {std::pair{docs, "notes.md"}, {docs, "report.pdf"}, {projects, "plan.txt"},
                           {alice_->RootDir(), "readme.txt"}}) {
    ASSERT_EQ(alice_->PostJson("/file/copy", "fileid=" + FileId(*alice_, dir, name) + to)["result"], 1) << name;
  }
  // Sizes: notes.md 40, plan.txt 19, readme.txt 30, report.pdf 207000.
  struct Case {
    std::string key;
    std::vector<std::string> order;
  } cases[] = {
      {"title", {"notes.md", "plan.txt", "readme.txt", "report.pdf"}},
      {"titledesc", {"report.pdf", "readme.txt", "plan.txt", "notes.md"}},
      {"size", {"plan.txt", "readme.txt", "notes.md", "report.pdf"}},
      {"sizedesc", {"report.pdf", "notes.md", "readme.txt", "plan.txt"}},
      {"filetype", {"notes.md", "report.pdf", "plan.txt", "readme.txt"}},
      {"filetypedesc", {"plan.txt", "readme.txt", "report.pdf", "notes.md"}},
      {"", {"notes.md", "plan.txt", "readme.txt", "report.pdf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("sort '" + c.key + "'");
    EXPECT_EQ(Names(Files(*alice_, sorted, c.key)), c.order);
    std::vector<std::string> paged;
    for (int start = 0; start < 6; start += 3) {
      for (auto& n : Names(Files(*alice_, sorted, c.key, start, 3))) paged.push_back(n);
    }
    EXPECT_EQ(paged, c.order) << "pages of 3 put together give the same order";
  }
  EXPECT_TRUE(Files(*alice_, sorted, "title", 10, 5)["list"].empty());
  EXPECT_TRUE(Files(*alice_, sorted, "title", 0, 0)["list"].empty());
}

TEST_F(DirectoryTest, SharedFolderFollowsThePrivilegeMask) {
  Json shared = List(*alice_, alice_->ShareDir());
  ASSERT_EQ(shared["list"].size(), 1u);
  const Json& team = shared["list"][0];
  EXPECT_EQ(team["dirname"], "Team Share");
  EXPECT_EQ(team["ownername"], "bob");
  EXPECT_EQ(team["privilege"], std::to_string(0x8E0));
  std::int64_t teamId = std::stoll(team["dirid"].get<std::string>());
  EXPECT_EQ(List(*bob_, bob_->RootDir())["list"][1]["isshare"], "1");  // "Team Share" after "Private"

  // Upload/Download: list, read, create; no delete, rename or move.
  EXPECT_EQ(Names(Files(*alice_, teamId)), (std::vector<std::string>{"budget.csv", "kickoff.txt"}));
  EXPECT_GT(alice_->MakeDir(teamId, "from alice"), 0);
  std::string budget = FileId(*alice_, teamId, "budget.csv");
  EXPECT_EQ(StateOf(alice_->PostJson("/file/delete", "fileid=" + budget)), 2005);
  EXPECT_EQ(StateOf(alice_->PostJson("/file/rename", "fileid=" + budget + "&filename=x")), 2005);
  EXPECT_EQ(StateOf(alice_->PostJson("/directory/rename", "dirid=" + std::to_string(teamId) + "&dirname=x")), 2005);
  EXPECT_EQ(StateOf(alice_->PostJson("/directory/delete", "dirid=" + std::to_string(teamId))), 2005);
  EXPECT_EQ(alice_->PostJson("/file/copy", "fileid=" + budget + "&targetid=" + std::to_string(alice_->RootDir()) +
                                               "&override=0")["result"],
            1);
  // Nothing outside the share is visible.
  std::int64_t priv = SubDir(*bob_, bob_->RootDir(), "Private");
  EXPECT_EQ(StateOf(List(*alice_, bob_->RootDir())), 2005);
  EXPECT_EQ(StateOf(Files(*alice_, priv)), 2005);
  EXPECT_EQ(StateOf(List(*bob_, alice_->RootDir())), 2005);
}

}  // namespace
}  // namespace korvex::test
