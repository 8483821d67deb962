// The trace log's lines as a traced program writes them: most cases start the trace probe as a
// child process (the log takes over its standard output) and reads the file it leaves.
#include <io.h>
#include <clocale>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "log/func_trace.h"
#include "log/trace_log.h"
#include "log/trace_test_hook.h"
#include "tests/support/trace_files.h"

using namespace trace_test;

namespace {

const std::string kProbeName = "trace_probe.exe";

struct Expected {
    enum Kind { Entry, Exit, Message } kind;
    std::string text;
};

std::string Rest(const Expected& e) {
    switch (e.kind) {
        case Expected::Entry:
            return EntryText(e.text);
        case Expected::Exit:
            return ExitText(e.text);
        default:
            return MessageText(e.text);
    }
}

// What "trace_probe lines" writes, in order. The Korean path is code page 949; the Thai
// character has no place in it, nor in the system code page that TraceMsgW uses.
const std::vector<Expected> kProbeLines = {
    {Expected::Entry, "CVelmora_SetupDlg::OnBnClickedNext"},
    {Expected::Message, "regKey.Create success."},
    {Expected::Message, "(Convert to ansi fail)"},
    {Expected::Message, "ModulePath: C:\\\xC7\xD1\xB1\xDB"},
    {Expected::Message, "openFlag: 0x84000000, lastErr: 5, name: abc"},
    {Expected::Message, "ModuleName: Velmora_Setup"},
    {Expected::Message, "Wide: ?"},
    {Expected::Message, "(Format fail)"},
    {Expected::Entry, ""},
    {Expected::Exit, ""},
    {Expected::Entry, "TraceProbe::Again"},
    {Expected::Message, "ModulePath: C:\\\xC7\xD1\xB1\xDB"},
    {Expected::Exit, "TraceProbe::Again"},
    {Expected::Entry, "TraceProbe::Throw"},
    {Expected::Message, "before throw"},
    {Expected::Exit, "TraceProbe::Throw"},
    {Expected::Message, "caught"},
    {Expected::Exit, "CVelmora_SetupDlg::OnBnClickedNext"},
};

// Checks that lines[first..] hold one run of the probe's lines, written by processId on one
// thread in time order.
void ExpectProbeRun(const std::vector<std::string>& lines, size_t first, DWORD processId) {
    ASSERT_GE(lines.size(), first + kProbeLines.size());
    std::string previousTime;
    unsigned long threadId = 0;
    for (size_t i = 0; i < kProbeLines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(first + i) + ": " + lines[first + i]);
        LogLine line = ParseLogLine(lines[first + i]);
        ASSERT_TRUE(line.matched);
        EXPECT_EQ(line.moduleName, kProbeName);
        EXPECT_EQ(line.processId, processId);
        if (i == 0) threadId = line.threadId;
        EXPECT_EQ(line.threadId, threadId);
        EXPECT_GE(line.time, previousTime);
        previousTime = line.time;
        EXPECT_EQ(line.rest, Rest(kProbeLines[i]));
    }
}

std::wstring Args(const std::wstring& command, DWORD mode, const std::wstring& log) {
    return command + L" " + std::to_wstring(mode) + L" \"" + log + L"\"";
}

struct SinkCase {
    DWORD mode;
    DWORD sinkBits;  // what the probe saw of the file between lines
};

class TraceSinkModes : public ::testing::TestWithParam<SinkCase> {};

TEST_P(TraceSinkModes, WritesEveryLineKindExactly) {
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"lines.log");
    ChildRun run = RunChild(ProbePath(), Args(L"lines", GetParam().mode, log));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd | GetParam().sinkBits);
    std::vector<std::string> lines = ReadLogLines(log);
    EXPECT_EQ(lines.size(), kProbeLines.size());
    ExpectProbeRun(lines, 0, run.processId);
}

