#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "logging/rotation.h"
#include "tests/logging/log_test_support.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

// File failures on demand, on top of the fake's real files.
class FailingFiles : public FakePlatform {
 public:
  std::map<std::string, int32_t> copyErrors;  // by source path
  int32_t truncateError = 0;
  int32_t deleteError = 0;
  int32_t findNextError = 0;
  int32_t sizeError = 0;

  int32_t CopyFile(const char* from, const char* to) override {
    auto it = copyErrors.find(from);
    if (it != copyErrors.end()) return it->second;
    return FakePlatform::CopyFile(from, to);
  }
  // Take results of the log's key probed during each truncation.
  std::vector<int> keyDuringTruncation;
  int32_t TruncateFile(const char* path) override {
    int probe = LockTableOperation(GetLogLockKey(), LOCK_TABLE_TAKE);
    if (probe == LOCK_TABLE_TAKEN) LockTableOperation(GetLogLockKey(), LOCK_TABLE_RELEASE);
    keyDuringTruncation.push_back(probe);
    return truncateError != 0 ? truncateError : FakePlatform::TruncateFile(path);
  }
  int32_t DeleteFile(const char* path) override {
    return deleteError != 0 ? deleteError : FakePlatform::DeleteFile(path);
  }
  bool FindNextFile(DirSearch* search, std::string* name, int32_t* error) override {
    if (findNextError != 0) {
      *error = findNextError;
      return false;
    }
    return FakePlatform::FindNextFile(search, name, error);
  }
  int32_t GetFileSize(const char* path, uint64_t* size, bool* openFailed) override {
    if (sizeError != 0) {
      *openFailed = false;
      return sizeError;
    }
    return FakePlatform::GetFileSize(path, size, openFailed);
  }
};

std::vector<int32_t> g_reported;
std::vector<int32_t> g_textLogged;
void RecordReport(int32_t code) {
  g_reported.push_back(code);
}
void RecordText(int32_t code) {
  g_textLogged.push_back(code);
}

class RotationTest : public testing::Test {
 protected:
  FailingFiles fake;
  FakePlatformScope scope{&fake};
  TempDir logDir;  // the writer's own log, outside the rotated folder
  TempDir dir;     // the rotated folder

  void SetUp() override {
    ResetLogWriter();
    SetRotationErrorReporters(nullptr, nullptr);
    g_reported.clear();
    g_textLogged.clear();
  }
  void TearDown() override {
    StopLogRotation();
    SetRotationErrorReporters(nullptr, nullptr);
    ResetLogWriter();
  }
  void OpenLog(uint8_t level) {
    ASSERT_TRUE(InitLogSettings());
    ASSERT_TRUE(SetLogSettings("test.log", logDir.str().c_str(), level));
    ASSERT_TRUE(OpenLogFile());
  }
  std::string Logged() const {
    std::string text = ReadFile(logDir.path() / "test.log");
    std::string banner = kOpenBanner;
    if (text.compare(0, banner.size(), banner) == 0) text.erase(0, banner.size());
    return text;
  }
  std::string F() const { return dir.str(); }
  std::string Live() const { return dir.str() + "/hv.log"; }
  // Names and contents of the rotated folder.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
  }
  void Put(const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) WriteFile(dir.path() / name, content);
  }
  static std::string I(const std::string& m) { return kInfoPrefix + m; }
  static std::string E(const std::string& m) { return kErrorPrefix + m; }
  static std::string D(const std::string& m) { return kDebugPrefix + m; }
};

