// Runs the rows of whole_run.h: prepares the server and the program's surroundings, runs the
// program or the download page's worker, and checks what came of it.
// Winsock wants to come before windows.h.
#include "tests/support/loopback_listener.h"

#include "tests/support/whole_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "app/exit_code.h"
#include "install/download.h"
#include "install/install_paths.h"
#include "install/quiet_period.h"
#include "install/quiet_period_test_hook.h"
#include "log/trace_sink.h"
#include "res/resource.h"
#include "sys/scoped_handle.h"
#include "tests/support/page_driver.h"
#include "tests/support/recording_parent.h"
#include "tests/support/trace_capture.h"
#include "tests/support/windows_time_outs.h"
#include "tools/stamp/stamp_image.h"
#include "ui/download_dlg.h"
#include "ui/wizard_state.h"

namespace whole_run {
namespace {

// Lines longer than this are only ever compared by their start.
constexpr size_t kLongLine = 4096;
// How much later than the quiet period a stalled request may be given up.
constexpr long long kStallMarginMs = 5000;

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

// Whether path names a folder of the setup's own right below the machine's temporary folder,
// and whether it names a file right inside one.
// The folder's path is read from its handle, in the file system's own case.
std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}
bool IsOwnDownloadFolder(const std::string& spelled) {
    std::string path = Lower(spelled);
    std::string root = Lower(fixture::ToUtf8(MachineTempFolder())) + "\\";
    std::string prefix = root + Lower(fixture::ToUtf8(kDownloadFolderPrefix)) + "-";
    return path.size() > prefix.size() && path.rfind(prefix, 0) == 0 &&
           path.find('\\', root.size()) == std::string::npos;
}
bool IsOwnDownloadPath(const std::string& path, const std::string& file) {
    std::string suffix = "\\" + file;
    return path.size() > suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           IsOwnDownloadFolder(path.substr(0, path.size() - suffix.size()));
}
const char kOwnInstallerPath[] = "DownFilePath: {own folder}\\Velmora ActiveX 7i_jp.exe";

// The user's system proxy, the one the program's requests go through, pointed at the proxy of
// tools/with-proxy.sh for one row; what was there before comes back afterwards. Windows takes
// requests for the loopback address past a configured proxy unless its bypass list says
// "<-loopback>".
class UserProxySettings {
  public:
    explicit UserProxySettings(int port) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &m_key, nullptr);
        for (Saved& value : m_saved) {
            DWORD size = sizeof(value.data);
            value.existed = RegQueryValueExW(m_key, value.name, nullptr, &value.type, value.data,
                                             &size) == ERROR_SUCCESS;
            value.size = size;
        }
        DWORD enable = 1;
        std::wstring server = L"127.0.0.1:" + std::to_wstring(port);
        std::wstring bypass = L"<-loopback>";
        RegSetValueExW(m_key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&enable),
                       sizeof(enable));
        SetText(L"ProxyServer", server);
        SetText(L"ProxyOverride", bypass);
    }
    ~UserProxySettings() {
        for (const Saved& value : m_saved) {
            if (value.existed)
                RegSetValueExW(m_key, value.name, 0, value.type, value.data, value.size);
            else
                RegDeleteValueW(m_key, value.name);
        }
        RegCloseKey(m_key);
    }
    UserProxySettings(const UserProxySettings&) = delete;
    UserProxySettings& operator=(const UserProxySettings&) = delete;

  private:
    static constexpr const wchar_t* kKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    struct Saved {
        const wchar_t* name;
        bool existed = false;
        DWORD type = 0;
        DWORD size = 0;
        BYTE data[1024] = {};
    };
    void SetText(const wchar_t* name, const std::wstring& text) {
        RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    HKEY m_key = nullptr;
    Saved m_saved[3] = {{L"ProxyEnable"}, {L"ProxyServer"}, {L"ProxyOverride"}};
};

std::wstring ProxyLogPath() { return fixture::EnvironmentValue(L"VELMORA_PROXY_LOG_W"); }

// One request of the proxy's access log: time, method, target, status, then User-Agent and
// Accept in double quotes.
struct ProxiedRequest {
    std::string method, target, status, agent, accept;
};

bool ParseProxied(const std::string& line, ProxiedRequest& request) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size() && fields.size() < 4) {
        size_t end = line.find(' ', at);
        if (end == std::string::npos) end = line.size();
        fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    if (fields.size() != 4 || at >= line.size() || line[at] != '"') return false;
    size_t agentEnd = line.find("\" \"", at + 1);
    if (agentEnd == std::string::npos || line.back() != '"') return false;
    request = {fields[1], fields[2], fields[3], line.substr(at + 1, agentEnd - at - 1),
               line.substr(agentEnd + 3, line.size() - agentEnd - 4)};
    return true;
}

