#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "tests/logging/log_test_support.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

using LogWriterTest = LoggedTest;

TEST_F(LogWriterTest, LineIsPrefixThenMessageAndBannersFrameTheFile) {
  OpenLog(4);
  LogInfo("hello %d %s\n", 42, "world");
  CloseLogFile();
  EXPECT_EQ(ReadFile(LogPath()),
            std::string(kOpenBanner) +
                "[ 2024-03-07 09:05:02:047 ] [ 4120 ] [INFO] hello 42 world\n" + kCloseBanner);
}

struct LevelCase {
  uint8_t level;
  const char* written;  // initials of the writers whose lines appear
};

TEST_F(LogWriterTest, LevelDecidesWhichWritersWrite) {
  const LevelCase cases[] = {{0, ""},     {1, "I"},    {2, "IE"},    {3, "IED"},
                             {4, "IEDT"}, {5, "IEDT"}, {255, "IEDT"}};
  for (const LevelCase& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level));
    ResetLogWriter();
    fs::remove(LogPath());
    OpenLog(c.level);
    LogInfo("i\n");
    LogError("e\n");
    LogDebug("d\n");
    LogTrace("t\n");
    CloseLogFile();
    std::string expected = kOpenBanner;
    for (const char* w = c.written; *w != '\0'; ++w) {
      if (*w == 'I') expected += Info("i\n");
      if (*w == 'E') expected += Error("e\n");
      if (*w == 'D') expected += Debug("d\n");
      if (*w == 'T') expected += Trace("t\n");
    }
    expected += kCloseBanner;
    EXPECT_EQ(ReadFile(LogPath()), expected);
  }
}

TEST_F(LogWriterTest, MessageWithoutLineEndIsFollowedByTheNextPrefix) {
  OpenLog(2);
  LogInfo("first");
  LogError("second\n");
  EXPECT_EQ(Logged(), Info("first") + Error("second\n"));
}

TEST_F(LogWriterTest, MessagesOfAnyLengthAreWrittenWhole) {
  OpenLog(1);
  // Around the sizes where the writer's line buffer has to grow, and short
  // lines after long ones.
  const size_t lengths[] = {0, 1, 509, 510, 511, 512, 513, 1000, 20000, 3, 70000, 2};
  std::string expected;
  for (size_t length : lengths) {
    std::string text(length, static_cast<char>('a' + length % 26));
    LogInfo("%s|%d\n", text.c_str(), 7);
    expected += Info(text + "|7\n");
  }
  LogInfo("%s", "");
  expected += Info("");
  EXPECT_EQ(Logged(), expected);
}

struct TimeCase {
  LocalTime time;
  const char* text;
};

TEST_F(LogWriterTest, TimestampFormatAndPerSecondCache) {
  // Consecutive cases share their date-time part or differ in exactly one
  // field, so a stale cached part shows up as a wrong text.
  const TimeCase cases[] = {
      {{2024, 3, 7, 9, 5, 2, 47}, "2024-03-07 09:05:02:047"},
      {{2024, 3, 7, 9, 5, 2, 48}, "2024-03-07 09:05:02:048"},
      {{2024, 3, 7, 9, 5, 3, 0}, "2024-03-07 09:05:03:000"},
      {{2024, 3, 7, 9, 6, 3, 999}, "2024-03-07 09:06:03:999"},
      {{2024, 3, 7, 10, 6, 3, 5}, "2024-03-07 10:06:03:005"},
      {{2024, 3, 8, 10, 6, 3, 5}, "2024-03-08 10:06:03:005"},
      {{2024, 12, 8, 10, 6, 3, 5}, "2024-12-08 10:06:03:005"},
      {{2025, 12, 8, 10, 6, 3, 5}, "2025-12-08 10:06:03:005"},
      {{987, 1, 1, 0, 0, 0, 0}, "987-01-01 00:00:00:000"},
  };
  for (const TimeCase& c : cases) {
    fake.localTime = c.time;
    char* stamp = GetTimeStamp();
    ASSERT_NE(stamp, nullptr);
    EXPECT_STREQ(stamp, c.text);
    free(stamp);
  }
  // The line prefix uses the same clock.
  fake.localTime = {2023, 11, 30, 23, 59, 58, 1};
  fake.threadId = 77;
  OpenLog(1);
  LogInfo("x\n");
  EXPECT_EQ(ReadFile(LogPath()),
            "[ 2023-11-30 23:59:58:001 ] [ 77 ] [INFO] Log open time: 2023-11-30 23:59:58:001\n"
            "[ 2023-11-30 23:59:58:001 ] [ 77 ] [INFO] x\n");
}