TEST_F(RotationTest, OneRotationLogsEachStep) {
  OpenLog(4);
  Put({{"hv.log", "twelve bytes"}});
  EXPECT_EQ(RotateLoggerForEverRunningProcess(F().c_str(), "hv.log", 5, 10), 0);
  const std::string f = F();
  EXPECT_EQ(
      Logged(),
      I("RotateLoggerForEverRunningProcess : cSfileName : " + f + "/hv.log \n") +
          I("CheckLogSizeReached : The log file size of " + f + "/hv.log is given by 12 \n") +
          I("CheckLogSizeReached : The size is greater than the given size .........\n") +
          I("\n @@@@@@@@@@@@@@@Inside RotateSpecificLogs Method @@@@@@@@@@@@@\n") +
          I("RotateSpecificLogs : Log File Name : hv.log\n") +
          D("@@@@@@@@@@@@Inside FindNoOfRepeatedFileNames Method @@@@@@@@@\n") +
          I("FindNoOfRepeatedFileNames : Successfully allocated szFormattedPath and the value is " +
            f + "//hv*.*  .\n") +
          I("FindNoOfRepeatedFileNames : Successfully finded out first file  100  .\n") +
          I("FindNoOfRepeatedFileNames : after memset of szSrcPath is  " + f + "//hv.log  .\n") +
          I("FindNoOfRepeatedFileNames : Going to Free the allocated memory in this method.\n") +
          D("@@@@@@@@@@@@End of FindNoOfRepeatedFileNames Method with return value of No of file "
            "count : 1\t  @@@@@@@@@\n") +
          I("RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method is : "
            "1 \n") +
          I("RotateSpecificLogs : The tempFileName1 : " + f + "//hv0.log . \n") +
          I("RotateSpecificLogs : The tempFileName2 : " + f + "//hv1.log . \n") +
          I("RotateSpecificLogs : The live log " + f + "//hv.log was copied to " + f +
            "//hv1.log and is now emptied . \n") +
          I("\n @@@@@@@@@@@@@@@ End of RotateSpecificLogs Method with error code 0 "
            "@@@@@@@@@@@@@\n"));
  EXPECT_EQ(Files(),
            (std::map<std::string, std::string>{{"hv.log", ""}, {"hv1.log", "twelve bytes"}}));
}

struct SizeCase {
  uint64_t size;
  int reached;
};

TEST_F(RotationTest, RotatesFromTheMaximumSizeOn) {
  const SizeCase cases[] = {{0, 0}, {1999999, 0}, {2000000, 1}, {2000001, 1}};
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.size);
    fs::remove_all(dir.path());
    fs::create_directories(dir.path());
    Put({{"hv.log", std::string(c.size, 'x')}});
    EXPECT_EQ(CheckLogSizeReached(Live().c_str(), 2000000), c.reached);
    EXPECT_EQ(RotateLoggerForEverRunningProcess(F().c_str(), "hv.log", 5, 2000000), 0);
    EXPECT_EQ(fs::file_size(Live()), c.reached ? 0u : c.size);
    EXPECT_EQ(fs::exists(dir.path() / "hv1.log"), c.reached == 1);
  }
}

TEST_F(RotationTest, SizeCheckLines) {
  OpenLog(3);
  Put({{"hv.log", "abc"}});
  EXPECT_EQ(CheckLogSizeReached(Live().c_str(), 4), 0);
  EXPECT_EQ(Logged(),
            I("CheckLogSizeReached : The log file size of " + Live() + " is given by 3 \n") +
                D("CheckLogSizeReached : The size is less the required size \n"));
}

TEST_F(RotationTest, MissingLiveLogCountsAsEmpty) {
  OpenLog(2);
  EXPECT_EQ(RotateLoggerForEverRunningProcess(F().c_str(), "hv.log", 5, 1), 0);
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(Logged(),
            I("RotateLoggerForEverRunningProcess : cSfileName : " + Live() + " \n") +
                E("CheckLogSizeReached : Unable to get the file handle \n") +
                E("Error Code : 2 \n") +
                I("CheckLogSizeReached : The log file size of " + Live() + " is given by 0 \n"));
}

TEST_F(RotationTest, FailedSizeQueryCountsAsEmpty) {
  OpenLog(2);
  Put({{"hv.log", "abc"}});
  fake.sizeError = 5;
  EXPECT_EQ(CheckLogSizeReached(Live().c_str(), 1), 0);
  EXPECT_EQ(Logged(),
            E("CheckLogSizeReached : Error occurred in getting the size 5 \n") +
                I("CheckLogSizeReached : The log file size of " + Live() + " is given by 0 \n"));
}

struct ShiftCase {
  const char* name;
  int32_t maxFiles;
  std::map<std::string, std::string> before;
  std::map<std::string, std::string> after;
};

