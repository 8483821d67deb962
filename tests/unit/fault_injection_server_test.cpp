// The whole unattended setup against a misbehaving world: each published file answered badly
// in every way the update server can, a server that goes away after the connection check, a
// certificate nobody trusts, broken descriptors, a Program Files folder that cannot take the
// base directory and a temporary download somebody else holds. Every run is a copy of the
// built program in a process of its own: it must end by itself with the exit code of its
// outcome (0 only when the installer and the agent both ran, else 1603), log the failure with
// the program's own lines and leave files only where its steps put them.
// Winsock's header must come before anything that brings in windows.h.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <shlobj.h>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/fixtures/fixture_record.h"
#include "tests/support/child_process.h"
#include "tests/support/setup_runs.h"
#include "tests/support/test_files.h"
#include "tests/unit/update_server_env.h"

namespace {

constexpr DWORD kRunTimeoutMs = 30000;
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
// Lines longer than this are only ever compared by their start.
constexpr size_t kLongLine = 4096;

std::wstring WindowsDir() {
    wchar_t folder[MAX_PATH] = {};
    GetWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring ServerRoot() { return update_server::Root(); }
std::wstring InstallerOnServer() { return ServerRoot() + L"\\app\\Velmora ActiveX 7i_jp.exe"; }
std::wstring DescriptorOnServer() { return ServerRoot() + L"\\app\\update\\velmora_server.exe"; }
std::wstring AgentOnServer() { return ServerRoot() + L"\\app\\update\\QLUpdate.exe"; }
std::wstring TempDownload() { return testfiles::TempRoot() + L"\\Velmora ActiveX 7i_jp.exe"; }

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every path below a folder, relative to it.
std::set<std::wstring> TreeBelow(const std::wstring& root) {
    std::set<std::wstring> paths;
    std::error_code error;
    std::filesystem::recursive_directory_iterator it(
        root, std::filesystem::directory_options::skip_permission_denied, error);
    for (; !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        paths.insert(it->path().lexically_relative(root).wstring());
    }
    return paths;
}

// The names right inside a folder.
std::set<std::wstring> NamesIn(const std::wstring& folder) {
    std::set<std::wstring> names;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        names.insert(it->path().filename().wstring());
    }
    return names;
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

// One expected log line: the whole message, its start, one of several messages, or the
// "%d\t%x" line of a failed download (a negative result written twice).
struct Expect {
    enum Kind { Exact, Prefix, AnyOf, FailureResult };
    Kind kind;
    std::vector<std::string> texts;

    bool Matches(const std::string& line, const std::string& root) const {
        if (kind == FailureResult) return IsFailureResultLine(line);
        for (std::string text : texts) {
            size_t at = text.find("{root}");
            if (at != std::string::npos) text.replace(at, 6, root);
            if (kind == Prefix ? line.compare(0, text.size(), text) == 0 : line == text)
                return true;
        }
        return false;
    }

    std::string Describe() const {
        if (kind == FailureResult) return "<negative result as %d\\t%x>";
        std::string text;
        for (const std::string& t : texts) text += (text.empty() ? "" : " | ") + t;
        return kind == Prefix ? text + "..." : text;
    }

    static bool IsFailureResultLine(const std::string& line) {
        size_t tab = line.find('\t');
        if (line.size() > 32 || tab == std::string::npos || line[0] != '-') return false;
        char* end = nullptr;
        long decimal = strtol(line.c_str(), &end, 10);
        if (end != line.c_str() + tab) return false;
        unsigned long hex = strtoul(line.c_str() + tab + 1, &end, 16);
        return *end == '\0' && tab + 1 < line.size() && static_cast<long>(hex) == decimal;
    }
};

Expect Line(const std::string& text) { return {Expect::Exact, {text}}; }
Expect Starting(const std::string& text) { return {Expect::Prefix, {text}}; }
Expect OneOf(std::vector<std::string> texts) { return {Expect::AnyOf, std::move(texts)}; }
Expect AnyFailureResult() { return {Expect::FailureResult, {}}; }

enum class Endpoint { Http, Https, Untrusted, Expired, ClosingHttp, ClosingHttps };
// What the server publishes as the installer: the fake installer as built, or with a
// certificate table appended whole or cut short.
enum class InstallerImage { AsBuilt, SignedWhole, SignedCut };
enum class Surrounding { Normal, UnwritableBase, LockedTempDownload };

struct FaultCase {
    std::string name;
    Endpoint endpoint = Endpoint::Https;
    Surrounding surrounding = Surrounding::Normal;
    // One line per request for the file, as the server's queue beside the file takes them.
    std::string installerFaults;
    std::string descriptorFaults;
    std::string agentFaults;
    std::string descriptor = kGoodDescriptor;
    InstallerImage installerImage = InstallerImage::AsBuilt;
    bool badInput = false;
    std::vector<Expect> lines;  // in this order, other lines between them
    int installerFailures = 0;
    bool installerStarted = true;
    bool agentStarted = true;
    std::string site = "Sales";
    // New paths below Program Files and new names in the temporary folder: those that must
    // appear and those a failed download may leave behind.
    std::set<std::wstring> programFilesNew;
    std::set<std::wstring> programFilesLeftovers;
    std::set<std::wstring> tempNew;
    std::set<std::wstring> tempLeftovers;
};

bool IsHttps(Endpoint endpoint) {
    return endpoint != Endpoint::Http && endpoint != Endpoint::ClosingHttp;
}

std::string SchemeName(Endpoint endpoint) { return IsHttps(endpoint) ? "https" : "http"; }

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// What a run leaves below Program Files when the update-agent step gets as far as the site
// folder, with or without the agent.
std::set<std::wstring> SiteLayout(const std::string& site, bool withAgent) {
    std::wstring dir = L"Velmora\\" + Wide(site);
    std::set<std::wstring> paths = {L"Velmora", dir, dir + L"\\velmora_server.exe"};
    if (withAgent) paths.insert(dir + L"\\QLUpdate.exe");
    return paths;
}

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line + "\n";
    return text;
}

// The lines of a run in which both steps succeed after the installer's download.
std::vector<Expect> InstallerRunAndAgent() {
    return {Line(kInstallerSuccess), Line(kInstallerRun), Line("SiteName: Sales"), Line(kAgentRun)};
}

FaultCase Succeeding(const std::string& name, Endpoint endpoint) {
    FaultCase c;
    c.name = name;
    c.endpoint = endpoint;
    c.lines = InstallerRunAndAgent();
    c.programFilesNew = SiteLayout("Sales", true);
    return c;
}

// The step that meets the failure ends there; the installer step before it went well.
FaultCase DescriptorFailing(const std::string& name, Endpoint endpoint) {
    FaultCase c;
    c.name = name;
    c.endpoint = endpoint;
    c.agentStarted = false;
    c.lines = {Line(kInstallerSuccess), Line(kInstallerRun)};
    return c;
}

FaultCase AgentFailing(const std::string& name, Endpoint endpoint) {
    FaultCase c;
    c.name = name;
    c.endpoint = endpoint;
    c.agentStarted = false;
    c.lines = {Line(kInstallerSuccess), Line(kInstallerRun), Line("SiteName: Sales")};
    c.programFilesNew = SiteLayout("Sales", false);
    // A failed platform download may still have written a partial agent.
    c.programFilesLeftovers = {L"Velmora\\Sales\\QLUpdate.exe"};
    return c;
}

// The five attempts of the installer step all fail; the update-agent step still runs.
FaultCase InstallerFailing(const std::string& name, Endpoint endpoint, const std::string& faults) {
    FaultCase c = Succeeding(name, endpoint);
    c.installerFaults = faults;
    c.installerFailures = 5;
    c.installerStarted = false;
    c.lines = {Line(kInstallerFail), Line("SiteName: Sales"), Line(kAgentRun)};
    return c;
}

std::vector<FaultCase> StatusCases(Endpoint endpoint, int status) {
    std::string scheme = SchemeName(endpoint);
    std::string code = std::to_string(status);
    std::string fault = "status=" + code;
    bool https = IsHttps(endpoint);
    std::vector<FaultCase> cases;

    FaultCase installer =
        InstallerFailing("Installer" + code + scheme, endpoint, Repeat(fault, 10));
    if (https)
        installer.lines.insert(installer.lines.begin(), Line("HttpStatus fail___(" + code + ")"));
    cases.push_back(installer);

    FaultCase descriptor = DescriptorFailing("Descriptor" + code + scheme, endpoint);
    descriptor.descriptorFaults = Repeat(fault, 2);
    if (https) {
        char result[32];
        snprintf(result, sizeof(result), "%d\t%x", static_cast<int>(0x80000000u | status),
                 0x80000000u | status);
        descriptor.lines.push_back(Line("HttpStatus fail___(" + code + ")"));
        descriptor.lines.push_back(Line(result));
        descriptor.lines.push_back(Line(kDescriptorFail));
    } else {
        // Wine's platform download takes an error page for the file and reports success (on
        // Windows it fails); the page is then no descriptor. Either way the step ends here.
        descriptor.lines.push_back(OneOf({kDescriptorFail, "Wrong xml___"}));
        descriptor.tempLeftovers = {L"velmora_server.exe"};
    }
    cases.push_back(descriptor);

    FaultCase agent = AgentFailing("Agent" + code + scheme, endpoint);
    agent.agentFaults = Repeat(fault, 2);
    if (https) agent.lines.push_back(Line("HttpStatus fail___(" + code + ")"));
    agent.lines.push_back(Line(kAgentFail));
    cases.push_back(agent);
    return cases;
}

// Without a Content-Length the size query fails, and the body is taken as it comes.
std::vector<FaultCase> ChunkedCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<FaultCase> cases;
    FaultCase installer = Succeeding("InstallerChunked" + scheme, endpoint);
    installer.installerFaults = Repeat("chunked", 2);
    installer.lines.insert(installer.lines.begin(), Line(kNoLength));
    cases.push_back(installer);

