#pragma once

#include <string>

#include "sys/scoped_handle.h"

class FuncTrace;

// Starts a downloaded program by the full path of file in its directory (also its working
// directory) with parameters, waits until it ends without a time-out, and logs "<name> run
// Success..." or
// "<name> run Fail___". Nothing is logged when it cannot be started. held is the step's hold
// on the program file; it is let go once the process exists (or the start has failed), before
// the wait. True only when the program was started and waited for to its end.
bool RunAndWait(FuncTrace& scope, const wchar_t* file, const char* fileForLog,
                const wchar_t* parameters, const std::wstring& directory, ScopedKernelHandle& held);
