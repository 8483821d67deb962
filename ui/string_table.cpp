#include "ui/string_table.h"

std::wstring StringTableEntry(const wchar_t* block, std::size_t blockChars, unsigned index) {
    std::size_t pos = 0;
    for (unsigned entry = 0; entry <= index; ++entry) {
        if (pos >= blockChars) {
            return std::wstring();
        }
        std::size_t length = block[pos++];
        if (length > blockChars - pos) {
            return std::wstring();
        }
        if (entry == index) {
            return std::wstring(block + pos, length);
        }
        pos += length;
    }
    return std::wstring();
}
