// The WinINet engines against the real local update server, over http and https.
#include <gtest/gtest.h>

#include <windows.h>
#include <urlmon.h>
#include <wininet.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "install/download.h"
#include "install/internet_session.h"
#include "install/internet_session_test_hook.h"
#include "install/url_down_callback.h"
#include "sys/plain_file.h"
#include "progress_recorder.h"
#include "sys/scoped_handle.h"
#include "tests/support/test_files.h"
#include "tests/support/trace_capture.h"
#include "update_server_env.h"

using update_server::Port;
using update_server::Publish;
using update_server::Url;

namespace {

constexpr size_t kFileSize = 200000;
const wchar_t kPublishedPath[] = L"app/Velmora ActiveX 7i_jp.exe";

struct Scheme {
    const wchar_t* name;
    const wchar_t* portVariable;
    int httpsFlag;
    const char* openFlagLine;
};

const Scheme kHttp = {L"http", L"VELMORA_HTTP_PORT", 0, "openFlag: 0x1"};
const Scheme kHttps = {L"https", L"VELMORA_HTTPS_PORT", 1, "openFlag: 0x1001"};

void PrintTo(const Scheme& scheme, std::ostream* out) {
    *out << (scheme.httpsFlag ? "https" : "http");
}

std::wstring SchemeUrl(const Scheme& scheme, const std::wstring& path) {
    return Url(scheme.name, Port(scheme.portVariable), path);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

HRESULT Failure(DWORD code) { return static_cast<HRESULT>(0x80000000u | (code & 0xFFFFu)); }

class DownloadServerTest : public ::testing::TestWithParam<Scheme> {
  protected:
    void SetUp() override {
        ASSERT_FALSE(update_server::Root().empty()) << "run through tools/with-update-server.sh";
        std::vector<char> body = update_server::PatternBytes(kFileSize, 7);
        ASSERT_TRUE(Publish(kPublishedPath, body));
        m_body.assign(body.begin(), body.end());
        m_trace.reset(new TraceCapture(m_folder.File(L"trace.log")));
    }
    void TearDown() override { m_trace.reset(); }

    std::wstring UrlOf(const std::wstring& path) const { return SchemeUrl(GetParam(), path); }
    std::vector<std::string> Trace() const { return m_trace->Messages(); }

    std::string m_body;
    // The local files of one test, in a folder with a space in its name.
    TempFolder m_folder{L"velmora download"};
    std::unique_ptr<TraceCapture> m_trace;
};

// --- the size query ---

TEST_P(DownloadServerTest, SizeOfAPublishedFileIsItsContentLength) {
    EXPECT_EQ(GetWebFileSize(UrlOf(kPublishedPath).c_str(), GetParam().httpsFlag),
              static_cast<int>(kFileSize));
    std::vector<std::string> expected = {GetParam().openFlagLine, "ServerFileSize: 200000"};
    EXPECT_EQ(Trace(), expected);
}

TEST_P(DownloadServerTest, SizeWithoutContentLengthFailsWithTheMissingHeader) {
    EXPECT_EQ(GetWebFileSize(UrlOf(L"_fault/chunked/app/Velmora ActiveX 7i_jp.exe").c_str(),
                             GetParam().httpsFlag),
              -1);
    EXPECT_TRUE(Contains(Trace(), "HttpFile QueryInfo fail___(LaseErr:12150)"));
}

TEST_P(DownloadServerTest, SizesAreTheAnnouncedLengthClampedToTheSignedRange) {
    struct Case {
        const wchar_t* faults;
        int size;
    } cases[] = {
        {L"length=0", 0},
        {L"length=2147483647", 2147483647},
        {L"length=3000000000", 2147483647},
        {L"length=99999999999999999999", 2147483647},
    };
    ASSERT_TRUE(Publish(L"empty.bin", {}));
    EXPECT_EQ(GetWebFileSize(UrlOf(L"empty.bin").c_str(), GetParam().httpsFlag), 0);
    for (const Case& c : cases) {
        std::wstring url = UrlOf(std::wstring(L"_fault/") + c.faults + L"/" + kPublishedPath);
        EXPECT_EQ(GetWebFileSize(url.c_str(), GetParam().httpsFlag), c.size) << c.size;
    }
}

TEST_P(DownloadServerTest, SizeOfAnErrorPageIsStillItsContentLength) {
    int size =
        GetWebFileSize(UrlOf(L"_fault/status=404/nothing.exe").c_str(), GetParam().httpsFlag);
    EXPECT_EQ(size, static_cast<int>(strlen("<html><body>error 404</body></html>")));
}

// --- the direct download ---

// Into a folder the caller holds: the file is created there through the folder's handle, over
// whatever stood under its name, even when the folder's path has come to lead elsewhere.
TEST_P(DownloadServerTest, DownloadIntoAHeldFolderWritesThroughItsHandle) {
    std::wstring dir = m_folder.File(L"held");
    std::wstring moved = m_folder.File(L"moved");
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(dir + L"\\into.exe", "stood there before"));
    ScopedKernelHandle folder = HoldPlainFolder(dir);
    ASSERT_TRUE(folder.IsValid());
    bool movedAway = MoveFileW(dir.c_str(), moved.c_str()) != FALSE;
    if (movedAway) {
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }

    EXPECT_EQ(
        URLDownloadToFileOnHttps(UrlOf(kPublishedPath).c_str(), folder.Get(), L"into.exe", nullptr),
        S_OK);
    std::wstring held = (movedAway ? moved : dir) + L"\\into.exe";
    EXPECT_TRUE(ReadWholeFile(held) == m_body);
    if (movedAway) {
        EXPECT_FALSE(Exists(dir + L"\\into.exe")) << "written where the path leads now";
    }
    EXPECT_EQ(
        URLDownloadToFileOnHttps(UrlOf(kPublishedPath).c_str(), folder.Get(), L"a\\b.exe", nullptr),
        static_cast<HRESULT>(0x80000000u | ERROR_INVALID_NAME));
}

// Each report follows what one read took: never more than the buffer, and at the end the
// total once more.
void ExpectReportsPerRead(const std::vector<unsigned>& positions, unsigned total) {
    ASSERT_GE(positions.size(), 2u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    unsigned before = 0;
    for (size_t i = 0; i + 1 < positions.size(); ++i) {
        EXPECT_GT(positions[i], before);
        EXPECT_LE(positions[i] - before, 65535u);
        before = positions[i];
    }
    EXPECT_EQ(positions[positions.size() - 2], total);
    EXPECT_EQ(positions.back(), total);
}

TEST_P(DownloadServerTest, DownloadWritesTheWholeBodyWithProgressPerRead) {
    ProgressRecorder progress;
    progress.SetRange(static_cast<int>(kFileSize));
    URLDownCallBack callback(progress.Bar());
    std::wstring target = m_folder.File(L"whole.exe");

    EXPECT_EQ(URLDownloadToFileOnHttps(UrlOf(kPublishedPath).c_str(), target.c_str(), &callback),
              S_OK);

    ASSERT_TRUE(OpensUnshared(target));
    EXPECT_TRUE(ReadWholeFile(target) == m_body);
    ExpectReportsPerRead(progress.Positions(), kFileSize);
    EXPECT_EQ(progress.Position(), static_cast<int>(kFileSize));
    std::vector<std::string> lines = {"openFlag: 0x1001", "Local file open success."};
    EXPECT_EQ(Trace(), lines);
}

// A few bytes at a time: every arrival moves the bar as it comes, not once a buffer is full.
TEST_P(DownloadServerTest, TrickleMovesTheBarWithEveryArrival) {
    ProgressRecorder progress;
    URLDownCallBack callback(progress.Bar());
    std::wstring target = m_folder.File(L"trickle.exe");
    std::wstring url = UrlOf(L"_fault/slow=300,piece=500,cut=4000/" + std::wstring(kPublishedPath));
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), target.c_str(), &callback),
              kDownloadIncomplete);
    const std::vector<unsigned>& positions = progress.Positions();
    // Eight pieces 300 ms apart; a busy machine may take two in one read now and then.
    EXPECT_GE(positions.size(), 5u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.front(), 500u);
    EXPECT_EQ(positions.back(), 4000u);
}

