// Listing of the uninstall key in both registry views.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/uninstall/harness.h"
#include "uninstall/uninstall_key.h"

namespace hv::test {
namespace {

using Paths = std::vector<std::string>;

TEST(UninstallKeyListing, ListsEachViewInRegistryOrder) {
  Harness h;
  // Creation order is the fake registry's enumeration order: not sorted.
  h.fake.AddKey(std::string(kUninstall32) + "{B}");
  h.fake.AddKey(std::string(kUninstall32) + "{A}");
  h.fake.AddKey(std::string(kUninstall32) + "Zed");
  h.fake.AddKey(std::string(kUninstall64) + "{C}");
  Paths list32;
  Paths list64;
  ASSERT_EQ(getSubKeysOfRegistryHive(kUninstallKeyPath, &list64, &list32), 0);
  EXPECT_EQ(list32, (Paths{Listed("{B}"), Listed("{A}"), Listed("Zed")}));
  EXPECT_EQ(list64, (Paths{Listed("{C}")}));
  EXPECT_EQ(h.EntriesFrom("[INFO] Inside getSubKeysOfRegistryHive\n"),
            (Paths{
                "[INFO] Inside getSubKeysOfRegistryHive\n",
                "[INFO] SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\\n",
                "[INFO] Reading 32-bit keys",
                "[INFO] SubKey: " + Listed("{B}") + "\n",
                "[INFO] SubKey: " + Listed("{A}") + "\n",
                "[INFO] SubKey: " + Listed("Zed") + "\n",
                "[INFO] Reading 64-bit keys",
                "[INFO] SubKey: " + Listed("{C}") + "\n",
                "[INFO] End of getSubKeysOfRegistryHive\n",
            }));
  // Full access, first without a view flag (the 32-bit view), then 64-bit.
  std::vector<std::pair<std::string, uint32_t>> listingOpens;
  for (const auto& open : h.fake.registryOpens)
    if (open.first == kUninstallKeyPath) listingOpens.push_back(open);
  EXPECT_EQ(listingOpens, (std::vector<std::pair<std::string, uint32_t>>{
                              {kUninstallKeyPath, 0xF003Fu}, {kUninstallKeyPath, 0xF013Fu}}));
}

TEST(UninstallKeyListing, MessageWithoutLineEndIsFollowedByTheNextPrefix) {
  Harness h;
  Paths list32;
  Paths list64;
  ASSERT_EQ(getSubKeysOfRegistryHive(kUninstallKeyPath, &list64, &list32), 0);
  const std::string text = h.LogText();
  EXPECT_NE(text.find("[INFO] Reading 32-bit keys[ "), std::string::npos) << text;
  EXPECT_NE(text.find("[INFO] Reading 64-bit keys[ "), std::string::npos) << text;
}

TEST(UninstallKeyListing, AppendsToListsThatAreNotEmpty) {
  Harness h;
  h.fake.AddKey(std::string(kUninstall32) + "{A}");
  h.fake.AddKey(std::string(kUninstall64) + "{B}");
  Paths list32{"earlier32"};
  Paths list64{"earlier64"};
  ASSERT_EQ(getSubKeysOfRegistryHive(kUninstallKeyPath, &list64, &list32), 0);
  EXPECT_EQ(list32, (Paths{"earlier32", Listed("{A}")}));
  EXPECT_EQ(list64, (Paths{"earlier64", Listed("{B}")}));
}

TEST(UninstallKeyListing, EmptyKeyGivesEmptyLists) {
  Harness h;
  Paths list32;
  Paths list64;
  EXPECT_EQ(getSubKeysOfRegistryHive(kUninstallKeyPath, &list64, &list32), 0);
  EXPECT_TRUE(list32.empty());
  EXPECT_TRUE(list64.empty());
  EXPECT_TRUE(h.Has("[INFO] End of getSubKeysOfRegistryHive\n"));
}

TEST(UninstallKeyListing, AccessDeniedListsNeitherView) {
  Harness h;
  h.fake.AddKey(std::string(kUninstall32) + "{A}");
  h.fake.AddKey(std::string(kUninstall64) + "{B}");
  h.fake.denyWriteAccess = true;  // a run without administrator rights
  Paths list32;
  Paths list64;
  EXPECT_EQ(getSubKeysOfRegistryHive(kUninstallKeyPath, &list64, &list32), 5);
  EXPECT_TRUE(list32.empty());
  EXPECT_TRUE(list64.empty());
  EXPECT_EQ(h.Opens(kUninstallKeyPath), 1);
  EXPECT_EQ(h.EntriesFrom("[INFO] Reading 32-bit keys"),
            (Paths{"[INFO] Reading 32-bit keys", "[ERROR] Error while opening the Reg Hive: 5\n"}));
}

TEST(UninstallKeyListing, FailedOpenOfThe64BitViewKeepsThe32BitList) {
  Harness h;
  h.fake.AddKey(std::string(kUninstall32) + "{A}");
  h.fake.AddKey(std::string(kUninstall64) + "{B}");
  h.fake.openErrors["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"] = 2;
  Paths list32;
  Paths list64;
  EXPECT_EQ(getSubKeysOfRegistryHive(kUninstallKeyPath, &list64, &list32), 2);
  EXPECT_EQ(list32, (Paths{Listed("{A}")}));
  EXPECT_TRUE(list64.empty());
  EXPECT_EQ(h.EntriesFrom("[INFO] Reading 64-bit keys"),
            (Paths{"[INFO] Reading 64-bit keys", "[ERROR] Error while opening the Reg Hive: 2\n"}));
}

// Names are read into 260 characters with the size reset before each read: a
// name that does not fit ends that view's listing, names after a short one
// still fit.
TEST(UninstallKeyListing, NameThatDoesNotFitEndsTheListing) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    size_t listed;
  };
  const std::string longest(259, 'n');
  const std::string tooLong(260, 'n');
  const Case cases[] = {
      {"short names after a shorter one", {"a", "{A}", "{BB}"}, 3},
      {"259 characters fit", {"{A}", longest, "{B}"}, 3},
      {"260 characters end the listing", {"{A}", tooLong, "{B}"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    for (const std::string& name : c.names) {
      h.fake.AddKey(std::string(kUninstall32) + name);
      h.fake.AddKey(std::string(kUninstall64) + name);
    }
    Paths list32;
    Paths list64;
    EXPECT_EQ(getSubKeysOfRegistryHive(kUninstallKeyPath, &list64, &list32), 0);
    Paths expected;
    for (size_t i = 0; i < c.listed; ++i) expected.push_back(Listed(c.names[i]));
    EXPECT_EQ(list32, expected);
    EXPECT_EQ(list64, expected);
  }
}

}  // namespace
}  // namespace hv::test
