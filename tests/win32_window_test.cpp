// The Win32 window under Wine (with a display: Xvfb): the client area, each
// control's class, rectangle, caption and font, the tab order, the access
// key, the buttons' handlers, the view's text and list, the hourglass, the
// icon, the places at another DPI, and the keyboard coming back after a
// message box or the file dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "newer_api_win32.h"
#include "utf16.h"
#include "win32_dialogs.h"
#include "win32_main_window.h"

using namespace vantrel;
namespace L = vantrel::layout;

namespace {
RECT clientRectOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string textOf(HWND w) {
    wchar_t buf[256] = {};
    GetWindowTextW(w, buf, 256);
    return platform::Narrow(buf);
}

std::string classOf(HWND w) {
    wchar_t buf[64] = {};
    GetClassNameW(w, buf, 64);
    return platform::Narrow(buf);
}

LOGFONTW fontOf(HWND w) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

struct Window {
    Win32MainWindow w{GetModuleHandleW(nullptr)};
    int browsed = 0, converted = 0, copied = 0;
    // Shown only for the tests that need the keyboard: without a window
    // manager, Wine waits two seconds for a shown window to go away.
    explicit Window(bool shown = false) {
        w.SetHandlers({[this] { ++browsed; }, [this] { ++converted; }, [this] { ++copied; }});
        if (shown) w.Show(SW_SHOWNORMAL);
        pump();
    }
    HWND operator[](L::Index i) const { return w.control(i); }
    std::vector<std::string> tabStops(L::Index from) const {
        std::vector<std::string> names;
        HWND at = w.control(from);
        for (int i = 0; i < 8; ++i) {
            names.push_back(L::kControls[GetDlgCtrlID(at) - 100].name);
            at = GetNextDlgTabItem(w.hwnd(), at, FALSE);
            if (at == w.control(from)) break;
        }
        return names;
    }
};
}  // namespace

TEST(Win32Window, ClientAreaTitleAndControlsAt96Dpi) {
    Window t;
    ASSERT_TRUE(t.w.hwnd());
    ASSERT_EQ(96u, t.w.dpi()) << "the test prefix runs at 96 dpi";
    RECT client;
    GetClientRect(t.w.hwnd(), &client);
    EXPECT_EQ(472, client.right);
    EXPECT_EQ(198, client.bottom);
    EXPECT_EQ("Vantrel", textOf(t.w.hwnd()));
    struct Want {
        L::Index i;
        const char* cls;
        RECT r;  // left, top, right, bottom in client pixels
        const char* caption;
    } wants[] = {
        {L::Text1, "Edit", {8, 24, 385, 49}, ""},
        {L::cmdConvert, "Button", {392, 72, 465, 97}, "執行"},
        {L::Label1, "Static", {8, 8, 321, 25}, "Please select a DB to convert to local."},
        {L::cmdBrowse, "Button", {392, 24, 465, 49}, "&Select DB..."},
        {L::List1, "ListBox", {8, 72, 385, 188}, ""},
        {L::Label2, "Static", {8, 56, 185, 73}, "Tables to Convert"},
        {L::cmdCopyEmul, "Button", {392, 136, 465, 177}, "Copy to  Emulator"},
    };
    for (const auto& x : wants) {
        const RECT r = clientRectOf(t[x.i]);
        const char* name = L::kControls[x.i].name;
        EXPECT_EQ(x.cls, classOf(t[x.i])) << name;
        EXPECT_EQ(x.r.left, r.left) << name;
        EXPECT_EQ(x.r.top, r.top) << name;
        EXPECT_EQ(x.r.right, r.right) << name;
        EXPECT_EQ(x.r.bottom, r.bottom) << name;
        EXPECT_EQ(x.caption, textOf(t[x.i])) << name;
        const LOGFONTW lf = fontOf(t[x.i]);
        EXPECT_EQ("Arial", platform::Narrow(lf.lfFaceName)) << name;
        EXPECT_EQ(-11, lf.lfHeight) << name;  // 8.25 pt at 96 dpi
        EXPECT_EQ(x.i == L::Text1 ? FW_BOLD : FW_NORMAL, lf.lfWeight) << name;
    }
    EXPECT_TRUE(GetWindowLongW(t[L::cmdCopyEmul], GWL_STYLE) & BS_MULTILINE);
    EXPECT_FALSE(GetWindowLongW(t[L::List1], GWL_STYLE) & LBS_SORT);
}

