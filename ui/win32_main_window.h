// The main window on Windows: Win32 controls (EDIT, BUTTON, STATIC, LISTBOX)
// at the form's twips scaled by the monitor's DPI, Arial 8.25 pt (Text1
// bold), the tab order and access keys of a dialog. It implements MainView;
// the buttons call handlers the launcher connects to the shared actions.
//
// Invariants: everything runs on the thread that made the window; text in
// and out is UTF-8, the controls get UTF-16 (W functions); while the pointer
// is the hourglass, every control shows it. As in a dialog box, the control
// that had the keyboard when the window lost activation (to a message box,
// the file dialog, another program) gets it back when the window is active
// again; a control disabled meanwhile passes it to the next tab stop.
#pragma once

#include <windows.h>

#include <functional>

#include "main_layout.h"
#include "main_view.h"

namespace vantrel {

// The resource number of the application's icon in the executable.
constexpr int kAppIconId = 1;

class Win32MainWindow : public MainView {
public:
    struct Handlers {
        std::function<void()> browse, convert, copyEmul;
    };

    // Makes the window and its controls, hidden; Show() shows it.
    explicit Win32MainWindow(HINSTANCE instance);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    void SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }
    void Show(int showCommand);
    HWND hwnd() const { return hwnd_; }
    HWND control(layout::Index i) const { return controls_[i]; }
    UINT dpi() const { return dpi_; }

    // Runs messages until the window is closed, with dialog keys (Tab, Alt+S);
    // returns the exit status.
    int RunMessageLoop();

    // MainView
    std::string GetText1() const override;
    void SetText1(const std::string& text) override;
    void ClearList1() override;
    void AddToList1(const std::string& item) override;
    void EnableBrowse(bool on) override { enable(layout::cmdBrowse, on); }
    void EnableConvert(bool on) override { enable(layout::cmdConvert, on); }
    void EnableCopyEmul(bool on) override { enable(layout::cmdCopyEmul, on); }
    bool BrowseEnabled() const override { return IsWindowEnabled(controls_[layout::cmdBrowse]); }
    bool ConvertEnabled() const override { return IsWindowEnabled(controls_[layout::cmdConvert]); }
    bool CopyEmulEnabled() const override { return IsWindowEnabled(controls_[layout::cmdCopyEmul]); }
    void SetMousePointer(int pointer) override;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void enable(layout::Index i, bool on);
    void applyDpi(UINT dpi);  // fonts and places for this DPI
    void keepFocus();
    void restoreFocus();

    HWND hwnd_ = nullptr;
    HWND controls_[layout::kCount] = {};
    HWND keptFocus_ = nullptr;  // the control that had the keyboard when the window was last active
    HFONT font_ = nullptr, boldFont_ = nullptr;
    UINT dpi_ = 96;
    bool waiting_ = false;
    Handlers handlers_;
};

}  // namespace vantrel
