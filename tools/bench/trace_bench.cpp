// Measures the trace log against the plainest way of doing the same work:
//   trace_bench LOG_PATH [ROUNDS]
// Each round measures every floor right before its figure and prints "name value" lines:
// lines per second in mode 2 against a plain fprintf+fflush loop, in mode 3 against a loop
// that opens the file, appends one line and closes it again, and against the same loop with the
// proof of the file that mode 3 makes at every opening, all with two threads writing,
// and the nanoseconds of one scope while tracing is off against a bare stream without a
// buffer, and against the least class derived from a stream, as a scope must be.
#include <windows.h>
#include <clocale>
#include <cstdio>
#include <ostream>
#include <mutex>
#include <string>
#include <thread>

#include "log/func_trace.h"
#include "log/trace_format.h"
#include "log/trace_log.h"
#include "log/trace_test_hook.h"
#include "sys/plain_file.h"
#include "sys/starting_user.h"

namespace {

constexpr int kThreads = 2;
constexpr int kFileLinesPerThread = 5000;
constexpr int kAppendLinesPerThread = 500;
constexpr int kScopesOff = 500000;
const wchar_t kModuleName[] = L"trace_bench.exe";
// A typical message: the download step logs the URL of every file it fetches.
const char kMessageFormat[] = "ServerFilePath: %S";
const wchar_t kMessageArgument[] = L"http://127.0.0.1:8080/app/update/velmora_server.exe";

class Stopwatch {
  public:
    Stopwatch() {
        QueryPerformanceFrequency(&m_frequency);
        QueryPerformanceCounter(&m_start);
    }
    double Seconds() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) / m_frequency.QuadPart;
    }

  private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};

void WriteTraceLines(int count) {
    FuncTrace scope("TraceBench::WriteTraceLines");
    for (int i = 0; i < count; ++i) TraceMsg(scope, kMessageFormat, kMessageArgument);
}

// The same bytes a trace line holds, header included, written the plain way.
void WritePlainLines(FILE* file, const std::string& header, int count) {
    for (int i = 0; i < count; ++i) {
        fprintf(file, "%s%s%S\n", header.c_str(), kMessageSeparator, kMessageArgument);
        fflush(file);
    }
}

template <typename Writer>
double LinesPerSecondOnThreads(int linesPerThread, Writer writer) {
    Stopwatch watch;
    std::thread threads[kThreads];
    for (std::thread& thread : threads) thread = std::thread(writer, linesPerThread);
    for (std::thread& thread : threads) thread.join();
    return kThreads * linesPerThread / watch.Seconds();
}

// Sets the log up as its configuration does for this mode, without the registry.
void SwitchTraceLog(DWORD mode, const std::wstring& logPath) {
    ReplaceTraceSinkForTesting(TraceSinkSettings{mode, logPath, kModuleName});
}

double TraceLinesPerSecond(DWORD mode, const std::wstring& logPath, int linesPerThread) {
    SwitchTraceLog(mode, logPath);
    double rate = LinesPerSecondOnThreads(linesPerThread, WriteTraceLines);
    SwitchTraceLog(TraceOff, logPath);
    return rate;
}

double PlainLinesPerSecond(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"w");
    if (file == nullptr) return 0;
    std::string header = FormatTraceHeader();
    double rate = LinesPerSecondOnThreads(kFileLinesPerThread,
                                          [&](int count) { WritePlainLines(file, header, count); });
    fclose(file);
    return rate;
}

// As mode 3 does for each line, under one lock: open the file for appending, write the line,
// close it. Proved, the loop also makes the proof mode 3 makes at every opening, through the
// same calls: the file opened by name without following a link, shown to be a plain file with
// one name, and its access list checked against the user who started the program.
double AppendingLinesPerSecond(const std::wstring& path, bool proved) {
    std::string line = FormatTraceHeader() + kMessageSeparator;
    for (const wchar_t* c = kMessageArgument; *c != L'\0'; ++c) line += static_cast<char>(*c);
    line += "\r\n";
    const DWORD access = FILE_APPEND_DATA | (proved ? FILE_READ_ATTRIBUTES | READ_CONTROL : 0);
    const DWORD share = FILE_SHARE_READ | (proved ? FILE_SHARE_WRITE : 0);
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (proved ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    std::mutex lock;
    auto append = [&](int count) {
        for (int i = 0; i < count; ++i) {
            std::lock_guard<std::mutex> held(lock);
            HANDLE file =
                CreateFileW(path.c_str(), access, share, nullptr, OPEN_ALWAYS, flags, nullptr);
            if (file == INVALID_HANDLE_VALUE) continue;
            DWORD written = 0;
            if (!proved || (IsPlainFileHandle(file) &&
                            StartingUserMayAccess(file, FILE_WRITE_DATA | FILE_APPEND_DATA)))
                WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
        }
    };
    return LinesPerSecondOnThreads(kAppendLinesPerThread, append);
}

// A stream of its own class, without a buffer and with nothing else.
class DerivedStream : public std::ostream {
  public:
    DerivedStream() : std::ostream(nullptr) {}
};

// The nanoseconds one Stream made from args and ended again takes.
template <typename Stream, typename... Args>
double NanosecondsPerStream(Args... args) {
    Stopwatch watch;
    for (int i = 0; i < kScopesOff; ++i) Stream stream(args...);
    return watch.Seconds() * 1e9 / kScopesOff;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int rounds = argc == 3 ? _wtoi(argv[2]) : 1;
    if ((argc != 2 && argc != 3) || rounds < 1) {
        fwprintf(stderr, L"usage: trace_bench LOG_PATH [ROUNDS]\n");
        return 2;
    }
    const std::wstring logPath = argv[1];
    // The plain loop's header carries the same module name as the trace lines.
    SwitchTraceLog(TraceOff, logPath);

    // Tracing runs in the locale its first scope sets ("Korean"); the plain loop converts its
    // wide text in that same locale, so both pay for the same conversion.
    setlocale(LC_ALL, "Korean");
    // The trace lines go into stdout; the figures go where the caller reads them.
    for (int round = 0; round < rounds; ++round) {
        fprintf(stderr, "plain_lines_per_s %.0f\n", PlainLinesPerSecond(logPath));
        fprintf(stderr, "mode2_lines_per_s %.0f\n",
                TraceLinesPerSecond(TraceFile, logPath, kFileLinesPerThread));
        DeleteFileW(logPath.c_str());
        fprintf(stderr, "append_lines_per_s %.0f\n", AppendingLinesPerSecond(logPath, false));
        DeleteFileW(logPath.c_str());
        fprintf(stderr, "proved_append_lines_per_s %.0f\n", AppendingLinesPerSecond(logPath, true));
        DeleteFileW(logPath.c_str());
        fprintf(stderr, "mode3_lines_per_s %.0f\n",
                TraceLinesPerSecond(TraceFileAppend, logPath, kAppendLinesPerThread));
        DeleteFileW(logPath.c_str());
        fprintf(stderr, "bare_stream_ns %.1f\n", NanosecondsPerStream<std::ostream>(nullptr));
        fprintf(stderr, "scope_off_ns %.1f\n",
                NanosecondsPerStream<FuncTrace>("VLDownloadDlg::URLDownloadToFileOnHttps"));
        fprintf(stderr, "derived_stream_ns %.1f\n", NanosecondsPerStream<DerivedStream>());
    }
    return 0;
}
