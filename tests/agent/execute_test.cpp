#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "agent/execute.h"
#include "tests/logging/log_test_support.h"

namespace hv::test {
namespace {

constexpr char kCommand[] = "MsiExec.exe /x{1234} /qn /norestart";
constexpr char kSystemFolder[] = "C:\\Windows\\system32";

class ExecuteTest : public LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    shutdownInProgress = 0;
    fake.systemMessages[3010] =
        "The requested operation is successful. Changes will not be effective until the system is "
        "rebooted. ";
    fake.systemMessages[1641] = "The requested operation completed successfully. ";
  }
  void TearDown() override {
    shutdownInProgress = 0;
    LoggedTest::TearDown();
  }
  void Outcome(FakePlatform::CommandOutcome outcome) {
    fake.onCreateProcess = [outcome](const std::string&) { return outcome; };
  }
  // Runs execute and keeps the remarks.
  int32_t Run(const char* workingDirectory, uint32_t minutes, int32_t showWindow = 0) {
    char* text = nullptr;
    int32_t result = execute(workingDirectory, kCommand, &text, minutes, showWindow);
    remarks = text != nullptr ? text : "(none)";
    free(text);
    return result;
  }
  std::string remarks;
};

TEST_F(ExecuteTest, ExitCodeAndItsRemarks) {
  OpenLog(4);
  FakePlatform::CommandOutcome outcome;
  outcome.exitCode = 1605;
  outcome.runMilliseconds = 5000;
  Outcome(outcome);
  EXPECT_EQ(Run(kSystemFolder, 20), 1605);
  EXPECT_EQ(remarks, fake.systemMessages[1605]);
  ASSERT_EQ(fake.started.size(), 1u);
  EXPECT_EQ(fake.started[0].commandLine, kCommand);
  EXPECT_EQ(fake.started[0].workingDirectory, kSystemFolder);
  EXPECT_FALSE(fake.started[0].showWindow);
  const std::string text = fake.systemMessages[1605];
  EXPECT_EQ(Logged(),
            Debug("@@@@@@@@ Inside execute Method @@@@@@@@ \n") +
                Info("execute : Current Working Directory : C:\\agent \n") +
                Info("execute : Executing Application Source : " + std::string(kCommand) + " \n") +
                Info("execute : Set Working Directory : C:\\Windows\\system32 \n") +
                Info("execute : Process successfully created for application " +
                     std::string(kCommand) + " \n") +
                Error("Error Code : 1605 , Error Message : " + text + " \n") +
                Info("execute : Exit code for the application : 1605 \n") +
                Info("execute : Remarks from the CreateProcess is " + text +
                     " for the executable " + kCommand + " \n") +
                Debug("@@@@@@@@ End Of execute Method @@@@@@@@ \n"));
}

TEST_F(ExecuteTest, CurrentDirectoryIsRestored) {
  struct Case {
    const char* name;
    FakePlatform::CommandOutcome outcome;
  };
  FakePlatform::CommandOutcome fails;
  fails.createError = 2;
  FakePlatform::CommandOutcome hangs;
  hangs.runsForever = true;
  FakePlatform::CommandOutcome waitFails;
  waitFails.waitError = 6;
  const Case cases[] = {
      {"ran", {}}, {"not started", fails}, {"timed out", hangs}, {"wait failed", waitFails}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.directoryChanges.clear();
    fake.currentDirectory = "C:\\agent";
    Outcome(c.outcome);
    Run(kSystemFolder, 20);
    EXPECT_EQ(fake.currentDirectory, "C:\\agent");
    EXPECT_EQ(fake.directoryChanges, (std::vector<std::string>{kSystemFolder, "C:\\agent"}));
  }
}

TEST_F(ExecuteTest, WithoutWorkingDirectoryTheCurrentOneIsLeftAlone) {
  EXPECT_EQ(Run(nullptr, 20), 0);
  EXPECT_TRUE(fake.directoryChanges.empty());
  ASSERT_EQ(fake.started.size(), 1u);
  EXPECT_EQ(fake.started[0].workingDirectory, "(null)");
}

struct FoldCase {
  uint32_t exitCode;
  int32_t installerResult;
};

TEST_F(ExecuteTest, InstallerSuccessCodesFoldIntoZero) {
  const FoldCase cases[] = {{0, 0},       {1508, 0},    {1641, 0}, {3010, 0},
                            {1605, 1605}, {1618, 1618}, {1, 1},    {3011, 3011}};
  for (const FoldCase& c : cases) {
    SCOPED_TRACE(c.exitCode);
    FakePlatform::CommandOutcome outcome;
    outcome.exitCode = c.exitCode;
    Outcome(outcome);
    EXPECT_EQ(Run(kSystemFolder, 20), static_cast<int32_t>(c.exitCode));
    char* text = nullptr;
    EXPECT_EQ(ExecuteInstallerCommand(kSystemFolder, kCommand, &text, 20, 0), c.installerResult);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), remarks);  // the remarks stay those of the exit code
    free(text);
  }
}

