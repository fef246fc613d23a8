#include "tests/support/msgbox_capture.h"

#include <windows.h>

namespace
{

// One capture per thread at a time; the hook runs on the thread that shows the box.
thread_local HHOOK cbtHook;
thread_local HHOOK afterHook;
thread_local std::vector<CapturedBox> *captured;
thread_local int yesNoAnswer = IDYES;

std::string windowText(HWND window)
{
    char text[4096];
    int n = GetWindowTextA(window, text, sizeof text);
    return std::string(text, n > 0 ? (size_t)n : 0);
}

// The message text is the static control with id 0xFFFF; failing that, the
// longest static text among the children.
std::string boxText(HWND box)
{
    HWND item = GetDlgItem(box, 0xFFFF);
    if (item)
        return windowText(item);
    std::string best;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32];
        GetClassNameA(child, name, sizeof name);
        std::string text = windowText(child);
        if (lstrcmpiA(name, "Static") == 0 && text.size() > best.size())
            best = text;
    }
    return best;
}

// A message box is a top-level dialog whose children are its text (static
// 0xFFFF), an optional icon and the standard buttons, nothing else. Dialogs of
// the program itself (setup pages and frame, the About box, the password
// prompt, the poll-wait notice) hold other controls and are left alone.
bool isMessageBox(HWND box)
{
    char name[16];
    if (!GetClassNameA(box, name, sizeof name) || lstrcmpA(name, "#32770") != 0
        || (GetWindowLongA(box, GWL_STYLE) & WS_CHILD))
        return false;
    bool hasText = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        GetClassNameA(child, name, sizeof name);
        int id = GetDlgCtrlID(child) & 0xFFFF;
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(name, "Static") == 0) {
            if (id == 0xFFFF)
                hasText = true;
            else if ((style & SS_TYPEMASK) != SS_ICON)
                return false;
        } else if (lstrcmpiA(name, "Button") != 0 || id < IDOK || id > IDCONTINUE) {
            return false;
        }
    }
    return hasText;
}

// Records a box once and answers it at once.
void takeBox(HWND box)
{
    if (!captured || GetPropA(box, "PelimboCaptured") || !isMessageBox(box))
        return;
    SetPropA(box, "PelimboCaptured", (HANDLE)1);
    captured->push_back({boxText(box), windowText(box)});
    int button = GetDlgItem(box, IDYES) ? yesNoAnswer : IDOK;
    if (button == IDOK && !GetDlgItem(box, IDOK) && GetDlgItem(box, IDCANCEL))
        button = IDCANCEL;
    EndDialog(box, button);
}

// The box is taken as soon as its initialisation has set the text, which does
// not depend on it becoming the active window (other test programs may hold
// the focus of the shared display).
LRESULT CALLBACK afterMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT *message = (const CWPRETSTRUCT *)lParam;
    if (code == HC_ACTION && message->message == WM_INITDIALOG)
        takeBox(message->hwnd);
    return CallNextHookEx(afterHook, code, wParam, lParam);
}

LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE)
        takeBox((HWND)wParam);
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

// Under Wine the first window of a session starts the desktop process, which
// inherits our error output and lives as long as the Wine session: a test
// runner reading that output would wait for it. Start it with the error
// output pointed elsewhere.
void startDesktopQuietly()
{
    static bool started;
    if (started)
        return;
    started = true;
    HANDLE nul =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (nul != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_ERROR_HANDLE, nul);
        SetStdHandle(STD_OUTPUT_HANDLE, nul);
    }
    HWND probe = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    GetDesktopWindow();
    if (probe)
        DestroyWindow(probe);
    SetStdHandle(STD_ERROR_HANDLE, error);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
}

} // namespace

MessageBoxCapture::MessageBoxCapture()
{
    startDesktopQuietly();
    captured = new std::vector<CapturedBox>();
    yesNoAnswer = IDYES;
    cbtHook = SetWindowsHookExA(WH_CBT, onCbt, NULL, GetCurrentThreadId());
    afterHook = SetWindowsHookExA(WH_CALLWNDPROCRET, afterMessage, NULL, GetCurrentThreadId());
}

MessageBoxCapture::~MessageBoxCapture()
{
    if (cbtHook)
        UnhookWindowsHookEx(cbtHook);
    if (afterHook)
        UnhookWindowsHookEx(afterHook);
    cbtHook = afterHook = NULL;
    delete captured;
    captured = NULL;
}

const std::vector<CapturedBox> &MessageBoxCapture::boxes() const
{
    return *captured;
}

std::vector<std::string> MessageBoxCapture::texts() const
{
    std::vector<std::string> result;
    for (const CapturedBox &box : *captured)
        result.push_back(box.text);
    return result;
}

void MessageBoxCapture::clear()
{
    captured->clear();
}

void MessageBoxCapture::answerWith(int button)
{
    yesNoAnswer = button;
}

void showTestMessageBox(const char *text)
{
    MessageBoxA(NULL, text, "Pelimbo", MB_OK | MB_ICONEXCLAMATION);
}