// File mode holds the file for the whole run; append mode holds it only while a line is
// written, so between lines another handle opens it exclusively or renames it.
INSTANTIATE_TEST_SUITE_P(Modes, TraceSinkModes,
                         ::testing::Values(SinkCase{TraceFile, kHeldBetweenAllLines},
                                           SinkCase{TraceFileAppend, kClosedBetweenAllLines |
                                                                         kRenamedBetweenAllLines}));

struct SecondRunCase {
    DWORD mode;
    size_t runsKept;
};

class TraceSecondRun : public ::testing::TestWithParam<SecondRunCase> {};

TEST_P(TraceSecondRun, TruncatesOrAppends) {
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"twice.log");
    ChildRun first = RunChild(ProbePath(), Args(L"lines", GetParam().mode, log));
    ChildRun second = RunChild(ProbePath(), Args(L"lines", GetParam().mode, log));
    ASSERT_TRUE(first.finished && second.finished);
    ASSERT_NE(first.processId, second.processId);
    std::vector<std::string> lines = ReadLogLines(log);
    ASSERT_EQ(lines.size(), kProbeLines.size() * GetParam().runsKept);
    if (GetParam().runsKept == 2) ExpectProbeRun(lines, 0, first.processId);
    ExpectProbeRun(lines, lines.size() - kProbeLines.size(), second.processId);
}

INSTANTIATE_TEST_SUITE_P(Modes, TraceSecondRun,
                         ::testing::Values(SecondRunCase{TraceFile, 1},
                                           SecondRunCase{TraceFileAppend, 2}));

class TraceTwoThreads : public ::testing::TestWithParam<DWORD> {};

TEST_P(TraceTwoThreads, LeaveEveryLineWhole) {
    const int count = 1000;
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"threads.log");
    ChildRun run =
        RunChild(ProbePath(), Args(L"threads", GetParam(), log) + L" " + std::to_wstring(count));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd);
    std::vector<std::string> lines = ReadLogLines(log);
    ASSERT_EQ(lines.size(), static_cast<size_t>(2 * 3 * count));

    const std::string filler =
        "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789";
    // Per thread, the lines must come as entry, message i, exit for i = 0, 1, ...
    std::map<unsigned long, size_t> written;
    std::string previousTime;
    for (const std::string& text : lines) {
        LogLine line = ParseLogLine(text);
        ASSERT_TRUE(line.matched) << text;
        ASSERT_EQ(line.moduleName, kProbeName);
        ASSERT_GE(line.time, previousTime);
        previousTime = line.time;
        size_t n = written[line.threadId]++;
        switch (n % 3) {
            case 0:
                ASSERT_EQ(line.rest, EntryText("TraceProbe::Worker")) << text;
                break;
            case 1: {
                int worker = 0;
                int index = -1;
                char tail[128] = {};
                ASSERT_EQ(sscanf(line.rest.c_str(), ":    thread %d line %d %127s", &worker, &index,
                                 tail),
                          3)
                    << text;
                ASSERT_EQ(index, static_cast<int>(n / 3)) << text;
                ASSERT_EQ(tail, filler) << text;
                ASSERT_EQ(line.rest, MessageText("thread " + std::to_string(worker) + " line " +
                                                 std::to_string(index) + " " + filler));
                break;
            }
            default:
                ASSERT_EQ(line.rest, ExitText("TraceProbe::Worker")) << text;
        }
    }
    ASSERT_EQ(written.size(), 2u);
    for (const auto& thread : written) EXPECT_EQ(thread.second, static_cast<size_t>(3 * count));
}

INSTANTIATE_TEST_SUITE_P(Modes, TraceTwoThreads, ::testing::Values(TraceFile, TraceFileAppend));

TEST(TraceFailedWrite, SpoilsOnlyItsOwnScope) {
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"spoil.log");
    ChildRun run = RunChild(ProbePath(), L"spoil \"" + log + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd);
    std::vector<std::string> rests = ReadLogRests(log);
    // The spoiled scope loses the failed line, every later line and its exit line; the next
    // scope reopens the file and writes all of its lines.
    std::vector<std::string> expected = {
        EntryText("TraceProbe::Spoiled"), MessageText("before the sink fails"),
        EntryText("TraceProbe::Fresh"),   MessageText("fresh message"),
        ExitText("TraceProbe::Fresh"),
    };
    EXPECT_EQ(rests, expected);
}

