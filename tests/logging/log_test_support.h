// Helpers for suites that check what the log writer wrote: a temporary folder
// removed at the end of the test, file reading, and a fixture that opens a
// real log file in such a folder under a FakePlatform and resets the
// process-wide log settings afterwards.
#ifndef HV_TESTS_LOGGING_LOG_TEST_SUPPORT_H
#define HV_TESTS_LOGGING_LOG_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "logging/log.h"
#include "tests/support/fake_platform.h"

namespace hv::test {

// The prefix every line gets from the FakePlatform's clock and thread id.
inline constexpr char kInfoPrefix[] = "[ 2024-03-07 09:05:02:047 ] [ 4120 ] [INFO] ";
inline constexpr char kErrorPrefix[] = "[ 2024-03-07 09:05:02:047 ] [ 4120 ] [ERROR] ";
inline constexpr char kDebugPrefix[] = "[ 2024-03-07 09:05:02:047 ] [ 4120 ] [DEBUG] ";
inline constexpr char kTracePrefix[] = "[ 2024-03-07 09:05:02:047 ] [ 4120 ] [TRACE] ";
inline constexpr char kOpenBanner[] =
    "[ 2024-03-07 09:05:02:047 ] [ 4120 ] [INFO] Log open time: 2024-03-07 09:05:02:047\n";
inline constexpr char kCloseBanner[] =
    "[ 2024-03-07 09:05:02:047 ] [ 4120 ] [INFO] Log close time: 2024-03-07 09:05:02:047\n";

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? info->name() : "test";
    for (char& c : name)
      if (c == '/') c = '_';
    path_ = std::filesystem::temp_directory_path() /
            ("hvtest-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++) +
             "-" + name);
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// Puts the process-wide log writer back to its start state.
inline void ResetLogWriter() {
  CloseLogFile();
  FreeLogSettings();
  SetLogLevel(0);
  SetLogRootFolder(nullptr);
}

// A FakePlatform installed for the test and a log "test.log" open in a
// temporary folder at the given level.
class LoggedTest : public testing::Test {
 protected:
  FakePlatform fake;
  FakePlatformScope scope{&fake};
  TempDir dir;

  void SetUp() override { ResetLogWriter(); }
  void TearDown() override { ResetLogWriter(); }

  void OpenLog(uint8_t level) {
    ASSERT_TRUE(InitLogSettings());
    ASSERT_TRUE(SetLogSettings("test.log", dir.str().c_str(), level));
    ASSERT_TRUE(OpenLogFile());
  }
  std::filesystem::path LogPath() const { return dir.path() / "test.log"; }
  // Everything written after the open banner.
  std::string Logged() const {
    std::string text = ReadFile(LogPath());
    std::string banner = kOpenBanner;
    if (text.compare(0, banner.size(), banner) == 0) text.erase(0, banner.size());
    return text;
  }
  static std::string Info(const std::string& message) { return kInfoPrefix + message; }
  static std::string Error(const std::string& message) { return kErrorPrefix + message; }
  static std::string Debug(const std::string& message) { return kDebugPrefix + message; }
  static std::string Trace(const std::string& message) { return kTracePrefix + message; }
};

// True when `text` contains `part`; reads well in EXPECT_PRED2.
inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace hv::test

#endif  // HV_TESTS_LOGGING_LOG_TEST_SUPPORT_H
