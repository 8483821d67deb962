// The site-name check: whatever it lets through must stay one plain directory below the base.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_text.h"
#include "sys/path_text.h"

using fuzztext::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring name = fuzztext::Wide(std::string(reinterpret_cast<const char*>(data), size));
    if (!IsPlainFileName(name)) return 0;

    Require(!name.empty() && name != L"." && name != L"..", "empty, . or .. accepted");
    for (wchar_t c : name) {
        Require(c >= 0x20 && c != 0x7F, "control character accepted");
        Require(std::wstring(L"\\/:<>\"|?*").find(c) == std::wstring::npos,
                "separator, colon or forbidden character accepted");
    }
    Require(name.back() != L'.' && name.back() != L' ', "trailing dot or space accepted");
    Require(!IsPlainFileName(L"..\\" + name) && !IsPlainFileName(name + L"/x") &&
                !IsPlainFileName(name + L":s") && !IsPlainFileName(name + L"."),
            "a safe name stays safe with a path or stream around it");
    return 0;
}
