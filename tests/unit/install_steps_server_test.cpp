// The two installation steps, run by the download page's worker against the local update
// server, with the published files missing, broken or misbehaving one way at a time.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <wininet.h>
#include <filesystem>
#include <algorithm>
#include <string>
#include <vector>

#include "app/velmora_setup_app.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/url_down_callback.h"
#include "log/func_trace.h"
#include "res/resource.h"
#include "tests/fixtures/fixture_record.h"
#include "tests/support/page_driver.h"
#include "tests/support/recording_parent.h"
#include "tests/support/trace_capture.h"
#include "tests/support/child_process.h"
#include "tests/support/setup_runs.h"
#include "tests/support/test_files.h"
#include "ui/download_dlg.h"

namespace {

const char kGoodDescriptor[] = "<service>\n<servicename>Sales</servicename>\n</service>\n";
const char kInstallerFail[] = "Velmora ActiveX 7i.exe Download fail_ and continue loop.";
const char kInstallerSuccess[] = "Velmora ActiveX 7i.exe Download Success...";

std::wstring ServerRoot() { return fixture::EnvironmentValue(L"VELMORA_SERVER_ROOT_W"); }
std::wstring InstallerPath() { return ServerRoot() + L"\\app\\Velmora ActiveX 7i_jp.exe"; }
std::wstring DescriptorPath() { return ServerRoot() + L"\\app\\update\\velmora_server.exe"; }
std::wstring AgentPath() { return ServerRoot() + L"\\app\\update\\QLUpdate.exe"; }

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? full : path;
}

// Where the descriptor would land if the site name "..\..\Windows" were taken as a folder.
std::wstring DescriptorOutsideTheBase() {
    return FullPath(ProgramFilesDir() + L"\\Velmora\\..\\..\\Windows\\velmora_server.exe");
}

// What the fake installer was started with after its own name, as each run recorded it.
std::vector<std::string> InstallerParameters(const std::wstring& record) {
    std::vector<std::string> parameters;
    bool installer = false;
    for (const std::string& line : testfiles::SplitLines(ReadWholeFile(record))) {
        if (line.rfind("program=", 0) == 0) installer = line == "program=fake_installer";
        if (!installer || line.rfind("command_line=", 0) != 0) continue;
        std::string commandLine = line.substr(13);
        size_t end = commandLine[0] == '"' ? commandLine.find('"', 1) : commandLine.find(' ');
        std::string rest = end == std::string::npos ? "" : commandLine.substr(end + 1);
        rest.erase(0, rest.find_first_not_of(' '));
        parameters.push_back(rest);
    }
    return parameters;
}

// The lines of the installer's download attempts: each attempt's four lines, URL and path
// written out, the result only by its start.
std::vector<std::string> AttemptLines(const std::vector<std::string>& lines) {
    std::vector<std::string> attempts;
    for (const std::string& line : lines) {
        if (line.rfind("URLDownloadToFile ret: 0x", 0) == 0) {
            attempts.push_back("URLDownloadToFile ret: 0x");
        } else if (line.rfind("ServerFilePath: ", 0) == 0 || line.rfind("DownFilePath: ", 0) == 0 ||
                   line == kInstallerFail || line == kInstallerSuccess) {
            attempts.push_back(line);
        }
    }
    return attempts;
}

// Each line is the fault of one request for the file: the size query, then the download.
std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line + "\n";
    return text;
}

struct StepCase {
    const char* name;
    bool https;
    bool publishInstaller;
    std::string installerFaults;
    std::string descriptor;  // empty: not published
    std::string descriptorFaults;
    bool publishAgent;
    std::string agentFaults;
    int expectedInstallerFailures;
    bool installerStarted;
    // Found in this order; "{root}" stands for the service root, and a text ending in "*"
    // matches any line that starts with the rest.
    std::vector<std::string> expectedLines;
    bool siteLaidOut;  // descriptor copy in the site folder
    bool agentStarted;
};

std::string Name(const ::testing::TestParamInfo<StepCase>& info) { return info.param.name; }

