// velmora-stamp IN.exe OUT.exe ADDRESS: makes a copy of a Velmora_Setup build that starts in
// automatic mode with ADDRESS (host or host:port, http). IN is only read; on any refusal
// nothing is written. A signed IN is refused: the stamp changes signed bytes, so copies are
// stamped first and signed afterwards.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "stamp_image.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIo = 3;

bool ReadImage(const std::filesystem::path& path, std::vector<unsigned char>& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteImage(const std::filesystem::path& path, const std::vector<unsigned char>& image) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (out) {
            out.write(reinterpret_cast<const char*>(image.data()),
                      static_cast<std::streamsize>(image.size()));
            out.close();
            if (out) return true;
        }
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return false;
}

bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (!std::filesystem::exists(b, error)) return false;
    return std::filesystem::equivalent(a, b, error) || error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: velmora-stamp IN.exe OUT.exe ADDRESS\n"
                     "  ADDRESS is host or host:port; the copy uses http.\n");
        return kExitUsage;
    }
    const std::filesystem::path inPath(argv[1]);
    const std::filesystem::path outPath(argv[2]);
    const std::string address(argv[3]);

    if (IsSameFile(inPath, outPath)) {
        std::fprintf(stderr, "velmora-stamp: OUT must not be IN; the input is never changed\n");
        return kExitUsage;
    }
    std::vector<unsigned char> image;
    if (!ReadImage(inPath, image)) {
        std::fprintf(stderr, "velmora-stamp: cannot read %s\n", argv[1]);
        return kExitIo;
    }
    velmora_stamp::StampResult result = velmora_stamp::StampImage(image, address);
    if (result != velmora_stamp::StampResult::Stamped) {
        std::fprintf(stderr, "velmora-stamp: refused: %s\n",
                     velmora_stamp::DescribeStampResult(result));
        return kExitRefused;
    }
    if (!WriteImage(outPath, image)) {
        std::fprintf(stderr, "velmora-stamp: cannot write %s\n", argv[2]);
        return kExitIo;
    }
    std::printf("velmora-stamp: %s -> %s with address %s\n", argv[1], argv[2], address.c_str());
    return 0;
}
