#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "agent/settings.h"
#include "tests/logging/log_test_support.h"

namespace hv::test {
namespace {

// Where the tool's no-view-flag opens of the agent key land.
constexpr char kAgentKey[] = "SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent";
constexpr char kPatchPath[] = "SOFTWARE\\Velnor\\Halvane\\HVAgent\\Patch\\";

using SettingsTest = LoggedTest;

TEST_F(SettingsTest, AgentKeyName) {
  EXPECT_STREQ(agentRegistryKey, "Software\\Velnor\\Halvane\\HVAgent");
}

struct DwordCase {
  const char* name;
  bool keyExists;
  const char* storedBytes;  // null: no value
  size_t storedLength;
  uint32_t type;
  int32_t openError;
  int32_t result;
  uint32_t output;  // the caller puts 0xAAAAAAAA there first
  const char* logged;
};

TEST_F(SettingsTest, ReadDwordRegistryData) {
  const DwordCase cases[] = {
      {"value present", true, "\x05\x00\x00\x00", 4, kRegDword, 0, 0, 5, ""},
      {"missing value", true, nullptr, 0, kRegDword, 0, 2, 0xAAAAAAAA,
       "[DEBUG] ReadDwordRegistryData:  value  Level Not found: 2 \n"},
      {"missing key", false, nullptr, 0, kRegDword, 0, 2, 0xAAAAAAAA,
       "[DEBUG] ReadDwordRegistryData:  value  Level Not found: 2 \n"},
      {"open refused", true, "\x05\x00\x00\x00", 4, kRegDword, 5, 5, 0xAAAAAAAA,
       "[ERROR] ReadDwordRegistryData: Error while opening registry key "
       "Software\\Velnor\\Halvane\\HVAgent,and the errorcode is : 5 \n"},
      {"stored with 8 bytes", true, "\x01\x02\x03\x04\x05\x06\x07\x08", 8, kRegQword, 0, 234,
       0xAAAAAAAA,
       "[ERROR] ReadDwordRegistryData: Error while reading DWORD value of Level : 234 \n"},
      {"stored with 2 bytes", true, "\x34\x12", 2, kRegBinary, 0, 0, 0xAAAA1234, ""},
      {"type is not checked", true, "ab\0\0", 4, kRegSz, 0, 0, 0x00006261, ""},
  };
  for (const DwordCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetLogWriter();
    std::filesystem::remove(LogPath());
    FakePlatform registry;
    FakePlatformScope installed(&registry);
    if (c.keyExists) registry.AddKey(kAgentKey);
    if (c.storedBytes != nullptr)
      registry.SetValue(kAgentKey, "Level", c.type, std::string(c.storedBytes, c.storedLength));
    if (c.openError != 0) registry.openErrors[kAgentKey] = c.openError;
    OpenLog(4);
    uint32_t output = 0xAAAAAAAA;
    EXPECT_EQ(ReadDwordRegistryData(RootKey::kLocalMachine, agentRegistryKey, "Level", &output),
              c.result);
    EXPECT_EQ(output, c.output);
    std::string expected =
        *c.logged != '\0' ? std::string("[ 2024-03-07 09:05:02:047 ] [ 4120 ] ") + c.logged : "";
    EXPECT_EQ(Logged(), expected);
    ASSERT_EQ(registry.registryOpens.size(), 1u);
    EXPECT_EQ(registry.registryOpens[0].first, agentRegistryKey);
    EXPECT_EQ(registry.registryOpens[0].second, kKeyQueryValue);
  }
}

TEST_F(SettingsTest, MissingPatchKeyKeepsTheCallersDefault) {
  OpenLog(3);
  uint32_t alwaysKillApps = 0;
  EXPECT_EQ(
      ReadDwordRegistryData(RootKey::kLocalMachine, kPatchPath, "alwaysKillApps", &alwaysKillApps),
      2);
  EXPECT_EQ(alwaysKillApps, 0u);
  EXPECT_EQ(Logged(), Debug("ReadDwordRegistryData:  value  alwaysKillApps Not found: 2 \n"));
}

TEST_F(SettingsTest, ReadRegSZ) {
  OpenLog(4);
  fake.SetString(kAgentKey, "Dir", "C:\\Program Files\\Agent\\");
  char* text = reinterpret_cast<char*>(1);
  EXPECT_EQ(ReadRegSZ(RootKey::kLocalMachine, agentRegistryKey, "Dir", &text), 0);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "C:\\Program Files\\Agent\\");
  free(text);
  EXPECT_EQ(fake.registryOpens.back().second, kKeyQueryValue);

  // Missing value: no line, no text.
  text = reinterpret_cast<char*>(1);
  EXPECT_EQ(ReadRegSZ(RootKey::kLocalMachine, agentRegistryKey, "Nothing", &text), 2);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(Logged(), "");

  // Missing key: one ERROR line, no text.
  text = reinterpret_cast<char*>(1);
  EXPECT_EQ(ReadRegSZ(RootKey::kLocalMachine, "Software\\Nowhere", "Dir", &text), 2);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(
      Logged(),
      Error("ReadRegSZ: Error while opening registry key Software\\Nowhere ,and the error is  "
            "2 \n"));
}

TEST_F(SettingsTest, StringStoredWithoutTerminatorIsTerminated) {
  fake.SetValue(kAgentKey, "HVAgentInstallDir", kRegSz, "C:\\Agent\\");  // no '\0'
  char* text = nullptr;
  EXPECT_EQ(GetAgentInstallDir(&text), 0);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "C:\\Agent\\");
  for (size_t i = 9; i < 9 + 5; ++i) EXPECT_EQ(text[i], '\0') << i;
  free(text);
}

// The value's size is reported, but reading its data fails.
class FailingValueRead : public FakePlatform {
 public:
  int32_t RegQueryValue(RegKey* key, const char* valueName, uint32_t* type, uint8_t* data,
                        uint32_t* size) override {
    if (data != nullptr) return 5;
    return FakePlatform::RegQueryValue(key, valueName, type, data, size);
  }
};

TEST_F(SettingsTest, FailedStringReadLeavesTheZeroedTextWithTheCaller) {
  FailingValueRead registry;
  FakePlatformScope installed(&registry);
  registry.SetString(kAgentKey, "Dir", "abc");
  OpenLog(2);
  char* text = nullptr;
  EXPECT_EQ(ReadRegSZ(RootKey::kLocalMachine, agentRegistryKey, "Dir", &text), 5);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  free(text);
  EXPECT_EQ(Logged(), Error("ReadRegSZ: Error while reading DWORD value! 5 \n"));
}

struct EventCase {
  const char* name;
  bool stored;
  uint32_t value;
  int32_t expected;
};

TEST_F(SettingsTest, ReadEventEnabled) {
  const EventCase cases[] = {
      {"zero", true, 0, 0}, {"one", true, 1, 1}, {"other", true, 7, 7}, {"missing", false, 0, 1}};
  for (const EventCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform registry;
    FakePlatformScope installed(&registry);
    if (c.stored) registry.SetDword(kAgentKey, "HVEventEnabled", c.value);
    int32_t flag = 99;
    EXPECT_EQ(ReadEventEnabled(&flag), 0);
    EXPECT_EQ(flag, c.expected);
  }
}

}  // namespace
}  // namespace hv::test
