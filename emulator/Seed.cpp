// The demo domain that --seed-demo creates.
#include <fstream>

#include "Service.h"

namespace korvexd {
namespace {

struct DemoFile {
  const char* path;  // directory path below the root, "" for the root
  const char* name;
  std::string content;
};

std::string Repeat(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

std::int64_t EnsurePath(Catalog& catalog, const User& user, const std::string& path) {
  std::int64_t dir = user.rootDir;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t slash = path.find('/', start);
    std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    start = slash == std::string::npos ? path.size() : slash + 1;
    if (name.empty()) continue;
    auto existing = catalog.DirByName(dir, name);
    dir = existing ? existing->id : catalog.CreateDir(user.id, dir, name);
  }
  return dir;
}

bool SeedUser(Catalog& catalog, const User& user, const std::vector<std::string>& dirs,
              const std::vector<DemoFile>& files) {
  for (const std::string& d : dirs) {
    if (EnsurePath(catalog, user, d) == 0) return false;
  }
  for (const DemoFile& f : files) {
    std::int64_t dir = EnsurePath(catalog, user, f.path);
    if (dir == 0 || AddFileWithContent(catalog, user.id, dir, f.name, f.content) == 0) return false;
  }
  return true;
}

}  // namespace

std::int64_t AddFileWithContent(Catalog& catalog, std::int64_t owner, std::int64_t dir,
                                const std::string& name, const std::string& content) {
  File file;
  file.dir = dir;
  file.owner = owner;
  file.name = name;
  file.size = static_cast<std::int64_t>(content.size());
  file.mtime = file.ctime = NowSeconds();
  file.state = 1;  // not listed as complete until its bytes are on disk
  std::int64_t id = catalog.AddFile(file);
  if (id == 0) return 0;
  std::ofstream out(catalog.BlobPath(id), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) {
    catalog.DeleteFile(id);
    return 0;
  }
  catalog.db().Exec("UPDATE files SET state=0, md5=? WHERE id=?", {catalog.ComputeMd5(id, file.size), id});
  return id;
}

bool SeedDemo(Catalog& catalog, std::string& error) {
  if (catalog.FindUser("alice", "demo")) return true;
  auto alice = catalog.AddUser("alice", "alice-demo-1", "demo", "Alice Demo", error);
  if (!alice) return false;
  auto bob = catalog.AddUser("bob", "bob-demo-1", "demo", "Bob Demo", error);
  if (!bob) return false;

  std::string lorem = "KorvexData demo file. The quick brown fox jumps over the lazy dog.\n";
  bool ok = SeedUser(catalog, *alice, {"Documents", "Photos", "Projects/2026", "Inbox"},
                     {{"", "readme.txt", "Welcome to KorvexData, Alice!\n"},
                      {"Documents", "notes.md", "# Notes\n\n- try an upload\n- share a folder\n"},
                      {"Documents", "report.pdf", Repeat(lorem, 3000)},
                      {"Photos", "sunset.jpg", Repeat(std::string("\xFF\xD8\xFF\xE0 jpeg ", 9), 1000)},
                      {"Projects/2026", "plan.txt", "Q1: build\nQ2: ship\n"}}) &&
            SeedUser(catalog, *bob, {"Team Share/Drafts", "Private"},
                     {{"Team Share", "budget.csv", "item,amount\nservers,1200\nlicences,300\n"},
                      {"Team Share", "kickoff.txt", "Kick-off on Monday at 10.\n"},
                      {"Team Share/Drafts", "draft-1.txt", Repeat(lorem, 20)},
                      {"Private", "diary.txt", "Dear diary.\n"}});
  if (!ok) {
    error = "cannot write the demo files";
    return false;
  }
  auto team = catalog.DirByName(bob->rootDir, "Team Share");
  auto inbox = catalog.DirByName(alice->rootDir, "Inbox");
  std::int64_t now = NowSeconds();
  catalog.db().Exec("INSERT INTO shares(dir, owner, user_id, privilege, created) VALUES(?,?,?,?,?)",
                    {team->id, bob->id, alice->id, std::int64_t{rights::kUploadDownload}, now});
  catalog.db().Exec(
      "INSERT INTO codes(code, dir, owner, name, created, expires) VALUES('DEMO2026',?,?,?,?,?)",
      {inbox->id, alice->id, std::string("Inbox"), now, now + 365LL * 24 * 3600});
  return true;
}

}  // namespace korvexd
