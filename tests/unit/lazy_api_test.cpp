#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "install/internet_session.h"
#include "sys/lazy_api.h"
#include "sys/scoped_handle.h"

namespace {

// The file offset of a relative address, found through the section that holds it.
size_t OffsetOfAddress(const std::vector<char>& image, const IMAGE_NT_HEADERS32& headers,
                       size_t sectionsAt, DWORD address) {
    for (WORD i = 0; i < headers.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        memcpy(&section, image.data() + sectionsAt + i * sizeof(section), sizeof(section));
        if (address >= section.VirtualAddress &&
            address < section.VirtualAddress + section.SizeOfRawData)
            return address - section.VirtualAddress + section.PointerToRawData;
    }
    return 0;
}

// The lower-case names of the DLLs the system loads with the program, before it runs.
std::set<std::string> ImportedDlls(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (image.size() < sizeof(IMAGE_DOS_HEADER)) return names;
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, image.data(), sizeof(dos));
    IMAGE_NT_HEADERS32 headers;
    if (static_cast<size_t>(dos.e_lfanew) + sizeof(headers) > image.size()) return names;
    memcpy(&headers, image.data() + dos.e_lfanew, sizeof(headers));
    size_t sectionsAt = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                        headers.FileHeader.SizeOfOptionalHeader;
    DWORD importsAt =
        headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    size_t at = OffsetOfAddress(image, headers, sectionsAt, importsAt);
    for (; at != 0 && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.size();
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR entry;
        memcpy(&entry, image.data() + at, sizeof(entry));
        if (entry.Name == 0) break;
        size_t nameAt = OffsetOfAddress(image, headers, sectionsAt, entry.Name);
        std::string name;
        for (; nameAt != 0 && nameAt < image.size() && image[nameAt] != 0; ++nameAt)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(image[nameAt])));
        names.insert(name);
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