    FaultCase descriptor = Succeeding("DescriptorChunked" + scheme, endpoint);
    descriptor.descriptorFaults = Repeat("chunked", 2);
    descriptor.lines.insert(descriptor.lines.begin() + 2, Line(kNoLength));
    cases.push_back(descriptor);

    FaultCase agent = Succeeding("AgentChunked" + scheme, endpoint);
    agent.agentFaults = Repeat("chunked", 2);
    agent.lines.insert(agent.lines.begin() + 3, Line(kNoLength));
    cases.push_back(agent);
    return cases;
}

// The size query is answered in full; the download's body ends after a few bytes.
std::vector<FaultCase> CutCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<FaultCase> cases;
    FaultCase installer =
        InstallerFailing("InstallerCut" + scheme, endpoint, Repeat("\ncut=1000", 5));
    installer.lines.insert(installer.lines.begin(), Starting("Download incomplete___(1000 of "));
    cases.push_back(installer);

    FaultCase descriptor = DescriptorFailing("DescriptorCut" + scheme, endpoint);
    descriptor.descriptorFaults = "\ncut=10\n";
    descriptor.lines.push_back(Starting("Download incomplete___(10 of "));
    descriptor.lines.push_back(Line("-2147483610\t80000026"));
    descriptor.lines.push_back(Line(kDescriptorFail));
    // The partial descriptor stays where the download put it.
    descriptor.tempNew = {L"velmora_server.exe"};
    cases.push_back(descriptor);

    FaultCase agent = AgentFailing("AgentCut" + scheme, endpoint);
    agent.agentFaults = "\ncut=1000\n";
    agent.lines.push_back(Starting("Download incomplete___(1000 of "));
    agent.lines.push_back(Line(kAgentFail));
    agent.programFilesNew.insert(L"Velmora\\Sales\\QLUpdate.exe");
    cases.push_back(agent);
    return cases;
}