// 0 only when the installer and the agent both ran; 1602 when the user ended the wizard first.
long ExpectedExitCode(const WholeRun& row) {
    if (row.road == Road::ClosedByUser) return 1602;
    return row.installerStarted && row.agentStarted ? 0 : 1603;
}

// The program with a certificate table of 512 bytes announced after its end, as a signing
// tool appends one; when cut, only half of the table follows. Empty for no PE image.
std::string SignedImage(std::string image, bool cut) {
    constexpr uint32_t kTableSize = 512;
    size_t entry = 0;
    if (!velmora_stamp::FindCertificateEntry(std::vector<unsigned char>(image.begin(), image.end()),
                                             entry))
        return std::string();
    image.resize((image.size() + 7) / 8 * 8, '\0');
    uint32_t table[2] = {static_cast<uint32_t>(image.size()), kTableSize};
    memcpy(&image[entry], table, sizeof(table));
    // A WIN_CERTIFICATE head: its length, revision 2.0, PKCS#7 signed data.
    std::string certificates(kTableSize, '\0');
    uint32_t head[2] = {kTableSize, 0x00020200};
    memcpy(&certificates[0], head, sizeof(head));
    image += cut ? certificates.substr(0, kTableSize / 2) : certificates;
    return image;
}

// Every path below a folder, relative to it.
std::set<std::wstring> TreeBelow(const std::wstring& root) {
    std::set<std::wstring> paths;
    std::error_code error;
    std::filesystem::recursive_directory_iterator it(
        root, std::filesystem::directory_options::skip_permission_denied, error);
    for (; !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        paths.insert(it->path().lexically_relative(root).wstring());
    return paths;
}

std::set<std::wstring> Minus(const std::set<std::wstring>& a, const std::set<std::wstring>& b) {
    std::set<std::wstring> rest;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(rest, rest.end()));
    return rest;
}

std::string Joined(const std::set<std::wstring>& names) {
    std::string text;
    for (const std::wstring& name : names) text += " [" + fixture::ToUtf8(name) + "]";
    return text;
}

// The message or scope line of each log line, without its header. Every line must have one;
// a long line's header is read from its start.
std::vector<std::string> LogBodies(const std::wstring& logPath) {
    std::vector<std::string> bodies;
    for (const std::string& line : trace_test::ReadLogLines(logPath)) {
        std::string head = line.substr(0, 512);
        trace_test::LogLine parsed = trace_test::ParseLogLine(head);
        EXPECT_TRUE(parsed.matched) << "a line without its header: " << head;
        std::string body = line.substr(head.size() - parsed.rest.size());
        if (body.rfind(":    ", 0) == 0) body.erase(0, 5);
        bodies.push_back(std::move(body));
    }
    return bodies;
}

std::string ShortLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line.substr(0, 200) + "\n";
    return text;
}

// Each expected line is found, in this order, among the lines (other lines may lie between).
void ExpectInOrder(const std::vector<std::string>& lines, const std::vector<Expect>& expected,
                   const std::string& root) {
    size_t at = 0;
    for (const Expect& expect : expected) {
        auto found =
            std::find_if(lines.begin() + static_cast<long>(at), lines.end(),
                         [&](const std::string& line) { return expect.Matches(line, root); });
        ASSERT_NE(found, lines.end())
            << "missing, or out of order: " << expect.Describe() << "\nthe log:\n"
            << ShortLines(lines);
        at = static_cast<size_t>(found - lines.begin()) + 1;
    }
}

// How a fake program ("fake_installer", "fake_agent") was started, as its record says.
struct ProgramStart {
    std::string program;
    std::string parameters;  // the command line after the program's own name
    std::string workingFolder;
    std::string descriptorBeside;
    std::string temp;
    std::string folderOpen;
};

std::vector<ProgramStart> ProgramStarts(const std::wstring& record) {
    std::vector<ProgramStart> starts;
    for (const std::string& line : testfiles::SplitLines(ReadWholeFile(record))) {
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (key == "program") starts.push_back({value, "", "", "", "", ""});
        if (starts.empty()) continue;
        if (key == "command_line") {
            size_t end = value[0] == '"' ? value.find('"', 1) : value.find(' ');
            std::string rest = end == std::string::npos ? "" : value.substr(end + 1);
            rest.erase(0, rest.find_first_not_of(' '));
            starts.back().parameters = rest;
        }
        if (key == "working_dir") starts.back().workingFolder = value;
        if (key == "descriptor_beside") starts.back().descriptorBeside = value;
        if (key == "temp") starts.back().temp = value;
        if (key == "folder_open") starts.back().folderOpen = value;
    }
    return starts;
}

