#pragma once

#include <windows.h>
#include <vector>

#include "sys/scoped_handle.h"

// The client area of a window as 32-bit pixels, read back from the window's own device
// context after it has painted.
class ClientCapture {
  public:
    explicit ClientCapture(HWND window) {
        RECT client;
        GetClientRect(window, &client);
        m_width = client.right;
        m_height = client.bottom;
        HDC windowDc = GetDC(window);
        ScopedMemoryDc memory(CreateCompatibleDC(windowDc));
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = m_width;
        info.bmiHeader.biHeight = -m_height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        ScopedGdiObject section(
            CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        HGDIOBJ previous = SelectObject(memory.Get(), section.Get());
        BitBlt(memory.Get(), 0, 0, m_width, m_height, windowDc, 0, 0, SRCCOPY);
        GdiFlush();
        const DWORD* pixels = static_cast<const DWORD*>(bits);
        m_pixels.assign(pixels, pixels + static_cast<size_t>(m_width) * m_height);
        SelectObject(memory.Get(), previous);
        ReleaseDC(window, windowDc);
    }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // 0x00RRGGBB
    DWORD At(int x, int y) const {
        return m_pixels[static_cast<size_t>(y) * m_width + x] & 0xFFFFFF;
    }

  private:
    int m_width = 0;
    int m_height = 0;
    std::vector<DWORD> m_pixels;
};

// The pixels of a bitmap resource, 0x00RRGGBB, top row first.
inline std::vector<DWORD> BitmapPixels(HBITMAP bitmap, int& width, int& height) {
    BITMAP header = {};
    GetObjectW(bitmap, sizeof(header), &header);
    width = header.bmWidth;
    height = header.bmHeight;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
}

// Keeps a capture as a 24-bit BMP file, for a person to look at after the test run.
inline bool SaveCaptureAsBmp(const ClientCapture& capture, const std::wstring& path) {
    const int width = capture.Width();
    const int height = capture.Height();
    const int rowBytes = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = static_cast<DWORD>(rowBytes * height);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::vector<BYTE> pixels(info.biSizeImage, 0);
    for (int y = 0; y < height; ++y) {
        BYTE* row = &pixels[static_cast<size_t>(height - 1 - y) * rowBytes];
        for (int x = 0; x < width; ++x) {
            DWORD colour = capture.At(x, y);
            row[x * 3] = static_cast<BYTE>(colour & 0xFF);
            row[x * 3 + 1] = static_cast<BYTE>((colour >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<BYTE>((colour >> 16) & 0xFF);
        }
    }
    ScopedKernelHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    DWORD written = 0;
    return WriteFile(out.Get(), &file, sizeof(file), &written, nullptr) &&
           WriteFile(out.Get(), &info, sizeof(info), &written, nullptr) &&
           WriteFile(out.Get(), pixels.data(), info.biSizeImage, &written, nullptr);
}
