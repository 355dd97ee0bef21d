#include "win32_dialogs.h"

#include <commdlg.h>

#include <vector>

#include "utf16.h"

namespace vantrel {

std::wstring FileDialogFilter(const std::string& description) {
    std::string pattern = "*.*";
    const size_t open = description.rfind('('), close = description.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open + 1)
        pattern = description.substr(open + 1, close - open - 1);
    std::wstring filters = platform::Widen(description);
    filters += L'\0';
    filters += platform::Widen(pattern);
    filters += L'\0';
    filters += L'\0';
    return filters;
}

std::string Win32FileOpenDialog::ShowOpen(const std::string& title, const std::string& filter) {
    const std::wstring filters = FileDialogFilter(filter);
    const std::wstring caption = platform::Widen(title);
    std::vector<wchar_t> file(32768, L'\0');  // long paths
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrTitle = caption.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_LONGNAMES;
    if (!GetOpenFileNameW(&ofn)) return "";
    return platform::Narrow(file.data());
}

void Win32MessageBoxes::Show(const std::string& text) {
    MessageBoxW(owner_, platform::Widen(text).c_str(), L"Vantrel", MB_OK | MB_APPLMODAL);
}

}  // namespace vantrel
