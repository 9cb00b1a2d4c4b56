#include "tests/e2e/scenario.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>

namespace hv::e2e {

namespace {

using Clock = std::chrono::steady_clock;

// Generous: a run does a few registry reads and starts a few shell scripts. A
// run that takes this long is stuck (for example in the installer waits).
constexpr auto kRunLimit = std::chrono::seconds(180);
constexpr auto kProcessLimit = std::chrono::seconds(10);
constexpr auto kPoll = std::chrono::milliseconds(5);

std::string ToolPath() {
  if (const char* path = std::getenv("HV_E2E_TOOL"); path != nullptr && *path != '\0') return path;
  return HV_E2E_TOOL_PATH;
}

fs::path FixtureDir() {
  if (const char* dir = std::getenv("HV_E2E_FIXTURES"); dir != nullptr && *dir != '\0') return dir;
  return HV_E2E_FIXTURE_DIR;
}

fs::path SleepProgram() {
  for (const char* candidate : {"/usr/bin/sleep", "/bin/sleep"}) {
    if (access(candidate, X_OK) == 0) return candidate;
  }
  return "sleep";
}

std::string WithSeparator(const fs::path& dir) {
  return dir.string() + "/";
}

// Escapes a value for a quoted .reg string.
std::string RegEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string ToUtf16LeWithBom(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1F;
      len = 2;
    }
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += len;
    auto unit = [&out](uint32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

// Waits for `pid` to end, at most `limit`; reaps it. True when it ended.
bool AwaitEnd(pid_t pid, Clock::duration limit, int* status) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
}

void MakeRemovable(const fs::path& dir) {
  std::error_code ec;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& os, RegEncoding encoding) {
  return os << (encoding == RegEncoding::kUtf8 ? "Utf8" : "Utf16Le");
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const fs::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

Scenario::Scenario() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hv-e2e-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
    return;
  }
  // Canonical, so that it compares equal to what the fakes' pwd -P reports.
  dir_ = fs::canonical(buffer.data());
  for (const char* sub : {"bin", "agent", "system32", "cwd"}) fs::create_directory(dir_ / sub);
}

Scenario::~Scenario() {
  for (pid_t pid : processes_) {
    kill(pid, SIGKILL);
    int status = 0;
    AwaitEnd(pid, kProcessLimit, &status);
  }
  if (dir_.empty()) return;
  if (::testing::Test::HasFailure()) {
    std::fprintf(stderr, "scenario folder kept for inspection: %s\n", dir_.c_str());
    return;
  }
  MakeRemovable(dir_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string Scenario::Expand(const std::string& text) const {
  std::string out = ReplaceAll(text, "@AGENT_DIR@", WithSeparator(agent()));
  out = ReplaceAll(out, "@BIN_DIR@", WithSeparator(bin()));
  out = ReplaceAll(out, "@SCENARIO_DIR@", WithSeparator(dir_));
  return ReplaceAll(out, "@WRONG_VIEW_DIR@", WithSeparator(wrongViewDir()));
}

void Scenario::RenderRegistry(const std::string& fixture, const std::string& extra,
                              RegEncoding encoding) {
  const fs::path source = FixtureDir() / fixture;
  std::string text = ReadFile(source);
  ASSERT_FALSE(text.empty()) << "missing fixture " << source;
  if (!extra.empty()) text += "\n" + extra + "\n";
  text = ReplaceAll(text, "@AGENT_DIR@", RegEscape(WithSeparator(agent())));
  text = ReplaceAll(text, "@BIN_DIR@", RegEscape(WithSeparator(bin())));
  text = ReplaceAll(text, "@SCENARIO_DIR@", RegEscape(WithSeparator(dir_)));
  text = ReplaceAll(text, "@WRONG_VIEW_DIR@", RegEscape(WithSeparator(wrongViewDir())));
  WriteFile(registryFile(), encoding == RegEncoding::kUtf8 ? text : ToUtf16LeWithBom(text));
}

void Scenario::InstallFakes(const std::vector<std::string>& names) {
  const auto exec = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                    fs::perms::others_read | fs::perms::others_exec;
  auto install = [&](const char* script, const std::string& name) {
    fs::copy_file(FixtureDir() / script, bin() / name, fs::copy_options::overwrite_existing);
    fs::permissions(bin() / name, exec);
  };
  for (const std::string& name : names) install("fake-uninstaller.sh", name);
  install("fake-msiexec.sh", "MsiExec.exe");
}

void Scenario::SetExitCode(const std::string& key, int code) {
  std::ofstream out(dir_ / "exit-codes", std::ios::app);
  out << code << ' ' << key << '\n';
}

pid_t Scenario::StartProcess(const std::string& name) {
  const fs::path program = bin() / name;
  // A second process of the same name runs the same copy (the copy cannot be
  // replaced while it runs).
  if (!fs::exists(program)) {
    fs::copy_file(SleepProgram(), program);
    fs::permissions(program, fs::perms::owner_all);
  }
  pid_t pid = fork();
  if (pid == 0) {
    // Never outlive the suite, whatever happens to it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    execl(program.c_str(), name.c_str(), "600", static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return pid;
  }
  processes_.push_back(pid);
  // The tool must not look before the exec has given the process its name.
  const std::string exeLink = "/proc/" + std::to_string(pid) + "/exe";
  const auto deadline = Clock::now() + kProcessLimit;
  for (;;) {
    std::error_code ec;
    if (fs::read_symlink(exeLink, ec) == program) break;
    if (Clock::now() >= deadline) {
      ADD_FAILURE() << "process " << name << " did not start";
      break;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return pid;
}

bool Scenario::ProcessSurvives(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

bool Scenario::ProcessEnds(pid_t pid) {
  int status = 0;
  return AwaitEnd(pid, kProcessLimit, &status);
}

ToolRun Scenario::Run(const std::vector<std::string>& args, uint32_t tickCount) {
  ToolRun run;
  const std::string tool = ToolPath();
  std::vector<std::string> argStrings{tool};
  argStrings.insert(argStrings.end(), args.begin(), args.end());

  std::vector<std::string> envStrings = {
      "PATH=" + bin().string() + ":/usr/local/bin:/usr/bin:/bin",
      "HV_REGISTRY_FILE=" + registryFile().string(),
      "HV_SYSTEM_DIR=" + systemDir().string(),
      "HV_TICK_COUNT_MS=" + std::to_string(tickCount),
      "HV_FAKE_STATE_DIR=" + dir_.string(),
      "LC_ALL=C",
  };
  for (const char* passed :
       {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "LD_LIBRARY_PATH"}) {
    if (const char* value = std::getenv(passed))
      envStrings.push_back(passed + ("=" + std::string(value)));
  }
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  };
  std::vector<char*> argv = pointers(argStrings);
  std::vector<char*> envp = pointers(envStrings);
  const std::string outFile = (dir_ / "stdout").string();
  const std::string errFile = (dir_ / "stderr").string();
  const std::string cwd = (dir_ / "cwd").string();

  pid_t pid = fork();
  if (pid == 0) {
    // Its own process group, so that a stuck run can be stopped together with
    // whatever it started.
    setpgid(0, 0);
    int in = open("/dev/null", O_RDONLY);
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(tool.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return run;
  }
  int status = 0;
  run.finished = AwaitEnd(pid, kRunLimit, &status);
  if (!run.finished) {
    kill(-pid, SIGKILL);
    AwaitEnd(pid, kProcessLimit, &status);
    ADD_FAILURE() << "the tool did not finish within the time limit; killed";
  }
  run.exited = WIFEXITED(status);
  run.exitCode = run.exited ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.out = ReadFile(outFile);
  run.err = ReadFile(errFile);
  if (run.exited && run.exitCode == 127 && run.out.empty() && run.err.empty()) {
    ADD_FAILURE() << "could not start the tool: " << tool;
  }
  return run;
}

std::vector<CommandRecord> Scenario::Commands() const {
  std::vector<CommandRecord> records;
  std::istringstream in(ReadFile(dir_ / "commands"));
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos) {
      records.push_back({line, ""});
    } else {
      records.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
  }
  return records;
}

std::vector<std::string> Scenario::CommandLines() const {
  std::vector<std::string> lines;
  for (const CommandRecord& record : Commands()) lines.push_back(record.commandLine);
  return lines;
}

ParsedLog Scenario::ReadLog(const fs::path& file) const {
  static const std::regex kPrefix(R"(\[ \d+-\d\d-\d\d \d\d:\d\d:\d\d:\d\d\d \] \[ \d+ \] )");
  const std::string text = ReadFile(file);
  ParsedLog log;
  // Prefix positions; matched on a short window after each "[ " so that a
  // large log is scanned once.
  std::vector<std::pair<size_t, size_t>> prefixes;
  for (size_t at = text.find("[ "); at != std::string::npos; at = text.find("[ ", at + 1)) {
    const auto begin = text.begin() + static_cast<std::ptrdiff_t>(at);
    const auto end = text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), at + 64));
    std::smatch m;
    if (std::regex_search(begin, end, m, kPrefix, std::regex_constants::match_continuous)) {
      prefixes.emplace_back(at, static_cast<size_t>(m.length(0)));
    }
  }
  log.preamble = text.substr(0, prefixes.empty() ? text.size() : prefixes.front().first);
  for (size_t i = 0; i < prefixes.size(); ++i) {
    const size_t from = prefixes[i].first + prefixes[i].second;
    const size_t to = i + 1 < prefixes.size() ? prefixes[i + 1].first : text.size();
    log.entries.push_back(text.substr(from, to - from));
  }
  return log;
}

int Count(const LogEntries& entries, const std::string& entry) {
  return static_cast<int>(std::count(entries.begin(), entries.end(), entry));
}

bool Mentions(const LogEntries& entries, const std::string& text) {
  return std::any_of(entries.begin(), entries.end(),
                     [&](const std::string& e) { return e.find(text) != std::string::npos; });
}

void ExpectSoundRun(const Scenario& scenario, const ToolRun& run, const std::string& stdoutText,
                    bool checkStderr) {
  EXPECT_TRUE(run.exited) << "the tool ended through signal " << run.signal;
  EXPECT_EQ(run.out, stdoutText) << "standard output";
  if (checkStderr) {
    EXPECT_EQ(run.err, "") << "standard error";
  }
  const std::string systemDir = scenario.systemDir().string();
  for (const CommandRecord& record : scenario.Commands()) {
    EXPECT_EQ(record.workingDirectory, systemDir) << "working directory of " << record.commandLine;
  }
  EXPECT_FALSE(fs::exists(scenario.wrongViewDir()))
      << "the agent settings were read from the 64-bit view";

  if (!fs::is_regular_file(scenario.LogFile())) return;
  const ParsedLog log = scenario.ReadLog();
  static const std::regex kBanner(
      R"(\[INFO\] Log (open|close) time: \d+-\d\d-\d\d \d\d:\d\d:\d\d:\d\d\d\n)");
  ASSERT_FALSE(log.entries.empty()) << "empty log";
  EXPECT_TRUE(log.entries.front().starts_with("[INFO] Log open time: ") &&
              std::regex_match(log.entries.front(), kBanner))
      << log.entries.front();
  EXPECT_TRUE(log.entries.back().starts_with("[INFO] Log close time: ") &&
              std::regex_match(log.entries.back(), kBanner))
      << log.entries.back();
  for (const std::string& entry : log.entries) {
    const bool tagged = entry.starts_with("[INFO] ") || entry.starts_with("[ERROR] ") ||
                        entry.starts_with("[DEBUG] ") || entry.starts_with("[TRACE] ");
    EXPECT_TRUE(tagged) << "untagged log entry: " << entry;
  }
}

}  // namespace hv::e2e
