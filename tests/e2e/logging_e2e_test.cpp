// Where the tool's log goes, and what becomes of it, seen from outside: the
// rotation at start-up, runs whose log cannot be written, and runs against a
// registry the host cannot fully read. In every case the uninstall itself and
// the exit code must be unaffected.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/scenario.h"

namespace hv::e2e {
namespace {

using Strings = std::vector<std::string>;

const Strings kFakes = {"ContosoUninstall.exe"};
const Strings kContosoRemoved = {"ContosoUninstall.exe /S"};

// Old log content of exactly `size` bytes, in lines that no log prefix can be
// mistaken for.
std::string OldLog(size_t size) {
  std::string text;
  text.reserve(size);
  while (text.size() < size) {
    text += (text.size() % 100 == 99) ? '\n' : 'o';
  }
  return text;
}

fs::path Numbered(const Scenario& s, int k) {
  return s.agent() / "logs" / ("hvprereqhandler" + std::to_string(k) + ".log");
}

// ---------------------------------------------------------------------------
// Rotation at start-up: the live log is rotated before it is opened when it
// has reached 2,000,000 bytes; the numbered files move up, at most four kept.

// Stands for the old content of the live log in RotationCase::after.
const std::string kOldLive = "<old live log>";

struct RotationCase {
  const char* name;
  size_t liveSize;
  Strings before;  // content of hvprereqhandler1.log, 2, ... before the run
  Strings after;   // and after it; no further numbered file may exist
};

std::ostream& operator<<(std::ostream& os, const RotationCase& c) {
  return os << c.name;
}

class RotationTest : public ::testing::TestWithParam<RotationCase> {};

TEST_P(RotationTest, AtStartUp) {
  const RotationCase& c = GetParam();
  Scenario s;
  s.RenderRegistry("catalogue.reg");
  s.InstallFakes(kFakes);
  fs::create_directories(s.agent() / "logs");
  const std::string old = OldLog(c.liveSize);
  WriteFile(s.LogFile(), old);
  for (size_t k = 0; k < c.before.size(); ++k) {
    WriteFile(Numbered(s, static_cast<int>(k + 1)), c.before[k]);
  }

  const ToolRun run = s.Run({"-dis", "Contoso Widget"});
  ExpectSoundRun(s, run);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(s.CommandLines(), kContosoRemoved);

  // A rotated live log holds this run's lines only; one that was not rotated
  // keeps its old content in front of them.
  const bool rotated = !c.after.empty() && c.after.front() == kOldLive;
  const ParsedLog live = s.ReadLog();
  EXPECT_TRUE(live.preamble == (rotated ? "" : old))
      << "live log starts with " << live.preamble.size() << " bytes of older content";
  EXPECT_EQ(Count(live.entries, "[INFO] Given Display Name : Contoso Widget\n"), 1);

  for (size_t k = 0; k < c.after.size(); ++k) {
    const fs::path file = Numbered(s, static_cast<int>(k + 1));
    const std::string content = ReadFile(file);
    if (c.after[k] == kOldLive) {
      EXPECT_TRUE(content == old) << file << " holds " << content.size() << " bytes";
    } else {
      EXPECT_EQ(content, c.after[k]) << file;
    }
  }
  EXPECT_FALSE(fs::exists(Numbered(s, static_cast<int>(c.after.size()) + 1)));
}

INSTANTIATE_TEST_SUITE_P(
    Log, RotationTest,
    ::testing::Values(RotationCase{"BelowLimitKept", 1999999, {}, {}},
                      RotationCase{"AtLimitRotated", 2000000, {}, {kOldLive}},
                      RotationCase{"NumberedFilesMoveUp",
                                   2000000,
                                   {"one\n", "two\n"},
                                   {kOldLive, "one\n", "two\n"}},
                      RotationCase{"LastNumberedFileFilled",
                                   2000000,
                                   {"one\n", "two\n", "three\n"},
                                   {kOldLive, "one\n", "two\n", "three\n"}},
                      RotationCase{"OldestDropped",
                                   2000000,
                                   {"one\n", "two\n", "three\n", "four\n"},
                                   {kOldLive, "one\n", "two\n", "three\n"}},
                      RotationCase{"NumberedFilesKeptBelowLimit", 1999999, {"one\n"}, {"one\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Runs without a log.

TEST(Log, MissingInstallDirMeansNoLogButTheRunGoesOn) {
  Scenario s;
  s.RenderRegistry("no-install-dir.reg");
  s.InstallFakes(kFakes);

  const ToolRun run = s.Run({"-dis", "Contoso Widget"});
  ExpectSoundRun(s, run);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(s.CommandLines(), kContosoRemoved);

  const ToolRun help = s.Run({"/?"});
  ExpectSoundRun(s, help,
                 "/?,/help - for help.\n"
                 "-p       - Process name of the application.\n"
                 "-sw      - Silent switch.\n"
                 "-fn      - Executable filename.\n");
  EXPECT_EQ(help.exitCode, 1);

  // No log anywhere: not in the agent folder, not next to the tool's working
  // directory, not in the system folder.
  for (const auto& entry : fs::recursive_directory_iterator(s.dir())) {
    EXPECT_NE(entry.path().filename(), "logs") << entry.path();
    EXPECT_NE(entry.path().extension(), ".log") << entry.path();
  }
}

struct UnwritableCase {
  const char* name;
  void (*prepare)(const Scenario&);
};

std::ostream& operator<<(std::ostream& os, const UnwritableCase& c) {
  return os << c.name;
}

class UnwritableLogTest : public ::testing::TestWithParam<UnwritableCase> {};

// The checks hold for root as well as for other users, so the log is made
// unwritable through the file system's shape rather than its permissions.
TEST_P(UnwritableLogTest, RunGoesOn) {
  Scenario s;
  s.RenderRegistry("catalogue.reg");
  s.InstallFakes(kFakes);
  GetParam().prepare(s);

  const ToolRun run = s.Run({"-dis", "Contoso Widget"});
  ExpectSoundRun(s, run);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(s.CommandLines(), kContosoRemoved);
  EXPECT_FALSE(fs::is_regular_file(s.LogFile()));
}

INSTANTIATE_TEST_SUITE_P(Log, UnwritableLogTest,
                         ::testing::Values(UnwritableCase{"LogsFolderIsAFile",
                                                          [](const Scenario& s) {
                                                            WriteFile(s.agent() / "logs",
                                                                      "not a folder\n");
                                                          }},
                                           UnwritableCase{"LogFileIsAFolder",
                                                          [](const Scenario& s) {
                                                            fs::create_directories(s.LogFile());
                                                          }},
                                           UnwritableCase{"AgentFolderIsAFile",
                                                          [](const Scenario& s) {
                                                            fs::remove_all(s.agent());
                                                            WriteFile(s.agent(), "not a folder\n");
                                                          }}),
                         [](const auto& info) { return std::string(info.param.name); });

// An installation folder stored without a trailing separator gets "logs"
// appended directly: the log folder's last component ends in logs.
TEST(Log, InstallDirWithoutTrailingSeparator) {
  Scenario s;
  s.RenderRegistry("catalogue.reg",
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent]\n"
                   "\"HVAgentInstallDir\"=\"@SCENARIO_DIR@agent\"\n");
  s.InstallFakes(kFakes);

  const ToolRun run = s.Run({"-dis", "Contoso Widget"});
  ExpectSoundRun(s, run);
  EXPECT_EQ(run.exitCode, 0);
  const fs::path log = s.dir() / "agentlogs" / "hvprereqhandler.log";
  ASSERT_TRUE(fs::exists(log));
  EXPECT_FALSE(fs::exists(s.agent() / "logs"));
  const LogEntries entries = s.ReadLog(log).entries;
  EXPECT_EQ(Count(entries, "[INFO] Uninstallation executed: 0\n"), 1);
}

}  // namespace
}  // namespace hv::e2e
