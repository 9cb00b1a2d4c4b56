// Readable texts for system and installer result codes, and their log lines.
#ifndef HV_AGENT_RESULT_TEXT_H
#define HV_AGENT_RESULT_TEXT_H

#include <cstdint>

// The agent's table text for a code. For a code without a row the result is a
// new text "Unknown Error. Code : %d" that the caller frees (*allocated set);
// otherwise a static text.
const char* GetInstallerResultText(int32_t code, bool* allocated);
// The system's text for the code, else the agent table's; logs it ("Message :
// %s \n" at INFO for 0, "Error Code : %d , Error Message : %s \n" at ERROR
// otherwise). The caller frees the result with free().
char* GetErrorText(int32_t code);
// Like GetErrorText with the ANSI text trimmed of blanks; returns 0.
int32_t LogErrorText(int32_t code);
// GetErrorText for its log line only.
void ReportErrorCode(int32_t code);
// Converts a terminated wide text to a new UTF-8 text (caller frees).
bool WideToUtf8(const wchar_t* wide, char** output);

#endif  // HV_AGENT_RESULT_TEXT_H