// The bar's range is an int: a body announced beyond it moves the bar by its share of the
// largest position, which is where the size query puts the range.
TEST_P(DownloadServerTest, BodyBeyondTheBarsRangeMovesItByItsShare) {
    ProgressRecorder progress;
    progress.SetRange(
        GetWebFileSize(UrlOf(L"_fault/length=3000000000/" + std::wstring(kPublishedPath)).c_str(),
                       GetParam().httpsFlag));
    URLDownCallBack callback(progress.Bar());
    std::wstring target = m_folder.File(L"large.exe");
    std::wstring url = UrlOf(L"_fault/length=3000000000/" + std::wstring(kPublishedPath));
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), target.c_str(), &callback),
              kDownloadIncomplete);
    ASSERT_FALSE(progress.Positions().empty());
    // 200,000 of 3,000,000,000 bytes is that share of 2,147,483,647.
    EXPECT_EQ(progress.Positions().back(), 143165u);
    EXPECT_EQ(progress.Position(), 143165);
}

TEST_P(DownloadServerTest, DownloadOfAnEmptyFileCreatesAnEmptyFileAndReportsTheEnd) {
    ASSERT_TRUE(Publish(L"empty.bin", {}));
    ProgressRecorder progress;
    progress.SetRange(100);
    SendMessageW(progress.Bar(), PBM_SETPOS, 50, 0);
    URLDownCallBack callback(progress.Bar());
    std::wstring target = m_folder.File(L"empty.bin");
    EXPECT_EQ(URLDownloadToFileOnHttps(UrlOf(L"empty.bin").c_str(), target.c_str(), &callback),
              S_OK);
    ASSERT_TRUE(OpensUnshared(target));
    EXPECT_TRUE(ReadWholeFile(target).empty());
    std::vector<unsigned> expected = {50, 0};
    EXPECT_EQ(progress.Positions(), expected);
}

