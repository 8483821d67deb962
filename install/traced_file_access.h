#pragma once

#include <windows.h>

// The Users grant of sys/file_access.h as the installation steps run it: inside the trace
// scope "AddFileAccessAllowedRights", so the log shows every folder the setup opens up. The
// grant is on the folder an open handle refers to (opened with READ_CONTROL and WRITE_DAC),
// whatever its path leads to by now.
bool AddFileAccessAllowedRights(HANDLE folder);
