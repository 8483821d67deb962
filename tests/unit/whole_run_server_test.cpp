// Whole runs of the setup against the local update server, one row each: unattended copies
// that complete, the download page's worker started by hand, users who close the wizard, each
// published file answered badly in every way the update server can, a server that goes away
// after the connection check, certificates nobody trusts, broken descriptors, and what an
// unprivileged party may prepare for the elevated setup (DLLs beside the program, a log path in
// its own registry, a link in place of the site folder or one put there after its creation, a
// file in place of the base folder, hard links under the temporary folder's old download names).
// Every row must end by itself with the exit code of its outcome, log what happened with the
// program's own lines and leave files only where its steps put them. The same program runs the
// completing rows against Debian's nginx (the ctest entry setup_end_to_end_nginx).
#include "tests/support/whole_run.h"

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "install/site_folder_test_hook.h"
#include "sys/trusted_owner_test_hook.h"
#include "log/trace_sink.h"
#include "tests/support/windows_time_outs.h"
#include "tests/unit/update_server_env.h"

namespace {

using namespace whole_run;

// Not KnownDLLs on Windows, and loaded by the program on demand. version.dll is not among
// them: it is no KnownDLL either, but Wine's own user32 imports it, so under Wine a planted copy
// preferred to Wine's would load before the program's first instruction (Windows' user32 does
// not import it). The import-table check of lazy_api_test covers it.
const wchar_t* const kPlantedNames[] = {L"netapi32.dll", L"wininet.dll", L"urlmon.dll"};

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
        if (Exists(done)) return true;
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

// The access list of the object at path in its text form; empty when it cannot be read.
std::wstring AccessListOf(const std::wstring& path) {
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> descriptor(needed);
    LPWSTR text = nullptr;
    if (needed == 0 ||
        !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed,
                          &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return std::wstring();
    std::wstring list(text);
    LocalFree(text);
    return list;
}

// A file named like the base folder.
const char kBaseFileContent[] = "a file where the base folder belongs";

void FileInPlaceOfBase(Run&) {
    ASSERT_TRUE(WriteWholeFile(ProgramFilesFolder() + L"\\Velmora", kBaseFileContent));
}

void BaseFileUnchanged(Run&) {
    std::wstring path = ProgramFilesFolder() + L"\\Velmora";
    DWORD attributes = GetFileAttributesW(path.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(ReadWholeFile(path), kBaseFileContent);
}

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line + "\n";
    return text;
}

// The step that meets the failure ends there; the installer step before it went well.
WholeRun DescriptorFailing(const std::string& name, Endpoint endpoint) {
    WholeRun c;
    c.name = name;
    c.endpoint = endpoint;
    c.agentStarted = false;
    c.lines = {Line(kInstallerSuccess), Line(kInstallerRun)};
    return c;
}

WholeRun AgentFailing(const std::string& name, Endpoint endpoint) {
    WholeRun c;
    c.name = name;
    c.endpoint = endpoint;
    c.agentStarted = false;
    c.lines = {Line(kInstallerSuccess), Line(kInstallerRun), Line("SiteName: Sales")};
    c.programFilesNew = SiteLayout("Sales", false);
    return c;
}

// The five attempts of the installer step all fail; the update-agent step still runs.
WholeRun InstallerFailing(const std::string& name, Endpoint endpoint, const std::string& faults) {
    WholeRun c = Succeeding(name, endpoint);
    c.installerFaults = faults;
    c.installerFailures = 5;
    c.installerStarted = false;
    c.lines = {Line(kInstallerFail), Line("SiteName: Sales"), Line(kAgentRun)};
    return c;
}

std::vector<WholeRun> StatusCases(Endpoint endpoint, int status) {
    std::string scheme = SchemeName(endpoint);
    std::string code = std::to_string(status);
    std::string fault = "status=" + code;
    std::vector<WholeRun> cases;

    WholeRun installer = InstallerFailing("Installer" + code + scheme, endpoint, Repeat(fault, 10));
    installer.lines.insert(installer.lines.begin(), Line("HttpStatus fail___(" + code + ")"));
    cases.push_back(installer);

    WholeRun descriptor = DescriptorFailing("Descriptor" + code + scheme, endpoint);
    descriptor.descriptorFaults = Repeat(fault, 2);
    char result[32];
    snprintf(result, sizeof(result), "%d\t%x", static_cast<int>(0x80000000u | status),
             0x80000000u | status);
    descriptor.lines.push_back(Line("HttpStatus fail___(" + code + ")"));
    descriptor.lines.push_back(Line(result));
    descriptor.lines.push_back(Line(kDescriptorFail));
    cases.push_back(descriptor);

    WholeRun agent = AgentFailing("Agent" + code + scheme, endpoint);
    agent.agentFaults = Repeat(fault, 2);
    agent.lines.push_back(Line("HttpStatus fail___(" + code + ")"));
    agent.lines.push_back(Line(kAgentFail));
    cases.push_back(agent);
    return cases;
}

// Without a Content-Length the size query fails, and the body is taken as it comes.
std::vector<WholeRun> ChunkedCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<WholeRun> cases;
    WholeRun installer = Succeeding("InstallerChunked" + scheme, endpoint);
    installer.installerFaults = Repeat("chunked", 2);
    installer.lines.insert(installer.lines.begin(), Line(kNoLength));
    cases.push_back(installer);

    WholeRun descriptor = Succeeding("DescriptorChunked" + scheme, endpoint);
    descriptor.descriptorFaults = Repeat("chunked", 2);
    descriptor.lines.insert(descriptor.lines.begin() + 2, Line(kNoLength));
    cases.push_back(descriptor);

    WholeRun agent = Succeeding("AgentChunked" + scheme, endpoint);
    agent.agentFaults = Repeat("chunked", 2);
    agent.lines.insert(agent.lines.begin() + 3, Line(kNoLength));
    cases.push_back(agent);
    return cases;
}

// The size query is answered in full; the download's body ends after a few bytes.
std::vector<WholeRun> CutCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<WholeRun> cases;
    WholeRun installer =
        InstallerFailing("InstallerCut" + scheme, endpoint, Repeat("\ncut=1000", 5));
    installer.lines.insert(installer.lines.begin(), Starting("Download incomplete___(1000 of "));
    cases.push_back(installer);

