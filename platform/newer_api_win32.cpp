#include "newer_api_win32.h"

namespace vantrel::platform {

namespace {

bool xpApiForced() {
    wchar_t v[4] = {};
    return GetEnvironmentVariableW(L"VANTREL_WINDOWS_XP_API", v, 4) == 1 && v[0] == L'1';
}

// The function `name` of a loaded system DLL, or null where this Windows
// lacks it (or XP's API is forced).
template <typename Fn>
Fn later(const wchar_t* dll, const char* name) {
    if (xpApiForced()) return nullptr;
    HMODULE module = GetModuleHandleW(dll);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

UINT WindowDpi(HWND window) {
    using Fn = UINT(WINAPI*)(HWND);
    if (const Fn f = later<Fn>(L"user32.dll", "GetDpiForWindow")) {
        if (const UINT dpi = f(window)) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

void AdjustWindowRectForDpi(RECT* r, DWORD style, DWORD exStyle, UINT dpi) {
    using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    if (const Fn f = later<Fn>(L"user32.dll", "AdjustWindowRectExForDpi")) {
        if (f(r, style, FALSE, exStyle, dpi)) return;
    }
    AdjustWindowRectEx(r, style, FALSE, exStyle);
}

std::wstring FinalPathOf(HANDLE file) {
    using Fn = DWORD(WINAPI*)(HANDLE, wchar_t*, DWORD, DWORD);
    const Fn f = later<Fn>(L"kernel32.dll", "GetFinalPathNameByHandleW");
    if (!f) return {};
    std::wstring buf(32768, L'\0');
    const DWORD n = f(file, buf.data(), DWORD(buf.size()), 0 /* FILE_NAME_NORMALIZED */);
    if (n == 0 || n >= buf.size()) return {};
    buf.resize(n);
    return buf;
}

}  // namespace vantrel::platform
