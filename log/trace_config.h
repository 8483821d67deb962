#pragma once

#include <string>

// Reads the trace switch of this program file from HKCU\Software\Velmora, fixes the log
// path, opens the sink and opens an existing log file to the Users group. Called once, first
// thing at start-up.
void InitTraceLog();

// The program file that holds the running code, in its long form.
std::wstring GetTraceProgramPath();
