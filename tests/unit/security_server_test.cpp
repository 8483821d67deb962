// What an unprivileged party may prepare for the elevated setup: DLLs beside the program, a
// log path in the current user's registry, a link in place of the site folder under Program
// Files\Velmora, and a program file swapped between its download and its start. Whole
// unattended runs of a copy of the built program against the local update server.
#include <gtest/gtest.h>

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "install/install_display.h"
#include "install/install_steps.h"
#include "log/trace_sink.h"
#include "res/resource.h"
#include "tests/fixtures/fixture_record.h"
#include "tests/support/child_process.h"
#include "tests/support/setup_runs.h"
#include "tests/support/test_files.h"
#include "tests/support/unattended_setup.h"

namespace {

// Not KnownDLLs on Windows, and loaded by the program on demand. version.dll is not among
// them: it is no KnownDLL either, but Wine's own user32 imports it, so under Wine a planted copy
// preferred to Wine's would load before the program's first instruction (Windows' user32 does
// not import it). The import-table check of lazy_api_test covers it.
const wchar_t* const kPlantedNames[] = {L"netapi32.dll", L"wininet.dll", L"urlmon.dll"};

int HttpPort() { return _wtoi(fixture::EnvironmentValue(L"VELMORA_HTTP_PORT").c_str()); }

std::wstring ExeName() {
    return L"Velmora_Setup_http_" + unattended::kHost + L"_" + std::to_wstring(HttpPort()) +
           L".exe";
}

std::wstring UnixPath(const std::wstring& path) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (proc == nullptr) return std::wstring();
    char* name = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(proc))(path.c_str());
    if (name == nullptr) return std::wstring();
    std::string narrow(name);
    HeapFree(GetProcessHeap(), 0, name);
    return std::wstring(narrow.begin(), narrow.end());
}

// Wine starts Unix programs too (its own CreateSymbolicLinkW makes no link), but gives no
// handle to wait on: the command leaves a file behind when it has succeeded.
bool RunShell(const std::wstring& command) {
    TempFolder scratch(L"velmora_shell");
    std::wstring done = scratch.File(L"done");
    ChildProcess shell;
    if (!shell.Start(L"Z:\\bin\\sh",
                     L"-c \"(" + command + L") && touch '" + UnixPath(done) + L"'\""))
        return false;
    for (int i = 0; i < 200; ++i) {
        if (unattended::FileExists(done)) return true;
        Sleep(50);
    }
    return false;
}

// Wine keeps a grant to Users only in the Unix mode bits, not in the DACL it reports.
std::string ModeBits(const std::wstring& path) {
    TempFolder scratch(L"velmora_mode");
    std::wstring out = scratch.File(L"mode.txt");
    if (!RunShell(L"stat -c %a '" + UnixPath(path) + L"' > '" + UnixPath(out) + L"'"))
        return "unreadable";
    return ReadWholeFile(out);
}

// One run: a copy of the program in a folder of its own, tracing to trace.log there unless a
// case says otherwise.
struct SetupRun {
    TempFolder folder{L"velmora_security"};
    std::wstring program = folder.File(ExeName());
    std::wstring logPath = folder.File(L"trace.log");
    std::wstring record = folder.File(L"record.txt");
    std::wstring target;        // what a case points the log or the link at
    std::string targetMode;     // its Unix mode bits before the run
    std::string targetContent;  // a target file's content before the run

    std::vector<std::string> Lines() const { return unattended::TraceBodies(logPath); }
    bool Traced(const std::string& text) const {
        for (const std::string& line : Lines())
            if (line == text) return true;
        return false;
    }
};

