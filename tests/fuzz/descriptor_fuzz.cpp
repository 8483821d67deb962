// The descriptor reading: any bytes, fed whole and in pieces of random sizes, must come to
// the same reading, and the reading must agree with what the bytes hold.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

#include "fuzz_text.h"
#include "install/service_descriptor.h"

using fuzztext::Require;

namespace {

enum class Feeding { StopWhenSettled, KeepFeeding };

DescriptorReading ReadInPieces(const std::string& bytes, uint32_t seed, size_t largest,
                               Feeding feeding) {
    std::minstd_rand pick(seed);
    ServiceDescriptorScanner scanner;
    size_t at = 0;
    while (at < bytes.size()) {
        // Zero-sized pieces too: a read that returns nothing must not disturb the reading.
        size_t piece = std::min(bytes.size() - at, static_cast<size_t>(pick() % (largest + 1)));
        bool wantsMore = scanner.Feed(bytes.data() + at, piece);
        at += piece;
        if (!wantsMore && feeding == Feeding::StopWhenSettled) break;
    }
    return scanner.Finish();
}

bool SameReading(const DescriptorReading& a, const DescriptorReading& b) {
    return a.outcome == b.outcome && a.siteNameUtf8 == b.siteNameUtf8;
}

uint32_t Hash(const std::string& bytes) {
    uint32_t hash = 2166136261u;
    for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    DescriptorReading whole = ParseServiceDescriptor(bytes.data(), bytes.size());

    uint32_t seed = Hash(bytes);
    Require(SameReading(whole, ReadInPieces(bytes, seed, 1, Feeding::StopWhenSettled)),
            "byte by byte differs from whole");
    Require(SameReading(whole, ReadInPieces(bytes, seed, 7, Feeding::KeepFeeding)),
            "small pieces fed past the end differ from whole");
    Require(SameReading(whole, ReadInPieces(bytes, seed, 300, Feeding::StopWhenSettled)),
            "large pieces differ from whole");

    // Text mode ends the file at the first 0x1A; the tag holds no CR or LF, so dropping the CR
    // of CR LF can neither make nor break one.
    std::string text = bytes.substr(0, bytes.find('\x1A'));
    bool hasTag = text.find("<servicename>") != std::string::npos;
    Require(hasTag == (whole.outcome != DescriptorOutcome::NoStartTag),
            "start tag found where there is none, or missed");
    if (whole.outcome == DescriptorOutcome::Found) {
        Require(whole.siteNameUtf8.find_first_of(std::string("<\n\0", 3)) == std::string::npos,
                "site name holds a '<', a line feed or a zero");
        Require(whole.siteNameUtf8.size() <= size, "site name longer than its bytes");
    } else {
        Require(whole.siteNameUtf8.empty(), "a name without a reading");
    }
    return 0;
}