    WholeRun descriptor = DescriptorFailing("DescriptorCut" + scheme, endpoint);
    descriptor.descriptorFaults = "\ncut=10\n";
    descriptor.lines.push_back(Starting("Download incomplete___(10 of "));
    descriptor.lines.push_back(Line("-2147483610\t80000026"));
    descriptor.lines.push_back(Line(kDescriptorFail));
    cases.push_back(descriptor);

    WholeRun agent = AgentFailing("AgentCut" + scheme, endpoint);
    agent.agentFaults = "\ncut=1000\n";
    agent.lines.push_back(Starting("Download incomplete___(1000 of "));
    agent.lines.push_back(Line(kAgentFail));
    cases.push_back(agent);
    return cases;
}

// The size query and the download are two answers: the file may change between them, or the
// size query may meet an error page. Only the download's own length judges the download.
std::vector<WholeRun> SizeQueryDisagreeingCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<WholeRun> cases;
    for (const char* length : {"1000", "10"}) {
        WholeRun c = Succeeding(std::string("DescriptorSizeQuery") + length + scheme, endpoint);
        c.descriptorFaults = std::string("length=") + length + "\n";
        c.lines.insert(c.lines.begin() + 2, Line(std::string("ServerFileSize: ") + length));
        cases.push_back(c);
    }
    return cases;
}

// A chunked answer that ends without its final chunk, inside the program's sections: whatever
// the engine makes of it, the partial program is never started.
std::vector<WholeRun> ChunkedCutCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<WholeRun> cases;
    cases.push_back(InstallerFailing("InstallerChunkedCut" + scheme, endpoint,
                                     Repeat("\nchunked,cut=20000", 5)));
    WholeRun agent = AgentFailing("AgentChunkedCut" + scheme, endpoint);
    agent.agentFaults = "\nchunked,cut=20000\n";
    agent.lines.push_back(Line(kAgentFail));
    cases.push_back(agent);
    return cases;
}

// Answers below 400 that carry a page, not the file: 399, and a redirection without a place
// to go, which the platform cannot follow. The page may be saved; it is never started.
std::vector<WholeRun> SavedPageCases(Endpoint endpoint, int status) {
    std::string scheme = SchemeName(endpoint);
    std::string code = std::to_string(status);
    std::string fault = "status=" + code;
    std::vector<WholeRun> cases;
    cases.push_back(InstallerFailing("Installer" + code + scheme, endpoint, Repeat(fault, 10)));
    WholeRun descriptor = DescriptorFailing("Descriptor" + code + scheme, endpoint);
    descriptor.descriptorFaults = Repeat(fault, 2);
    descriptor.lines.push_back(OneOf({kDescriptorFail, "Wrong xml___"}));
    cases.push_back(descriptor);
    WholeRun agent = AgentFailing("Agent" + code + scheme, endpoint);
    agent.agentFaults = Repeat(fault, 2);
    agent.lines.push_back(Line(kAgentFail));
    cases.push_back(agent);
    return cases;
}

// A signed installer served whole is started; one whose certificate table runs past its end
// is refused, though its answer was whole.
std::vector<WholeRun> SignedInstallerCases() {
    WholeRun whole = Succeeding("InstallerSignedWholehttps", Endpoint::Https);
    whole.installerImage = InstallerImage::SignedWhole;
    WholeRun cut = InstallerFailing("InstallerSignedCuthttp", Endpoint::Http, "");
    cut.installerImage = InstallerImage::SignedCut;
    return {whole, cut};
}

const char kInstallerPinned[] = "Velmora ActiveX 7i_jp.exe publisher pinned...";
const char kAgentPinned[] = "QLUpdate.exe publisher pinned...";
const char kOtherPublisher[] =
    "publisher not pinned___(signer: CN=Velmora Other Publisher, O=Somebody Else)";
// What WinVerifyTrust answers for a file without a signature and for one whose code no longer
// matches its signature's hash.
const char kNoSignature[] = "WinVerifyTrust fail___(ret: 0x800b0100)";
const char kBadDigest[] = "WinVerifyTrust fail___(ret: 0x80096010)";

// A copy stamped with a publisher pin (and no address, so its name gives it) starts what that
// publisher, or one below a pinned authority, signed; anything else is refused with one line:
// the installer in all five attempts and never started, the agent neither placed nor started.
WholeRun Pinned(const std::string& name, Endpoint endpoint, Pin pin) {
    WholeRun row = Succeeding(name, endpoint);
    row.pins = {pin};
    row.installerSigning = Signing::Publisher;
    row.agentSigning = Signing::Publisher;
    row.lines = {Line(kInstallerPinned),  Line(kInstallerSuccess), Line(kInstallerRun),
                 Line("SiteName: Sales"), Line(kAgentPinned),      Line(kAgentRun)};
    return row;
}

WholeRun PinRefusing(const std::string& name, Signing signing, const std::string& reason) {
    WholeRun row = InstallerFailing(name, Endpoint::Http, "");
    row.pins = {Pin::Publisher};
    row.installerSigning = signing;
    row.agentSigning = signing;
    row.agentStarted = false;
    row.programFilesNew = SiteLayout("Sales", false);
    row.lines = {Line(std::string("Velmora ActiveX 7i_jp.exe ") + reason), Line(kInstallerFail),
                 Line("SiteName: Sales"), Line(std::string("QLUpdate.exe ") + reason),
                 Line(kAgentFail)};
    return row;
}

// Without a pin, every one of those files runs as any whole program always has.
WholeRun Unpinned(const std::string& name, Signing signing) {
    WholeRun row = Completing(name, Endpoint::Https);
    row.installerSigning = signing;
    row.agentSigning = signing;
    return row;
}