TEST_F(RotationTest, NumberedFilesMoveUpByOne) {
  const ShiftCase cases[] = {
      {"live only", 5, {{"hv.log", "L"}}, {{"hv.log", ""}, {"hv1.log", "L"}}},
      {"live and 1",
       5,
       {{"hv.log", "L"}, {"hv1.log", "1"}},
       {{"hv.log", ""}, {"hv1.log", "L"}, {"hv2.log", "1"}}},
      {"one slot left",
       5,
       {{"hv.log", "L"}, {"hv1.log", "1"}, {"hv2.log", "2"}, {"hv3.log", "3"}},
       {{"hv.log", ""}, {"hv1.log", "L"}, {"hv2.log", "1"}, {"hv3.log", "2"}, {"hv4.log", "3"}}},
      {"full: the oldest falls away",
       5,
       {{"hv.log", "L"}, {"hv1.log", "1"}, {"hv2.log", "2"}, {"hv3.log", "3"}, {"hv4.log", "4"}},
       {{"hv.log", ""}, {"hv1.log", "L"}, {"hv2.log", "1"}, {"hv3.log", "2"}, {"hv4.log", "3"}}},
      {"another file with the base counts too",
       5,
       {{"hv.log", "L"},
        {"hv1.log", "1"},
        {"hv2.log", "2"},
        {"hv3.log", "3"},
        {"hv4.log", "4"},
        {"hv_old.txt", "old"}},
       {{"hv.log", ""},
        {"hv1.log", "L"},
        {"hv2.log", "1"},
        {"hv3.log", "2"},
        {"hv4.log", "3"},
        {"hv_old.txt", "old"}}},
      {"a gap stays a gap",
       5,
       {{"hv.log", "L"}, {"hv1.log", "1"}, {"hv3.log", "3"}},
       {{"hv.log", ""}, {"hv1.log", "L"}, {"hv2.log", "1"}, {"hv3.log", "3"}}},
      {"three files kept",
       3,
       {{"hv.log", "L"}, {"hv1.log", "1"}, {"hv2.log", "2"}},
       {{"hv.log", ""}, {"hv1.log", "L"}, {"hv2.log", "1"}}},
      {"other names are left alone",
       5,
       {{"hv.log", "L"}, {"other.log", "o"}, {"xhv1.log", "x"}},
       {{"hv.log", ""}, {"hv1.log", "L"}, {"other.log", "o"}, {"xhv1.log", "x"}}},
  };
  for (const ShiftCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir.path());
    fs::create_directories(dir.path());
    Put(c.before);
    EXPECT_EQ(RotateSpecificLogs((F() + "/").c_str(), "hv.log", c.maxFiles, 0, 1), 0);
    EXPECT_EQ(Files(), c.after);
  }
}

TEST_F(RotationTest, FullFolderDeletesAndShiftLinesAtInfo) {
  OpenLog(1);
  Put({{"hv.log", "L"}, {"hv1.log", "1"}, {"hv2.log", "2"}, {"hv3.log", "3"}, {"hv4.log", "4"}});
  RotateSpecificLogs((F() + "/").c_str(), "hv.log", 5, 0, 1);
  std::string logged = Logged();
  const std::string p = F() + "//hv";
  EXPECT_PRED2(
      Contains, logged,
      I("RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method "
        "is : 5 \n") +
          I("RotateSpecificLogs : The tempFileName1 : " + p + "4.log . \n") +
          I("RotateSpecificLogs : The file " + p + "4.log was successfully deleted..:\n") +
          I("RotateSpecificLogs : The tempFileName2 : " + p + "4.log . \n") +
          I("RotateSpecificLogs : File copied from " + p + "3.log to  " + p + "4.log . \n") +
          I("RotateSpecificLogs : The file " + p + "3.log was successfully deleted..:\n") +
          I("RotateSpecificLogs : The tempFileName1 : " + p + "2.log . \n"));
}

