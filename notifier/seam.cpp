// The window program's front-end table: what the core decides, shown in the
// main window, its menu and the notification area.
#include "core/frontend.h"

#include <windows.h>
#include <shellapi.h>

#include "core/core.h"
#include "poll/pollcycle.h"
#include "notifier/window.h"

static void windowShowError(const char *text)
{
    MessageBoxA(win.mainWindow, text, "Pelimbo", MB_OK | MB_ICONEXCLAMATION);
}

static int windowAskYesNo(const char *text)
{
    return MessageBoxA(win.mainWindow, text, "Pelimbo", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

static void windowPumpMessages(void)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the main loop, which ends on it.
            PostQuitMessage((int)message.wParam);
            return;
        }
        if (win.pollWaitDialog && IsDialogMessageA(win.pollWaitDialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

static void windowEnableMenuItem(int id, bool enabled)
{
    if (!win.mainWindow || !win.menuBuilt)
        return;
    EnableMenuItem(GetSystemMenu(win.mainWindow, FALSE), (UINT)id,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

static void windowRefreshStatus(void)
{
    refreshStatus();
}

// Old shell, hidden icon: the icon shows while the pointer rests on its place
// and hides again after more than three seconds away.
static void windowHiddenIconHover(void)
{
    if (win.newShell || !config.settings.HideIcon || !win.minimised
        || !(notifier.clearItem == MENU_SHOW || !notifier.haveMail))
        return;
    POINT pointer;
    GetCursorPos(&pointer);
    RECT place;
    GetWindowRect(win.mainWindow, &place);
    place.bottom += 12;
    bool inside = PtInRect(&place, pointer) != FALSE;
    if (notifier.iconRevealed) {
        if (!inside && ++notifier.awayTicks > 3) {
            notifier.iconRevealed = false;
            hideIcon();
            notifier.awayTicks = 0;
        }
    } else if (inside && WindowFromPoint(pointer) == GetDesktopWindow()) {
        notifier.iconRevealed = true;
        revealIcon();
    }
}

static void windowClosePollWait(void)
{
    if (win.pollWaitDialog)
        DestroyWindow(win.pollWaitDialog);
    win.pollWaitDialog = NULL;
}

// The waiting command runs as if the user had just asked for it. Exit goes
// through the Exit command so the window is really destroyed.
static void windowPostCommand(int command)
{
    switch (command) {
    case PENDING_ABOUT: PostMessageA(win.mainWindow, WM_SYSCOMMAND, MENU_ABOUT, 0); break;
    case PENDING_SETUP: PostMessageA(win.mainWindow, WM_SYSCOMMAND, MENU_SETUP, 0); break;
    case PENDING_LAUNCH_READER: PostMessageA(win.mainWindow, WM_LBUTTONDBLCLK, 0, 0); break;
    case PENDING_EXIT: PostMessageA(win.mainWindow, WM_SYSCOMMAND, MENU_EXIT, 0); break;
    case PENDING_SIGN_IN: PostMessageA(win.mainWindow, WM_SYSCOMMAND, MENU_SIGN_IN, 0); break;
    default: break;
    }
}

static void windowPollFinished(void)
{
    if (win.newShell)
        updateTrayIcon();
}

static void windowBlinkStep(bool blankPhase)
{
    if (win.newShell) {
        if (blankPhase)
            trayIcon(NIM_MODIFY, win.blankIcon);
        else
            updateTrayIcon();
    } else if (win.minimised && !win.iconTitleHidden) {
        setCaption(blankPhase ? " " : statusText());
    }
}

static void windowShowNotice(const char *text)
{
    showNoticeBalloon(text);
}

static void windowOpenPollWait(void)
{
    openPollWait();
}

// Called from the reader's launch thread: only posts.
static void windowMinimizeForReader(void)
{
    if (win.mainWindow && !win.minimised)
        PostMessageA(win.mainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

static void windowShowNoMail(bool actions)
{
    showNoMailState(actions);
}

static void windowShowHaveMail(bool notify)
{
    showHaveMailState(notify);
}

const FrontEnd windowFrontEnd = {
    windowShowError,         // showError
    windowAskYesNo,          // askYesNo
    windowPumpMessages,      // pumpMessages
    windowEnableMenuItem,    // enableMenuItem
    windowRefreshStatus,     // refreshStatus
    windowShowNoMail,        // showNoMail
    windowShowHaveMail,      // showHaveMail
    windowHiddenIconHover,   // hiddenIconHover
    windowClosePollWait,     // closePollWait
    windowPostCommand,       // postCommand
    windowOpenPollWait,      // openPollWait
    windowMinimizeForReader, // minimizeForReader
    windowPollFinished,      // pollFinished
    windowBlinkStep,         // blinkStep
    windowShowNotice,        // showNotice
};
