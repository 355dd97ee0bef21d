#include "program.h"

#include <windows.h>
#include <shellapi.h>

#include "utf16.h"

namespace vantrel::platform {

std::vector<std::string> ProgramArgs(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

bool ProcessGone(uint64_t id) {
    if (id == 0 || id > 0xFFFFFFFFu) return false;
    const HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, DWORD(id));
    if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    const bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

std::string SelfFolder() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0 || n >= path.size()) return "";
    path.resize(n);
    return Narrow(path.substr(0, path.find_last_of(L"\\/") + 1));
}

}  // namespace vantrel::platform
