// Whole runs of the tool against the fake platform: exit codes, the order of
// the steps, and what each pass sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/uninstall/harness.h"
#include "uninstall/run.h"

namespace hv::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kProduct = "{6F1C2A3B-1234-4D5E-9ABC-0123456789AB}";
const std::string kOther = "{0A0B0C0D-1111-2222-3333-444444444444}";
const char* const kCloseBanner = "[INFO] Log close time: ";

int RunTool(std::vector<std::string> arguments, std::string* printed = nullptr) {
  Args args(std::move(arguments));
  testing::internal::CaptureStdout();
  const int exitCode = RunPrereqHandler(args.argc(), args.argv());
  const std::string out = testing::internal::GetCapturedStdout();
  if (printed != nullptr) *printed = out;
  return exitCode;
}

bool EndsWithCloseBanner(const Harness& h) {
  Lines entries = h.Entries();
  return !entries.empty() && entries.back().rfind(kCloseBanner, 0) == 0;
}

int UninstallKeyOpens(const Harness& h) {
  return h.Opens("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
}

TEST(RunFlow, HelpExitsBeforeTheCheckAndTheRegistry) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  h.fake.AddProcess("prod.exe");
  h.fake.tickCount = 1000000000;  // not a start-up: the check would give 32
  std::string printed;
  EXPECT_EQ(RunTool({"-p", "prod.exe", "-dis", "Foo", "/help"}, &printed), 1);
  EXPECT_EQ(printed,
            "/?,/help - for help.\n"
            "-p       - Process name of the application.\n"
            "-sw      - Silent switch.\n"
            "-fn      - Executable filename.\n");
  EXPECT_EQ(UninstallKeyOpens(h), 0);
  EXPECT_EQ(h.Opens("SOFTWARE\\Velnor\\Halvane\\HVAgent\\Patch\\"), 0);
  EXPECT_EQ(h.fake.tickCountReads, 0);
  EXPECT_TRUE(h.fake.started.empty());
  EXPECT_FALSE(h.Has("[INFO] Inside CheckIfAlreadyRunningAndKillOnStartup\n"));
  EXPECT_TRUE(EndsWithCloseBanner(h));
}

TEST(RunFlow, RunningProductOutsideStartUpExitsWith32) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  h.fake.AddProcess("prod.exe");
  h.fake.tickCount = 900001;
  EXPECT_EQ(RunTool({"-dis", "Foo", "-p", "prod.exe"}), 32);
  EXPECT_EQ(runResult, 32);
  EXPECT_TRUE(h.Has("[INFO] Application is already being run by another process\n"));
  EXPECT_EQ(UninstallKeyOpens(h), 0);
  EXPECT_TRUE(h.fake.started.empty());
  EXPECT_TRUE(h.fake.terminated.empty());
  EXPECT_TRUE(EndsWithCloseBanner(h));
}

TEST(RunFlow, RunningProductOnStartUpIsStoppedAndUninstalled) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  const uint32_t product = h.fake.AddProcess("prod.exe");
  h.fake.tickCount = 5000;
  EXPECT_EQ(RunTool({"-dis", "Foo", "-p", "prod.exe"}), 0);
  EXPECT_EQ(h.fake.terminated, (std::vector<std::pair<uint32_t, uint32_t>>{{product, 259}}));
  EXPECT_EQ(h.fake.started.size(), 1u);
}

TEST(RunFlow, ExitCodeTellsWhetherEitherPassSucceeded) {
  struct Case {
    uint32_t firstPassExit;
    uint32_t secondPassExit;
    int exitCode;
  };
  const Case cases[] = {{0, 0, 0}, {1603, 0, 0}, {0, 1603, 0}, {3010, 1605, 0}, {1603, 1605, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.firstPassExit) + ", " + std::to_string(c.secondPassExit));
    Harness h(Harness::Logging::kByRun);
    // A product registered in both views; its commands leave the entries.
    h.AddEntry(kUninstall32, kProduct, "Foo Product", "MsiExec.exe /I" + kProduct);
    h.AddEntry(kUninstall64, kProduct, "Foo Product", "MsiExec.exe /I" + kProduct);
    h.fake.onCreateProcess = [&c](const std::string& command) {
      FakePlatform::CommandOutcome outcome;
      outcome.exitCode =
          command.find("/qn") == std::string::npos ? c.firstPassExit : c.secondPassExit;
      return outcome;
    };
    EXPECT_EQ(RunTool({"-dis", "foo product"}), c.exitCode);
    ASSERT_EQ(h.fake.started.size(), 2u);
    EXPECT_EQ(h.fake.started[0].commandLine, "MsiExec.exe /I" + kProduct);
    EXPECT_EQ(h.fake.started[1].commandLine, "MsiExec.exe /x" + kProduct + " /qn /norestart");
    EXPECT_TRUE(EndsWithCloseBanner(h));
  }
}

