// The platform contract: what the tool relies on from hv::HostPlatform(),
// checked through the interface only, so that the same tests run against the
// emulated host on Linux and against the Win32 backend (under Wine).
//
// Set-up comes from outside the test bodies: the registry fixture
// tests/fixtures/platform/contract.reg is loaded by the harness (through
// HV_REGISTRY_FILE on Linux, `reg import` under Wine) and HV_CONTRACT_HELPER
// names the helper program (contract_helper.cpp) that plays the child
// process. Temporary folders come from std::filesystem.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

hv::Platform& P() {
  return hv::HostPlatform();
}

// ---- Helpers -------------------------------------------------------------

using hv::test::TempDir;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string Quote(const std::string& text) {
  return "\"" + text + "\"";
}

std::string HelperPath() {
  const char* helper = std::getenv("HV_CONTRACT_HELPER");
  return helper != nullptr ? helper : "";
}

// Runs the helper with `arguments` and waits for it; returns the result of
// CreateProcess and, when it started, the exit code.
int32_t RunHelper(const std::string& arguments, const char* workingDirectory, uint32_t* exitCode) {
  hv::ProcessHandle* process = nullptr;
  std::string line = Quote(HelperPath()) + " " + arguments;
  int32_t created = P().CreateProcess(line.c_str(), workingDirectory, false, &process);
  if (created != hv::kErrorSuccess) return created;
  int32_t error = 0;
  EXPECT_EQ(P().WaitForProcess(process, 30000, &error), hv::WaitResult::kSignaled);
  EXPECT_EQ(P().GetProcessExitCode(process, exitCode), hv::kErrorSuccess);
  P().CloseProcess(process);
  return created;
}

class HelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(HelperPath().empty()) << "HV_CONTRACT_HELPER must name the helper program";
    ASSERT_TRUE(fs::exists(HelperPath())) << HelperPath();
  }
};

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

// ---- Registry --------------------------------------------------------------

constexpr uint32_t kKeyRead64 = hv::kKeyRead | hv::kKeyWow6464Key;

// The text of "View" under the key, or the error of the open or the query.
std::string ViewAt(const char* path, uint32_t access) {
  hv::RegKey* key = nullptr;
  int32_t opened = P().RegOpenKey(hv::RootKey::kLocalMachine, path, access, &key);
  if (opened != hv::kErrorSuccess) return "open error " + std::to_string(opened);
  char data[64] = {};
  uint32_t size = sizeof data;
  int32_t read = P().RegQueryValue(key, "View", nullptr, reinterpret_cast<uint8_t*>(data), &size);
  P().RegCloseKey(key);
  if (read != hv::kErrorSuccess) return "query error " + std::to_string(read);
  return std::string(data, size);
}

struct ViewCase {
  const char* path;
  uint32_t access;
  std::string expected;
};

TEST(Registry, OpensReachTheViewOfA32BitProcess) {
  const std::string in32 = std::string("32") + '\0';
  const std::string in64 = std::string("64") + '\0';
  const ViewCase cases[] = {
      {"SOFTWARE\\HvContract", hv::kKeyRead, in32},
      {"SOFTWARE\\HvContract", hv::kKeyRead | hv::kKeyWow6432Key, in32},
      {"SOFTWARE\\HvContract", kKeyRead64, in64},
      {"SOFTWARE\\HvContract", hv::kKeyAllAccess | hv::kKeyWow6464Key, in64},
      {"SOFTWARE\\WOW6432Node\\HvContract", kKeyRead64, in32},
      {"software\\hvcontract\\", hv::kKeyQueryValue, in32},
      {"SOFTWARE\\HvContract", hv::kKeyAllAccess, in32},
      {"SOFTWARE\\HvContract\\Only64", hv::kKeyRead, "open error 2"},
      {"SOFTWARE\\HvContract\\Only64", kKeyRead64, "query error 2"},
      {"SOFTWARE\\HvContractMissing", hv::kKeyRead, "open error 2"},
      {"SOFTWARE\\HvContractMissing", hv::kKeyAllAccess, "open error 2"},
      {"SOFTWARE\\HvContractMissing", kKeyRead64, "open error 2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ViewAt(c.path, c.access), c.expected) << c.path << " access " << std::hex << c.access;
  }
}

struct ValueCase {
  const char* name;
  uint32_t type;
  std::string data;  // what the ANSI query returns
};

class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(
        P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\HvContract", hv::kKeyRead, &key_),
        hv::kErrorSuccess);
  }
  void TearDown() override { P().RegCloseKey(key_); }
  hv::RegKey* key_ = nullptr;
};

