// Command-line reading: which option an argument selects, which value it
// takes, and where help stops the walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/uninstall/harness.h"
#include "uninstall/run.h"

namespace hv::test {
namespace {

const char* const kHelpText =
    "/?,/help - for help.\n"
    "-p       - Process name of the application.\n"
    "-sw      - Silent switch.\n"
    "-fn      - Executable filename.\n";

struct ArgsCase {
  const char* what;
  std::vector<std::string> args;
  int32_t result;  // 1: help printed
  std::string displayName;
  std::string processName;
  std::string fileName;
  std::string switches;
  int32_t installRequired;
};

const ArgsCase kArgsCases[] = {
    {"exact keyword in any case", {"-DIS", "Foo"}, 0, "Foo", "", "", "", 0},
    {"abbreviation", {"-d", "Foo"}, 0, "Foo", "", "", "", 0},
    {"lone letter selects the first keyword containing it", {"s", "Foo"}, 0, "Foo", "", "", "", 0},
    {"-s selects -sw, not -dis", {"-s", "/S"}, 0, "", "", "", "/S", 0},
    {"longer than every keyword selects nothing", {"-display", "Foo"}, 0, "", "", "", "", 0},
    {"option last gets the empty value", {"-p", "x.exe", "-dis"}, 0, "", "x.exe", "", "", 0},
    {"flag takes no value", {"-Ireq", "-dis", "Foo"}, 0, "Foo", "", "", "", 1},
    {"-i abbreviates -Ireq", {"-i", "Foo"}, 0, "", "", "", "", 1},
    {"later occurrence replaces", {"-dis", "A", "-dis", "B"}, 0, "B", "", "", "", 0},
    {"value looking like an option is a value", {"-p", "-dis", "Foo"}, 0, "", "-dis", "", "", 0},
    {"value may be help", {"-sw", "/?"}, 0, "", "", "", "/?", 0},
    {"a lone dash abbreviates -fn", {"-", "setup.exe"}, 0, "", "", "setup.exe", "", 0},
    {"empty argument selects nothing", {"", "-dis", "Foo"}, 0, "Foo", "", "", "", 0},
    {"all options",
     {"-fn", "setup.exe", "-dis", "Foo Product", "-sw", "/S /v", "-Ireq", "-p", "foo.exe"},
     0,
     "Foo Product",
     "foo.exe",
     "setup.exe",
     "/S /v",
     1},
    {"no arguments", {}, 0, "", "", "", "", 0},
    {"/? stops", {"/?", "-dis", "Foo"}, 1, "", "", "", "", 0},
    {"/help in any case stops later arguments",
     {"-dis", "Foo", "/HeLp", "-p", "x"},
     1,
     "Foo",
     "",
     "",
     "",
     0},
    {"lone ? selects /?", {"?"}, 1, "", "", "", "", 0},
    {"lone / selects /?", {"/"}, 1, "", "", "", "", 0},
    {"help abbreviates /help", {"HELP"}, 1, "", "", "", "", 0},
};

TEST(ProcessArgs, SelectsOptionsAndValues) {
  for (const ArgsCase& c : kArgsCases) {
    SCOPED_TRACE(c.what);
    Harness h;
    Args args(c.args);
    testing::internal::CaptureStdout();
    const int32_t result = ProcessArgs(args.argv(), args.argc());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(printed, c.result == 1 ? kHelpText : "");
    EXPECT_EQ(targetDisplayName, c.displayName);
    EXPECT_EQ(targetProcessName, c.processName);
    EXPECT_EQ(executableFileName, c.fileName);
    EXPECT_EQ(switchArgs, c.switches);
    EXPECT_EQ(installRequired, c.installRequired);
    EXPECT_TRUE(h.Has("[INFO] Inside ProcessArgs\n"));
    EXPECT_EQ(h.Count("[INFO] End of ProcessArgs\n"), 1);
  }
}

TEST(ProcessArgs, LogsEachOptionWithItsValue) {
  Harness h;
  Args args({"-fn", "setup.exe", "-bogus", "-dis", "Foo Product", "-sw", "/S /v", "-Ireq", "-p",
             "foo.exe", "-dis"});
  ASSERT_EQ(ProcessArgs(args.argv(), args.argc()), 0);
  EXPECT_EQ(h.EntriesFrom("[INFO] Inside ProcessArgs\n"),
            (std::vector<std::string>{
                "[INFO] Inside ProcessArgs\n",
                "[INFO] Executable file name: setup.exe\n",
                "[INFO] Given Display Name : Foo Product\n",
                "[INFO] Given command line args : /S /v\n",
                "[INFO] Installation required\n",
                "[INFO] Process name : foo.exe\n",
                "[INFO] Given Display Name : \n",
                "[INFO] End of ProcessArgs\n",
            }));
}

TEST(ProcessArgs, HelpGoesToStandardOutputOnly) {
  Harness h;
  Args args({"-p", "foo.exe", "/?"});
  testing::internal::CaptureStdout();
  ASSERT_EQ(ProcessArgs(args.argv(), args.argc()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kHelpText);
  EXPECT_EQ(h.EntriesFrom("[INFO] Inside ProcessArgs\n"), (std::vector<std::string>{
                                                              "[INFO] Inside ProcessArgs\n",
                                                              "[INFO] Process name : foo.exe\n",
                                                              "[INFO] End of ProcessArgs\n",
                                                          }));
}

}  // namespace
}  // namespace hv::test