// The size query and the download are two answers: the file may change between them, or the
// size query may meet an error page. Only the download's own length judges the download.
std::vector<FaultCase> SizeQueryDisagreeingCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<FaultCase> cases;
    for (const char* length : {"1000", "10"}) {
        FaultCase c = Succeeding(std::string("DescriptorSizeQuery") + length + scheme, endpoint);
        c.descriptorFaults = std::string("length=") + length + "\n";
        c.lines.insert(c.lines.begin() + 2, Line(std::string("ServerFileSize: ") + length));
        cases.push_back(c);
    }
    return cases;
}

// A chunked answer that ends without its final chunk, inside the program's sections: whatever
// the engine makes of it, the partial program is never started.
std::vector<FaultCase> ChunkedCutCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<FaultCase> cases;
    cases.push_back(InstallerFailing("InstallerChunkedCut" + scheme, endpoint,
                                     Repeat("\nchunked,cut=20000", 5)));
    FaultCase agent = AgentFailing("AgentChunkedCut" + scheme, endpoint);
    agent.agentFaults = "\nchunked,cut=20000\n";
    agent.lines.push_back(Line(kAgentFail));
    cases.push_back(agent);
    return cases;
}

// Answers below 400 that carry a page, not the file: 399, and a redirection without a place
// to go, which the platform cannot follow. The page may be saved; it is never started.
std::vector<FaultCase> SavedPageCases(Endpoint endpoint, int status) {
    std::string scheme = SchemeName(endpoint);
    std::string code = std::to_string(status);
    std::string fault = "status=" + code;
    std::vector<FaultCase> cases;
    cases.push_back(InstallerFailing("Installer" + code + scheme, endpoint, Repeat(fault, 10)));
    FaultCase descriptor = DescriptorFailing("Descriptor" + code + scheme, endpoint);
    descriptor.descriptorFaults = Repeat(fault, 2);
    descriptor.lines.push_back(OneOf({kDescriptorFail, "Wrong xml___"}));
    descriptor.tempLeftovers = {L"velmora_server.exe"};
    cases.push_back(descriptor);
    FaultCase agent = AgentFailing("Agent" + code + scheme, endpoint);
    agent.agentFaults = Repeat(fault, 2);
    agent.lines.push_back(Line(kAgentFail));
    cases.push_back(agent);
    return cases;
}