class InstallStepsTest : public ::testing::TestWithParam<StepCase> {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Velmora\\127.0.0.1");
        DeleteFileW(DescriptorOutsideTheBase().c_str());
        testfiles::RemoveTreeOnceFree(ProgramFilesDir() + L"\\Velmora");
        std::error_code ignored;
        std::filesystem::remove_all(ServerRoot() + L"\\app", ignored);
        std::filesystem::create_directories(ServerRoot() + L"\\app\\update");
        m_record = m_folder.File(L"record.txt");
        SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", m_record.c_str());
    }

    void Publish(const StepCase& c) {
        if (c.publishInstaller) {
            ASSERT_TRUE(CopyProgram(FixturePath(L"fake_installer.exe"), InstallerPath()));
        }
        if (c.publishAgent) {
            ASSERT_TRUE(CopyProgram(FixturePath(L"fake_agent.exe"), AgentPath()));
        }
        if (!c.descriptor.empty()) {
            ASSERT_TRUE(WriteWholeFile(DescriptorPath(), c.descriptor));
        }
        WriteWholeFile(InstallerPath() + L".faults", c.installerFaults);
        WriteWholeFile(DescriptorPath() + L".faults", c.descriptorFaults);
        WriteWholeFile(AgentPath() + L".faults", c.agentFaults);
    }

    // Creates the page for the local server and waits until its worker has run both steps.
    void RunWorker(bool https, const TraceCapture& trace) {
        RecordingParent parent;
        VLDownloadDlg page;
        page.SetServerURL(L"127.0.0.1");
        page.m_nServerPort =
            _wtoi(fixture::EnvironmentValue(https ? L"VELMORA_HTTPS_PORT" : L"VELMORA_HTTP_PORT")
                      .c_str());
        ASSERT_TRUE(page.Create(parent.Get()));
        page.m_bHttps = https ? 1 : 0;
        HWND prev = page.GetDlgItem(IDC_PREV);
        HWND next = page.GetDlgItem(IDC_NEXT);
        // Every case here reaches the update-agent step; its exit line ends the steps.
        std::string lastLine = "VLDownloadDlg::RunQLUpdate() " + std::string(43, '>');
        ASSERT_TRUE(PumpUntil([&] { return trace.Contains(lastLine); }, 120000));
        ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(next) != FALSE; }));
        EXPECT_FALSE(IsWindowEnabled(prev));
        EXPECT_EQ(theApp.m_bInstalling.load(), 0);
    }

    TempFolder m_folder{L"velmora_steps"};
    std::wstring m_record;
};

TEST_P(InstallStepsTest, RunsAsTheServerAllows) {
    const StepCase& c = GetParam();
    Publish(c);
    TraceCapture trace;
    RunWorker(c.https, trace);
    std::vector<std::string> lines = trace.Lines();

    EXPECT_EQ(std::count(lines.begin(), lines.end(), kInstallerFail), c.expectedInstallerFailures);
    EXPECT_EQ(TimesStarted(m_record, "fake_installer"), c.installerStarted ? 1 : 0);
    EXPECT_EQ(TimesStarted(m_record, "fake_agent"), c.agentStarted ? 1 : 0);
    EXPECT_FALSE(Exists(testfiles::TempRoot() + L"\\Velmora ActiveX 7i_jp.exe"));
    // Outside automatic mode the installer gets no parameters at all.
    for (const std::string& parameters : InstallerParameters(m_record)) EXPECT_EQ(parameters, "");

    std::string root = std::string(c.https ? "https" : "http") + "://127.0.0.1:" +
                       fixture::ToUtf8(fixture::EnvironmentValue(c.https ? L"VELMORA_HTTPS_PORT"
                                                                         : L"VELMORA_HTTP_PORT"));
    size_t at = 0;
    for (std::string text : c.expectedLines) {
        size_t placeholder = text.find("{root}");
        if (placeholder != std::string::npos) text.replace(placeholder, 6, root);
        bool prefix = !text.empty() && text.back() == '*';
        if (prefix) text.pop_back();
        auto found = std::find_if(lines.begin() + static_cast<long>(at), lines.end(),
                                  [&](const std::string& line) {
                                      return prefix ? line.rfind(text, 0) == 0 : line == text;
                                  });
        ASSERT_NE(found, lines.end()) << "missing, or out of order: " << text;
        at = static_cast<size_t>(found - lines.begin()) + 1;
    }
    std::wstring siteDir = ProgramFilesDir() + L"\\Velmora\\Sales";
    EXPECT_EQ(Exists(siteDir + L"\\velmora_server.exe"), c.siteLaidOut);
    // A site name that climbs out of the base folder never carries the descriptor there.
    EXPECT_FALSE(Exists(DescriptorOutsideTheBase()));

    // Every attempt writes its four lines, in order: URL, local path, result, verdict.
    std::string url = "ServerFilePath: " + root + "/app/Velmora ActiveX 7i_jp.exe";
    std::string path =
        "DownFilePath: " + fixture::ToUtf8(testfiles::TempRoot()) + "\\Velmora ActiveX 7i_jp.exe";
    std::vector<std::string> expectedAttempts;
    int attempts = c.expectedInstallerFailures == 5 ? 5 : c.expectedInstallerFailures + 1;
    for (int i = 0; i < attempts; ++i) {
        bool failed = i < c.expectedInstallerFailures;
        for (const char* line : {url.c_str(), path.c_str(), "URLDownloadToFile ret: 0x",
                                 failed ? kInstallerFail : kInstallerSuccess})
            expectedAttempts.push_back(line);
    }
    EXPECT_EQ(AttemptLines(lines), expectedAttempts);
}