void SetTraceValues(const std::wstring& exeName, DWORD mode, const std::wstring& path) {
    ScopedRegKey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Velmora", 0, nullptr, 0, KEY_WRITE, nullptr,
                    key.Receive(), nullptr);
    RegSetValueExW(key.Get(), (exeName + L".log").c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&mode), sizeof(mode));
    RegSetValueExW(key.Get(), (exeName + L".log.path").c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

bool SetupCompleted(const SetupRun& run) {
    DWORD type = 0;
    return unattended::ReadDword(L"Software\\Velmora\\" + unattended::kHost, L"PRODUCT", type) ==
               1u &&
           unattended::FileExists(unattended::SiteDir() + L"\\QLUpdate.exe") &&
           TimesStarted(run.record, "fake_agent") == 1;
}

struct SecurityCase {
    const char* name;
    std::function<void(SetupRun&)> prepare;
    std::function<void(const SetupRun&)> check;
    // The process's exit code: 0 where the setup completes, 1603 where a refusal stops it.
    long exitCode = 0;
};

// .log.path naming a folder: no mode writes into it, empties it or grants on it.
SecurityCase LogFolder(const char* name, DWORD mode) {
    return {name,
            [mode](SetupRun& run) {
                run.target = run.folder.File(L"logs");
                CreateDirectoryW(run.target.c_str(), nullptr);
                ASSERT_TRUE(WriteWholeFile(run.target + L"\\kept.txt", "kept\n"));
                run.targetMode = ModeBits(run.target);
                ASSERT_NE(run.targetMode, "unreadable");
                SetTraceValues(ExeName(), mode, run.target);
            },
            [](const SetupRun& run) {
                EXPECT_TRUE(SetupCompleted(run));
                DWORD attributes = GetFileAttributesW(run.target.c_str());
                EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
                EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
                EXPECT_EQ(ReadWholeFile(run.target + L"\\kept.txt"), "kept\n");
                EXPECT_EQ(ModeBits(run.target), run.targetMode) << "a folder got the grant";
            }};
}

// .log.path naming an existing file: only the file modes write it and open it to Users; mode 2
// empties it first, mode 3 appends.
SecurityCase LogFile(const char* name, DWORD mode) {
    return {name,
            [mode](SetupRun& run) {
                run.target = run.folder.File(L"earlier.log");
                run.targetContent = "earlier run\n";
                ASSERT_TRUE(WriteWholeFile(run.target, run.targetContent));
                run.targetMode = ModeBits(run.target);
                ASSERT_NE(run.targetMode, "unreadable");
                SetTraceValues(ExeName(), mode, run.target);
            },
            [mode](const SetupRun& run) {
                EXPECT_TRUE(SetupCompleted(run));
                std::string content = ReadWholeFile(run.target);
                const std::string entry = unattended::Entry("CVelmora_SetupApp::InitInstance");
                if (mode == TraceFile || mode == TraceFileAppend) {
                    EXPECT_NE(ModeBits(run.target), run.targetMode) << "the log got no grant";
                    EXPECT_NE(content.find(entry), std::string::npos);
                    bool kept = content.rfind(run.targetContent, 0) == 0;
                    EXPECT_EQ(kept, mode == TraceFileAppend) << content.substr(0, 80);
                } else {
                    EXPECT_EQ(ModeBits(run.target), run.targetMode)
                        << "granted without a file sink";
                    EXPECT_EQ(content, run.targetContent);
                }
            }};
}

const SecurityCase kCases[] = {
    // Planted beside the program (its working folder too) and preferred to Wine's own (the
    // ctest entry's overrides), not one may load.
    {"planted_dlls",
     [](SetupRun& run) {
         for (const wchar_t* name : kPlantedNames)
             ASSERT_TRUE(CopyFileW(FixturePath(L"planted.dll").c_str(),
                                   run.folder.File(name).c_str(), FALSE));
         ASSERT_NE(fixture::EnvironmentValue(L"WINEDLLOVERRIDES").find(L"urlmon=n,b"),
                   std::wstring::npos);
         SwitchTraceToFile(ExeName(), run.logPath);
     },
     [](const SetupRun& run) {
         for (const wchar_t* name : kPlantedNames)
             EXPECT_FALSE(unattended::FileExists(run.folder.File(name) + L".loaded"))
                 << fixture::ToUtf8(name) << " was loaded";
         EXPECT_TRUE(SetupCompleted(run)) << ReadWholeFile(run.logPath);
     }},
    LogFolder("log_folder_off", TraceOff),
    LogFolder("log_folder_console", TraceConsole),
    LogFolder("log_folder_file", TraceFile),
    LogFolder("log_folder_append", TraceFileAppend),
    LogFile("log_file_off", TraceOff),
    LogFile("log_file_console", TraceConsole),
    LogFile("log_file_file", TraceFile),
    LogFile("log_file_append", TraceFileAppend),
    // Wine shows a Unix symbolic link to a folder as a reparse point.
    {"site_folder_link",
     [](SetupRun& run) {
         std::wstring base = ProgramFilesDir() + L"\\Velmora";
         CreateDirectoryW(base.c_str(), nullptr);
         run.target = run.folder.File(L"elsewhere");
         CreateDirectoryW(run.target.c_str(), nullptr);
         run.targetMode = ModeBits(run.target);
         ASSERT_TRUE(RunShell(L"rm -f '" + UnixPath(unattended::SiteDir()) + L"'; ln -s '" +
                              UnixPath(run.target) + L"' '" + UnixPath(unattended::SiteDir()) +
                              L"'"));
         DWORD attributes = GetFileAttributesW(unattended::SiteDir().c_str());
         ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
         ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
         SwitchTraceToFile(ExeName(), run.logPath);
     },
     [](const SetupRun& run) {
         EXPECT_TRUE(run.Traced("Site dir create fail___"));
         EXPECT_FALSE(unattended::FileExists(run.target + L"\\velmora_server.exe"));
         EXPECT_FALSE(unattended::FileExists(run.target + L"\\QLUpdate.exe"));
         EXPECT_EQ(ModeBits(run.target), run.targetMode) << "the link's target got the grant";
         EXPECT_EQ(TimesStarted(run.record, "fake_agent"), 0);
         EXPECT_TRUE(RunShell(L"rm -f '" + UnixPath(unattended::SiteDir()) + L"'"));
     },
     1603},
};

class SecurityRun : public ::testing::TestWithParam<SecurityCase> {};

TEST_P(SecurityRun, UnprivilegedInputReachesNothingElevated) {
    ASSERT_GT(HttpPort(), 0);
    unattended::PublishFakeService(fixture::EnvironmentValue(L"VELMORA_SERVER_ROOT_W"));
    SetupRun run;
    unattended::ForgetEarlierRuns(ExeName());
    ASSERT_TRUE(CopyProgram(DistPath(L"Velmora_Setup.exe"), run.program));
    SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", run.record.c_str());
    GetParam().prepare(run);
    if (HasFatalFailure()) return;
    {
        ChildProcess setup;
        ASSERT_TRUE(setup.Start(run.program, L""));
        EXPECT_EQ(setup.WaitForExit(120000), GetParam().exitCode)
            << "the unattended setup ends by itself";
    }
    GetParam().check(run);
    unattended::ForgetEarlierRuns(ExeName());
}

INSTANTIATE_TEST_SUITE_P(Cases, SecurityRun, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SecurityCase>& info) {
                             return std::string(info.param.name);
                         });

