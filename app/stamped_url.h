#pragma once

// Units of the address buffer that a pre-configured copy of the program carries.
constexpr int kStampedURLUnits = 1024;

// The units of the marker text that follows the buffer's first unit as built, its NUL
// included. The text itself is written only once, in the buffer: a second copy anywhere in the
// program file would keep the stamping tool from telling which one is the buffer.
constexpr int kStampMarkerUnits = 87;
// A stamped buffer holds the address and its NUL, this unit, the marker again and then the
// publisher pins, if any.
constexpr wchar_t kStampedTag = L'#';

// Empty as built. The marker text after the first unit lets a stamping tool find the buffer
// in the program file; the program itself only reads the buffer up to its first NUL.
extern wchar_t g_szStampedURL[kStampedURLUnits];
