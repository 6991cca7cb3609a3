// Saved accounts over both credential back ends, and the choices of the
// login dialog's start that follow from them.
#include "net/SavedAccounts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "foundation/Registry.h"
#include "support/TempHome.h"

namespace korvex {
namespace {

class SavedAccountsTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    store_ = CredentialStore::OpenFile(Folder());
  }
  std::filesystem::path Folder() const { return Home() / "config" / "KorvexDataSMB"; }

  /// Saves, loads back and deletes accounts on `store`: the behaviour both
  /// back ends must share.
  static void ExpectRoundTrips(CredentialStore& store) {
    struct Case {
      const char* name;
      const char* password;
      bool rememberPassword;
      const char* expectedPassword;
    };
    const Case cases[] = {
        {"alice", "alice-demo-1", true, "alice-demo-1"},
        {"bob", "bob-demo-1", false, ""},
        {"carol", "se;cr;et", true, "se;cr;et"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const LoginInput input{LoginMode::Account, c.name, c.password, "demo", ""};
      ASSERT_EQ(SaveCredentials(store, input, {true, c.rememberPassword, false}), S_OK);
      SavedAccount account{"typed", "typed", true};
      ASSERT_EQ(LoadCredentials(store, c.name, account), S_OK);
      EXPECT_EQ(account.password, c.expectedPassword);
      EXPECT_EQ(account.domain, "demo");
      EXPECT_EQ(account.rememberPassword, c.rememberPassword);
    }
    EXPECT_EQ(ListSavedAccounts(store), (std::vector<std::string>{"alice", "bob", "carol"}));
    Credential raw;
    ASSERT_EQ(store.Read("KorvexDataSMBbob", raw), S_OK);
    EXPECT_EQ(raw.secret, "PSW:;DOM:demo");
    EXPECT_EQ(raw.comment, "CredStringMap");

    // Remember account off forgets the name at the next login.
    ASSERT_EQ(SaveCredentials(store, {LoginMode::Account, "bob", "x", "demo", ""}, {false, false, false}),
              S_OK);
    EXPECT_EQ(DeleteCredentials(store, "carol"), S_OK);
    EXPECT_EQ(DeleteCredentials(store, "carol"), HR_FILE_NOT_FOUND);
    EXPECT_EQ(ListSavedAccounts(store), std::vector<std::string>{"alice"});
    EXPECT_EQ(DeleteCredentials(store, "alice"), S_OK);
  }

  std::unique_ptr<CredentialStore> store_;
};

TEST_F(SavedAccountsTest, FileStoreRoundTripsAndKeepsItsFilesPrivate) {
  ExpectRoundTrips(*store_);
  for (const char* name : {"credentials", "credentials.key"}) {
    struct stat info {};
    ASSERT_EQ(::stat((Folder() / name).c_str(), &info), 0) << name;
    EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
  }
  EXPECT_EQ(testing::ReadText(Folder() / "credentials").find("demo"), std::string::npos)
      << "the domain is sealed with the password";
}

TEST_F(SavedAccountsTest, BlobThatDoesNotUnsealLeavesTheFieldsAndLogsNoSecret) {
  ASSERT_EQ(SaveCredentials(*store_, {LoginMode::Account, "alice", "pw-1234", "demo", ""}, {true, true, false}),
            S_OK);
  // Another machine's key, as after copying only the credentials file.
  testing::WriteText(Folder() / "credentials.key", std::string(32, 'k'));
  SavedAccount account{"typed", "typed-domain", false};
  EXPECT_EQ(LoadCredentials(*store_, "alice", account), HR_DECRYPT_FAILED);
  EXPECT_EQ(account.password, "typed");
  EXPECT_EQ(account.domain, "typed-domain");
  EXPECT_TRUE(log_->Contains("KorvexDataSMBalice cannot be unsealed")) << log_->All();
  EXPECT_FALSE(log_->Contains("pw-1234"));
}

TEST_F(SavedAccountsTest, AutomaticLoginFiresOnlyOnTheFirstWindow) {
  EXPECT_TRUE(StartLoginDialog(*store_, false).savedNames.empty());
  ASSERT_EQ(SaveCredentials(*store_, {LoginMode::Account, "bob", "bob-pw", "demo", ""}, {true, true, true}), S_OK);
  ASSERT_EQ(SaveCredentials(*store_, {LoginMode::Account, "alice", "a-pw", "demo", ""}, {true, true, false}),
            S_OK);
  // The last login switched automatic login off again.
  EXPECT_FALSE(StartLoginDialog(*store_, false).loginNow);
  EXPECT_EQ(StartLoginDialog(*store_, false).selectedName, "alice");

  ASSERT_EQ(SaveCredentials(*store_, {LoginMode::Account, "bob", "bob-pw", "demo", ""}, {true, true, true}), S_OK);
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "LastLoginUser", "alice"));
  const LoginDialogStart first = StartLoginDialog(*store_, false);
  EXPECT_TRUE(first.loginNow);
  EXPECT_TRUE(first.automaticLoginChecked);
  EXPECT_EQ(first.selectedName, "bob");
  EXPECT_EQ(first.selected.password, "bob-pw");

  const LoginDialogStart again = StartLoginDialog(*store_, true);
  EXPECT_FALSE(again.loginNow) << "after a logout the user chooses";
  EXPECT_TRUE(again.automaticLoginChecked);
  EXPECT_EQ(again.selectedName, "alice");
  EXPECT_EQ(again.selected.password, "a-pw");
}

// Needs a session bus with an unlocked keyring: ctest runs it once more under
// dbus-run-session with gnome-keyring-daemon (tests/net/run-with-keyring.sh).
TEST_F(SavedAccountsTest, SecretServiceRoundTrips) {
  std::unique_ptr<CredentialStore> keyring = CredentialStore::OpenSecretService();
  if (!keyring) {
    // Under the runner a keyring was started, so its absence is a fault.
    ASSERT_EQ(std::getenv("KORVEX_REQUIRE_KEYRING"), nullptr) << "the keyring did not answer";
    GTEST_SKIP() << "no unlocked Secret Service keyring on the session bus";
  }
  EXPECT_EQ(keyring->BackendName(), "Secret Service");
  ExpectRoundTrips(*keyring);
}

}  // namespace
}  // namespace korvex
