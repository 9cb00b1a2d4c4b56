// The agent's registry settings and the two value readers.
//
// The readers keep no state; agentInstallDir and agentEventEnabled are written
// only by the agent log set-up on the main thread.
#include "agent/settings.h"

#include <stdlib.h>
#include <string.h>

#include "logging/log.h"

const char* const agentRegistryKey = "Software\\Velnor\\Halvane\\HVAgent";
int32_t agentEventEnabled = 1;
char* agentInstallDir = nullptr;

namespace {

constexpr char kNotFoundFormat[] = "ReadDwordRegistryData:  value  %s Not found: %d \n";

const char* Printable(const char* text) {
  return text != nullptr ? text : "(null)";
}

}  // namespace

int32_t ReadDwordRegistryData(hv::RootKey root, const char* keyPath, const char* valueName,
                              uint32_t* output) {
  if (keyPath == nullptr || output == nullptr) return hv::kErrorInvalidParameter;
  hv::Platform& platform = hv::CurrentPlatform();
  hv::RegKey* key = nullptr;
  int32_t error = platform.RegOpenKey(root, keyPath, hv::kKeyQueryValue, &key);
  if (error == hv::kErrorFileNotFound) {
    LogDebug(kNotFoundFormat, Printable(valueName), hv::kErrorFileNotFound);
    return hv::kErrorFileNotFound;
  }
  if (error != 0) {
    LogError(
        "ReadDwordRegistryData: Error while opening registry key %s,and the errorcode is : %d \n",
        keyPath, error);
    return error;
  }
  // The value is read through a 4-byte copy of the caller's output, so that a
  // larger stored value (234) or any other failure leaves the output as the
  // caller set it, and a shorter one only replaces its first bytes.
  uint32_t value = *output;
  uint32_t size = sizeof value;
  error =
      platform.RegQueryValue(key, valueName, nullptr, reinterpret_cast<uint8_t*>(&value), &size);
  if (error == hv::kErrorFileNotFound) {
    LogDebug(kNotFoundFormat, Printable(valueName), hv::kErrorFileNotFound);
  } else if (error != 0) {
    LogError("ReadDwordRegistryData: Error while reading DWORD value of %s : %d \n",
             Printable(valueName), error);
  } else {
    *output = value;
  }
  platform.RegCloseKey(key);
  return error;
}

int32_t ReadRegSZ(hv::RootKey root, const char* keyPath, const char* valueName, char** output) {
  if (output == nullptr) return hv::kErrorInvalidParameter;
  *output = nullptr;
  if (keyPath == nullptr) return hv::kErrorInvalidParameter;
  hv::Platform& platform = hv::CurrentPlatform();
  hv::RegKey* key = nullptr;
  int32_t error = platform.RegOpenKey(root, keyPath, hv::kKeyQueryValue, &key);
  if (error != 0) {
    LogError("ReadRegSZ: Error while opening registry key %s ,and the error is  %d \n", keyPath,
             error);
    return error;
  }
  uint32_t size = 0;
  error = platform.RegQueryValue(key, valueName, nullptr, nullptr, &size);
  if (error != 0) {
    platform.RegCloseKey(key);
    return error;
  }
  // Five zero bytes past the stored size terminate a value stored without its
  // terminator; the query is given the stored size only, so they stay zero.
  char* text = static_cast<char*>(calloc(static_cast<size_t>(size) + 5, 1));
  if (text == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    platform.RegCloseKey(key);
    return hv::kErrorNotEnoughMemory;
  }
  *output = text;
  uint32_t querySize = size;
  error =
      platform.RegQueryValue(key, valueName, nullptr, reinterpret_cast<uint8_t*>(text), &querySize);
  if (error != 0) LogError("ReadRegSZ: Error while reading DWORD value! %d \n", error);
  platform.RegCloseKey(key);
  return error;
}

int32_t GetAgentInstallDir(char** output) {
  return ReadRegSZ(hv::RootKey::kLocalMachine, agentRegistryKey, "HVAgentInstallDir", output);
}

int32_t ReadEventEnabled(int32_t* output) {
  if (output == nullptr) return 0;
  uint32_t value = static_cast<uint32_t>(*output);
  if (ReadDwordRegistryData(hv::RootKey::kLocalMachine, agentRegistryKey, "HVEventEnabled",
                            &value) != 0) {
    *output = 1;
  } else {
    *output = static_cast<int32_t>(value);
  }
  return 0;
}