TEST_F(RegistryValues, TypesSizesAndTheAnsiForm) {
  const ValueCase cases[] = {
      {"", hv::kRegSz, std::string("default text") + '\0'},
      {"Escaped", hv::kRegSz, std::string("C:\\Program Files\\\"quoted\"") + '\0'},
      {"Empty", hv::kRegSz, std::string(1, '\0')},
      {"Expand", hv::kRegExpandSz, std::string("%SystemRoot%\\x") + '\0'},
      {"Multi", hv::kRegMultiSz, std::string("a\0bc\0\0", 6)},
      {"NoTerminator", hv::kRegSz, "AB"},
      {"Dword", hv::kRegDword, Bytes({0x2a, 0, 0, 0})},
      {"dWORD", hv::kRegDword, Bytes({0x2a, 0, 0, 0})},
      {"Qword", hv::kRegQword, Bytes({8, 7, 6, 5, 4, 3, 2, 1})},
      {"Binary", hv::kRegBinary, Bytes({0xde, 0xad, 0xbe, 0xef})},
      {"EmptyBinary", hv::kRegBinary, ""},
      {"None", hv::kRegNone, Bytes({1, 2})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("value \"") + c.name + "\"");
    const uint32_t needed = static_cast<uint32_t>(c.data.size());

    uint32_t type = 99;
    uint32_t size = 0;
    ASSERT_EQ(P().RegQueryValue(key_, c.name, &type, nullptr, &size), hv::kErrorSuccess);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, needed) << "size-only query";

    std::vector<uint8_t> buffer(needed + 8, 0xCC);
    size = needed;
    type = 99;
    ASSERT_EQ(P().RegQueryValue(key_, c.name, &type, buffer.data(), &size), hv::kErrorSuccess);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + size), c.data);

    if (needed > 0) {
      size = needed - 1;
      EXPECT_EQ(P().RegQueryValue(key_, c.name, nullptr, buffer.data(), &size), hv::kErrorMoreData);
      EXPECT_EQ(size, needed) << "a too-small buffer reports the size needed";
    }
  }
}

TEST_F(RegistryValues, MissingValueIsNotFound) {
  uint32_t size = 16;
  uint8_t data[16];
  EXPECT_EQ(P().RegQueryValue(key_, "NoSuchValue", nullptr, data, &size), hv::kErrorFileNotFound);
  EXPECT_EQ(P().RegQueryValue(key_, "NoSuchValue", nullptr, nullptr, &size),
            hv::kErrorFileNotFound);
}

TEST_F(RegistryValues, DwordIntoFourByteBuffer) {
  uint32_t value = 0;
  uint32_t size = sizeof value;
  ASSERT_EQ(P().RegQueryValue(key_, "Dword", nullptr, reinterpret_cast<uint8_t*>(&value), &size),
            hv::kErrorSuccess);
  EXPECT_EQ(value, 42u);
  // A QWORD does not fit the DWORD reader's four bytes.
  size = sizeof value;
  EXPECT_EQ(P().RegQueryValue(key_, "Qword", nullptr, reinterpret_cast<uint8_t*>(&value), &size),
            hv::kErrorMoreData);
  EXPECT_EQ(size, 8u);
}

TEST(Registry, SubkeysEnumerateSortedWithoutRegardToCase) {
  hv::RegKey* key = nullptr;
  ASSERT_EQ(P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\HvContract\\Order",
                           hv::kKeyAllAccess, &key),
            hv::kErrorSuccess);
  std::vector<std::string> names;
  for (uint32_t index = 0;; ++index) {
    char name[260];
    uint32_t size = sizeof name;
    int32_t result = P().RegEnumKey(key, index, name, &size);
    if (result != hv::kErrorSuccess) {
      EXPECT_EQ(result, hv::kErrorNoMoreItems);
      break;
    }
    EXPECT_EQ(size, std::string(name).size());
    names.emplace_back(name);
    ASSERT_LT(index, 10u);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma", "LongSubkeyName"}));
  P().RegCloseKey(key);
}

