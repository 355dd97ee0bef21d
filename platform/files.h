// The few file operations the converter, the copy step and the command line
// do outside the engine: appending a line, copying a file into place,
// removing, making a folder, the current directory.
//
// Invariants: paths are UTF-8 (wide system calls on Windows, so any path the
// system allows works); a failure is reported as a Fault kind the caller
// maps to its own error numbers, with the system's text for the rest; a copy
// never leaves a cut destination file behind.
#pragma once

#include <string>
#include <vector>

namespace vantrel::platform {

enum class Fault {
    None,
    FileNotFound,  // the file itself is missing (only the source of a copy)
    PathNotFound,  // a folder on the way is missing, or the name is not valid
    AccessDenied,  // no permission, read-only, a folder where a file is wanted, held by another process
    DiskFull,
    Other,         // `detail` has the system's words
};

struct Failure {
    Fault fault = Fault::None;
    std::string detail;
    explicit operator bool() const { return fault != Fault::None; }
};

// The separator between folder names in this system's paths.
char FolderSeparator();

// Opens `path` for appending (creating it), writes `bytes` at its end, closes it.
Failure AppendToFile(const std::string& path, const std::string& bytes);

// Copies `from` to `to`, replacing `to`: written under `temp` (same folder),
// made durable, then renamed over `to`. On a failure `temp` is removed.
Failure CopyFileReplacing(const std::string& from, const std::string& to, const std::string& temp);

// Deletes a file; false if it could not (absent, or not allowed).
bool RemoveFile(const std::string& path);

// Makes a folder; true if it exists afterwards.
bool MakeFolder(const std::string& path);

// True when `path` names an existing folder.
bool IsFolder(const std::string& path);

// The names (not paths) of what a folder holds, "." and ".." left out;
// empty when the folder cannot be read.
std::vector<std::string> FolderNames(const std::string& folder);

// Removes an empty folder; false if it could not.
bool RemoveFolder(const std::string& path);

// Makes the root of the current drive the current directory ("/" where there
// are no drives); false if that fails.
bool ChangeToDriveRoot();

}  // namespace vantrel::platform