const std::string kRunSuccess = "Velmora ActiveX 7i_jp.exe run Success...";
const std::string kAgentRun = "QLUpdate.exe run Success...";

INSTANTIATE_TEST_SUITE_P(
    Steps, InstallStepsTest,
    ::testing::Values(StepCase{"EverythingPublishedHttp",
                               false,
                               true,
                               "",
                               kGoodDescriptor,
                               "",
                               true,
                               "",
                               0,
                               true,
                               {kInstallerSuccess, kRunSuccess, "SiteName: Sales", kAgentRun},
                               true,
                               true},
                      StepCase{"InstallerFailsFiveTimes",
                               false,
                               true,
                               Repeat("status=500", 10),
                               kGoodDescriptor,
                               "",
                               true,
                               "",
                               5,
                               false,
                               {"SiteName: Sales", kAgentRun},
                               true,
                               true},
                      StepCase{"InstallerSucceedsAtTheThirdAttempt",
                               true,
                               true,
                               Repeat("status=500", 4),
                               kGoodDescriptor,
                               "",
                               true,
                               "",
                               2,
                               true,
                               {kInstallerFail, kInstallerFail, kInstallerSuccess, kRunSuccess},
                               true,
                               true},
                      StepCase{"InstallerCutShortOverHttp",
                               false,
                               true,
                               Repeat("\ncut=1000", 5),
                               kGoodDescriptor,
                               "",
                               true,
                               "",
                               5,
                               false,
                               {kAgentRun},
                               true,
                               true},
                      StepCase{"InstallerMissing",
                               true,
                               false,
                               "",
                               kGoodDescriptor,
                               "",
                               true,
                               "",
                               5,
                               false,
                               {"HttpStatus fail___(404)", kAgentRun},
                               true,
                               true},
                      StepCase{"DescriptorMissingOverHttps",
                               true,
                               true,
                               "",
                               "",
                               "",
                               true,
                               "",
                               0,
                               true,
                               {"-2147483244\t80000194", "velmora_server.exe Download fail___"},
                               false,
                               false},
                      StepCase{"DescriptorCutShort",
                               false,
                               true,
                               "",
                               kGoodDescriptor,
                               "\ncut=10",
                               true,
                               "",
                               0,
                               true,
                               {"-2147483610\t80000026", "velmora_server.exe Download fail___"},
                               false,
                               false},
                      StepCase{"DescriptorWithoutStartTag",
                               false,
                               true,
                               "",
                               "<service/>\n",
                               "",
                               true,
                               "",
                               0,
                               true,
                               {"Wrong xml___"},
                               false,
                               false},
                      StepCase{"SiteNameLeavingTheFolder",
                               false,
                               true,
                               "",
                               "<servicename>..\\..\\Windows</servicename>\n",
                               "",
                               true,
                               "",
                               0,
                               true,
                               {"SiteName: ..\\..\\Windows", "Site dir create fail___"},
                               false,
                               false},
                      StepCase{
                          "AgentMissingOverHttp",
                          false,
                          true,
                          "",
                          kGoodDescriptor,
                          "",
                          false,
                          "",
                          0,
                          true,
                          {"SiteName: Sales", "{root}/app/update/QLUpdate.exe Download fail___"},
                          true,
                          false},
                      StepCase{"AgentCutShortOverHttps",
                               true,
                               true,
                               "",
                               kGoodDescriptor,
                               "",
                               true,
                               "\ncut=100",
                               0,
                               true,
                               {"Download incomplete___(100 of *",
                                "{root}/app/update/QLUpdate.exe Download fail___"},
                               true,
                               false}),
    Name);

}  // namespace

