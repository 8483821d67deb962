#include "log/trace_config.h"

#include <windows.h>
#include <vector>

#include "log/trace_sink.h"
#include "log/trace_test_hook.h"
#include "sys/module_info.h"
#include "sys/path_text.h"
#include "sys/reg_key.h"
#include "sys/scoped_handle.h"

namespace {

const wchar_t kTraceKey[] = L"Software\\Velmora";
constexpr DWORD kTextUnits = MAX_PATH;

// A value too large for its buffer counts as missing.
std::wstring ReadTraceText(const std::wstring& name) {
    std::wstring text;
    RegKey key;
    if (key.Open(HKEY_CURRENT_USER, kTraceKey, KEY_READ) == ERROR_SUCCESS)
        key.ReadString(name, kTextUnits, text);
    return text;
}

DWORD ReadTraceModeValue(const std::wstring& name) {
    DWORD mode = TraceOff;
    RegKey key;
    if (key.Open(HKEY_CURRENT_USER, kTraceKey, KEY_READ) == ERROR_SUCCESS)
        key.ReadDword(name, mode);
    return mode;
}

}  // namespace

std::wstring GetTraceProgramPath() {
    std::wstring path;
    if (const wchar_t* standIn = g_traceModulePath.Get()) {
        path = standIn;
    } else {
        ScopedLibrary module;
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                               reinterpret_cast<LPCWSTR>(&InitTraceLog), module.Receive()))
            path = GetModuleFileNameOf(module.Get());
    }
    // Never cut: a path cut to a buffer would name another file's log.
    DWORD units = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (units == 0) return path;
    std::vector<wchar_t> longPath(units, L'\0');
    DWORD length = GetLongPathNameW(path.c_str(), longPath.data(), units);
    if (length == 0 || length >= units) return path;
    return std::wstring(longPath.data(), length);
}

TestSeam<const wchar_t*> g_traceModulePath{nullptr};

TraceSinkSettings ReadTraceSettings() {
    std::wstring programPath = GetTraceProgramPath();
    TraceSinkSettings settings;
    settings.moduleName = NameOfPath(programPath);
    settings.mode = ReadTraceModeValue(settings.moduleName + L".log");
    settings.logPath = ReadTraceText(settings.moduleName + L".log.path");
    if (settings.logPath.empty()) {
        std::wstring name = ReadTraceText(settings.moduleName + L".log.name");
        if (!name.empty()) settings.logPath = FolderOfPath(programPath) + L"\\" + name;
    }
    if (settings.logPath.empty()) settings.logPath = programPath + L".log";
    return settings;
}

void InitTraceLog() {
    TraceSinkSettings settings = ReadTraceSettings();
    StartTraceSink(settings);
}
