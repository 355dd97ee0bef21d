#include "exec_cmd.h"

#include <windows.h>

#include <vector>

#include "utf16.h"

namespace vantrel {

void ExecCmd(const std::string& cmdline) {
    // CreateProcessW may write into the line: a copy of its own, NUL-ended.
    const std::wstring wide = platform::Widen(cmdline);
    std::vector<wchar_t> line(wide.begin(), wide.end());
    line.push_back(L'\0');
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION proc{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &start,
                        &proc))
        return;
    WaitForSingleObject(proc.hProcess, INFINITE);
    CloseHandle(proc.hThread);
    CloseHandle(proc.hProcess);
}

}  // namespace vantrel