TEST_P(DownloadServerTest, DownloadWithoutContentLengthTakesTheBodyAsItComes) {
    std::wstring target = m_folder.File(L"chunked.exe");
    EXPECT_EQ(
        URLDownloadToFileOnHttps(UrlOf(L"_fault/chunked/app/Velmora ActiveX 7i_jp.exe").c_str(),
                                 target.c_str(), nullptr),
        S_OK);
    ASSERT_TRUE(OpensUnshared(target));
    EXPECT_TRUE(ReadWholeFile(target) == m_body);
}

TEST_P(DownloadServerTest, SlowBodyStillArrivesWhole) {
    ProgressRecorder progress;
    URLDownCallBack callback(progress.Bar());
    std::wstring target = m_folder.File(L"slow.exe");
    EXPECT_EQ(
        URLDownloadToFileOnHttps(UrlOf(L"_fault/slow=5/app/Velmora ActiveX 7i_jp.exe").c_str(),
                                 target.c_str(), &callback),
        S_OK);
    ASSERT_TRUE(OpensUnshared(target));
    EXPECT_TRUE(ReadWholeFile(target) == m_body);
    ASSERT_GE(progress.Positions().size(), 2u);
    EXPECT_EQ(progress.Positions().back(), kFileSize);
    EXPECT_TRUE(std::is_sorted(progress.Positions().begin(), progress.Positions().end()));
}

