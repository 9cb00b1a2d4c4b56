#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "agent/agent_log.h"
#include "agent/settings.h"
#include "logging/log.h"
#include "logging/rotation.h"
#include "tests/logging/log_test_support.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

constexpr char kAgentKey[] = "SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent";
constexpr char kLogName[] = "hvprereqhandler.log";

class AgentLogTest : public testing::Test {
 protected:
  FakePlatform fake;
  FakePlatformScope scope{&fake};
  TempDir dir;

  void SetUp() override {
    ResetLogWriter();
    agentEventEnabled = 1;
  }
  void TearDown() override {
    ShutdownAgentLogging();
    SetRotationErrorReporters(nullptr, nullptr);
    ResetLogWriter();
    agentEventEnabled = 1;
  }
  // The installation folder as the agent stores it, with its trailing
  // separator.
  std::string InstallDir() const { return dir.str() + "/Agent/"; }
  fs::path LiveLog() const { return dir.path() / "Agent" / "logs" / kLogName; }
  void Install() { fake.SetString(kAgentKey, "HVAgentInstallDir", InstallDir()); }
};

TEST_F(AgentLogTest, SetUpOpensTheLogInTheLogsFolderAndShutDownClosesIt) {
  Install();
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  ASSERT_NE(agentInstallDir, nullptr);
  EXPECT_EQ(std::string(agentInstallDir), InstallDir());
  EXPECT_EQ(std::string(GetLogFilePath()), dir.str() + "/Agent/logs/" + kLogName);
  EXPECT_EQ(GetLogLevel(), 2);  // HVAgentLogLevel is missing
  EXPECT_EQ(agentEventEnabled, 1);
  EXPECT_EQ(fake.timerQueuesCreated, 1);
  ASSERT_EQ(fake.timers.size(), 1u);
  EXPECT_EQ(fake.timers[0].dueMilliseconds, 900000u);
  // Lines of the first size check and of the settings reads came before the
  // open: only the banner is there.
  EXPECT_EQ(ReadFile(LiveLog()), kOpenBanner);

  LogInfo("working\n");
  LogDebug("not at level 2\n");
  EXPECT_EQ(ShutdownAgentLogging(), 0);
  EXPECT_EQ(ReadFile(LiveLog()),
            std::string(kOpenBanner) + kInfoPrefix + "working\n" + kCloseBanner);
  EXPECT_EQ(fake.timerQueuesDeleted, 1);
  EXPECT_TRUE(fake.timers.empty());
  EXPECT_EQ(agentInstallDir, nullptr);
  EXPECT_EQ(GetLogLockKey(), nullptr);
  EXPECT_EQ(gv_logFilePtr, nullptr);
}

TEST_F(AgentLogTest, MissingInstallationFolderMeansNoLogAndNoRotation) {
  EXPECT_EQ(InitAgentLogging(kLogName), 2);
  EXPECT_EQ(gv_logFilePtr, nullptr);
  EXPECT_EQ(fake.timerQueuesCreated, 0);
  EXPECT_TRUE(fake.timers.empty());
  EXPECT_EQ(agentInstallDir, nullptr);
  LogInfo("dropped\n");
  EXPECT_EQ(ShutdownAgentLogging(), 0);
}

TEST_F(AgentLogTest, FolderWithoutTrailingSeparatorGetsLogsAppended) {
  fake.SetString(kAgentKey, "HVAgentInstallDir", dir.str() + "/Agent");
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "Agentlogs" / kLogName));
}

struct LevelCase {
  const char* name;
  bool stored;
  uint32_t value;
  uint8_t level;
};

TEST_F(AgentLogTest, LevelComesFromTheLowByteOfTheRegistryValue) {
  const LevelCase cases[] = {{"missing", false, 0, 2}, {"0", true, 0, 0},
                             {"1", true, 1, 1},        {"4", true, 4, 4},
                             {"256", true, 256, 0},    {"259", true, 259, 3}};
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform registry;
    FakePlatformScope installed(&registry);
    registry.SetString(kAgentKey, "HVAgentInstallDir", InstallDir());
    if (c.stored) registry.SetDword(kAgentKey, "HVAgentLogLevel", c.value);
    fs::remove_all(dir.path() / "Agent");
    EXPECT_EQ(InitAgentLogging(kLogName), 0);
    EXPECT_EQ(GetLogLevel(), c.level);
    LogInfo("info\n");
    ShutdownAgentLogging();
    std::string expected = kOpenBanner;
    if (c.level >= 1) expected += std::string(kInfoPrefix) + "info\n";
    expected += kCloseBanner;
    EXPECT_EQ(ReadFile(LiveLog()), expected);
  }
}

