// What only Windows versions after XP have, looked up at run time with
// GetProcAddress, each with what XP does instead. The build declares XP's
// API only (_WIN32_WINNT 0x0501), so every later function goes through here.
//
// The environment variable VANTREL_WINDOWS_XP_API=1 makes every lookup fail,
// so that the XP paths run (and are tested) on later systems and under Wine,
// which exports everything.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel::platform {

// Sent when a window's monitor DPI changes (Windows 8.1 and later; never on
// XP).
constexpr UINT kWmDpiChanged = 0x02E0;

// The DPI a window is shown at: its monitor's (Windows 10 1607 and later),
// else the system's (the screen's LOGPIXELSX, the only DPI XP has).
UINT WindowDpi(HWND window);

// The window rectangle for client rectangle *r at dpi: with the frame metrics
// of that DPI where the system has them, else the system's own.
void AdjustWindowRectForDpi(RECT* r, DWORD style, DWORD exStyle, UINT dpi);

// The path of an open file with every link followed (Vista and later), in
// the \\?\ form the system returns; empty where the system cannot tell, and
// then the caller's full path stands (XP has no symbolic links to follow).
std::wstring FinalPathOf(HANDLE file);

}  // namespace vantrel::platform
