// The tool's agent log: the log lives in the "logs" folder under the agent's
// installation folder, its level comes from the agent's registry key, and it is
// rotated by size.
#ifndef HV_AGENT_AGENT_LOG_H
#define HV_AGENT_AGENT_LOG_H

#include <cstdint>

int32_t InitAgentLogging(const char* fileName);
int32_t OpenAgentLog(const char* fileName, const char* folder, int32_t openMode);
int32_t ShutdownAgentLogging();

#endif  // HV_AGENT_AGENT_LOG_H
