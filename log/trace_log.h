#pragma once

#include <windows.h>
#include <cstdio>
#include <string>

class FuncTrace;

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

extern DWORD g_traceMode;
extern FILE* g_traceFile;
extern std::wstring g_traceLogPath;
extern std::wstring g_traceModuleName;
extern TraceLock g_traceLock;

// (Re)opens stdout onto the sink that g_traceMode selects; true when a sink is open.
bool OpenTraceSink();

// Line header for the current moment and the calling thread.
std::string FormatTraceHeader();

// One message line through the caller's scope; "%S" takes a wide string.
void TraceMsg(FuncTrace& scope, const char* format, ...);

// One message line from a wide format ("%s" takes a wide string), converted with the thread's
// ANSI code page.
void TraceMsgW(FuncTrace& scope, const wchar_t* format, ...);

// Holds g_traceLock for one whole line and opens and closes the per-line sink around it.
class TraceLineGuard {
  public:
    TraceLineGuard();
    ~TraceLineGuard();
    TraceLineGuard(const TraceLineGuard&) = delete;
    TraceLineGuard& operator=(const TraceLineGuard&) = delete;
};
