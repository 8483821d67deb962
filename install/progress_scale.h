#pragma once

// A progress bar's range and positions are ints. The installation steps set the range from
// the size query, which reports a file beyond that range as the largest int; the download
// then moves the bar on that same scale.

// The largest position a bar takes.
constexpr unsigned long kLargestBarPosition = 2147483647ul;

// Where the bar stands after received bytes of a body announced as announced bytes (0 when no
// length was announced): the bytes themselves while they fit an int, the same share of the
// largest position for a body announced beyond it, and never past the largest position.
unsigned long BarPosition(unsigned long long received, unsigned long long announced);
