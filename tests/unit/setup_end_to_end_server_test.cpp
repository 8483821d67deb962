// The whole setup against the local update server: a copy of the built program named for the
// server runs unattended from start to exit, and what it leaves behind is checked.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <algorithm>
#include <string>
#include <vector>

#include "tests/fixtures/fixture_record.h"
#include "tests/support/child_process.h"
#include "tests/support/setup_runs.h"
#include "tests/support/test_files.h"

namespace {

const std::wstring kHost = L"127.0.0.1";
const std::wstring kSite = L"Sales";

std::wstring Environment(const wchar_t* name) { return fixture::EnvironmentValue(name); }

std::wstring SiteDir() { return ProgramFilesDir() + L"\\Velmora\\" + kSite; }

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The published files: the fake installer and agent, and a descriptor naming the site.
void Publish() {
    std::wstring root = Environment(L"VELMORA_SERVER_ROOT_W");
    std::filesystem::create_directories(root + L"\\app\\update");
    ASSERT_TRUE(CopyProgram(FixturePath(L"fake_installer.exe"),
                            root + L"\\app\\Velmora ActiveX 7i_jp.exe"));
    ASSERT_TRUE(CopyProgram(FixturePath(L"fake_agent.exe"), root + L"\\app\\update\\QLUpdate.exe"));
    ASSERT_TRUE(WriteWholeFile(root + L"\\app\\update\\velmora_server.exe",
                               "<?xml version=\"1.0\"?>\r\n<service>\r\n"
                               "  <servicename>Sales</servicename>\r\n</service>\r\n"));
}

DWORD ReadDword(const std::wstring& key, const wchar_t* name, DWORD& type) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    type = REG_NONE;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY, &type, &value, &size) !=
        ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

void ForgetEarlierRuns(const std::wstring& exeName) {
    RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Velmora\\" + kHost).c_str());
    testfiles::RemoveTreeOnceFree(SiteDir());
    ForgetTraceFor(exeName);
}

// The message text or scope line of each trace line, without its header.
std::vector<std::string> TraceBodies(const std::wstring& logPath) {
    std::vector<std::string> bodies;
    for (const std::string& line : testfiles::SplitLines(ReadWholeFile(logPath))) {
        size_t end = line.find(']', line.find("T:"));
        std::string body = end == std::string::npos ? line : line.substr(end + 1);
        if (body.rfind(":    ", 0) == 0) body = body.substr(5);
        bodies.push_back(body);
    }
    return bodies;
}

// Each expected text is found, in this order, among the lines (other lines may lie between).
void ExpectInOrder(const std::vector<std::string>& lines,
                   const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const std::string& text : expected) {
        auto found = std::find(lines.begin() + static_cast<long>(at), lines.end(), text);
        ASSERT_NE(found, lines.end()) << "missing, or out of order: " << text;
        at = static_cast<size_t>(found - lines.begin()) + 1;
    }
}

std::string Entry(const char* scope) { return std::string(scope) + "() " + std::string(43, '<'); }

std::string Exit(const char* scope) { return std::string(scope) + "() " + std::string(43, '>'); }

struct Scheme {
    const char* name;
    const wchar_t* word;
    const wchar_t* portVariable;
};

class SetupEndToEnd : public ::testing::TestWithParam<Scheme> {};

