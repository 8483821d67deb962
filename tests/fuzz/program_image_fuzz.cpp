// The program-image rule on any bytes: it reads nothing outside them, a whole image starts
// with "MZ", and bytes appended after a whole image never make it less whole.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_text.h"
#include "install/program_image.h"

using fuzztext::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The file of exactly these bytes, so that the sanitizer sees every read past them.
    std::vector<unsigned char> bytes(data, data + size);
    if (!IsWholeProgramImage(bytes.data(), bytes.size())) return 0;
    Require(size >= 64 && data[0] == 'M' && data[1] == 'Z', "whole without MZ header");
    bytes.resize(size + 4096, 0);
    Require(IsWholeProgramImage(bytes.data(), bytes.size()), "appended bytes broke a whole image");
    return 0;
}
