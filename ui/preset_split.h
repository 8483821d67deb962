#pragma once

#include <string>

// A preset address text split as the address page shows it.
struct PresetHostPort {
    std::wstring host;
    bool hasPort = false;
    int port = 80;
};

// "host:port" gives the text before the first colon and the number after the last one (C
// library conversion, so "x" gives 0); a text without a colon, or one that starts with its
// first colon, is all host and keeps the port at 80.
PresetHostPort SplitPresetAddress(const std::wstring& presetAddress);
