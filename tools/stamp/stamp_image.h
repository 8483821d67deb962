#pragma once

// Writing a service address into the stamp buffer of a Velmora_Setup program image. Plain
// standard C++, so that the tool builds for Linux and for Windows from the same sources and the
// tests can call it directly; the PE headers are read by the program's own parse in
// install/program_image.cpp, which every build of the tool compiles in.

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "install/program_image.h"
#include "install/publisher_pins.h"

namespace velmora_stamp {

// The buffer: 1024 UTF-16 units; as built a NUL, then the marker with its NUL, then zeros.
constexpr std::size_t kBufferUnits = 1024;
constexpr char16_t kMarker[] =
    u"20150611_{1AE5E6A6-F03B-424b-BC04-6570B78FA9A2}_{73918AC7-D49B-4336-A54C-E9F5B876E24B}";
constexpr std::size_t kMarkerUnits = sizeof(kMarker) / sizeof(char16_t);  // NUL included

// A stamped buffer holds the address and its NUL, this unit, and the marker again. As built
// the unit in front of the marker is always NUL, so this one tells a stamped copy apart.
constexpr char16_t kStampedTag = u'#';

// Room for the address: the buffer less its NUL, the tag and the marker.
constexpr std::size_t kMaxAddressUnits = kBufferUnits - 2 - kMarkerUnits;
// The publisher pins follow the marker; with any, the address has that much less room.
constexpr std::size_t kMaxPinnedAddressUnits = kMaxAddressUnits - kPinLayoutUnits;

enum class StampResult {
    Stamped,
    Signed,
    MarkerMissing,
    MarkerNotUnique,
    BufferDamaged,
    AlreadyStamped,
    AddressEmpty,
    AddressTooLong,
    AddressInvalid,
    TooManyPins,
};

inline const char* DescribeStampResult(StampResult result) {
    switch (result) {
        case StampResult::Stamped:
            return "stamped";
        case StampResult::Signed:
            return "the input file carries an Authenticode signature, which stamping would "
                   "break; stamp the unsigned build, then sign the stamped copy";
        case StampResult::MarkerMissing:
            return "no stamp buffer found: the marker is not in the input file";
        case StampResult::MarkerNotUnique:
            return "the marker occurs more than once in the input file; the buffer is ambiguous";
        case StampResult::BufferDamaged:
            return "the stamp buffer around the marker is not as a build leaves it";
        case StampResult::AlreadyStamped:
            return "the input file is already stamped; stamp an unstamped build instead";
        case StampResult::AddressEmpty:
            return "the address is empty";
        case StampResult::AddressTooLong:
            return "the address is longer than the stamp buffer can hold";
        case StampResult::AddressInvalid:
            return "the address must be host or host:port (letters, digits, '.', '-'; port "
                   "1 to 65535)";
        case StampResult::TooManyPins:
            return "at most four publisher pins can be stamped";
    }
    return "unknown result";
}

inline bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

// host or host:port as the program splits it: no scheme, no path, one colon at most. A copy
// with publisher pins may leave the address empty: it then finds it as an unstamped one does.
inline StampResult CheckAddress(const std::string& address, bool pinned = false) {
    if (address.empty()) return pinned ? StampResult::Stamped : StampResult::AddressEmpty;
    if (address.size() > (pinned ? kMaxPinnedAddressUnits : kMaxAddressUnits))
        return StampResult::AddressTooLong;
    std::size_t colon = address.find(':');
    std::string host = address.substr(0, colon);
    if (host.empty()) return StampResult::AddressInvalid;
    for (char c : host) {
        if (!IsHostChar(c)) return StampResult::AddressInvalid;
    }
    if (colon == std::string::npos) return StampResult::Stamped;
    std::string port = address.substr(colon + 1);
    if (port.empty() || port.size() > 5) return StampResult::AddressInvalid;
    long value = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return StampResult::AddressInvalid;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535 ? StampResult::Stamped : StampResult::AddressInvalid;
}

inline char16_t ReadUnit(const std::vector<unsigned char>& image, std::size_t offset) {
    return static_cast<char16_t>(image[offset] | (image[offset + 1] << 8));
}

inline void WriteUnit(std::vector<unsigned char>& image, std::size_t offset, char16_t unit) {
    image[offset] = static_cast<unsigned char>(unit & 0xFF);
    image[offset + 1] = static_cast<unsigned char>(unit >> 8);
}

inline unsigned long ReadLong(const std::vector<unsigned char>& image, std::size_t offset) {
    return static_cast<unsigned long>(image[offset]) |
           (static_cast<unsigned long>(image[offset + 1]) << 8) |
           (static_cast<unsigned long>(image[offset + 2]) << 16) |
           (static_cast<unsigned long>(image[offset + 3]) << 24);
}

// The file offset of the certificate-table entry (the optional header's security data
// directory: address, then size) of a PE32 or PE32+ image; false when image holds no whole PE
// header with that entry.
inline bool FindCertificateEntry(const std::vector<unsigned char>& image, std::size_t& entry) {
    ProgramImageHeaders headers;
    if (!ReadProgramImageHeaders(image.data(), image.size(), headers) ||
        headers.certificateEntry == 0)
        return false;
    entry = static_cast<std::size_t>(headers.certificateEntry);
    return true;
}

// Whether image is a PE file whose certificate table is in use. Anything that is not a whole
// PE header counts as unsigned.
inline bool HasAuthenticodeSignature(const std::vector<unsigned char>& image) {
    std::size_t entry = 0;
    if (!FindCertificateEntry(image, entry)) return false;
    return ReadLong(image, entry) != 0 || ReadLong(image, entry + 4) != 0;
}

// Byte offsets of every occurrence of the marker, its NUL included, as UTF-16LE.
inline std::vector<std::size_t> FindMarker(const std::vector<unsigned char>& image) {
    std::vector<unsigned char> pattern;
    for (std::size_t i = 0; i < kMarkerUnits; ++i) {
        pattern.push_back(static_cast<unsigned char>(kMarker[i] & 0xFF));
        pattern.push_back(static_cast<unsigned char>(kMarker[i] >> 8));
    }
    std::vector<std::size_t> found;
    if (image.size() < pattern.size()) return found;
    for (std::size_t at = 0; at + pattern.size() <= image.size(); ++at) {
        if (std::equal(pattern.begin(), pattern.end(), image.begin() + at)) found.push_back(at);
    }
    return found;
}

// Byte offset of the unstamped buffer in image, or the reason there is none.
inline StampResult LocateBuffer(const std::vector<unsigned char>& image, std::size_t& buffer) {
    std::vector<std::size_t> markers = FindMarker(image);
    if (markers.empty()) return StampResult::MarkerMissing;
    if (markers.size() > 1) return StampResult::MarkerNotUnique;
    std::size_t marker = markers.front();
    if (marker < 2) return StampResult::BufferDamaged;
    if (ReadUnit(image, marker - 2) != 0) return StampResult::AlreadyStamped;
    buffer = marker - 2;
    if (buffer + kBufferUnits * 2 > image.size()) return StampResult::BufferDamaged;
    for (std::size_t unit = 1 + kMarkerUnits; unit < kBufferUnits; ++unit) {
        if (ReadUnit(image, buffer + unit * 2) != 0) return StampResult::BufferDamaged;
    }
    return StampResult::Stamped;
}

// Writes address, and the publisher pins after the marker, into the buffer of image; image is
// left unchanged unless the result is Stamped. Without pins the buffer is as it always was.
inline StampResult StampImage(std::vector<unsigned char>& image, const std::string& address,
                              const std::vector<PublisherPin>& pins = {}) {
    if (pins.size() > kMaxPublisherPins) return StampResult::TooManyPins;
    StampResult check = CheckAddress(address, !pins.empty());
    if (check != StampResult::Stamped) return check;
    if (HasAuthenticodeSignature(image)) return StampResult::Signed;
    std::size_t buffer = 0;
    StampResult located = LocateBuffer(image, buffer);
    if (located != StampResult::Stamped) return located;

    std::vector<char16_t> units(address.begin(), address.end());
    units.push_back(u'\0');
    units.push_back(kStampedTag);
    units.insert(units.end(), kMarker, kMarker + kMarkerUnits);
    for (std::uint16_t unit : EncodeStampedPins(pins)) units.push_back(unit);
    units.resize(kBufferUnits, u'\0');
    for (std::size_t i = 0; i < kBufferUnits; ++i) WriteUnit(image, buffer + i * 2, units[i]);
    return StampResult::Stamped;
}

}  // namespace velmora_stamp