// The title bar and the taskbar show the application's icon (app/vantrel.rc,
// which this test program carries too).
TEST(Win32Window, TheWindowHasTheApplicationsIcon) {
    Window t;
    EXPECT_NE(0u, GetClassLongPtrW(t.w.hwnd(), GCLP_HICON));
    EXPECT_NE(0u, GetClassLongPtrW(t.w.hwnd(), GCLP_HICONSM));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(GetClassLongPtrW(t.w.hwnd(), GCLP_HICONSM)), &info));
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), bm.bmWidth);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

// Where a label reaches into another control ("Tables to Convert" into the
// list's top border), the control is drawn over it: it is above the label in
// the z-order and the label is clipped by the siblings above it.
TEST(Win32Window, LabelsStayUnderTheControlsTheyTouch) {
    Window t;
    int overlaps = 0;
    for (L::Index label : {L::Label1, L::Label2}) {
        const RECT lr = clientRectOf(t[label]);
        for (int i = 0; i < L::kCount; ++i) {
            if (i == label) continue;
            const RECT cr = clientRectOf(t[L::Index(i)]);
            RECT both;
            if (!IntersectRect(&both, &lr, &cr)) continue;
            ++overlaps;
            bool above = false;
            for (HWND w = GetWindow(t[L::Index(i)], GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT)) above |= w == t[label];
            EXPECT_TRUE(above) << L::kControls[i].name << " over " << L::kControls[label].name;
            EXPECT_TRUE(GetWindowLongW(t[label], GWL_STYLE) & WS_CLIPSIBLINGS) << L::kControls[label].name;
        }
    }
    EXPECT_EQ(2, overlaps);  // Label1 into Text1, Label2 into List1: one pixel each
}

TEST(Win32Window, TabOrderSkipsLabelsAndDisabledButtons) {
    Window t;
    EXPECT_EQ((std::vector<std::string>{"Text1", "cmdBrowse", "List1"}), t.tabStops(L::Text1));
    t.w.EnableConvert(true);
    t.w.EnableCopyEmul(true);
    EXPECT_EQ((std::vector<std::string>{"Text1", "cmdConvert", "cmdBrowse", "List1", "cmdCopyEmul"}),
              t.tabStops(L::Text1));
    for (L::Index label : {L::Label1, L::Label2}) EXPECT_FALSE(GetWindowLongW(t[label], GWL_STYLE) & WS_TABSTOP);
}

TEST(Win32Window, ButtonsRunTheirHandlersOnlyWhenEnabled) {
    Window t(true);
    EXPECT_TRUE(t.w.BrowseEnabled());
    EXPECT_FALSE(t.w.ConvertEnabled());
    EXPECT_FALSE(t.w.CopyEmulEnabled());
    SendMessageW(t[L::cmdConvert], BM_CLICK, 0, 0);
    SendMessageW(t[L::cmdBrowse], BM_CLICK, 0, 0);
    EXPECT_EQ(1, t.browsed);
    EXPECT_EQ(0, t.converted);
    t.w.EnableConvert(true);
    SendMessageW(t[L::cmdConvert], BM_CLICK, 0, 0);
    EXPECT_EQ(1, t.converted);
    // A disabled button that had the keyboard passes it on.
    SetFocus(t[L::cmdConvert]);
    t.w.EnableConvert(false);
    EXPECT_NE(t[L::cmdConvert], GetFocus());
}

TEST(Win32Window, AltSClicksSelectDb) {
    Window t(true);
    SetFocus(t[L::Text1]);
    MSG msg{t[L::Text1], WM_SYSCHAR, 's', 0x20000000, 0, {}};
    EXPECT_TRUE(IsDialogMessageW(t.w.hwnd(), &msg));
    pump();
    EXPECT_EQ(1, t.browsed);
}

TEST(Win32Window, ViewTextListAndPointer) {
    Window t;
    t.w.SetText1("C:\\Données\\中文.mdb");
    EXPECT_EQ("C:\\Données\\中文.mdb", t.w.GetText1());
    t.w.AddToList1("Customers");
    t.w.AddToList1("Ärzte");
    t.w.AddToList1("Alpha");
    ASSERT_EQ(3, SendMessageW(t[L::List1], LB_GETCOUNT, 0, 0));
    wchar_t item[64] = {};
    SendMessageW(t[L::List1], LB_GETTEXT, 1, LPARAM(item));
    EXPECT_EQ("Ärzte", platform::Narrow(item));  // kept in the order added
    t.w.ClearList1();
    EXPECT_EQ(0, SendMessageW(t[L::List1], LB_GETCOUNT, 0, 0));
    t.w.SetMousePointer(11);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), GetCursor());
    t.w.SetMousePointer(0);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), GetCursor());
}

