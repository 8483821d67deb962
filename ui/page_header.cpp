#include "ui/page_header.h"

#include <cwchar>

#include "sys/scoped_handle.h"
#include "ui/message_text.h"

namespace {

constexpr COLORREF kRuleColour = RGB(160, 160, 160);

// Puts an object into a device context for the guard's lifetime and the previous one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(m_dc, m_previous); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

HFONT CreateHeaderFont(int weight) {
    return CreateFontW(12, 0, 0, 0, weight, FALSE, FALSE, FALSE, HANGUL_CHARSET, 0, 0, 0, 0,
                       L"MS UI Gothic");
}

void DrawHeaderText(HDC dc, int x, int y, const wchar_t* text) {
    TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
}

void DrawHeaderBitmap(HDC dc, const RECT& client, HBITMAP bitmap) {
    ScopedMemoryDc memory(CreateCompatibleDC(dc));
    if (!memory || bitmap == nullptr) return;
    SelectedObject selected(memory.Get(), bitmap);
    BITMAP info = {};
    if (GetObjectW(bitmap, sizeof(info), &info) == 0) return;
    BitBlt(dc, client.right - info.bmWidth - 2, client.top + 2, info.bmWidth, info.bmHeight,
           memory.Get(), 0, 0, SRCCOPY);
}

}  // namespace

void PaintPageHeader(HDC dc, const RECT& client, const PageHeader& header) {
    {
        SelectedObject brush(dc, GetStockObject(WHITE_BRUSH));
        SelectedObject pen(dc, GetStockObject(WHITE_PEN));
        Rectangle(dc, 0, 0, client.right, kHeaderBandHeight);
    }
    ScopedGdiObject rulePen(CreatePen(PS_SOLID, 1, kRuleColour));
    {
        SelectedObject pen(dc, rulePen.Get());
        MoveToEx(dc, 0, kHeaderBandHeight, nullptr);
        LineTo(dc, client.right, kHeaderBandHeight);
    }
    ScopedGdiObject titleFont(CreateHeaderFont(600));
    ScopedGdiObject subtitleFont(CreateHeaderFont(FW_NORMAL));
    {
        SelectedObject font(dc, titleFont.Get());
        if (header.whiteTextBackground) SetBkColor(dc, RGB(255, 255, 255));
        DrawHeaderText(dc, 25, 10, LoadMessageText(header.titleId).c_str());
        SelectObject(dc, subtitleFont.Get());
        DrawHeaderText(dc, 35, 30, LoadMessageText(header.subtitleId).c_str());
    }
    DrawHeaderBitmap(dc, client, header.bitmap);
}

WindowPaint::WindowPaint(HWND window) : m_window(window), m_dc(BeginPaint(window, &m_paint)) {
    GetClientRect(window, &m_client);
}
