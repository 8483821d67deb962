#pragma once

// Units of the address buffer that a pre-configured copy of the program carries.
constexpr int kStampedURLUnits = 1024;

// The text that follows the buffer's first unit as built.
constexpr wchar_t kStampMarker[] =
    L"20150611_{1AE5E6A6-F03B-424b-BC04-6570B78FA9A2}_{73918AC7-D49B-4336-A54C-E9F5B876E24B}";
constexpr int kStampMarkerUnits = sizeof(kStampMarker) / sizeof(wchar_t);  // NUL included
// A stamped buffer holds the address and its NUL, this unit, the marker again and then the
// publisher pins, if any.
constexpr wchar_t kStampedTag = L'#';

// Empty as built. The marker text after the first unit lets a stamping tool find the buffer
// in the program file; the program itself only reads the buffer up to its first NUL.
extern wchar_t g_szStampedURL[kStampedURLUnits];
