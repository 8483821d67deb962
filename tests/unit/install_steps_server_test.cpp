// The installation steps' own parts against the local update server: a published file
// fetched again after the server changed it, and an installer another process tries to swap
// between its check and its start. Whole runs of the steps are rows of whole_run_server_test.
#include "tests/support/whole_run.h"

#include <gtest/gtest.h>

#include <wininet.h>
#include <filesystem>
#include <string>
#include <vector>

#include "install/download.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/program_launch.h"
#include "install/server_urls.h"
#include "install/url_down_callback.h"
#include "log/func_trace.h"
#include "res/resource.h"
#include "sys/plain_file.h"
#include "tests/support/trace_capture.h"

namespace {

using namespace whole_run;

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
    for (bool https : {false, true}) {
        SCOPED_TRACE(https ? "https" : "http");
        ServiceAddress service{
            L"127.0.0.1", ServerPort(https ? L"VELMORA_HTTPS_PORT" : L"VELMORA_HTTP_PORT"), https};
        const std::wstring path = L"app/update/republished.bin";
        std::wstring url = PublishedFileURL(service, path);
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
            EXPECT_EQ(FetchPublishedFile(scope, service, path, local, &callback, display), S_OK);
            EXPECT_EQ(ReadWholeFile(local), bytes) << "round " << round;
        }
        EXPECT_EQ(display.ranges, sizes);
        EXPECT_EQ(display.cachedBeforeDownload, std::vector<bool>(2, false));
        DeleteUrlCacheEntryW(url.c_str());
    }
    DeleteFileW(published.c_str());
}

// The step's own display marks the moment between the installer's check and its start: there
// another process tries to put a different program in its place, in the step's own folder.
class SwappingDisplay : public InstallDisplay {
  public:
    SwappingDisplay(std::wstring installerName, std::wstring replacement)
        : m_installerName(std::move(installerName)), m_replacement(std::move(replacement)) {}

    void SetInfoText(UINT16 stringId) override {
        if (stringId != IDS_LAUNCHER_INSTALLING) return;
        std::vector<std::wstring> folders = OwnDownloadFolders();
        if (folders.size() != 1) return;
        std::wstring installer = folders[0] + L"\\" + m_installerName;
        m_tried = Exists(installer);
        // The copy is waited for to its end, however slowly the host starts it: a copy still
        // under way when the step starts the installer would race the step's own open, and a
        // copy given up on would pass without having tried.
        long copied =
            RunToEnd(L"C:\\windows\\system32\\cmd.exe",
                     L"/c copy /y \"" + m_replacement + L"\" \"" + installer + L"\"", kCopyBoundMs);
        m_copyEnded = copied != -1;
        m_swapped = copied == 0;
    }
    void SetProgressRange(int) override {}
    HWND ProgressBar() const override { return nullptr; }

    bool m_tried = false;
    bool m_copyEnded = false;
    bool m_swapped = false;

  private:
    static constexpr DWORD kCopyBoundMs = 120000;
    std::wstring m_installerName;
    std::wstring m_replacement;
};

TEST(SwappedProgram, AnotherProcessCannotReplaceTheInstallerBeforeItRuns) {
    int port = ServerPort(L"VELMORA_HTTP_PORT");
    ASSERT_GT(port, 0);
    std::filesystem::create_directories(ServerRoot() + L"\\app");
    ASSERT_TRUE(CopyProgram(FixturePath(L"fake_installer.exe"), InstallerOnServer()));
    TempFolder folder(L"velmora_swap");
    std::wstring record = folder.File(L"record.txt");
    SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", record.c_str());
    SwappingDisplay display(L"Velmora ActiveX 7i_jp.exe", FixturePath(L"fake_agent.exe"));
    EXPECT_EQ(InstallActiveX({kHost, port, false}, true, PublisherPins(), display),
              StepOutcome::Ran);
    EXPECT_TRUE(display.m_tried);
    EXPECT_TRUE(display.m_copyEnded) << "the other process's copy did not end";
    EXPECT_FALSE(display.m_swapped);
    EXPECT_EQ(TimesStarted(record, "fake_installer"), 1);
    EXPECT_EQ(TimesStarted(record, "fake_agent"), 0) << "the replacement ran";
}

// A held file that is no program cannot be started: one line in the step's scope says why, with
// the system's error, and the hold is let go.
TEST(RunAndWait, AProgramThatCannotBeStartedSaysWhy) {
    TempFolder folder(L"velmora_launch");
    std::wstring path = folder.File(L"not a program.exe");
    ASSERT_TRUE(WriteWholeFile(path, "text, no program"));
    ScopedKernelHandle held = HoldPlainFile(path);
    ASSERT_TRUE(held.IsValid());
    TraceCapture trace;
    {
        FuncTrace scope("LaunchTest");
        EXPECT_FALSE(RunAndWait(scope, "not a program.exe", nullptr, held, LaunchSetting()));
    }
    EXPECT_FALSE(held.IsValid());
    std::vector<std::string> lines = trace.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("CreateProcess fail___(lastErr: ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[1].find("lastErr: 0)"), std::string::npos) << lines[1];
}

}  // namespace