// A signed installer served whole is started; one whose certificate table runs past its end
// is refused, though its answer was whole.
std::vector<FaultCase> SignedInstallerCases() {
    FaultCase whole = Succeeding("InstallerSignedWholehttps", Endpoint::Https);
    whole.installerImage = InstallerImage::SignedWhole;
    FaultCase cut = InstallerFailing("InstallerSignedCuthttp", Endpoint::Http, "");
    cut.installerImage = InstallerImage::SignedCut;
    return {whole, cut};
}

// A slow body is a body all the same; the pauses stay short to keep the suite quick.
std::vector<FaultCase> SlowCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<FaultCase> cases;
    FaultCase installer = Succeeding("InstallerSlow" + scheme, endpoint);
    installer.installerFaults = "\nslow=20\n";
    cases.push_back(installer);
    FaultCase descriptor = Succeeding("DescriptorSlow" + scheme, endpoint);
    descriptor.descriptorFaults = "\nslow=50\n";
    cases.push_back(descriptor);
    FaultCase agent = Succeeding("AgentSlow" + scheme, endpoint);
    agent.agentFaults = "\nslow=20\n";
    cases.push_back(agent);
    return cases;
}

// After the connection check nobody answers: every size query and download is refused.
FaultCase ServerGoneAfterCheck(Endpoint endpoint) {
    FaultCase c;
    c.name = "ServerGoneAfterCheck" + SchemeName(endpoint);
    c.endpoint = endpoint;
    c.installerFailures = 5;
    c.installerStarted = false;
    c.agentStarted = false;
    c.lines = {Line("Exception: 12029"), Line(kInstallerFail), AnyFailureResult(),
               Line(kDescriptorFail)};
    return c;
}

FaultCase ExpiredCertificate() {
    FaultCase c;
    c.name = "ExpiredCertificate";
    c.endpoint = Endpoint::Expired;
    c.installerFailures = 5;
    c.installerStarted = false;
    c.agentStarted = false;
    c.lines = {Line("Exception: 12037"), Line(kInstallerFail), Line("-2147471611\t80002f05"),
               Line(kDescriptorFail)};
    return c;
}

FaultCase UntrustedCertificate() {
    FaultCase c;
    c.name = "UntrustedCertificate";
    c.endpoint = Endpoint::Untrusted;
    c.installerFailures = 5;
    c.installerStarted = false;
    c.agentStarted = false;
    // Wine names an unknown authority 12045, or 12057 when it cannot build the chain at all.
    c.lines = {OneOf({"Exception: 12045", "Exception: 12057"}), Line(kInstallerFail),
               AnyFailureResult(), Line(kDescriptorFail)};
    return c;
}

// A descriptor the server publishes as it is; reading it goes wrong in the step.
FaultCase BadDescriptor(const std::string& name, Endpoint endpoint, std::string content) {
    FaultCase c = DescriptorFailing(name, endpoint);
    c.descriptor = std::move(content);
    c.badInput = true;
    c.tempNew = {L"velmora_server.exe"};
    c.lines.push_back(Line("Wrong xml___"));
    return c;
}

std::string BinaryDescriptor() {
    std::vector<char> bytes = update_server::PatternBytes(64 * 1024, 7);
    std::string text(bytes.begin(), bytes.end());
    // Control bytes a text reading might trip over, placed where the pattern would not be.
    text.insert(100, std::string("\0\x1A\r\r\n\xFF\xFE", 7));
    return text;
}

std::vector<FaultCase> DescriptorCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    const size_t tenMiB = 10u << 20;
    std::vector<FaultCase> cases;
    cases.push_back(BadDescriptor("DescriptorEmpty" + scheme, endpoint, ""));
    cases.push_back(BadDescriptor("DescriptorBinary" + scheme, endpoint, BinaryDescriptor()));
    cases.push_back(BadDescriptor("DescriptorTenMiBLine" + scheme, endpoint,
                                  "<service>" + std::string(tenMiB, 'x') + "</service>"));

    // A name of ten MiB on one line is read, but no folder can carry it.
    FaultCase longName = DescriptorFailing("DescriptorTenMiBName" + scheme, endpoint);
    longName.badInput = true;
    longName.descriptor = "<servicename>" + std::string(tenMiB, 'A') + "</servicename>";
    longName.lines.push_back(Starting("SiteName: AAAAAAAA"));
    longName.lines.push_back(Line("Site dir create fail___"));
    longName.programFilesNew = {L"Velmora"};
    longName.tempNew = {L"velmora_server.exe"};
    cases.push_back(longName);

    // The name ends at the zero byte; the rest of the element is not part of it.
    FaultCase zero = Succeeding("DescriptorNulInName" + scheme, endpoint);
    zero.badInput = true;
    static const char kZeroInName[] = "<servicename>Sa\0les</servicename>\n";
    zero.descriptor = std::string(kZeroInName, sizeof(kZeroInName) - 1);
    zero.lines = {Line(kInstallerRun), Line("SiteName: Sa"), Line(kAgentRun)};
    zero.site = "Sa";
    zero.programFilesNew = SiteLayout("Sa", true);
    cases.push_back(zero);

    // A name that leaves the base folder is refused before any folder is made.
    FaultCase traversal = DescriptorFailing("DescriptorLeavingTheFolder" + scheme, endpoint);
    traversal.badInput = true;
    traversal.descriptor = "<servicename>..\\..\\Windows</servicename>\n";
    traversal.lines.push_back(Line("SiteName: ..\\..\\Windows"));
    traversal.lines.push_back(Line("Site dir create fail___"));
    traversal.tempNew = {L"velmora_server.exe"};
    cases.push_back(traversal);
    return cases;
}

