// Scrolls a container of 100,000 items the way a browsing pane does
// (GetCounts, then GetEntryAt row by row) over korvexd and over a local
// folder, and prints the time to the first row, the time per page and the
// resident memory; for the local folder also the time of `ls -f | wc -l`.
//
//   build/bench/datastore_bench            100,000 items
//   KORVEX_BENCH_ITEMS=20000 build/bench/datastore_bench
//   KORVEXD=other/korvexd build/bench/datastore_bench   (another korvexd build)
//
// korvexd is seeded through its database (100,000 uploads over HTTP would
// take longer than the measurement), then restarted.
//
// Then korvexd's CPU time per upload (4 KiB by the block protocol: prepare,
// send, complete) into a folder of 1,000 and of 50,000 files, and the ratio:
// what an upload costs the service should not grow with the account.

#include <httplib.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../tests/support/KorvexdProcess.h"
#include "net/HttpRequestor.h"
#include "net/LoginForm.h"
#include "service/JsonParser.h"
#include "service/KorvexDataStoreViews.h"
#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"

namespace {

using namespace korvex;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The korvexd to measure: the one built alongside, or KORVEXD.
std::string KorvexdProgram() {
  const char* other = std::getenv("KORVEXD");
  return other != nullptr && *other != '\0' ? other : KORVEXD_PATH;
}

int ItemCount() {
  const char* text = std::getenv("KORVEX_BENCH_ITEMS");
  const int n = text ? std::atoi(text) : 0;
  return n > 0 ? n : 100000;
}

// Lists `folder` like a pane: counts, first row, then rows down to the
// last one; `step` 1 reads every row, a larger step jumps like a dragged
// scroll bar (each jump fetches one page).
void Scroll(const char* label, DataStore& store, const ContainerInfo& folder, bool sortFirst, int step = 1) {
  const long before = ResidentKiB();
  const Clock::time_point start = Clock::now();
  EntryCounts counts = store.GetCounts(folder, false);
  if (counts.status != S_OK) {
    std::printf("%s: GetCounts failed 0x%08X\n", label, static_cast<unsigned>(counts.status));
    return;
  }
  if (sortFirst && Failed(store.SortItems(folder, counts.items, false))) {
    std::printf("%s: SortItems failed\n", label);
    return;
  }
  const int rows = counts.containers + counts.items;
  EntryAt first = store.GetEntryAt(folder, 0, false);
  const Clock::duration toFirst = Clock::now() - start;
  int failures = first.status == S_OK ? 0 : 1;
  int pages = 0;
  for (int row = 1; row < rows; ++row) {
    if (step > 1 && row % step != 0 && row != rows - 1) continue;
    ++pages;
    failures += store.GetEntryAt(folder, row, false).status != S_OK;
  }
  const Clock::duration total = Clock::now() - start;
  if (step == 1) pages = (counts.items + 30) / 31;
  std::printf("%-22s rows %d, first row %.1f ms, scroll %.0f ms, %d pages at %.2f ms each, "
              "resident +%ld KiB, failed rows %d\n",
              label, rows, Ms(toFirst), Ms(total), pages, pages ? Ms(total - toFirst) / pages : 0.0,
              ResidentKiB() - before, failures);
}

bool SeedService(test::KorvexdProcess& korvexd, int items, std::uint64_t& dirId) {
  if (!korvexd.Start({"--seed-demo"})) return false;
  korvexd.Stop();
  sqlite3* db = nullptr;
  if (sqlite3_open((korvexd.DataDir() / "korvexd.sqlite").c_str(), &db) != SQLITE_OK) return false;
  auto exec = [db](const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); };
  exec("BEGIN");
  exec("INSERT INTO dirs(owner, parent, name, created) SELECT id, root_dir, 'Many', 0 FROM users "
       "WHERE name='alice'");
  dirId = static_cast<std::uint64_t>(sqlite3_last_insert_rowid(db));
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO files(dir, owner, name, size, mtime, ctime, state, sec, md5, blob) "
                     "SELECT ?, id, ?, 1, 1700000000, 1700000000, 0, 0, '', '' FROM users WHERE name='alice'",
                     -1, &insert, nullptr);
  char name[32];
  for (int i = 0; i < items; ++i) {
    std::snprintf(name, sizeof name, "file%06d.txt", i);
    sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(dirId));
    sqlite3_bind_text(insert, 2, name, -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  const bool ok = exec("COMMIT") == SQLITE_OK;
  sqlite3_close(db);
  return ok && korvexd.Start();
}