TEST(TraceRestart, WithoutAPathKeepsTheOpenSink) {
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"keep.log");
    ChildRun run = RunChild(ProbePath(), L"keep \"" + log + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd);
    std::vector<std::string> rests = ReadLogRests(log);
    std::vector<std::string> expected = {EntryText("TraceProbe::Keep"), MessageText("before"),
                                         MessageText("after"), ExitText("TraceProbe::Keep")};
    EXPECT_EQ(rests, expected);
}

std::string HeaderTime(const SYSTEMTIME& t) {
    char text[32];
    snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
             t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// The header carries local time. The tests run in a zone away from UTC (tools/run-tests.sh
// sets it), so a header in UTC falls outside the run's local time window.
TEST(TraceHeaderTime, IsLocalTime) {
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    ASSERT_NE(zone.Bias, 0) << "run the tests in a time zone away from UTC";
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"zone.log");
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    ChildRun run = RunChild(ProbePath(), Args(L"lines", TraceFile, log));
    GetLocalTime(&after);
    ASSERT_TRUE(run.finished);
    std::vector<std::string> lines = ReadLogLines(log);
    ASSERT_EQ(lines.size(), kProbeLines.size());
    for (const std::string& text : lines) {
        LogLine line = ParseLogLine(text);
        ASSERT_TRUE(line.matched) << text;
        EXPECT_GE(line.time, HeaderTime(before)) << text;
        EXPECT_LE(line.time, HeaderTime(after)) << text;
    }
}

struct HeaderCase {
    const wchar_t* hexName;
    std::string narrowName;  // in the entry line and TraceMsg, in the scope's locale
    std::string wideName;    // in the TraceMsgW line, and in the "C" locale's lines after it
};

class TraceHeaderName : public ::testing::TestWithParam<HeaderCase> {};

