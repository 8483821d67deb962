#include <gtest/gtest.h>

#include <string>

#include "app/module_name_address.h"
#include "ui/preset_split.h"
#include "tests/support/child_process.h"
#include "sys/path_text.h"
#include "tools/stamp/stamp_image.h"

namespace {

struct PresetCase {
    const wchar_t* fileName;
    const char* text;
    int https;
    int automatic;
};

// Program file names without stamp or settings file, and what start-up makes of them.
const PresetCase kFileNameCases[] = {
    {L"Velmora_Setup.exe", "", 0, 0},
    {L"Velmora_Setup_https_files.example.com_8443.exe", "files.example.com:8443", 1, 1},
    {L"Velmora_Setup_http_files.example.com_80.exe", "files.example.com:80", 0, 1},
    {L"Velmora_Setup_HTTPS_files.example.com_443.exe", "files.example.com:443", 0, 1},
    {L"Velmora_Setup_ftp_files.example.com_21.exe", "files.example.com:21", 0, 1},
    {L"_https_files.example.com_443.exe", "files.example.com:443", 1, 1},
    {L"https_files.example.com_443.exe", "", 0, 0},
    {L"Velmora_Setup_https__443.exe", "", 0, 0},
    {L"Velmora_Setup_https_files.example.com_443 (1).exe", "", 0, 0},
    {L"Velmora_Setup_https_files.example.com_0443.exe", "files.example.com:0443", 1, 1},
};

std::string ExpectedReport(const char* text, int https, int automatic) {
    return std::string("text=") + text + "\nhttps=" + std::to_string(https) +
           "\nautomatic=" + std::to_string(automatic) + "\npins=\n";
}

// Starts the probe copy at programPath and returns what it reports.
std::string ReportOf(const TempFolder& folder, const std::wstring& programPath) {
    std::wstring report = folder.File(L"report.txt");
    DeleteFileW(report.c_str());
    EXPECT_EQ(RunToEnd(programPath, L"\"" + report + L"\""), 0) << "probe did not run";
    return ReadWholeFile(report);
}

std::wstring NarrowToWide(const char* text) {
    std::string narrow(text);
    return std::wstring(narrow.begin(), narrow.end());
}

}  // namespace

TEST(ParseModuleNameAddress, FileNameTable) {
    for (const PresetCase& c : kFileNameCases) {
        std::wstring text = L"unchanged";
        int https = 7;
        bool parsed = ParseModuleNameAddress(StemOfPathOrEmpty(c.fileName), text, https);
        SCOPED_TRACE(testing::Message() << "file name case " << (&c - kFileNameCases));
        EXPECT_EQ(parsed, c.automatic == 1);
        if (parsed) {
            EXPECT_EQ(text, NarrowToWide(c.text));
            EXPECT_EQ(https, c.https);
        }
    }
}

// A program name without a full stop has an empty stem (path_text_test), which carries none.
TEST(ParseModuleNameAddress, EmptyStemCarriesNoAddress) {
    std::wstring text;
    int https = 0;
    EXPECT_FALSE(ParseModuleNameAddress(L"", text, https));
}

TEST(SplitPresetAddress, Table) {
    struct SplitCase {
        const wchar_t* preset;
        const wchar_t* host;
        bool hasPort;
        int port;
    };
    const SplitCase cases[] = {
        {L"files.example.com", L"files.example.com", false, 80},
        {L"files.example.com:8443", L"files.example.com", true, 8443},
        {L"files.example.com:0443", L"files.example.com", true, 443},
        {L"https://files.example.com", L"https", true, 0},
        {L"a:b:8080", L"a", true, 8080},
        {L":8080", L":8080", false, 80},
        {L"host:", L"host", true, 0},
        {L"host: 12x", L"host", true, 12},
        {L"host:-5", L"host", true, -5},
        {L"host:99999999999", L"host", true, 2147483647},
        {L"", L"", false, 80},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "preset case " << (&c - cases));
        PresetHostPort split = SplitPresetAddress(c.preset);
        EXPECT_EQ(split.host, c.host);
        EXPECT_EQ(split.hasPort, c.hasPort);
        EXPECT_EQ(split.port, c.port);
    }
}

