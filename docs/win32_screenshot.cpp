// Pictures of the Win32 window through its button cycle, with the real
// actions and engine on a demo database, and of the message boxes the user
// sees on the way, shown by the real MessageBoxW:
//   vantrel_win32_screenshot OUT_FOLDER   (docs/win32_screenshot.sh runs it under Wine + Xvfb)
// It writes 32-bit BMPs: win32-1-start, win32-2-database-chosen,
// win32-3-converted, win32-4-copied (the client area), and
// win32-3-message-N for the N-th box shown while converting (the whole box).
// The file dialog is replaced by the demo database's path. The exit status is
// 1 when a step ends with other buttons than the cycle's or a picture fails.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "commands.h"
#include "dao.h"
#include "emulator_copy.h"
#include "main_actions.h"
#include "program.h"
#include "utf16.h"
#include "win32_capture.h"
#include "win32_dialogs.h"
#include "win32_main_window.h"

using namespace vantrel;
namespace L = vantrel::layout;

namespace {

class Answer : public FileOpenDialog {
public:
    explicit Answer(std::string path) : path_(std::move(path)) {}
    std::string ShowOpen(const std::string&, const std::string&) override { return path_; }

private:
    std::string path_;
};

// The message box of this thread, once it is on the screen.
HWND findMessageBox(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM out) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(hwnd, cls, 16);
            if (std::wstring(cls) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
            *reinterpret_cast<HWND*>(out) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The real message boxes; a second thread waits for each one, takes its
// picture once it has been painted, and presses its OK button.
class CapturedBoxes : public MessageBoxes {
public:
    CapturedBoxes(HWND& owner, std::string folder) : real_(owner), folder_(std::move(folder)) {}
    void Show(const std::string& text) override {
        const std::string file = folder_ + prefix + std::to_string(++count_) + ".bmp";
        const DWORD thread = GetCurrentThreadId();
        std::atomic<bool> taken{false};
        std::thread watcher([&] {
            for (int i = 0; i < 150; ++i) {  // 15 s
                if (HWND box = findMessageBox(thread)) {
                    Sleep(1000);  // drawn and on the display
                    taken = docs::CaptureWindow(box, file);
                    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                    return;
                }
                Sleep(100);
            }
            std::fprintf(stderr, "no message box appeared for \"%s\"\n", text.c_str());
        });
        real_.Show(text);
        watcher.join();
        std::printf("%s: message \"%s\"\n", file.c_str(), text.c_str());
        if (!taken) failed = true;
    }

    std::string prefix = "win32-message-";
    bool failed = false;

private:
    Win32MessageBoxes real_;
    std::string folder_;
    int count_ = 0;
};

std::string utf8(const std::filesystem::path& p) { return platform::Narrow(p.wstring()); }
std::filesystem::path pathOf(const std::string& utf8) { return platform::Widen(utf8); }

// Messages for a while: the window repaints and reaches the display.
void settle(int ms) {
    for (int t = 0; t < ms; t += 20) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto args = platform::ProgramArgs(argc, argv);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vantrel_win32_screenshot OUT_FOLDER\n");
        return 2;
    }
    // Absolute: the copy step moves the current directory to the drive's root.
    const std::string out = utf8(std::filesystem::absolute(pathOf(args[1])) / "");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // The demo database of `vantrel demo`, made afresh in the prefix's C: drive.
    const std::filesystem::path demoFolder = L"C:\\Databases";
    std::filesystem::remove_all(demoFolder);
    if (runDemo(utf8(demoFolder)) != 0) return 1;
    const std::string db = utf8(demoFolder / "demo.mdb");
    {
        // Plus a table whose name has a blank, as Northwind's "Order Details":
        // the converter writes table names without brackets, so its column's
        // UPDATE cannot run and is skipped with the Chinese message.
        Database demo = DBEngine::Default().OpenDatabase(db, false, false, kConnect);
        demo.Execute("CREATE TABLE [Ship Notes] (Note TEXT(50))");
        demo.Execute("INSERT INTO [Ship Notes] (Note) VALUES (NULL)");
        demo.Close();
    }
    const std::filesystem::path copied = pathOf(EmulatorFolder()) / "demo.tdb";
    std::filesystem::create_directories(pathOf(EmulatorFolder()));

    HWND owner = nullptr;
    Answer dialog(db);
    CapturedBoxes boxes(owner, out);
    Win32MainWindow window(GetModuleHandleW(nullptr));
    if (!window.hwnd()) return 1;
    MainActions actions(window, dialog, boxes, DBEngine::Default());
    window.SetHandlers({[&] { actions.cmdBrowse_Click(); }, [&] { actions.cmdConvert_Click(); },
                        [&] { actions.cmdCopyEmul_Click(); }});
    owner = window.hwnd();
    window.Show(SW_SHOWNORMAL);
    UpdateWindow(window.hwnd());

    auto state = [&] {
        return std::string(window.BrowseEnabled() ? "B" : "-") + (window.ConvertEnabled() ? "C" : "-") +
               (window.CopyEmulEnabled() ? "E" : "-");
    };
    bool ok = true;
    auto shoot = [&](const char* name, const char* expected) {
        settle(1000);
        if (state() != expected) {
            std::fprintf(stderr, "%s: buttons %s, expected %s\n", name, state().c_str(), expected);
            ok = false;
        }
        const std::string file = out + name + ".bmp";
        if (docs::CaptureClient(window.hwnd(), file)) std::printf("%s\n", file.c_str());
        else ok = false;
    };
    auto click = [&](L::Index button) { SendMessageW(window.control(button), BM_CLICK, 0, 0); };

    shoot("win32-1-start", "B--");
    click(L::cmdBrowse);
    shoot("win32-2-database-chosen", "BC-");
    boxes.prefix = "win32-3-message-";
    click(L::cmdConvert);
    shoot("win32-3-converted", "--E");
    boxes.prefix = "win32-4-message-";
    click(L::cmdCopyEmul);
    shoot("win32-4-copied", "B--");

    std::error_code ignored;
    std::filesystem::remove(copied, ignored);
    std::filesystem::remove_all(demoFolder, ignored);
    return ok && !boxes.failed ? 0 : 1;
}