TEST_F(AgentLogTest, EventFlagComesFromTheRegistry) {
  Install();
  fake.SetDword(kAgentKey, "HVEventEnabled", 0);
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  EXPECT_EQ(agentEventEnabled, 0);
  ShutdownAgentLogging();

  FakePlatform registry;
  FakePlatformScope installed(&registry);
  registry.SetString(kAgentKey, "HVAgentInstallDir", InstallDir());
  agentEventEnabled = 0;
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  EXPECT_EQ(agentEventEnabled, 1);
}

TEST_F(AgentLogTest, FullLogIsRotatedBeforeTheRunAppendsToIt) {
  Install();
  fs::create_directories(LiveLog().parent_path());
  WriteFile(LiveLog(), std::string(2000000, 'o'));
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  fs::path first = LiveLog().parent_path() / "hvprereqhandler1.log";
  ASSERT_TRUE(fs::exists(first));
  EXPECT_EQ(fs::file_size(first), 2000000u);
  EXPECT_EQ(ReadFile(LiveLog()), kOpenBanner);
}

TEST_F(AgentLogTest, TimerKeepsCheckingWhileTheLogIsOpen) {
  Install();
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  EXPECT_EQ(fake.FireTimers(), 1);
  EXPECT_EQ(fake.FireTimers(), 1);
  std::string logged = ReadFile(LiveLog());
  EXPECT_PRED2(Contains, logged,
               std::string(kInfoPrefix) +
                   "LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n" + kInfoPrefix +
                   "RotateLoggerForEverRunningProcess : cSfileName : " + LiveLog().string() +
                   " \n");
  EXPECT_EQ(fake.timers.size(), 1u);
}

TEST_F(AgentLogTest, RotationReportsFailuresWithReadableTexts) {
  Install();
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  CheckLogSizeReached((dir.str() + "/missing.log").c_str(), 10);
  fake.createTimerError = 8;
  fake.systemMessages[8] = "Not enough memory resources are available to process this command. ";
  EXPECT_EQ(fake.FireTimers(), 1);
  std::string logged = ReadFile(LiveLog());
  EXPECT_PRED2(
      Contains, logged,
      std::string(kErrorPrefix) + "CheckLogSizeReached : Unable to get the file handle \n" +
          kErrorPrefix +
          "Error Code : 2 , Error Message : The system cannot find the file specified. \n");
  EXPECT_PRED2(Contains, logged,
               std::string(kErrorPrefix) +
                   "LoggerTimerMethod : CreateTimerQueueTimer failed due to following error \n" +
                   kErrorPrefix +
                   "Error Code : 8 , Error Message : Not enough memory resources are available to "
                   "process this command.  \n");
}

TEST_F(AgentLogTest, SecondSetUpStopsTheFirstRotation) {
  Install();
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  EXPECT_EQ(InitAgentLogging(kLogName), 0);
  EXPECT_EQ(fake.timerQueuesCreated, 2);
  EXPECT_EQ(fake.timerQueuesDeleted, 1);
  EXPECT_EQ(fake.timers.size(), 1u);  // one pending check, not two
}

TEST_F(AgentLogTest, OpenAgentLogModesAndFailure) {
  std::string folder = dir.str() + "/logs";
  fs::create_directories(folder);
  WriteFile(folder + "/a.log", "old\n");
  EXPECT_EQ(OpenAgentLog("a.log", folder.c_str(), 1), 0);
  CloseLogFile();
  EXPECT_EQ(ReadFile(folder + "/a.log"), std::string("old\n") + kOpenBanner + kCloseBanner);
  FreeLogSettings();

  EXPECT_EQ(OpenAgentLog("a.log", folder.c_str(), 2), 0);
  CloseLogFile();
  EXPECT_EQ(ReadFile(folder + "/a.log"), std::string(kOpenBanner) + kCloseBanner);
  FreeLogSettings();

  WriteFile(dir.path() / "blocker", "");
  EXPECT_EQ(OpenAgentLog("a.log", (dir.str() + "/blocker").c_str(), 1), 13);
  EXPECT_EQ(gv_logFilePtr, nullptr);
}

}  // namespace
}  // namespace hv::test
