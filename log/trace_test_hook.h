#pragma once

#include "log/trace_sink.h"
#include "sys/test_seam.h"

// For the tests and the bench only. The program sets its trace log up once, through
// InitTraceLog, and never touches the sink again; a test that writes lines into a file of its
// choosing, or switches tracing off again, comes through here.
//
// Puts the sink into the state StartTraceSink leaves for these settings, without the registry
// and without allocating a console, and gives back the settings it replaced, so that a test
// can restore them. The stream the sink held is let go without closing it: it is standard
// output, which the caller restores or the next opening reopens.
TraceSinkSettings ReplaceTraceSinkForTesting(const TraceSinkSettings& settings);

// Wine without a desktop allocates no console, so a test sees that console mode asks for one
// by standing in for AllocConsole here.
using AllocConsoleCall = BOOL(WINAPI*)();
extern TestSeam<AllocConsoleCall> g_allocConsole;

// Wine reports a program started through its 8.3 name under its long name already, so a test
// hands GetTraceProgramPath the module file name to start from here, short as Windows may
// report it, which must outlive its use; null is the module's own.
extern TestSeam<const wchar_t*> g_traceModulePath;
