#pragma once

#include <windows.h>
#include <cstddef>
#include <string>

// Conversions between wide text and the multibyte text of one code page (CP_ACP,
// CP_THREAD_ACP, CP_UTF8, ...), with the system's own rules: characters the code page lacks
// become its default character, invalid sequences become replacement characters. The result is
// empty when the text is empty or the system refuses it.
std::string WideToCodePage(UINT codePage, const wchar_t* text, size_t units);
std::string WideToCodePage(UINT codePage, const std::wstring& text);
std::wstring CodePageToWide(UINT codePage, const char* text, size_t size);
std::wstring CodePageToWide(UINT codePage, const std::string& text);
