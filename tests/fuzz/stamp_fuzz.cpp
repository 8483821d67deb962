// The stamping logic: any address and any damage to a built image either stamp exactly the
// buffer or leave the image as it was.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "tools/stamp/stamp_image.h"

using fuzztext::Require;
namespace stamp = velmora_stamp;

namespace {

std::vector<unsigned char> BuiltBuffer() {
    std::vector<unsigned char> bytes(stamp::kBufferUnits * 2, 0);
    for (size_t i = 0; i < stamp::kMarkerUnits; ++i)
        stamp::WriteUnit(bytes, 2 + i * 2, stamp::kMarker[i]);
    return bytes;
}

// A built image (some bytes, the buffer, some bytes) with the damage the provider asks for.
std::vector<unsigned char> DamagedImage(FuzzedDataProvider& provider) {
    std::vector<unsigned char> image(provider.ConsumeIntegralInRange<size_t>(0, 64),
                                     provider.ConsumeIntegral<unsigned char>());
    std::vector<unsigned char> buffer = BuiltBuffer();
    image.insert(image.end(), buffer.begin(), buffer.end());
    if (provider.ConsumeBool()) image.insert(image.end(), buffer.begin(), buffer.end());
    image.resize(image.size() + provider.ConsumeIntegralInRange<size_t>(0, 64), 0xDD);
    size_t changes = provider.ConsumeIntegralInRange<size_t>(0, 4);
    for (size_t i = 0; i < changes; ++i) {
        size_t at = provider.ConsumeIntegralInRange<size_t>(0, image.size() - 1);
        image[at] = provider.ConsumeIntegral<unsigned char>();
    }
    if (provider.ConsumeBool()) {
        image.resize(provider.ConsumeIntegralInRange<size_t>(0, image.size()));
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The choices come from the input's end, so a seed reads as the address, a line feed and
    // optionally the bytes of an image to take as it is.
    FuzzedDataProvider provider(data, size);
    bool raw = provider.ConsumeBool();
    std::vector<unsigned char> image = DamagedImage(provider);
    std::vector<std::string> fields = fuzztext::Fields(provider.ConsumeRemainingBytesAsString(), 2);
    const std::string& address = fields[0];
    if (raw) image.assign(fields[1].begin(), fields[1].end());

    const std::vector<unsigned char> before = image;
    stamp::StampResult result = stamp::StampImage(image, address);
    stamp::StampResult check = stamp::CheckAddress(address);
    if (check != stamp::StampResult::Stamped) {
        Require(result == check, "an address refused by the check was not refused first");
    }
    if (result != stamp::StampResult::Stamped) {
        Require(image == before, "a refused stamp changed the image");
        return 0;
    }

    Require(!stamp::HasAuthenticodeSignature(before), "stamped a signed image");
    size_t buffer = 0;
    Require(stamp::LocateBuffer(before, buffer) == stamp::StampResult::Stamped,
            "stamped an image without an unstamped buffer");
    Require(image.size() == before.size(), "stamping changed the image size");
    for (size_t i = 0; i < image.size(); ++i) {
        if (i < buffer || i >= buffer + stamp::kBufferUnits * 2) {
            Require(image[i] == before[i], "stamping wrote outside the buffer");
        }
    }
    std::u16string units;
    for (size_t i = 0; i < stamp::kBufferUnits; ++i)
        units.push_back(stamp::ReadUnit(image, buffer + i * 2));
    std::u16string expected(address.begin(), address.end());
    expected.push_back(u'\0');
    expected.push_back(stamp::kStampedTag);
    expected.append(stamp::kMarker, stamp::kMarkerUnits);
    expected.resize(stamp::kBufferUnits, u'\0');
    Require(units == expected, "the buffer does not hold address, tag and marker");

    std::vector<unsigned char> again = image;
    Require(stamp::StampImage(again, "other.example.com") == stamp::StampResult::AlreadyStamped &&
                again == image,
            "a stamped image was not recognised as stamped");
    return 0;
}
