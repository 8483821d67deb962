#pragma once

#include <windows.h>
#include <io.h>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log/trace_format.h"
#include "log/trace_test_hook.h"

// Switches the trace log of the test process into a file for one test and gives its lines
// back; afterwards standard output is the test runner's again and tracing is off. What the
// test runner printed meanwhile (failure reports) landed in the log too and is passed on.
class TraceCapture {
  public:
    explicit TraceCapture(const std::wstring& logPath) : m_logPath(logPath) {
        fflush(stdout);
        m_savedStdout = _dup(_fileno(stdout));
        ReplaceTraceSinkForTesting(TraceSinkSettings{TraceFile, logPath, L"trace_capture.exe"});
    }
    ~TraceCapture() {
        std::string text = Text();
        ReplaceTraceSinkForTesting(TraceSinkSettings());
        _dup2(m_savedStdout, _fileno(stdout));
        _close(m_savedStdout);
        DeleteFileW(m_logPath.c_str());
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            bool traceLine = line.size() > 1 && line[0] == '[' && isdigit(line[1]);
            if (!traceLine) printf("%s\n", line.c_str());
        }
        fflush(stdout);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // The message part of every line (what follows the header), in order.
    std::vector<std::string> Messages() const {
        fflush(stdout);
        std::vector<std::string> messages;
        std::ifstream log(m_logPath.c_str());
        std::string line;
        while (std::getline(log, line)) {
            std::string separator = std::string("]") + kMessageSeparator;
            size_t at = line.find(separator);
            if (at != std::string::npos) messages.push_back(line.substr(at + separator.size()));
        }
        return messages;
    }

    std::string Text() const {
        fflush(stdout);
        std::ifstream log(m_logPath.c_str());
        std::stringstream text;
        text << log.rdbuf();
        return text.str();
    }

  private:
    std::wstring m_logPath;
    int m_savedStdout = -1;
};