// "Velmora" in Program Files is a file: it is taken as present, and no site folder can be
// made inside it.
FaultCase UnwritableBase() {
    FaultCase c = DescriptorFailing("ProgramFilesVelmoraIsAFile", Endpoint::Https);
    c.surrounding = Surrounding::UnwritableBase;
    c.lines.push_back(Line("SiteName: Sales"));
    c.lines.push_back(Line("Site dir create fail___"));
    c.tempNew = {L"velmora_server.exe"};
    return c;
}

FaultCase LockedTempDownload(Endpoint endpoint) {
    FaultCase c = InstallerFailing("LockedTempDownload" + SchemeName(endpoint), endpoint, "");
    c.surrounding = Surrounding::LockedTempDownload;
    if (IsHttps(endpoint))
        c.lines.insert(c.lines.begin(), Line("localFile.Open fail___(lastErr: 32)"));
    return c;
}

std::vector<FaultCase> AllCases() {
    std::vector<FaultCase> cases;
    for (int status : {400, 404, 500}) {
        for (FaultCase& c : StatusCases(Endpoint::Https, status)) cases.push_back(c);
    }
    for (FaultCase& c : ChunkedCases(Endpoint::Https)) cases.push_back(c);
    for (FaultCase& c : CutCases(Endpoint::Https)) cases.push_back(c);
    for (FaultCase& c : SlowCases(Endpoint::Https)) cases.push_back(c);
    for (Endpoint endpoint : {Endpoint::Https, Endpoint::Http}) {
        for (FaultCase& c : SizeQueryDisagreeingCases(endpoint)) cases.push_back(c);
        for (FaultCase& c : ChunkedCutCases(endpoint)) cases.push_back(c);
        for (int status : {399, 302}) {
            for (FaultCase& c : SavedPageCases(endpoint, status)) cases.push_back(c);
        }
    }
    for (FaultCase& c : SignedInstallerCases()) cases.push_back(c);
    // The platform's own download over http, for the faults whose handling differs there; a
    // second status code and a slow body would only take the same paths again.
    for (FaultCase& c : StatusCases(Endpoint::Http, 404)) cases.push_back(c);
    for (FaultCase& c : ChunkedCases(Endpoint::Http)) cases.push_back(c);
    for (FaultCase& c : CutCases(Endpoint::Http)) cases.push_back(c);
    cases.push_back(ServerGoneAfterCheck(Endpoint::ClosingHttp));
    cases.push_back(ServerGoneAfterCheck(Endpoint::ClosingHttps));
    cases.push_back(UntrustedCertificate());
    cases.push_back(ExpiredCertificate());
    for (FaultCase& c : DescriptorCases(Endpoint::Https)) cases.push_back(c);
    cases.push_back(UnwritableBase());
    cases.push_back(LockedTempDownload(Endpoint::Https));
    cases.push_back(LockedTempDownload(Endpoint::Http));
    return cases;
}

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

// What the suite did, written once at the end.
struct Tally {
    int runs = 0;
    int faultyAnswers = 0;
    int surroundingFaults = 0;
    int badInputs = 0;
};
Tally g_tally;

class TallyReport : public ::testing::Environment {
  public:
    void TearDown() override {
        printf(
            "fault injection: %d whole-program runs, %d faulty answers served, %d faults "
            "around the program, %d bad descriptors tried\n",
            g_tally.runs, g_tally.faultyAnswers, g_tally.surroundingFaults, g_tally.badInputs);
    }
};
::testing::Environment* const g_tallyReport = ::testing::AddGlobalTestEnvironment(new TallyReport);