std::vector<WholeRun> PublisherPinRows() {
    return {
        Pinned("PinnedPublisherCompleteshttps", Endpoint::Https, Pin::Publisher),
        Pinned("PinnedAuthorityCompleteshttp", Endpoint::Http, Pin::Authority),
        PinRefusing("PinnedRefusesOtherPublisherhttp", Signing::OtherPublisher, kOtherPublisher),
        PinRefusing("PinnedRefusesUnsignedhttp", Signing::AsBuilt, kNoSignature),
        PinRefusing("PinnedRefusesChangedBodyhttp", Signing::Tampered, kBadDigest),
        Unpinned("UnpinnedRunsPublisherSignedhttps", Signing::Publisher),
        Unpinned("UnpinnedRunsOtherPublisherSignedhttps", Signing::OtherPublisher),
        Unpinned("UnpinnedRunsChangedBodyhttps", Signing::Tampered)};
}

// A slow body is a body all the same; the pauses stay short to keep the suite quick.
std::vector<WholeRun> SlowCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    std::vector<WholeRun> cases;
    WholeRun installer = Succeeding("InstallerSlow" + scheme, endpoint);
    installer.installerFaults = "\nslow=20\n";
    cases.push_back(installer);
    WholeRun descriptor = Succeeding("DescriptorSlow" + scheme, endpoint);
    descriptor.descriptorFaults = "\nslow=50\n";
    cases.push_back(descriptor);
    WholeRun agent = Succeeding("AgentSlow" + scheme, endpoint);
    agent.agentFaults = "\nslow=20\n";
    cases.push_back(agent);
    return cases;
}

// A quiet period of seconds for the worker started by hand, so that stalls stay short.
constexpr unsigned long kShortQuietMs = 2000;
// The headers, then nothing for longer than the short quiet period and its margin; and for
// longer than the program's own.
const char kStall[] = "slow=10000";
const char kLongStall[] = "slow=90000";
// The result of a download given up as stalled, written as "%d\t%x", and the platform's error
// that tells a stall.
const char kTimedOutResult[] = "-2147471646\t80002ee2";
const char kTimedOutError[] = "Exception: 12002";
// Wine's error for a wait over http that outlasted its time-out, the socket's own
// (tests/support/windows_time_outs.h).
const char kWineTimedOutError[] = "Exception: 10060";
const char kWineTimedOutResult[] = "-2147473588\t8000274c";
// A connection taken, and no answer at all for longer than the short quiet period.
const char kMute[] = "mute=10000";
// A reset connection as the platform names it: aborted or reset, or a body that just ended
// short; and the step's result line for each.
const std::vector<std::string> kResetErrors = {"Exception: 12030", "Exception: 12031",
                                               "Download incomplete___(64 of 82)"};
const std::vector<std::string> kResetResults = {"-2147471618\t80002efe", "-2147471617\t80002eff",
                                                "-2147483610\t80000026"};

// Answers the size query, then the download's headers and nothing more: the descriptor's
// download fails as timed out, with no partial file left, and the run ends with 1603.
WholeRun DescriptorStall(const std::string& name, Endpoint endpoint, unsigned long periodMs,
                         const char* stall) {
    WholeRun c = DescriptorFailing(name, endpoint);
    c.descriptorFaults = std::string("\n") + stall + "\n";
    c.lines.push_back(Line(TimedOutLine(periodMs)));
    c.lines.push_back(Line(kTimedOutError));
    c.lines.push_back(Line(kTimedOutResult));
    c.lines.push_back(Line(kDescriptorFail));
    return c;
}

// Stalls, by hand with a short quiet period, and one unattended copy that stalls as long as the
// program's own period lasts: the shipped period is the one in force.
std::vector<WholeRun> StallRows() {
    std::vector<WholeRun> rows;
    for (Endpoint endpoint : {Endpoint::Http, Endpoint::Https}) {
        std::string scheme = SchemeName(endpoint);
        WholeRun descriptor =
            DescriptorStall("ByHandDescriptorStall" + scheme, endpoint, kShortQuietMs, kStall);
        rows.push_back(descriptor);

        // The first attempt stalls and is given up; the second completes.
        WholeRun installer = Succeeding("ByHandInstallerStallsOnce" + scheme, endpoint);
        installer.installerFaults = std::string("\n") + kStall + "\n";
        installer.installerFailures = 1;
        installer.lines.insert(installer.lines.begin(),
                               {Line(TimedOutLine(kShortQuietMs)), Line(kInstallerFail)});
        rows.push_back(installer);

        // The connection is taken and the request read, but not even a status line comes
        // back, neither to the size query nor to the download.
        WholeRun mute = DescriptorFailing("ByHandDescriptorNoStatusLine" + scheme, endpoint);
        mute.descriptorFaults = std::string(kMute) + "\n" + kMute + "\n";
        mute.lines.push_back(Line(TimedOutLine(kShortQuietMs)));
        mute.lines.push_back(Line(kTimedOutError));
        mute.lines.push_back(Line(TimedOutLine(kShortQuietMs)));
        mute.lines.push_back(Line(kTimedOutError));
        mute.lines.push_back(Line(kTimedOutResult));
        mute.lines.push_back(Line(kDescriptorFail));
        rows.push_back(mute);

        // A few bytes at a time, each well within the quiet period, the whole far beyond it:
        // under 8 KiB a minute. Every arrival counts, not a buffer's worth of them.
        WholeRun trickle = Succeeding("ByHandDescriptorTrickle" + scheme, endpoint);
        trickle.descriptorFaults = "\nslow=700,piece=16\n";
        rows.push_back(trickle);

        // The body comes slowly for longer than the quiet period, then the connection is
        // reset: the failure keeps the platform's error and is no stall.
        WholeRun reset =
            DescriptorFailing("ByHandDescriptorResetAfterASlowBlock" + scheme, endpoint);
        reset.descriptorFaults = "\nslow=700,piece=16,reset=64\n";
        reset.lines.push_back(OneOf(kResetErrors));
        reset.lines.push_back(OneOf(kResetResults));
        reset.lines.push_back(Line(kDescriptorFail));
        reset.absentLines = {TimedOutLine(kShortQuietMs), kTimedOutResult};
        rows.push_back(reset);
    }
    WholeRun pieces = Succeeding("ByHandInstallerTricklehttp", Endpoint::Http);
    pieces.installerFaults = "\nslow=1000,piece=32768\n";
    rows.push_back(pieces);
    for (WholeRun& row : rows) {
        row.road = Road::ByHand;
        row.quietPeriodMs = kShortQuietMs;
    }

    WholeRun shipped = DescriptorStall("DescriptorStallShippedPeriodhttp", Endpoint::Http,
                                       kShippedQuietPeriodMs, kLongStall);
    shipped.runLimitMs = kShippedQuietPeriodMs + kRunTimeoutMs;
    if (windows_time_outs::UnderWine()) {
        // A copy of the program runs without the tests' seam: Wine names its time-out by the
        // socket's error, which the program takes for what it says. The wait still ends after
        // the shipped period.
        shipped.lines = {Line(kInstallerSuccess), Line(kInstallerRun), Line(kWineTimedOutError),
                         Line(kWineTimedOutResult), Line(kDescriptorFail)};
        shipped.waitedOut = kWineTimedOutError;
    }
    rows.push_back(shipped);
    return rows;
}

