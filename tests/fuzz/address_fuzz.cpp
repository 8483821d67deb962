// The file-name address rule and the preset split, on any program file name.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/module_name_address.h"
#include "ui/preset_split.h"
#include "fuzz_text.h"

using fuzztext::Require;

namespace {

std::vector<std::wstring> SplitAtUnderscores(const std::wstring& name) {
    std::vector<std::wstring> fields(1);
    for (wchar_t c : name) {
        if (c == L'_') {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

bool AllDigits(const std::wstring& text) {
    return text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// The decimal value of ASCII digits, held at INT_MAX as the C library's conversion holds it.
int SaturatedValue(const std::wstring& digits) {
    long long value = 0;
    for (wchar_t c : digits) {
        value = value * 10 + (c - L'0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

void CheckFileNameRule(const std::wstring& name) {
    std::wstring preset = L"unchanged";
    int https = 7;
    bool parsed = ParseModuleNameAddress(name, preset, https);

    std::vector<std::wstring> fields = SplitAtUnderscores(name);
    size_t n = fields.size();
    bool carriesAddress = n >= 4 && !fields[n - 3].empty() && !fields[n - 2].empty() &&
                          !fields[n - 1].empty() && AllDigits(fields[n - 1]);
    Require(parsed == carriesAddress, "file name rule disagrees with its three fields");
    if (!parsed) {
        Require(preset == L"unchanged" && https == 7, "a refused name changed the outputs");
        return;
    }
    const std::wstring& scheme = fields[n - 3];
    const std::wstring& host = fields[n - 2];
    const std::wstring& port = fields[n - 1];
    Require(preset == host + L":" + port, "preset address is not host:port");
    Require(https == (scheme == L"https" ? 1 : 0), "https flag does not follow the scheme word");

    // Windows file names hold no colon; a host that starts with one leaves the whole preset as
    // host, as the split is documented to do.
    PresetHostPort split = SplitPresetAddress(preset);
    if (host[0] == L':') {
        Require(!split.hasPort && split.host == preset, "colon-led host split anyway");
        return;
    }
    Require(split.hasPort, "a preset from a file name lost its port");
    Require(split.host == host.substr(0, host.find(L':')), "split host is not the first part");
    Require(split.port == SaturatedValue(port), "split port is not the file name's number");
}

void CheckPresetSplit(const std::wstring& text) {
    PresetHostPort split = SplitPresetAddress(text);
    size_t firstColon = text.find(L':');
    if (firstColon == std::wstring::npos || firstColon == 0) {
        Require(!split.hasPort && split.port == 80 && split.host == text,
                "a text without a leading host split anyway");
        return;
    }
    Require(split.hasPort, "host:port text without a port");
    Require(split.host == text.substr(0, firstColon), "split host is not the text's front");
    std::wstring after = text.substr(text.rfind(L':') + 1);
    if (!after.empty() && AllDigits(after)) {
        Require(split.port == SaturatedValue(after), "split port is not the digits' value");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = fuzztext::Wide(std::string(reinterpret_cast<const char*>(data), size));
    CheckFileNameRule(text);
    CheckPresetSplit(text);
    return 0;
}
