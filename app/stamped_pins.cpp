#include "app/stamped_pins.h"

#include <cstdint>
#include <cwchar>
#include <vector>

#include "app/stamped_url.h"

PublisherPins LoadStampedPins() {
    size_t address = wcsnlen(g_szStampedURL, kStampedURLUnits);
    // Only a buffer that the stamping tool wrote, with its tag and the marker after the
    // address, has pins behind the marker.
    size_t tag = address + 1;
    size_t pinsStart = tag + 1 + kStampMarkerUnits;
    if (pinsStart > static_cast<size_t>(kStampedURLUnits) || g_szStampedURL[tag] != kStampedTag ||
        wmemcmp(g_szStampedURL + tag + 1, kStampMarker, kStampMarkerUnits) != 0)
        return PublisherPins();
    std::vector<std::uint16_t> units(g_szStampedURL + pinsStart, g_szStampedURL + kStampedURLUnits);
    return DecodeStampedPins(units.data(), units.size());
}
