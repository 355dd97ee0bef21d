// The copy step: the script file goes, under its own name, into the My
// Documents folder of the Pocket PC emulator.
#pragma once

#include <string>

namespace vantrel {

// The emulator's folder as the device tools name it.
constexpr const char* kEmulatorFolder = "C:\\Windows CE Tools\\wce300\\MS Pocket PC\\emulation\\palm300\\My Documents\\";

// Where that folder is on this machine: itself on Windows; elsewhere under
// the C: drive of the Wine prefix ($WINEPREFIX, else ~/.wine), with the
// backslashes as folder separators. Not looked up, not created.
std::string EmulatorFolder();

// The name part of a script path: the text after the folder separator that
// comes last before the first ".tdb" (positions are 16-bit: past 32,767 is
// error 6, Overflow); the whole path when there is none.
std::string ScriptNamePart(const std::string& ScriptPath, char separator);

// Copies `from` to `to`, replacing a file of that name, through a temporary
// name in the destination folder so that a failed copy leaves no cut file;
// a device or FIFO named `to` is written in place, a folder or socket is
// refused (75) and left alone. Errors are the script writer's: 53 file not found, 76 path
// not found, 70 permission denied, 61 disk full, 57 other device errors.
void CopyReplacing(const std::string& from, const std::string& to);

}  // namespace vantrel