TEST_F(ExecuteTest, RebootRequiredKeepsItsSystemText) {
  FakePlatform::CommandOutcome outcome;
  outcome.exitCode = 3010;
  Outcome(outcome);
  EXPECT_EQ(Run(kSystemFolder, 20), 3010);
  EXPECT_EQ(remarks, fake.systemMessages[3010]);
}

TEST_F(ExecuteTest, MissingProgramIsNotWaitedFor) {
  OpenLog(2);
  FakePlatform::CommandOutcome outcome;
  outcome.createError = 2;
  Outcome(outcome);
  uint32_t ticks = fake.tickCount;
  EXPECT_EQ(Run(kSystemFolder, 20), 2);
  EXPECT_EQ(remarks, "The system cannot find the file specified. ");
  EXPECT_EQ(fake.tickCount, ticks);
  EXPECT_TRUE(fake.started.empty());
  EXPECT_PRED2(Contains, Logged(),
               Info("execute : Failed to Create the Process for the application \n") +
                   Error("Error Code : 2 , Error Message : The system cannot find the file "
                         "specified.  \n") +
                   Info("execute : Remarks from the CreateProcess is The system cannot find the "
                        "file specified.  for the executable " +
                        std::string(kCommand) + " \n"));
}

TEST_F(ExecuteTest, MissingWorkingDirectoryStartsNothing) {
  OpenLog(2);
  fake.missingDirectories = {"D:\\nowhere"};
  EXPECT_EQ(Run("D:\\nowhere", 20), 3);
  EXPECT_EQ(remarks, "The system cannot find the path specified. ");
  EXPECT_TRUE(fake.started.empty());
  EXPECT_EQ(fake.currentDirectory, "C:\\agent");
  const std::string text = "The system cannot find the path specified. ";
  EXPECT_EQ(Logged(),
            Info("execute : Current Working Directory : C:\\agent \n") +
                Info("execute : Executing Application Source : " + std::string(kCommand) + " \n") +
                Info("execute : Set Working Directory : D:\\nowhere \n") +
                Error("execute : Failed to set the WorkingDirectory D:\\nowhere \n ") +
                Error("Error Code : 3 , Error Message : " + text + " \n") +
                Error("Error Code : 3 , Error Message : " + text + " \n"));
}

TEST_F(ExecuteTest, TimeoutTerminatesTheProcessAndShowsTheMinutes) {
  OpenLog(2);
  FakePlatform::CommandOutcome outcome;
  outcome.runsForever = true;
  Outcome(outcome);
  uint32_t ticks = fake.tickCount;
  EXPECT_EQ(Run(kSystemFolder, 20), 258);
  EXPECT_EQ(remarks, "The wait operation timed out. ");
  EXPECT_EQ(fake.tickCount - ticks, 20u * 60000u);
  EXPECT_EQ(fake.terminatedCommands, (std::vector<std::string>{kCommand}));
  EXPECT_PRED2(Contains, Logged(),
               Info("execute : Terminating the Process for application " + std::string(kCommand) +
                    " as time is exceeded 20 Minutes \n") +
                   Error("Error Code : 258 , Error Message : The wait operation timed out.  \n") +
                   Info("execute : The process has been successfully terminated ..! \n"));
}

// TerminateProcess fails with 5 for processes the tool started.
class TerminationRefused : public FakePlatform {
 public:
  int32_t TerminateProcess(ProcessHandle*, uint32_t) override { return 5; }
};

TEST_F(ExecuteTest, FailedTerminationIsLogged) {
  TerminationRefused refusing;
  FakePlatformScope installed(&refusing);
  refusing.onCreateProcess = [](const std::string&) {
    FakePlatform::CommandOutcome outcome;
    outcome.runsForever = true;
    return outcome;
  };
  OpenLog(2);
  EXPECT_EQ(Run(kSystemFolder, 1), 258);
  EXPECT_PRED2(Contains, Logged(),
               Error("execute : The process termination is failed with error code : 5 \n"));
}

TEST_F(ExecuteTest, LimitZeroDoesNotWait) {
  FakePlatform::CommandOutcome outcome;
  outcome.runsForever = true;
  Outcome(outcome);
  uint32_t ticks = fake.tickCount;
  EXPECT_EQ(Run(kSystemFolder, 0), 0);
  EXPECT_EQ(remarks, "The operation completed successfully. ");
  EXPECT_EQ(fake.tickCount, ticks);
  EXPECT_EQ(fake.started.size(), 1u);
  EXPECT_TRUE(fake.terminatedCommands.empty());
}

