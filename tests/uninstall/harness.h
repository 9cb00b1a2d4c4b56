// One test environment for the tool's logic: a FakePlatform installed as the
// process-wide platform, the agent's registry key pointing the real log
// writer at a fresh temporary folder, and the run state at its start-up
// values. The log's lines are read back with their prefixes removed, as
// "[TAG] message" (the message keeps its own line end, or has none).
#ifndef HV_TESTS_UNINSTALL_HARNESS_H
#define HV_TESTS_UNINSTALL_HARNESS_H

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace hv::test {

// Physical registry paths of the uninstall key in the two views, and the path
// the tool lists (and logs) for an entry, whatever its view.
extern const char* const kUninstall64;  // SOFTWARE\Microsoft\...\Uninstall\ .
extern const char* const kUninstall32;  // SOFTWARE\WOW6432Node\Microsoft\...\Uninstall\ .
std::string Listed(const std::string& entryName);

class Harness {
 public:
  enum class Logging {
    kStarted,  // InitAgentLogging now, ShutdownAgentLogging at the end
    kByRun,    // the code under test sets logging up and shuts it down
  };
  explicit Harness(Logging logging = Logging::kStarted);
  ~Harness();
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  FakePlatform fake;

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path LogPath() const;
  std::string LogText() const;
  // The messages of the log, banners included.
  std::vector<std::string> Entries() const;
  // The messages from the first one equal to `first` on.
  std::vector<std::string> EntriesFrom(const std::string& first) const;
  int Count(const std::string& entry) const;
  bool Has(const std::string& entry) const { return Count(entry) > 0; }
  // `expected` occurs in the log in this order (other lines may lie between).
  bool HasInOrder(const std::vector<std::string>& expected) const;

  // An uninstall entry: DisplayName and, when not empty, UninstallString.
  void AddEntry(const std::string& root, const std::string& name, const std::string& displayName,
                const std::string& uninstallString = "");
  // Number of registry opens of `path` (requested path, exactly).
  int Opens(const std::string& path) const;

 private:
  std::filesystem::path folder_;
  FakePlatformScope scope_;
  bool loggingStarted_ = false;
};

// Owns a C-style argument vector built from texts (argv[0] is the program).
class Args {
 public:
  explicit Args(std::vector<std::string> args);
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> storage_;
  std::vector<char*> pointers_;
};

}  // namespace hv::test

#endif  // HV_TESTS_UNINSTALL_HARNESS_H