TEST_P(DownloadServerTest, DownloadReplacesAnExistingFile) {
    std::wstring target = m_folder.File(L"existing.exe");
    ASSERT_TRUE(update_server::WriteBytes(target, update_server::PatternBytes(kFileSize * 2, 3)));
    EXPECT_EQ(URLDownloadToFileOnHttps(UrlOf(kPublishedPath).c_str(), target.c_str(), nullptr),
              S_OK);
    ASSERT_TRUE(OpensUnshared(target));
    EXPECT_TRUE(ReadWholeFile(target) == m_body);
}

TEST_P(DownloadServerTest, TargetHeldOpenIsASharingViolation) {
    std::wstring target = m_folder.File(L"held.exe");
    ScopedKernelHandle holder(CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(URLDownloadToFileOnHttps(UrlOf(kPublishedPath).c_str(), target.c_str(), nullptr),
              static_cast<HRESULT>(0x80000020));
    std::vector<std::string> lines = {"openFlag: 0x1001", "localFile.Open fail___(lastErr: 32)"};
    EXPECT_EQ(Trace(), lines);
}

TEST_P(DownloadServerTest, FileNamesWithSpacesArriveOnBothSides) {
    std::wstring target = m_folder.File(L"Velmora ActiveX 7i_jp.exe");
    EXPECT_EQ(URLDownloadToFileOnHttps(UrlOf(kPublishedPath).c_str(), target.c_str(), nullptr),
              S_OK);
    ASSERT_TRUE(OpensUnshared(target));
    EXPECT_TRUE(ReadWholeFile(target) == m_body);
}

TEST_P(DownloadServerTest, ErrorStatusIsRefusedBeforeTheLocalFileIsTouched) {
    struct Case {
        DWORD status;
        HRESULT result;
    } cases[] = {{404, static_cast<HRESULT>(0x80000194)},
                 {403, static_cast<HRESULT>(0x80000193)},
                 {500, static_cast<HRESULT>(0x800001F4)}};
    for (const Case& c : cases) {
        std::wstring target = m_folder.File(L"kept.exe");
        std::vector<char> before = update_server::PatternBytes(1234, c.status);
        ASSERT_TRUE(update_server::WriteBytes(target, before));
        std::wstring url =
            UrlOf(L"_fault/status=" + std::to_wstring(c.status) + L"/" + kPublishedPath);
        EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), target.c_str(), nullptr), c.result);
        ASSERT_TRUE(OpensUnshared(target));
        EXPECT_TRUE(ReadWholeFile(target) == std::string(before.begin(), before.end())) << c.status;
        EXPECT_TRUE(Contains(Trace(), "HttpStatus fail___(" + std::to_string(c.status) + ")"));

        std::wstring absent = m_folder.File(L"absent.exe");
        EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), absent.c_str(), nullptr), c.result);
        EXPECT_FALSE(Exists(absent));
    }
    EXPECT_FALSE(Contains(Trace(), "Local file open success."));
}

TEST_P(DownloadServerTest, BodyCutShortOfItsLengthIsAFailedDownload) {
    ProgressRecorder progress;
    URLDownCallBack callback(progress.Bar());
    std::wstring target = m_folder.File(L"cut.exe");
    EXPECT_EQ(
        URLDownloadToFileOnHttps(UrlOf(L"_fault/cut=100000/app/Velmora ActiveX 7i_jp.exe").c_str(),
                                 target.c_str(), &callback),
        kDownloadIncomplete);
    EXPECT_EQ(kDownloadIncomplete, static_cast<HRESULT>(0x80000026));

    ASSERT_TRUE(OpensUnshared(target));
    std::string written = ReadWholeFile(target);
    ASSERT_EQ(written.size(), 100000u);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), m_body.begin()));
    std::vector<std::string> lines = {"openFlag: 0x1001", "Local file open success.",
                                      "Download incomplete___(100000 of 200000)"};
    EXPECT_EQ(Trace(), lines);
    // Data reports only: the bar never shows the cut body as finished.
    ASSERT_FALSE(progress.Positions().empty());
    EXPECT_EQ(progress.Positions().back(), 100000u);
    EXPECT_TRUE(std::is_sorted(progress.Positions().begin(), progress.Positions().end()));
}

