#include <windows.h>
#include <commctrl.h>

#include "dao.h"
#include "main_actions.h"
#include "win32_dialogs.h"
#include "win32_main_window.h"
#include "window_launch.h"

namespace vantrel {

// The native window, in the executable itself; its buttons run the same
// actions as the Qt window's.
int RunWindow(int, char**) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HWND owner = nullptr;
    Win32FileOpenDialog dialog(owner);
    Win32MessageBoxes boxes(owner);
    Win32MainWindow window(GetModuleHandleW(nullptr));
    if (!window.hwnd()) return 1;
    MainActions actions(window, dialog, boxes, DBEngine::Default());
    window.SetHandlers({[&] { actions.cmdBrowse_Click(); }, [&] { actions.cmdConvert_Click(); },
                        [&] { actions.cmdCopyEmul_Click(); }});
    owner = window.hwnd();
    window.Show(SW_SHOWNORMAL);
    return window.RunMessageLoop();
}

}  // namespace vantrel
