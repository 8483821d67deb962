#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "install/sha256.h"

// A publisher pin: the SHA-256 of a certificate's SubjectPublicKeyInfo, so that a renewed
// certificate with the same key still matches. An administrator stamps up to four into a copy
// of the program (to roll a key over); with any in force, a downloaded program runs only when
// its Authenticode signature verifies and some certificate of its signer's chain carries a
// pinned key. Plain C++: the stamping tool builds the same code for Linux.
using PublisherPin = Sha256Digest;

constexpr std::size_t kMaxPublisherPins = 4;

struct PublisherPins {
    std::vector<PublisherPin> keys;
    // A stamp whose pins cannot be read: pinned, with no key that anything could match.
    bool unreadable = false;

    bool InForce() const { return unreadable || !keys.empty(); }
    bool Holds(const PublisherPin& pin) const;
};

// 64 hex digits, either case; false for anything else.
bool ParsePinText(const std::string& text, PublisherPin& pin);
// 64 lower-case hex digits.
std::string PinText(const PublisherPin& pin);

// The pin of the DER certificate that fills der exactly; false when it is no certificate.
bool PinOfCertificate(const unsigned char* der, std::size_t size, PublisherPin& pin);

// The pins as the stamp keeps them, in the UTF-16 units that follow the marker's NUL: a layout
// version (1), the number of pins (1 to 4), then each pin's 32 bytes, two to a unit, low byte
// first. A copy stamped without pins has only zeros there, as built.
constexpr std::uint16_t kPinLayoutVersion = 1;
constexpr std::size_t kPinUnits = 16;
constexpr std::size_t kPinLayoutUnits = 2 + kMaxPublisherPins * kPinUnits;

std::vector<std::uint16_t> EncodeStampedPins(const std::vector<PublisherPin>& pins);

// Reads the units after the marker's NUL of a stamped buffer (count of them). Zeros: no pins.
// A layout it does not know, or a count out of range, leaves the pins unreadable rather than
// absent, so that a damaged stamp never switches the check off.
PublisherPins DecodeStampedPins(const std::uint16_t* units, std::size_t count);
