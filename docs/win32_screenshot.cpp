// A picture of the Win32 window's client area at the start, as a 32-bit BMP:
//   vantrel_win32_screenshot OUT.bmp   (docs/win32_screenshot.sh runs it under Wine + Xvfb)
#include <windows.h>

#include <cstdio>
#include <vector>

#include "program.h"
#include "utf16.h"
#include "win32_main_window.h"

int main(int argc, char** argv) {
    const auto args = vantrel::platform::ProgramArgs(argc, argv);
    if (args.size() != 2) return 2;
    vantrel::Win32MainWindow window(GetModuleHandleW(nullptr));
    window.Show(SW_SHOWNORMAL);
    for (int i = 0; i < 50; ++i) {  // let it paint
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(20);
    }
    RECT client;
    GetClientRect(window.hwnd(), &client);
    POINT origin{0, 0};
    ClientToScreen(window.hwnd(), &origin);
    const int w = client.right, h = client.bottom;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    BITMAPINFOHEADER info{sizeof info, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // top-down rows
    std::vector<unsigned char> pixels(size_t(w) * size_t(h) * 4);
    GetDIBits(memory, bitmap, 0, UINT(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    BITMAPFILEHEADER file{0x4D42, DWORD(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                          DWORD(sizeof(BITMAPFILEHEADER) + sizeof info)};
    std::FILE* out = _wfopen(vantrel::platform::Widen(args[1]).c_str(), L"wb");
    if (!out) return 1;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return 0;
}
