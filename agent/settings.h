// The agent's settings in the registry: two value readers and the accessors
// built on them. Keys are opened with KEY_QUERY_VALUE and no view flag, which
// in this 32-bit tool is the 32-bit registry view.
#ifndef HV_AGENT_SETTINGS_H
#define HV_AGENT_SETTINGS_H

#include <cstdint>

#include "platform/platform.h"

// "Software\Velnor\Halvane\HVAgent"
extern const char* const agentRegistryKey;
// Set from HVEventEnabled at log set-up; 1 until then.
extern int32_t agentEventEnabled;
// The agent's installation folder, read once by the log set-up (owned, may be
// null).
extern char* agentInstallDir;

int32_t ReadDwordRegistryData(hv::RootKey root, const char* keyPath, const char* valueName,
                              uint32_t* output);
// *output is allocated here (caller frees with free()); null when the key
// cannot be opened or the size cannot be read.
int32_t ReadRegSZ(hv::RootKey root, const char* keyPath, const char* valueName, char** output);
int32_t GetAgentInstallDir(char** output);
int32_t ReadEventEnabled(int32_t* output);

#endif  // HV_AGENT_SETTINGS_H
