// The two uninstall routines: matching an entry, choosing and adjusting its
// command, running it, and the 64-bit routine's waits for Windows Installer.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/uninstall/harness.h"
#include "uninstall/run.h"
#include "uninstall/uninstall_product.h"

namespace hv::test {
namespace {

using Lines = std::vector<std::string>;
using Routine = int32_t (*)(const char*);

const std::string kProduct = "{6F1C2A3B-1234-4D5E-9ABC-0123456789AB}";
const std::string kTarget = "Foo Product";

struct View {
  const char* what;
  Routine routine;
  const char* root;       // where the entry lives physically
  const char* otherRoot;  // the other view
  uint32_t access;        // the routine's open
  int32_t* flag;          // the flag the routine clears
  int32_t* otherFlag;
};

const View kViews[] = {
    {"32-bit routine", UninstallMatchedProduct32, kUninstall32, kUninstall64, 0x20219,
     &notUninstalled32, &notUninstalled64},
    {"64-bit routine", UninstallMatchedProduct64, kUninstall64, kUninstall32, 0x20119,
     &notUninstalled64, &notUninstalled32},
};

// A string value stored as the given bytes (no terminator added).
void SetRaw(FakePlatform& fake, const std::string& key, const std::string& name,
            const std::string& bytes, uint32_t type = kRegSz) {
  fake.SetValue(key, name, type, bytes);
}

// ---- Steps common to both routines ----

struct MatchCase {
  const char* what;
  std::string entryName;
  std::string target;
  std::function<void(FakePlatform&, const std::string& key)> setUp;
  int32_t result;
  bool runs;
  Lines lines;  // the routine's log lines up to its command, exactly
};

std::vector<MatchCase> MatchCases() {
  const std::string listed = Listed(kProduct);
  auto displayName = [](std::string name) {
    return [name](FakePlatform& fake, const std::string& key) {
      fake.SetString(key, "DisplayName", name);
    };
  };
  return {
      {"letter case ignored",
       kProduct,
       kTarget,
       displayName("FOO product"),
       0,
       true,
       {"[INFO] Found Foo Product\n"}},
      {"name only containing the target",
       kProduct,
       kTarget,
       displayName("Foo Product Tools"),
       0,
       false,
       {}},
      {"name contained in the target", kProduct, kTarget, displayName("Foo"), 0, false, {}},
      {"no trimming", kProduct, kTarget, displayName(" Foo Product"), 0, false, {}},
      {"entry not named by a product code",
       "FooProduct",
       kTarget,
       displayName(kTarget),
       0,
       false,
       {}},
      {"name ending in a brace is enough",
       "Foo}",
       kTarget,
       [](FakePlatform& fake, const std::string& key) {
         fake.SetString(key, "DisplayName", "Foo Product");
         fake.SetString(key, "UninstallString", "MsiExec.exe /X{P}");
         fake.SetString(key, "QuietUninstallString", "MsiExec.exe /X{P}");
       },
       0,
       true,
       {"[INFO] Found Foo Product\n"}},
      {"missing DisplayName",
       kProduct,
       kTarget,
       [](FakePlatform&, const std::string&) {},
       2,
       false,
       {"[ERROR] Error while reading the DisplayName from " + listed + " with error code : 2\n"}},
      {"REG_MULTI_SZ DisplayName",
       kProduct,
       kTarget,
       [](FakePlatform& fake, const std::string& key) {
         SetRaw(fake, key, "DisplayName", std::string("Foo Product\0\0", 13), kRegMultiSz);
       },
       13,
       false,
       {"[ERROR] Error while reading the DisplayName from " + listed + " with error code : 13\n"}},
      {"REG_EXPAND_SZ DisplayName",
       kProduct,
       kTarget,
       [](FakePlatform& fake, const std::string& key) {
         fake.SetString(key, "DisplayName", "Foo Product", kRegExpandSz);
       },
       0,
       true,
       {"[INFO] Found Foo Product\n"}},
      {"DisplayName without its terminating zero",
       kProduct,
       kTarget,
       [](FakePlatform& fake, const std::string& key) {
         SetRaw(fake, key, "DisplayName", "Foo Product");
       },
       13,
       false,
       {"[ERROR] Error while reading the DisplayName from " + listed + " with error code : 13\n"}},
      {"254 characters fit the buffer",
       kProduct,
       std::string(254, 'x'),
       displayName(std::string(254, 'X')),
       0,
       true,
       {"[INFO] Found " + std::string(254, 'x') + "\n"}},
      {"255 characters do not",
       kProduct,
       std::string(255, 'x'),
       displayName(std::string(255, 'x')),
       234,
       false,
       {"[ERROR] Error while reading the DisplayName from " + listed + " with error code : 234\n"}},
      {"empty DisplayName matches the empty target",
       kProduct,
       "",
       displayName(""),
       0,
       true,
       {"[INFO] Found \n"}},
      {"stored with no bytes at all",
       kProduct,
       "",
       [](FakePlatform& fake, const std::string& key) { SetRaw(fake, key, "DisplayName", ""); },
       0,
       true,
       {"[INFO] Found \n"}},
  };
}

TEST(UninstallRoutines, MatchTheWholeDisplayNameOfProductCodeEntries) {
  for (const View& view : kViews) {
    for (const MatchCase& c : MatchCases()) {
      SCOPED_TRACE(std::string(view.what) + ": " + c.what);
      Harness h;
      const std::string key = view.root + c.entryName;
      h.fake.AddKey(key);
      h.fake.SetString(key, "UninstallString", "MsiExec.exe /X{P}");
      c.setUp(h.fake, key);
      targetDisplayName = c.target;
      const size_t logged = h.Entries().size();

      EXPECT_EQ(view.routine(Listed(c.entryName).c_str()), c.result);
      EXPECT_EQ(h.fake.started.size(), c.runs ? 1u : 0u);
      Lines lines = h.Entries();
      lines.erase(lines.begin(), lines.begin() + static_cast<long>(logged));
      if (lines.size() > c.lines.size()) lines.resize(c.lines.size());
      EXPECT_EQ(lines, c.lines);
      if (!c.runs) {
        EXPECT_EQ(h.Entries().size(), logged + c.lines.size());
      }
    }
  }
}

TEST(UninstallRoutines, OpenTheEntryInTheirOwnViewOnly) {
  for (const View& view : kViews) {
    SCOPED_TRACE(view.what);
    Harness h;
    h.AddEntry(view.otherRoot, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
    targetDisplayName = kTarget;
    EXPECT_EQ(view.routine(Listed(kProduct).c_str()), 2);
    EXPECT_TRUE(h.fake.started.empty());
    EXPECT_TRUE(h.Has("[ERROR] Error while opening the registry key: " + Listed(kProduct) +
                      " with error code : 2\n"));
    ASSERT_FALSE(h.fake.registryOpens.empty());
    EXPECT_EQ(h.fake.registryOpens.back(), std::make_pair(Listed(kProduct), view.access));
  }
}

// ---- Results, working directory and time limit ----

TEST(UninstallRoutines, InstallerSuccessCodesClearTheFlag) {
  struct Case {
    uint32_t exitCode;
    int32_t result;
    bool cleared;
  };
  const Case cases[] = {
      {0, 0, true},    {1508, 0, true},     {1641, 0, true},
      {3010, 0, true}, {1605, 1605, false}, {1603, 1603, false},
  };
  for (const View& view : kViews) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(view.what) + ": exit code " + std::to_string(c.exitCode));
      Harness h;
      h.AddEntry(view.root, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
      targetDisplayName = kTarget;
      h.fake.onCreateProcess = [&c](const std::string&) {
        FakePlatform::CommandOutcome outcome;
        outcome.exitCode = c.exitCode;
        return outcome;
      };
      EXPECT_EQ(view.routine(Listed(kProduct).c_str()), c.result);
      EXPECT_EQ(*view.flag, c.cleared ? 0 : 1);
      EXPECT_EQ(*view.otherFlag, 1);
      if (c.cleared) {
        EXPECT_TRUE(h.Has("[INFO] Uninstallation executed: 0\n"));
      } else {
        EXPECT_TRUE(h.Has(
            "[ERROR] Uninstallation failed with error code: " + std::to_string(c.result) + "\n"));
        EXPECT_FALSE(h.Has("[INFO] Uninstallation executed: 0\n"));
      }
    }
  }
}

TEST(UninstallRoutines, RunInTheSystemFolderWithATwentyMinuteLimit) {
  for (const View& view : kViews) {
    SCOPED_TRACE(view.what);
    Harness h;
    h.AddEntry(view.root, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
    targetDisplayName = kTarget;
    h.fake.systemDirectory = "C:\\Windows\\system32";
    h.fake.onCreateProcess = [](const std::string&) {
      FakePlatform::CommandOutcome outcome;
      outcome.runsForever = true;
      return outcome;
    };
    const uint32_t before = h.fake.tickCount;
    EXPECT_EQ(view.routine(Listed(kProduct).c_str()), 258);
    EXPECT_EQ(h.fake.tickCount - before, 20u * 60u * 1000u);
    ASSERT_EQ(h.fake.started.size(), 1u);
    EXPECT_EQ(h.fake.started[0].workingDirectory, "C:\\Windows\\system32");
    EXPECT_FALSE(h.fake.started[0].showWindow);
    EXPECT_EQ(h.fake.terminatedCommands, Lines{h.fake.started[0].commandLine});
    EXPECT_EQ(*view.flag, 1);
    EXPECT_TRUE(h.Has("[ERROR] Uninstallation failed with error code: 258\n"));
  }
}

TEST(UninstallRoutines, SystemFolderLongerThanTheFirstReadIsStillUsed) {
  for (const View& view : kViews) {
    SCOPED_TRACE(view.what);
    Harness h;
    h.AddEntry(view.root, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
    targetDisplayName = kTarget;
    h.fake.systemDirectory = "D:\\" + std::string(70, 'w') + "\\system32";
    EXPECT_EQ(view.routine(Listed(kProduct).c_str()), 0);
    ASSERT_EQ(h.fake.started.size(), 1u);
    EXPECT_EQ(h.fake.started[0].workingDirectory, h.fake.systemDirectory);
  }
}

// ---- The first pass's command ----

struct CommandCase {
  const char* what;
  std::function<void(FakePlatform&, const std::string& key)> setUp;
  int32_t result;
  std::string command;  // empty: nothing runs
  Lines lines;          // after "Found", up to the command, exactly
};

TEST(UninstallMatchedProduct32, RunsTheStoredCommandUnchanged) {
  const std::string listed = Listed(kProduct);
  const std::string gettingFailed =
      "[ERROR] Error while getting the value of UninstallString for the key : " + listed + "\n";
  const std::string empty = "[ERROR] Uninstallation failed with UninstallString is empty\n";
  const std::string tooLong = "C:\\Foo\\uninst.exe " + std::string(237, 'a');  // 255 characters
  const std::string longest = "C:\\Foo\\uninst.exe " + std::string(236, 'a');  // 254 characters
  auto values = [](std::string quiet, std::string uninstall) {
    return [quiet, uninstall](FakePlatform& fake, const std::string& key) {
      if (quiet != "-") fake.SetString(key, "QuietUninstallString", quiet);
      if (uninstall != "-") fake.SetString(key, "UninstallString", uninstall);
    };
  };
  const CommandCase cases[] = {
      {"quiet command preferred",
       values("\"C:\\Foo\\uninst.exe\" /S", "MsiExec.exe /I" + kProduct),
       0,
       "\"C:\\Foo\\uninst.exe\" /S",
       {}},
      {"UninstallString as stored, nothing appended",
       values("-", "MsiExec.exe /I" + kProduct),
       0,
       "MsiExec.exe /I" + kProduct,
       {}},
      {"254 characters fit", values("-", longest), 0, longest, {}},
      {"empty quiet command is not replaced",
       values("", "MsiExec.exe /X" + kProduct),
       0,
       "",
       {empty}},
      {"neither value", values("-", "-"), 2, "", {gettingFailed, empty}},
      {"UninstallString too long is not reported", values("-", tooLong), 234, "", {empty}},
      {"quiet command too long",
       values(tooLong, "MsiExec.exe /X" + kProduct),
       0,
       "MsiExec.exe /X" + kProduct,
       {}},
      {"quiet command of the wrong type",
       [](FakePlatform& fake, const std::string& key) {
         fake.SetDword(key, "QuietUninstallString", 1);
         fake.SetString(key, "UninstallString", "MsiExec.exe /X{P}");
       },
       0,
       "MsiExec.exe /X{P}",
       {}},
      {"UninstallString without its terminating zero",
       [](FakePlatform& fake, const std::string& key) {
         SetRaw(fake, key, "UninstallString", "MsiExec.exe /X{P}");
       },
       13,
       "",
       {gettingFailed, empty}},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    const std::string key = kUninstall32 + kProduct;
    h.fake.SetString(key, "DisplayName", kTarget);
    c.setUp(h.fake, key);
    targetDisplayName = kTarget;
    EXPECT_EQ(UninstallMatchedProduct32(listed.c_str()), c.result);
    if (c.command.empty()) {
      EXPECT_TRUE(h.fake.started.empty());
      EXPECT_EQ(notUninstalled32, 1);
    } else {
      ASSERT_EQ(h.fake.started.size(), 1u);
      EXPECT_EQ(h.fake.started[0].commandLine, c.command);
      EXPECT_EQ(notUninstalled32, 0);
    }
    Lines after = h.EntriesFrom("[INFO] Found Foo Product\n");
    ASSERT_FALSE(after.empty());
    after.erase(after.begin());
    if (after.size() > c.lines.size()) after.resize(c.lines.size());
    EXPECT_EQ(after, c.lines);
  }
}

TEST(UninstallMatchedProduct32, DoesNotWaitForWindowsInstaller) {
  Harness h;
  h.AddEntry(kUninstall32, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
  h.fake.AddProcess("msiexec.exe");
  targetDisplayName = kTarget;
  EXPECT_EQ(UninstallMatchedProduct32(Listed(kProduct).c_str()), 0);
  EXPECT_EQ(h.fake.started.size(), 1u);
  EXPECT_TRUE(h.fake.sleeps.empty());
}

// ---- The second pass's command ----

TEST(UninstallMatchedProduct64, TurnsTheEntryIntoASilentRemoval) {
  struct Case {
    const char* what;
    std::string entryName;
    std::function<void(FakePlatform&, const std::string& key)> setUp;
    int32_t result;
    std::string command;  // empty: nothing runs
    Lines lines;          // after "Found", up to the command, exactly
  };
  auto uninstall = [](std::string value) {
    return [value](FakePlatform& fake, const std::string& key) {
      fake.SetString(key, "UninstallString", value);
    };
  };
  const std::string listed = Listed(kProduct);
  const Lines manual = {
      "[ERROR] Error while getting the value of UninstallString for the key : " + listed + "\n",
      "[INFO] Manually creating an UninstallString\n"};
  const std::string removal = "MsiExec.exe /X" + kProduct + " /qn /norestart";
  const Case cases[] = {
      {"install switch becomes a lower-case removal",
       kProduct,
       uninstall("MsiExec.exe /I" + kProduct),
       0,
       "MsiExec.exe /x" + kProduct + " /qn /norestart",
       {"[INFO] UninstallString: MsiExec.exe /I" + kProduct + "\n"}},
      {"removal switch kept",
       kProduct,
       uninstall("MsiExec.exe /X" + kProduct),
       0,
       removal,
       {"[INFO] UninstallString: MsiExec.exe /X" + kProduct + "\n"}},
      {"every occurrence, both cases",
       kProduct,
       uninstall("MsiExec.exe /i{P} /I /i"),
       0,
       "MsiExec.exe /x{P} /x /x /qn /norestart",
       {"[INFO] UninstallString: MsiExec.exe /i{P} /I /i\n"}},
      {"plain substring replacement",
       kProduct,
       uninstall("C:\\Foo\\uninst.exe /install"),
       0,
       "C:\\Foo\\uninst.exe /xnstall /qn /norestart",
       {"[INFO] UninstallString: C:\\Foo\\uninst.exe /install\n"}},
      {"REG_EXPAND_SZ value",
       kProduct,
       [](FakePlatform& fake, const std::string& key) {
         fake.SetString(key, "UninstallString", "MsiExec.exe /I{P}", kRegExpandSz);
       },
       0,
       "MsiExec.exe /x{P} /qn /norestart",
       {"[INFO] UninstallString: MsiExec.exe /I{P}\n"}},
      {"quiet command ignored",
       kProduct,
       [](FakePlatform& fake, const std::string& key) {
         fake.SetString(key, "QuietUninstallString", "q.exe /quiet");
         fake.SetString(key, "UninstallString", "MsiExec.exe /X{P}");
       },
       0,
       "MsiExec.exe /X{P} /qn /norestart",
       {"[INFO] UninstallString: MsiExec.exe /X{P}\n"}},
      {"missing UninstallString", kProduct, [](FakePlatform&, const std::string&) {}, 0, removal,
       manual},
      {"UninstallString too long", kProduct, uninstall(std::string(255, 'u')), 0, removal, manual},
      {"UninstallString of the wrong type", kProduct,
       [](FakePlatform& fake, const std::string& key) {
         SetRaw(fake, key, "UninstallString", std::string("a\0b\0\0", 5), kRegMultiSz);
       },
       0, removal, manual},
      {"product code from the last opening brace",
       "Foo{1.0}{P}",
       [](FakePlatform&, const std::string&) {},
       0,
       "MsiExec.exe /X{P} /qn /norestart",
       {"[ERROR] Error while getting the value of UninstallString for the key : " +
            Listed("Foo{1.0}{P}") + "\n",
        "[INFO] Manually creating an UninstallString\n"}},
      {"no product code to build from",
       "Foo}",
       [](FakePlatform&, const std::string&) {},
       13,
       "",
       {"[ERROR] Error while getting the value of UninstallString for the key : " + Listed("Foo}") +
            "\n",
        "[INFO] Manually creating an UninstallString\n",
        "[ERROR] Cannot build an UninstallString: no product code in " + Listed("Foo}") + "\n"}},
      {"empty UninstallString",
       kProduct,
       uninstall(""),
       0,
       "",
       {"[INFO] UninstallString: \n",
        "[ERROR] Uninstallation failed with UninstallString is empty\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    const std::string key = kUninstall64 + c.entryName;
    h.fake.SetString(key, "DisplayName", kTarget);
    c.setUp(h.fake, key);
    targetDisplayName = kTarget;
    EXPECT_EQ(UninstallMatchedProduct64(Listed(c.entryName).c_str()), c.result);
    if (c.command.empty()) {
      EXPECT_TRUE(h.fake.started.empty());
      EXPECT_EQ(notUninstalled64, 1);
    } else {
      ASSERT_EQ(h.fake.started.size(), 1u);
      EXPECT_EQ(h.fake.started[0].commandLine, c.command);
      EXPECT_EQ(notUninstalled64, 0);
    }
    Lines after = h.EntriesFrom("[INFO] Found Foo Product\n");
    ASSERT_FALSE(after.empty());
    after.erase(after.begin());
    if (after.size() > c.lines.size()) after.resize(c.lines.size());
    EXPECT_EQ(after, c.lines);
  }
}

// ---- Waiting for Windows Installer ----

// msiexec.exe runs for `busyChecks` checks: it ends during the pause that
// follows the last busy check.
void EndMsiexecAfter(Harness& h, uint32_t pid, int busyChecks) {
  auto pauses = std::make_shared<int>(0);
  h.fake.onSleep = [&h, pid, busyChecks, pauses](uint32_t) {
    if (++*pauses < busyChecks) return;
    for (auto& process : h.fake.processes)
      if (process.pid == pid) process.running = false;
  };
}

TEST(UninstallMatchedProduct64, WaitsUpToTenMinutesForAnotherInstallation) {
  const std::string before = "[ERROR] Waiting for the process to close Before Uninstall\n";
  const std::string over = "[ERROR] Waiting Time Over Returning\n";
  struct Case {
    int busyChecks;  // -1: busy for ever
    size_t waits;
    bool runs;
  };
  const Case cases[] = {{0, 0, true}, {1, 1, true}, {9, 9, true}, {10, 10, false}, {-1, 10, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("busy checks: " + std::to_string(c.busyChecks));
    Harness h;
    h.AddEntry(kUninstall64, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
    targetDisplayName = kTarget;
    if (c.busyChecks != 0) {
      const uint32_t pid = h.fake.AddProcess("msiexec.exe");
      if (c.busyChecks > 0) EndMsiexecAfter(h, pid, c.busyChecks);
    }
    const int32_t result = UninstallMatchedProduct64(Listed(kProduct).c_str());
    EXPECT_EQ(h.fake.sleeps, std::vector<uint32_t>(c.waits, 60000u));
    EXPECT_EQ(h.Count(before), static_cast<int>(c.waits));
    if (c.runs) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(h.fake.started.size(), 1u);
      EXPECT_FALSE(h.Has(over));
      EXPECT_EQ(notUninstalled64, 0);
    } else {
      EXPECT_EQ(result, 258);
      EXPECT_TRUE(h.fake.started.empty());
      EXPECT_EQ(notUninstalled64, 1);
      Lines expected(c.waits, before);
      expected.push_back(over);
      EXPECT_EQ(h.EntriesFrom(before), expected);
    }
  }
}

TEST(UninstallMatchedProduct64, InstallerNamesAndTheToolItselfWhileWaiting) {
  struct Case {
    const char* what;
    std::string name;
    bool self;
    bool waits;
  };
  const Case cases[] = {
      {"other letter case", "MSIEXEC.EXE", false, true},
      {"the tool's own process", "msiexec.exe", true, false},
      {"another program", "msiexec2.exe", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    h.AddEntry(kUninstall64, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
    targetDisplayName = kTarget;
    const uint32_t pid = h.fake.AddProcess(c.name);
    if (c.self) h.fake.selfPid = pid;
    EXPECT_EQ(UninstallMatchedProduct64(Listed(kProduct).c_str()), c.waits ? 258 : 0);
    EXPECT_EQ(h.fake.sleeps.size(), c.waits ? 10u : 0u);
  }
}

TEST(UninstallMatchedProduct64, WaitsUpToFifteenMinutesAfterASuccessfulRemoval) {
  const std::string after = "[ERROR] Waiting for process to close after uninstall\n";
  struct Case {
    int busyChecks;
    uint32_t exitCode;
    size_t waits;
  };
  const Case cases[] = {{0, 0, 0},   {1, 0, 1},      {14, 0, 14},  {15, 0, 15},
                        {40, 0, 15}, {40, 3010, 15}, {40, 1603, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE("busy checks: " + std::to_string(c.busyChecks) +
                 ", exit code: " + std::to_string(c.exitCode));
    Harness h;
    h.AddEntry(kUninstall64, kProduct, kTarget, "MsiExec.exe /X" + kProduct);
    targetDisplayName = kTarget;
    // The command leaves an msiexec.exe behind that finishes its work later.
    h.fake.onCreateProcess = [&h, &c](const std::string&) {
      if (c.busyChecks > 0) EndMsiexecAfter(h, h.fake.AddProcess("msiexec.exe"), c.busyChecks);
      FakePlatform::CommandOutcome outcome;
      outcome.exitCode = c.exitCode;
      return outcome;
    };
    const int32_t result = UninstallMatchedProduct64(Listed(kProduct).c_str());
    EXPECT_EQ(result, c.exitCode == 1603 ? 1603 : 0);
    EXPECT_EQ(h.fake.sleeps, std::vector<uint32_t>(c.waits, 60000u));
    EXPECT_EQ(h.Count(after), static_cast<int>(c.waits));
    if (c.waits > 0) {
      EXPECT_TRUE(h.HasInOrder({"[INFO] Uninstallation executed: 0\n", after}));
    }
  }
}

}  // namespace
}  // namespace hv::test
