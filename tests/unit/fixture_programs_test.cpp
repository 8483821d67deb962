#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sys/scoped_handle.h"
#include "tests/support/test_files.h"

namespace {

using testfiles::ScratchDir;

constexpr DWORD kChildTimeoutMs = 30000;

std::wstring FixturePath(const wchar_t* name) {
    return std::wstring(VELMORA_BINARY_DIR_W) + L"\\fixtures\\" + name + L".exe";
}

std::string ToUtf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0],
                            size, nullptr, nullptr);
    }
    return narrow;
}

// Starts a program in a working directory and waits for it; its exit code, or -1 when it
// could not be started or did not end in time.
long RunChild(const std::wstring& program, const std::wstring& commandLine,
              const std::wstring& workingDir) {
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.c_str(), &startup, &info)) {
        return -1;
    }
    ScopedKernelHandle process(info.hProcess);
    ScopedKernelHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), kChildTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        return -1;
    }
    DWORD exitCode = 0;
    return GetExitCodeProcess(process.Get(), &exitCode) ? static_cast<long>(exitCode) : -1;
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
    const wchar_t* workingDirBelowScratch;
    bool descriptorInWorkingDir;
    const char* descriptorBeside;  // nullptr: not recorded
};

TEST(FixturePrograms, RecordHowTheyWereStarted) {
    ScratchDir scratch(L"fixtures");
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
        const std::wstring workingDir = scratch.File(c.workingDirBelowScratch);
        CreateDirectoryW(workingDir.c_str(), nullptr);
        const std::wstring descriptor = workingDir + L"\\velmora_server.exe";
        DeleteFileW(descriptor.c_str());
        if (c.descriptorInWorkingDir) {
            ASSERT_TRUE(testfiles::WriteBytes(descriptor, "<servicename>Sales</servicename>\n"));
        }
        DeleteFileW(record.c_str());

        const std::wstring program = FixturePath(c.program);
        std::wstring commandLine = L"\"" + program + L"\"";
        if (c.arguments != nullptr) commandLine += std::wstring(L" ") + c.arguments;
        EXPECT_EQ(RunChild(program, commandLine, workingDir), 0);

        std::map<std::string, std::string> seen = ParseRecord(testfiles::ReadBytes(record));
        EXPECT_EQ(seen["program"], ToUtf8(c.program));
        EXPECT_EQ(seen["command_line"], ToUtf8(commandLine));
        EXPECT_EQ(seen["working_dir"], ToUtf8(workingDir));
        if (c.descriptorBeside != nullptr) {
            EXPECT_EQ(seen["descriptor_beside"], c.descriptorBeside);
        } else {
            EXPECT_EQ(seen.count("descriptor_beside"), 0u);
        }
        DeleteFileW(descriptor.c_str());
        RemoveDirectoryW(workingDir.c_str());
    }
}

TEST(FixturePrograms, RecordsOfSeveralRunsFollowEachOther) {
    ScratchDir scratch(L"fixtures_append");
    const std::wstring record = scratch.File(L"record.txt");
    RecordVariable variable(record.c_str());
    const std::wstring installer = FixturePath(L"fake_installer");
    const std::wstring agent = FixturePath(L"fake_agent");
    ASSERT_EQ(RunChild(installer, L"\"" + installer + L"\" /verysilent", scratch.Path()), 0);
    ASSERT_EQ(RunChild(agent, L"\"" + agent + L"\" -ou", scratch.Path()), 0);
    std::vector<std::string> programs;
    for (const std::string& line : testfiles::SplitLines(testfiles::ReadBytes(record))) {
        if (line.compare(0, 8, "program=") == 0) programs.push_back(line.substr(8));
    }
    EXPECT_EQ(programs, (std::vector<std::string>{"fake_installer", "fake_agent"}));
}

TEST(FixturePrograms, WithoutTheVariableTheRecordGoesToTheTemporaryFolder) {
    SetEnvironmentVariableW(L"VELMORA_FIXTURE_RECORD", nullptr);
    const std::wstring record = testfiles::TempRoot() + L"\\velmora_fixture_record.txt";
    DeleteFileW(record.c_str());
    ScratchDir scratch(L"fixtures_default");
    const std::wstring installer = FixturePath(L"fake_installer");
    ASSERT_EQ(RunChild(installer, L"\"" + installer + L"\"", scratch.Path()), 0);
    std::map<std::string, std::string> seen = ParseRecord(testfiles::ReadBytes(record));
    EXPECT_EQ(seen["program"], "fake_installer");
    EXPECT_EQ(seen["working_dir"], ToUtf8(scratch.Path()));
    DeleteFileW(record.c_str());
}

}  // namespace
