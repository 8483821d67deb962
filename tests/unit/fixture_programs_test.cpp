#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sys/scoped_handle.h"
#include "tests/support/child_process.h"
#include "tests/fixtures/fixture_record.h"

namespace {

constexpr DWORD kChildTimeoutMs = 30000;

// Starts a program in a working directory and waits for it; its exit code, or -1 when it
// could not be started or did not end in time.
long RunIn(const std::wstring& workingFolder, const std::wstring& program,
           const std::wstring& arguments) {
    ChildProcess child;
    if (!child.Start(program, arguments, nullptr, 0, workingFolder.c_str())) return -1;
    return child.WaitForExit(kChildTimeoutMs);
}

std::map<std::string, std::string> ParseRecord(const std::string& text) {
    std::map<std::string, std::string> record;
    for (const std::string& line : testfiles::SplitLines(text)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return record;
}

class RecordVariable {
  public:
    explicit RecordVariable(const wchar_t* value) {
        SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", value);
    }
    ~RecordVariable() { SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", nullptr); }
    RecordVariable(const RecordVariable&) = delete;
    RecordVariable& operator=(const RecordVariable&) = delete;
};

struct FixtureCase {
    const char* label;
    const wchar_t* program;
    const wchar_t* arguments;  // nullptr: the program's path alone
    const wchar_t* workingFolderBelowScratch;
    bool descriptorInWorkingFolder;
    const char* descriptorBeside;  // nullptr: not recorded
};

TEST(FixturePrograms, RecordHowTheyWereStarted) {
    TempFolder scratch(L"fixtures");
    const std::wstring record = scratch.File(L"record.txt");
    RecordVariable variable(record.c_str());
    const FixtureCase cases[] = {
        {"silent installer", L"fake_installer", L"/verysilent", L"Temp", false, nullptr},
        {"installer without parameters", L"fake_installer", nullptr, L"Temp", false, nullptr},
        {"agent beside the descriptor", L"fake_agent", L"-ou", L"Sales", true, "1"},
        {"agent without the descriptor", L"fake_agent", L"-ou", L"Sales", false, "0"},
        {"agent in a korean site directory", L"fake_agent", L"-ou", L"\xC601\xC5C5\xBD80", true,
         "1"},
    };
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::wstring workingFolder = scratch.File(c.workingFolderBelowScratch);
        CreateDirectoryW(workingFolder.c_str(), nullptr);
        const std::wstring descriptor = workingFolder + L"\\velmora_server.exe";
        DeleteFileW(descriptor.c_str());
        if (c.descriptorInWorkingFolder) {
            ASSERT_TRUE(WriteWholeFile(descriptor, "<servicename>Sales</servicename>\n"));
        }
        DeleteFileW(record.c_str());

        const std::wstring program = FixturePath((std::wstring(c.program) + L".exe").c_str());
        std::wstring commandLine = L"\"" + program + L"\"";
        if (c.arguments != nullptr) commandLine += std::wstring(L" ") + c.arguments;
        EXPECT_EQ(RunIn(workingFolder, program, c.arguments != nullptr ? c.arguments : L""), 0);

        std::map<std::string, std::string> seen = ParseRecord(ReadWholeFile(record));
        EXPECT_EQ(seen["program"], fixture::ToUtf8(c.program));
        EXPECT_EQ(seen["command_line"], fixture::ToUtf8(commandLine));
        EXPECT_EQ(seen["working_dir"], fixture::ToUtf8(workingFolder));
        if (c.descriptorBeside != nullptr) {
            EXPECT_EQ(seen["descriptor_beside"], c.descriptorBeside);
        } else {
            EXPECT_EQ(seen.count("descriptor_beside"), 0u);
        }
        DeleteFileW(descriptor.c_str());
        RemoveDirectoryW(workingFolder.c_str());
    }
}

TEST(FixturePrograms, RecordsOfSeveralRunsFollowEachOther) {
    TempFolder scratch(L"fixtures_append");
    const std::wstring record = scratch.File(L"record.txt");
    RecordVariable variable(record.c_str());
    const std::wstring installer = FixturePath(L"fake_installer.exe");
    const std::wstring agent = FixturePath(L"fake_agent.exe");
    ASSERT_EQ(RunIn(scratch.Path(), installer, L"/verysilent"), 0);
    ASSERT_EQ(RunIn(scratch.Path(), agent, L"-ou"), 0);
    std::vector<std::string> programs;
    for (const std::string& line : testfiles::SplitLines(ReadWholeFile(record))) {
        if (line.compare(0, 8, "program=") == 0) programs.push_back(line.substr(8));
    }
    EXPECT_EQ(programs, (std::vector<std::string>{"fake_installer", "fake_agent"}));
}

TEST(FixturePrograms, WithoutTheVariableTheRecordGoesToTheTemporaryFolder) {
    SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", nullptr);
    const std::wstring record = testfiles::TempRoot() + L"\\velmora_fixture_record.txt";
    DeleteFileW(record.c_str());
    TempFolder scratch(L"fixtures_default");
    const std::wstring installer = FixturePath(L"fake_installer.exe");
    ASSERT_EQ(RunIn(scratch.Path(), installer, L""), 0);
    std::map<std::string, std::string> seen = ParseRecord(ReadWholeFile(record));
    EXPECT_EQ(seen["program"], "fake_installer");
    EXPECT_EQ(seen["working_dir"], fixture::ToUtf8(scratch.Path()));
    DeleteFileW(record.c_str());
}

}  // namespace
