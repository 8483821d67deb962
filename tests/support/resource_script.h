#pragma once

// The program's resource script read at test time, so that the tests compare the built program
// with its source: the string table and the file version.

#include <windows.h>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>

#include "sys/text_convert.h"
#include "tests/support/test_files.h"

namespace resource_script {

inline std::wstring ReadSource(const wchar_t* relativePath) {
    return CodePageToWide(CP_UTF8,
                          ReadWholeFile(std::wstring(VELMORA_SOURCE_DIR_W) + L"\\" + relativePath));
}

// The "#define NAME number" lines of res/resource.h.
inline std::map<std::wstring, unsigned> ResourceIds() {
    std::map<std::wstring, unsigned> ids;
    std::wstring header = ReadSource(L"res\\resource.h");
    static const std::wregex define(LR"(#define\s+(\w+)\s+(\d+))");
    for (std::wsregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it)
        ids[(*it)[1]] = static_cast<unsigned>(std::stoul((*it)[2]));
    return ids;
}

// Every entry of the STRINGTABLE block, id by number or by name, with "\n" and "" undone.
inline std::map<UINT16, std::wstring> StringTable() {
    std::wstring script = ReadSource(L"res\\velmora_setup.rc");
    size_t begin = script.find(L"\nSTRINGTABLE");
    size_t end = script.find(L"\nEND", begin);
    std::wstring block = script.substr(begin, end - begin);
    std::map<std::wstring, unsigned> ids = ResourceIds();
    std::map<UINT16, std::wstring> table;
    static const std::wregex entry(LR"re(^\s*(\w+),\s*"((?:[^"]|"")*)"\s*$)re");
    size_t from = 0;
    while (from < block.size()) {
        size_t lineEnd = block.find(L'\n', from);
        if (lineEnd == std::wstring::npos) lineEnd = block.size();
        std::wstring line = block.substr(from, lineEnd - from);
        from = lineEnd + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        std::wsmatch m;
        if (!std::regex_match(line, m, entry)) continue;
        std::wstring name = m[1];
        unsigned id = iswdigit(name[0]) ? static_cast<unsigned>(std::stoul(name)) : ids.at(name);
        std::wstring raw = m[2];
        std::wstring text;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == L'\\' && i + 1 < raw.size() && raw[i + 1] == L'n') {
                text += L'\n';
                ++i;
            } else if (raw[i] == L'"' && i + 1 < raw.size() && raw[i + 1] == L'"') {
                text += L'"';
                ++i;
            } else {
                text += raw[i];
            }
        }
        table[static_cast<UINT16>(id)] = text;
    }
    return table;
}

// "a.b.c.d" from the FILEVERSION line of the version resource.
inline std::string FileVersion() {
    std::wstring script = ReadSource(L"res\\velmora_setup.rc");
    static const std::wregex version(LR"(FILEVERSION\s+(\d+),\s*(\d+),\s*(\d+),\s*(\d+))");
    std::wsmatch m;
    if (!std::regex_search(script, m, version)) return std::string();
    std::wstring text = m[1].str() + L"." + m[2].str() + L"." + m[3].str() + L"." + m[4].str();
    return std::string(text.begin(), text.end());
}

}  // namespace resource_script
