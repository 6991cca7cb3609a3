// korvex run as a child process against korvexd in a temporary KORVEX_HOME:
// logins and the kept session, every file command with its effect on the
// service's tree, listings, shares and refusals.

#include "KorvexRun.h"
#include "support/KorvexdProcess.h"
#include "support/ServiceTree.h"
#include "support/TempHome.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <set>
#include <thread>

namespace korvex::test {
namespace {

using korvex::testing::ReadText;
using korvex::testing::ScopedEnv;
using korvex::testing::WriteText;
using Json = nlohmann::json;

struct Expect {
  std::vector<std::string> args;
  int exitCode;
  std::string inOut;  ///< must appear on standard output
  std::string inErr;  ///< must appear on standard error
};

class KorvexService : public korvex::testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    for (const char* name : {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL"})
      env_.push_back(std::make_unique<ScopedEnv>(name, korvexd_.BaseUrl().c_str()));
  }

  void LogIn(const std::string& name = "alice", const std::string& password = "alice-demo-1") {
    const KorvexRun run =
        RunKorvex({"login", name, "--domain", "demo", "--password-stdin", "--remember-password"}, password + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }

  static void Check(const std::vector<Expect>& steps) {
    for (const Expect& step : steps) {
      SCOPED_TRACE(::testing::PrintToString(step.args));
      const KorvexRun run = RunKorvex(step.args);
      EXPECT_EQ(run.exitCode, step.exitCode) << run.err;
      EXPECT_NE(run.out.find(step.inOut), std::string::npos) << run.out;
      EXPECT_NE(run.err.find(step.inErr), std::string::npos) << run.err;
    }
  }

  // The user's tree as the service holds it: "/dir/" and "/dir/file" paths.
  std::set<std::string> Tree(const std::string& user = "alice") {
    return korvex::testing::ServiceTree(korvexd_.BaseUrl(), user);
  }

  std::filesystem::path SessionFile() const { return Home() / "data" / "KorvexDataSMB" / "korvex-session"; }

  KorvexdProcess korvexd_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

std::vector<std::string> Names(const std::string& jsonText) {
  std::vector<std::string> names;
  for (const Json& entry : Json::parse(jsonText)) names.push_back(entry["name"]);
  return names;
}

TEST_F(KorvexService, LoginsKeepRenewAndEndTheSession) {
  Check({
      {{"ls"}, 1, "", "korvex login"},
      {{"login", "alice", "--password-stdin"}, 1, "", "enterprise domain is required"},
      {{"login", "alice", "--domain", "https://demo", "--password-stdin"}, 1, "", "https://"},
      {{"login", "--code", "NOSUCHCODE"}, 1, "", "korvex: "},
      {{"login", "alice", "--code", "DEMO2026"}, 2, "", "either NAME or --code"},
  });
  KorvexRun run = RunKorvex({"login", "alice", "--domain", "demo", "--password-stdin"}, "wrong-password\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("(0x800704B3)"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(SessionFile()));

  // Nothing secret reaches the verbose log on standard error.
  run = RunKorvex({"-v", "login", "alice", "--domain", "demo", "--password-stdin", "--remember-password"},
                  "alice-demo-1\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("alice@demo"), std::string::npos) << run.out;
  EXPECT_EQ(run.err.find("alice-demo-1"), std::string::npos);
  struct stat info {};
  ASSERT_EQ(::stat(SessionFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::string session = ReadText(SessionFile());
  const std::string cookie = std::regex_replace(session, std::regex("(^|[^]*\n)AUTH_PRO=([^\n]*)[^]*"), "$2");
  ASSERT_FALSE(cookie.empty());
  EXPECT_EQ(run.err.find(cookie), std::string::npos);

  Check({
      {{"whoami", "--json"}, 0, "\"account\":\"alice@demo\"", ""},
      {{"accounts", "--json"}, 0, "{\"name\":\"alice\",\"domain\":\"demo\",\"passwordSaved\":true}", ""},
      {{"ls"}, 0, "readme.txt", ""},
  });

  // The service forgot the session: the saved password logs in again once.
  WriteText(SessionFile(), std::regex_replace(session, std::regex(cookie), "forgotten"));
  Check({{{"ls"}, 0, "readme.txt", ""}});
  EXPECT_EQ(ReadText(SessionFile()).find("forgotten"), std::string::npos);
  // Without a saved password the user is sent to `korvex login`.
  WriteText(SessionFile(), std::regex_replace(ReadText(SessionFile()), std::regex("AUTH_PRO=[^\n]*"), "AUTH_PRO=x"));
  Check({
      {{"accounts", "forget", "alice"}, 0, "", ""},
      {{"accounts", "forget", "alice"}, 1, "", "alice"},
      {{"ls"}, 1, "", "run `korvex login`"},
      {{"logout"}, 0, "", ""},
      {{"whoami"}, 1, "", "korvex login"},
      // An access code reaches its upload folder and nothing else.
      {{"login", "--code", "DEMO2026"}, 0, "upload:/", ""},
      {{"ls", "upload:/", "--json"}, 0, "[]", ""},
      {{"ls", "upload:/"}, 0, "", "upload:/: an access-code login cannot see the folder's files"},
      {{"ls", "/"}, 1, "", "/: an access-code login can only upload into its folder (0x80070005)"},
      {{"mkdir", "upload:/x"}, 1, "", "upload:/x: an access-code login can only upload files, not create folders"},
      {{"space"}, 1, "", "(0x80070005)"},
  });
}

TEST_F(KorvexService, FileCommandsChangeTheServiceTree) {
  ASSERT_NO_FATAL_FAILURE(LogIn());
  std::set<std::string> expected = Tree();
  Check({
      {{"mkdir", "/Work"}, 0, "", ""},
      {{"mkdir", "/Work"}, 1, "", "(0x80070050)"},
      {{"mkdir", "/Missing/Deeper"}, 1, "", "/Missing: no such file or folder (0x80070002)"},
      {{"cp", "/readme.txt", "/Work"}, 0, "", ""},
      {{"cp", "/readme.txt", "/Work"}, 1, "", "(0x80070050)"},
      {{"cp", "/readme.txt", "/Work", "--overwrite"}, 0, "", ""},
      {{"cp", "/Photos", "/Work"}, 1, "", "only files can be copied"},
      {{"mv", "/Documents/notes.md", "/Photos", "/Work"}, 0, "", ""},
      {{"mv", "/Work", "/Work/Photos"}, 1, "", "korvex: "},
      {{"rename", "/Work/notes.md", "notes-2026.md"}, 0, "", ""},
      {{"rename", "/Work/Photos", "Pictures"}, 0, "", ""},
      {{"rename", "/Work", "a/b"}, 2, "", "\"/\""},
      {{"rm", "/Work/readme.txt", "/Projects"}, 0, "", ""},
      {{"rm", "/Projects"}, 1, "", "no such file or folder"},
      {{"rm", "/"}, 2, "", "root"},
      {{"ls", "bogus:/x"}, 2, "", "unknown location"},
      {{"ls", "/a/../b"}, 2, "", "'..'"},
      {{"ls", "--sort", "random"}, 2, "", "--sort"},
  });
  for (const char* gone : {"/Documents/notes.md", "/Photos/", "/Photos/sunset.jpg", "/Projects/", "/Projects/2026/",
                           "/Projects/2026/plan.txt"})
    expected.erase(gone);
  expected.insert({"/Work/", "/Work/notes-2026.md", "/Work/Pictures/", "/Work/Pictures/sunset.jpg"});
  EXPECT_EQ(Tree(), expected);
}

TEST_F(KorvexService, ListsInEveryOrderWithSharesAndSpace) {
  ASSERT_NO_FATAL_FAILURE(LogIn());
  ASSERT_EQ(RunKorvex({"cp", "/readme.txt", "/Documents"}).exitCode, 0);
  const std::pair<const char*, std::vector<std::string>> orders[] = {
      {"name", {"notes.md", "readme.txt", "report.pdf"}},  {"name-desc", {"report.pdf", "readme.txt", "notes.md"}},
      {"size", {"readme.txt", "notes.md", "report.pdf"}},  {"size-desc", {"report.pdf", "notes.md", "readme.txt"}},
      {"type", {"notes.md", "report.pdf", "readme.txt"}},  {"type-desc", {"readme.txt", "report.pdf", "notes.md"}},
  };
  for (const auto& [order, names] : orders) {
    SCOPED_TRACE(order);
    const KorvexRun run = RunKorvex({"ls", "/Documents", "--sort", order, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Names(run.out), names);
  }

  KorvexRun run = RunKorvex({"ls", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Json root = Json::parse(run.out);
  ASSERT_EQ(root.size(), 5u) << run.out;
  EXPECT_EQ(root[0]["name"], "Documents");
  EXPECT_EQ(root[0]["type"], "dir");
  EXPECT_EQ(root[0]["privilege"], 65535);
  EXPECT_EQ(root[4]["name"], "readme.txt");
  EXPECT_EQ(root[4]["type"], "file");
  EXPECT_EQ(root[4]["size"], 30);
  EXPECT_EQ(root[4]["locked"], false);
  EXPECT_TRUE(std::regex_match(root[4]["modified"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
  EXPECT_GT(root[4]["id"].get<std::uint64_t>(), 0u);

  run = RunKorvex({"ls", "shares:/", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Json shares = Json::parse(run.out);
  ASSERT_EQ(shares.size(), 1u) << run.out;
  EXPECT_EQ(shares[0]["name"], "Team Share");
  EXPECT_EQ(shares[0]["owner"], "bob");
  EXPECT_EQ(shares[0]["privilege"], 0x8E0);
  Check({
      {{"ls", "shares:/"}, 0, "Team Share(Upload/Download)/", ""},
      {{"--lang", "zh", "ls", "shares:/"}, 0, "Team Share(上传/下载)/", ""},
      {{"ls", "shares:/Team Share"}, 0, "budget.csv", ""},
      {{"rm", "shares:/Team Share/kickoff.txt"}, 1, "", "No permission to access this directory (0x800707D5)"},
      {{"mkdir", "shares:/new"}, 1, "", "shares:/ holds the folders others share with you; create the folder inside"},
      {{"ls", "backup:/Documents"}, 0, "notes.md", ""},
      {{"ls", "/readme.txt"}, 0, "30 B", ""},
      {{"space"}, 0, "of 10.0 GiB used", ""},
      {{"space", "--json"}, 0, "\"total\":10737418240", ""},
  });
  EXPECT_EQ(Tree("bob").count("/Team Share/kickoff.txt"), 1u);
}

TEST_F(KorvexService, ConcurrentMkdirLeavesOneFolder) {
  ASSERT_NO_FATAL_FAILURE(LogIn());
  for (const std::string name : {"/Race1", "/Race2", "/Race3"}) {
    SCOPED_TRACE(name);
    KorvexChild first, second;
    ASSERT_TRUE(first.Start({"mkdir", name}, ""));
    ASSERT_TRUE(second.Start({"mkdir", name}, ""));
    for (const KorvexRun& run : {first.Finish(), second.Finish()}) {
      // The loser of the race either finds the folder or is told it exists.
      EXPECT_TRUE(run.exitCode == 0 || (run.exitCode == 1 && run.err.find("(0x80070050)") != std::string::npos))
          << run.exitCode << " " << run.err;
    }
    const std::set<std::string> tree = Tree();
    EXPECT_EQ(tree.count(name + "/"), 1u);
  }
}

TEST_F(KorvexService, ALoginThatCannotBeTrustedOrReadIsNotCalledAWrongPassword) {
  // A service whose certificate nobody vouches for.
  const std::string dir = (Home() / "tls").string();
  std::filesystem::create_directories(dir);
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout " + dir +
                           "/key.pem -out " + dir + "/cert.pem > /dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << "openssl could not make a test certificate";
  KorvexdProcess untrusted;
  ASSERT_TRUE(untrusted.Start({"--seed-demo", "--tls-cert", dir + "/cert.pem", "--tls-key", dir + "/key.pem"}))
      << untrusted.Error();
  // A service that answers the login with something that is not its answer.
  httplib::Server garbled;
  garbled.Post("/2nddomain/loginnorandom", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<html>Sign in to the Wi-Fi</html>", "text/html");
  });
  const int port = garbled.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&garbled] { garbled.listen_after_bind(); });
  const std::string garbledUrl = "http://127.0.0.1:" + std::to_string(port);
  struct Case {
    std::string url;
    const char* inErr;
  };
  for (const Case& c : {Case{untrusted.BaseUrl(), "its certificate cannot be verified"},
                        Case{garbledUrl, "The service's answer to the login cannot be read"}}) {
    SCOPED_TRACE(c.url);
    const KorvexRun run = RunKorvex({"--web-url", c.url, "--api-url", c.url, "--data-url", c.url, "login", "alice",
                                     "--domain", "demo", "--password-stdin"},
                                    "alice-demo-1\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(c.inErr), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("password"), std::string::npos) << run.err;
  }
  // Once logged in, the other commands say the same of the certificate.
  ASSERT_NO_FATAL_FAILURE(LogIn());
  const std::string url = untrusted.BaseUrl();
  const KorvexRun run = RunKorvex({"--api-url", url, "--data-url", url, "ls"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("its certificate cannot be verified"), std::string::npos) << run.err;
  garbled.stop();
  serving.join();
}

}  // namespace
}  // namespace korvex::test
