#include "ui/message_text.h"

#include "ui/string_table.h"

namespace {

// The string table holds one language only; asking for it by name keeps the lookup away from
// the thread's UI language, which the platform's own string loader would follow.
const WORD kMessageLanguage = MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN);

// Entries are stored in blocks of sixteen counted strings; block n holds ids 16(n-1) to 16n-1.
const UINT kEntriesPerBlock = 16;

}  // namespace

std::wstring LoadMessageTextFrom(HMODULE module, UINT16 id) {
    UINT blockId = id / kEntriesPerBlock + 1;
    HRSRC info = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(blockId), kMessageLanguage);
    if (info == nullptr) {
        return std::wstring();
    }
    HGLOBAL data = LoadResource(module, info);
    const WCHAR* block = data ? static_cast<const WCHAR*>(LockResource(data)) : nullptr;
    if (block == nullptr) {
        return std::wstring();
    }
    size_t blockChars = SizeofResource(module, info) / sizeof(WCHAR);
    return StringTableEntry(block, blockChars, id % kEntriesPerBlock);
}

std::wstring LoadMessageText(UINT16 id) {
    return LoadMessageTextFrom(GetModuleHandleW(nullptr), id);
}
