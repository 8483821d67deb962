#include <gtest/gtest.h>

#include <windows.h>
#include <io.h>
#include <shlobj.h>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/setup_program.h"
#include "install/internet_session.h"
#include "log/trace_test_hook.h"
#include "sys/dll_search_test_hook.h"
#include "sys/lazy_api.h"
#include "sys/path_text.h"
#include "sys/scoped_handle.h"
#include "tests/support/page_driver.h"
#include "tests/support/trace_files.h"

namespace {

// The headers of a PE32 or PE32+ image as far as the import tables need them.
struct ImageHeaders {
    std::vector<char> image;
    size_t sectionsAt = 0;
    WORD sections = 0;
    IMAGE_DATA_DIRECTORY imports = {};
    IMAGE_DATA_DIRECTORY delayImports = {};
    ULONGLONG imageBase = 0;

    template <typename T>
    bool Read(size_t at, T& out) const {
        if (at > image.size() || image.size() - at < sizeof(T)) return false;
        memcpy(&out, image.data() + at, sizeof(T));
        return true;
    }

    // The file offset of a relative address, found through the section that holds it.
    size_t OffsetOf(ULONGLONG address) const {
        for (WORD i = 0; i < sections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!Read(sectionsAt + i * sizeof(section), section)) return 0;
            if (address >= section.VirtualAddress &&
                address < section.VirtualAddress + section.SizeOfRawData)
                return static_cast<size_t>(address - section.VirtualAddress +
                                           section.PointerToRawData);
        }
        return 0;
    }

    std::string LowerNameAt(ULONGLONG address) const {
        std::string name;
        for (size_t at = OffsetOf(address); at != 0 && at < image.size() && image[at] != 0; ++at)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(image[at])));
        return name;
    }
};

template <typename OptionalHeader>
void ReadDirectories(ImageHeaders& headers, size_t optionalAt) {
    OptionalHeader optional;
    if (!headers.Read(optionalAt, optional)) return;
    headers.imports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    headers.delayImports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    headers.imageBase = optional.ImageBase;
}

ImageHeaders ReadImageHeaders(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    ImageHeaders headers;
    headers.image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    IMAGE_DOS_HEADER dos;
    IMAGE_FILE_HEADER fileHeader;
    WORD magic = 0;
    if (!headers.Read(0, dos) || !headers.Read(dos.e_lfanew + 4, fileHeader)) return headers;
    size_t optionalAt = dos.e_lfanew + 4 + sizeof(fileHeader);
    if (!headers.Read(optionalAt, magic)) return headers;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        ReadDirectories<IMAGE_OPTIONAL_HEADER32>(headers, optionalAt);
    else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        ReadDirectories<IMAGE_OPTIONAL_HEADER64>(headers, optionalAt);
    headers.sectionsAt = optionalAt + fileHeader.SizeOfOptionalHeader;
    headers.sections = fileHeader.NumberOfSections;
    return headers;
}

// The lower-case names of the DLLs the system loads with the program, before it runs, and of
// those its delay-load helper would look for by name on first use: the loader searches for
// both kinds the same way.
std::set<std::string> ImportedDlls(const std::wstring& path) {
    ImageHeaders headers = ReadImageHeaders(path);
    std::set<std::string> names;
    IMAGE_IMPORT_DESCRIPTOR entry;
    for (size_t at = headers.OffsetOf(headers.imports.VirtualAddress);
         at != 0 && headers.Read(at, entry) && entry.Name != 0; at += sizeof(entry))
        names.insert(headers.LowerNameAt(entry.Name));
    IMAGE_DELAYLOAD_DESCRIPTOR delayed;
    for (size_t at = headers.OffsetOf(headers.delayImports.VirtualAddress);
         at != 0 && headers.Read(at, delayed) && delayed.DllNameRVA != 0; at += sizeof(delayed)) {
        // The oldest form holds addresses, not relative ones.
        ULONGLONG name = delayed.Attributes.RvaBased ? delayed.DllNameRVA
                                                     : delayed.DllNameRVA - headers.imageBase;
        names.insert("delay-loaded " + headers.LowerNameAt(name));
    }
    return names;
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring LoadedPathOf(const wchar_t* module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(module), path, MAX_PATH);
    return path;
}

}  // namespace

