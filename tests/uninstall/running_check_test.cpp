// The running-product check: finding the product's process, the start-up
// test on the tick count and the alwaysKillApps setting, and the kill.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/uninstall/harness.h"
#include "uninstall/running_check.h"

namespace hv::test {
namespace {

using Lines = std::vector<std::string>;
using Kills = std::vector<std::pair<uint32_t, uint32_t>>;

const char* const kPatchKey = "SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent\\Patch";
const char* const kPatchKeyAsRead = "SOFTWARE\\Velnor\\Halvane\\HVAgent\\Patch\\";

TEST(IsProcessRunning, ComparesTheFirstFifteenCharactersIgnoringCase) {
  struct Case {
    const char* running;
    const char* asked;
    bool matches;
  };
  const Case cases[] = {
      {"msiexec.exe", "msiexec.exe", true},
      {"MsiExec.EXE", "msiexec.exe", true},
      {"msiexec.exe", "msiexec.ex", false},
      {"msiexec.ex", "msiexec.exe", false},
      {"msiexec.exe", "", false},
      // A snapshot entry without a name never stands for "no -p given".
      {"", "", false},
      {"averylongproduct_v2.exe", "AVERYLONGPRODUCT.exe", true},
      {"averylongproduc", "averylongproduct.exe", true},
      {"averylongprodu", "averylongproduc", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.running) + " / " + c.asked);
    Harness h(Harness::Logging::kByRun);
    h.fake.AddProcess("other.exe");
    const uint32_t pid = h.fake.AddProcess(c.running);
    EXPECT_EQ(IsProcessRunning(c.asked), c.matches ? pid : 0u);
  }
}

TEST(IsProcessRunning, GivesTheFirstOtherMatchingProcess) {
  Harness h(Harness::Logging::kByRun);
  h.fake.selfPid = h.fake.AddProcess("prod.exe");
  EXPECT_EQ(IsProcessRunning("prod.exe"), 0u);
  const uint32_t first = h.fake.AddProcess("PROD.exe");
  h.fake.AddProcess("prod.exe");
  EXPECT_EQ(IsProcessRunning("prod.exe"), first);
  h.fake.snapshotFails = true;
  EXPECT_EQ(IsProcessRunning("prod.exe"), 0u);
}

TEST(KillProcesses, TerminatesEveryProcessOfExactlyThatName) {
  Harness h;
  h.fake.AddProcess("other.exe");
  const uint32_t first = h.fake.AddProcess("prod.exe");
  h.fake.AddProcess("prod.exe.bak");
  const uint32_t second = h.fake.AddProcess("PROD.EXE");
  EXPECT_EQ(KillProcesses("prod.exe"), 1);
  // Each ends with the code it reported, STILL_ACTIVE.
  EXPECT_EQ(h.fake.terminated, (Kills{{first, 259}, {second, 259}}));
  EXPECT_EQ(h.fake.sleeps, (std::vector<uint32_t>{100, 100}));
  EXPECT_EQ(h.EntriesFrom("[DEBUG] @@@@@@@@@  Inside KillProcesses Method @@@@@@@@@@@\n"),
            (Lines{
                "[DEBUG] @@@@@@@@@  Inside KillProcesses Method @@@@@@@@@@@\n",
                "[INFO] Process name to kill : prod.exe\n",
                "[INFO] prod.exe was Killed......\n",
                "[INFO] prod.exe was Killed......\n",
                "[DEBUG] @@@@@@@@@  End of KillProcesses Method @@@@@@@@@@@\n",
            }));
}

TEST(KillProcesses, FailuresAreLoggedAndStillCountAsFound) {
  struct Case {
    const char* what;
    int32_t openError;
    int32_t terminateError;
  };
  const Case cases[] = {{"cannot be opened", 5, 0}, {"cannot be terminated", 0, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    h.fake.AddProcess("prod.exe");
    h.fake.processes.back().openError = c.openError;
    h.fake.processes.back().terminateError = c.terminateError;
    const uint32_t killable = h.fake.AddProcess("prod.exe");
    EXPECT_EQ(KillProcesses("prod.exe"), 1);
    EXPECT_EQ(h.fake.terminated, (Kills{{killable, 259}}));
    EXPECT_EQ(h.fake.sleeps, (std::vector<uint32_t>{100, 100}));
    EXPECT_TRUE(h.HasInOrder({"[ERROR] prod.exe not killed......due to error 5\n",
                              "[INFO] prod.exe was Killed......\n"}));
  }
}

TEST(KillProcesses, SparesNoProcessOfThatNameButNeedsTheWholeName) {
  {
    Harness h;
    h.fake.selfPid = h.fake.AddProcess("averylongproduct.exe");
    const uint32_t other = h.fake.AddProcess("averylongproduct.exe");
    h.fake.AddProcess("averylongproduct_v2.exe");
    EXPECT_EQ(KillProcesses("averylongproduct.exe"), 1);
    EXPECT_EQ(h.fake.terminated, (Kills{{h.fake.selfPid, 259}, {other, 259}}));
  }
  {
    Harness h;
    h.fake.AddProcess("averylongproduct_v2.exe");
    EXPECT_EQ(KillProcesses("averylongproduct.exe"), 0);
    EXPECT_TRUE(h.fake.terminated.empty());
    EXPECT_TRUE(h.fake.sleeps.empty());
  }
}

TEST(CheckIfAlreadyRunningAndKillOnStartup, StopsTheProductOnlyOnAStartUpEvent) {
  const std::string startup = "[INFO] This is a startup event, hence killing the product's exe\n";
  const std::string notStartup =
      "[INFO] Not a startup event, hence not killing the product's exe\n";
  const std::string forced = "[INFO] alwaysKillApps is set, so we are setting the uptime as 1\n";
  struct Case {
    const char* what;
    uint32_t tickCount;
    int64_t alwaysKillApps;  // -1: not set
    int32_t result;
    Lines lines;  // from the tick count line on, exactly
  };
  const Case cases[] = {
      {"15 minutes exactly",
       900000,
       -1,
       0,
       {"[INFO] The tick count is 900000\n", "[INFO] The final tick count is 900000\n", startup}},
      {"one millisecond later",
       900001,
       -1,
       1,
       {"[INFO] The tick count is 900001\n", "[INFO] The final tick count is 900001\n",
        notStartup}},
      {"days of uptime, always kill",
       3u * 86400000u,
       1,
       0,
       {"[INFO] The tick count is 259200000\n", forced, "[INFO] The final tick count is 1\n",
        startup}},
      {"days of uptime, setting 0",
       3u * 86400000u,
       0,
       1,
       {"[INFO] The tick count is 259200000\n", "[INFO] The final tick count is 259200000\n",
        notStartup}},
      {"counter wrapped after 49.7 days",
       120000,
       -1,
       0,
       {"[INFO] The tick count is 120000\n", "[INFO] The final tick count is 120000\n", startup}},
      {"25 days print negative, compare unsigned",
       2160000000u,
       -1,
       1,
       {"[INFO] The tick count is -2134967296\n", "[INFO] The final tick count is -2134967296\n",
        notStartup}},
      {"any non-zero setting",
       0xFFFFFFFFu,
       7,
       0,
       {"[INFO] The tick count is -1\n", forced, "[INFO] The final tick count is 1\n", startup}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    const uint32_t product = h.fake.AddProcess("prod.exe");
    h.fake.tickCount = c.tickCount;
    if (c.alwaysKillApps >= 0)
      h.fake.SetDword(kPatchKey, "alwaysKillApps", static_cast<uint32_t>(c.alwaysKillApps));
    EXPECT_EQ(CheckIfAlreadyRunningAndKillOnStartup("prod.exe"), c.result);
    EXPECT_EQ(h.Opens(kPatchKeyAsRead), 1);
    if (c.result == 0) {
      EXPECT_EQ(h.fake.terminated, (Kills{{product, 259}}));
    } else {
      EXPECT_TRUE(h.fake.terminated.empty());
    }
    Lines lines = h.EntriesFrom(c.lines.front());
    // Only this operation's own lines (the kill and the settings reader log
    // in between).
    Lines own;
    for (const std::string& line : lines)
      if (line.rfind("[INFO] The ", 0) == 0 || line == forced || line == startup ||
          line == notStartup)
        own.push_back(line);
    EXPECT_EQ(own, c.lines);
    if (c.result == 0) {
      EXPECT_TRUE(h.HasInOrder(
          {startup, "[INFO] prod.exe was Killed......\n", "[INFO] Process killed successfully\n"}));
    }
  }
}

TEST(CheckIfAlreadyRunningAndKillOnStartup, ProductNotRunningReadsNeitherClockNorSetting) {
  struct Case {
    const char* what;
    const char* running;
    bool self;
  };
  const Case cases[] = {
      {"no such process", "other.exe", false},
      {"only the tool itself has that name", "prod.exe", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    const uint32_t pid = h.fake.AddProcess(c.running);
    if (c.self) h.fake.selfPid = pid;
    h.fake.tickCount = 1000;
    const int readsBefore = h.fake.tickCountReads;
    EXPECT_EQ(CheckIfAlreadyRunningAndKillOnStartup("prod.exe"), 0);
    EXPECT_EQ(h.fake.tickCountReads, readsBefore);
    EXPECT_EQ(h.Opens(kPatchKeyAsRead), 0);
    EXPECT_TRUE(h.fake.terminated.empty());
    EXPECT_EQ(h.EntriesFrom("[INFO] Inside CheckIfAlreadyRunningAndKillOnStartup\n"),
              Lines{"[INFO] Inside CheckIfAlreadyRunningAndKillOnStartup\n"});
  }
}

TEST(CheckIfAlreadyRunningAndKillOnStartup, PrefixMatchCountsAsRunningButIsNotKilled) {
  Harness h;
  h.fake.AddProcess("averylongproduct_v2.exe");
  h.fake.tickCount = 60000;
  EXPECT_EQ(CheckIfAlreadyRunningAndKillOnStartup("averylongproduct.exe"), 0);
  EXPECT_TRUE(h.fake.terminated.empty());
  EXPECT_TRUE(h.fake.processes[0].running);
  EXPECT_TRUE(h.HasInOrder({"[INFO] This is a startup event, hence killing the product's exe\n",
                            "[INFO] Process name to kill : averylongproduct.exe\n",
                            "[INFO] Process killed successfully\n"}));
}

}  // namespace
}  // namespace hv::test
