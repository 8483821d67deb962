#include <gtest/gtest.h>

#include <io.h>
#include <cstdio>
#include <string>
#include <vector>

#include "install/service_descriptor.h"
#include "install/service_descriptor_file.h"
#include "log/func_trace.h"
#include "log/trace_test_hook.h"
#include "sys/text_convert.h"
#include "tests/support/test_files.h"

namespace {

// Switches the trace on into a file that is reopened and closed for every line, so the test
// can read it while the program goes on; the previous trace state and standard output come
// back at the end.
class TraceIntoFile {
  public:
    explicit TraceIntoFile(const std::wstring& path) {
        fflush(stdout);
        m_savedStdout = _dup(_fileno(stdout));
        DeleteFileW(path.c_str());
        TraceSinkSettings settings;
        settings.mode = TraceFileAppend;
        settings.logPath = path;
        m_saved = ReplaceTraceSinkForTesting(settings);
    }
    ~TraceIntoFile() {
        ReplaceTraceSinkForTesting(m_saved);
        if (m_savedStdout >= 0 && _wfreopen(L"NUL", L"w", stdout) != nullptr) {
            _dup2(m_savedStdout, _fileno(stdout));
        }
        if (m_savedStdout >= 0) _close(m_savedStdout);
    }
    TraceIntoFile(const TraceIntoFile&) = delete;
    TraceIntoFile& operator=(const TraceIntoFile&) = delete;

  private:
    TraceSinkSettings m_saved;
    int m_savedStdout;
};

std::string InCodePage(UINT codePage, const std::wstring& text) {
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0],
                            size, nullptr, nullptr);
    }
    return narrow;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Bytes(const char* data, size_t size) { return std::string(data, size); }

const std::string kPadding(10 * 1024 * 1024 - 5, 'x');
// The file is read in pieces of 64 KiB; this puts a CR as the last byte of the first piece.
const std::string kCrAtPieceEnd(64 * 1024 - 1, 'x');

struct DescriptorCase {
    const char* label;
    std::string bytes;
    DescriptorOutcome outcome;
    std::wstring siteName;
};

