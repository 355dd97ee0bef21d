#include "system_path_win32.h"

#include <windows.h>

#include "utf16.h"

namespace vantrel::platform {

std::wstring systemPath(const std::string& utf8) {
    std::wstring p = Widen(utf8);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    if (p.size() < MAX_PATH - 12 || p.rfind(L"\\\\?\\", 0) == 0) return p;
    const DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (n == 0) return p;
    std::wstring full(n, L'\0');
    full.resize(GetFullPathNameW(p.c_str(), n, full.data(), nullptr));
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace vantrel::platform