TEST_F(RotationTest, CountAboveMaximumDeletesThePastEndFileAndStartsAtTheLast) {
  OpenLog(1);
  Put({{"hv.log", "L"},
       {"hv_a.txt", ""},
       {"hv_b.txt", ""},
       {"hv_c.txt", ""},
       {"hv_d.txt", ""},
       {"hv_e.txt", ""}});
  RotateSpecificLogs((F() + "/").c_str(), "hv.log", 5, 0, 1);
  const std::string p = F() + "//hv";
  EXPECT_PRED2(Contains, Logged(),
               I("RotateSpecificLogs : The tempFileName1 : " + p + "5.log . \n") +
                   I("RotateSpecificLogs : Unable to delete the file " + p +
                     "5.log and the error code is :2\n") +
                   I("RotateSpecificLogs : The tempFileName2 : " + p + "4.log . \n") +
                   I("RotateSpecificLogs : CopyFile failed to move from " + p + "3.log to  " + p +
                     "4.log and the error code is 2 \n"));
  EXPECT_EQ(ReadFile(dir.path() / "hv1.log"), "L");
}

TEST_F(RotationTest, SeveralNamesSeparatedBySemicolons) {
  Put({{"a.log", "A"}, {"b.log", "B"}});
  EXPECT_EQ(RotateSpecificLogs((F() + "/").c_str(), ";a.log;;b.log;", 5, 0, 1), 0);
  EXPECT_EQ(Files(), (std::map<std::string, std::string>{
                         {"a.log", ""}, {"a1.log", "A"}, {"b.log", ""}, {"b1.log", "B"}}));
}

TEST_F(RotationTest, LiveLogIsEmptiedUnderTheLogKey) {
  OpenLog(1);
  Put({{"hv.log", "L"}});
  RotateSpecificLogs((F() + "/").c_str(), "hv.log", 5, 0, 1);
  EXPECT_EQ(fake.keyDuringTruncation, (std::vector<int>{LOCK_TABLE_BUSY}));
  EXPECT_EQ(LockTableOperation(GetLogLockKey(), LOCK_TABLE_TAKE), LOCK_TABLE_TAKEN);
  EXPECT_EQ(LockTableOperation(GetLogLockKey(), LOCK_TABLE_RELEASE), LOCK_TABLE_RELEASED);
}

TEST_F(RotationTest, FailedLiveCopyKeepsTheLiveLog) {
  OpenLog(1);
  Put({{"hv.log", "L"}});
  const std::string live = F() + "//hv.log";
  fake.copyErrors[live] = 5;
  RotateSpecificLogs((F() + "/").c_str(), "hv.log", 5, 0, 1);
  EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"hv.log", "L"}}));
  EXPECT_PRED2(Contains, Logged(),
               I("RotateSpecificLogs : CopyFile failed to copy the live log " + live + " to " +
                 F() + "//hv1.log and the error code is 5 \n"));
}

TEST_F(RotationTest, FailedTruncationGoesToStandardOutput) {
  OpenLog(1);
  Put({{"hv.log", "L"}});
  fake.truncateError = 32;
  testing::internal::CaptureStdout();
  RotateSpecificLogs((F() + "/").c_str(), "hv.log", 5, 0, 1);
  std::string out = testing::internal::GetCapturedStdout();
  const std::string live = F() + "//hv.log";
  EXPECT_EQ(out, "RotateSpecificLogs : Unable to empty the live log " + live +
                     " and the error code is 32\n");
  EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"hv.log", "L"}, {"hv1.log", "L"}}));
  EXPECT_FALSE(Contains(Logged(), "Unable to empty"));
}

TEST_F(RotationTest, FailedDeleteIsLoggedAndSkipped) {
  OpenLog(1);
  Put({{"hv.log", "L"}, {"hv1.log", "1"}});
  fake.deleteError = 5;
  RotateSpecificLogs((F() + "/").c_str(), "hv.log", 5, 0, 1);
  EXPECT_PRED2(Contains, Logged(),
               I("RotateSpecificLogs : Unable to delete the file " + F() +
                 "//hv1.log and the error code is :5\n"));
  EXPECT_EQ(Files(), (std::map<std::string, std::string>{
                         {"hv.log", ""}, {"hv1.log", "L"}, {"hv2.log", "1"}}));
}