TEST_P(SetupEndToEnd, AutomaticCopyRunsFromStartToExit) {
    const Scheme& scheme = GetParam();
    int port = _wtoi(Environment(scheme.portVariable).c_str());
    ASSERT_GT(port, 0);
    Publish();

    TempFolder folder(L"velmora_e2e");
    std::wstring exeName = L"Velmora_Setup_" + std::wstring(scheme.word) + L"_" + kHost + L"_" +
                           std::to_wstring(port) + L".exe";
    std::wstring program = folder.File(exeName);
    ASSERT_TRUE(CopyProgram(DistPath(L"Velmora_Setup.exe"), program));
    std::wstring logPath = folder.File(L"trace.log");
    std::wstring record = folder.File(L"record.txt");
    ForgetEarlierRuns(exeName);
    SwitchTraceToFile(exeName, logPath);
    SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", record.c_str());

    ChildProcess setup;
    ASSERT_TRUE(setup.Start(program, L""));
    EXPECT_EQ(setup.WaitForExit(120000), 0) << "the unattended setup ends by itself";

    std::wstring hostKey = L"Software\\Velmora\\" + kHost;
    DWORD type = 0;
    EXPECT_EQ(ReadDword(hostKey, L"LANGUAGE", type), 3u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(ReadDword(hostKey, L"PRODUCT", type), 1u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(ReadDword(hostKey + L"\\Update", L"DontQuestionDesktopShortcut", type), 1u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    EXPECT_TRUE(FileExists(SiteDir() + L"\\velmora_server.exe"));
    EXPECT_TRUE(FileExists(SiteDir() + L"\\QLUpdate.exe"));
    std::wstring temp = testfiles::TempRoot();
    EXPECT_FALSE(FileExists(temp + L"\\velmora_server.exe"));
    EXPECT_FALSE(FileExists(temp + L"\\Velmora ActiveX 7i_jp.exe"));

    std::string seen = ReadWholeFile(record);
    EXPECT_NE(seen.find("/verysilent"), std::string::npos) << seen;
    EXPECT_NE(seen.find("working_dir=" + fixture::ToUtf8(temp) + "\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find(" -ou"), std::string::npos) << seen;
    EXPECT_NE(seen.find("working_dir=" + fixture::ToUtf8(SiteDir()) + "\n"), std::string::npos)
        << seen;
    EXPECT_NE(seen.find("descriptor_beside=1"), std::string::npos) << seen;

    std::string portText = std::to_string(port);
    std::string url = std::string(scheme.name) + "://127.0.0.1:" + portText;
    std::vector<std::string> lines = TraceBodies(logPath);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), Entry("CVelmora_SetupApp::InitInstance"));
    EXPECT_EQ(lines.back(), Exit("CVelmora_SetupApp::InitInstance"));
    ExpectInOrder(lines,
                  {
                      Entry("CVelmora_SetupApp::InitInstance"),
                      "ModuleName: " + fixture::ToUtf8(exeName.substr(0, exeName.size() - 4)),
                      Entry("CVelmora_SetupDlg::OnBnClickedNext"),
                      "ServerURL: 127.0.0.1, ServerPORT: " + portText,
                      "ConnectionURL: " + url,
                      Exit("CVelmora_SetupDlg::OnBnClickedNext"),
                      Entry("VLDownloadDlg::InstallActiveX"),
                      "ServerFilePath: " + url + "/app/Velmora ActiveX 7i_jp.exe",
                      "URLDownloadToFile ret: 0x00000000",
                      "Velmora ActiveX 7i.exe Download Success...",
                      "Velmora ActiveX 7i_jp.exe run Success...",
                      Exit("VLDownloadDlg::InstallActiveX"),
                      Entry("VLDownloadDlg::RunQLUpdate"),
                      url + "/app/update/velmora_server.exe",
                      "SiteName: Sales",
                      Entry("AddFileAccessAllowedRights"),
                      Exit("AddFileAccessAllowedRights"),
                      Entry("AddFileAccessAllowedRights"),
                      Exit("AddFileAccessAllowedRights"),
                      "QLUpdate.exe run Success...",
                      Exit("VLDownloadDlg::RunQLUpdate"),
                      Exit("CVelmora_SetupApp::InitInstance"),
                  });
    for (const std::string& line : lines) EXPECT_EQ(line.find("fail"), std::string::npos) << line;
    ForgetEarlierRuns(exeName);
}

INSTANTIATE_TEST_SUITE_P(Schemes, SetupEndToEnd,
                         ::testing::Values(Scheme{"http", L"http", L"VELMORA_HTTP_PORT"},
                                           Scheme{"https", L"https", L"VELMORA_HTTPS_PORT"}),
                         [](const ::testing::TestParamInfo<Scheme>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