TEST(Win32Window, PlacesAndFontsFollowTheMonitorDpi) {
    Window t;
    RECT suggested;
    GetWindowRect(t.w.hwnd(), &suggested);
    SendMessageW(t.w.hwnd(), platform::kWmDpiChanged, MAKEWPARAM(144, 144), LPARAM(&suggested));
    RECT client;
    GetClientRect(t.w.hwnd(), &client);
    EXPECT_EQ(708, client.right);  // 7080 twips at 144 dpi
    EXPECT_EQ(297, client.bottom);
    const RECT r = clientRectOf(t[L::cmdCopyEmul]);
    EXPECT_EQ(588, r.left);
    EXPECT_EQ(204, r.top);
    EXPECT_EQ(588 + 110, r.right);  // 1095 twips: 109.5, rounded
    EXPECT_EQ(204 + 62, r.bottom);
    EXPECT_EQ(-17, fontOf(t[L::Label1]).lfHeight);  // 8.25 pt at 144 dpi: 16.5, rounded
}

namespace {
// Closes the modal window this thread shows (a message box, the file
// dialog) once it is up, as a user's click would: a timer runs inside its
// modal loop.
void CALLBACK closeModal(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND modal = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM found) {
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (IsWindowVisible(w) && std::wstring(cls) == L"#32770") *reinterpret_cast<HWND*>(found) = w;
            return TRUE;
        },
        LPARAM(&modal));
    if (!modal) return;
    KillTimer(nullptr, timer);
    PostMessageW(modal, WM_COMMAND, IDCANCEL, 0);
}

// A key as the message loop sees it: through IsDialogMessage.
void press(HWND window, UINT key) {
    for (UINT msg : {WM_KEYDOWN, WM_KEYUP}) {
        MSG m{GetFocus(), msg, key, LPARAM(msg == WM_KEYUP ? 0xC0000001 : 1), 0, {}};
        if (!IsDialogMessageW(window, &m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        pump();
    }
}
}  // namespace

// A message box or the file dialog takes the keyboard; when it closes, the
// button that had it has it again, and Enter and Space press it.
TEST(Win32Window, TheFocusedButtonKeepsTheKeyboardAcrossModalWindows) {
    Window t(true);
    HWND owner = t.w.hwnd();
    Win32MessageBoxes boxes(owner);
    Win32FileOpenDialog dialog(owner);
    struct Case {
        const char* what;
        std::function<void()> modal;
    } cases[] = {
        {"message box", [&] { boxes.Show("Error Number [76]\r\nError Description [Path not found]"); }},
        {"file dialog", [&] { dialog.ShowOpen("Pick an MDB", "Database Files (*.mdb)"); }},
    };
    for (const Case& c : cases) {
        int pressed = 0;
        t.w.SetHandlers({[&] {
                             ++pressed;
                             SetTimer(nullptr, 0, 50, closeModal);
                             c.modal();
                         },
                         {},
                         {}});
        SetFocus(t[L::cmdBrowse]);
        SendMessageW(t[L::cmdBrowse], BM_CLICK, 0, 0);
        pump();
        ASSERT_EQ(1, pressed) << c.what;
        EXPECT_EQ(t[L::cmdBrowse], GetFocus()) << c.what;
        press(t.w.hwnd(), VK_RETURN);
        EXPECT_EQ(2, pressed) << c.what << ": Enter";
        EXPECT_EQ(t[L::cmdBrowse], GetFocus()) << c.what;
        press(t.w.hwnd(), VK_SPACE);
        EXPECT_EQ(3, pressed) << c.what << ": Space";
    }
}

// A control disabled while the window was inactive passes the keyboard on.
TEST(Win32Window, AControlDisabledMeanwhileGivesTheKeyboardToTheNextStop) {
    Window t(true);
    t.w.EnableConvert(true);
    SetFocus(t[L::cmdConvert]);
    SendMessageW(t.w.hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    EnableWindow(t[L::cmdConvert], FALSE);
    SendMessageW(t.w.hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(t[L::cmdBrowse], GetFocus());
}

TEST(Win32Dialogs, OpenFilterPairsTheDescriptionWithItsPattern) {
    EXPECT_EQ(std::wstring(L"Database Files (*.mdb)\0*.mdb\0\0", 30), FileDialogFilter("Database Files (*.mdb)"));
    EXPECT_EQ(std::wstring(L"Anything\0*.*\0\0", 14), FileDialogFilter("Anything"));
}
