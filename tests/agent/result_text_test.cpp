#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "agent/result_text.h"
#include "tests/logging/log_test_support.h"

namespace hv::test {
namespace {

struct TableRow {
  int32_t code;
  const char* text;
};

// The agent's own texts, exactly as operators and support scripts read them.
const TableRow kAgentTable[] = {
    {1508,
     "The requested operation is successful. Changes will not be effective until the browser is "
     "rebooted."},
    {10001, "hv.db.agent.config.script.powerscript_notfound"},
    {10002, "hv.db.agent.config.run_as_admin.credentials_not_available"},
    {10003, "hv.db.agent.config.returned_zero_failure"},
    {17021, "OfficeUpdateError: Creating temp folder."},
    {17023, "OfficeUpdateError: User cancelled installation."},
    {17024, "OfficeUpdateError: Creating folder failed."},
    {17025, "OfficeUpdateError: Patch already installed."},
    {17026, "OfficeUpdateError: Patch already installed to admin installation."},
    {17027, "OfficeUpdateError: Installation source requires full file update."},
    {17028, "OfficeUpdateError: No product installed for contained patch."},
    {17029, "OfficeUpdateError: Patch failed to install."},
    {17030, "OfficeUpdateError: Invalid CIF format."},
    {17031, "OfficeUpdateError: Invalid baseline."},
    {17034, "OfficeUpdateError: Required patch does not apply to the machine."},
    {17038,
     "OfficeUpdateError: You do not have sufficient privileges to complete this installation for "
     "all users of the machine. Log on as administrator and then retry this installation."},
    {17044, "OfficeUpdateError: Installer was unable to run detection for this package."},
    {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
    {17301, "OfficeUpdateError: General Detection error"},
    {17302, "OfficeUpdateError: Applying patch."},
    {17303, "OfficeUpdateError: Extracting file."},
    {20001, "Patch update delayed since application is used by another process"},
    {2359302,
     "Patch already Installed and the changes will not be effective until the system is "
     "rebooted."},
    {2359303,
     "Patch already Uninstalled and the changes will not be effective until the system is "
     "rebooted."},
};

using ResultTextTest = LoggedTest;

TEST_F(ResultTextTest, AgentTableTexts) {
  for (const TableRow& row : kAgentTable) {
    SCOPED_TRACE(row.code);
    bool allocated = true;
    EXPECT_STREQ(GetInstallerResultText(row.code, &allocated), row.text);
    EXPECT_FALSE(allocated);
  }
}

TEST_F(ResultTextTest, CodesWithoutRowGetTheUnknownText) {
  const int32_t codes[] = {17022, 17032, 17300, 0, -1, 3010, 2359304, 2147483647};
  for (int32_t code : codes) {
    SCOPED_TRACE(code);
    bool allocated = false;
    const char* text = GetInstallerResultText(code, &allocated);
    EXPECT_TRUE(allocated);
    EXPECT_EQ(std::string(text), "Unknown Error. Code : " + std::to_string(code));
    free(const_cast<char*>(text));
  }
  // Without a holder for the ownership flag the caller gets a text it need
  // not free.
  EXPECT_STREQ(GetInstallerResultText(17022, nullptr), "Unknown Error. Code : 17022");
}

struct ErrorTextCase {
  int32_t code;
  const char* text;
  const char* line;
};

TEST_F(ResultTextTest, GetErrorTextPrefersTheSystemAndLogsByCode) {
  fake.systemMessages[1508] = "System text for 1508. ";
  const ErrorTextCase cases[] = {
      {0, "The operation completed successfully. ",
       "[INFO] Message : The operation completed successfully.  \n"},
      {2, "The system cannot find the file specified. ",
       "[ERROR] Error Code : 2 , Error Message : The system cannot find the file specified.  \n"},
      {1508, "System text for 1508. ",
       "[ERROR] Error Code : 1508 , Error Message : System text for 1508.  \n"},
      {10002, "hv.db.agent.config.run_as_admin.credentials_not_available",
       "[ERROR] Error Code : 10002 , Error Message : "
       "hv.db.agent.config.run_as_admin.credentials_not_available \n"},
      {17022, "Unknown Error. Code : 17022",
       "[ERROR] Error Code : 17022 , Error Message : Unknown Error. Code : 17022 \n"},
  };
  OpenLog(2);
  std::string expected;
  for (const ErrorTextCase& c : cases) {
    SCOPED_TRACE(c.code);
    char* text = GetErrorText(c.code);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.text);
    free(text);
    expected += std::string("[ 2024-03-07 09:05:02:047 ] [ 4120 ] ") + c.line;
  }
  EXPECT_EQ(Logged(), expected);
}

TEST_F(ResultTextTest, SuccessIsLoggedAtInfoOnly) {
  OpenLog(1);
  free(GetErrorText(0));
  free(GetErrorText(5));
  EXPECT_EQ(Logged(), Info("Message : The operation completed successfully.  \n"));
}

TEST_F(ResultTextTest, LogErrorTextTrimsTheSystemTextOnly) {
  fake.systemMessages[5] = "   Access is denied.   ";
  OpenLog(2);
  EXPECT_EQ(LogErrorText(5), 0);
  EXPECT_EQ(LogErrorText(0), 0);
  EXPECT_EQ(LogErrorText(10003), 0);
  char* untrimmed = GetErrorText(5);
  EXPECT_STREQ(untrimmed, "   Access is denied.   ");
  free(untrimmed);
  EXPECT_EQ(
      Logged(),
      Error("Error Code : 5 , Error Message : Access is denied. \n") +
          Info("Message : The operation completed successfully. \n") +
          Error("Error Code : 10003 , Error Message : hv.db.agent.config.returned_zero_failure "
                "\n") +
          Error("Error Code : 5 , Error Message :    Access is denied.    \n"));
}

TEST_F(ResultTextTest, ReportErrorCodeOnlyLogs) {
  OpenLog(2);
  ReportErrorCode(3);
  EXPECT_EQ(
      Logged(),
      Error("Error Code : 3 , Error Message : The system cannot find the path specified.  \n"));
}

TEST_F(ResultTextTest, WideToUtf8) {
  char* text = nullptr;
  EXPECT_TRUE(WideToUtf8(L"caf\u00e9 \u20ac", &text));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "caf\xc3\xa9 \xe2\x82\xac");
  free(text);
}

// The conversion fails with 1113 (no mapping for the Unicode character).
class FailingConversion : public FakePlatform {
 public:
  int32_t WideToUtf8(const wchar_t*, std::string* out) override {
    out->clear();
    return 1113;
  }
};

TEST_F(ResultTextTest, FailedConversionGivesAnEmptyTextAndALogLine) {
  FailingConversion failing;
  FakePlatformScope installed(&failing);
  failing.systemMessages[1113] = "No mapping for the Unicode character exists. ";
  OpenLog(2);
  char* text = nullptr;
  EXPECT_FALSE(WideToUtf8(L"x", &text));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  free(text);
  EXPECT_EQ(Logged(), Error(" Error Message: No mapping for the Unicode character exists. \n"));
}

}  // namespace
}  // namespace hv::test
