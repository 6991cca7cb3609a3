//===- tests/foundation/CryptoTestSupport.h - Files and captured logs -*- C++ -*-===//
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/LogMgr.h"
#include "foundation/Logger.h"

namespace korvex::testing {

/// Keeps every line the log manager delivers.
class CaptureLogger : public Logger {
 public:
  CaptureLogger() : Logger(kLogTrace) {}
  void WriteLine(std::string_view line) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
  }
  bool Contains(std::string_view text) {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  std::string All() {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& l : lines_) text += l + "\n";
    return text;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

/// A fresh folder per test and a logger capturing warnings and above.
class CryptoFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("korvex_crypto_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    LogMgr::Get().Reset();
    log_ = new CaptureLogger;
    log_->AddRef();
    LogMgr::Get().AddLogger(log_);
    LogMgr::Get().SetThreshold(kLogWarn);
  }
  void TearDown() override {
    LogMgr::Get().Reset();
    log_->Release();
    std::filesystem::remove_all(dir_);
  }

  static void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
  }
  static std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  /// Names of everything in the test folder, to prove nothing was left over.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path dir_;
  CaptureLogger* log_ = nullptr;
};

}  // namespace korvex::testing
