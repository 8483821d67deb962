#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/velmora_setup_app.h"
#include "log/trace_sink.h"
#include "sys/module_info.h"
#include "tests/support/child_process.h"
#include "tests/support/resource_script.h"
#include "tests/support/trace_files.h"

namespace {

const wchar_t kLayersKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

struct CompatValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

CompatValue ReadCompatValue(const std::wstring& programPath) {
    CompatValue value;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kLayersKey, programPath.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                     &value.type, nullptr, &size) != ERROR_SUCCESS)
        return value;
    value.data.resize(size);
    value.present =
        RegGetValueW(HKEY_CURRENT_USER, kLayersKey, programPath.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                     &value.type, value.data.data(), &size) == ERROR_SUCCESS;
    value.data.resize(size);
    return value;
}

void ExpectCompatLayerFor(const std::wstring& programPath) {
    CompatValue value = ReadCompatValue(programPath);
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(value.data.size(), 18u);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(value.data.data())), L"WINXPSP2");
}

void RemoveLayersKey() {
    LONG result = RegDeleteKeyW(HKEY_CURRENT_USER, kLayersKey);
    ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
}

// Runs a copy of the setup program with tracing into its log file until start-up has logged
// its version, then closes its window; the log text.
std::string RunSetupStartup(const TempFolder& folder, const std::wstring& exeName,
                            const wchar_t* wineVersion) {
    std::wstring program = folder.File(exeName);
    EXPECT_TRUE(CopyProgram(DistPath(L"Velmora_Setup.exe"), program));
    SetWineVersionFor(exeName, wineVersion);
    trace_test::TraceSettings trace(exeName);
    trace.SetMode(TraceFile);

    std::wstring logPath = program + L".log";
    std::string log;
    {
        ChildProcess child;
        EXPECT_TRUE(child.Start(program, L""));
        for (int i = 0; i < 300 && log.find("ModuleVersion:") == std::string::npos; ++i) {
            Sleep(100);
            log = ReadWholeFile(logPath);
        }
        for (int i = 0; i < 50 && child.WaitForExit(200) == -1; ++i) child.CloseWindows();
    }
    ForgetWineVersionFor(exeName);
    return log;
}

size_t PositionOf(const std::string& log, const char* text) {
    size_t at = log.find(text);
    EXPECT_NE(at, std::string::npos) << "missing in log: " << text << "\n" << log;
    return at;
}

}  // namespace

TEST(WriteRegcompatibility, WritesTheLayerForThisProgram) {
    RemoveLayersKey();
    CVelmora_SetupApp app;
    EXPECT_TRUE(app.WriteRegcompatibility());
    ExpectCompatLayerFor(GetModulePath());
    // Key present now: the value is written again.
    ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, kLayersKey, GetModulePath().c_str()),
              ERROR_SUCCESS);
    EXPECT_TRUE(app.WriteRegcompatibility());
    ExpectCompatLayerFor(GetModulePath());
}

TEST(WriteRegcompatibility, StartUpOnVistaAndLaterCreatesTheKeyBeforeLoggingThePath) {
    RemoveLayersKey();
    TempFolder folder(L"compat_win7");
    std::wstring exeName = L"CompatSeven.exe";
    std::string log = RunSetupStartup(folder, exeName, L"win7");

    size_t entry = PositionOf(log, "CVelmora_SetupApp::WriteRegcompatibility() <<<");
    size_t openFail = PositionOf(log, ":    regKey.Open fail_(funcRet: 0x2)\r\n");
    size_t created = PositionOf(log, ":    regKey.Create success.\r\n");
    size_t exit = PositionOf(log, "CVelmora_SetupApp::WriteRegcompatibility() >>>");
    size_t modulePath = PositionOf(log, ":    ModulePath: ");
    EXPECT_LT(entry, openFail);
    EXPECT_LT(openFail, created);
    EXPECT_LT(created, exit);
    EXPECT_LT(exit, modulePath);
    EXPECT_EQ(log.find("SetStringValue"), std::string::npos);

    const size_t pathStart = modulePath + std::string(":    ModulePath: ").size();
    std::string logged = log.substr(pathStart, log.find("\r\n", pathStart) - pathStart);
    std::wstring program = folder.File(exeName);
    EXPECT_EQ(logged, std::string(program.begin(), program.end()));
    ExpectCompatLayerFor(program);
    // Path, name without extension and the file version from the program's version resource,
    // one after the other.
    std::vector<std::string> rests;
    for (const std::string& line : testfiles::SplitLines(log))
        rests.push_back(trace_test::ParseLogLine(line).rest);
    auto path = std::find(rests.begin(), rests.end(), ":    ModulePath: " + logged);
    ASSERT_GE(std::distance(path, rests.end()), 3) << log;
    EXPECT_EQ(*(path + 1), ":    ModuleName: CompatSeven");
    EXPECT_EQ(*(path + 2), ":    ModuleVersion: " + resource_script::FileVersion());
}

TEST(WriteRegcompatibility, VersionDecidesWhetherStartUpWritesTheLayer) {
    struct Case {
        const wchar_t* wineVersion;
        const wchar_t* exeName;
        bool written;
    };
    const Case cases[] = {
        {L"winxp", L"CompatXP.exe", false},
        {L"win7", L"CompatWin7.exe", true},
        {L"win10", L"CompatWin10.exe", true},
    };
    // The key exists from here on: a successful open logs nothing.
    CVelmora_SetupApp app;
    ASSERT_TRUE(app.WriteRegcompatibility());
    TempFolder folder(L"compat_versions");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version case " << (&c - cases));
        std::wstring program = folder.File(c.exeName);
        std::string log = RunSetupStartup(folder, c.exeName, c.wineVersion);
        PositionOf(log, ":    ModuleVersion: ");
        EXPECT_EQ(log.find("regKey."), std::string::npos);
        EXPECT_EQ(log.find("WriteRegcompatibility") != std::string::npos, c.written);
        if (c.written) {
            ExpectCompatLayerFor(program);
        } else {
            EXPECT_FALSE(ReadCompatValue(program).present);
        }
    }
}
