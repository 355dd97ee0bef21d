// The Env of Windows: positioned ReadFile/WriteFile, FlushFileBuffers,
// LockFileEx on a byte past any data, MoveFileExW, wide and long paths; the
// calls of Windows XP, later ones through newer_api_win32.h.
//
// Files are opened for reading with FILE_SHARE_READ | FILE_SHARE_WRITE |
// FILE_SHARE_DELETE, so that a reader gets in while another program (Access)
// has the file open for writing, and a journal can be renamed or deleted
// while a reader holds the database. An existing file opened for writing
// shares reading only: no other program writes it meanwhile, and one that
// already writes it makes the open fail (a sharing violation). A second
// writer of Vantrel's own is kept out by the lock as well, as on POSIX.
// Windows locks are mandatory, so the lock sits on one byte far past any
// page the file can have: it never blocks reading or writing the data.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "env.h"
#include "newer_api_win32.h"
#include "system_path_win32.h"
#include "utf16.h"

namespace vantrel::platform {

namespace {

constexpr uint64_t kLockByte = 0x7FFFFFFF00000000ull;

Reason reasonOf(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND: return Reason::notFound;
        case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME: case ERROR_FILENAME_EXCED_RANGE:
            return Reason::pathNotFound;
        case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return Reason::exists;
        case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return Reason::noSpace;
        case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: return Reason::permission;
        case ERROR_DIRECTORY: return Reason::isFolder;
        case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return Reason::busy;
        case ERROR_PIPE_NOT_CONNECTED: case ERROR_NO_DATA: return Reason::noReader;
        default: return Reason::other;
    }
}

std::string systemText(DWORD e) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, e, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(e);
    if (text) LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L'.' || w.back() == L' ')) w.pop_back();
    return Narrow(w);
}

[[noreturn]] void fail(const std::string& what, DWORD e) { throw IoError(reasonOf(e), what, systemText(e)); }


OVERLAPPED at(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = DWORD(offset);
    o.OffsetHigh = DWORD(offset >> 32);
    return o;
}

class WinFile : public File {
public:
    WinFile(HANDLE h, std::string path) : h_(h), path_(std::move(path)) {}
    ~WinFile() override { CloseHandle(h_); }

    size_t readAt(uint64_t offset, uint8_t* p, size_t n) override {
        size_t done = 0;
        while (done < n) {
            OVERLAPPED o = at(offset + done);
            DWORD got = 0;
            const DWORD chunk = n - done > (1u << 30) ? (1u << 30) : DWORD(n - done);
            if (!ReadFile(h_, p + done, chunk, &got, &o)) {
                const DWORD e = GetLastError();
                if (e == ERROR_HANDLE_EOF) break;
                fail("reading '" + path_ + "'", e);
            }
            if (got == 0) break;
            done += got;
        }
        return done;
    }

    void writeAt(uint64_t offset, const uint8_t* p, size_t n) override {
        size_t done = 0;
        while (done < n) {
            OVERLAPPED o = at(offset + done);
            DWORD put = 0;
            const DWORD chunk = n - done > (1u << 30) ? (1u << 30) : DWORD(n - done);
            if (!WriteFile(h_, p + done, chunk, &put, &o)) fail("writing '" + path_ + "'", GetLastError());
            if (put == 0) fail("writing '" + path_ + "'", ERROR_DISK_FULL);
            done += put;
        }
    }

    void append(const uint8_t* p, size_t n) override {
        size_t done = 0;
        while (done < n) {
            DWORD put = 0;
            const DWORD chunk = n - done > (1u << 30) ? (1u << 30) : DWORD(n - done);
            if (!WriteFile(h_, p + done, chunk, &put, nullptr)) fail("writing '" + path_ + "'", GetLastError());
            if (put == 0) fail("writing '" + path_ + "'", ERROR_DISK_FULL);
            done += put;
        }
    }

    void sync() override {
        if (!FlushFileBuffers(h_)) {
            const DWORD e = GetLastError();
            // Consoles, pipes and devices have nothing to flush.
            if (e != ERROR_INVALID_HANDLE && e != ERROR_INVALID_FUNCTION) fail("syncing '" + path_ + "'", e);
        }
    }

    // The end of the file moves to the file pointer: every read and write
    // but append() names its offset, and append() writes at the end whatever
    // the pointer says, so moving the pointer here disturbs nothing.
    void truncate(uint64_t size) override {
        LARGE_INTEGER to{};
        to.QuadPart = LONGLONG(size);
        if (!SetFilePointerEx(h_, to, nullptr, FILE_BEGIN) || !SetEndOfFile(h_))
            fail("truncating '" + path_ + "'", GetLastError());
    }

    uint64_t size() override {
        LARGE_INTEGER n{};
        if (!GetFileSizeEx(h_, &n)) fail("reading the size of '" + path_ + "'", GetLastError());
        return uint64_t(n.QuadPart);
    }

    FileId id() override {
        BY_HANDLE_FILE_INFORMATION i{};
        if (!GetFileInformationByHandle(h_, &i)) fail("reading the identity of '" + path_ + "'", GetLastError());
        return {uint64_t(i.dwVolumeSerialNumber), (uint64_t(i.nFileIndexHigh) << 32) | i.nFileIndexLow};
    }