// The step's own display marks the moment between the installer's check and its start: there
// another process tries to put a different program in its place.
class SwappingDisplay : public InstallDisplay {
  public:
    SwappingDisplay(std::wstring installer, std::wstring replacement)
        : m_installer(std::move(installer)), m_replacement(std::move(replacement)) {}

    void SetInfoText(UINT16 stringId) override {
        if (stringId != IDS_LAUNCHER_INSTALLING) return;
        m_swapped =
            RunToEnd(L"C:\\windows\\system32\\cmd.exe",
                     L"/c copy /y \"" + m_replacement + L"\" \"" + m_installer + L"\"", 10000) == 0;
        m_tried = true;
    }
    void SetProgressRange(int) override {}
    HWND ProgressBar() const override { return nullptr; }

    bool m_tried = false;
    bool m_swapped = false;

  private:
    std::wstring m_installer;
    std::wstring m_replacement;
};

TEST(SwappedProgram, AnotherProcessCannotReplaceTheInstallerBeforeItRuns) {
    ASSERT_GT(HttpPort(), 0);
    unattended::PublishFakeService(fixture::EnvironmentValue(L"VELMORA_SERVER_ROOT_W"));
    TempFolder folder(L"velmora_swap");
    std::wstring record = folder.File(L"record.txt");
    SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", record.c_str());
    SwappingDisplay display(testfiles::TempRoot() + L"\\Velmora ActiveX 7i_jp.exe",
                            FixturePath(L"fake_agent.exe"));
    EXPECT_EQ(InstallActiveX(unattended::kHost.c_str(), HttpPort(), 0, true, display), 0);
    EXPECT_TRUE(display.m_tried);
    EXPECT_FALSE(display.m_swapped);
    EXPECT_EQ(TimesStarted(record, "fake_installer"), 1);
    EXPECT_EQ(TimesStarted(record, "fake_agent"), 0) << "the replacement ran";
}

}  // namespace