// A listener that accepts the connection check's connection and then closes its port, so
// that every later request of the program is refused.
class GoneAfterCheckListener {
  public:
    GoneAfterCheckListener() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        SOCKET listening = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(listening, 4);
        int length = sizeof(address);
        getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_socket = listening;
        m_acceptor = std::thread([this] { AcceptOneThenClose(); });
    }
    ~GoneAfterCheckListener() {
        CloseListening();
        m_acceptor.join();
        WSACleanup();
    }
    GoneAfterCheckListener(const GoneAfterCheckListener&) = delete;
    GoneAfterCheckListener& operator=(const GoneAfterCheckListener&) = delete;

    int Port() const { return m_port; }
    int Accepted() const { return m_accepted; }

  private:
    void AcceptOneThenClose() {
        SOCKET listening = m_socket;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listening, &readable);
        timeval wait = {static_cast<long>(kRunTimeoutMs / 1000), 0};
        if (select(0, &readable, nullptr, nullptr, &wait) == 1) {
            SOCKET client = accept(listening, nullptr, nullptr);
            if (client != INVALID_SOCKET) {
                ++m_accepted;
                closesocket(client);
            }
        }
        CloseListening();
    }

    void CloseListening() {
        SOCKET listening = m_socket.exchange(INVALID_SOCKET);
        if (listening != INVALID_SOCKET) closesocket(listening);
    }

    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    int m_port = 0;
    std::atomic<int> m_accepted{0};
    std::thread m_acceptor;
};

// A file named like the base folder, there only while the case runs.
class FileInPlaceOfBase {
  public:
    FileInPlaceOfBase() : m_path(ProgramFilesDir() + L"\\Velmora") {
        m_written = WriteWholeFile(m_path, kContent);
    }
    ~FileInPlaceOfBase() { DeleteFileW(m_path.c_str()); }
    FileInPlaceOfBase(const FileInPlaceOfBase&) = delete;
    FileInPlaceOfBase& operator=(const FileInPlaceOfBase&) = delete;

    bool Written() const { return m_written; }
    bool Unchanged() const {
        DWORD attributes = GetFileAttributesW(m_path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
               ReadWholeFile(m_path) == kContent;
    }

  private:
    static constexpr const char* kContent = "a file where the base folder belongs";
    std::wstring m_path;
    bool m_written = false;
};

// The installer's temporary download, opened by the test and shared with nobody.
class HeldTempDownload {
  public:
    HeldTempDownload() {
        WriteWholeFile(TempDownload(), kContent);
        m_file.Reset(CreateFileW(TempDownload().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    ~HeldTempDownload() {
        m_file.Close();
        DeleteFileW(TempDownload().c_str());
    }
    HeldTempDownload(const HeldTempDownload&) = delete;
    HeldTempDownload& operator=(const HeldTempDownload&) = delete;

    bool Held() const { return m_file.IsValid(); }
    // Read back once the hold has ended.
    bool Unchanged() {
        m_file.Close();
        return ReadWholeFile(TempDownload()) == kContent;
    }

  private:
    static constexpr const char* kContent = "held by the test";
    ScopedKernelHandle m_file;
};

// The program with a certificate table of 512 bytes announced after its end, as a signing
// tool appends one; when cut, only half of the table follows. Empty for no PE32 image.
std::string SignedImage(std::string image, bool cut) {
    constexpr uint32_t kTableSize = 512;
    if (image.size() < 0x40) return std::string();
    uint32_t pe = 0;
    memcpy(&pe, &image[0x3C], 4);
    size_t optional = pe + 24;
    if (image.size() < optional + 136 || image[optional] != 0x0B || image[optional + 1] != 0x01)
        return std::string();
    image.resize((image.size() + 7) / 8 * 8, '\0');
    uint32_t table[2] = {static_cast<uint32_t>(image.size()), kTableSize};
    memcpy(&image[optional + 128], table, sizeof(table));
    // A WIN_CERTIFICATE head: its length, revision 2.0, PKCS#7 signed data.
    std::string certificates(kTableSize, '\0');
    uint32_t head[2] = {kTableSize, 0x00020200};
    memcpy(&certificates[0], head, sizeof(head));
    image += cut ? certificates.substr(0, kTableSize / 2) : certificates;
    return image;
}

int CountNonEmptyLines(const std::string& text) {
    int count = 0;
    for (const std::string& line : testfiles::SplitLines(text)) count += line.empty() ? 0 : 1;
    return count;
}

bool HasDword(const std::wstring& key, const wchar_t* name, DWORD expected) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS &&
           value == expected;
}

// The message of each trace line, without its header.
std::vector<std::string> LogMessages(const std::wstring& logPath) {
    std::vector<std::string> messages;
    for (const std::string& line : testfiles::SplitLines(ReadWholeFile(logPath))) {
        size_t end = line.find(']', line.find("T:"));
        std::string body = end == std::string::npos ? line : line.substr(end + 1);
        if (body.compare(0, 5, ":    ") == 0) body.erase(0, 5);
        messages.push_back(std::move(body));
    }
    return messages;
}

std::string ShortLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line.substr(0, 200) + "\n";
    return text;
}

std::string ScopeExit(const char* scope) {
    return std::string(scope) + "() " + std::string(43, '>');
}

class FaultInjectionTest : public ::testing::TestWithParam<FaultCase> {
  protected:
    void SetUp() override {
        ForgetEarlierRuns();
        std::error_code ignored;
        std::filesystem::remove_all(ServerRoot() + L"\\app", ignored);
        std::filesystem::create_directories(ServerRoot() + L"\\app\\update");
        m_record = m_folder.File(L"record.txt");
        SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", m_record.c_str());
    }