TEST(Registry, SubkeyNameNeedsRoomForItsTerminator) {
  hv::RegKey* key = nullptr;
  ASSERT_EQ(
      P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\HvContract\\Order", hv::kKeyRead, &key),
      hv::kErrorSuccess);
  const std::string longName = "LongSubkeyName";
  const uint32_t index = 3;
  char name[64];
  uint32_t size = static_cast<uint32_t>(longName.size());
  EXPECT_EQ(P().RegEnumKey(key, index, name, &size), hv::kErrorMoreData);
  size = static_cast<uint32_t>(longName.size() + 1);
  ASSERT_EQ(P().RegEnumKey(key, index, name, &size), hv::kErrorSuccess);
  EXPECT_EQ(size, longName.size());
  EXPECT_EQ(std::string(name), longName);
  size = sizeof name;
  EXPECT_EQ(P().RegEnumKey(key, 4, name, &size), hv::kErrorNoMoreItems);
  P().RegCloseKey(key);
  P().RegCloseKey(nullptr);
}

// ---- Processes -------------------------------------------------------------

using Processes = HelperTest;

TEST_F(Processes, ExitCodesArriveWhole) {
  for (uint32_t code : {0u, 1u, 255u, 256u, 1605u, 1641u, 3010u}) {
    uint32_t exitCode = 12345;
    ASSERT_EQ(RunHelper("exit " + std::to_string(code), nullptr, &exitCode), hv::kErrorSuccess);
    EXPECT_EQ(exitCode, code);
  }
}

TEST_F(Processes, TimeOutThenTerminate) {
  hv::ProcessHandle* process = nullptr;
  std::string line = Quote(HelperPath()) + " sleep 60000";
  ASSERT_EQ(P().CreateProcess(line.c_str(), nullptr, false, &process), hv::kErrorSuccess);
  int32_t error = 0;
  EXPECT_EQ(P().WaitForProcess(process, 50, &error), hv::WaitResult::kTimeout);
  uint32_t exitCode = 0;
  ASSERT_EQ(P().GetProcessExitCode(process, &exitCode), hv::kErrorSuccess);
  EXPECT_EQ(exitCode, hv::kStillActive);
  ASSERT_EQ(P().TerminateProcess(process, 42), hv::kErrorSuccess);
  EXPECT_EQ(P().WaitForProcess(process, 30000, &error), hv::WaitResult::kSignaled);
  ASSERT_EQ(P().GetProcessExitCode(process, &exitCode), hv::kErrorSuccess);
  EXPECT_EQ(exitCode, 42u);
  P().CloseProcess(process);
  P().CloseProcess(nullptr);
}

TEST_F(Processes, MissingProgramIsFileNotFound) {
  TempDir dir;
  hv::ProcessHandle* process = nullptr;
  const std::string lines[] = {
      "hv-contract-no-such-program-4711 /x",
      Quote(dir / "missing.exe") + " /x",
  };
  for (const auto& line : lines) {
    EXPECT_EQ(P().CreateProcess(line.c_str(), nullptr, false, &process), hv::kErrorFileNotFound)
        << line;
    EXPECT_EQ(process, nullptr);
  }
}

TEST_F(Processes, MissingWorkingDirectoryStartsNothing) {
  TempDir dir;
  hv::ProcessHandle* process = nullptr;
  std::string line = Quote(HelperPath()) + " exit 0";
  std::string missing = dir / "no-such-folder";
  EXPECT_EQ(P().CreateProcess(line.c_str(), missing.c_str(), false, &process), 267);
  EXPECT_EQ(process, nullptr);
}

TEST_F(Processes, RunsInTheGivenWorkingDirectory) {
  TempDir dir;
  fs::path before = fs::current_path();
  std::string out = dir / "cwd.txt";
  uint32_t exitCode = 1;
  std::string workDir = dir.path().string();
  ASSERT_EQ(RunHelper("write-cwd " + Quote(out), workDir.c_str(), &exitCode), hv::kErrorSuccess);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(fs::equivalent(fs::path(ReadText(out)), dir.path())) << ReadText(out);
  EXPECT_EQ(fs::current_path(), before) << "the caller's directory stays";
}

struct ArgumentCase {
  std::string arguments;
  std::vector<std::string> expected;
};

