// Pictures of windows on the screen, for the README: a rectangle of the
// screen copied into a 32-bit top-down BMP file the program writes itself.
//
// Invariants: a rectangle is captured only when both sides are between 1 and
// kMaxSide pixels; anything else (a window that is gone, a rectangle read
// from a failed call) is refused with a message and no file is written.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel::docs {

constexpr int kMaxSide = 4000;

// The window's client area as it stands on the screen; false (and a
// message on standard error) when it cannot be taken or written.
bool CaptureClient(HWND window, const std::string& bmpPath);

// The whole window, frame and caption included.
bool CaptureWindow(HWND window, const std::string& bmpPath);

}  // namespace vantrel::docs
