#pragma once

// Whole runs of the setup against the local update server, one row each: the road the run
// takes (an unattended copy of the program to its exit, the download page's worker started by
// hand, a user who closes the wizard), what the server answers, what an unprivileged party
// prepared around the program, and what must come of it: log lines, programs started and how,
// files below Program Files and in the temporary folder, registry values, the exit code.
// This header holds the rows, their builders and the runner; whole_run.cpp runs them.
#include <windows.h>

#include <shlobj.h>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sys/test_seam.h"
#include "tests/fixtures/fixture_record.h"
#include "tests/support/child_process.h"
#include "tests/support/test_files.h"
#include "tests/support/trace_files.h"

namespace whole_run {

const std::wstring kHost = L"127.0.0.1";
const char kGoodDescriptor[] =
    "<?xml version=\"1.0\"?>\r\n<service>\r\n  <servicename>Sales</servicename>\r\n</service>\r\n";
const char kInstallerFail[] = "Velmora ActiveX 7i.exe Download fail_ and continue loop.";
const char kInstallerSuccess[] = "Velmora ActiveX 7i.exe Download Success...";
const char kInstallerRun[] = "Velmora ActiveX 7i_jp.exe run Success...";
const char kDescriptorFail[] = "velmora_server.exe Download fail___";
const char kAgentFail[] = "{root}/app/update/QLUpdate.exe Download fail___";
const char kAgentRun[] = "QLUpdate.exe run Success...";
const char kNoLength[] = "HttpFile QueryInfo fail___(LaseErr:12150)";
const char kStartScope[] = "CVelmora_SetupApp::InitInstance";
constexpr DWORD kRunTimeoutMs = 60000;
// The quiet period the program ships with, as the README states it: written out here, not taken
// from the program, so that a program waiting any other period fails its row.
constexpr unsigned long kShippedQuietPeriodMs = 60000;

// The line of a request that received nothing for the quiet period.
inline std::string TimedOutLine(unsigned long periodMs) {
    return "Request timed out___(nothing received for " + std::to_string(periodMs) + " ms)";
}

inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The Program Files folder the 32-bit program sees.
inline std::wstring ProgramFilesFolder() {
    wchar_t folder[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
    return folder;
}

inline std::wstring SiteFolder(const std::string& site = "Sales") {
    return ProgramFilesFolder() + L"\\Velmora\\" + Wide(site);
}

inline std::wstring ServerRoot() { return fixture::EnvironmentValue(L"VELMORA_SERVER_ROOT_W"); }
inline std::wstring InstallerOnServer() {
    return ServerRoot() + L"\\app\\Velmora ActiveX 7i_jp.exe";
}
inline std::wstring DescriptorOnServer() {
    return ServerRoot() + L"\\app\\update\\velmora_server.exe";
}
inline std::wstring AgentOnServer() { return ServerRoot() + L"\\app\\update\\QLUpdate.exe"; }
// Where the installer and the descriptor were once saved, right in the temporary folder.
inline std::wstring TempDownload() {
    return testfiles::TempRoot() + L"\\Velmora ActiveX 7i_jp.exe";
}
inline std::wstring TempDescriptor() { return testfiles::TempRoot() + L"\\velmora_server.exe"; }

// The setup's own download folders that stand in the temporary folder now.
std::vector<std::wstring> OwnDownloadFolders();

inline int ServerPort(const wchar_t* variable) {
    return _wtoi(fixture::EnvironmentValue(variable).c_str());
}

// One expected log line: the whole message, its start, one of several messages, or the
// "%d\t%x" line of a failed download (a negative result written twice).
struct Expect {
    enum Kind { Exact, Prefix, AnyOf, FailureResult };
    Kind kind;
    std::vector<std::string> texts;

    bool Matches(const std::string& line, const std::string& root) const;
    std::string Describe() const;
    static bool IsFailureResultLine(const std::string& line);
};

inline Expect Line(const std::string& text) { return {Expect::Exact, {text}}; }
inline Expect Starting(const std::string& text) { return {Expect::Prefix, {text}}; }
inline Expect OneOf(std::vector<std::string> texts) { return {Expect::AnyOf, std::move(texts)}; }
inline Expect AnyFailureResult() { return {Expect::FailureResult, {}}; }

// Unattended: a copy named for the server, which runs by itself to its exit. ByHand: the
// download page's worker in this process, outside automatic mode. ClosedByUser: a copy whose
// wizard the user closes before any installation step.
enum class Road { Unattended, ByHand, ClosedByUser };
// Unreachable: a port nobody listens on; NoAddress: a copy that knows no address.
enum class Endpoint {
    Http,
    Https,
    Untrusted,
    Expired,
    ClosingHttp,
    ClosingHttps,
    Unreachable,
    NoAddress
};
// What the server publishes as the installer: the fake installer as built, with a certificate
// table appended whole or cut short, or nothing.
enum class InstallerImage { AsBuilt, SignedWhole, SignedCut, Missing };
// Which copy of a fake program the server publishes: as built (unsigned), or one of those that
// tools/sign-test-programs.sh signed with the test publisher, with the other publisher, or with
// the test publisher and then changed in one byte of its code.
enum class Signing { AsBuilt, Publisher, OtherPublisher, Tampered };
// The pins of tools/sign-test-programs.sh (pins.txt) that a row stamps into its copy.
enum class Pin { Publisher, Authority };

inline bool IsHttps(Endpoint endpoint) {
    return endpoint == Endpoint::Https || endpoint == Endpoint::Untrusted ||
           endpoint == Endpoint::Expired || endpoint == Endpoint::ClosingHttps;
}

inline std::string SchemeName(Endpoint endpoint) { return IsHttps(endpoint) ? "https" : "http"; }

// What one run has to hand, for the rows that prepare something around the program and check
// it afterwards.
struct Run {
    TempFolder folder{L"velmora_run"};
    std::wstring exeName;
    std::wstring program;
    std::wstring logPath = folder.File(L"trace.log");
    std::wstring record = folder.File(L"record.txt");
    std::unique_ptr<trace_test::TraceSettings> trace;
    // False where the row points the log somewhere of its own: its lines are then not read.
    bool traced = true;
    std::wstring target;        // what a row points the log or a link at
    std::string targetMode;     // its Unix mode bits before the run
    std::string targetContent;  // a target file's content before the run

    // Puts value in place of the program's own for this run alone (the worker started by hand
    // runs in this process); the seam is back as it was when the run ends, however it ends.
    template <typename T>
    void StandIn(TestSeam<T>& seam, T value) {
        m_standIns.push_back(std::make_shared<typename TestSeam<T>::Override>(seam, value));
    }

  private:
    std::vector<std::shared_ptr<void>> m_standIns;
};

struct WholeRun {
    std::string name;
    Road road = Road::Unattended;
    Endpoint endpoint = Endpoint::Https;
    // One line per request for the file, as the server's queue beside the file takes them.
    std::string installerFaults;
    std::string descriptorFaults;
    std::string agentFaults;
    InstallerImage installerImage = InstallerImage::AsBuilt;
    Signing installerSigning = Signing::AsBuilt;
    Signing agentSigning = Signing::AsBuilt;
    // Stamped into the unattended copy with no address, which it then takes from its name.
    std::vector<Pin> pins;
    bool descriptorPublished = true;
    std::string descriptor = kGoodDescriptor;
    bool agentPublished = true;
    bool badInput = false;
    // By hand: Prev is clicked the moment the start timer has started the worker.
    bool prevAtWorkerStart = false;
    // What an unprivileged party prepares before the run, and what must hold after it.
    std::function<void(Run&)> arrange;
    std::function<void(Run&)> verify;
    std::vector<Expect> lines;             // in this order, other lines between them
    std::vector<std::string> absentLines;  // messages that must not appear at all
    // Every line of a clean run in its order, and no failure line.
    bool wholeTrace = false;
    int installerFailures = 0;
    bool installerStarted = true;
    bool agentStarted = true;
    std::string site = "Sales";
    // Whether others than administrators could reach the agent's folder while it ran, as the
    // agent saw it ("1" or "0"); empty: not checked.
    std::string agentFolderOpen;
    // New paths below Program Files; a failed download leaves nothing there, and the temporary
    // folder gains nothing on any road.
    std::set<std::wstring> programFilesNew;
    // The quiet period of the worker started by hand, shortened so that a stall takes seconds;
    // 0 leaves the program's own. A copy of the program always waits its own.
    unsigned long quietPeriodMs = 0;
    DWORD runLimitMs = kRunTimeoutMs;
    // A line of a wait given up other than the time-out line, which like it must follow the line
    // before it by the quiet period in force.
    std::string waitedOut;
    // Through the proxy of tools/with-proxy.sh, set as the user's system proxy for the run: every
    // request the proxy's access log must show for the run, as "METHOD TARGET STATUS" with
    // {root} for the service root (http) and {server} for host:port (a CONNECT's target), in
    // any order. Each GET must carry the program's name as its User-Agent and accept */*.
    bool throughProxy = false;
    std::vector<std::string> proxied;
};

// Whether the proxy of tools/with-proxy.sh runs for this test program.
inline bool ProxyRuns() { return !fixture::EnvironmentValue(L"VELMORA_PROXY_PORT").empty(); }

inline void PrintTo(const WholeRun& row, std::ostream* out) { *out << row.name; }

// folder, with or without the agent.
inline std::set<std::wstring> SiteLayout(const std::string& site, bool withAgent) {
    std::wstring dir = L"Velmora\\" + Wide(site);
    std::set<std::wstring> paths = {L"Velmora", dir, dir + L"\\velmora_server.exe"};
    if (withAgent) paths.insert(dir + L"\\QLUpdate.exe");
    return paths;
}

// The lines of a run in which both steps succeed after the installer's download.
inline std::vector<Expect> InstallerRunAndAgent() {
    return {Line(kInstallerSuccess), Line(kInstallerRun), Line("SiteName: Sales"), Line(kAgentRun)};
}

inline WholeRun Succeeding(const std::string& name, Endpoint endpoint) {
    WholeRun row;
    row.name = name;
    row.endpoint = endpoint;
    row.lines = InstallerRunAndAgent();
    row.programFilesNew = SiteLayout("Sales", true);
    return row;
}

// An unattended run with nothing in its way, checked line by line.
inline WholeRun Completing(const std::string& name, Endpoint endpoint) {
    WholeRun row = Succeeding(name, endpoint);
    row.wholeTrace = true;
    return row;
}

// The names right inside a folder.
std::set<std::wstring> NamesIn(const std::wstring& folder);

// How often the record says a fake program ("fake_installer", "fake_agent") was started.
int TimesStarted(const std::wstring& record, const char* program);

// Runs one row from its preparation to its last check. The faulty answers the server gave
// are counted in faultyAnswers.
class WholeRunner {
  public:
    explicit WholeRunner(const WholeRun& row) : m_row(row) {}

    // The unattended roads run a copy of setupProgram named exeName (by default the name
    // that carries the row's address).
    void Go(const std::wstring& setupProgram = DistPath(L"Velmora_Setup.exe"),
            std::wstring exeName = std::wstring());

    int FaultyAnswers() const { return m_faultyAnswers; }

  private:
    const WholeRun& m_row;
    int m_faultyAnswers = 0;
};

}  // namespace whole_run