TEST_F(LogWriterTest, SecondOpenKeepsTheStreamAndSaysSoAtTraceLevel) {
  OpenLog(4);
  FILE* stream = gv_logFilePtr;
  EXPECT_TRUE(OpenLogFile());
  EXPECT_TRUE(OpenNewLogFile());
  EXPECT_EQ(gv_logFilePtr, stream);
  EXPECT_EQ(Logged(), Trace("gv_logFilePtr already Set\n") + Trace("gv_logFilePtr already Set\n"));

  SetLogLevel(3);
  EXPECT_TRUE(OpenLogFile());
  EXPECT_EQ(Logged(), Trace("gv_logFilePtr already Set\n") + Trace("gv_logFilePtr already Set\n"));
}

TEST_F(LogWriterTest, OpenAppendsAndOpenNewEmpties) {
  WriteFile(LogPath(), "old line\n");
  OpenLog(1);
  CloseLogFile();
  EXPECT_EQ(ReadFile(LogPath()), std::string("old line\n") + kOpenBanner + kCloseBanner);

  ASSERT_TRUE(OpenNewLogFile());
  EXPECT_EQ(ReadFile(LogPath()), kOpenBanner);
}

TEST_F(LogWriterTest, FolderWithBackslashesGetsSlashAndName) {
  std::string folder = dir.str() + "/Agent\\logs";
  ASSERT_TRUE(InitLogSettings());
  ASSERT_TRUE(SetLogSettings("hv.log", folder.c_str(), 2));
  ASSERT_TRUE(OpenLogFile());
  EXPECT_STREQ(GetLogFilePath(), (folder + "/hv.log").c_str());
  EXPECT_TRUE(fs::exists(folder + "/hv.log"));
}

TEST_F(LogWriterTest, LogDirectoryIsCreatedWithItsParents) {
  std::string folder = dir.str() + "/a/b/c";
  ASSERT_TRUE(InitLogSettings());
  ASSERT_TRUE(SetLogSettings("hv.log", folder.c_str(), 2));
  ASSERT_TRUE(OpenLogFile());
  EXPECT_TRUE(fs::is_regular_file(folder + "/hv.log"));
}

TEST_F(LogWriterTest, RootFolderGivesItsLogsFolder) {
  std::string root = dir.str() + "/root";
  SetLogRootFolder(root.c_str());
  ASSERT_TRUE(InitLogSettings());
  ASSERT_TRUE(OpenLogFile());
  EXPECT_STREQ(GetLogFilePath(), (root + "/logs/quill.log").c_str());
  EXPECT_TRUE(fs::is_regular_file(root + "/logs/quill.log"));
}

TEST_F(LogWriterTest, WithoutFolderOrRootTheLogGoesToParentLogs) {
  fs::create_directories(dir.path() / "work");
  fs::path previous = fs::current_path();
  fs::current_path(dir.path() / "work");
  bool initialised = InitLogSettings();
  bool opened = OpenLogFile();
  const char* path = GetLogFilePath();
  std::string pathText = path != nullptr ? path : "";
  CloseLogFile();
  fs::current_path(previous);
  EXPECT_TRUE(initialised);
  EXPECT_TRUE(opened);
  EXPECT_EQ(pathText, "../logs/quill.log");
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "logs" / "quill.log"));
}

TEST_F(LogWriterTest, FailedOpenLeavesNoStream) {
  WriteFile(dir.path() / "blocker", "a file where the folder should be");
  ASSERT_TRUE(InitLogSettings());
  ASSERT_TRUE(SetLogSettings("hv.log", (dir.str() + "/blocker").c_str(), 2));
  EXPECT_FALSE(OpenLogFile());
  EXPECT_EQ(gv_logFilePtr, nullptr);
  EXPECT_FALSE(OpenNewLogFile());
  EXPECT_EQ(gv_logFilePtr, nullptr);
}

TEST_F(LogWriterTest, OpenBeforeInitFails) {
  EXPECT_FALSE(OpenLogFile());
  EXPECT_EQ(gv_logFilePtr, nullptr);
}

