// Test helper: opens the process-wide log in a temporary folder for the
// lifetime of a scope, so that a test can check the lines the library writes.
#ifndef HV_TESTS_QUILL_LOG_CAPTURE_H
#define HV_TESTS_QUILL_LOG_CAPTURE_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "logging/log.h"

namespace quill::test {

class LogCapture {
 public:
  explicit LogCapture(uint8_t level = 4) {
    static std::atomic<int> counter{0};
    folder_ = std::filesystem::temp_directory_path() /
              ("quill-test-log-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
               std::to_string(counter++));
    std::filesystem::create_directories(folder_);
    InitLogSettings();
    SetLogSettings("capture.log", folder_.string().c_str(), level);
    OpenNewLogFile();
  }
  ~LogCapture() {
    CloseLogFile();
    FreeLogSettings();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything written so far.
  std::string Text() const {
    if (gv_logFilePtr != nullptr) fflush(gv_logFilePtr);
    std::ifstream in(folder_ / "capture.log", std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  // How often `piece` occurs in the log.
  int Count(std::string_view piece) const {
    std::string text = Text();
    int count = 0;
    for (size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + piece.size())) {
      ++count;
    }
    return count;
  }

  bool Contains(std::string_view piece) const { return Count(piece) > 0; }

 private:
  std::filesystem::path folder_;
};

}  // namespace quill::test

#endif  // HV_TESTS_QUILL_LOG_CAPTURE_H