TEST_F(Processes, CommandLineIsSplitByTheWindowsRules) {
  const ArgumentCase cases[] = {
      {"a b\tc", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"/x{12-34} /qn /norestart", {"/x{12-34}", "/qn", "/norestart"}},
      {"a\\\\b c\\", {"a\\\\b", "c\\"}},
      {"\"a\\\"b\"", {"a\"b"}},
      {"a\\\\\\\\\"b c\"", {"a\\\\b c"}},
      {"\\\"x\\\"", {"\"x\""}},
      {"\"\" end", {"", "end"}},
      {"x\"y z\"w", {"xy zw"}},
  };
  TempDir dir;
  std::string out = dir / "args.txt";
  for (const auto& c : cases) {
    uint32_t exitCode = 1;
    ASSERT_EQ(RunHelper("write-args " + Quote(out) + " " + c.arguments, nullptr, &exitCode),
              hv::kErrorSuccess);
    std::string expected;
    for (const auto& a : c.expected) expected += a + "\n";
    EXPECT_EQ(ReadText(out), expected) << "arguments: " << c.arguments;
  }
}

std::vector<hv::ProcessEntry> Snapshot() {
  std::vector<hv::ProcessEntry> entries;
  EXPECT_TRUE(P().SnapshotProcesses(&entries));
  return entries;
}

uint32_t PidNamed(const std::string& name) {
  for (const auto& e : Snapshot()) {
    if (e.exeName == name) return e.pid;
  }
  return 0;
}

TEST_F(Processes, SnapshotNamesTheExecutableFileInFull) {
  TempDir dir;
  const std::string names[] = {"My Product.exe", "hv contract helper with a long name.exe"};
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    fs::copy_file(HelperPath(), dir.path() / name);
    fs::permissions(dir.path() / name, fs::perms::owner_all, fs::perm_options::add);
    hv::ProcessHandle* started = nullptr;
    std::string line = Quote(dir / name) + " sleep 60000";
    ASSERT_EQ(P().CreateProcess(line.c_str(), nullptr, false, &started), hv::kErrorSuccess);

    uint32_t pid = PidNamed(name);
    ASSERT_NE(pid, 0u) << "not in the snapshot";
    // A second handle from OpenProcess ends the process; the first sees it.
    hv::ProcessHandle* opened = nullptr;
    ASSERT_EQ(P().OpenProcess(pid, &opened), hv::kErrorSuccess);
    uint32_t exitCode = 0;
    ASSERT_EQ(P().GetProcessExitCode(opened, &exitCode), hv::kErrorSuccess);
    EXPECT_EQ(exitCode, hv::kStillActive);
    EXPECT_EQ(P().TerminateProcess(opened, 77), hv::kErrorSuccess);
    P().CloseProcess(opened);
    int32_t error = 0;
    EXPECT_EQ(P().WaitForProcess(started, 30000, &error), hv::WaitResult::kSignaled);
    ASSERT_EQ(P().GetProcessExitCode(started, &exitCode), hv::kErrorSuccess);
    EXPECT_EQ(exitCode, 77u);
    P().CloseProcess(started);
    EXPECT_EQ(PidNamed(name), 0u) << "an ended process leaves the snapshot";
  }
}

TEST(ProcessesOfThisProgram, SnapshotListsItAndItCanBeOpened) {
  const uint32_t self = P().CurrentProcessId();
  bool found = false;
  for (const auto& e : Snapshot()) {
    if (e.pid == self) {
      found = true;
      EXPECT_EQ(e.exeName.rfind("platform_contract_test", 0), 0u) << e.exeName;
    }
  }
  EXPECT_TRUE(found);
  hv::ProcessHandle* process = nullptr;
  ASSERT_EQ(P().OpenProcess(self, &process), hv::kErrorSuccess);
  uint32_t exitCode = 0;
  EXPECT_EQ(P().GetProcessExitCode(process, &exitCode), hv::kErrorSuccess);
  EXPECT_EQ(exitCode, hv::kStillActive);
  P().CloseProcess(process);
}

TEST(ProcessesOfThisProgram, OpeningAMissingProcessIsInvalidParameter) {
  hv::ProcessHandle* process = nullptr;
  EXPECT_EQ(P().OpenProcess(0x7FFFFFFC, &process), hv::kErrorInvalidParameter);
  EXPECT_EQ(process, nullptr);
}

// ---- Clock, threads and folders -------------------------------------------

TEST(Clock, TickCountAdvancesInMilliseconds) {
  uint32_t before = P().GetTickCount();
  P().Sleep(100);
  uint32_t elapsed = P().GetTickCount() - before;  // unsigned: correct across a wrap
  EXPECT_GE(elapsed, 80u);
}