// The loader looks for an imported DLL in the program's folder first unless it is a KnownDLL
// (or comes from the side-by-side store, as the common controls 6 do by the manifest); every
// other DLL is loaded from the system folder by its full path on first use.
TEST(LazyApi, SetupProgramImportsOnlyKnownDllsAndTheCommonControls) {
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                           "advapi32.dll", "msvcrt.dll", "comctl32.dll"};
    std::set<std::string> imports =
        ImportedDlls(std::wstring(VELMORA_DIST_DIR_W) + L"\\Velmora_Setup.exe");
    ASSERT_EQ(imports.count("kernel32.dll"), 1u) << "the import table was not read";
    for (const std::string& name : imports) EXPECT_EQ(allowed.count(name), 1u) << name;
}

BOOL CALLBACK FindDialogOfThread(HWND window, LPARAM found) {
    wchar_t windowClass[32] = {};
    GetClassNameW(window, windowClass, 32);
    if (lstrcmpW(windowClass, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// On a Windows 7 without KB2533623 the DLL search cannot be restricted: the program ends with
// 1603 before any call that could load a DLL, so it neither traces (an account lookup and a file
// open) nor shows a message box. Every system Wine emulates has the call, so the lookup that
// finds it stands in for such a system.
TEST(LazyApi, WithoutTheDllSearchRestrictionTheProgramRefusesToStart) {
    TempFolder folder(L"velmora_unrestricted");
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    trace_test::TraceSettings settings(NameOfPath(program));
    settings.SetMode(TraceFile);
    settings.SetText(L".log.path", folder.File(L"trace.log"));
    TestSeam<SetDefaultDllDirectoriesLookup>::Override withoutTheCall(
        g_setDefaultDllDirectoriesLookup, []() -> SetDefaultDllDirectoriesCall { return nullptr; });

    DWORD setupThread = GetCurrentThreadId();
    bool windowShown = false;
    std::thread user([&] {
        HWND dialog = nullptr;
        windowShown = WaitFor(
            [&] {
                EnumThreadWindows(setupThread, FindDialogOfThread,
                                  reinterpret_cast<LPARAM>(&dialog));
                return dialog != nullptr;
            },
            3000);
        // Anything shown (a message box, the wizard of a program that went on) is ended.
        if (windowShown) PostThreadMessageW(setupThread, WM_QUIT, 0, 0);
    });
    int exitCode = RunSetupProgram();
    user.join();

    EXPECT_EQ(exitCode, 1603);
    EXPECT_FALSE(windowShown);
    EXPECT_FALSE(Exists(folder.File(L"trace.log")));
}

TEST(LazyApi, ShellFolderMatchesTheDirectCall) {
    wchar_t direct[MAX_PATH] = {};
    wchar_t lazy[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, direct, CSIDL_PROGRAM_FILES, FALSE));
    ASSERT_TRUE(LazyApi::SHGetSpecialFolderPathW(nullptr, lazy, CSIDL_PROGRAM_FILES, FALSE));
    EXPECT_STREQ(lazy, direct);
}

TEST(LazyApi, ComApartmentOnAFreshThread) {
    HRESULT first = E_FAIL;
    HRESULT second = E_FAIL;
    std::thread worker([&] {
        first = LazyApi::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        second = LazyApi::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        LazyApi::CoUninitialize();
        LazyApi::CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(first, S_OK);
    EXPECT_EQ(second, S_FALSE);
}

// The interface thread and the installation worker may both be first to ask.
TEST(LazyApi, InternetSessionsOpenFromThreadsAtOnceAndComeFromTheSystemFolder) {
    const int kThreads = 4;
    std::vector<int> opened(kThreads, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&opened, i] {
            ScopedInternetHandle session(LazyApi::InternetOpenW(
                L"lazy_api_test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
            opened[i] = session ? 1 : 0;
        });
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(opened[i], 1) << "thread " << i;
    std::wstring loaded = LoadedPathOf(L"wininet.dll");
    std::wstring folder = SystemFolder() + L"\\";
    EXPECT_EQ(_wcsnicmp(loaded.c_str(), folder.c_str(), folder.size()), 0)
        << std::string(loaded.begin(), loaded.end());
}

// A refused connection reports failure with the system's code, as the direct call does.
TEST(LazyApi, ConnectionCheckToAClosedPortFails) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(
        LazyApi::InternetCheckConnectionW(L"http://127.0.0.1:9/", FLAG_ICC_FORCE_CONNECTION, 0));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}
