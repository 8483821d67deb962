#include "ui/preset_split.h"

#include <algorithm>
#include <climits>
#include <cwchar>

PresetHostPort SplitPresetAddress(const std::wstring& presetAddress) {
    PresetHostPort split;
    size_t firstColon = presetAddress.find(L':');
    if (firstColon == std::wstring::npos || firstColon == 0) {
        split.host = presetAddress;
        return split;
    }
    size_t lastColon = presetAddress.rfind(L':');
    // wcstol saturates on overflow where _wtoi has no defined result; the clamp keeps that
    // saturation where long is wider than int.
    long port = std::wcstol(presetAddress.c_str() + lastColon + 1, nullptr, 10);
    split.port = static_cast<int>(std::clamp<long>(port, INT_MIN, INT_MAX));
    split.hasPort = true;
    split.host = presetAddress.substr(0, firstColon);
    return split;
}
