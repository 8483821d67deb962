#pragma once

#include <windows.h>

// The header band both wizard pages paint at the top of their client area: white band,
// grey rule at row 65, bold title, subtitle, and the page's bitmap in the top right corner.
struct PageHeader {
    UINT16 titleId;  // string table entries
    UINT16 subtitleId;
    HBITMAP bitmap;
    // The download page sets the text background to white explicitly; the address page
    // keeps the device context's default.
    bool whiteTextBackground;
};

constexpr int kHeaderBandHeight = 65;

void PaintPageHeader(HDC dc, const RECT& client, const PageHeader& header);

// One WM_PAINT of a window: begun on construction, ended on every path out.
class WindowPaint {
  public:
    explicit WindowPaint(HWND window);
    ~WindowPaint() { EndPaint(m_window, &m_paint); }
    WindowPaint(const WindowPaint&) = delete;
    WindowPaint& operator=(const WindowPaint&) = delete;

    HDC Dc() const { return m_dc; }
    const RECT& Client() const { return m_client; }

  private:
    HWND m_window;
    PAINTSTRUCT m_paint;
    HDC m_dc;
    RECT m_client = {};
};
