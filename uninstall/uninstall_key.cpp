// Listing of the uninstall key. The tool is a 32-bit program, so an open
// without a view flag reaches the 32-bit registry view (WOW6432Node on 64-bit
// Windows); the 64-bit view needs KEY_WOW64_64KEY. Both opens ask for full
// access: that is what makes a run without administrator rights list nothing
// at all (access denied on the first open).
#include "uninstall/uninstall_key.h"

#include <algorithm>
#include <vector>

#include "logging/log.h"
#include "platform/platform.h"
#include "uninstall/scoped_handles.h"

const char* const kUninstallKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {

// The registry's name limit is shorter; the buffer only has to hold any name
// the registry can return, and a longer one ends the listing of that view.
constexpr uint32_t kSubKeyNameChars = 260;

// Appends keyPath + name for every subkey, in the registry's order, until
// the first read that does not succeed (normally 259, no more items).
void AppendSubKeys(hv::Platform& platform, hv::RegKey* key, const char* keyPath,
                   std::vector<std::string>* paths) {
  std::vector<char> name(kSubKeyNameChars, '\0');
  for (uint32_t index = 0;; ++index) {
    // The call overwrites the size with the name's length: reset it each time.
    uint32_t nameSize = kSubKeyNameChars;
    if (platform.RegEnumKey(key, index, name.data(), &nameSize) != hv::kErrorSuccess) return;
    std::string path =
        std::string(keyPath) + std::string(name.data(), std::min(nameSize, kSubKeyNameChars - 1));
    LogInfo("SubKey: %s\n", path.c_str());
    if (paths != nullptr) paths->push_back(std::move(path));
  }
}

}  // namespace

int32_t getSubKeysOfRegistryHive(const char* keyPath, std::vector<std::string>* subKeys64,
                                 std::vector<std::string>* subKeys32) {
  hv::Platform& platform = hv::CurrentPlatform();
  LogInfo("Inside %s\n", "getSubKeysOfRegistryHive");
  LogInfo("%s\n", keyPath);

  hv::uninstall::ScopedRegKey key32(platform);
  int32_t result = key32.Open(keyPath, hv::kKeyAllAccess);
  // Written without a line end, whatever the open gave: the next line's
  // prefix follows on the same line.
  LogInfo("Reading 32-bit keys");
  if (result != hv::kErrorSuccess) {
    LogError("Error while opening the Reg Hive: %ld\n", static_cast<long>(result));
    return result;
  }
  AppendSubKeys(platform, key32.get(), keyPath, subKeys32);

  hv::uninstall::ScopedRegKey key64(platform);
  result = key64.Open(keyPath, hv::kKeyAllAccess | hv::kKeyWow6464Key);
  LogInfo("Reading 64-bit keys");
  if (result != hv::kErrorSuccess) {
    LogError("Error while opening the Reg Hive: %ld\n", static_cast<long>(result));
    return result;
  }
  key32.Close();
  AppendSubKeys(platform, key64.get(), keyPath, subKeys64);
  key64.Close();

  LogInfo("End of %s\n", "getSubKeysOfRegistryHive");
  return hv::kErrorSuccess;
}
