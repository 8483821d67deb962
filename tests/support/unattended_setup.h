#pragma once

// A whole unattended setup against a published fake service: a copy of a setup program runs
// from start to exit, and what it leaves behind (registry values, site folder, the fake
// installer's and agent's record, the trace log) is checked. The run and the checks are
// shared by every test that starts such a copy, whichever server publishes the files.

#include <gtest/gtest.h>

#include <windows.h>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fixtures/fixture_record.h"
#include "tests/support/child_process.h"
#include "tests/support/setup_runs.h"
#include "tests/support/test_files.h"

namespace unattended {

const std::wstring kHost = L"127.0.0.1";
const std::wstring kSite = L"Sales";

inline std::wstring SiteDir() { return ProgramFilesDir() + L"\\Velmora\\" + kSite; }

inline bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The published files below root: the fake installer and agent, and a descriptor naming the
// site.
inline void PublishFakeService(const std::wstring& root) {
    std::filesystem::create_directories(root + L"\\app\\update");
    ASSERT_TRUE(CopyProgram(FixturePath(L"fake_installer.exe"),
                            root + L"\\app\\Velmora ActiveX 7i_jp.exe"));
    ASSERT_TRUE(CopyProgram(FixturePath(L"fake_agent.exe"), root + L"\\app\\update\\QLUpdate.exe"));
    ASSERT_TRUE(WriteWholeFile(root + L"\\app\\update\\velmora_server.exe",
                               "<?xml version=\"1.0\"?>\r\n<service>\r\n"
                               "  <servicename>Sales</servicename>\r\n</service>\r\n"));
}

inline DWORD ReadDword(const std::wstring& key, const wchar_t* name, DWORD& type) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    type = REG_NONE;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY, &type, &value, &size) !=
        ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

inline void ForgetEarlierRuns(const std::wstring& exeName) {
    RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Velmora\\" + kHost).c_str());
    testfiles::RemoveTreeOnceFree(SiteDir());
    ForgetTraceFor(exeName);
}

// The message text or scope line of each trace line, without its header.
inline std::vector<std::string> TraceBodies(const std::wstring& logPath) {
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
inline void ExpectInOrder(const std::vector<std::string>& lines,
                          const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const std::string& text : expected) {
        auto found = std::find(lines.begin() + static_cast<long>(at), lines.end(), text);
        ASSERT_NE(found, lines.end()) << "missing, or out of order: " << text;
        at = static_cast<size_t>(found - lines.begin()) + 1;
    }
}

inline std::string Entry(const char* scope) {
    return std::string(scope) + "() " + std::string(43, '<');
}

inline std::string Exit(const char* scope) {
    return std::string(scope) + "() " + std::string(43, '>');
}

// Runs a copy of setupProgram named exeName, which must start in automatic mode for
// scheme://127.0.0.1:port, to its end and checks that the setup completed.
inline void ExpectCompletes(const std::wstring& setupProgram, const std::wstring& exeName,
                            const char* scheme, int port) {
    TempFolder folder(L"velmora_e2e");
    std::wstring program = folder.File(exeName);
    ASSERT_TRUE(CopyProgram(setupProgram, program));
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
    std::string url = std::string(scheme) + "://127.0.0.1:" + portText;
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
    // The one failure line a whole run may have: a profile without a compatibility-layer key
    // (a fresh prefix) logs the failed open before the key is created.
    for (const std::string& line : lines) {
        if (line == "regKey.Open fail_(funcRet: 0x2)") continue;
        EXPECT_EQ(line.find("fail"), std::string::npos) << line;
    }
    ForgetEarlierRuns(exeName);
}

}  // namespace unattended
