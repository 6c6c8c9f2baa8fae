// Consistency checks on instrument replies are reported to the Qt log and never stop the process:
// a confused instrument must not take the host application down with it.
#pragma once

// Logs `ASSERT: "<condition>" in file ..\trelvan\sk, line <line>`.
void reportSkCheck(const char* condition, int line);

// Reports a reply that names another parameter than the one expected: the condition reads
// "PID == <name of the expected parameter>".
void reportPidCheck(unsigned short expected, int line);
