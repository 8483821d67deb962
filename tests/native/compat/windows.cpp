#include "windows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One character from the front of text (size > 0): its code point and the bytes it took. An
// ill-formed start gives the replacement character for the longest prefix that was still
// on its way to a valid sequence, at least one byte.
char32_t DecodeUtf8(const unsigned char* text, std::size_t size, std::size_t& used) {
    unsigned char lead = text[0];
    used = 1;
    if (lead < 0x80) return lead;
    std::size_t trail = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return kReplacement;
    }
    for (std::size_t i = 0; i < trail; ++i) {
        if (used >= size || text[used] < low || text[used] > high) return kReplacement;
        value = (value << 6) | (text[used] & 0x3F);
        ++used;
        low = 0x80;
        high = 0xBF;
    }
    return value;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
        return;
    }
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

// Hands over a converted text the Windows way: a zero output size asks for the size only, a
// too small one fails.
template <typename Out, typename In>
int HandOver(const In& converted, Out* buffer, int bufferLength) {
    if (converted.size() > static_cast<std::size_t>(INT32_MAX)) return 0;
    int length = static_cast<int>(converted.size());
    if (bufferLength == 0) return length;
    if (bufferLength < length) return 0;
    std::copy(converted.begin(), converted.end(), buffer);
    return length;
}

bool IsFlag(wchar_t c) { return c != 0 && std::wcschr(L"-+ #0'", c) != nullptr; }
bool IsWidthPart(wchar_t c) { return c == L'*' || (c >= L'0' && c <= L'9'); }
bool IsLengthPart(wchar_t c) { return c != 0 && std::wcschr(L"hlLjztqw", c) != nullptr; }

// Rewrites one format from the C runtime's dialect into the C library's.
template <typename Char>
std::basic_string<Char> TranslateFormat(const Char* format, bool wideFormat) {
    std::basic_string<Char> out;
    const Char* p = format;
    while (*p != 0) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        out += *p++;
        if (*p == '%') {
            out += *p++;
            continue;
        }
        while (IsFlag(*p)) out += *p++;
        while (IsWidthPart(*p)) out += *p++;
        if (*p == '.') {
            out += *p++;
            while (IsWidthPart(*p)) out += *p++;
        }
        std::basic_string<Char> length;
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            length = {'l', 'l'};
            p += 3;
        } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
            p += 3;
        } else if (p[0] == 'I') {
            length = {'z'};
            ++p;
        } else {
            while (IsLengthPart(*p)) length += *p++;
        }
        Char conversion = *p;
        if (conversion == 0) {
            out += length;
            break;
        }
        ++p;
        bool upper = conversion == 'S' || conversion == 'C';
        if (upper || conversion == 's' || conversion == 'c') {
            bool wideArgument = upper ? !wideFormat : wideFormat;
            if (length.size() == 1 && length[0] == 'h') wideArgument = false;
            if (length.size() == 1 && (length[0] == 'l' || length[0] == 'w')) wideArgument = true;
            if (wideArgument) out += 'l';
            out += upper ? static_cast<Char>(conversion - 'A' + 'a') : conversion;
        } else {
            out += length;
            out += conversion;
        }
    }
    return out;
}

bool FormatNarrowText(std::string& out, const char* format, va_list args) {
    std::string translated = TranslateFormat(format, false);
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, translated.c_str(), measure);
    va_end(measure);
    if (length < 0) return false;
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    if (std::vsnprintf(text.data(), text.size(), translated.c_str(), args) != length) return false;
    out.assign(text.data(), static_cast<std::size_t>(length));
    return true;
}

bool FormatWideText(std::wstring& out, const wchar_t* format, va_list args) {
    std::wstring translated = TranslateFormat(format, true);
    wchar_t* data = nullptr;
    std::size_t size = 0;
    FILE* stream = open_wmemstream(&data, &size);
    if (stream == nullptr) return false;
    int written = std::vfwprintf(stream, translated.c_str(), args);
    std::fclose(stream);
    if (written >= 0) out.assign(data, size);
    std::free(data);
    return written >= 0;
}

// Copies a formatted text into a buffer of count characters as _vsnprintf does: the
// terminator only when there is room for it, -1 when the text itself did not fit.
template <typename Char>
int CopyOut(const std::basic_string<Char>& text, Char* buffer, std::size_t count) {
    std::copy_n(text.c_str(), std::min(text.size() + 1, count), buffer);
    return text.size() <= count ? static_cast<int>(text.size()) : -1;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, const char* text, int length, wchar_t* wide,
                        int wideLength) {
    if (codePage != CP_UTF8 || text == nullptr || length == 0 || wideLength < 0) return 0;
    std::size_t size = length < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    std::u16string units;
    for (std::size_t at = 0; at < size;) {
        std::size_t used = 0;
        AppendUtf16(units, DecodeUtf8(bytes + at, size - at, used));
        at += used;
    }
    return HandOver(units, wide, wideLength);
}

int WideCharToMultiByte(UINT codePage, DWORD, const wchar_t* wide, int length, char* text,
                        int textLength, const char* defaultChar, BOOL* usedDefault) {
    if (codePage != CP_ACP || wide == nullptr || length == 0 || textLength < 0) return 0;
    std::size_t size = length < 0 ? std::wcslen(wide) + 1 : static_cast<std::size_t>(length);
    char fallback = defaultChar != nullptr ? *defaultChar : '?';
    std::string ascii;
    bool lost = false;
    for (std::size_t i = 0; i < size; ++i) {
        wchar_t unit = wide[i];
        if (unit >= 0 && unit < 0x80) {
            ascii.push_back(static_cast<char>(unit));
            continue;
        }
        ascii.push_back(fallback);
        lost = true;
    }
    if (usedDefault != nullptr) *usedDefault = lost ? 1 : 0;
    return HandOver(ascii, text, textLength);
}

int _vscprintf(const char* format, va_list args) {
    std::string text;
    return FormatNarrowText(text, format, args) ? static_cast<int>(text.size()) : -1;
}

int _vsnprintf(char* buffer, std::size_t count, const char* format, va_list args) {
    std::string text;
    return FormatNarrowText(text, format, args) ? CopyOut(text, buffer, count) : -1;
}

int _vscwprintf(const wchar_t* format, va_list args) {
    std::wstring text;
    return FormatWideText(text, format, args) ? static_cast<int>(text.size()) : -1;
}

int _vsnwprintf(wchar_t* buffer, std::size_t count, const wchar_t* format, va_list args) {
    std::wstring text;
    return FormatWideText(text, format, args) ? CopyOut(text, buffer, count) : -1;
}