    void TearDown() override { ForgetEarlierRuns(); }

    static void ForgetEarlierRuns() {
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Velmora\\" + kHost).c_str());
        testfiles::RemoveTreeOnceFree(ProgramFilesDir() + L"\\Velmora");
        DeleteFileW((testfiles::TempRoot() + L"\\velmora_server.exe").c_str());
    }

    void Publish(const FaultCase& c) {
        if (c.installerImage == InstallerImage::AsBuilt) {
            ASSERT_TRUE(CopyProgram(FixturePath(L"fake_installer.exe"), InstallerOnServer()));
        } else {
            std::string image = SignedImage(ReadWholeFile(FixturePath(L"fake_installer.exe")),
                                            c.installerImage == InstallerImage::SignedCut);
            ASSERT_FALSE(image.empty());
            ASSERT_TRUE(WriteWholeFile(InstallerOnServer(), image));
        }
        ASSERT_TRUE(CopyProgram(FixturePath(L"fake_agent.exe"), AgentOnServer()));
        ASSERT_TRUE(WriteWholeFile(DescriptorOnServer(), c.descriptor));
        for (const auto& [file, faults] : {std::make_pair(InstallerOnServer(), c.installerFaults),
                                           std::make_pair(DescriptorOnServer(), c.descriptorFaults),
                                           std::make_pair(AgentOnServer(), c.agentFaults)}) {
            if (faults.empty()) continue;
            ASSERT_TRUE(WriteWholeFile(file + L".faults", faults));
            m_queued.push_back({file + L".faults", faults});
        }
    }

    // Every queued fault was taken by a request; the faulty ones are counted.
    void ExpectFaultsServed() {
        for (const auto& [queue, faults] : m_queued) {
            std::string left = ReadWholeFile(queue);
            EXPECT_EQ(left, "") << fixture::ToUtf8(queue) << " was not used up";
            g_tally.faultyAnswers += CountNonEmptyLines(faults) - CountNonEmptyLines(left);
        }
    }