// A REG_DWORD value under the host's key (or a key below it) holding expected.
bool HasDword(const wchar_t* name, DWORD expected, const wchar_t* below = L"") {
    std::wstring key = L"Software\\Velmora\\" + kHost + below;
    DWORD value = 0;
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS &&
           value == expected;
}

// The lines of the installer's download attempts: each attempt's four lines, URL and path
// written out, the result only by its start.
std::vector<std::string> AttemptLines(const std::vector<std::string>& lines) {
    std::vector<std::string> attempts;
    for (const std::string& line : lines) {
        if (line.rfind("URLDownloadToFile ret: 0x", 0) == 0) {
            attempts.push_back("URLDownloadToFile ret: 0x");
        } else if (line.rfind("DownFilePath: ", 0) == 0 &&
                   IsOwnDownloadPath(line.substr(14), "Velmora ActiveX 7i_jp.exe")) {
            attempts.push_back(kOwnInstallerPath);
        } else if (line.rfind("ServerFilePath: ", 0) == 0 || line.rfind("DownFilePath: ", 0) == 0 ||
                   line == kInstallerFail || line == kInstallerSuccess) {
            attempts.push_back(line);
        }
    }
    return attempts;
}

// One row's run from its preparation to its last check, with what it has to hand meanwhile.
class RowRun {
  public:
    explicit RowRun(const WholeRun& row) : m_row(row) {}

    // The unattended roads run a copy of setupProgram named exeName (by default the name
    // that carries the row's address).
    void Go(const std::wstring& setupProgram, const std::wstring& exeName) {
        ForgetEarlierRuns();
        Publish();
        if (::testing::Test::HasFatalFailure()) return;
        LoopbackListener gone(LoopbackListener::GoneAfterFirst);
        m_port = PortOf(gone);
        ASSERT_GT(m_port, 0);
        m_run.exeName = exeName.empty() ? DefaultExeName() : exeName;
        m_run.program = m_run.folder.File(m_run.exeName);
        ASSERT_TRUE(CopyProgram(setupProgram, m_run.program));
        StampPins();
        if (::testing::Test::HasFatalFailure()) return;
        m_run.trace = std::make_unique<trace_test::TraceSettings>(m_run.exeName);
        m_run.trace->SetMode(TraceFile);
        m_run.trace->SetText(L".log.path", m_run.logPath);
        SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", m_run.record.c_str());
        if (m_row.arrange) m_row.arrange(m_run);
        if (::testing::Test::HasFatalFailure()) return;

        size_t proxyLogBefore = 0;
        std::unique_ptr<UserProxySettings> proxy;
        if (m_row.throughProxy) {
            ASSERT_TRUE(ProxyRuns()) << "run through tools/with-proxy.sh";
            proxyLogBefore = ReadWholeFile(ProxyLogPath()).size();
            proxy = std::make_unique<UserProxySettings>(ServerPort(L"VELMORA_PROXY_PORT"));
        }

        std::set<std::wstring> programFilesBefore = TreeBelow(ProgramFilesFolder());
        std::set<std::wstring> tempBefore = NamesIn(testfiles::TempRoot());
        std::set<std::wstring> machineTempBefore = NamesIn(MachineTempFolder());
        std::set<std::wstring> windowsBefore = NamesIn(WindowsFolder());
        long exitCode = -1;
        std::vector<std::string> lines;
        std::vector<std::string> rawLines;
        if (m_row.road == Road::ByHand) {
            WorkByHand(exitCode, lines, rawLines);
        } else {
            RunCopy(exitCode);
            m_run.trace.reset();
            if (m_run.traced) lines = LogBodies(m_run.logPath);
            if (m_run.traced) rawLines = trace_test::ReadLogLines(m_run.logPath);
        }
        proxy.reset();
        if (::testing::Test::HasFatalFailure()) return;
        EXPECT_EQ(exitCode, ExpectedExitCode(m_row));
        if (m_row.throughProxy) CheckProxied(proxyLogBefore);
        if (m_row.endpoint == Endpoint::ClosingHttp || m_row.endpoint == Endpoint::ClosingHttps) {
            EXPECT_EQ(gone.Connections(), 1) << "the connection check reached the listener";
        }

        CheckFaultsServed();
        if (m_run.traced) CheckLines(lines);
        CheckStallTimes(rawLines);
        CheckPrograms();
        CheckRegistry();
        CheckFiles(programFilesBefore, tempBefore, machineTempBefore, windowsBefore);
        if (m_row.verify) m_row.verify(m_run);
        ForgetEarlierRuns();
    }

