// A fresh KORVEX_HOME per test, so that hives, autostart entries, logs and
// data files never touch the real ones; removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "foundation/LogMgr.h"
#include "foundation/Logger.h"

namespace korvex::testing {

/// Keeps every line the log manager delivers (under the logger's own lock).
class CaptureLogger : public Logger {
 public:
  CaptureLogger() : Logger(kLogTrace) {}
  void WriteLine(std::string_view line) override { lines_.emplace_back(line); }
  bool Contains(std::string_view text) const { return All().find(text) != std::string::npos; }
  std::string All() const;

 private:
  std::vector<std::string> lines_;
};

/// Sets or clears one environment variable and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class TempHomeTest : public ::testing::Test {
 protected:
  /// Also routes warnings and above of the shared log manager into log_.
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& Home() const { return home_; }
  std::filesystem::path UserHive() const { return home_ / "config" / "KorvexDataSMB" / "HKCU.reg"; }
  std::filesystem::path MachineHive() const { return home_ / "etc" / "KorvexDataSMB" / "HKLM.reg"; }
  /// Sorted names in the home folder, to prove nothing was left behind.
  std::vector<std::string> Listing() const;

  CaptureLogger* log_ = nullptr;

 private:
  std::filesystem::path home_;
  std::optional<std::string> previous_;
};

/// Whole content of a file; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);
/// Creates the folders above `path` and writes `text`; fails the test if it cannot.
void WriteText(const std::filesystem::path& path, const std::string& text);

}  // namespace korvex::testing
