#pragma once

// The program's resource script read at test time, so that the tests compare the built program
// with its source: the string table, the dialog templates and the file version.

#include <windows.h>
#include <cstdlib>
#include <commctrl.h>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "sys/text_convert.h"
#include "tests/support/test_files.h"

namespace resource_script {

inline std::wstring ReadSource(const wchar_t* relativePath) {
    return CodePageToWide(CP_UTF8,
                          ReadWholeFile(std::wstring(VELMORA_SOURCE_DIR_W) + L"\\" + relativePath));
}

// The "#define NAME number" lines of res/resource.h, and the two ids the script takes from
// the platform's headers.
inline std::map<std::wstring, int> ResourceIds() {
    std::map<std::wstring, int> ids = {{L"IDOK", IDOK}, {L"IDCANCEL", IDCANCEL}};
    std::wstring header = ReadSource(L"res\\resource.h");
    static const std::wregex define(LR"(#define\s+(\w+)\s+(-?\d+))");
    for (std::wsregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it)
        ids[(*it)[1]] = std::stoi((*it)[2]);
    return ids;
}

// A quoted text of the script as it reads, with "\n" and "" undone.
inline std::wstring Unquoted(const std::wstring& raw) {
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
    return text;
}

// Every entry of the STRINGTABLE block, id by number or by name, with "\n" and "" undone.
inline std::map<UINT16, std::wstring> StringTable() {
    std::wstring script = ReadSource(L"res\\velmora_setup.rc");
    size_t begin = script.find(L"\nSTRINGTABLE");
    size_t end = script.find(L"\nEND", begin);
    std::wstring block = script.substr(begin, end - begin);
    std::map<std::wstring, int> ids = ResourceIds();
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
        int id = iswdigit(name[0]) ? std::stoi(name) : ids.at(name);
        table[static_cast<UINT16>(id)] = Unquoted(m[2]);
    }
    return table;
}

// The value of "A | B | ..." from the style names the script uses; nullopt for a name this
// table does not know, so that a new name fails the comparison instead of counting as zero.
inline std::optional<DWORD> StyleValue(const std::wstring& expression) {
    static const std::map<std::wstring, DWORD> names = {{L"WS_CHILD", WS_CHILD},
                                                        {L"WS_VISIBLE", WS_VISIBLE},
                                                        {L"WS_POPUP", WS_POPUP},
                                                        {L"WS_CAPTION", WS_CAPTION},
                                                        {L"WS_SYSMENU", WS_SYSMENU},
                                                        {L"WS_BORDER", WS_BORDER},
                                                        {L"WS_TABSTOP", WS_TABSTOP},
                                                        {L"WS_GROUP", WS_GROUP},
                                                        {L"DS_SETFONT", DS_SETFONT},
                                                        {L"DS_FIXEDSYS", DS_FIXEDSYS},
                                                        {L"DS_MODALFRAME", DS_MODALFRAME},
                                                        {L"DS_CONTROL", DS_CONTROL},
                                                        {L"BS_PUSHBUTTON", BS_PUSHBUTTON},
                                                        {L"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
                                                        {L"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
                                                        {L"BS_GROUPBOX", BS_GROUPBOX},
                                                        {L"ES_LEFT", ES_LEFT},
                                                        {L"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
                                                        {L"ES_NUMBER", ES_NUMBER},
                                                        {L"SS_LEFT", SS_LEFT},
                                                        {L"SS_ICON", SS_ICON},
                                                        {L"SS_ETCHEDHORZ", SS_ETCHEDHORZ},
                                                        {L"SS_NOPREFIX", SS_NOPREFIX},
                                                        {L"PBS_SMOOTH", PBS_SMOOTH}};
    DWORD value = 0;
    static const std::wregex name(LR"(\w+)");
    for (std::wsregex_iterator it(expression.begin(), expression.end(), name), end; it != end;
         ++it) {
        auto found = names.find(it->str());
        if (found == names.end()) return std::nullopt;
        value |= found->second;
    }
    return value;
}

// The block of the dialog template named name, from its DIALOGEX line to its END.
inline std::wstring DialogBlock(const std::wstring& name) {
    std::wstring script = ReadSource(L"res\\velmora_setup.rc");
    size_t begin = script.find(L"\n" + name + L" DIALOGEX");
    if (begin == std::wstring::npos) return std::wstring();
    size_t end = script.find(L"\nEND", begin);
    return script.substr(begin, end - begin);
}

// The STYLE line of the dialog template named name.
inline std::optional<DWORD> DialogStyle(const std::wstring& name) {
    std::wstring block = DialogBlock(name);
    static const std::wregex style(LR"(\nSTYLE\s+([^\r\n]+))");
    std::wsmatch m;
    if (!std::regex_search(block, m, style)) return std::nullopt;
    return StyleValue(m[1]);
}

// One CONTROL line of a dialog template.
struct DialogControl {
    int id;
    std::wstring className;
    std::optional<std::wstring> text;  // none: a resource named instead (an icon)
    std::optional<DWORD> style;
    RECT dialogUnits;  // x, y, width, height
};

// The CONTROL lines of the dialog template named name, in the script's order.
inline std::vector<DialogControl> DialogControls(const std::wstring& name) {
    std::wstring block = DialogBlock(name);
    std::map<std::wstring, int> ids = ResourceIds();
    static const std::wregex control(
        LR"re(\n\s*CONTROL\s+("((?:[^"]|"")*)"|\w+)\s*,\s*(\w+)\s*,\s*"([^"]*)"\s*,\s*([^,]+?)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+))re");
    std::vector<DialogControl> controls;
    for (std::wsregex_iterator it(block.begin(), block.end(), control), end; it != end; ++it) {
        const std::wsmatch& m = *it;
        DialogControl entry;
        entry.id = ids.at(m[3]);
        entry.className = m[4];
        if (m[2].matched) entry.text = Unquoted(m[2]);
        entry.style = StyleValue(m[5]);
        entry.dialogUnits = {std::stoi(m[6]), std::stoi(m[7]), std::stoi(m[8]), std::stoi(m[9])};
        controls.push_back(entry);
    }
    return controls;
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
