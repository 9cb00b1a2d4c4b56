#include "tests/uninstall/harness.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "agent/agent_log.h"
#include "uninstall/run.h"
#include "uninstall/uninstall_key.h"

namespace hv::test {

namespace fs = std::filesystem;

const char* const kUninstall64 = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char* const kUninstall32 =
    "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Listed(const std::string& entryName) {
  return kUninstallKeyPath + entryName;
}

namespace {

const char* const kAgentKey = "SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent";

fs::path NewFolder() {
  static int counter = 0;
  fs::path folder = fs::temp_directory_path() / ("hv-uninstall-test-" + std::to_string(getpid()) +
                                                 "-" + std::to_string(++counter));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

}  // namespace

Harness::Harness(Logging logging) : folder_(NewFolder()), scope_(&fake) {
  ResetRunState();
  fake.SetString(kAgentKey, "HVAgentInstallDir", folder_.string() + "/");
  fake.SetDword(kAgentKey, "HVAgentLogLevel", 4);
  fake.AddKey(kUninstall64);
  fake.AddKey(kUninstall32);
  if (logging == Logging::kStarted) {
    InitAgentLogging("hvprereqhandler.log");
    loggingStarted_ = true;
  }
}

Harness::~Harness() {
  if (loggingStarted_) ShutdownAgentLogging();
  ResetRunState();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

fs::path Harness::LogPath() const {
  return folder_ / "logs" / "hvprereqhandler.log";
}

std::string Harness::LogText() const {
  std::ifstream in(LogPath(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Harness::Entries() const {
  static const std::regex prefix(
      R"(\[ \d+-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3} \] \[ \d+ \] (\[[A-Z]+\]) )");
  const std::string text = LogText();
  std::vector<std::string> entries;
  std::string tag;
  size_t messageStart = std::string::npos;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), prefix);
       it != std::sregex_iterator(); ++it) {
    const size_t at = static_cast<size_t>(it->position(0));
    if (messageStart != std::string::npos)
      entries.push_back(tag + " " + text.substr(messageStart, at - messageStart));
    tag = (*it)[1].str();
    messageStart = at + static_cast<size_t>(it->length(0));
  }
  if (messageStart != std::string::npos) entries.push_back(tag + " " + text.substr(messageStart));
  return entries;
}

std::vector<std::string> Harness::EntriesFrom(const std::string& first) const {
  std::vector<std::string> entries = Entries();
  auto start = std::find(entries.begin(), entries.end(), first);
  return std::vector<std::string>(start, entries.end());
}

int Harness::Count(const std::string& entry) const {
  std::vector<std::string> entries = Entries();
  return static_cast<int>(std::count(entries.begin(), entries.end(), entry));
}

bool Harness::HasInOrder(const std::vector<std::string>& expected) const {
  std::vector<std::string> entries = Entries();
  auto at = entries.begin();
  for (const std::string& line : expected) {
    at = std::find(at, entries.end(), line);
    if (at == entries.end()) return false;
    ++at;
  }
  return true;
}

void Harness::AddEntry(const std::string& root, const std::string& name,
                       const std::string& displayName, const std::string& uninstallString) {
  fake.SetString(root + name, "DisplayName", displayName);
  if (!uninstallString.empty()) fake.SetString(root + name, "UninstallString", uninstallString);
}

int Harness::Opens(const std::string& path) const {
  return static_cast<int>(std::count_if(fake.registryOpens.begin(), fake.registryOpens.end(),
                                        [&path](const auto& open) { return open.first == path; }));
}

Args::Args(std::vector<std::string> args) : storage_(std::move(args)) {
  storage_.insert(storage_.begin(), "hvprereqhandler.exe");
  for (std::string& arg : storage_) pointers_.push_back(arg.data());
  pointers_.push_back(nullptr);  // argv[argc], as main receives it
}

}  // namespace hv::test
