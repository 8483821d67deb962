#include "log/trace_config.h"

#include <windows.h>

#include "log/trace_log.h"
#include "sys/file_access.h"
#include "sys/scoped_handle.h"

namespace {

const wchar_t kTraceKey[] = L"Software\\Velmora";
constexpr DWORD kTextUnits = MAX_PATH;

// A value too large for its buffer counts as missing.
bool ReadTraceValue(const std::wstring& name, void* data, DWORD size) {
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kTraceKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return false;
    return RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, static_cast<BYTE*>(data),
                            &size) == ERROR_SUCCESS;
}

std::wstring ReadTraceText(const std::wstring& name) {
    // One unit beyond the value's 260 keeps an unterminated value terminated.
    wchar_t text[kTextUnits + 1] = {};
    if (!ReadTraceValue(name, text, kTextUnits * sizeof(wchar_t))) return std::wstring();
    return std::wstring(text);
}

DWORD ReadTraceModeValue(const std::wstring& name) {
    DWORD mode = TraceOff;
    if (!ReadTraceValue(name, &mode, sizeof(mode))) return TraceOff;
    return mode;
}

}  // namespace

std::wstring GetTraceProgramPath() {
    wchar_t path[MAX_PATH] = {};
    {
        ScopedLibrary module;
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                               reinterpret_cast<LPCWSTR>(&InitTraceLog), module.Receive()))
            GetModuleFileNameW(module.Get(), path, MAX_PATH);
    }
    wchar_t longPath[MAX_PATH] = {};
    DWORD length = GetLongPathNameW(path, longPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring(path);
    return std::wstring(longPath);
}

void InitTraceLog() {
    std::wstring programPath = GetTraceProgramPath();
    size_t slash = programPath.rfind(L'\\');
    std::wstring programDir =
        slash == std::wstring::npos ? std::wstring() : programPath.substr(0, slash);
    g_traceModuleName = slash == std::wstring::npos ? programPath : programPath.substr(slash + 1);

    g_traceMode = ReadTraceModeValue(g_traceModuleName + L".log");
    g_traceLogPath = ReadTraceText(g_traceModuleName + L".log.path");
    if (g_traceLogPath.empty()) {
        std::wstring name = ReadTraceText(g_traceModuleName + L".log.name");
        if (!name.empty()) g_traceLogPath = programDir + L"\\" + name;
    }
    if (g_traceLogPath.empty()) g_traceLogPath = programPath + L".log";

    switch (g_traceMode) {
        case TraceConsole:
            AllocConsole();
            OpenTraceSink();
            break;
        case TraceFile:
            OpenTraceSink();
            break;
        case TraceFileAppend:
            if (OpenTraceSink()) {
                fclose(g_traceFile);
                g_traceFile = nullptr;
            }
            break;
        default:
            break;
    }

    if (!g_traceLogPath.empty() &&
        GetFileAttributesW(g_traceLogPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        GrantUsersFileAccess(g_traceLogPath.c_str());
}
