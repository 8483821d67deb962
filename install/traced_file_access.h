#pragma once

// The Users grant of sys/file_access.h as the installation steps run it: inside the trace
// scope "AddFileAccessAllowedRights", so the log shows every folder the setup opens up.
bool AddFileAccessAllowedRights(const wchar_t* path);