// No file can be fetched at all: every attempt of the installer fails with the connection's
// error, and the descriptor's download with its result, which ends the run.
WholeRun NothingFetched(const std::string& name, Endpoint endpoint, Expect error, Expect result) {
    WholeRun c;
    c.name = name;
    c.endpoint = endpoint;
    c.installerFailures = 5;
    c.installerStarted = false;
    c.agentStarted = false;
    c.lines = {std::move(error), Line(kInstallerFail), std::move(result), Line(kDescriptorFail)};
    return c;
}

// After the connection check nobody answers: every size query and download is refused.
WholeRun ServerGoneAfterCheck(Endpoint endpoint) {
    return NothingFetched("ServerGoneAfterCheck" + SchemeName(endpoint), endpoint,
                          Line("Exception: 12029"), AnyFailureResult());
}

WholeRun ExpiredCertificate() {
    return NothingFetched("ExpiredCertificate", Endpoint::Expired, Line("Exception: 12037"),
                          Line("-2147471611\t80002f05"));
}

// Wine names an unknown authority 12045, or 12057 when it cannot build the chain at all.
WholeRun UntrustedCertificate() {
    return NothingFetched("UntrustedCertificate", Endpoint::Untrusted,
                          OneOf({"Exception: 12045", "Exception: 12057"}), AnyFailureResult());
}

