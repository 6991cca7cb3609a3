#include "foundation/Deployment.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempHome.h"
#include "foundation/Registry.h"

namespace korvex {
namespace {

class Deployment : public testing::TempHomeTest {
 protected:
  testing::ScopedEnv env_[4] = {{"KORVEX_WEB_URL", nullptr},
                                {"KORVEX_API_URL", nullptr},
                                {"KORVEX_DATA_URL", nullptr},
                                {"KORVEX_SERVICE_DOMAIN", nullptr}};
};

TEST_F(Deployment, EachLayerOverridesTheOneBelowButEmptyValuesDoNot) {
  testing::WriteText(MachineHive(),
                     "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvexDataSMB]\n"
                     "\"WebSiteUrl\"=\"https://m.example\"\n\"ApiUrl\"=\"https://m.example\"\n"
                     "\"DataUrl\"=\"https://m.example\"\n\"ServiceDomain\"=\"machine.example\"\n");
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "WebSiteUrl", ""));
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "ApiUrl", "https://u.example"));
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "DataUrl", "https://u.example"));
  ::setenv("KORVEX_WEB_URL", "", 1);
  ::setenv("KORVEX_DATA_URL", "https://env.example:8443/data", 1);
  ::setenv("KORVEX_SERVICE_DOMAIN", "env.example", 1);
  DeploymentOverrides flags;
  flags.webUrl = "";
  flags.serviceDomain = "flag.example";

  DeploymentValues v;
  ASSERT_EQ(LoadDeployment(flags, v), S_OK);
  EXPECT_EQ(v.webUrl, "https://m.example") << "empty values above HKLM hide nothing";
  EXPECT_EQ(v.apiUrl, "https://u.example") << "HKCU over HKLM";
  EXPECT_EQ(v.dataUrl, "https://env.example:8443/data") << "environment over HKCU";
  EXPECT_EQ(v.serviceDomain, "flag.example") << "flag over environment";
}

TEST_F(Deployment, BadValuesAreRefusedNamingTheirSource) {
  struct Case { const char *env, *value, *message; };
  const Case cases[] = {
      {"KORVEX_WEB_URL", "ftp://x", "KORVEX_WEB_URL: not an http or https URL: \"ftp://x\""},
      {"KORVEX_API_URL", "http://", "KORVEX_API_URL: not an http or https URL"},
      {"KORVEX_API_URL", "https:///x", "KORVEX_API_URL: not an http or https URL"},
      {"KORVEX_API_URL", "http://:80", "KORVEX_API_URL: not an http or https URL"},
      {"KORVEX_DATA_URL", "http://a b", "KORVEX_DATA_URL: not an http or https URL"},
      {"KORVEX_DATA_URL", "http://x\n", "KORVEX_DATA_URL: not an http or https URL"},
      {"KORVEX_SERVICE_DOMAIN", "bad domain", "KORVEX_SERVICE_DOMAIN: not a domain name"},
      {"KORVEX_SERVICE_DOMAIN", "a..b", "KORVEX_SERVICE_DOMAIN: not a domain name"},
      {"KORVEX_SERVICE_DOMAIN", "-x", "KORVEX_SERVICE_DOMAIN: not a domain name"},
      {"KORVEX_SERVICE_DOMAIN", "\xE4\xB8\xAD", "KORVEX_SERVICE_DOMAIN: not a domain name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    testing::ScopedEnv env(c.env, c.value);
    DeploymentValues v;
    v.webUrl = "untouched";
    std::string error;
    EXPECT_EQ(LoadDeployment({}, v, &error), E_INVALIDARG);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    EXPECT_EQ(v.webUrl, "untouched");
  }
  DeploymentOverrides flags;
  flags.webUrl = "127.0.0.1:8790";
  DeploymentValues v;
  std::string error;
  EXPECT_EQ(LoadDeployment(flags, v, &error), E_INVALIDARG);
  EXPECT_EQ(error.rfind("command line:", 0), 0u) << error;
  EXPECT_TRUE(IsServiceUrl("HTTPS://Api.Example")) << "the scheme ignores case";
}

}  // namespace
}  // namespace korvex
