#include "sys/file_copy.h"

#include <vector>

namespace {

constexpr DWORD kBlock = 64 * 1024;

bool Rewind(HANDLE file) {
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

bool CopyFileData(HANDLE from, HANDLE to) {
    if (!Rewind(from) || !Rewind(to)) return false;
    std::vector<char> block(kBlock);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, block.data(), kBlock, &read, nullptr)) return false;
        if (read == 0) return SetEndOfFile(to) != FALSE;
        DWORD written = 0;
        if (!WriteFile(to, block.data(), read, &written, nullptr) || written != read) return false;
    }
}