TEST_F(ExecuteTest, LongLimitDoesNotWrapAround) {
  FakePlatform::CommandOutcome outcome;
  outcome.runsForever = true;
  Outcome(outcome);
  uint32_t ticks = fake.tickCount;
  // 71583 minutes exceed 32 bits of milliseconds; the wait must not shrink.
  EXPECT_EQ(Run(kSystemFolder, 71583), 258);
  EXPECT_EQ(fake.tickCount - ticks, 0xFFFFFFFEu);
}

TEST_F(ExecuteTest, WaitAndExitCodeFailures) {
  OpenLog(2);
  FakePlatform::CommandOutcome waitFails;
  waitFails.waitError = 6;
  Outcome(waitFails);
  EXPECT_EQ(Run(kSystemFolder, 20), 6);
  EXPECT_PRED2(Contains, Logged(),
               Error("execute : WaitForSingleObject Failed with error code 6 \n"));

  FakePlatform::CommandOutcome noExitCode;
  noExitCode.exitCodeError = 5;
  Outcome(noExitCode);
  EXPECT_EQ(Run(kSystemFolder, 20), 5);
  EXPECT_EQ(remarks, "Access is denied. ");
  EXPECT_PRED2(Contains, Logged(),
               Info("execute : Unable to find the exit code for the application and the error code "
                    "is : 5 \n") +
                   Error("Error Code : 5 , Error Message : Access is denied.  \n"));
}

TEST_F(ExecuteTest, ShutdownInProgressStartsNothing) {
  OpenLog(2);
  shutdownInProgress = 1;
  EXPECT_EQ(Run(kSystemFolder, 20), 1237);
  EXPECT_EQ(remarks, "Machine is shutdown. Installation will retried in the next reboot");
  EXPECT_TRUE(fake.started.empty());
  EXPECT_TRUE(fake.directoryChanges.empty());
  EXPECT_EQ(Logged(), Error("execute : Shutdown is in Progress. So returning without executing the "
                            "process " +
                            std::string(kCommand) + " .\n"));
}

TEST_F(ExecuteTest, WindowFlagAsksForAShownWindow) {
  Run(kSystemFolder, 20, 1);
  ASSERT_EQ(fake.started.size(), 1u);
  EXPECT_TRUE(fake.started[0].showWindow);
}

struct DirectoryLengthCase {
  size_t length;
  int32_t result;
};

TEST_F(ExecuteTest, CurrentDirectoryLongerThanTheBuffer) {
  const DirectoryLengthCase cases[] = {{4095, 0}, {4096, 4097}, {5000, 5001}};
  OpenLog(2);
  for (const DirectoryLengthCase& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string longDirectory = "C:\\" + std::string(c.length - 3, 'd');
    fake.currentDirectory = longDirectory;
    fake.started.clear();
    fake.directoryChanges.clear();
    EXPECT_EQ(Run(kSystemFolder, 20), c.result);
    if (c.result == 0) {
      // Saved whole and put back whole.
      EXPECT_EQ(fake.currentDirectory, longDirectory);
      EXPECT_EQ(fake.started.size(), 1u);
    } else {
      EXPECT_TRUE(fake.started.empty());
      EXPECT_TRUE(fake.directoryChanges.empty());
      const std::string code = std::to_string(c.result);
      EXPECT_EQ(remarks, "Unknown Error. Code : " + code);
      EXPECT_PRED2(Contains, Logged(),
                   Error("execute : CurrentWorkingDirectory Buffer overflow. Need to allocate the "
                         "length for " +
                         code + " chars \n") +
                       Error("Error Code : " + code +
                             " , Error Message : Unknown Error. Code : " + code + " \n"));
    }
  }
}

TEST_F(ExecuteTest, FailedCurrentDirectoryReadStartsNothing) {
  OpenLog(2);
  fake.getCurrentDirectoryError = 5;
  EXPECT_EQ(Run(kSystemFolder, 20), 5);
  EXPECT_EQ(remarks, "Access is denied. ");
  EXPECT_TRUE(fake.started.empty());
  EXPECT_EQ(Logged(), Error("execute: Failed to get the CurrentWorkingDirectory \n") +
                          Error("Error Code : 5 , Error Message : Access is denied.  \n") +
                          Error("Error Code : 5 , Error Message : Access is denied.  \n"));
}

TEST_F(ExecuteTest, RemarksWithoutHolderAreNotLeaked) {
  EXPECT_EQ(execute(kSystemFolder, kCommand, nullptr, 20, 0), 0);
  EXPECT_EQ(execute(nullptr, nullptr, nullptr, 20, 0), 87);
}

}  // namespace
}  // namespace hv::test
