#pragma once

#include <string>

// The service address found before the address page opens: host or host:port without a
// scheme, the scheme flag (1 = https), and whether its source switches on automatic mode.
struct PresetAddress {
    std::wstring text;
    int https = 0;
    bool automatic = false;
};

// Tries the stamp in this program file, then "Velmora_Setup.ini" beside it (section
// "updateurl", key "url"), then the module name (file name without extension); the first
// non-empty one wins.
PresetAddress LoadPresetAddress(const std::wstring& moduleName);
