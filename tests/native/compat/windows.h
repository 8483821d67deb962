#pragma once

// The few Windows declarations the portable sources use, for their native Linux build (unit
// tests under the sanitizers and the fuzzers). Behaviour follows the Windows functions as far
// as those sources depend on it; wchar_t holds UTF-16 units here as it does on Windows, only
// in 32 bits.

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// The ANSI code page stands for plain ASCII: every other character is lost to the default.
constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// UTF-8 (CP_UTF8 only) to UTF-16 units; ill-formed input becomes U+FFFD, one for each maximal
// part of a sequence that could have begun a valid character.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, wchar_t* wide,
                        int wideLength);

// UTF-16 units to the ASCII stand-in of CP_ACP, defaultChar (or '?') for every other unit,
// each half of a surrogate pair included, as Wine does.
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int length, char* text,
                        int textLength, const char* defaultChar, BOOL* usedDefault);

// The C runtime's formatting with its own meaning of the conversions: in wide formats "%s"
// and "%c" take wide arguments and "%S"/"%C" narrow ones, "%hs" is narrow and "%ls"/"%ws" wide
// in both, "%I64" is a 64-bit and "%I" a pointer-sized length. The _vsn forms write at most
// count characters and give -1 when the text did not fit.
int _vscprintf(const char* format, va_list args);
int _vsnprintf(char* buffer, std::size_t count, const char* format, va_list args);
int _vscwprintf(const wchar_t* format, va_list args);
int _vsnwprintf(wchar_t* buffer, std::size_t count, const wchar_t* format, va_list args);
