// A uniquely named folder under the system's temporary folder, removed with
// everything in it when the object goes out of scope. Portable (the same
// header serves the Linux suites and the Windows suite under Wine).
#ifndef HV_TESTS_SUPPORT_TEMP_DIR_H
#define HV_TESTS_SUPPORT_TEMP_DIR_H

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace hv::test {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "hv-test") {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path candidate =
          std::filesystem::temp_directory_path() /
          (prefix + "-" + std::to_string(random()) + "-" + std::to_string(attempt));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        path_ = candidate;
        return;
      }
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when no folder could be made.
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace hv::test

#endif  // HV_TESTS_SUPPORT_TEMP_DIR_H
