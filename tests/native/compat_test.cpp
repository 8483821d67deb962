#include <gtest/gtest.h>

#include <windows.h>
#include <cstdarg>
#include <string>

// The stand-ins decide what every native result means, so they are held to the Windows
// behaviour the portable sources count on.

namespace {

std::u16string Utf16Of(const std::string& bytes) {
    int length =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  &wide[0], length),
              length);
    return std::u16string(wide.begin(), wide.end());
}

TEST(Compat, Utf8ToUtf16ReplacesEachMaximalIllFormedPart) {
    struct Case {
        const char* label;
        std::string bytes;
        std::u16string units;
    };
    const Case cases[] = {
        {"ascii", "Sales", u"Sales"},
        {"korean", "\xEC\x98\x81\xEC\x97\x85", u"\xC601\xC5C5"},
        {"beyond the basic plane becomes a pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        {"lone continuation", "\x80", u"\xFFFD"},
        {"cut at the end", "a\xC3", u"a\xFFFD"},
        {"cut three-byte prefix is one", "\xE2\x82", u"\xFFFD"},
        {"cut prefix before ascii", "\xE2\x82x", u"\xFFFDx"},
        {"cut four-byte prefix is one", "\xF0\x9F\x98", u"\xFFFD"},
        {"overlong two-byte", "\xC0\x80", u"\xFFFD\xFFFD"},
        {"overlong three-byte", "\xE0\x80\x80", u"\xFFFD\xFFFD\xFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},
        {"never a lead byte", "\xF5\x80", u"\xFFFD\xFFFD"},
        {"byte order mark bytes", "\xFF\xFE", u"\xFFFD\xFFFD"},
        {"bad second byte kept", "\xC2\x41", u"\xFFFD\x41"},
        {"zero byte kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Utf16Of(c.bytes), c.units);
    }
}

TEST(Compat, ConversionsAskForSizeAndRefuseSmallBuffers) {
    wchar_t wide[2];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 0), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
    char narrow[8];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"ab", -1, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"ab", -1, narrow, 2, nullptr, nullptr), 0);
}

TEST(Compat, AnsiLosesEveryNonAsciiUnit) {
    const wchar_t units[] = {L'A', 0xD83D, 0xDE00, 0xC601, 0xD800, L'B', 0};
    char narrow[16];
    BOOL usedDefault = 0;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, units, -1, narrow, 16, nullptr, &usedDefault), 7);
    EXPECT_STREQ(narrow, "A????B");
    EXPECT_EQ(usedDefault, 1);
}

std::string Narrow(int count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text(count > 0 ? static_cast<size_t>(count) : 64, '#');
    int n = _vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    return n < 0 ? "(-1)" + text : text.substr(0, static_cast<size_t>(n));
}

std::wstring Wide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = _vscwprintf(format, measure);
    va_end(measure);
    std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'#');
    int n = _vsnwprintf(&text[0], text.size(), format, args);
    va_end(args);
    return n < 0 || n != length ? L"(fail)" : text.substr(0, static_cast<size_t>(n));
}

TEST(Compat, NarrowFormatsFollowTheCRuntime) {
    EXPECT_EQ(Narrow(0, "%S|%hs|%ls|%ws", L"w1", "n", L"w2", L"w3"), "w1|n|w2|w3");
    EXPECT_EQ(Narrow(0, "%I64d %Iu %I32d %%", -5LL, size_t{7}, 9), "-5 7 9 %");
    EXPECT_EQ(Narrow(0, "%-4s|%5.2s|%x", "ab", "xyz", 255u), "ab  |   xy|ff");
    // No room for the terminator: all characters, no terminator, the count; less room: -1.
    EXPECT_EQ(Narrow(3, "%s", "abc"), "abc");
    EXPECT_EQ(Narrow(2, "%s", "abc"), "(-1)ab");
}

TEST(Compat, WideFormatsTakeWideStringsForLowerCase) {
    EXPECT_EQ(Wide(L"%s|%S|%hs|%ls|%ws", L"w1", "n1", "n2", L"w2", L"w3"), L"w1|n1|n2|w2|w3");
    EXPECT_EQ(Wide(L"%c%C%5d", L'w', 'n', 42), L"wn   42");
}

TEST(Compat, UnrepresentableTextFailsTheFormatting) {
    // The C locale, as a test program starts in, holds nothing beyond ASCII.
    EXPECT_EQ(Narrow(0, "%S", L"\xC601"), "(-1)" + std::string(64, '#'));
    EXPECT_EQ(Wide(L"%S", "\xEC\x98\x81"), L"(fail)");
}

}  // namespace
