#pragma once

#include <windows.h>
#include <io.h>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/trace_test_hook.h"
#include "tests/support/trace_files.h"

// While a capture holds standard output the runner's own report is lost, so failures are
// echoed to standard error as well.
class EchoFailuresToStderr : public ::testing::EmptyTestEventListener {
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.failed())
            fprintf(stderr, "%s:%d: %s\n", result.file_name() ? result.file_name() : "?",
                    result.line_number(), result.summary());
    }
};

inline bool RegisterFailureEcho() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new EchoFailuresToStderr);
    return true;
}

static const bool kFailureEchoRegistered = RegisterFailureEcho();

// Switches the trace log of the test process into a file in append-per-line mode (a fresh
// temporary file unless a path is given), so the file is free between lines, and gives
// standard output back to the test runner afterwards with tracing off.
class TraceCapture {
  public:
    explicit TraceCapture(const std::wstring& logPath = std::wstring()) : m_path(logPath) {
        if (m_path.empty()) {
            wchar_t dir[MAX_PATH];
            GetTempPathW(MAX_PATH, dir);
            wchar_t file[MAX_PATH];
            GetTempFileNameW(dir, L"vtr", 0, file);
            m_path = file;
        }
        fflush(stdout);
        m_savedStdout = _dup(_fileno(stdout));
        ReplaceTraceSinkForTesting(
            TraceSinkSettings{TraceFileAppend, m_path, L"trace_capture.exe"});
    }

    ~TraceCapture() {
        ReplaceTraceSinkForTesting(TraceSinkSettings());
        // stdout was closed after the last line: reopen it on a placeholder, then point its
        // descriptor back at the runner's output.
        _wfreopen(L"NUL", L"w", stdout);
        _dup2(m_savedStdout, _fileno(stdout));
        _close(m_savedStdout);
        DeleteFileW(m_path.c_str());
    }

    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Every line written so far without its header; message lines also without their
    // separator.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const std::string& rest : Rests())
            lines.push_back(IsMessage(rest) ? rest.substr(kSeparator.size()) : rest);
        return lines;
    }

    // The text of the message lines only, in order.
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const std::string& rest : Rests())
            if (IsMessage(rest)) messages.push_back(rest.substr(kSeparator.size()));
        return messages;
    }

    bool Contains(const std::string& text) const {
        for (const std::string& line : Lines())
            if (line == text) return true;
        return false;
    }

    std::string Text() const { return ReadWholeFile(m_path); }
    const std::wstring& Path() const { return m_path; }

  private:
    inline static const std::string kSeparator = ":    ";

    static bool IsMessage(const std::string& rest) { return rest.rfind(kSeparator, 0) == 0; }

    std::vector<std::string> Rests() const {
        std::vector<std::string> rests;
        for (const std::string& line : testfiles::SplitLines(Text())) {
            trace_test::LogLine parsed = trace_test::ParseLogLine(line);
            if (parsed.matched) rests.push_back(parsed.rest);
        }
        return rests;
    }

    std::wstring m_path;
    int m_savedStdout = -1;
};