    TempFolder m_folder{L"velmora_faults"};
    std::wstring m_record;
    std::vector<std::pair<std::wstring, std::string>> m_queued;
};

int PortOf(Endpoint endpoint, const GoneAfterCheckListener& gone) {
    switch (endpoint) {
        case Endpoint::Http:
            return update_server::Port(L"VELMORA_HTTP_PORT");
        case Endpoint::Https:
            return update_server::Port(L"VELMORA_HTTPS_PORT");
        case Endpoint::Untrusted:
            return update_server::Port(L"VELMORA_HTTPS_UNTRUSTED_PORT");
        case Endpoint::Expired:
            return update_server::Port(L"VELMORA_HTTPS_EXPIRED_PORT");
        default:
            return gone.Port();
    }
}

TEST_P(FaultInjectionTest, ProgramEndsAndNamesTheFailure) {
    const FaultCase& c = GetParam();
    Publish(c);
    if (HasFatalFailure()) return;

    GoneAfterCheckListener gone;
    int port = PortOf(c.endpoint, gone);
    ASSERT_GT(port, 0);
    std::string scheme = SchemeName(c.endpoint);
    std::wstring exeName =
        L"Velmora_Setup_" + Wide(scheme) + L"_" + kHost + L"_" + std::to_wstring(port) + L".exe";
    std::wstring program = m_folder.File(exeName);
    ASSERT_TRUE(CopyProgram(DistPath(L"Velmora_Setup.exe"), program));
    std::wstring logPath = m_folder.File(L"trace.log");
    SwitchTraceToFile(exeName, logPath);

    std::unique_ptr<FileInPlaceOfBase> fileAsBase;
    std::unique_ptr<HeldTempDownload> heldDownload;
    if (c.surrounding == Surrounding::UnwritableBase) {
        fileAsBase = std::make_unique<FileInPlaceOfBase>();
        ASSERT_TRUE(fileAsBase->Written());
    } else if (c.surrounding == Surrounding::LockedTempDownload) {
        heldDownload = std::make_unique<HeldTempDownload>();
        ASSERT_TRUE(heldDownload->Held());
    }

    std::set<std::wstring> programFilesBefore = TreeBelow(ProgramFilesDir());
    std::set<std::wstring> tempBefore = NamesIn(testfiles::TempRoot());
    std::set<std::wstring> windowsBefore = NamesIn(WindowsDir());

    ChildProcess setup;
    ASSERT_TRUE(setup.Start(program, L""));
    long exitCode = setup.WaitForExit(kRunTimeoutMs);
    ++g_tally.runs;
    ForgetTraceFor(exeName);
    ASSERT_NE(exitCode, -1) << "hang: the program did not end within " << kRunTimeoutMs << " ms";
    EXPECT_EQ(exitCode, c.installerStarted && c.agentStarted ? 0 : 1603);

    ExpectFaultsServed();
    if (c.surrounding != Surrounding::Normal || c.endpoint == Endpoint::Untrusted ||
        c.endpoint == Endpoint::Expired || c.endpoint == Endpoint::ClosingHttp ||
        c.endpoint == Endpoint::ClosingHttps)
        ++g_tally.surroundingFaults;
    if (c.badInput) ++g_tally.badInputs;
    if (c.endpoint == Endpoint::ClosingHttp || c.endpoint == Endpoint::ClosingHttps) {
        EXPECT_EQ(gone.Accepted(), 1) << "the connection check reached the listener";
    }

    // The log: a whole run from the start scope to its end, with the failure's lines.
    std::vector<std::string> lines = LogMessages(logPath);
    ASSERT_FALSE(lines.empty()) << "no log";
    EXPECT_EQ(lines.back(), ScopeExit("CVelmora_SetupApp::InitInstance"));
    std::string root = scheme + "://127.0.0.1:" + std::to_string(port);
    size_t at = 0;
    for (const Expect& expect : c.lines) {
        auto found = std::find_if(
            lines.begin() + static_cast<long>(at), lines.end(), [&](const std::string& line) {
                bool comparable = line.size() < kLongLine || expect.kind == Expect::Prefix;
                return comparable && expect.Matches(line, root);
            });
        ASSERT_NE(found, lines.end())
            << "missing, or out of order: " << expect.Describe() << "\nthe log:\n"
            << ShortLines(lines);
        at = static_cast<size_t>(found - lines.begin()) + 1;
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kInstallerFail), c.installerFailures);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kInstallerSuccess),
              c.installerFailures == 5 ? 0 : 1);

    EXPECT_EQ(TimesStarted(m_record, "fake_installer"), c.installerStarted ? 1 : 0);
    EXPECT_EQ(TimesStarted(m_record, "fake_agent"), c.agentStarted ? 1 : 0);
    std::wstring hostKey = L"Software\\Velmora\\" + kHost;
    EXPECT_TRUE(HasDword(hostKey, L"LANGUAGE", 3));
    EXPECT_EQ(HasDword(hostKey, L"PRODUCT", 1), c.agentStarted);

    // Files: only the documented ones, and the partial files a failed download may leave.
    std::set<std::wstring> programFilesNew =
        Minus(TreeBelow(ProgramFilesDir()), programFilesBefore);
    EXPECT_EQ(Minus(c.programFilesNew, programFilesNew), std::set<std::wstring>())
        << "missing below Program Files";
    EXPECT_EQ(Minus(Minus(programFilesNew, c.programFilesNew), c.programFilesLeftovers),
              std::set<std::wstring>())
        << "stray below Program Files:" << Joined(programFilesNew);
    std::set<std::wstring> tempNew = Minus(NamesIn(testfiles::TempRoot()), tempBefore);
    EXPECT_EQ(Minus(c.tempNew, tempNew), std::set<std::wstring>()) << "missing in the temp folder";
    EXPECT_EQ(Minus(Minus(tempNew, c.tempNew), c.tempLeftovers), std::set<std::wstring>())
        << "stray in the temp folder:" << Joined(tempNew);
    EXPECT_EQ(Minus(NamesIn(WindowsDir()), windowsBefore), std::set<std::wstring>())
        << "new in the Windows folder";
    EXPECT_FALSE(Exists(TempDownload()) && !heldDownload) << "the installer download is removed";
    if (fileAsBase) {
        EXPECT_TRUE(fileAsBase->Unchanged());
    }
    if (heldDownload) {
        EXPECT_TRUE(heldDownload->Unchanged());
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultInjectionTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return info.param.name;
                         });

}  // namespace