    // A held lock changes kind as flock() converts one: let go, then take
    // the other kind (Windows cannot convert a lock in place); when that
    // fails, the lock held before is taken back.
    bool lock(Lock kind) override {
        if (held_ && heldKind_ == kind) return true;
        const bool had = held_;
        const Lock before = heldKind_;
        if (held_) release();
        if (take(kind)) return true;
        const DWORD e = GetLastError();
        if (had) take(before);
        if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) return false;
        fail("locking '" + path_ + "'", e);
    }

    const std::string& path() const override { return path_; }

private:
    bool take(Lock kind) {
        OVERLAPPED o = at(kLockByte);
        const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == Lock::exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        if (!LockFileEx(h_, flags, 0, 1, 0, &o)) return false;
        held_ = true;
        heldKind_ = kind;
        return true;
    }
    void release() {
        OVERLAPPED o = at(kLockByte);
        UnlockFileEx(h_, 0, 1, 0, &o);
        held_ = false;
    }

    HANDLE h_;
    std::string path_;
    bool held_ = false;
    Lock heldKind_ = Lock::shared;
};

class WinEnv : public Env {
public:
    std::unique_ptr<File> open(const std::string& path, Open mode) override {
        DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
        switch (mode) {
            case Open::read: break;
            case Open::readWrite: access = GENERIC_READ | GENERIC_WRITE; break;
            case Open::createNew: access = GENERIC_READ | GENERIC_WRITE; disposition = CREATE_NEW; break;
            case Open::createOrTruncate: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
            case Open::append: access = FILE_APPEND_DATA; disposition = OPEN_ALWAYS; break;
        }
        const DWORD share = mode == Open::readWrite ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE h = CreateFileW(systemPath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD e = GetLastError();
            // Opening a folder as a file answers "access denied"; say what it is.
            const DWORD a = GetFileAttributesW(systemPath(path).c_str());
            if (e == ERROR_ACCESS_DENIED && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) e = ERROR_DIRECTORY;
            fail("opening '" + path + "'", e);
        }
        return std::make_unique<WinFile>(h, path);
    }

    FileInfo info(const std::string& path) override {
        FileInfo out;
        const std::wstring p = systemPath(path);
        WIN32_FILE_ATTRIBUTE_DATA a{};
        if (!GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &a)) {
            const DWORD e = GetLastError();
            if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return out;
            // Devices (NUL, CON) have no attributes but open.
            HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) fail("looking at '" + path + "'", e);
            out.kind = GetFileType(h) == FILE_TYPE_PIPE ? Kind::fifo : Kind::device;
            CloseHandle(h);
            return out;
        }
        out.readOnly = a.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
        out.size = (uint64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
        if (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.kind = Kind::folder;
            return out;
        }
        HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) fail("looking at '" + path + "'", GetLastError());
        const DWORD type = GetFileType(h);
        BY_HANDLE_FILE_INFORMATION i{};
        if (GetFileInformationByHandle(h, &i)) {
            out.id = {uint64_t(i.dwVolumeSerialNumber), (uint64_t(i.nFileIndexHigh) << 32) | i.nFileIndexLow};
            out.links = uint32_t(i.nNumberOfLinks);
        }
        CloseHandle(h);
        out.kind = type == FILE_TYPE_DISK ? Kind::regular : type == FILE_TYPE_PIPE ? Kind::fifo : type == FILE_TYPE_CHAR ? Kind::device : Kind::other;
        return out;
    }

    // Any handle open on the file with data access, in any process, makes an
    // open that shares nothing fail with a sharing violation.
    bool inUse(const std::string& path) override {
        HANDLE h = CreateFileW(systemPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return false;
        }
        return GetLastError() == ERROR_SHARING_VIOLATION;
    }

    void rename(const std::string& from, const std::string& to) override {
        if (!MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            fail("renaming '" + from + "' to '" + to + "'", GetLastError());
    }

    void renameNoReplace(const std::string& from, const std::string& to) override {
        if (!MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), MOVEFILE_WRITE_THROUGH))
            fail("naming '" + to + "'", GetLastError());
    }

    void remove(const std::string& path) override {
        if (!DeleteFileW(systemPath(path).c_str())) fail("deleting '" + path + "'", GetLastError());
    }

    // NTFS keeps its folder entries in its own journal; MOVEFILE_WRITE_THROUGH
    // makes a rename durable before it returns. Nothing to do here.
    void syncFolder(const std::string&) override {}

    std::string resolve(const std::string& path) override {
        const std::wstring p = systemPath(path);
        HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            // The final path, links followed.
            std::wstring buf = FinalPathOf(h);
            CloseHandle(h);
            if (!buf.empty()) {
                if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0) buf = L"\\\\" + buf.substr(8);
                else if (buf.rfind(L"\\\\?\\", 0) == 0) buf = buf.substr(4);
                return Narrow(buf);
            }
        }
        const DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
        if (n == 0) fail("resolving '" + path + "'", GetLastError());
        std::wstring full(n, L'\0');
        full.resize(GetFullPathNameW(p.c_str(), n, full.data(), nullptr));
        if (full.rfind(L"\\\\?\\", 0) == 0 && full.rfind(L"\\\\?\\UNC\\", 0) != 0) full = full.substr(4);
        return Narrow(full);
    }

    std::string folderOf(const std::string& path) override {
        const size_t slash = path.find_last_of("/\\");
        if (slash == std::string::npos) return path.size() == 2 && path[1] == ':' ? path : ".";
        if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
        return path.substr(0, slash);
    }

    uint64_t processId() override { return GetCurrentProcessId(); }
};

}  // namespace

Env& Env::system() {
    static WinEnv env;
    return env;
}

}  // namespace vantrel::platform
