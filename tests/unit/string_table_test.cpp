#include <gtest/gtest.h>

#include <cstddef>

#include "ui/string_table.h"

namespace {

TEST(StringTableEntry, ReadsCountedEntries) {
    const wchar_t block[] = {0, 2, L'a', L'b', 0, 1, L'c'};
    const size_t chars = sizeof(block) / sizeof(block[0]);
    EXPECT_EQ(StringTableEntry(block, chars, 0), L"");
    EXPECT_EQ(StringTableEntry(block, chars, 1), L"ab");
    EXPECT_EQ(StringTableEntry(block, chars, 2), L"");
    EXPECT_EQ(StringTableEntry(block, chars, 3), L"c");
}

TEST(StringTableEntry, StopsAtTheEndOfACutBlock) {
    // The second entry claims more characters than the block holds.
    const wchar_t block[] = {1, L'a', 9, L'b', L'c'};
    const size_t chars = sizeof(block) / sizeof(block[0]);
    EXPECT_EQ(StringTableEntry(block, chars, 0), L"a");
    EXPECT_EQ(StringTableEntry(block, chars, 1), L"");
    EXPECT_EQ(StringTableEntry(block, chars, 2), L"");
    EXPECT_EQ(StringTableEntry(block, chars, 15), L"");
    EXPECT_EQ(StringTableEntry(block, 0, 0), L"");
}

}  // namespace