TEST_P(DownloadServerTest, ResetConnectionIsAFailedDownloadWithAPartialFile) {
    std::wstring target = m_folder.File(L"reset.exe");
    HRESULT result = URLDownloadToFileOnHttps(
        UrlOf(L"_fault/reset=100000/app/Velmora ActiveX 7i_jp.exe").c_str(), target.c_str(),
        nullptr);
    EXPECT_LT(result, 0);
    std::vector<std::string> lines = Trace();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "openFlag: 0x1001");
    // A reset may overtake the data, even the answer's head: then the open fails and no file
    // is made; otherwise a read fails or the body ends short, and the partial file stays.
    const std::string& last = lines.back();
    bool internetError = last.rfind("Exception: ", 0) == 0 &&
                         result == Failure(static_cast<DWORD>(atoi(last.c_str() + 11)));
    bool cutShort = last.rfind("Download incomplete___(", 0) == 0 && result == kDownloadIncomplete;
    EXPECT_TRUE(internetError || cutShort) << last << " result 0x" << std::hex << result;
    if (lines.size() == 2) {
        EXPECT_TRUE(internetError);
        EXPECT_FALSE(Exists(target));
    } else {
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[1], "Local file open success.");
        ASSERT_TRUE(OpensUnshared(target));
        EXPECT_LE(ReadWholeFile(target).size(), 100000u);
    }
}

TEST_P(DownloadServerTest, ClosedPortFailsWithTheConnectionError) {
    std::wstring url = Url(GetParam().name, Port(L"VELMORA_CLOSED_PORT"), kPublishedPath);
    std::wstring target = m_folder.File(L"closed.exe");
    EXPECT_EQ(GetWebFileSize(url.c_str(), GetParam().httpsFlag), -1);
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), target.c_str(), nullptr), Failure(12029));
    EXPECT_FALSE(Exists(target));
    std::vector<std::string> lines = {GetParam().openFlagLine, "Exception: 12029",
                                      "openFlag: 0x1001", "Exception: 12029"};
    EXPECT_EQ(Trace(), lines);
}

TEST_P(DownloadServerTest, UnresolvableHostFailsWithTheNameError) {
    std::wstring url = std::wstring(GetParam().name) + L"://no-such-host.invalid/app/x.exe";
    std::wstring target = m_folder.File(L"unresolved.exe");
    EXPECT_EQ(GetWebFileSize(url.c_str(), GetParam().httpsFlag), -1);
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), target.c_str(), nullptr),
              static_cast<HRESULT>(0x80002EE7));
    EXPECT_FALSE(Exists(target));
    std::vector<std::string> lines = {GetParam().openFlagLine, "Exception: 12007",
                                      "openFlag: 0x1001", "Exception: 12007"};
    EXPECT_EQ(Trace(), lines);
}

INSTANTIATE_TEST_SUITE_P(BothSchemes, DownloadServerTest, ::testing::Values(kHttp, kHttps),
                         [](const ::testing::TestParamInfo<Scheme>& info) {
                             return std::string(info.param.httpsFlag ? "https" : "http");
                         });

// --- what holds for one scheme only, or for no server at all ---

class EngineEdgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<char> body = update_server::PatternBytes(kFileSize, 11);
        ASSERT_TRUE(Publish(kPublishedPath, body));
        m_body.assign(body.begin(), body.end());
        m_trace.reset(new TraceCapture(m_folder.File(L"trace.log")));
    }
    void TearDown() override { m_trace.reset(); }

    std::string m_body;
    // The local files of one test, in a folder with a space in its name.
    TempFolder m_folder{L"velmora download"};
    std::unique_ptr<TraceCapture> m_trace;
};

