#pragma once

// What the trace tests share: a scratch directory, the trace probe started as a child process,
// the log read back as lines, and trace settings in the real registry.
#include <windows.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sys/scoped_handle.h"
#include "tests/fixtures/trace_probe_bits.h"

namespace trace_test {

using namespace trace_probe;

inline std::wstring ProbePath() {
    return std::wstring(VELMORA_BINARY_DIR_W) + L"\\fixtures\\trace_probe.exe";
}

// A fresh directory in the temporary folder, removed with everything in it afterwards.
class TempDir {
  public:
    TempDir() {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        m_path = std::wstring(base) + L"velmora_trace_" + std::to_wstring(GetCurrentProcessId()) +
                 L"_" + std::to_wstring(++counter);
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

  private:
    std::wstring m_path;
};

inline bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct ChildRun {
    bool finished = false;
    DWORD exitCode = 0;
    DWORD processId = 0;
};

// Starts a program, optionally with its standard output on the given inheritable handle, and
// waits for it at most timeoutMs.
inline ChildRun RunChild(const std::wstring& exe, const std::wstring& args, HANDLE stdOut = nullptr,
                         DWORD timeoutMs = 60000) {
    ChildRun run;
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (stdOut != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = stdOut;
        startup.hStdError = stdOut;
    }
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, stdOut != nullptr, 0,
                        nullptr, nullptr, &startup, &info))
        return run;
    ScopedKernelHandle process(info.hProcess);
    ScopedKernelHandle thread(info.hThread);
    run.processId = info.dwProcessId;
    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        return run;
    }
    run.finished = GetExitCodeProcess(process.Get(), &run.exitCode) != FALSE;
    return run;
}

inline std::string ReadBytes(const std::wstring& path) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file.IsValid()) return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

// The lines of a text-mode log; every line must end in CR LF, and a line end that does not
// is reported as a failure.
inline std::vector<std::string> ReadLogLines(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "log ends without a line end";
            break;
        }
        EXPECT_TRUE(end > start && bytes[end - 1] == '\r') << "line without CR LF at " << start;
        size_t textEnd = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(bytes.substr(start, textEnd - start));
        start = end + 1;
    }
    return lines;
}

// One line split at its header: "[YYYY-MM-DD hh:mm:ss.mmm][name(pid), T:tid]rest".
struct LogLine {
    bool matched = false;
    std::string time;
    std::string moduleName;
    unsigned long processId = 0;
    unsigned long threadId = 0;
    std::string rest;
};

inline LogLine ParseLogLine(const std::string& line) {
    static const std::regex header(
        R"(^\[(\d{4}-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.\d{3})\]\[(.*)\((\d+)\), T:(\d+)\](.*)$)");
    LogLine parsed;
    std::smatch m;
    if (!std::regex_match(line, m, header)) return parsed;
    int month = std::stoi(m[2]), day = std::stoi(m[3]), hour = std::stoi(m[4]);
    int minute = std::stoi(m[5]), second = std::stoi(m[6]);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return parsed;
    parsed.matched = true;
    parsed.time = m[1];
    parsed.moduleName = m[7];
    parsed.processId = std::stoul(m[8]);
    parsed.threadId = std::stoul(m[9]);
    parsed.rest = m[10];
    return parsed;
}

inline std::string EntryText(const std::string& name) {
    return name + "() " + std::string(43, '<');
}
inline std::string ExitText(const std::string& name) { return name + "() " + std::string(43, '>'); }
inline std::string MessageText(const std::string& text) { return ":    " + text; }

// Trace settings of one program file under HKCU\Software\Velmora, removed afterwards.
class TraceSettings {
  public:
    explicit TraceSettings(const std::wstring& programName) : m_programName(programName) {}
    ~TraceSettings() {
        ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Velmora", 0, KEY_SET_VALUE,
                          key.Receive()) != ERROR_SUCCESS)
            return;
        for (const wchar_t* suffix : {L".log", L".log.path", L".log.name"})
            RegDeleteValueW(key.Get(), (m_programName + suffix).c_str());
    }
    TraceSettings(const TraceSettings&) = delete;
    TraceSettings& operator=(const TraceSettings&) = delete;

    void SetMode(DWORD mode) { Write(L".log", REG_DWORD, &mode, sizeof(mode)); }
    void SetText(const wchar_t* suffix, const std::wstring& text) {
        Write(suffix, REG_SZ, text.c_str(),
              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

  private:
    void Write(const wchar_t* suffix, DWORD type, const void* data, DWORD size) {
        ScopedRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Velmora", 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.Get(), (m_programName + suffix).c_str(), 0, type,
                                 static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }

    std::wstring m_programName;
};

}  // namespace trace_test
