#pragma once

#include <string>

struct TraceSinkSettings;

// Reads the trace switch of this program file from HKCU\Software\Velmora, fixes the log
// path and starts the sink, which opens the log file it writes to the Users group. Called
// once, first thing at start-up.
void InitTraceLog();

// What the registry asks of this program file's trace log: its mode, the log path (from
// ".log.path", else ".log.name" beside the program, else the program path with ".log"), and
// the program's file name. Reads the registry, touches nothing.
TraceSinkSettings ReadTraceSettings();

// The program file that holds the running code, in its long form.
std::wstring GetTraceProgramPath();