    int FaultyAnswers() const { return m_faultyAnswers; }

  private:
    bool StepsRun() const { return m_row.road != Road::ClosedByUser; }

    std::wstring DefaultExeName() const {
        if (m_row.endpoint == Endpoint::NoAddress) return L"Velmora_Setup.exe";
        return L"Velmora_Setup_" + Wide(SchemeName(m_row.endpoint)) + L"_" + kHost + L"_" +
               std::to_wstring(m_port) + L".exe";
    }

    int PortOf(const LoopbackListener& gone) const {
        switch (m_row.endpoint) {
            case Endpoint::Http:
                return ServerPort(L"VELMORA_HTTP_PORT");
            case Endpoint::Https:
                return ServerPort(L"VELMORA_HTTPS_PORT");
            case Endpoint::Untrusted:
                return ServerPort(L"VELMORA_HTTPS_UNTRUSTED_PORT");
            case Endpoint::Expired:
                return ServerPort(L"VELMORA_HTTPS_EXPIRED_PORT");
            case Endpoint::Unreachable:
            case Endpoint::NoAddress:
                return LoopbackListener::ClosedPort();
            default:
                return gone.Port();
        }
    }

    static std::wstring Published(const std::wstring& program, Signing signing) {
        std::wstring signedFolder = fixture::EnvironmentValue(L"VELMORA_SIGNED_DIR_W");
        switch (signing) {
            case Signing::AsBuilt:
                break;
            case Signing::Publisher:
                return signedFolder + L"\\" + program + L"_pinned.exe";
            case Signing::OtherPublisher:
                return signedFolder + L"\\" + program + L"_other.exe";
            case Signing::Tampered:
                return signedFolder + L"\\" + program + L"_tampered.exe";
        }
        return FixturePath((program + L".exe").c_str());
    }

    // The row's pins, as openssl computed them, stamped into the copy with no address.
    void StampPins() {
        if (m_row.pins.empty()) return;
        std::string known =
            ReadWholeFile(fixture::EnvironmentValue(L"VELMORA_SIGNED_DIR_W") + L"\\pins.txt");
        std::vector<PublisherPin> pins;
        for (Pin pin : m_row.pins) {
            std::string key = pin == Pin::Publisher ? "PUBLISHER=" : "AUTHORITY=";
            size_t at = known.find(key);
            ASSERT_NE(at, std::string::npos) << "no " << key << " in pins.txt";
            PublisherPin value;
            ASSERT_TRUE(ParsePinText(known.substr(at + key.size(), 64), value));
            pins.push_back(value);
        }
        std::string file = ReadWholeFile(m_run.program);
        std::vector<unsigned char> image(file.begin(), file.end());
        ASSERT_EQ(velmora_stamp::StampImage(image, "", pins), velmora_stamp::StampResult::Stamped);
        ASSERT_TRUE(WriteWholeFile(m_run.program, std::string(image.begin(), image.end())));
    }

    static void ForgetEarlierRuns() {
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Velmora\\" + kHost).c_str());
        testfiles::RemoveTreeOnceFree(ProgramFilesFolder() + L"\\Velmora");
        DeleteFileW(TempDescriptor().c_str());
        DeleteFileW(TempDownload().c_str());
    }

    void Publish() {
        std::error_code ignored;
        std::filesystem::remove_all(ServerRoot() + L"\\app", ignored);
        std::filesystem::create_directories(ServerRoot() + L"\\app\\update");
        if (m_row.installerImage == InstallerImage::AsBuilt) {
            ASSERT_TRUE(CopyProgram(Published(L"fake_installer", m_row.installerSigning),
                                    InstallerOnServer()));
        } else if (m_row.installerImage != InstallerImage::Missing) {
            std::string image = SignedImage(ReadWholeFile(FixturePath(L"fake_installer.exe")),
                                            m_row.installerImage == InstallerImage::SignedCut);
            ASSERT_FALSE(image.empty());
            ASSERT_TRUE(WriteWholeFile(InstallerOnServer(), image));
        }
        if (m_row.agentPublished) {
            ASSERT_TRUE(CopyProgram(Published(L"fake_agent", m_row.agentSigning), AgentOnServer()));
        }
        if (m_row.descriptorPublished) {
            ASSERT_TRUE(WriteWholeFile(DescriptorOnServer(), m_row.descriptor));
        }
        for (const auto& [file, faults] :
             {std::make_pair(InstallerOnServer(), m_row.installerFaults),
              std::make_pair(DescriptorOnServer(), m_row.descriptorFaults),
              std::make_pair(AgentOnServer(), m_row.agentFaults)}) {
            if (faults.empty()) continue;
            ASSERT_TRUE(WriteWholeFile(file + L".faults", faults));
            m_queued.push_back({file + L".faults", faults});
        }
    }