// Connections kept alive would carry an accepted certificate over to the next request.
const wchar_t kClosingPublishedPath[] = L"_fault/close/app/Velmora ActiveX 7i_jp.exe";

TEST_F(EngineEdgeTest, CertificateForAnotherHostNameIsAccepted) {
    std::wstring url = Url(L"https", Port(L"VELMORA_HTTPS_MISMATCH_PORT"), kClosingPublishedPath);
    EXPECT_EQ(GetWebFileSize(url.c_str(), 1), static_cast<int>(kFileSize));
    std::wstring target = m_folder.File(L"mismatch.exe");
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), target.c_str(), nullptr), S_OK);
    ASSERT_TRUE(OpensUnshared(target));
    EXPECT_TRUE(ReadWholeFile(target) == m_body);
}

TEST_F(EngineEdgeTest, SizeQueryWithoutTheHttpsFlagRefusesAnotherHostName) {
    std::wstring url = Url(L"https", Port(L"VELMORA_HTTPS_MISMATCH_PORT"), kClosingPublishedPath);
    EXPECT_EQ(GetWebFileSize(url.c_str(), 0), -1);
    std::vector<std::string> lines = {"openFlag: 0x1", "Exception: 12038"};
    EXPECT_EQ(m_trace->Messages(), lines);
}

TEST_F(EngineEdgeTest, UntrustedCertificateIsRefused) {
    std::wstring url = Url(L"https", Port(L"VELMORA_HTTPS_UNTRUSTED_PORT"), kPublishedPath);
    std::wstring target = m_folder.File(L"untrusted.exe");
    EXPECT_EQ(GetWebFileSize(url.c_str(), 1), -1);
    HRESULT result = URLDownloadToFileOnHttps(url.c_str(), target.c_str(), nullptr);
    EXPECT_FALSE(Exists(target));
    // Wine names an unknown authority 12045, or 12057 when it cannot build the chain at all.
    std::vector<std::string> lines = m_trace->Messages();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], lines[3]);
    EXPECT_TRUE(lines[3] == "Exception: 12045" || lines[3] == "Exception: 12057") << lines[3];
    EXPECT_EQ(result, Failure(static_cast<DWORD>(atoi(lines[3].c_str() + 11))));
}

TEST_F(EngineEdgeTest, EmptyArgumentsAreInvalidWithoutATraceLine) {
    std::wstring url = Url(L"https", Port(L"VELMORA_HTTPS_PORT"), kPublishedPath);
    std::wstring target = m_folder.File(L"never.exe");
    EXPECT_EQ(URLDownloadToFileOnHttps(nullptr, target.c_str(), nullptr), E_INVALIDARG);
    EXPECT_EQ(URLDownloadToFileOnHttps(L"", target.c_str(), nullptr), E_INVALIDARG);
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), L"", nullptr), E_INVALIDARG);
    EXPECT_TRUE(m_trace->Messages().empty());
    std::string text = m_trace->Text();
    EXPECT_NE(text.find("VLDownloadDlg::URLDownloadToFileOnHttps"), std::string::npos);
    EXPECT_FALSE(Exists(target));
}

TEST_F(EngineEdgeTest, SizeQueryOfNoUrlFailsWithItsOwnLine) {
    EXPECT_EQ(GetWebFileSize(nullptr, 1), -1);
    EXPECT_EQ(GetWebFileSize(L"", 0), -1);
    std::vector<std::string> lines = {"FileURL is NULL___", "FileURL is empty___"};
    EXPECT_EQ(m_trace->Messages(), lines);
    EXPECT_NE(m_trace->Text().find("VLDownloadDlg::GetWebFileSize"), std::string::npos);
}

