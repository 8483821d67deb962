#pragma once

// Turning fuzzer bytes into the program's texts. Seeds are plain UTF-8 text; every other byte
// still reaches the code as a unit of its own, so lone surrogates, control characters and
// zero units all come through.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzztext {

// The UTF-16 units of bytes read as UTF-8 that may encode surrogates; a byte that starts no
// such sequence stands for the unit of its own value. Units are 16-bit values, as on Windows.
inline std::wstring Wide(const std::string& bytes) {
    std::wstring units;
    size_t at = 0;
    while (at < bytes.size()) {
        unsigned char lead = static_cast<unsigned char>(bytes[at]);
        size_t trail = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
        if (lead < 0xC2 || lead > 0xF4) trail = 0;
        unsigned long value = trail == 3 ? lead & 0x07 : trail == 2 ? lead & 0x0F : lead & 0x1F;
        size_t i = 1;
        for (; trail != 0 && i <= trail && at + i < bytes.size(); ++i) {
            unsigned char next = static_cast<unsigned char>(bytes[at + i]);
            if ((next & 0xC0) != 0x80) break;
            value = (value << 6) | (next & 0x3F);
        }
        bool whole = trail != 0 && i == trail + 1 &&
                     value >= (trail == 1   ? 0x80ul
                               : trail == 2 ? 0x800ul
                                            : 0x10000ul) &&
                     value <= 0x10FFFF;
        if (!whole) {
            units.push_back(static_cast<wchar_t>(lead));
            ++at;
            continue;
        }
        if (value >= 0x10000) {
            value -= 0x10000;
            units.push_back(static_cast<wchar_t>(0xD800 + (value >> 10)));
            units.push_back(static_cast<wchar_t>(0xDC00 + (value & 0x3FF)));
        } else {
            units.push_back(static_cast<wchar_t>(value));
        }
        at += trail + 1;
    }
    return units;
}

// The text split at its first n-1 line feeds; missing fields are empty.
inline std::vector<std::string> Fields(const std::string& text, size_t n) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (fields.size() + 1 < n) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    fields.push_back(start <= text.size() ? text.substr(start) : std::string());
    fields.resize(n);
    return fields;
}

// A text cut at its first zero unit, as a C string argument sees it.
template <typename Text>
Text UpToZero(const Text& text) {
    return text.substr(0, text.find(typename Text::value_type(0)));
}

// Stops the fuzzer with a finding; libFuzzer keeps the input that led here.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

inline void Require(bool holds, const char* what) {
    if (!holds) Fail(what);
}

}  // namespace fuzztext
