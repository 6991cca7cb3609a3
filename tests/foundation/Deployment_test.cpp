#include "foundation/Deployment.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TempHome.h"
#include "foundation/Registry.h"

namespace korvex {
namespace {

using testing::WriteText;

const char* const kEnvNames[] = {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL", "KORVEX_SERVICE_DOMAIN"};

class Deployment : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    for (const char* name : kEnvNames) ::unsetenv(name);
  }
  void TearDown() override {
    for (const char* name : kEnvNames) ::unsetenv(name);
    TempHomeTest::TearDown();
  }
  void WriteMachine(const std::string& values) {
    WriteText(MachineHive(), "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvexDataSMB]\n" + values);
  }
};

TEST_F(Deployment, NothingConfiguredPointsAtTheLocalService) {
  DeploymentValues v;
  v.webUrl = "stale";
  ASSERT_EQ(LoadDeployment({}, v), S_OK);
  EXPECT_EQ(v.webUrl, "http://127.0.0.1:8790");
  EXPECT_EQ(v.apiUrl, "http://127.0.0.1:8790");
  EXPECT_EQ(v.dataUrl, "http://127.0.0.1:8790");
  EXPECT_EQ(v.serviceDomain, "korvexdata.local");
  EXPECT_EQ(v.trustedCaFile, "");
  EXPECT_FALSE(v.insecureSkipCertificateCheck);
}

TEST_F(Deployment, EachLayerOverridesTheOneBelow) {
  WriteMachine("\"WebSiteUrl\"=\"https://m.example\"\n\"ApiUrl\"=\"https://m.example\"\n"
               "\"DataUrl\"=\"https://m.example\"\n\"ServiceDomain\"=\"machine.example\"\n"
               "\"TrustedCAFile\"=\"/etc/m.pem\"\n\"InsecureSkipCertificateCheck\"=dword:00000001\n");
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "ApiUrl", "https://u.example"));
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "DataUrl", "https://u.example"));
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "ServiceDomain", "user.example"));
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "InsecureSkipCertificateCheck", 0));
  ::setenv("KORVEX_DATA_URL", "https://env.example:8443/data", 1);
  ::setenv("KORVEX_SERVICE_DOMAIN", "env.example", 1);
  DeploymentOverrides flags;
  flags.serviceDomain = "flag.example";

  DeploymentValues v;
  ASSERT_EQ(LoadDeployment(flags, v), S_OK);
  EXPECT_EQ(v.webUrl, "https://m.example") << "HKLM only";
  EXPECT_EQ(v.apiUrl, "https://u.example") << "HKCU over HKLM";
  EXPECT_EQ(v.dataUrl, "https://env.example:8443/data") << "environment over HKCU";
  EXPECT_EQ(v.serviceDomain, "flag.example") << "flag over environment";
  EXPECT_EQ(v.trustedCaFile, "/etc/m.pem");
  EXPECT_FALSE(v.insecureSkipCertificateCheck) << "HKCU 0 switches the HKLM setting off";

  flags.insecureSkipCertificateCheck = true;
  flags.trustedCaFile = "/tmp/test-ca.pem";
  ASSERT_EQ(LoadDeployment(flags, v), S_OK);
  EXPECT_TRUE(v.insecureSkipCertificateCheck);
  EXPECT_EQ(v.trustedCaFile, "/tmp/test-ca.pem");
}

TEST_F(Deployment, EmptyValuesDoNotHideLowerLayers) {
  WriteMachine("\"ApiUrl\"=\"https://m.example\"\n");
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "ApiUrl", ""));
  ::setenv("KORVEX_API_URL", "", 1);
  DeploymentOverrides flags;
  flags.apiUrl = "";
  DeploymentValues v;
  ASSERT_EQ(LoadDeployment(flags, v), S_OK);
  EXPECT_EQ(v.apiUrl, "https://m.example");
}

TEST_F(Deployment, BadValuesAreRefusedNamingTheirSource) {
  struct Case {
    const char* env;
    const char* value;
    const char* message;
  };
  const Case cases[] = {
      {"KORVEX_WEB_URL", "ftp://x", "KORVEX_WEB_URL: not an http or https URL: \"ftp://x\""},
      {"KORVEX_API_URL", "http://", "KORVEX_API_URL: not an http or https URL"},
      {"KORVEX_DATA_URL", "http://a b", "KORVEX_DATA_URL: not an http or https URL"},
      {"KORVEX_SERVICE_DOMAIN", "bad domain", "KORVEX_SERVICE_DOMAIN: not a domain name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.env);
    ::setenv(c.env, c.value, 1);
    DeploymentValues v;
    v.webUrl = "untouched";
    std::string error;
    EXPECT_EQ(LoadDeployment({}, v, &error), E_INVALIDARG);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    EXPECT_EQ(v.webUrl, "untouched");
    ::unsetenv(c.env);
  }
  DeploymentOverrides flags;
  flags.webUrl = "127.0.0.1:8790";
  DeploymentValues v;
  std::string error;
  EXPECT_EQ(LoadDeployment(flags, v, &error), E_INVALIDARG);
  EXPECT_EQ(error.rfind("command line:", 0), 0u) << error;
}

TEST_F(Deployment, RecognisesUrlsAndDomains) {
  EXPECT_TRUE(IsServiceUrl("https://api.korvexdata.com/v1"));
  EXPECT_TRUE(IsServiceUrl("HTTPS://Api.Example"));
  for (const char* bad : {"https:///x", "http://:80", "httpx://a", "http://x\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsServiceUrl(bad));
  }
  EXPECT_TRUE(IsDomainName("demo"));
  for (const char* bad : {"", ".x", "-x", "a..b", "a/b", "\xE4\xB8\xAD"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsDomainName(bad));
  }
}

}  // namespace
}  // namespace korvex