TEST_F(LogWriterTest, WritersWithoutLockKeyWriteNothingEvenWithAdoptedStream) {
  fs::path path = dir.path() / "adopted.log";
  FILE* stream = fopen(path.string().c_str(), "w");
  ASSERT_NE(stream, nullptr);
  ASSERT_TRUE(SetLogFilePtr(stream));
  SetLogLevel(4);
  LogInfo("i\n");
  LogError("e\n");
  LogTrace("t\n");
  EXPECT_EQ(GetLogLockKey(), nullptr);
  EXPECT_EQ(ReadFile(path), "");  // no banner on adoption either

  // Settings made while the stream is adopted only reset the level: still no
  // key, still nothing written.
  ASSERT_TRUE(InitLogSettings());
  EXPECT_EQ(GetLogLevel(), 3);
  EXPECT_EQ(GetLogLockKey(), nullptr);
  LogInfo("i\n");
  EXPECT_EQ(ReadFile(path), "");

  // Settings made first, then the stream adopted: lines are written.
  gv_logFilePtr = nullptr;
  ASSERT_TRUE(InitLogSettings());
  EXPECT_NE(GetLogLockKey(), nullptr);
  ASSERT_TRUE(SetLogFilePtr(stream));
  LogInfo("i\n");
  EXPECT_EQ(ReadFile(path), Info("i\n"));
}

TEST_F(LogWriterTest, NothingIsWrittenAfterCloseOrFree) {
  OpenLog(4);
  CloseLogFile();
  std::string closed = ReadFile(LogPath());
  LogInfo("late\n");
  CloseLogFile();  // a second close writes no banner
  EXPECT_EQ(ReadFile(LogPath()), closed);
  FreeLogSettings();
  EXPECT_EQ(GetLogLockKey(), nullptr);
  EXPECT_EQ(GetLogFilePath(), nullptr);
}

TEST_F(LogWriterTest, InitLogSettingsStates) {
  // Fresh: defaults.
  ASSERT_TRUE(InitLogSettings());
  EXPECT_EQ(GetLogLevel(), 3);
  const void* key = GetLogLockKey();
  EXPECT_NE(key, nullptr);

  // A name set and no log open: nothing changes.
  SetLogLevel(1);
  ASSERT_TRUE(InitLogSettings());
  EXPECT_EQ(GetLogLevel(), 1);
  EXPECT_EQ(GetLogLockKey(), key);

  // A log open: the level goes back to 3 and the log stays open.
  ASSERT_TRUE(SetLogSettings("test.log", dir.str().c_str(), 1));
  ASSERT_TRUE(OpenLogFile());
  FILE* stream = gv_logFilePtr;
  ASSERT_TRUE(InitLogSettings());
  EXPECT_EQ(GetLogLevel(), 3);
  EXPECT_EQ(gv_logFilePtr, stream);
  EXPECT_EQ(GetLogLockKey(), key);
}

TEST_F(LogWriterTest, SettersRefuseMissingTexts) {
  ASSERT_TRUE(InitLogSettings());
  EXPECT_FALSE(SetLogSettings(nullptr, "d", 1));
  EXPECT_FALSE(SetLogSettings("f", nullptr, 1));
  EXPECT_EQ(GetLogLevel(), 3);  // a refused call changes nothing
  EXPECT_FALSE(SetLogFileName(nullptr));
  EXPECT_FALSE(SetLogDirectory(nullptr));
  EXPECT_FALSE(SetLogFilePtr(nullptr));

  ASSERT_TRUE(SetLogFileName("other.log"));
  ASSERT_TRUE(SetLogDirectory(dir.str().c_str()));
  ASSERT_TRUE(OpenLogFile());
  EXPECT_STREQ(GetLogFilePath(), (dir.str() + "/other.log").c_str());
}

TEST_F(LogWriterTest, InitMutexLogsItsEntryAtTrace) {
  OpenLog(4);
  InitMutex();
  EXPECT_EQ(Logged(), Trace("\n\t@@@@@ Inside InitMutex() @@@@@\n"));
  CloseMutex();
}

// Probes, whenever the writer reads the clock, whether the log's key is held
// at that moment (a take of a held key is refused).
class KeyProbe : public FakePlatform {
 public:
  bool probing = false;
  std::vector<int> takeResults;
  LocalTime GetLocalTime() override {
    if (probing) {
      int result = LockTableOperation(GetLogLockKey(), LOCK_TABLE_TAKE);
      if (result == LOCK_TABLE_TAKEN) LockTableOperation(GetLogLockKey(), LOCK_TABLE_RELEASE);
      takeResults.push_back(result);
    }
    return FakePlatform::GetLocalTime();
  }
};

TEST_F(LogWriterTest, EveryLineIsWrittenUnderTheLogKeyAndReleasesIt) {
  KeyProbe probe;
  FakePlatformScope installed(&probe);
  OpenLog(4);
  probe.probing = true;
  LogInfo("i\n");
  LogError("e\n");
  LogDebug("d\n");
  LogTrace("t\n");
  probe.probing = false;
  EXPECT_EQ(probe.takeResults,
            (std::vector<int>{LOCK_TABLE_BUSY, LOCK_TABLE_BUSY, LOCK_TABLE_BUSY, LOCK_TABLE_BUSY}));
  // Released after each line.
  EXPECT_EQ(LockTableOperation(GetLogLockKey(), LOCK_TABLE_TAKE), LOCK_TABLE_TAKEN);
  EXPECT_EQ(LockTableOperation(GetLogLockKey(), LOCK_TABLE_RELEASE), LOCK_TABLE_RELEASED);
}

