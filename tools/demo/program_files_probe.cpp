// Prints the Program Files folder as a program of this build's own kind is given it, through
// the call the setup itself makes. Which Wine loader starts a script's helper (cmd, reg) is
// the host's choice, and a 32-bit helper answers with the 32-bit folder; this program is built
// with the setup and so always answers for it.
#include <windows.h>
#include <shlobj.h>

#include <string>

int wmain() {
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) return 1;
    int size = WideCharToMultiByte(CP_UTF8, 0, folder, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return 1;
    std::string text(static_cast<size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder, -1, &text[0], size, nullptr, nullptr);
    text += '\n';
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                   written == text.size()
               ? 0
               : 1;
}