TEST_F(RotationTest, CountingFolderEntries) {
  Put({{"hv.log", ""}, {"hv1.log", ""}, {"hv_old.txt", ""}, {"other.log", ""}});
  fs::create_directories(dir.path() / "hvfolder");
  EXPECT_EQ(FindNoOfRepeatedFileNames(F().c_str(), "hv"), 4);
  EXPECT_EQ(FindNoOfRepeatedFileNames(F().c_str(), "other"), 1);
  EXPECT_EQ(FindNoOfRepeatedFileNames(F().c_str(), "none"), -1);
  EXPECT_EQ(FindNoOfRepeatedFileNames((F() + "/missing").c_str(), "hv"), -1);
}

TEST_F(RotationTest, FailedSearchCountsAsMinusOneAndShiftsNothing) {
  OpenLog(2);
  EXPECT_EQ(FindNoOfRepeatedFileNames((F() + "/missing").c_str(), "hv"), -1);
  EXPECT_EQ(
      Logged(),
      I("FindNoOfRepeatedFileNames : Successfully allocated szFormattedPath and the value is " +
        F() + "/missing/hv*.*  .\n") +
          I("FindNoOfRepeatedFileNames : Successfully finded out first file  -1  .\n") +
          E("Error Code : 3 \n") +
          E("FindNumberOfRepeatedFileNames : Unable to find the files/folder.\n") +
          I("FindNoOfRepeatedFileNames : Going to Free the allocated memory in this "
            "method.\n"));

  Put({{"hv.log", "L"}, {"hv1.log", "1"}});
  fake.findNextError = 5;
  EXPECT_EQ(FindNoOfRepeatedFileNames(F().c_str(), "hv"), -1);
  EXPECT_PRED2(Contains, Logged(),
               E("FindNumberOfRepeatedFileNames : Couldn't find next file :5\n"));
  RotateSpecificLogs((F() + "/").c_str(), "hv.log", 5, 0, 1);
  EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"hv.log", "L"}, {"hv1.log", "1"}}));
}

TEST_F(RotationTest, ReportersReceiveTheFailedCodes) {
  SetRotationErrorReporters(RecordReport, RecordText);
  OpenLog(2);
  CheckLogSizeReached(Live().c_str(), 1);        // open fails: 2
  FindNoOfRepeatedFileNames(F().c_str(), "hv");  // nothing matches: 2
  fake.createTimerQueueError = 8;
  LogRotationConfig config;
  config.folder = F();
  config.fileName = "hv.log";
  StartLogRotation(&config);
  EXPECT_EQ(g_textLogged, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(g_reported, (std::vector<int32_t>{2, 8}));
  EXPECT_FALSE(Contains(Logged(), "Error Code :"));
}

TEST_F(RotationTest, TimerChecksAgainAndReArms) {
  OpenLog(4);
  LogRotationConfig config;
  config.folder = F();
  config.fileName = "hv.log";
  config.maxSize = 5;
  StartLogRotation(&config);
  EXPECT_EQ(fake.timerQueuesCreated, 1);
  ASSERT_EQ(fake.timers.size(), 1u);
  EXPECT_NE(fake.timers[0].queue, nullptr);
  EXPECT_EQ(fake.timers[0].dueMilliseconds, 900000u);
  EXPECT_EQ(fake.timers[0].context, &config);
  std::string logged = Logged();
  EXPECT_EQ(logged.find(I("ServiceMain : TimerQueue is created successfully \n")), 0u);
  EXPECT_PRED2(
      Contains, logged,
      D("LoggerTimerMethod : Registered the TimerRoutime callback in next 15 minutes . \n"));

  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    Put({{"hv.log", "full log " + std::to_string(round)}});
    EXPECT_EQ(fake.FireTimers(), 1);
    ASSERT_EQ(fake.timers.size(), 1u);  // re-armed
    EXPECT_EQ(ReadFile(dir.path() / "hv1.log"), "full log " + std::to_string(round));
  }
  logged = Logged();
  size_t inside = 0;
  for (size_t at = logged.find("LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n");
       at != std::string::npos;
       at = logged.find("LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n", at + 1))
    ++inside;
  EXPECT_EQ(inside, 3u);
  EXPECT_PRED2(
      Contains, logged,
      D("LoggerTimerMethod : Registered the TimerRoutime callback in next 15 minutes . \n") +
          I("LoggerTimerRoutine : End of LoggerTimerRoutine Method\n"));

  StopLogRotation();
  EXPECT_EQ(fake.timerQueuesDeleted, 1);
  EXPECT_TRUE(fake.timers.empty());
}