TEST(Clock, LocalTimeIsTheRuntimesLocalTime) {
  std::time_t before = std::time(nullptr);
  hv::LocalTime now = P().GetLocalTime();
  std::time_t after = std::time(nullptr);
  std::tm fields{};
  fields.tm_year = now.year - 1900;
  fields.tm_mon = now.month - 1;
  fields.tm_mday = now.day;
  fields.tm_hour = now.hour;
  fields.tm_min = now.minute;
  fields.tm_sec = now.second;
  fields.tm_isdst = -1;
  std::time_t reported = std::mktime(&fields);
  EXPECT_GE(reported, before - 1);
  EXPECT_LE(reported, after + 1);
  EXPECT_GE(now.millisecond, 0);
  EXPECT_LE(now.millisecond, 999);
}

TEST(Threads, EachThreadHasItsOwnId) {
  uint32_t mine = P().CurrentThreadId();
  EXPECT_EQ(P().CurrentThreadId(), mine);
  uint32_t other = 0;
  std::thread([&other] { other = P().CurrentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
}

TEST(Folders, SystemDirectoryLengthRules) {
  char probe[1] = {'x'};
  uint32_t needed = P().GetSystemDirectory(probe, 0);
  ASSERT_GT(needed, 1u);
  EXPECT_EQ(probe[0], 'x');
  std::vector<char> buffer(needed, 'x');
  EXPECT_EQ(P().GetSystemDirectory(buffer.data(), needed - 1), needed) << "no room for the 0";
  EXPECT_EQ(P().GetSystemDirectory(buffer.data(), needed), needed - 1);
  EXPECT_EQ(std::string(buffer.data()).size(), needed - 1);
  EXPECT_TRUE(fs::is_directory(buffer.data())) << buffer.data();
}

class CurrentDirectory : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = fs::current_path(); }
  void TearDown() override { fs::current_path(saved_); }
  fs::path saved_;
};

TEST_F(CurrentDirectory, RoundTripAndLengthRules) {
  TempDir dir;
  std::string target = dir.path().string();
  ASSERT_EQ(P().SetCurrentDirectory(target.c_str()), hv::kErrorSuccess);
  int32_t error = 0;
  uint32_t needed = P().GetCurrentDirectory(0, nullptr, &error);
  ASSERT_GT(needed, 1u);
  std::vector<char> buffer(needed, 'x');
  EXPECT_EQ(P().GetCurrentDirectory(needed - 1, buffer.data(), &error), needed);
  EXPECT_EQ(P().GetCurrentDirectory(needed, buffer.data(), &error), needed - 1);
  EXPECT_TRUE(fs::equivalent(fs::path(buffer.data()), dir.path())) << buffer.data();
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir.path()));
}

TEST_F(CurrentDirectory, MissingFolderLeavesItUnchanged) {
  TempDir dir;
  fs::path before = fs::current_path();
  std::string missing = dir / "missing";
  std::string missingParent = (dir.path() / "missing" / "child").string();
  EXPECT_EQ(P().SetCurrentDirectory(missing.c_str()), hv::kErrorFileNotFound);
  EXPECT_EQ(P().SetCurrentDirectory(missingParent.c_str()), hv::kErrorPathNotFound);
  EXPECT_EQ(fs::current_path(), before);
}

// ---- Files and folders -----------------------------------------------------

TEST(Files, SizeOfFilesAndWhyItFails) {
  TempDir dir;
  WriteText(dir / "five.log", "12345");
  WriteText(dir / "empty.log", "");
  struct Case {
    std::string path;
    int32_t result;
    bool openFailed;
    uint64_t size;
  };
  const Case cases[] = {
      {dir / "five.log", hv::kErrorSuccess, false, 5},
      {dir / "empty.log", hv::kErrorSuccess, false, 0},
      {dir / "missing.log", hv::kErrorFileNotFound, true, 0},
      {(dir.path() / "missing" / "x.log").string(), hv::kErrorPathNotFound, true, 0},
  };
  for (const auto& c : cases) {
    uint64_t size = 99;
    bool openFailed = !c.openFailed;
    EXPECT_EQ(P().GetFileSize(c.path.c_str(), &size, &openFailed), c.result) << c.path;
    EXPECT_EQ(openFailed, c.openFailed) << c.path;
    if (c.result == hv::kErrorSuccess) {
      EXPECT_EQ(size, c.size) << c.path;
    }
  }
}

