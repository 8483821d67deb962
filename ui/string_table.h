#pragma once

#include <cstddef>
#include <string>

// Entry index (0 to 15) of one string-table block of blockChars characters: each entry is its
// length followed by that many characters. Empty when the block ends before the entry does.
std::wstring StringTableEntry(const wchar_t* block, std::size_t blockChars, unsigned index);
