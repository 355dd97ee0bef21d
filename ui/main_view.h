// What the actions need of the main window, and of the dialogs it shows:
// small interfaces, so that tests drive the actions without a display.
#pragma once

#include <string>

namespace vantrel {

class MainView {
public:
    virtual ~MainView() = default;
    virtual std::string GetText1() const = 0;
    virtual void SetText1(const std::string& text) = 0;
    virtual void ClearList1() = 0;
    virtual void AddToList1(const std::string& item) = 0;
    virtual void EnableBrowse(bool on) = 0;
    virtual void EnableConvert(bool on) = 0;
    virtual void EnableCopyEmul(bool on) = 0;
    virtual bool BrowseEnabled() const = 0;
    virtual bool ConvertEnabled() const = 0;
    virtual bool CopyEmulEnabled() const = 0;
    // 0: the default pointer, 11: the hourglass.
    virtual void SetMousePointer(int pointer) = 0;
};

class FileOpenDialog {
public:
    virtual ~FileOpenDialog() = default;
    // The chosen full path, "" when cancelled.
    virtual std::string ShowOpen(const std::string& title, const std::string& filter) = 0;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box with the text, only an OK button and the caption "Vantrel".
    virtual void Show(const std::string& text) = 0;
};

}  // namespace vantrel