TEST(Files, CopyOverwritesAndReportsAMissingSource) {
  TempDir dir;
  WriteText(dir / "from.log", "new content");
  WriteText(dir / "to.log", "old content that is longer");
  std::string from = dir / "from.log";
  std::string to = dir / "to.log";
  EXPECT_EQ(P().CopyFile(from.c_str(), to.c_str()), hv::kErrorSuccess);
  EXPECT_EQ(ReadText(to), "new content");
  std::string fresh = dir / "fresh.log";
  EXPECT_EQ(P().CopyFile(from.c_str(), fresh.c_str()), hv::kErrorSuccess);
  EXPECT_EQ(ReadText(fresh), "new content");
  std::string missing = dir / "missing.log";
  EXPECT_EQ(P().CopyFile(missing.c_str(), to.c_str()), hv::kErrorFileNotFound);
  EXPECT_EQ(ReadText(to), "new content");
}

TEST(Files, DeleteRemovesFilesOnly) {
  TempDir dir;
  WriteText(dir / "a.log", "x");
  fs::create_directory(dir.path() / "folder");
  std::string file = dir / "a.log";
  std::string folder = dir / "folder";
  EXPECT_EQ(P().DeleteFile(file.c_str()), hv::kErrorSuccess);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(P().DeleteFile(file.c_str()), hv::kErrorFileNotFound);
  EXPECT_EQ(P().DeleteFile(folder.c_str()), hv::kErrorAccessDenied);
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST(Files, TruncateKeepsAnOpenAppendingStreamValid) {
  TempDir dir;
  std::string path = dir / "live.log";
  // Binary mode: the test is about where appending resumes after the
  // truncation, not about Windows' text-mode line ends.
  std::FILE* stream = std::fopen(path.c_str(), "ab+");
  ASSERT_NE(stream, nullptr);
  std::fputs("before rotation\n", stream);
  std::fflush(stream);
  EXPECT_EQ(P().TruncateFile(path.c_str()), hv::kErrorSuccess);
  std::fputs("after\n", stream);
  std::fclose(stream);
  EXPECT_EQ(ReadText(path), "after\n");
  std::string missing = dir / "missing.log";
  EXPECT_EQ(P().TruncateFile(missing.c_str()), hv::kErrorFileNotFound);
  EXPECT_FALSE(fs::exists(missing)) << "truncation never creates a file";
}

TEST(Files, MakeDirectoryReportsErrnoStyleNumbers) {
  TempDir dir;
  std::string folder = dir / "logs";
  std::string nested = (dir.path() / "missing" / "logs").string();
  EXPECT_EQ(P().MakeDirectory(folder.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(P().MakeDirectory(folder.c_str()), 17);
  EXPECT_EQ(P().MakeDirectory(nested.c_str()), 2);
}

struct FindCase {
  std::string pattern;  // relative to the folder
  std::set<std::string> expected;
  int32_t error;  // when nothing is expected
};

std::set<std::string> FindAll(const std::string& pattern, int32_t* error, long* handleValue) {
  std::set<std::string> names;
  std::string name;
  hv::DirSearch* search = P().FindFirstFile(pattern.c_str(), &name, error);
  *handleValue = P().SearchHandleValue(search);
  if (search == nullptr) return names;
  names.insert(name);
  while (P().FindNextFile(search, &name, error)) {
    EXPECT_TRUE(names.insert(name).second) << "returned twice: " << name;
  }
  P().FindClose(search);
  return names;
}

TEST(Files, FindFirstFileMatchesLikeWindows) {
  TempDir dir;
  for (const char* name : {"hvprereqhandler.log", "hvprereqhandler1.log", "HVPREREQHANDLER2.LOG",
                           "other.txt", "noext"}) {
    WriteText(dir / name, "x");
  }
  fs::create_directory(dir.path() / "hvsub");
  const std::set<std::string> all = {".",
                                     "..",
                                     "hvprereqhandler.log",
                                     "hvprereqhandler1.log",
                                     "HVPREREQHANDLER2.LOG",
                                     "other.txt",
                                     "noext",
                                     "hvsub"};
  const std::string sep(1, hv::kPathSeparator);
  const FindCase cases[] = {
      {"hvprereqhandler*.*",
       {"hvprereqhandler.log", "hvprereqhandler1.log", "HVPREREQHANDLER2.LOG"},
       0},
      {"*.*", all, 0},
      {"*", all, 0},
      {"*.LOG", {"hvprereqhandler.log", "hvprereqhandler1.log", "HVPREREQHANDLER2.LOG"}, 0},
      {"hv*", {"hvprereqhandler.log", "hvprereqhandler1.log", "HVPREREQHANDLER2.LOG", "hvsub"}, 0},
      {"noext*.*", {"noext"}, 0},
      {"other.???", {"other.txt"}, 0},
      {"?oext", {"noext"}, 0},
      {"OTHER.TXT", {"other.txt"}, 0},
      {"missing*.*", {}, hv::kErrorFileNotFound},
      {"nofolder" + sep + "*.*", {}, hv::kErrorPathNotFound},
  };
  for (const auto& c : cases) {
    for (const std::string& separator : {sep, std::string("/")}) {
      std::string pattern = dir.path().string() + separator + c.pattern;
      int32_t error = 0;
      long handle = 0;
      std::set<std::string> found = FindAll(pattern, &error, &handle);
      EXPECT_EQ(found, c.expected) << pattern;
      if (c.expected.empty()) {
        EXPECT_EQ(error, c.error) << pattern;
        EXPECT_EQ(handle, -1) << pattern;
      } else {
        EXPECT_EQ(error, hv::kErrorNoMoreFiles) << pattern;
        EXPECT_GT(handle, 0) << pattern;
      }
    }
  }
}

// ---- Timer queues ------------------------------------------------------------

struct TimerProbe {
  std::mutex mutex;
  std::condition_variable changed;
  int calls = 0;
  bool allFired = true;
  uint32_t threadId = 0;

  static void Callback(void* context, bool fired) {
    auto* probe = static_cast<TimerProbe*>(context);
    std::lock_guard<std::mutex> lock(probe->mutex);
    ++probe->calls;
    probe->allFired = probe->allFired && fired;
    probe->threadId = P().CurrentThreadId();
    probe->changed.notify_all();
  }
  bool WaitForCalls(int count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(30), [&] { return calls >= count; });
  }
  int Calls() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }
};

TEST(TimerQueue, OneShotTimerRunsOnceOnAWorkerThread) {
  hv::TimerQueue* queue = nullptr;
  ASSERT_EQ(P().CreateTimerQueue(&queue), hv::kErrorSuccess);
  TimerProbe probe;
  hv::Timer* timer = nullptr;
  ASSERT_EQ(P().CreateQueueTimer(queue, &TimerProbe::Callback, &probe, 20, &timer),
            hv::kErrorSuccess);
  EXPECT_NE(timer, nullptr);
  ASSERT_TRUE(probe.WaitForCalls(1));
  EXPECT_EQ(P().DeleteTimerQueue(queue), hv::kErrorSuccess);
  EXPECT_EQ(probe.Calls(), 1);
  EXPECT_TRUE(probe.allFired);
  EXPECT_NE(probe.threadId, P().CurrentThreadId());
}

TEST(TimerQueue, DefaultQueueRunsTimers) {
  TimerProbe probe;
  hv::Timer* timer = nullptr;
  ASSERT_EQ(P().CreateQueueTimer(nullptr, &TimerProbe::Callback, &probe, 10, &timer),
            hv::kErrorSuccess);
  ASSERT_TRUE(probe.WaitForCalls(1));
  EXPECT_NE(probe.threadId, P().CurrentThreadId());
}

TEST(TimerQueue, DeletionCancelsPendingTimers) {
  hv::TimerQueue* queue = nullptr;
  ASSERT_EQ(P().CreateTimerQueue(&queue), hv::kErrorSuccess);
  TimerProbe probe;
  hv::Timer* timer = nullptr;
  ASSERT_EQ(P().CreateQueueTimer(queue, &TimerProbe::Callback, &probe, 600000, &timer),
            hv::kErrorSuccess);
  EXPECT_EQ(P().DeleteTimerQueue(queue), hv::kErrorSuccess);
  EXPECT_EQ(probe.Calls(), 0);
}

struct SlowCallback {
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  static void Run(void* context, bool) {
    auto* self = static_cast<SlowCallback*>(context);
    self->started = true;
    P().Sleep(200);
    self->finished = true;
  }
};

TEST(TimerQueue, DeletionWaitsForARunningCallback) {
  hv::TimerQueue* queue = nullptr;
  ASSERT_EQ(P().CreateTimerQueue(&queue), hv::kErrorSuccess);
  SlowCallback slow;
  hv::Timer* timer = nullptr;
  ASSERT_EQ(P().CreateQueueTimer(queue, &SlowCallback::Run, &slow, 0, &timer), hv::kErrorSuccess);
  while (!slow.started) P().Sleep(1);
  EXPECT_EQ(P().DeleteTimerQueue(queue), hv::kErrorSuccess);
  EXPECT_TRUE(slow.finished) << "DeleteTimerQueue returned while the callback ran";
}

// The log rotation arms its next check from inside the callback.
struct Rearming {
  hv::TimerQueue* queue = nullptr;
  TimerProbe probe;
  static void Run(void* context, bool fired) {
    auto* self = static_cast<Rearming*>(context);
    TimerProbe::Callback(&self->probe, fired);
    if (self->probe.Calls() < 3) {
      hv::Timer* next = nullptr;
      P().CreateQueueTimer(self->queue, &Rearming::Run, self, 5, &next);
    }
  }
};

TEST(TimerQueue, CallbackCanArmTheNextTimerInItsQueue) {
  Rearming rearming;
  ASSERT_EQ(P().CreateTimerQueue(&rearming.queue), hv::kErrorSuccess);
  hv::Timer* timer = nullptr;
  ASSERT_EQ(P().CreateQueueTimer(rearming.queue, &Rearming::Run, &rearming, 5, &timer),
            hv::kErrorSuccess);
  ASSERT_TRUE(rearming.probe.WaitForCalls(3));
  EXPECT_EQ(P().DeleteTimerQueue(rearming.queue), hv::kErrorSuccess);
  EXPECT_EQ(rearming.probe.Calls(), 3);
}

TEST(TimerQueue, TimersCreatedFromManyThreadsEachRunOnce) {
  hv::TimerQueue* queue = nullptr;
  ASSERT_EQ(P().CreateTimerQueue(&queue), hv::kErrorSuccess);
  constexpr int kThreads = 4;
  constexpr int kPerThread = 25;
  TimerProbe probe;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        hv::Timer* timer = nullptr;
        P().CreateQueueTimer(queue, &TimerProbe::Callback, &probe,
                             static_cast<uint32_t>((t + i) % 5), &timer);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(probe.WaitForCalls(kThreads * kPerThread));
  EXPECT_EQ(P().DeleteTimerQueue(queue), hv::kErrorSuccess);
  EXPECT_EQ(probe.Calls(), kThreads * kPerThread);
}

// ---- Message texts ---------------------------------------------------------

TEST(Messages, SystemTextsEndInOneBlank) {
  for (uint32_t code : {0u, 2u, 5u}) {
    std::string utf8;
    std::string ansi;
    ASSERT_TRUE(P().FormatSystemMessageUtf8(code, &utf8)) << code;
    ASSERT_TRUE(P().FormatSystemMessageAnsi(code, &ansi)) << code;
    EXPECT_EQ(utf8, ansi) << code;
    ASSERT_GE(utf8.size(), 3u) << code;
    EXPECT_EQ(utf8.back(), ' ') << code;
    EXPECT_NE(utf8[utf8.size() - 2], ' ') << code;
    EXPECT_EQ(utf8.find_first_of("\r\n"), std::string::npos) << code;
  }
}

TEST(Messages, AgentCodesHaveNoSystemText) {
  for (uint32_t code : {10001u, 17021u, 20001u, 2359302u}) {
    std::string text = "unchanged";
    EXPECT_FALSE(P().FormatSystemMessageUtf8(code, &text)) << code;
    EXPECT_FALSE(P().FormatSystemMessageAnsi(code, &text)) << code;
  }
}

TEST(Messages, WideToUtf8) {
  struct Case {
    const wchar_t* wide;
    std::string utf8;
  };
  const Case cases[] = {
      {L"", ""},
      {L"plain", "plain"},
      {L"Caf\u00e9", "Caf\xc3\xa9"},
      {L"\u20ac 5", "\xe2\x82\xac 5"},
      {L"\U0001F600", "\xf0\x9f\x98\x80"},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(P().WideToUtf8(c.wide, &out), hv::kErrorSuccess);
    EXPECT_EQ(out, c.utf8);
  }
}

}  // namespace
