#pragma once

#include <windows.h>
#include <string>

// The trace log's sink. It keeps its state to itself: the configuration starts it once, the
// writers ask it for the mode and hold a TraceLineGuard around every line.

// Where the trace lines go; the registry value is taken as is, so other values exist too.
enum TraceMode : DWORD {
    TraceOff = 0,
    TraceConsole = 1,
    TraceFile = 2,
    TraceFileAppend = 3,
};

// A critical section that lives from static initialisation to process exit.
class TraceLock {
  public:
    TraceLock() { InitializeCriticalSectionAndSpinCount(&m_section, 0); }
    ~TraceLock() { DeleteCriticalSection(&m_section); }
    TraceLock(const TraceLock&) = delete;
    TraceLock& operator=(const TraceLock&) = delete;
    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }

  private:
    CRITICAL_SECTION m_section;
};

// Serialises every trace line of the process.
extern TraceLock g_traceLock;

// What the log configuration decided for this run.
struct TraceSinkSettings {
    DWORD mode = TraceOff;    // a TraceMode, or whatever other value the registry held
    std::wstring logPath;     // full path of the log file
    std::wstring moduleName;  // the program's file name, shown in every line header
};

// The chosen sink; TraceOff until the sink is started. With tracing off a writer costs this
// one call and nothing else.
DWORD CurrentTraceMode();

// Takes the settings and opens what their mode asks for: a new console, the log file
// truncated and held to the end, or (append mode) the log file created and closed again at
// once, as every line reopens it. The file modes write only into a plain file that the user
// who started the program could write or create without elevation, never a folder, device,
// stream or link; a log file it opens is opened to the Users group where that user could do
// so. Called once, before the first scope and the second thread.
void StartTraceSink(const TraceSinkSettings& settings);

// (Re)opens stdout onto the sink that the mode selects; true when a sink is open. Without a
// log path it opens nothing, not even the console.
bool OpenTraceSink();

// Line header for the current moment and the calling thread; called under g_traceLock, as it
// keeps the module name converted between lines.
std::string FormatTraceHeader();

// Holds g_traceLock for one whole line; in append mode the log file is open only within it.
class TraceLineGuard {
  public:
    TraceLineGuard();
    ~TraceLineGuard();
    TraceLineGuard(const TraceLineGuard&) = delete;
    TraceLineGuard& operator=(const TraceLineGuard&) = delete;
};
