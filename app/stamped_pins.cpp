#include "app/stamped_pins.h"

#include <cstdint>
#include <cwchar>
#include <vector>

#include "app/stamped_url.h"

PublisherPins LoadStampedPins() {
    size_t address = wcsnlen(g_szStampedURL, kStampedURLUnits);
    // Only a buffer that the stamping tool wrote, with its tag and a text of the marker's
    // length after the address, has pins behind the marker.
    size_t tag = address + 1;
    size_t pinsStart = tag + 1 + kStampMarkerUnits;
    if (pinsStart > static_cast<size_t>(kStampedURLUnits) || g_szStampedURL[tag] != kStampedTag ||
        wcsnlen(g_szStampedURL + tag + 1, kStampMarkerUnits) != kStampMarkerUnits - 1)
        return PublisherPins();
    std::vector<std::uint16_t> units(g_szStampedURL + pinsStart, g_szStampedURL + kStampedURLUnits);
    return DecodeStampedPins(units.data(), units.size());
}