    void RunCopy(long& exitCode) {
        ChildProcess setup;
        ASSERT_TRUE(setup.Start(m_run.program, L""));
        if (m_row.road == Road::Unattended) {
            exitCode = setup.WaitForExit(m_row.runLimitMs);
            ASSERT_NE(exitCode, -1)
                << "hang: the program did not end within " << m_row.runLimitMs << " ms";
            return;
        }
        if (m_row.endpoint == Endpoint::Unreachable) {
            DWORD start = GetTickCount();
            while (ReadWholeFile(m_run.logPath).find("Server web connect fail___") ==
                       std::string::npos &&
                   GetTickCount() - start < kRunTimeoutMs)
                setup.WaitForExit(100);
        }
        // The close box, as often as it takes: first a message box, then the page.
        for (int i = 0; i < 60 && exitCode == -1; ++i) {
            setup.CloseWindows();
            exitCode = setup.WaitForExit(500);
        }
        ASSERT_NE(exitCode, -1) << "the wizard did not close";
    }

    // The download page for the local server, outside automatic mode; its worker runs both
    // steps, and the page's buttons and the wizard's state tell when it is done.
    void WorkByHand(long& exitCode, std::vector<std::string>& lines,
                    std::vector<std::string>& rawLines) {
        WizardState state;
        QuietPeriodForRow quiet(m_row.quietPeriodMs);
        WindowsTimeOuts timeOuts;
        TraceCapture trace;
        RecordingParent parent;
        VLDownloadDlg page(state);
        page.SetServiceAddress({kHost, m_port, IsHttps(m_row.endpoint)});
        ASSERT_TRUE(page.Create(parent.Get()));
        HWND prev = page.GetDlgItem(IDC_PREV);
        HWND next = page.GetDlgItem(IDC_NEXT);
        if (m_row.prevAtWorkerStart) {
            // The start timer's expiry, and a click on Prev handled right after it, before the
            // new worker had any time to run.
            SendMessageW(page.GetSafeHwnd(), WM_TIMER, 2, 0);
            Click(page.GetSafeHwnd(), IDC_PREV);
        }
        // Every road by hand reaches the update-agent step; its exit line ends the steps.
        std::string lastLine = trace_test::ExitText("VLDownloadDlg::RunQLUpdate");
        ASSERT_TRUE(PumpUntil([&] { return trace.Contains(lastLine); }, kRunTimeoutMs));
        ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(next) != FALSE; }));
        EXPECT_FALSE(IsWindowEnabled(prev));
        EXPECT_EQ(state.m_bInstalling.load(), 0);
        EXPECT_EQ(parent.codes, std::vector<UINT>()) << "the page was left while it worked";
        exitCode = SetupExitCode(state.m_nSetupOutcome);
        lines = trace.Lines();
        rawLines = trace_test::ReadLogLines(trace.Path());
    }

    // The row's quiet period for the worker in this process, the program's own again after.
    class QuietPeriodForRow : public TestSeam<unsigned long>::Override {
      public:
        explicit QuietPeriodForRow(unsigned long periodMs)
            : Override(g_quietPeriodMs, periodMs != 0 ? periodMs : kQuietPeriodMs) {}
    };

    // A stalled request is given up once the quiet period has passed since the line before
    // it, and not much later: its time-out line (or the row's own line of a wait given up)
    // follows that line by the period in force.
    void CheckStallTimes(const std::vector<std::string>& rawLines) const {
        unsigned long periodMs = m_row.road == Road::ByHand && m_row.quietPeriodMs != 0
                                     ? m_row.quietPeriodMs
                                     : kShippedQuietPeriodMs;
        std::string timedOut = trace_test::MessageText(TimedOutLine(periodMs));
        std::string waitedOut =
            m_row.waitedOut.empty() ? std::string() : trace_test::MessageText(m_row.waitedOut);
        int seen = 0;
        for (size_t i = 1; i < rawLines.size(); ++i) {
            trace_test::LogLine line = trace_test::ParseLogLine(rawLines[i]);
            if (!line.matched) continue;
            bool isWaitedOut = !waitedOut.empty() && line.rest == waitedOut;
            if (!isWaitedOut && line.rest.rfind(":    Request timed out", 0) != 0) continue;
            if (!isWaitedOut) {
                EXPECT_EQ(line.rest, timedOut);
            }
            ++seen;
            long long gapMs = MsOfDay(line) - MsOfDay(trace_test::ParseLogLine(rawLines[i - 1]));
            if (gapMs < 0) gapMs += 24LL * 3600 * 1000;
            EXPECT_GE(gapMs, static_cast<long long>(periodMs) - 100) << "given up early";
            EXPECT_LE(gapMs, static_cast<long long>(periodMs) + kStallMarginMs) << "given up late";
        }
        if (!waitedOut.empty()) {
            EXPECT_GT(seen, 0) << "no wait given up";
        }
    }

    static long long MsOfDay(const trace_test::LogLine& line) {
        if (!line.matched) return 0;
        int hour = std::stoi(line.time.substr(11, 2));
        int minute = std::stoi(line.time.substr(14, 2));
        int second = std::stoi(line.time.substr(17, 2));
        int ms = std::stoi(line.time.substr(20, 3));
        return ((hour * 60LL + minute) * 60 + second) * 1000 + ms;
    }

    // The proxy logs a request once it has ended; a tunnel ends with its connection, which may
    // close a moment after the program has.
    void CheckProxied(size_t logBefore) const {
        std::string server = "127.0.0.1:" + std::to_string(m_port);
        std::vector<std::string> expected;
        for (std::string line : m_row.proxied) {
            for (const char* name : {"{root}", "{server}"}) {
                size_t at = line.find(name);
                if (at != std::string::npos)
                    line.replace(at, strlen(name), name[1] == 'r' ? Root() : server);
            }
            expected.push_back(line);
        }
        std::sort(expected.begin(), expected.end());
        std::string agent =
            m_row.road == Road::ByHand
                ? "whole_run_server_test"
                : fixture::ToUtf8(m_run.exeName.substr(0, m_run.exeName.size() - 4));
        std::vector<std::string> seen;
        std::vector<ProxiedRequest> requests;
        for (DWORD start = GetTickCount();; Sleep(200)) {
            ReadProxied(logBefore, seen, requests);
            if (seen.size() >= expected.size() || GetTickCount() - start > 10000) break;
        }
        EXPECT_EQ(seen, expected);
        for (const ProxiedRequest& request : requests) {
            if (request.method != "GET") continue;
            EXPECT_EQ(request.agent, agent) << request.target;
            EXPECT_EQ(request.accept, "*/*") << request.target;
        }
    }

    // The requests the proxy logged after logBefore, each as "METHOD TARGET STATUS", sorted.
    static void ReadProxied(size_t logBefore, std::vector<std::string>& seen,
                            std::vector<ProxiedRequest>& requests) {
        seen.clear();
        requests.clear();
        std::string log = ReadWholeFile(ProxyLogPath());
        if (log.size() < logBefore) return;
        for (const std::string& line : testfiles::SplitLines(log.substr(logBefore))) {
            ProxiedRequest request;
            if (line.empty()) continue;
            if (!ParseProxied(line, request)) {
                seen.push_back("unreadable: " + line);
                continue;
            }
            seen.push_back(request.method + " " + request.target + " " + request.status);
            requests.push_back(request);
        }
        std::sort(seen.begin(), seen.end());
    }

    // Every queued fault was taken by a request; the faulty ones are counted.
    void CheckFaultsServed() {
        for (const auto& [queue, faults] : m_queued) {
            std::string left = ReadWholeFile(queue);
            EXPECT_EQ(left, "") << fixture::ToUtf8(queue) << " was not used up";
            m_faultyAnswers += NonEmptyLines(faults) - NonEmptyLines(left);
        }
    }

    static int NonEmptyLines(const std::string& text) {
        int count = 0;
        for (const std::string& line : testfiles::SplitLines(text)) count += line.empty() ? 0 : 1;
        return count;
    }

    std::string Root() const {
        return SchemeName(m_row.endpoint) + "://127.0.0.1:" + std::to_string(m_port);
    }

    void CheckLines(const std::vector<std::string>& lines) {
        if (m_row.road != Road::ByHand) {
            ASSERT_FALSE(lines.empty()) << "no log";
            EXPECT_EQ(lines.front(), trace_test::EntryText(kStartScope));
            EXPECT_EQ(lines.back(), trace_test::ExitText(kStartScope));
        }
        ExpectInOrder(lines, m_row.lines, Root());
        if (::testing::Test::HasFatalFailure()) return;
        for (const std::string& absent : m_row.absentLines)
            EXPECT_EQ(std::count(lines.begin(), lines.end(), absent), 0) << absent;
        int failures = StepsRun() ? m_row.installerFailures : 0;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), kInstallerFail), failures);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), kInstallerSuccess),
                  StepsRun() && failures < 5 ? 1 : 0);
        CheckAttempts(lines);
        if (m_row.wholeTrace) CheckWholeTrace(lines);
    }

    // Every attempt writes its four lines, in order: URL, local path, result, verdict.
    void CheckAttempts(const std::vector<std::string>& lines) const {
        std::vector<std::string> expected;
        int failures = m_row.installerFailures;
        int attempts = !StepsRun() ? 0 : failures == 5 ? 5 : failures + 1;
        std::string url = "ServerFilePath: " + Root() + "/app/Velmora ActiveX 7i_jp.exe";
        std::string path = kOwnInstallerPath;
        for (int i = 0; i < attempts; ++i) {
            for (const std::string& line :
                 {url, path, std::string("URLDownloadToFile ret: 0x"),
                  std::string(i < failures ? kInstallerFail : kInstallerSuccess)})
                expected.push_back(line);
        }
        EXPECT_EQ(AttemptLines(lines), expected);
    }

    void CheckWholeTrace(const std::vector<std::string>& lines) const {
        auto entry = [](const char* scope) { return trace_test::EntryText(scope); };
        auto exit = [](const char* scope) { return trace_test::ExitText(scope); };
        std::string url = Root();
        std::string name = fixture::ToUtf8(m_run.exeName);
        std::vector<std::string> texts = {
            entry(kStartScope),
            "ModuleName: " + name.substr(0, name.size() - 4),
            entry("CVelmora_SetupDlg::OnBnClickedNext"),
            "ServerURL: 127.0.0.1, ServerPORT: " + std::to_string(m_port),
            "ConnectionURL: " + url,
            exit("CVelmora_SetupDlg::OnBnClickedNext"),
            entry("VLDownloadDlg::InstallActiveX"),
            "ServerFilePath: " + url + "/app/Velmora ActiveX 7i_jp.exe",
            "URLDownloadToFile ret: 0x00000000",
            kInstallerSuccess,
            kInstallerRun,
            exit("VLDownloadDlg::InstallActiveX"),
            entry("VLDownloadDlg::RunQLUpdate"),
            url + "/app/update/velmora_server.exe",
            "SiteName: Sales",
            entry("AddFileAccessAllowedRights"),
            exit("AddFileAccessAllowedRights"),
            entry("AddFileAccessAllowedRights"),
            exit("AddFileAccessAllowedRights"),
            kAgentRun,
            exit("VLDownloadDlg::RunQLUpdate"),
            exit(kStartScope),
        };
        std::vector<Expect> expected;
        for (const std::string& text : texts) expected.push_back(Line(text));
        ExpectInOrder(lines, expected, url);
        // The descriptor's local path follows its URL: a file in a folder of the setup's own.
        auto descriptorUrl =
            std::find(lines.begin(), lines.end(), url + "/app/update/velmora_server.exe");
        ASSERT_TRUE(descriptorUrl != lines.end() && descriptorUrl + 1 != lines.end());
        EXPECT_TRUE(IsOwnDownloadPath(descriptorUrl[1], "velmora_server.exe")) << descriptorUrl[1];
        // The one failure line a clean run may have: a profile without a compatibility-layer
        // key (a fresh prefix) logs the failed open before the key is created.
        for (const std::string& line : lines) {
            if (line == "regKey.Open fail_(funcRet: 0x2)") continue;
            EXPECT_EQ(line.find("fail"), std::string::npos) << line;
        }
    }

    // Started as often as the row says, the installer with /verysilent only when unattended
    // and in the temporary folder, the agent with -ou in the site folder beside the
    // descriptor.
    void CheckPrograms() const {
        std::vector<ProgramStart> starts = ProgramStarts(m_run.record);
        EXPECT_EQ(TimesStarted(m_run.record, "fake_installer"), m_row.installerStarted ? 1 : 0);
        EXPECT_EQ(TimesStarted(m_run.record, "fake_agent"), m_row.agentStarted ? 1 : 0);
        for (const ProgramStart& start : starts) {
            if (start.program == "fake_installer") {
                EXPECT_EQ(start.parameters, m_row.road == Road::Unattended ? "/verysilent" : "");
                EXPECT_TRUE(IsOwnDownloadFolder(start.workingFolder)) << start.workingFolder;
                // Its temporary folder is its own folder, never the user's.
                EXPECT_EQ(start.temp, start.workingFolder);
            } else {
                EXPECT_EQ(start.parameters, "-ou");
                EXPECT_EQ(start.workingFolder, fixture::ToUtf8(SiteFolder(m_row.site)));
                EXPECT_EQ(start.descriptorBeside, "1");
                if (!m_row.agentFolderOpen.empty()) {
                    EXPECT_EQ(start.folderOpen, m_row.agentFolderOpen)
                        << "whether others could reach the agent's folder while it ran";
                }
            }
        }
    }

    void CheckRegistry() const {
        EXPECT_EQ(HasDword(L"LANGUAGE", 3), StepsRun());
        EXPECT_EQ(HasDword(L"PRODUCT", 1), m_row.agentStarted);
        if (m_row.agentStarted) {
            EXPECT_TRUE(HasDword(L"DontQuestionDesktopShortcut", 1, L"\\Update"));
        }
    }

    // Files only where the steps put them.
    void CheckFiles(const std::set<std::wstring>& programFilesBefore,
                    const std::set<std::wstring>& tempBefore,
                    const std::set<std::wstring>& machineTempBefore,
                    const std::set<std::wstring>& windowsBefore) const {
        std::set<std::wstring> programFilesNew =
            Minus(TreeBelow(ProgramFilesFolder()), programFilesBefore);
        EXPECT_EQ(Minus(m_row.programFilesNew, programFilesNew), std::set<std::wstring>())
            << "missing below Program Files";
        EXPECT_EQ(Minus(programFilesNew, m_row.programFilesNew), std::set<std::wstring>())
            << "stray below Program Files:" << Joined(programFilesNew);
        // The user's temporary folder gains nothing, and the setup's own download folders go away
        // with everything in them on every road.
        std::set<std::wstring> tempNew = Minus(NamesIn(testfiles::TempRoot()), tempBefore);
        EXPECT_EQ(tempNew, std::set<std::wstring>())
            << "stray in the temporary folder:" << Joined(tempNew);
        std::set<std::wstring> machineTempNew =
            Minus(NamesIn(MachineTempFolder()), machineTempBefore);
        EXPECT_EQ(machineTempNew, std::set<std::wstring>())
            << "stray in the machine's temporary folder:" << Joined(machineTempNew);
        // A site name that climbs out of the base folder never carries the descriptor there.
        EXPECT_EQ(Minus(NamesIn(WindowsFolder()), windowsBefore), std::set<std::wstring>())
            << "new in the Windows folder";
    }

    const WholeRun& m_row;
    Run m_run;
    int m_port = 0;
    std::vector<std::pair<std::wstring, std::string>> m_queued;
    int m_faultyAnswers = 0;
};

}  // namespace

