#include "files.h"

#include <windows.h>

#include <vector>

#include "system_path_win32.h"
#include "utf16.h"

namespace vantrel::platform {

namespace {
std::string systemText(DWORD e) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, e,
                   0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = text ? Narrow(text) : "error " + std::to_string(e);
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s;
}

Failure failure(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE: case ERROR_FILENAME_EXCED_RANGE: case ERROR_DIRECTORY:
            return {Fault::PathNotFound, systemText(e)};
        case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: case ERROR_WRITE_PROTECT:
            return {Fault::AccessDenied, systemText(e)};
        case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return {Fault::DiskFull, systemText(e)};
        default: return {Fault::Other, systemText(e)};
    }
}

// Long paths: a path near the 260-character limit is made absolute and given
// the \\?\ prefix, under which the limit does not apply (and which takes
// no "." or ".." and no forward slashes, hence the full path first).

bool writeAll(HANDLE h, const char* p, size_t n) {
    while (n > 0) {
        DWORD done = 0;
        const DWORD chunk = n > (1u << 30) ? (1u << 30) : DWORD(n);
        if (!WriteFile(h, p, chunk, &done, nullptr)) return false;
        if (done == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        p += done;
        n -= done;
    }
    return true;
}
}  // namespace

char FolderSeparator() { return '\\'; }

Failure AppendToFile(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(systemPath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failure(GetLastError());
    Failure f;
    if (!writeAll(h, bytes.data(), bytes.size())) f = failure(GetLastError());
    CloseHandle(h);
    return f;
}

Failure CopyFileReplacing(const std::string& from, const std::string& to, const std::string& temp) {
    HANDLE in = CreateFileW(systemPath(from).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND) return {Fault::FileNotFound, systemText(e)};
        return failure(e);
    }
    const std::wstring tempW = systemPath(temp);
    HANDLE out = CreateFileW(tempW.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        CloseHandle(in);
        return failure(e);
    }
    std::vector<char> buf(1 << 16);
    DWORD err = 0;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(in, buf.data(), DWORD(buf.size()), &n, nullptr)) {
            err = GetLastError();
            break;
        }
        if (n == 0) break;
        if (!writeAll(out, buf.data(), n)) {
            err = GetLastError();
            break;
        }
    }
    CloseHandle(in);
    if (!err && !FlushFileBuffers(out)) err = GetLastError();
    CloseHandle(out);
    if (!err && !MoveFileExW(tempW.c_str(), systemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = GetLastError();
    if (err) {
        DeleteFileW(tempW.c_str());
        return failure(err);
    }
    return {};
}

bool RemoveFile(const std::string& path) { return DeleteFileW(systemPath(path).c_str()) != 0; }

bool MakeFolder(const std::string& path) {
    const std::wstring p = systemPath(path);
    if (CreateDirectoryW(p.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesW(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryW(systemPath(path).c_str()) != 0; }

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW(systemPath(pattern + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = Narrow(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

bool ChangeToDriveRoot() {
    // "\" names the root of the current directory's drive ("C:\" of "C:\work").
    return SetCurrentDirectoryW(L"\\") != 0;
}

}  // namespace vantrel::platform