// The expectations assume the prefix's ANSI code page 1252 (Wine's default for an English
// system), the code page of the header fallback and of TraceMsgW.
TEST_P(TraceHeaderName, AppearsInEveryLine) {
    ASSERT_EQ(GetACP(), 1252u);
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"header.log");
    ChildRun run = RunChild(ProbePath(),
                            Args(L"header", TraceFile, log) + L" \"" + GetParam().hexName + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd);
    std::vector<std::string> lines = ReadLogLines(log);
    ASSERT_EQ(lines.size(), 5u);
    const std::string expectedRest[] = {
        EntryText("TraceProbe::Header"), MessageText("narrow message"), MessageText("wide message"),
        MessageText("narrow message in C"), ExitText("TraceProbe::Header")};
    for (size_t i = 0; i < lines.size(); ++i) {
        LogLine line = ParseLogLine(lines[i]);
        ASSERT_TRUE(line.matched) << lines[i];
        EXPECT_EQ(line.moduleName, i < 2 ? GetParam().narrowName : GetParam().wideName) << lines[i];
        EXPECT_EQ(line.rest, expectedRest[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, TraceHeaderName,
    ::testing::Values(
        HeaderCase{L"0056 0065 006C 002E 0065 0078 0065", "Vel.exe", "Vel.exe"},
        // Korean: code page 949 in the header; TraceMsgW narrows with the system code page.
        HeaderCase{L"D55C AE00 002E 0065 0078 0065", "\xC7\xD1\xB1\xDB.exe", "??.exe"},
        // Thai is in neither code page: the ANSI code page's form with '?' in every line.
        HeaderCase{L"0043 0061 0066 00E9 0E01 002E 0065 0078 0065", "Caf\xE9?.exe",
                   "Caf\xE9?.exe"}));

// The cases below run in this process with tracing off: nothing of the log may touch stdout.

TEST(TraceOff, ScopeWritesNothingAndTakesNoLock) {
    ASSERT_EQ(CurrentTraceMode(), static_cast<DWORD>(TraceOff));
    std::string localeBefore = setlocale(LC_ALL, nullptr);
    // Another thread holds the lock for the whole scope: a writer that took it would hang.
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ScopedKernelHandle takenOwner(taken), releaseOwner(release);
    std::thread holder([&] {
        g_traceLock.Enter();
        SetEvent(taken);
        WaitForSingleObject(release, 30000);
        g_traceLock.Leave();
    });
    WaitForSingleObject(taken, 30000);
    {
        FuncTrace scope("TraceOff::Scope");
        EXPECT_EQ(scope.rdbuf(), nullptr);
        EXPECT_TRUE(scope.bad());
        TraceMsg(scope, "regKey.Create success.");
        TraceMsgW(scope, L"ModuleName: %s", L"Velmora_Setup");
    }
    SetEvent(release);
    holder.join();
    EXPECT_EQ(localeBefore, setlocale(LC_ALL, nullptr));
}

TEST(TraceOff, OpenTraceSinkWithoutPathOpensNothingInAnyMode) {
    TempFolder dir(L"velmora_trace");
    for (DWORD mode : {0u, 1u, 2u, 3u, 7u}) {
        ReplaceTraceSinkForTesting(TraceSinkSettings{mode, L"", L"trace_log_test.exe"});
        EXPECT_FALSE(OpenTraceSink()) << mode;
    }
    // With a path, modes 0 and 7 still open nothing and create no file.
    const std::wstring never = dir.File(L"never.log");
    for (DWORD mode : {0u, 7u}) {
        ReplaceTraceSinkForTesting(TraceSinkSettings{mode, never, L"trace_log_test.exe"});
        EXPECT_FALSE(OpenTraceSink()) << mode;
        EXPECT_FALSE(Exists(never)) << mode;
    }
    ReplaceTraceSinkForTesting(TraceSinkSettings());
}

}  // namespace

// Between two appended lines standard output holds no descriptor; a file opened meanwhile may
// take the number it gave back, and the next line must neither write into that file nor close
// it. Runs in this process: the number goes to whoever opens a file next.
TEST(TraceAppendSink, LeavesAFileOpenedBetweenLinesAlone) {
    TempFolder dir(L"velmora_append");
    std::wstring log = dir.File(L"append.log");
    std::wstring other = dir.File(L"other.txt");
    fflush(stdout);
    int savedStdout = _dup(_fileno(stdout));
    TraceSinkSettings previous =
        ReplaceTraceSinkForTesting(TraceSinkSettings{TraceFileAppend, log, L"trace_log_test.exe"});
    FILE* opened = nullptr;
    bool tookStdoutNumber = false;
    {
        FuncTrace scope("TraceAppendSink::Lines");
        opened = _wfopen(other.c_str(), L"w");
        tookStdoutNumber = opened != nullptr && _fileno(opened) == _fileno(stdout);
        TraceMsg(scope, "while another file is open");
        if (opened != nullptr) {
            fputs("other text\n", opened);
            fclose(opened);
        }
    }
    ReplaceTraceSinkForTesting(previous);
    // The sink may have left stdout on another number; the runner's output goes back under it
    // on the usual one, which child processes are started with.
    if (_wfreopen(L"NUL", L"w", stdout) != nullptr) _dup2(savedStdout, _fileno(stdout));
    _close(savedStdout);

    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(tookStdoutNumber);
    EXPECT_EQ(ReadWholeFile(other), "other text\r\n");
    std::vector<std::string> rests = ReadLogRests(log);
    std::vector<std::string> expected = {EntryText("TraceAppendSink::Lines"),
                                         MessageText("while another file is open"),
                                         ExitText("TraceAppendSink::Lines")};
    EXPECT_EQ(rests, expected);
}