bool Expect::Matches(const std::string& line, const std::string& root) const {
    if (line.size() >= kLongLine && kind != Prefix) return false;
    if (kind == FailureResult) return IsFailureResultLine(line);
    for (std::string text : texts) {
        size_t at = text.find("{root}");
        if (at != std::string::npos) text.replace(at, 6, root);
        if (kind == Prefix ? line.compare(0, text.size(), text) == 0 : line == text) return true;
    }
    return false;
}

std::string Expect::Describe() const {
    if (kind == FailureResult) return "<negative result as %d\\t%x>";
    std::string text;
    for (const std::string& t : texts) text += (text.empty() ? "" : " | ") + t;
    return kind == Prefix ? text + "..." : text;
}

bool Expect::IsFailureResultLine(const std::string& line) {
    size_t tab = line.find('\t');
    if (line.size() > 32 || tab == std::string::npos || line[0] != '-') return false;
    char* end = nullptr;
    long decimal = strtol(line.c_str(), &end, 10);
    if (end != line.c_str() + tab) return false;
    unsigned long hex = strtoul(line.c_str() + tab + 1, &end, 16);
    return *end == '\0' && tab + 1 < line.size() && static_cast<long>(hex) == decimal;
}

std::vector<std::wstring> OwnDownloadFolders() {
    std::vector<std::wstring> folders;
    std::wstring prefix = std::wstring(kDownloadFolderPrefix) + L"-";
    std::error_code error;
    std::filesystem::directory_iterator it(MachineTempFolder(), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (it->path().filename().wstring().rfind(prefix, 0) == 0)
            folders.push_back(it->path().wstring());
    }
    return folders;
}

std::set<std::wstring> NamesIn(const std::wstring& folder) {
    std::set<std::wstring> names;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error))
        names.insert(it->path().filename().wstring());
    return names;
}

int TimesStarted(const std::wstring& record, const char* program) {
    std::vector<ProgramStart> starts = ProgramStarts(record);
    return static_cast<int>(std::count_if(
        starts.begin(), starts.end(), [&](const ProgramStart& s) { return s.program == program; }));
}

void WholeRunner::Go(const std::wstring& setupProgram, std::wstring exeName) {
    RowRun run(m_row);
    run.Go(setupProgram, exeName);
    m_faultyAnswers += run.FaultyAnswers();
}

}  // namespace whole_run
