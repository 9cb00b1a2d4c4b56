// Listing the subkeys of a key under HKEY_LOCAL_MACHINE in both registry views.
#ifndef HV_UNINSTALL_UNINSTALL_KEY_H
#define HV_UNINSTALL_UNINSTALL_KEY_H

#include <cstdint>
#include <string>
#include <vector>

extern const char* const kUninstallKeyPath;  // "SOFTWARE\...\Uninstall\"

// Appends keyPath + subkey name for every subkey of the 32-bit view to
// subKeys32 and of the 64-bit view to subKeys64. 0, or the failed open's error.
int32_t getSubKeysOfRegistryHive(const char* keyPath, std::vector<std::string>* subKeys64,
                                 std::vector<std::string>* subKeys32);

#endif  // HV_UNINSTALL_UNINSTALL_KEY_H
