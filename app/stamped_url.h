#pragma once

// Units of the address buffer that a pre-configured copy of the program carries.
constexpr int kStampedURLUnits = 1024;

// Empty as built. The marker text after the first unit lets a stamping tool find the buffer
// in the program file; the program itself only reads the buffer up to its first NUL.
extern wchar_t g_szStampedURL[kStampedURLUnits];