std::vector<DescriptorCase> DescriptorCases() {
    using O = DescriptorOutcome;
    return {
        {"TagNameEndTag", "<servicename>Sales</servicename>\n", O::Found, L"Sales"},
        {"AmongOtherLines",
         "<?xml version=\"1.0\"?>\n<service>\n  <servicename>Sales</servicename>\n</service>\n",
         O::Found, L"Sales"},
        {"LastLineWithoutLineEnd", "<service>\n<servicename>Sales</servicename>", O::Found,
         L"Sales"},
        {"CapitalsDoNotMatch", "<ServiceName>Sales</ServiceName>\n", O::NoStartTag, L""},
        {"CapitalsSkippedForExactTag",
         "<ServiceName>Wrong</ServiceName>\n<servicename>Sales</servicename>\n", O::Found,
         L"Sales"},
        {"SpacesKept", "<servicename>  Sales Team </servicename>\n", O::Found, L"  Sales Team "},
        {"EmptyElement", "<servicename></servicename>\n", O::Found, L""},
        {"EndTagOnNextLine", "<servicename>Sales\n</servicename>\n", O::WrongXml, L""},
        {"TwoTagLinesFirstCounts",
         "<servicename>Sales</servicename>\n<servicename>Other</servicename>\n", O::Found,
         L"Sales"},
        {"SecondTagOnSameLineEndsName", "<servicename>Sales<servicename>Other</servicename>\n",
         O::Found, L"Sales"},
        {"CrLfReadsAsLf", "<service>\r\n<servicename>Sales</servicename>\r\n</service>\r\n",
         O::Found, L"Sales"},
        {"CrLfEndsLineBeforeEndTag", "<servicename>Sales\r\n</servicename>\r\n", O::WrongXml, L""},
        {"LoneCrStaysInName", "<servicename>Sa\rles</servicename>\n", O::Found, L"Sa\rles"},
        {"KoreanName", "<servicename>\xEC\x98\x81\xEC\x97\x85\xEB\xB6\x80</servicename>\n",
         O::Found, L"\xC601\xC5C5\xBD80"},
        {"JapaneseName", "<servicename>\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89</servicename>\n",
         O::Found, L"\x3055\x304F\x3089"},
        {"ByteOrderMarkBeforeTag", "\xEF\xBB\xBF<servicename>Sales</servicename>\n", O::Found,
         L"Sales"},
        {"EndOfFileByteHidesLaterTag", "<service>\n\x1A<servicename>Sales</servicename>\n",
         O::NoStartTag, L""},
        {"EndOfFileByteCutsLine", "<servicename>Sales\x1A</servicename>\n", O::WrongXml, L""},
        {"ZeroByteEndsName", Bytes("<servicename>Sa\0les</servicename>\n", 34), O::Found, L"Sa"},
        {"ZeroByteStillNeedsEndTag", Bytes("<servicename>Sa\0les\n", 21), O::WrongXml, L""},
        {"NoStartTagLineEnded", "<service>\n<name>Sales</name>\n", O::NoStartTag, L""},
        {"NoStartTagLastLineOpen", "<service>\nSales", O::NoStartTag, L""},
        {"EmptyFile", "", O::NoStartTag, L""},
        {"CrLfAcrossReadPieces", kCrAtPieceEnd + "\r\n<servicename>Sales</servicename>\n", O::Found,
         L"Sales"},
        {"CrLfAcrossReadPiecesEndsName",
         kCrAtPieceEnd.substr(18) + "<servicename>Sales\r\n</servicename>\n", O::WrongXml, L""},
        {"TenMebibyteLine", kPadding + "<servicename>Sales</servicename>\n", O::Found, L"Sales"},
    };
}

std::string ExpectedLogMessage(const DescriptorCase& c) {
    if (c.outcome != DescriptorOutcome::Found) return "Wrong xml___";
    // The trace writes wide text through the C runtime, which the first scope sets to Korean.
    return "SiteName: " + InCodePage(949, c.siteName);
}

