// A program for the held-file tests under Wine: opens a file as Access opens
// a database and its lock file (reading and writing, sharing reading and
// writing), says "held" on standard output, and keeps the file open until it
// is ended or SECONDS have passed (so that it always ends).
// usage: vantrel_hold_file PATH SECONDS
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "program.h"
#include "system_path_win32.h"

int main(int argc, char** argv) {
    const auto args = vantrel::platform::ProgramArgs(argc, argv);
    if (args.size() != 3) return 2;
    HANDLE h = CreateFileW(vantrel::platform::systemPath(args[1]).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::printf("cannot open: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(DWORD(std::atoi(args[2].c_str())) * 1000);
    CloseHandle(h);
    return 0;
}