struct ParentCase {
  const char* path;
  const char* parent;  // null: no parent
};

TEST(LogPathHelpers, GetParentPath) {
  const ParentCase cases[] = {
      {"a/b/c", "a/b"},  {"a/b/c/", "a/b"}, {"a/b//", "a"}, {"abc", nullptr},
      {"abc/", nullptr}, {"/abc", "/"},     {"a//b", "a/"}, {"C:\\agent\\logs", nullptr},
      {"", nullptr},
  };
  for (const ParentCase& c : cases) {
    SCOPED_TRACE(c.path);
    char* parent = GetParentPath(c.path);
    if (c.parent == nullptr) {
      EXPECT_EQ(parent, nullptr);
    } else {
      ASSERT_NE(parent, nullptr);
      EXPECT_STREQ(parent, c.parent);
    }
    free(parent);
  }
}

struct StripCase {
  const char* path;
  const char* stripped;
  bool isNewText;
};

TEST(LogPathHelpers, StripTrailingSlashes) {
  const StripCase cases[] = {
      {"a/b", "a/b", false}, {"a/b/", "a/b", true}, {"a///", "a", true},
      {"/", "", true},       {"", "", false},       {"a/b\\", "a/b\\", false},
  };
  for (const StripCase& c : cases) {
    SCOPED_TRACE(c.path);
    std::string input = c.path;
    char* result = StripTrailingSlashes(input.data());
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result, c.stripped);
    EXPECT_EQ(result != input.data(), c.isNewText);
    if (result != input.data()) free(result);
  }
}

// Scripts MakeDirectory's answers, so that the parent walk can be checked for
// paths a POSIX host would accept (such as folders written with '\').
class ScriptedDirectories : public FakePlatform {
 public:
  // First answer for a path; later calls (and paths without one) create the
  // folder once and then report that it exists.
  std::map<std::string, int> answers;
  std::set<std::string> created;
  std::vector<std::string> calls;
  int MakeDirectory(const char* path) override {
    calls.push_back(path);
    if (created.count(path) != 0) return 17;
    int result = 0;
    auto it = answers.find(path);
    if (it != answers.end()) {
      result = it->second;
      answers.erase(it);
    }
    if (result == 0) created.insert(path);
    return result;
  }
};

struct MakePathCase {
  const char* path;
  std::map<std::string, int> answers;
  int result;
  std::vector<std::string> calls;
};

TEST(LogPathHelpers, MakeDirectoryPathWalksUpOnlyForMissingParents) {
  const MakePathCase cases[] = {
      {"r/a", {}, 0, {"r/a"}},
      {"r/a", {{"r/a", 17}}, 1, {"r/a"}},
      {"r/a/b", {{"r/a/b", 2}, {"r/a", 2}, {"r", 17}}, 1, {"r/a/b", "r/a", "r"}},
      {"r/a/b", {{"r/a/b", 2}, {"r/a", 2}}, 0, {"r/a/b", "r/a", "r", "r/a", "r/a/b"}},
      {"C:\\agent\\logs", {{"C:\\agent\\logs", 2}}, 2, {"C:\\agent\\logs"}},
      {"r/a", {{"r/a", 13}}, 13, {"r/a"}},
      {"r/a/b", {{"r/a/b", 2}, {"r/a", 2}, {"r", 13}}, 13, {"r/a/b", "r/a", "r"}},
  };
  for (const MakePathCase& c : cases) {
    SCOPED_TRACE(c.path);
    ScriptedDirectories fake;
    FakePlatformScope scope(&fake);
    fake.answers = c.answers;
    EXPECT_EQ(MakeDirectoryPath(c.path), c.result);
    EXPECT_EQ(fake.calls, c.calls);
  }
}

TEST(LogPathHelpers, MakeDirectoryOnRealFolders) {
  FakePlatform fake;
  FakePlatformScope scope(&fake);
  TempDir dir;
  std::string deep = dir.str() + "/x/y/z";
  EXPECT_EQ(MakeDirectory(deep.c_str()), 2);
  EXPECT_EQ(MakeDirectoryPath(deep.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_EQ(MakeDirectory(deep.c_str()), 17);
  EXPECT_EQ(MakeDirectoryPath(deep.c_str()), 1);
}

}  // namespace
}  // namespace hv::test