TEST(RunFlow, NothingMatchedExitsWith1) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo Product Tools", "MsiExec.exe /X" + kProduct);
  h.AddEntry(kUninstall64, kOther, "Bar", "MsiExec.exe /X" + kOther);
  h.AddEntry(kUninstall64, "FooProduct", "Foo Product", "C:\\Foo\\uninst.exe");
  EXPECT_EQ(RunTool({"-dis", "Foo Product"}), 1);
  EXPECT_TRUE(h.fake.started.empty());
  EXPECT_EQ(UninstallKeyOpens(h), 4);  // two listings, two views each
}

TEST(RunFlow, SecondListingSeesWhatTheFirstPassRemoved) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  h.AddEntry(kUninstall64, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  h.AddEntry(kUninstall64, kOther, "Bar", "MsiExec.exe /X" + kOther);
  // The removal takes the product's entries out of both views.
  h.fake.onCreateProcess = [&h](const std::string&) {
    h.fake.RemoveKey(kUninstall32 + kProduct);
    h.fake.RemoveKey(kUninstall64 + kProduct);
    return FakePlatform::CommandOutcome{};
  };
  EXPECT_EQ(RunTool({"-dis", "Foo"}), 0);
  ASSERT_EQ(h.fake.started.size(), 1u);
  EXPECT_EQ(h.fake.started[0].commandLine, "MsiExec.exe /X" + kProduct);
  EXPECT_EQ(notUninstalled32, 0);
  EXPECT_EQ(notUninstalled64, 1);
  // The lists hold the second listing only.
  EXPECT_TRUE(subKeys32.empty());
  EXPECT_EQ(subKeys64, (Lines{Listed(kOther)}));
}

TEST(RunFlow, EveryEntryOfAPassIsExamined) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo", "first.exe");
  h.AddEntry(kUninstall32, "{B}", "Bar", "bar.exe");
  h.AddEntry(kUninstall32, kOther, "FOO", "second.exe");
  EXPECT_EQ(RunTool({"-dis", "Foo"}), 0);
  ASSERT_EQ(h.fake.started.size(), 2u);
  EXPECT_EQ(h.fake.started[0].commandLine, "first.exe");
  EXPECT_EQ(h.fake.started[1].commandLine, "second.exe");
}

TEST(RunFlow, WithoutDisplayNameOnlyEmptyDisplayNamesMatch) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "", "empty.exe");
  h.fake.SetString(kUninstall32 + kOther, "UninstallString", "nameless.exe");
  h.AddEntry(kUninstall32, "Tool", "", "tool.exe");
  h.AddEntry(kUninstall32, "{C}", "Foo", "foo.exe");
  EXPECT_EQ(RunTool({}), 0);
  ASSERT_EQ(h.fake.started.size(), 1u);
  EXPECT_EQ(h.fake.started[0].commandLine, "empty.exe");
  EXPECT_TRUE(h.Has("[ERROR] Error while reading the DisplayName from " + Listed(kOther) +
                    " with error code : 2\n"));
}

TEST(RunFlow, WithoutAdministratorRightsNothingIsListed) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  h.AddEntry(kUninstall64, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  h.fake.denyWriteAccess = true;
  EXPECT_EQ(RunTool({"-dis", "Foo"}), 1);
  EXPECT_TRUE(h.fake.started.empty());
  EXPECT_EQ(h.Count("[ERROR] Error while opening the Reg Hive: 5\n"), 2);
}

TEST(RunFlow, RunsUnloggedWithoutTheAgentFolder) {
  Harness h(Harness::Logging::kByRun);
  h.fake.RemoveKey("SOFTWARE\\WOW6432Node\\Velnor");
  h.AddEntry(kUninstall32, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  EXPECT_EQ(RunTool({"-dis", "Foo"}), 0);
  EXPECT_EQ(h.fake.started.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(h.LogPath()));
  std::string printed;
  EXPECT_EQ(RunTool({"/?"}, &printed), 1);
  EXPECT_FALSE(printed.empty());
}

TEST(RunFlow, SeveralRunsInOneProcessStartFromTheStartUpState) {
  Harness h(Harness::Logging::kByRun);
  h.AddEntry(kUninstall32, kProduct, "Foo", "MsiExec.exe /X" + kProduct);
  EXPECT_EQ(RunTool({"-dis", "Foo", "-Ireq"}), 0);
  EXPECT_EQ(RunTool({"-dis", "Bar"}), 1);
  EXPECT_EQ(installRequired, 0);
  EXPECT_EQ(h.fake.started.size(), 1u);
}

}  // namespace
}  // namespace hv::test