TEST_F(EngineEdgeTest, UrlsThatOpenNoHttpRequestAreRefused) {
    std::wstring target = m_folder.File(L"ftp.exe");
    EXPECT_EQ(URLDownloadToFileOnHttps(L"ftp://localhost/app/x.exe", target.c_str(), nullptr),
              kDownloadNoRequest);
    EXPECT_EQ(GetWebFileSize(L"file:///C:/windows/win.ini", 0), -1);
    EXPECT_FALSE(Exists(target));
    std::vector<std::string> lines = {"openFlag: 0x1001", "OpenURL fail_", "openFlag: 0x1",
                                      "OpenURL fail_"};
    EXPECT_EQ(m_trace->Messages(), lines);
}

TEST_F(EngineEdgeTest, LocalPathOfMaxPathOrMoreIsRefused) {
    std::wstring target = m_folder.File(L"") + std::wstring(MAX_PATH, L'a');
    std::wstring url = Url(L"https", Port(L"VELMORA_HTTPS_PORT"), kPublishedPath);
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), target.c_str(), nullptr),
              Failure(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_TRUE(Contains(m_trace->Messages(), "localFile.Open fail___(lastErr: 206)"));
}

TEST_F(EngineEdgeTest, RelativeLocalPathIsMadeAbsolute) {
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(m_folder.File(L"").c_str()));
    std::wstring url = Url(L"https", Port(L"VELMORA_HTTPS_PORT"), kPublishedPath);
    HRESULT result = URLDownloadToFileOnHttps(url.c_str(), L"relative.exe", nullptr);
    SetCurrentDirectoryW(before);
    EXPECT_EQ(result, S_OK);
    EXPECT_TRUE(Exists(m_folder.File(L"relative.exe")));
}

// Refuses the option that bounds the wait for the answer, as Windows does on a handle that does
// not take it; the others go to the platform.
BOOL RefuseReceiveTimeOut(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
    if (option != INTERNET_OPTION_RECEIVE_TIMEOUT)
        return InternetSetOptionW(handle, option, buffer, length);
    SetLastError(ERROR_INTERNET_INVALID_OPTION);
    return FALSE;
}

// A wait the platform will not bound is named, and the request goes ahead without it.
TEST_F(EngineEdgeTest, RefusedTimeOutIsTracedAndTheRequestGoesAhead) {
    WaitingCalls refusing = PlatformWaitingCalls();
    refusing.setOption = RefuseReceiveTimeOut;
    TestSeam<const WaitingCalls*>::Override calls(g_waitingCalls, &refusing);
    std::wstring url = Url(L"http", Port(L"VELMORA_HTTP_PORT"), kPublishedPath);
    std::wstring target = m_folder.File(L"unbounded.exe");
    int size = GetWebFileSize(url.c_str(), 0);
    HRESULT result = URLDownloadToFileOnHttps(url.c_str(), target.c_str(), nullptr);
    EXPECT_EQ(size, static_cast<int>(kFileSize));
    EXPECT_EQ(result, S_OK);
    EXPECT_TRUE(ReadWholeFile(target) == m_body);
    const std::string refused = "SetOption fail___(option: 6, lastErr: 12009)";
    std::vector<std::string> lines = {"openFlag: 0x1",    refused, "ServerFileSize: 200000",
                                      "openFlag: 0x1001", refused, "Local file open success."};
    EXPECT_EQ(m_trace->Messages(), lines);
}

TEST_F(EngineEdgeTest, WriteFailureIsAFailedDownload) {
    // The Unix device that is always full: every write fails as on a full disk.
    std::wstring url = Url(L"https", Port(L"VELMORA_HTTPS_PORT"), kPublishedPath);
    EXPECT_EQ(URLDownloadToFileOnHttps(url.c_str(), L"Z:\\dev\\full", nullptr),
              Failure(ERROR_DISK_FULL));
    std::vector<std::string> lines = {"openFlag: 0x1001", "Local file open success.",
                                      "localFile.Write fail___(lastErr: 112)"};
    EXPECT_EQ(m_trace->Messages(), lines);
}

}  // namespace
