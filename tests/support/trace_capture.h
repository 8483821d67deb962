#pragma once

#include <windows.h>
#include <io.h>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/trace_test_hook.h"

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

// Switches the trace log of the test process to a fresh file in append-per-line mode and
// gives standard output back to the test runner afterwards.
class TraceCapture {
  public:
    TraceCapture() {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        wchar_t file[MAX_PATH];
        GetTempFileNameW(dir, L"vtr", 0, file);
        m_path = file;
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

    // The message texts and scope lines written so far, each without its header.
    std::vector<std::string> Lines() const {
        std::ifstream in(m_path.c_str());
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            size_t end = line.find("]", line.find("T:"));
            std::string body = end == std::string::npos ? line : line.substr(end + 1);
            if (body.rfind(":    ", 0) == 0) body = body.substr(5);
            lines.push_back(body);
        }
        return lines;
    }

    bool Contains(const std::string& text) const {
        for (const std::string& line : Lines())
            if (line == text) return true;
        return false;
    }

    const std::wstring& Path() const { return m_path; }

  private:
    std::wstring m_path;
    int m_savedStdout = -1;
};
