#pragma once

#include <windows.h>

// The header band both wizard pages paint at the top of their client area: white band,
// grey rule at row 65, bold title, subtitle, and the page's bitmap in the top right corner.
struct PageHeader {
    const wchar_t* title;
    const wchar_t* subtitle;
    HBITMAP bitmap;
    // The download page sets the text background to white explicitly; the address page
    // keeps the device context's default.
    bool whiteTextBackground;
};

constexpr int kHeaderBandHeight = 65;

void PaintPageHeader(HDC dc, const RECT& client, const PageHeader& header);
