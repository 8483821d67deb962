#pragma once

#include <array>
#include <cstddef>

// SHA-256 of a byte range, in plain C++: the publisher pins are hashes of certificate keys,
// and the program and the stamping tool (which also builds for Linux) must compute them the
// same way.
using Sha256Digest = std::array<unsigned char, 32>;

Sha256Digest Sha256(const unsigned char* data, std::size_t size);