// A descriptor the server publishes as it is; reading it goes wrong in the step.
WholeRun BadDescriptor(const std::string& name, Endpoint endpoint, std::string content) {
    WholeRun c = DescriptorFailing(name, endpoint);
    c.descriptor = std::move(content);
    c.badInput = true;
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

std::vector<WholeRun> DescriptorCases(Endpoint endpoint) {
    std::string scheme = SchemeName(endpoint);
    const size_t tenMiB = 10u << 20;
    std::vector<WholeRun> cases;
    cases.push_back(BadDescriptor("DescriptorEmpty" + scheme, endpoint, ""));
    cases.push_back(BadDescriptor("DescriptorBinary" + scheme, endpoint, BinaryDescriptor()));
    cases.push_back(BadDescriptor("DescriptorTenMiBLine" + scheme, endpoint,
                                  "<service>" + std::string(tenMiB, 'x') + "</service>"));

    // A name of ten MiB on one line is read, but no folder can carry it.
    WholeRun longName = DescriptorFailing("DescriptorTenMiBName" + scheme, endpoint);
    longName.badInput = true;
    longName.descriptor = "<servicename>" + std::string(tenMiB, 'A') + "</servicename>";
    longName.lines.push_back(Starting("SiteName: AAAAAAAA"));
    longName.lines.push_back(Line("Site dir create fail___"));
    longName.programFilesNew = {L"Velmora"};
    cases.push_back(longName);

    // The name ends at the zero byte; the rest of the element is not part of it.
    WholeRun zero = Succeeding("DescriptorNulInName" + scheme, endpoint);
    zero.badInput = true;
    static const char kZeroInName[] = "<servicename>Sa\0les</servicename>\n";
    zero.descriptor = std::string(kZeroInName, sizeof(kZeroInName) - 1);
    zero.lines = {Line(kInstallerRun), Line("SiteName: Sa"), Line(kAgentRun)};
    zero.site = "Sa";
    zero.programFilesNew = SiteLayout("Sa", true);
    cases.push_back(zero);

    // A name that leaves the base folder is refused before any folder is made.
    WholeRun traversal = DescriptorFailing("DescriptorLeavingTheFolder" + scheme, endpoint);
    traversal.badInput = true;
    traversal.descriptor = "<servicename>..\\..\\Windows</servicename>\n";
    traversal.lines.push_back(Line("SiteName: ..\\..\\Windows"));
    traversal.lines.push_back(Line("Site dir create fail___"));
    cases.push_back(traversal);
    return cases;
}

// "Velmora" in Program Files is a file: it is taken as present, and no site folder can be
// made inside it.
WholeRun UnwritableBase() {
    WholeRun c = DescriptorFailing("ProgramFilesVelmoraIsAFile", Endpoint::Https);
    c.arrange = FileInPlaceOfBase;
    c.verify = BaseFileUnchanged;
    c.lines.push_back(Line("SiteName: Sales"));
    c.lines.push_back(Line("Site dir create fail___"));
    return c;
}

// Hard links planted in the temporary folder under the names the installer and the descriptor
// were once saved by, to files of the user's choosing: nothing is written through them.
const char kLinkedContent[] = "a file the temporary folder's names lead to\n";

WholeRun PlantedTempLinks(Endpoint endpoint) {
    WholeRun row = Succeeding("PlantedTempLinks" + SchemeName(endpoint), endpoint);
    row.arrange = [](Run& run) {
        for (const std::wstring& link : {TempDownload(), TempDescriptor()}) {
            std::wstring target = run.folder.File(link.substr(link.rfind(L'\\') + 1) + L".linked");
            ASSERT_TRUE(WriteWholeFile(target, kLinkedContent));
            DeleteFileW(link.c_str());
            ASSERT_TRUE(CreateHardLinkW(link.c_str(), target.c_str(), nullptr));
        }
    };
    row.verify = [](Run& run) {
        for (const std::wstring& link : {TempDownload(), TempDescriptor()}) {
            std::wstring target = run.folder.File(link.substr(link.rfind(L'\\') + 1) + L".linked");
            EXPECT_TRUE(ReadWholeFile(target) == kLinkedContent)
                << "written through " << fixture::ToUtf8(link);
            EXPECT_TRUE(DeleteFileW(link.c_str())) << "the link itself stays";
        }
    };
    return row;
}

// Planted beside the program (its working folder too) and preferred to Wine's own (the ctest
// entry's overrides), not one may load.
WholeRun PlantedDlls() {
    WholeRun row = Completing("PlantedDlls", Endpoint::Http);
    row.arrange = [](Run& run) {
        for (const wchar_t* name : kPlantedNames)
            ASSERT_TRUE(CopyFileW(FixturePath(L"planted.dll").c_str(),
                                  run.folder.File(name).c_str(), FALSE));
        ASSERT_NE(fixture::EnvironmentValue(L"WINEDLLOVERRIDES").find(L"urlmon=n,b"),
                  std::wstring::npos);
    };
    row.verify = [](Run& run) {
        for (const wchar_t* name : kPlantedNames)
            EXPECT_FALSE(Exists(run.folder.File(name) + L".loaded"))
                << fixture::ToUtf8(name) << " was loaded";
    };
    return row;
}

// .log.path naming a folder: no mode writes into it, empties it or grants on it.
WholeRun LogFolder(const char* name, DWORD mode) {
    WholeRun row = Succeeding(name, Endpoint::Http);
    row.arrange = [mode](Run& run) {
        run.target = run.folder.File(L"logs");
        CreateDirectoryW(run.target.c_str(), nullptr);
        ASSERT_TRUE(WriteWholeFile(run.target + L"\\kept.txt", "kept\n"));
        run.targetMode = ModeBits(run.target);
        ASSERT_NE(run.targetMode, "unreadable");
        run.trace->SetMode(mode);
        run.trace->SetText(L".log.path", run.target);
        run.traced = false;
    };
    row.verify = [](Run& run) {
        DWORD attributes = GetFileAttributesW(run.target.c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(ReadWholeFile(run.target + L"\\kept.txt"), "kept\n");
        EXPECT_EQ(ModeBits(run.target), run.targetMode) << "a folder got the grant";
    };
    return row;
}

// .log.path naming an existing file: only the file modes write it and open it to Users; mode 2
// empties it first, mode 3 appends.
WholeRun LogFile(const char* name, DWORD mode) {
    WholeRun row = Succeeding(name, Endpoint::Http);
    row.arrange = [mode](Run& run) {
        run.target = run.folder.File(L"earlier.log");
        run.targetContent = "earlier run\n";
        ASSERT_TRUE(WriteWholeFile(run.target, run.targetContent));
        run.targetMode = ModeBits(run.target);
        ASSERT_NE(run.targetMode, "unreadable");
        run.trace->SetMode(mode);
        run.trace->SetText(L".log.path", run.target);
        run.traced = false;
    };
    row.verify = [mode](Run& run) {
        std::string content = ReadWholeFile(run.target);
        if (mode == TraceFile || mode == TraceFileAppend) {
            EXPECT_NE(ModeBits(run.target), run.targetMode) << "the log got no grant";
            EXPECT_NE(content.find(trace_test::EntryText(kStartScope)), std::string::npos);
            bool kept = content.rfind(run.targetContent, 0) == 0;
            EXPECT_EQ(kept, mode == TraceFileAppend) << content.substr(0, 80);
        } else {
            EXPECT_EQ(ModeBits(run.target), run.targetMode) << "granted without a file sink";
            EXPECT_EQ(content, run.targetContent);
        }
    };
    return row;
}

// Wine shows a Unix symbolic link to a folder as a reparse point. The site folder is refused
// with the step's own line; nothing is written or granted through the link.
WholeRun SiteFolderLink() {
    WholeRun row = DescriptorFailing("SiteFolderLink", Endpoint::Http);
    row.lines.push_back(Line("SiteName: Sales"));
    row.lines.push_back(Line("Site dir create fail___"));
    row.arrange = [](Run& run) {
        std::wstring base = ProgramFilesFolder() + L"\\Velmora";
        CreateDirectoryW(base.c_str(), nullptr);
        run.target = run.folder.File(L"elsewhere");
        CreateDirectoryW(run.target.c_str(), nullptr);
        run.targetMode = ModeBits(run.target);
        ASSERT_TRUE(RunShell(L"rm -f '" + UnixPath(SiteFolder()) + L"'; ln -s '" +
                             UnixPath(run.target) + L"' '" + UnixPath(SiteFolder()) + L"'"));
        DWORD attributes = GetFileAttributesW(SiteFolder().c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    };
    row.verify = [](Run& run) {
        EXPECT_FALSE(Exists(run.target + L"\\velmora_server.exe"));
        EXPECT_FALSE(Exists(run.target + L"\\QLUpdate.exe"));
        EXPECT_EQ(ModeBits(run.target), run.targetMode) << "the link's target got the grant";
        EXPECT_TRUE(RunShell(L"rm -f '" + UnixPath(SiteFolder()) + L"'"));
    };
    return row;
}

// Where the site folder goes and what a link in its place leads to, for the hook below.
std::wstring g_siteMovedTo;
std::wstring g_siteLinkTarget;

// Under Wine the nearest to a junction set on the site folder itself: the folder is moved away
// and a link to another folder takes its name.
bool g_siteTurned = false;

void TurnSiteFolderIntoLink() {
    if (g_siteTurned) return;
    g_siteTurned = true;
    EXPECT_TRUE(RunShell(L"mv '" + UnixPath(SiteFolder()) + L"' '" + UnixPath(g_siteMovedTo) +
                         L"' && ln -s '" + UnixPath(g_siteLinkTarget) + L"' '" +
                         UnixPath(SiteFolder()) + L"'"));
}

// The site folder becomes a link right after the step made and opened it (a seam: the hook runs
// in the worker, which runs in this process). Nothing is written or granted at the link's
// target, and the agent is not started through it.
WholeRun SiteFolderTurnedIntoLink() {
    WholeRun row = DescriptorFailing("SiteFolderTurnedIntoLinkByHand", Endpoint::Http);
    row.road = Road::ByHand;
    row.lines.push_back(Line("SiteName: Sales"));
    row.lines.push_back(Line("velmora_server.exe Copy fail___"));
    row.programFilesNew = {L"Velmora", L"Velmora\\Sales"};
    row.arrange = [](Run& run) {
        run.target = run.folder.File(L"elsewhere");
        ASSERT_TRUE(CreateDirectoryW(run.target.c_str(), nullptr));
        run.targetMode = ModeBits(run.target);
        ASSERT_NE(run.targetMode, "unreadable");
        g_siteLinkTarget = run.target;
        g_siteMovedTo = run.folder.File(L"moved");
        g_siteTurned = false;
        run.StandIn<SiteFolderMadeHook>(g_siteFolderMade, TurnSiteFolderIntoLink);
    };
    row.verify = [](Run& run) {
        EXPECT_TRUE(Exists(g_siteMovedTo)) << "the folder was not moved";
        EXPECT_EQ(NamesIn(run.target), std::set<std::wstring>()) << "written through the link";
        EXPECT_EQ(ModeBits(run.target), run.targetMode) << "the link's target got the grant";
        EXPECT_TRUE(RunShell(L"rm -f '" + UnixPath(SiteFolder()) + L"'"));
    };
    return row;
}

// Wine makes the Unix user the owner of every file: the check of an entry's owner is stood in
// for (a seam; the worker runs in this process), an entry being the user's when its name says so.
const wchar_t* const kUsersEntries[] = {L"\\planted.dll", L"\\written.txt"};

bool OwnedByAdministratorsUnlessTheUsers(HANDLE entry) {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetFinalPathNameByHandleW(entry, path, MAX_PATH, FILE_NAME_NORMALIZED);
    std::wstring name(path, length < MAX_PATH ? length : 0);
    for (const wchar_t* users : kUsersEntries) {
        size_t size = wcslen(users);
        if (name.size() >= size && _wcsicmp(name.c_str() + name.size() - size, users) == 0)
            return false;
    }
    return true;
}

void OwnersAsTheNamesSay(Run& run) {
    run.StandIn<OwnerCheckCall>(g_ownerCheck, OwnedByAdministratorsUnlessTheUsers);
}

// Everything in the site folder is the administrators': the agent runs elevated, and while it
// runs its folder is open to administrators alone; the Users grants follow its run.
WholeRun AgentRunsInAnAdminOnlyFolder() {
    WholeRun row = Succeeding("AgentRunsInAnAdminOnlyFolderByHandhttp", Endpoint::Http);
    row.road = Road::ByHand;
    row.agentFolderOpen = "0";
    row.lines = {Line("SiteName: Sales"), Line(kAgentRun),
                 Line(trace_test::EntryText("AddFileAccessAllowedRights")),
                 Line(trace_test::EntryText("AddFileAccessAllowedRights"))};
    row.arrange = [](Run& run) { OwnersAsTheNamesSay(run); };
    row.verify = [](Run&) {
        // Opened to Users in the end, as the base folder, which was never locked: the lock
        // leaves nothing behind.
        EXPECT_EQ(ModeBits(SiteFolder()), ModeBits(ProgramFilesFolder() + L"\\Velmora"));
    };
    return row;
}

// A step that ends early, after the site folder was locked, still puts the folder's own access
// list back and opens it to Users as the base: through the held folder, still open then.
WholeRun AgentFailsInAnAdminOnlyFolder() {
    WholeRun row = AgentFailing("AgentFailsInAnAdminOnlyFolderByHandhttp", Endpoint::Http);
    row.road = Road::ByHand;
    row.agentPublished = false;
    row.lines.push_back(Line(kAgentFail));
    row.arrange = [](Run& run) { OwnersAsTheNamesSay(run); };
    row.verify = [](Run&) {
        EXPECT_EQ(AccessListOf(SiteFolder()), AccessListOf(ProgramFilesFolder() + L"\\Velmora"));
    };
    return row;
}

std::wstring SiteEntry(const wchar_t* name) { return SiteFolder() + L"\\" + name; }

std::string RunsAsTheUser(const wchar_t* name) {
    return "Not owned by administrators: " + fixture::ToUtf8(SiteEntry(name)) +
           ", QLUpdate.exe runs as the user";
}

// A site folder that already holds an entry of the user's (a DLL planted there): the agent is
// started with the user's own rights, in a folder open to Users as it always was, and nothing of
// the user's is removed.
WholeRun ForeignEntryInTheSiteFolder() {
    WholeRun row = Succeeding("ForeignEntryInTheSiteFolderByHandhttp", Endpoint::Http);
    row.road = Road::ByHand;
    row.agentFolderOpen = "1";
    row.programFilesNew = {L"Velmora\\Sales\\velmora_server.exe", L"Velmora\\Sales\\QLUpdate.exe"};
    row.lines = {Line("SiteName: Sales"), Line(RunsAsTheUser(L"planted.dll")),
                 Line(trace_test::EntryText("AddFileAccessAllowedRights")), Line(kAgentRun)};
    row.arrange = [](Run& run) {
        OwnersAsTheNamesSay(run);
        ASSERT_TRUE(std::filesystem::create_directories(SiteFolder()));
        ASSERT_TRUE(WriteWholeFile(SiteEntry(L"planted.dll"), "the user's"));
    };
    row.verify = [](Run&) { EXPECT_EQ(ReadWholeFile(SiteEntry(L"planted.dll")), "the user's"); };
    return row;
}

// A second run after the agent, started as the user, wrote a file of its own in its folder:
// the run completes, again with the user's rights for the agent, and the file stays.
WholeRun RerunAfterTheAgentWroteAsTheUser() {
    WholeRun row = Succeeding("RerunAfterTheAgentWroteAsTheUserByHandhttp", Endpoint::Http);
    row.road = Road::ByHand;
    row.agentFolderOpen = "1";
    row.programFilesNew = {};
    row.lines = {Line("SiteName: Sales"), Line(RunsAsTheUser(L"written.txt")), Line(kAgentRun)};
    row.arrange = [](Run& run) {
        OwnersAsTheNamesSay(run);
        ASSERT_TRUE(std::filesystem::create_directories(SiteFolder()));
        ASSERT_TRUE(WriteWholeFile(SiteEntry(L"velmora_server.exe"), kGoodDescriptor));
        ASSERT_TRUE(CopyProgram(FixturePath(L"fake_agent.exe"), SiteEntry(L"QLUpdate.exe")));
        ASSERT_TRUE(WriteWholeFile(SiteEntry(L"written.txt"), "the agent's, as the user"));
    };
    row.verify = [](Run&) {
        EXPECT_EQ(ReadWholeFile(SiteEntry(L"written.txt")), "the agent's, as the user");
    };
    return row;
}

std::vector<WholeRun> UnprivilegedRows() {
    return {PlantedDlls(),
            LogFolder("LogFolderOff", TraceOff),
            LogFolder("LogFolderConsole", TraceConsole),
            LogFolder("LogFolderFile", TraceFile),
            LogFolder("LogFolderAppend", TraceFileAppend),
            LogFile("LogFileOff", TraceOff),
            LogFile("LogFileConsole", TraceConsole),
            LogFile("LogFileFile", TraceFile),
            LogFile("LogFileAppend", TraceFileAppend),
            SiteFolderLink(),
            SiteFolderTurnedIntoLink(),
            AgentRunsInAnAdminOnlyFolder(),
            AgentFailsInAnAdminOnlyFolder(),
            ForeignEntryInTheSiteFolder(),
            RerunAfterTheAgentWroteAsTheUser()};
}

// The user ends the wizard by closing it before any installation step ran: on the address
// page of a copy without an address, and after an unattended copy's check found nobody.
std::vector<WholeRun> UserEndRows() {
    std::vector<WholeRun> rows;
    for (Endpoint endpoint : {Endpoint::NoAddress, Endpoint::Unreachable}) {
        WholeRun row;
        row.name = endpoint == Endpoint::NoAddress ? "CloseOnTheAddressPage"
                                                   : "CloseAfterAnUnreachableService";
        row.road = Road::ClosedByUser;
        row.endpoint = endpoint;
        row.installerStarted = false;
        row.agentStarted = false;
        if (endpoint == Endpoint::Unreachable) row.lines = {Line("Server web connect fail___")};
        rows.push_back(row);
    }
    return rows;
}

// Started by hand, outside automatic mode: the installer gets no parameters, the page's
// buttons and the wizard's state follow the steps, and a click on Prev the moment the worker
// starts leaves nothing half done.
std::vector<WholeRun> ByHandRows() {
    WholeRun everything = Succeeding("ByHandEverythingPublishedhttp", Endpoint::Http);
    WholeRun fiveTimes = InstallerFailing("ByHandInstallerFailsFiveTimeshttp", Endpoint::Http,
                                          Repeat("status=500", 10));
    WholeRun third = Succeeding("ByHandInstallerSucceedsAtTheThirdAttempthttps", Endpoint::Https);
    third.installerFaults = Repeat("status=500", 4);
    third.installerFailures = 2;
    third.lines = {Line(kInstallerFail), Line(kInstallerFail), Line(kInstallerSuccess),
                   Line(kInstallerRun)};
    WholeRun missing = InstallerFailing("ByHandInstallerMissinghttps", Endpoint::Https, "");
    missing.installerImage = InstallerImage::Missing;
    missing.lines = {Line("HttpStatus fail___(404)"), Line(kAgentRun)};
    WholeRun noStartTag =
        BadDescriptor("ByHandDescriptorWithoutStartTaghttp", Endpoint::Http, "<service/>\n");
    WholeRun prevAtStart = Succeeding("ByHandPrevRightAfterTheWorkerStartshttp", Endpoint::Http);
    prevAtStart.prevAtWorkerStart = true;
    std::vector<WholeRun> rows = {everything, fiveTimes, third, missing, noStartTag, prevAtStart};
    for (WholeRun& row : rows) row.road = Road::ByHand;
    return rows;
}

// A published file that is not there at all: the server's own answer for a missing file.
std::vector<WholeRun> MissingFileRows() {
    WholeRun descriptor = DescriptorFailing("DescriptorMissinghttps", Endpoint::Https);
    descriptor.descriptorPublished = false;
    descriptor.lines.push_back(Line("-2147483244\t80000194"));
    descriptor.lines.push_back(Line(kDescriptorFail));
    WholeRun agent = AgentFailing("AgentMissinghttp", Endpoint::Http);
    agent.agentPublished = false;
    agent.lines.push_back(Line(kAgentFail));
    return {descriptor, agent};
}

// Through a proxy, as companies reach their service: the user's system proxy points at squid
// (tools/with-proxy.sh), whose access log must show every request of the run: the size query and
// the download of each file, over http as a GET of the whole URL and over https as a tunnel of
// its own.
// Wine's connection check opens its own connection to the service, past the proxy: it shows in
// no log line, and the run goes on all the same.
std::vector<WholeRun> ProxyRows() {
    if (!ProxyRuns()) return {};
    const char* const files[] = {"/app/Velmora%20ActiveX%207i_jp.exe",
                                 "/app/update/velmora_server.exe", "/app/update/QLUpdate.exe"};
    WholeRun http = Completing("ProxyCompletesHttp", Endpoint::Http);
    // A tunnel kept open would carry the next request unseen: every answer closes its own.
    WholeRun https = Completing("ProxyCompletesHttps", Endpoint::Https);
    https.installerFaults = https.descriptorFaults = https.agentFaults = Repeat("close", 2);
    // A proxy that refuses the installer to this program: the installer step fails five times
    // with the proxy's 403, and the update-agent step runs all the same.
    WholeRun refused = InstallerFailing("ByHandProxyRefusesTheInstallerhttp", Endpoint::Http, "");
    refused.road = Road::ByHand;
    refused.lines.insert(refused.lines.begin(), Line("HttpStatus fail___(403)"));
    for (const char* file : files) {
        for (int request = 0; request < 2; ++request) {
            http.proxied.push_back(std::string("GET {root}") + file + " 200");
            https.proxied.push_back("CONNECT {server} 200");
        }
    }
    for (int request = 0; request < 10; ++request)
        refused.proxied.push_back(std::string("GET {root}") + files[0] + " 403");
    for (const char* file : {files[1], files[2]}) {
        for (int request = 0; request < 2; ++request)
            refused.proxied.push_back(std::string("GET {root}") + file + " 200");
    }
    std::vector<WholeRun> rows = {http, https, refused};
    for (WholeRun& row : rows) row.throughProxy = true;
    return rows;
}

std::vector<WholeRun> AllRows() {
    std::vector<WholeRun> cases = {Completing("CompletesHttp", Endpoint::Http),
                                   Completing("CompletesHttps", Endpoint::Https)};
    for (WholeRun& c : UserEndRows()) cases.push_back(c);
    for (WholeRun& c : ByHandRows()) cases.push_back(c);
    for (WholeRun& c : UnprivilegedRows()) cases.push_back(c);
    for (WholeRun& c : MissingFileRows()) cases.push_back(c);
    for (int status : {400, 404, 500}) {
        for (WholeRun& c : StatusCases(Endpoint::Https, status)) cases.push_back(c);
    }
    for (WholeRun& c : ChunkedCases(Endpoint::Https)) cases.push_back(c);
    for (WholeRun& c : CutCases(Endpoint::Https)) cases.push_back(c);
    for (WholeRun& c : SlowCases(Endpoint::Https)) cases.push_back(c);
    for (Endpoint endpoint : {Endpoint::Https, Endpoint::Http}) {
        for (WholeRun& c : SizeQueryDisagreeingCases(endpoint)) cases.push_back(c);
        for (WholeRun& c : ChunkedCutCases(endpoint)) cases.push_back(c);
        for (int status : {399, 302}) {
            for (WholeRun& c : SavedPageCases(endpoint, status)) cases.push_back(c);
        }
    }
    for (WholeRun& c : SignedInstallerCases()) cases.push_back(c);
    for (WholeRun& c : PublisherPinRows()) cases.push_back(c);
    // The platform's own download over http, for the faults whose handling differs there; a
    // second status code and a slow body would only take the same paths again.
    for (WholeRun& c : StatusCases(Endpoint::Http, 404)) cases.push_back(c);
    for (WholeRun& c : ChunkedCases(Endpoint::Http)) cases.push_back(c);
    for (WholeRun& c : CutCases(Endpoint::Http)) cases.push_back(c);
    cases.push_back(ServerGoneAfterCheck(Endpoint::ClosingHttp));
    cases.push_back(ServerGoneAfterCheck(Endpoint::ClosingHttps));
    cases.push_back(UntrustedCertificate());
    cases.push_back(ExpiredCertificate());
    for (WholeRun& c : DescriptorCases(Endpoint::Https)) cases.push_back(c);
    cases.push_back(UnwritableBase());
    cases.push_back(PlantedTempLinks(Endpoint::Https));
    cases.push_back(PlantedTempLinks(Endpoint::Http));
    for (WholeRun& c : StallRows()) cases.push_back(c);
    for (WholeRun& c : ProxyRows()) cases.push_back(c);
    return cases;
}

// What the rows did, written once at the end.
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
            "whole runs: %d runs, %d faulty answers served, %d faults around the program, "
            "%d bad descriptors tried\n",
            g_tally.runs, g_tally.faultyAnswers, g_tally.surroundingFaults, g_tally.badInputs);
    }
};
::testing::Environment* const g_tallyReport = ::testing::AddGlobalTestEnvironment(new TallyReport);

bool AroundTheProgram(const WholeRun& row) {
    return row.arrange || (row.endpoint != Endpoint::Http && row.endpoint != Endpoint::Https);
}

class WholeRunTest : public ::testing::TestWithParam<WholeRun> {};

TEST_P(WholeRunTest, EndsWithItsOutcome) {
    const WholeRun& row = GetParam();
    WholeRunner runner(row);
    runner.Go();
    ++g_tally.runs;
    g_tally.faultyAnswers += runner.FaultyAnswers();
    if (AroundTheProgram(row)) ++g_tally.surroundingFaults;
    if (row.badInput) ++g_tally.badInputs;
}

INSTANTIATE_TEST_SUITE_P(Rows, WholeRunTest, ::testing::ValuesIn(AllRows()),
                         [](const ::testing::TestParamInfo<WholeRun>& info) {
                             return info.param.name;
                         });

}  // namespace