TEST(ServiceDescriptor, ScannerGivesTheSameReadingWholeOrByteByByte) {
    for (const DescriptorCase& c : DescriptorCases()) {
        if (c.bytes.size() > 1024 * 1024) continue;
        SCOPED_TRACE(c.label);
        DescriptorReading whole = ParseServiceDescriptor(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(whole.outcome, c.outcome);
        EXPECT_EQ(CodePageToWide(CP_UTF8, whole.siteNameUtf8), c.siteName);

        ServiceDescriptorScanner scanner;
        for (char byte : c.bytes) {
            if (!scanner.Feed(&byte, 1)) break;
        }
        DescriptorReading pieces = scanner.Finish();
        EXPECT_EQ(pieces.outcome, c.outcome);
        EXPECT_EQ(CodePageToWide(CP_UTF8, pieces.siteNameUtf8), c.siteName);
    }
}

TEST(ServiceDescriptor, ScannerStopsWantingBytesOnceSettled) {
    const std::string found = "<servicename>Sales</servicename>";
    ServiceDescriptorScanner scanner;
    EXPECT_TRUE(scanner.Feed(found.data(), 18));
    EXPECT_FALSE(scanner.Feed(found.data() + 18, found.size() - 18));
    EXPECT_FALSE(scanner.Feed("<servicename>x<", 15));
    EXPECT_EQ(scanner.Finish().siteNameUtf8, "Sales");
}

TEST(ServiceDescriptor, NameConversionKeepsUtf16Units) {
    struct Case {
        const char* label;
        std::string name;
        std::wstring site;
    };
    const Case cases[] = {
        {"beyond the basic plane", "\xF0\x9F\x98\x80x", std::wstring{0xD83D, 0xDE00, L'x'}},
        {"ill-formed byte",
         "a\xFF"
         "b",
         L"a\xFFFD"
         L"b"},
        {"name cut inside a character", std::string("\xEC\x98\0\x81", 4), L"\xFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string bytes = "<servicename>" + c.name + "</servicename>\n";
        DescriptorReading reading = ParseServiceDescriptor(bytes.data(), bytes.size());
        EXPECT_EQ(reading.outcome, DescriptorOutcome::Found);
        EXPECT_EQ(CodePageToWide(CP_UTF8, reading.siteNameUtf8), c.site);
    }
}

TEST(ServiceDescriptor, ReadSiteNameReadsFilesAndLogsThroughTheCallersScope) {
    TempFolder dir(L"descriptor");
    const std::wstring logPath = dir.File(L"trace.log");
    for (const DescriptorCase& c : DescriptorCases()) {
        SCOPED_TRACE(c.label);
        const std::wstring path = dir.File(L"velmora_server.exe");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        std::wstring siteName = L"untouched";
        bool ok;
        {
            TraceIntoFile trace(logPath);
            FuncTrace scope("DescriptorTest::Read");
            ok = ReadSiteName(scope, path, siteName);
        }
        EXPECT_EQ(ok, c.outcome == DescriptorOutcome::Found);
        EXPECT_EQ(siteName, ok ? c.siteName : std::wstring(L"untouched"));
        // The file has been closed again, whichever way the reading ended.
        EXPECT_TRUE(DeleteFileW(path.c_str()));

        std::vector<std::string> lines = testfiles::SplitLines(ReadWholeFile(logPath));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NE(lines[0].find("DescriptorTest::Read() <<<"), std::string::npos);
        EXPECT_TRUE(EndsWith(lines[1], ":    " + ExpectedLogMessage(c))) << lines[1];
        EXPECT_NE(lines[2].find("DescriptorTest::Read() >>>"), std::string::npos);
    }
}

TEST(ServiceDescriptor, ReadSiteNameTakesATenMebibyteName) {
    TempFolder dir(L"descriptor_long");
    const std::wstring path = dir.File(L"velmora_server.exe");
    ASSERT_TRUE(WriteWholeFile(path, "<servicename>" + kPadding + "</servicename>\n"));
    FuncTrace scope("DescriptorTest::Long");
    std::wstring siteName;
    ASSERT_TRUE(ReadSiteName(scope, path, siteName));
    EXPECT_EQ(siteName, std::wstring(kPadding.size(), L'x'));
}

TEST(ServiceDescriptor, ReadSiteNameReadsAFileOthersHoldOpenForWriting) {
    TempFolder dir(L"descriptor_shared");
    const std::wstring path = dir.File(L"velmora_server.exe");
    ASSERT_TRUE(WriteWholeFile(path, "<servicename>Sales</servicename>\n"));
    ScopedKernelHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer.IsValid());
    FuncTrace scope("DescriptorTest::Shared");
    std::wstring siteName;
    ASSERT_TRUE(ReadSiteName(scope, path, siteName));
    EXPECT_EQ(siteName, L"Sales");
}

TEST(ServiceDescriptor, MissingFileIsAnOpenFailure) {
    TempFolder dir(L"descriptor_missing");
    const std::wstring logPath = dir.File(L"trace.log");
    std::wstring siteName = L"untouched";
    bool ok;
    {
        TraceIntoFile trace(logPath);
        FuncTrace scope("DescriptorTest::Missing");
        ok = ReadSiteName(scope, dir.File(L"velmora_server.exe"), siteName);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(siteName, L"untouched");
    std::vector<std::string> lines = testfiles::SplitLines(ReadWholeFile(logPath));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(EndsWith(lines[1], ":    velmora_server.exe Open fail___")) << lines[1];
}

}  // namespace