namespace {

bool IsCached(const std::wstring& url) {
    DWORD size = 0;
    GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size);
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// An entry for url in the platform's URL cache, as an earlier download would leave one.
bool PlantCacheEntry(const std::wstring& url, const std::string& bytes) {
    wchar_t file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url.c_str(), 0, L"bin", file, 0)) return false;
    if (!WriteWholeFile(file, bytes)) return false;
    FILETIME never = {};
    return CommitUrlCacheEntryW(url.c_str(), file, never, never, NORMAL_CACHE_ENTRY, nullptr, 0,
                                nullptr, nullptr) != FALSE;
}

// Records the ranges set and whether the URL still had a cache entry when the range was set,
// which comes after the size query and right before the download.
class RecordingDisplay : public InstallDisplay {
  public:
    explicit RecordingDisplay(std::wstring url) : m_url(std::move(url)) {}
    void SetInfoText(UINT16) override {}
    void SetProgressRange(int size) override {
        ranges.push_back(size);
        cachedBeforeDownload.push_back(IsCached(m_url));
    }
    HWND ProgressBar() const override { return nullptr; }
    std::vector<int> ranges;
    std::vector<bool> cachedBeforeDownload;

  private:
    std::wstring m_url;
};

// Each download fetches the file as the server holds it now: the cache entry an earlier
// download of the same URL left is removed first. The bar's range is the size served.
TEST(FetchPublishedFile, RepublishedBytesArriveAndSizeTheBar) {
    std::filesystem::create_directories(ServerRoot() + L"\\app\\update");
    std::wstring published = ServerRoot() + L"\\app\\update\\republished.bin";
    for (int https : {0, 1}) {
        SCOPED_TRACE(https ? "https" : "http");
        std::wstring url =
            std::wstring(https ? L"https" : L"http") + L"://127.0.0.1:" +
            fixture::EnvironmentValue(https ? L"VELMORA_HTTPS_PORT" : L"VELMORA_HTTP_PORT") +
            L"/app/update/republished.bin";
        TempFolder folder(L"velmora_fetch");
        std::wstring local = folder.File(L"republished.bin");
        RecordingDisplay display(url);
        URLDownCallBack callback;
        FuncTrace scope("FetchPublishedFileTest");
        std::vector<int> sizes = {3000, 5000};
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(PlantCacheEntry(url, "stale copy"));
            ASSERT_TRUE(IsCached(url));
            std::string bytes(static_cast<size_t>(sizes[round]), static_cast<char>('a' + round));
            ASSERT_TRUE(WriteWholeFile(published, bytes));
            EXPECT_EQ(FetchPublishedFile(scope, url, local, https, &callback, display), S_OK);
            EXPECT_EQ(ReadWholeFile(local), bytes) << "round " << round;
        }
        EXPECT_EQ(display.ranges, sizes);
        EXPECT_EQ(display.cachedBeforeDownload, std::vector<bool>(2, false));
        DeleteUrlCacheEntryW(url.c_str());
    }
    DeleteFileW(published.c_str());
}

}  // namespace