TEST_F(RotationTest, TimerPeriodIsConfigurable) {
  OpenLog(3);
  LogRotationConfig config;
  config.folder = F();
  config.fileName = "hv.log";
  config.timerPeriod = 120000;
  StartLogRotation(&config);
  ASSERT_EQ(fake.timers.size(), 1u);
  EXPECT_EQ(fake.timers[0].dueMilliseconds, 120000u);
  EXPECT_PRED2(Contains, Logged(), "callback in next 2 minutes . \n");
}

TEST_F(RotationTest, WithoutQueueTheDefaultQueueIsUsedAndStopSilencesIt) {
  OpenLog(2);
  fake.createTimerQueueError = 8;
  LogRotationConfig config;
  config.folder = F();
  config.fileName = "hv.log";
  StartLogRotation(&config);
  EXPECT_EQ(
      Logged().find(E("ServiceMain : CreateTimerQueue is failed due to following error !! \n") +
                    E("Error Code : 8 \n")),
      0u);
  ASSERT_EQ(fake.timers.size(), 1u);
  EXPECT_EQ(fake.timers[0].queue, nullptr);
  EXPECT_EQ(fake.FireTimers(), 1);
  EXPECT_EQ(fake.timers.size(), 1u);

  StopLogRotation();
  EXPECT_EQ(fake.timerQueuesDeleted, 0);  // there is no queue to delete
  std::string before = Logged();
  EXPECT_EQ(fake.FireTimers(), 1);  // a timer left in the default queue
  EXPECT_TRUE(fake.timers.empty());
  EXPECT_EQ(Logged(), before);
}

TEST_F(RotationTest, FailedTimerEndsTheChecks) {
  OpenLog(2);
  fake.createTimerError = 8;
  LogRotationConfig config;
  config.folder = F();
  config.fileName = "hv.log";
  EXPECT_EQ(LoggerTimerMethod(&config), 8);
  EXPECT_TRUE(fake.timers.empty());
  EXPECT_PRED2(Contains, Logged(),
               E("LoggerTimerMethod : CreateTimerQueueTimer failed due to following error \n") +
                   E("Error Code : 8 \n"));
}

TEST_F(RotationTest, WithoutTimerRotatesOnceAtStart) {
  Put({{"hv.log", "L"}});
  LogRotationConfig config;
  config.folder = F();
  config.fileName = "hv.log";
  config.maxSize = 1;
  config.useTimer = false;
  StartLogRotation(&config);
  EXPECT_EQ(fake.timerQueuesCreated, 0);
  EXPECT_TRUE(fake.timers.empty());
  EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"hv.log", ""}, {"hv1.log", "L"}}));
}

TEST_F(RotationTest, OpenStreamGoesOnAtTheNewEndAfterTruncation) {
  // The rotated live log is the writer's own open log.
  ASSERT_TRUE(InitLogSettings());
  ASSERT_TRUE(SetLogSettings("hv.log", F().c_str(), 1));
  ASSERT_TRUE(OpenLogFile());
  LogInfo("%s\n", std::string(3000, 'x').c_str());
  ASSERT_GE(fs::file_size(Live()), 3000u);
  EXPECT_EQ(RotateLoggerForEverRunningProcess(F().c_str(), "hv.log", 5, 3000), 0);
  LogInfo("after rotation\n");
  std::string live = ReadFile(Live());
  EXPECT_LT(live.size(), 3000u);
  EXPECT_EQ(live.find('\0'), std::string::npos);
  EXPECT_EQ(live.compare(0, std::string(kInfoPrefix).size(), kInfoPrefix), 0);
  EXPECT_TRUE(Contains(live, I("after rotation\n")));
  EXPECT_TRUE(Contains(ReadFile(dir.path() / "hv1.log"), std::string(3000, 'x')));
}

}  // namespace
}  // namespace hv::test
