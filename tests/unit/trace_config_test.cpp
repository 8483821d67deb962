// InitTraceLog as a program sees it: the trace probe is copied under its own name into a
// scratch directory, given its trace settings in HKCU\Software\Velmora and started there.
#include <cctype>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/trace_config.h"
#include "log/trace_sink.h"
#include "log/trace_test_hook.h"
#include "tests/support/trace_files.h"

using namespace trace_test;

namespace {

// What "trace_probe init" writes after InitTraceLog, for a program file of the given name.
std::vector<std::string> InitLines(const std::string& programName) {
    return {EntryText("TraceProbe::Run"),   MessageText("regKey.Create success."),
            EntryText("TraceProbe::Inner"), MessageText("ModuleName: " + programName),
            ExitText("TraceProbe::Inner"),  ExitText("TraceProbe::Run")};
}

std::vector<std::string> RestsOf(const std::vector<std::string>& lines,
                                 const std::string& programName, DWORD processId) {
    std::vector<std::string> rests;
    for (const std::string& text : lines) {
        LogLine line = ParseLogLine(text);
        EXPECT_TRUE(line.matched) << text;
        EXPECT_EQ(line.moduleName, programName) << text;
        EXPECT_EQ(line.processId, processId) << text;
        rests.push_back(line.rest);
    }
    return rests;
}

std::wstring CopyProbe(const TempFolder& dir, const std::wstring& programName) {
    std::wstring path = dir.File(programName);
    EXPECT_TRUE(CopyFileW(ProbePath().c_str(), path.c_str(), FALSE));
    return path;
}

ChildRun RunInit(const std::wstring& program, HANDLE stdOut = nullptr, DWORD creationFlags = 0) {
    return RunChild(program, L"init", stdOut, creationFlags);
}

struct PathCase {
    const char* label;
    const wchar_t* programName;
    const wchar_t* pathValue;    // relative to the scratch directory; null: not set
    const wchar_t* nameValue;    // null: not set
    const wchar_t* expectedLog;  // null: no log is created, emptied, written or granted
    DWORD mode = TraceFile;
    // A folder of the scratch directory that the user who started the program may only read.
    const wchar_t* adminOnly = nullptr;
    // What a file at the log path holds before the run; null: nothing is there.
    const char* earlier = nullptr;
    // How the folder is closed to the user: from the start (null), only after the start, before
    // the first line ("later"), or only to changes of access lists ("nodac").
    const wchar_t* how = nullptr;
};

bool Is(const wchar_t* how, const wchar_t* expected) {
    return how != nullptr && wcscmp(how, expected) == 0;
}

// Every path below a folder, relative to it.
std::vector<std::wstring> TreeOf(const std::wstring& root) {
    std::vector<std::wstring> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        paths.push_back(entry.path().lexically_relative(root).wstring());
    return paths;
}

class InitTraceLogPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(InitTraceLogPath, ChoosesTheLogFile) {
    const PathCase& c = GetParam();
    TempFolder dir(L"velmora_trace");
    std::wstring program = CopyProbe(dir, c.programName);
    TraceSettings settings(c.programName);
    settings.SetMode(c.mode);
    CreateDirectoryW(dir.File(L"custom").c_str(), nullptr);
    if (c.adminOnly != nullptr) CreateDirectoryW(dir.File(c.adminOnly).c_str(), nullptr);
    if (c.pathValue != nullptr) settings.SetText(L".log.path", dir.File(c.pathValue));
    if (c.nameValue != nullptr) settings.SetText(L".log.name", c.nameValue);
    if (c.earlier != nullptr) {
        ASSERT_TRUE(WriteWholeFile(dir.File(c.pathValue), c.earlier));
    }
    std::vector<std::wstring> before = TreeOf(dir.Path());