void BenchService(int items) {
  test::KorvexdProcess korvexd(KorvexdProgram());
  std::uint64_t dirId = 0;
  if (!SeedService(korvexd, items, dirId)) {
    std::printf("service: cannot seed korvexd: %s\n", korvexd.Error().c_str());
    return;
  }
  HttpRequestor login;
  std::string form = "loginname=alice&password=alice-demo-1&domain=demo&macaddr=";
  struct Answer {
    std::string body, auth, session;
  } answer;
  if (Failed(login.Init(korvexd.BaseUrl(), false)) ||
      Failed(login.SendRequest(
          "/2nddomain/loginnorandom", "POST", "Content-Type: application/x-www-form-urlencoded", form.data(),
          form.size(),
          [](HRESULT, const std::string& body, const std::deque<std::string>& cookies, const HttpHeaderMap&,
             void* user) {
            *static_cast<Answer*>(user) = {body, SetCookieValue(cookies, "AUTH_PRO"),
                                           SetCookieValue(cookies, "PHPSESSID")};
          },
          &answer, 0))) {
    std::printf("service: login failed\n");
    return;
  }
  KorvexDataStoreRemote service(korvexd.BaseUrl(), korvexd.BaseUrl(), answer.auth, answer.session, "alice");
  DataStore store(std::make_unique<KorvexDataStoreMyDisk>(&service, dirId, 0xFFFF, 0, "Many"),
                  kSortNameAscending);
  // Jump in 40 steps rather than scroll row by row: a korvexd that reads the
  // whole folder for every page would take most of an hour otherwise, and the
  // figures stay comparable across builds.
  Scroll("korvexd (loopback)", store, store.RootInfo(), false, std::max(31, items / 40));
}

std::string SetCookie(const httplib::Result& res, const std::string& name) {
  if (!res) return {};
  for (auto [it, end] = res->headers.equal_range("Set-Cookie"); it != end; ++it) {
    if (it->second.rfind(name + "=", 0) == 0) return it->second.substr(name.size() + 1, it->second.find(';') - name.size() - 1);
  }
  return {};
}

// korvexd's CPU milliseconds per upload into a folder that holds `items`
// files; negative when an upload failed.
double UploadCost(int items, int uploads) {
  test::KorvexdProcess korvexd(KorvexdProgram());
  std::uint64_t dirId = 0;
  if (!SeedService(korvexd, items, dirId)) return -1;
  httplib::Client http(korvexd.BaseUrl());
  http.set_keep_alive(true);
  const std::string auth = SetCookie(http.Post("/2nddomain/loginnorandom",
                                               "loginname=alice&password=alice-demo-1&domain=demo&macaddr=",
                                               "application/x-www-form-urlencoded"),
                                     "AUTH_PRO");
  const httplib::Headers cookie{{"Cookie", "AUTH_PRO=" + auth}};
  const std::string data(4096, 'x');
  const std::string range = "bytes=0-" + std::to_string(data.size());
  const double before = korvexd.CpuSeconds();
  for (int i = 0; i < uploads; ++i) {
    auto prepared = http.Post("/file/preupload", cookie,
                              "dirid=" + std::to_string(dirId) + "&filename=new" + std::to_string(i) +
                                  ".bin&size=4096&over%5Fride=0&lastmodifytime=1700000000&sec=0",
                              "application/x-www-form-urlencoded");
    const std::string token = SetCookie(prepared, "TOKEN");
    if (token.empty()) return -1;
    const std::string idAndExt = prepared->body, id = idAndExt.substr(0, idAndExt.find('.'));
    auto sent = http.Post("/file/uploadblock/" + idAndExt + "/a=" + auth + "&t=" + token + "&random=1",
                          {{"Cookie", "AUTH_PRO=" + auth}, {"range", range}, {"x-korvex-range", range}}, data,
                          "application/octet-stream");
    auto over = http.Get("/file/uploadover/" + id + "/0?product=smb&a=" + auth + "&t=" + token, cookie);
    if (!sent || sent->status != 200 || !over || over->body != "1") return -1;
  }
  return (korvexd.CpuSeconds() - before) * 1000.0 / uploads;
}

void BenchUploadCost() {
  constexpr int kUploads = 400;
  const double small = UploadCost(1000, kUploads);
  const double large = UploadCost(50000, kUploads);
  std::printf("%-22s korvexd cpu %.2f ms per upload into 1,000 files, %.2f ms into 50,000: %.2fx\n",
              "upload cost", small, large, small > 0 ? large / small : 0.0);
}

void BenchLocal(int items) {
  std::string pattern = (fs::temp_directory_path() / "korvex-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return;
  const fs::path folder = pattern;
  for (int i = 0; i < items; ++i) std::ofstream(folder / ("file" + std::to_string(i) + ".txt")) << 'x';
  const Clock::time_point lsStart = Clock::now();
  const std::string command = "cd '" + folder.string() + "' && ls -f | wc -l";
  if (FILE* ls = popen(command.c_str(), "r")) {
    char line[64] = {};
    (void)!std::fgets(line, sizeof line, ls);
    pclose(ls);
    std::printf("%-22s %ld entries in %.1f ms\n", "ls -f | wc -l", std::atol(line), Ms(Clock::now() - lsStart));
  }
  {
    DataStore byName(std::make_unique<ShellFolderDataStoreRemote>("Desktop", folder.string()),
                     kSortNameAscending, true);
    Scroll("local, sorted by name", byName, byName.RootInfo(), true);
    DataStore unsorted(std::make_unique<ShellFolderDataStoreRemote>("Desktop", folder.string()), kSortNone,
                       true);
    Scroll("local, folder order", unsorted, unsorted.RootInfo(), false);
  }
  std::error_code ec;
  fs::remove_all(folder, ec);
}

}  // namespace

int main() {
  const int items = ItemCount();
  std::printf("DataStore scroll of %d items\n", items);
  BenchService(items);
  BenchUploadCost();
  BenchLocal(items);
  return 0;
}
