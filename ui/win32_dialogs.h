// The file-open dialog and message boxes of Windows (GetOpenFileNameW,
// MessageBoxW), owned by the main window once it exists.
#pragma once

#include <windows.h>

#include <string>

#include "main_view.h"

namespace vantrel {

// The filter string GetOpenFileNameW takes for one description:
// "Database Files (*.mdb)" gives "Database Files (*.mdb)\0*.mdb\0\0"; the
// pattern is the text between the last parentheses, "*.*" without them.
std::wstring FileDialogFilter(const std::string& description);

class Win32FileOpenDialog : public FileOpenDialog {
public:
    explicit Win32FileOpenDialog(HWND& owner) : owner_(owner) {}
    // `filter` is the description, e.g. "Database Files (*.mdb)"; the
    // pattern is the text between its last parentheses.
    std::string ShowOpen(const std::string& title, const std::string& filter) override;

private:
    HWND& owner_;
};

class Win32MessageBoxes : public MessageBoxes {
public:
    explicit Win32MessageBoxes(HWND& owner) : owner_(owner) {}
    void Show(const std::string& text) override;

private:
    HWND& owner_;
};

}  // namespace vantrel