    std::wstring arguments = L"init";
    if (c.adminOnly != nullptr) arguments += L" \"" + dir.File(c.adminOnly) + L"\"";
    if (c.how != nullptr) arguments += L" " + std::wstring(c.how);
    ChildRun run = RunChild(program, arguments);
    ASSERT_TRUE(run.finished);
    if (Is(c.how, L"later")) {
        // Created and granted at the start; every later line proves the file again and fails.
        EXPECT_EQ(run.exitCode & (kRanToEnd | kExistedAfterInit | kLogGranted),
                  kRanToEnd | kExistedAfterInit | kLogGranted);
        EXPECT_EQ(ReadWholeFile(dir.File(c.pathValue)), "");
        return;
    }
    if (c.expectedLog == nullptr) {
        EXPECT_EQ(run.exitCode & (kRanToEnd | kAnythingGranted), kRanToEnd);
        EXPECT_EQ(TreeOf(dir.Path()), before);
        if (c.earlier != nullptr) {
            EXPECT_EQ(ReadWholeFile(dir.File(c.pathValue)), c.earlier);
        }
        return;
    }
    // The log exists once the sink is started, so it gets the Users grant where its user may
    // change its access list.
    const unsigned long granted = Is(c.how, L"nodac") ? 0 : kLogGranted | kAnythingGranted;
    EXPECT_EQ(run.exitCode & (kRanToEnd | kExistedAfterInit | kLocaleUnchanged | kLogGranted |
                              kAnythingGranted),
              kRanToEnd | kExistedAfterInit | granted);
    std::string narrowName(c.programName, c.programName + wcslen(c.programName));
    EXPECT_EQ(RestsOf(ReadLogLines(dir.File(c.expectedLog)), narrowName, run.processId),
              InitLines(narrowName));
    // No other log was written.
    for (const wchar_t* other : {L"Alpha.exe.log", L"Beta.exe.log", L"Gamma.exe.log",
                                 L"beta_trace.txt", L"ignored.txt", L"custom\\gamma.log"}) {
        if (std::wstring(other) == c.expectedLog) continue;
        EXPECT_FALSE(Exists(dir.File(other))) << c.label;
    }
}

// The log path comes from values any process of the user may write: only a plain file that
// the user could write, or create, without elevation is written, emptied or opened to Users.
// Wine cannot make a folder open to administrators only (its one Unix user owns every file),
// so those rows stand in for the user's limited token through the probe's seam.
INSTANTIATE_TEST_SUITE_P(
    Rules, InitTraceLogPath,
    ::testing::Values(
        PathCase{"default", L"Alpha.exe", nullptr, nullptr, L"Alpha.exe.log"},
        PathCase{"name joins the program dir", L"Beta.exe", nullptr, L"beta_trace.txt",
                 L"beta_trace.txt"},
        PathCase{"path wins over name", L"Gamma.exe", L"custom\\gamma.log", L"ignored.txt",
                 L"custom\\gamma.log"},
        PathCase{"path with forward slashes", L"Slash.exe", L"custom/slash.log", nullptr,
                 L"custom\\slash.log"},
        PathCase{"new file beside the admin-only folder", L"Beside.exe", L"custom\\beside.log",
                 nullptr, L"custom\\beside.log", TraceFile, L"locked"},
        PathCase{"admin-only file emptied", L"Locked.exe", L"locked\\system.log", nullptr, nullptr,
                 TraceFile, L"locked", "system file\n"},
        PathCase{"admin-only file appended", L"LockedAppend.exe", L"locked\\system.log", nullptr,
                 nullptr, TraceFileAppend, L"locked", "system file\n"},
        PathCase{"new file in an admin-only folder", L"Planted.exe", L"locked\\velmora-planted.dll",
                 nullptr, nullptr, TraceFile, L"locked"},
        PathCase{"new file in an admin-only folder appended", L"PlantedAppend.exe",
                 L"locked\\velmora-planted.dll", nullptr, nullptr, TraceFileAppend, L"locked"},
        PathCase{"folder locked after the start appended", L"LateLock.exe", L"locked\\late.log",
                 nullptr, L"locked\\late.log", TraceFileAppend, L"locked", nullptr, L"later"},
        PathCase{"file whose access list the user may not change emptied", L"NoDac.exe",
                 L"locked\\shared.log", nullptr, L"locked\\shared.log", TraceFile, L"locked",
                 "earlier run\n", L"nodac"},
        PathCase{"stream of a new file", L"Stream.exe", L"custom\\host.exe:x", nullptr, nullptr,
                 TraceFile},
        PathCase{"stream of a file appended", L"StreamAppend.exe", L"custom\\host.exe:x", nullptr,
                 nullptr, TraceFileAppend},
        PathCase{"device name", L"Device.exe", L"custom\\nul.log", nullptr, nullptr, TraceFile},
        PathCase{"port name appended", L"Port.exe", L"custom\\COM1", nullptr, nullptr,
                 TraceFileAppend}),
    [](const auto& info) {
        std::string name;
        for (char ch : std::string(info.param.label)) name += isalnum(ch) ? ch : '_';
        return name;
    });

TEST(InitTraceLog, CopiesUnderOtherNamesReadTheirOwnValues) {
    TempFolder dir(L"velmora_trace");
    std::wstring first = CopyProbe(dir, L"Setup1.exe");
    std::wstring second = CopyProbe(dir, L"Setup2.exe");
    TraceSettings firstSettings(L"Setup1.exe");
    TraceSettings secondSettings(L"Setup2.exe");
    firstSettings.SetMode(TraceFile);
    // The value's type is not looked at: four bytes of binary are a mode too.
    secondSettings.SetMode(TraceFileAppend, REG_BINARY);
    secondSettings.SetText(L".log.name", L"second.txt");

    ChildRun firstRun = RunInit(first);
    ChildRun secondRun = RunInit(second);
    ASSERT_TRUE(firstRun.finished && secondRun.finished);
    EXPECT_EQ(RestsOf(ReadLogLines(dir.File(L"Setup1.exe.log")), "Setup1.exe", firstRun.processId),
              InitLines("Setup1.exe"));
    EXPECT_EQ(RestsOf(ReadLogLines(dir.File(L"second.txt")), "Setup2.exe", secondRun.processId),
              InitLines("Setup2.exe"));
    EXPECT_FALSE(Exists(dir.File(L"Setup2.exe.log")));
}

struct RunsCase {
    DWORD mode;
    size_t runsKept;
    DWORD initBits;  // the file after InitTraceLog: existing, and closed in append mode
};

class InitTraceLogRuns : public ::testing::TestWithParam<RunsCase> {};

TEST_P(InitTraceLogRuns, SecondRunTruncatesOrAppends) {
    TempFolder dir(L"velmora_trace");
    std::wstring program = CopyProbe(dir, L"Runs.exe");
    TraceSettings settings(L"Runs.exe");
    settings.SetMode(GetParam().mode);
    ChildRun first = RunInit(program);
    ChildRun second = RunInit(program);
    ASSERT_TRUE(first.finished && second.finished);
    for (const ChildRun& run : {first, second})
        EXPECT_EQ(run.exitCode & (kRanToEnd | kExistedAfterInit | kClosedAfterInit | kLogGranted),
                  kRanToEnd | GetParam().initBits | kLogGranted);
    std::vector<std::string> lines = ReadLogLines(dir.File(L"Runs.exe.log"));
    size_t perRun = InitLines("Runs.exe").size();
    ASSERT_EQ(lines.size(), perRun * GetParam().runsKept);
    std::vector<std::string> last(lines.end() - static_cast<long>(perRun), lines.end());
    EXPECT_EQ(RestsOf(last, "Runs.exe", second.processId), InitLines("Runs.exe"));
    if (GetParam().runsKept == 2) {
        std::vector<std::string> earlier(lines.begin(), lines.begin() + static_cast<long>(perRun));
        EXPECT_EQ(RestsOf(earlier, "Runs.exe", first.processId), InitLines("Runs.exe"));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, InitTraceLogRuns,
                         ::testing::Values(RunsCase{TraceFile, 1, kExistedAfterInit},
                                           RunsCase{TraceFileAppend, 2,
                                                    kExistedAfterInit | kClosedAfterInit}));

// Started through its 8.3 name, the program still reads the settings of its long name and
// logs beside itself under that name. Wine reports the module under its long name anyway, so
// the short name is handed in where the module's file name is read.
TEST(InitTraceLog, StartThroughTheShortNameUsesTheLongName) {
    TempFolder dir(L"velmora_trace");
    std::wstring program = dir.File(L"Long Program Name.exe");
    ASSERT_TRUE(WriteWholeFile(program, "MZ"));
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(program.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_EQ(std::wstring(shortPath).find(L"Long Program Name"), std::wstring::npos) << shortPath;
    TraceSettings settings(L"Long Program Name.exe");
    settings.SetMode(TraceFileAppend);

    TestSeam<const wchar_t*>::Override modulePath(g_traceModulePath, shortPath);
    std::wstring programPath = GetTraceProgramPath();
    TraceSinkSettings read = ReadTraceSettings();

    EXPECT_EQ(programPath, program);
    EXPECT_EQ(read.moduleName, L"Long Program Name.exe");
    EXPECT_EQ(read.mode, static_cast<DWORD>(TraceFileAppend));
    EXPECT_EQ(read.logPath, program + L".log");
}

// A program path of 260 characters or more is taken whole: cut, it would name another file's
// settings and log.
TEST(InitTraceLog, AProgramPathPastMaxPathIsNeverCut) {
    std::wstring program = L"C:\\" + std::wstring(300, L'd') + L"\\Velmora_Setup.exe";
    TestSeam<const wchar_t*>::Override modulePath(g_traceModulePath, program.c_str());
    std::wstring programPath = GetTraceProgramPath();
    TraceSinkSettings read = ReadTraceSettings();
    EXPECT_EQ(programPath, program);
    EXPECT_EQ(read.moduleName, L"Velmora_Setup.exe");
    EXPECT_EQ(read.logPath, program + L".log");
}

TEST(InitTraceLog, ModeZeroWritesNothingAndKeepsTheLocale) {
    TempFolder dir(L"velmora_trace");
    std::wstring program = CopyProbe(dir, L"Quiet.exe");
    TraceSettings settings(L"Quiet.exe");
    settings.SetMode(TraceOff);
    settings.SetText(L".log.name", L"quiet.txt");
    ChildRun run = RunInit(program);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd | kLocaleUnchanged);
    EXPECT_FALSE(Exists(dir.File(L"quiet.txt")));
    EXPECT_FALSE(Exists(dir.File(L"Quiet.exe.log")));
}

TEST(InitTraceLog, NoSettingsMeansTracingOff) {
    TempFolder dir(L"velmora_trace");
    std::wstring program = CopyProbe(dir, L"Unset.exe");
    ChildRun run = RunInit(program);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd | kLocaleUnchanged);
    EXPECT_FALSE(Exists(dir.File(L"Unset.exe.log")));
}

// An unknown mode switches tracing on without a sink of its own: the lines go to the standard
// output the program was started with.
TEST(InitTraceLog, UnknownModeWritesToInheritedStdout) {
    TempFolder dir(L"velmora_trace");
    std::wstring program = CopyProbe(dir, L"Seven.exe");
    TraceSettings settings(L"Seven.exe");
    settings.SetMode(7);
    std::wstring captured = dir.File(L"stdout.txt");
    ChildRun run;
    {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        ScopedKernelHandle out(CreateFileW(captured.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                           &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                           nullptr));
        ASSERT_TRUE(out.IsValid());
        run = RunInit(program, out.Get());
    }
    ASSERT_TRUE(run.finished);
    // Tracing is on: the scopes set the Korean locale.
    EXPECT_EQ(run.exitCode & (kRanToEnd | kExistedAfterInit | kLocaleUnchanged), kRanToEnd);
    EXPECT_FALSE(Exists(dir.File(L"Seven.exe.log")));
    EXPECT_EQ(RestsOf(ReadLogLines(captured), "Seven.exe", run.processId), InitLines("Seven.exe"));
}

// Console mode asks for a console of its own, once (the seam counts it: Wine without a desktop
// gives none, so the lines go nowhere here); it writes no file.
TEST(InitTraceLog, ConsoleModeAllocatesAConsoleAndWritesNoFile) {
    TempFolder dir(L"velmora_trace");
    std::wstring program = CopyProbe(dir, L"Console.exe");
    TraceSettings settings(L"Console.exe");
    settings.SetMode(TraceConsole);
    ChildRun run = RunInit(program);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode & (kRanToEnd | kExistedAfterInit | kLocaleUnchanged | kConsoleAllocated),
              kRanToEnd | kConsoleAllocated);
    EXPECT_FALSE(Exists(dir.File(L"Console.exe.log")));
}

}  // namespace
