#include "win32_main_window.h"

#include <cwchar>

#include "newer_api_win32.h"
#include "utf16.h"

namespace vantrel {

namespace {
constexpr wchar_t kClassName[] = L"VantrelMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr int kFirstId = 100;

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style, exStyle;
};

ClassAndStyle classOf(layout::Kind kind, bool multiline) {
    switch (kind) {
        case layout::Kind::Edit: return {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case layout::Kind::Button:
            return {L"BUTTON", DWORD(WS_TABSTOP | BS_PUSHBUTTON | (multiline ? BS_MULTILINE : 0)), 0};
        // A label stays under the controls it touches, as the form's own labels
        // do: "Tables to Convert" reaches one pixel into the list's border.
        case layout::Kind::Label: return {L"STATIC", SS_LEFT | WS_CLIPSIBLINGS, 0};
        case layout::Kind::List:
            return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE};
    }
    return {L"STATIC", 0, 0};
}

HFONT makeFont(UINT dpi, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(layout::kFontHundredthsOfPoint, int(dpi), 7200);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = platform::Widen(layout::kFontFace);
    std::wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}
}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32MainWindow::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The executable's icon (app/vantrel.rc) in the title bar and the taskbar.
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // fails harmlessly when an earlier window registered it

    const std::wstring title = platform::Widen(layout::kTitle);
    hwnd_ = CreateWindowExW(kExStyle, kClassName, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr,
                            nullptr, instance, this);
    if (!hwnd_) return;
    for (int i = 0; i < layout::kCount; ++i) {
        const layout::Control& c = layout::kControls[i];
        const ClassAndStyle cs = classOf(c.kind, i == layout::cmdCopyEmul);
        const std::wstring caption = platform::Widen(c.caption);
        controls_[i] = CreateWindowExW(cs.exStyle, cs.className, caption.c_str(),
                                       WS_CHILD | WS_VISIBLE | cs.style | (c.enabledAtStart ? 0 : WS_DISABLED), 0, 0, 0,
                                       0, hwnd_, reinterpret_cast<HMENU>(INT_PTR(kFirstId + i)), instance, nullptr);
    }
    applyDpi(platform::WindowDpi(hwnd_));
}

Win32MainWindow::~Win32MainWindow() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);  // no more messages to this object
        DestroyWindow(hwnd_);
    }
    if (font_) DeleteObject(font_);
    if (boldFont_) DeleteObject(boldFont_);
}

void Win32MainWindow::applyDpi(UINT dpi) {
    dpi_ = dpi;
    HFONT oldFont = font_, oldBold = boldFont_;
    font_ = makeFont(dpi, false);
    boldFont_ = makeFont(dpi, true);
    for (int i = 0; i < layout::kCount; ++i) {
        const layout::Control& c = layout::kControls[i];
        SetWindowPos(controls_[i], nullptr, layout::Pixels(c.left, int(dpi)), layout::Pixels(c.top, int(dpi)),
                     layout::Pixels(c.width, int(dpi)), layout::Pixels(c.height, int(dpi)),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(controls_[i], WM_SETFONT, WPARAM(c.bold ? boldFont_ : font_), TRUE);
    }
    const int width = layout::Pixels(layout::kClientWidth, int(dpi)), height = layout::Pixels(layout::kClientHeight, int(dpi));
    RECT r{0, 0, width, height};
    platform::AdjustWindowRectForDpi(&r, kStyle, kExStyle, dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame actually drawn may differ from the computed one (a caption
    // still at the old DPI): the client area is what must come out exact.
    RECT client;
    GetClientRect(hwnd_, &client);
    if (client.right != width || client.bottom != height)
        SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left + width - client.right, r.bottom - r.top + height - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (oldFont) DeleteObject(oldFont);
    if (oldBold) DeleteObject(oldBold);
}

void Win32MainWindow::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    SetFocus(controls_[layout::Text1]);
}

int Win32MainWindow::RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}

std::string Win32MainWindow::GetText1() const {
    HWND edit = controls_[layout::Text1];
    std::wstring text(size_t(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(edit, text.data(), int(text.size()))));
    return platform::Narrow(text);
}

void Win32MainWindow::SetText1(const std::string& text) {
    SetWindowTextW(controls_[layout::Text1], platform::Widen(text).c_str());
}

void Win32MainWindow::ClearList1() { SendMessageW(controls_[layout::List1], LB_RESETCONTENT, 0, 0); }

void Win32MainWindow::AddToList1(const std::string& item) {
    const std::wstring w = platform::Widen(item);
    SendMessageW(controls_[layout::List1], LB_ADDSTRING, 0, LPARAM(w.c_str()));
}

void Win32MainWindow::enable(layout::Index i, bool on) {
    const HWND focus = GetFocus();
    EnableWindow(controls_[i], on);
    // A disabled control cannot keep the keyboard: it passes to the next stop.
    if (!on && focus == controls_[i]) SetFocus(GetNextDlgTabItem(hwnd_, controls_[i], FALSE));
}

void Win32MainWindow::keepFocus() {
    const HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) keptFocus_ = focus;
}

void Win32MainWindow::restoreFocus() {
    HWND to = keptFocus_ && IsChild(hwnd_, keptFocus_) ? keptFocus_ : nullptr;
    if (!to || !IsWindowEnabled(to)) to = GetNextDlgTabItem(hwnd_, to, FALSE);
    if (to) SetFocus(to);
}

void Win32MainWindow::SetMousePointer(int pointer) {
    waiting_ = pointer == 11;
    SetCursor(LoadCursorW(nullptr, waiting_ ? IDC_WAIT : IDC_ARROW));
}

LRESULT CALLBACK Win32MainWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
        static_cast<Win32MainWindow*>(create->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->handle(hwnd, msg, wParam, lParam);
}

LRESULT Win32MainWindow::handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                const int i = int(LOWORD(wParam)) - kFirstId;
                const std::function<void()>* h = i == layout::cmdBrowse    ? &handlers_.browse
                                                 : i == layout::cmdConvert ? &handlers_.convert
                                                 : i == layout::cmdCopyEmul ? &handlers_.copyEmul
                                                                            : nullptr;
                if (h && *h && IsWindowEnabled(controls_[i])) (*h)();
                return 0;
            }
            break;
        // Enter presses the focused button (IsDialogMessage asks which one).
        case DM_GETDEFID: {
            const HWND focus = GetFocus();
            for (layout::Index i : {layout::cmdBrowse, layout::cmdConvert, layout::cmdCopyEmul})
                if (focus == controls_[i]) return MAKELRESULT(kFirstId + i, DC_HASDEFID);
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                keepFocus();
            } else if (!HIWORD(wParam)) {  // not minimized
                restoreFocus();
            }
            return 0;
        case WM_SETFOCUS:  // the window itself has no use for the keyboard
            restoreFocus();
            return 0;
        case WM_SETCURSOR:
            if (waiting_) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case platform::kWmDpiChanged: {
            applyDpi(HIWORD(wParam));
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_NCDESTROY:
            hwnd_ = nullptr;
            PostQuitMessage(0);
            break;
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace vantrel
