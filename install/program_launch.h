#pragma once

#include <windows.h>
#include <string>

#include "sys/scoped_handle.h"

class FuncTrace;

// How a downloaded program is started besides its parameters.
struct LaunchSetting {
    // TEMP and TMP of its environment (the rest is this process's own); empty: this process's
    // environment unchanged.
    std::wstring tempFolder;
    // A restricted token to start it with (sys/starting_user.h); null: this process's own.
    HANDLE userToken = nullptr;
};

// Starts the program held open in held by the final path of that handle, never by a name
// looked up anew, in its own folder (also its working directory) with parameters, waits until it
// ends without a time-out, and logs "<name> run Success..." or "<name> run Fail___". A program
// that cannot be started logs "CreateProcess fail___(lastErr: %d)", and one whose path cannot
// be read from its handle "ProgramPath fail___(lastErr: %d)". held is let go once the process
// exists (or the start has failed), before the wait; until then it is the step's hold on the
// file, the last moment to check what is started. True only when the program was started and
// waited for to its end.
bool RunAndWait(FuncTrace& scope, const char* fileForLog, const wchar_t* parameters,
                ScopedKernelHandle& held, const LaunchSetting& setting);
