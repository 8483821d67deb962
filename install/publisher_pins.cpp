#include "install/publisher_pins.h"

#include <algorithm>

#include "install/der_certificate.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool PublisherPins::Holds(const PublisherPin& pin) const {
    return std::find(keys.begin(), keys.end(), pin) != keys.end();
}

bool ParsePinText(const std::string& text, PublisherPin& pin) {
    if (text.size() != pin.size() * 2) return false;
    for (std::size_t i = 0; i < pin.size(); ++i) {
        int high = HexValue(text[i * 2]);
        int low = HexValue(text[i * 2 + 1]);
        if (high < 0 || low < 0) return false;
        pin[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

std::string PinText(const PublisherPin& pin) {
    const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : pin) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

bool PinOfCertificate(const unsigned char* der, std::size_t size, PublisherPin& pin) {
    CertificateParts parts;
    if (!ReadCertificateParts({der, size}, parts)) return false;
    pin = Sha256(parts.publicKeyInfo.data, parts.publicKeyInfo.size);
    return true;
}

std::vector<std::uint16_t> EncodeStampedPins(const std::vector<PublisherPin>& pins) {
    std::vector<std::uint16_t> units;
    if (pins.empty()) return units;
    units.push_back(kPinLayoutVersion);
    units.push_back(static_cast<std::uint16_t>(pins.size()));
    for (const PublisherPin& pin : pins) {
        for (std::size_t i = 0; i < pin.size(); i += 2)
            units.push_back(static_cast<std::uint16_t>(pin[i] | (pin[i + 1] << 8)));
    }
    return units;
}

PublisherPins DecodeStampedPins(const std::uint16_t* units, std::size_t count) {
    PublisherPins pins;
    if (count == 0 || units[0] == 0) return pins;
    pins.unreadable = true;
    if (units[0] != kPinLayoutVersion || count < 2) return pins;
    std::size_t pinCount = units[1];
    if (pinCount == 0 || pinCount > kMaxPublisherPins || count < 2 + pinCount * kPinUnits)
        return pins;
    for (std::size_t n = 0; n < pinCount; ++n) {
        PublisherPin pin;
        const std::uint16_t* from = units + 2 + n * kPinUnits;
        for (std::size_t i = 0; i < kPinUnits; ++i) {
            pin[i * 2] = static_cast<unsigned char>(from[i] & 0xFF);
            pin[i * 2 + 1] = static_cast<unsigned char>(from[i] >> 8);
        }
        pins.keys.push_back(pin);
    }
    pins.unreadable = false;
    return pins;
}
