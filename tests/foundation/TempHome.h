// A fresh KORVEX_HOME per test, so that hives, autostart entries and data
// folders never touch the real ones; removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace korvex::testing {

class TempHomeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& Home() const { return home_; }
  std::filesystem::path UserHive() const { return home_ / "config" / "KorvexDataSMB" / "HKCU.reg"; }
  std::filesystem::path MachineHive() const { return home_ / "etc" / "KorvexDataSMB" / "HKLM.reg"; }

 private:
  std::filesystem::path home_;
  std::optional<std::string> previous_;
};

/// Whole content of a file; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);
/// Creates the folders above `path` and writes `text`; fails the test if it cannot.
void WriteText(const std::filesystem::path& path, const std::string& text);

}  // namespace korvex::testing
