#include "win32_capture.h"

#include <cstdio>
#include <vector>

#include "utf16.h"

namespace vantrel::docs {

namespace {

bool writeBmp(const std::string& path, int w, int h, const std::vector<unsigned char>& pixels) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = -h;  // rows top-down
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = DWORD(sizeof file + sizeof info);
    file.bfSize = DWORD(file.bfOffBits + pixels.size());
    std::FILE* out = _wfopen(platform::Widen(path).c_str(), L"wb");
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                    std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && ok;
}

// The screen's pixels in [left, top, left + w, top + h).
bool captureScreen(int left, int top, int w, int h, const std::string& path) {
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) {
        std::fprintf(stderr, "%s: refusing a %d x %d picture\n", path.c_str(), w, h);
        return false;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory && bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, w, h, screen, left, top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
        if (ok) {
            const auto* p = static_cast<const unsigned char*>(bits);
            ok = writeBmp(path, w, h, std::vector<unsigned char>(p, p + size_t(w) * size_t(h) * 4));
        } else {
            std::fprintf(stderr, "%s: BitBlt failed (%lu)\n", path.c_str(), GetLastError());
        }
    } else {
        std::fprintf(stderr, "%s: no bitmap for %d x %d\n", path.c_str(), w, h);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

bool CaptureClient(HWND window, const std::string& bmpPath) {
    RECT client{};
    POINT origin{0, 0};
    if (!IsWindow(window) || !GetClientRect(window, &client) || !ClientToScreen(window, &origin)) {
        std::fprintf(stderr, "%s: no window to capture\n", bmpPath.c_str());
        return false;
    }
    return captureScreen(origin.x, origin.y, client.right - client.left, client.bottom - client.top, bmpPath);
}

bool CaptureWindow(HWND window, const std::string& bmpPath) {
    RECT r{};
    if (!IsWindow(window) || !GetWindowRect(window, &r)) {
        std::fprintf(stderr, "%s: no window to capture\n", bmpPath.c_str());
        return false;
    }
    return captureScreen(r.left, r.top, r.right - r.left, r.bottom - r.top, bmpPath);
}

}  // namespace vantrel::docs
