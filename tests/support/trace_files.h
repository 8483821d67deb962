#pragma once

// What the trace tests share: the trace probe, the log read back as lines and parsed, and
// trace settings in the real registry.
#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sys/scoped_handle.h"
#include "tests/fixtures/trace_probe_bits.h"
#include "tests/support/child_process.h"

namespace trace_test {

using namespace trace_probe;

inline std::wstring ProbePath() {
    return std::wstring(VELMORA_BINARY_DIR_W) + L"\\fixtures\\trace_probe.exe";
}

// The lines of a text-mode log; every line must end in CR LF, and a line end that does not
// is reported as a failure.
inline std::vector<std::string> ReadLogLines(const std::wstring& path) {
    std::string bytes = ReadWholeFile(path);
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

// The part of each log line after its header.
inline std::vector<std::string> ReadLogRests(const std::wstring& path) {
    std::vector<std::string> rests;
    for (const std::string& line : ReadLogLines(path)) rests.push_back(ParseLogLine(line).rest);
    return rests;
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

    void SetMode(DWORD mode, DWORD type = REG_DWORD) { Write(L".log", type, &mode, sizeof(mode)); }
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