TEST(LoadPresetAddress, FileNameTableOnRealCopies) {
    TempFolder folder(L"preset_names");
    for (const PresetCase& c : kFileNameCases) {
        std::wstring program = folder.File(c.fileName);
        ASSERT_TRUE(CopyProgram(FixturePath(L"preset_probe.exe"), program));
        SCOPED_TRACE(testing::Message() << "file name case " << (&c - kFileNameCases));
        EXPECT_EQ(ReportOf(folder, program), ExpectedReport(c.text, c.https, c.automatic));
    }
}

TEST(LoadPresetAddress, SettingsFileBeatsFileNameWithoutAutomaticMode) {
    struct SettingsCase {
        const char* content;
        const wchar_t* fileName;
        std::string expected;
    };
    const SettingsCase cases[] = {
        {"[updateurl]\r\nurl=files.example.com:8080\r\n",
         L"Velmora_Setup_https_other.example.com_443.exe",
         ExpectedReport("files.example.com:8080", 0, 0)},
        {"[updateurl]\r\nurl=files.example.com:8080\r\n", L"Velmora_Setup.exe",
         ExpectedReport("files.example.com:8080", 0, 0)},
        {"[updateurl]\r\nurl=https://files.example.com\r\n", L"Velmora_Setup.exe",
         ExpectedReport("https://files.example.com", 0, 0)},
        // Empty, other key, other section: the file name decides.
        {"[updateurl]\r\nurl=\r\n", L"Velmora_Setup_https_other.example.com_443.exe",
         ExpectedReport("other.example.com:443", 1, 1)},
        {"[updateurl]\r\naddress=files.example.com\r\n", L"Velmora_Setup.exe",
         ExpectedReport("", 0, 0)},
        {"[other]\r\nurl=files.example.com\r\n", L"Velmora_Setup_http_other.example.com_81.exe",
         ExpectedReport("other.example.com:81", 0, 1)},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "settings case " << (&c - cases));
        TempFolder folder(L"preset_settings");
        ASSERT_TRUE(WriteWholeFile(folder.File(L"Velmora_Setup.ini"), c.content));
        std::wstring program = folder.File(c.fileName);
        ASSERT_TRUE(CopyProgram(FixturePath(L"preset_probe.exe"), program));
        EXPECT_EQ(ReportOf(folder, program), c.expected);
    }
}

// The stamping tool writes ASCII only; a stamp holding a character beyond the thread's code
// page (1252 here) comes back through that code page, with a '?' in its place.
TEST(LoadPresetAddress, StampPassesThroughTheThreadCodePage) {
    ASSERT_EQ(GetACP(), 1252u);
    TempFolder folder(L"preset_code_page");
    std::string image = ReadWholeFile(FixturePath(L"preset_probe.exe"));
    std::vector<unsigned char> bytes(image.begin(), image.end());
    size_t buffer = 0;
    ASSERT_EQ(velmora_stamp::LocateBuffer(bytes, buffer), velmora_stamp::StampResult::Stamped);
    ASSERT_EQ(velmora_stamp::StampImage(bytes, "xstamped.example.com"),
              velmora_stamp::StampResult::Stamped);
    velmora_stamp::WriteUnit(bytes, buffer, u'\x0E01');
    std::wstring program = folder.File(L"Velmora_Setup.exe");
    ASSERT_TRUE(WriteWholeFile(program, std::string(bytes.begin(), bytes.end())));
    EXPECT_EQ(ReportOf(folder, program), ExpectedReport("?stamped.example.com", 0, 1));
}

TEST(LoadPresetAddress, StampBeatsSettingsFileAndFileName) {
    TempFolder folder(L"preset_stamp");
    std::string image = ReadWholeFile(FixturePath(L"preset_probe.exe"));
    std::vector<unsigned char> bytes(image.begin(), image.end());
    ASSERT_EQ(velmora_stamp::StampImage(bytes, "stamped.example.com:8443"),
              velmora_stamp::StampResult::Stamped);
    std::wstring program = folder.File(L"Velmora_Setup_https_other.example.com_443.exe");
    ASSERT_TRUE(WriteWholeFile(program, std::string(bytes.begin(), bytes.end())));

    EXPECT_EQ(ReportOf(folder, program), ExpectedReport("stamped.example.com:8443", 0, 1));
    ASSERT_TRUE(WriteWholeFile(folder.File(L"Velmora_Setup.ini"),
                               "[updateurl]\r\nurl=files.example.com:8080\r\n"));
    EXPECT_EQ(ReportOf(folder, program), ExpectedReport("stamped.example.com:8443", 0, 1));
}
