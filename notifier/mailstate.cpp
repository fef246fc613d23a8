// The two mail states and the notification that comes with new mail: the
// window action, staying on top, the sound, the repeating alarm and the mail
// reader. Every show, hide or restore of the window goes through
// showWindowPlaced.
#include "notifier/window.h"

#include <shellapi.h>
#include <string.h>

#include "mail/mail.h"
#include "poll/reader.h"
#include "core/frontend.h"
#include "core/core.h"
#include "poll/pollcycle.h"

static void leavePlacement(void)
{
    if (notifier.placementDepth > 0)
        notifier.placementDepth--;
}

static bool isNormal(void)
{
    return !IsIconic(win.mainWindow) && !IsZoomed(win.mainWindow);
}

static void resizeTo(const RECT &rect, HWND order, UINT flags)
{
    SetWindowPos(win.mainWindow, order, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | flags);
}

// The owner takes the foreground so the popup main window may be activated.
static void bringForward(void)
{
    SetForegroundWindow(win.ownerWindow);
    SetActiveWindow(win.mainWindow);
}

static void redrawIcon(void)
{
    RedrawWindow(win.mainWindow, NULL, NULL, RDW_FRAME | RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
}

// --- No mail ------------------------------------------------------------------------

static void noMailWindowAction(bool actions)
{
    unsigned action = config.settings.WindowAction;
    if (!actions || action == ACTION_NONE) {
        if (isNormal())
            resizeTo(win.noHeaderRect, NULL, SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (action == ACTION_TO_TOP) {
        if (isNormal())
            resizeTo(win.noHeaderRect, HWND_NOTOPMOST, SWP_NOACTIVATE);
        else
            SetWindowPos(win.mainWindow, HWND_NOTOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else if (action == ACTION_RESTORE) {
        ShowWindow(win.mainWindow, SW_HIDE);
        showWindowPlaced(SW_SHOWMINNOACTIVE);
        if (config.settings.HideIcon)
            hideIcon();
    }
}

// The core has set the counts, the toggling item and the snapshots already.
void showNoMailState(bool actions)
{
    notifier.placementDepth++;
    notifier.iconRevealed = false;
    showToggleItem();
    setClassIcon(win.noMailIcon);
    setBackgroundColour(config.settings.colors[COLOR_NO_MAIL_WINDOW]);
    win.currentBitmap = win.noMailBitmap;
    if (win.newShell)
        trayIcon(NIM_MODIFY, win.smallNoMailIcon);
    else if (IsIconic(win.mainWindow))
        redrawIcon();
    noMailWindowAction(actions);
    if (config.settings.StayOnTop)
        setTopmost(false);
    if (!config.settings.HideIcon || !IsIconic(win.mainWindow) || win.newShell)
        refreshCaption();
    else
        hideIcon();
    stopAlarm();
    InvalidateRect(win.mainWindow, NULL, TRUE);
    leavePlacement();
}

// --- Have mail ----------------------------------------------------------------------

static void haveMailWindowAction(bool notify)
{
    const Settings &s = config.settings;
    unsigned action = s.WindowAction;
    if (!notify || action == ACTION_NONE) {
        if (s.ShowHeaders && isNormal())
            resizeTo(win.headerRect, NULL, SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (action == ACTION_TO_TOP) {
        if (s.ShowHeaders && isNormal()) {
            resizeTo(win.headerRect, HWND_TOP, 0);
            if (win.newShell)
                bringForward();
        } else if (!win.newShell) {
            SetWindowPos(win.mainWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        } else if (!win.minimised) {
            bringForward();
        }
    } else if (action == ACTION_RESTORE) {
        showWindowPlaced(SW_RESTORE);
    }
}

void showHaveMailState(bool notify)
{
    notifier.placementDepth++;
    notifier.iconRevealed = false;
    refreshCaption();
    showToggleItem();
    setClassIcon(win.newMailIcon);
    const uint32_t *colours = config.settings.colors;
    setBackgroundColour(
        colours[config.settings.ShowHeaders ? COLOR_HEADERS_BACKGROUND : COLOR_HAVE_MAIL_WINDOW]);
    win.currentBitmap = win.haveMailBitmap;
    // Headers mode may have begun with the item change: the caption follows.
    refreshCaption();
    if (win.newShell)
        trayIcon(NIM_MODIFY, win.smallNewMailIcon);
    // Before the sounds, which play to their end.
    if (notify)
        showBalloon();
    if (IsIconic(win.mainWindow) && !win.newShell) {
        if (config.settings.HideIcon) {
            win.iconTitleHidden = false;
            showWindowPlaced(SW_SHOWNA);
        }
        redrawIcon();
    }
    haveMailWindowAction(notify);
    if (config.settings.StayOnTop)
        setTopmost(true);
    InvalidateRect(win.mainWindow, NULL, TRUE);
    if (notify) {
        playNotificationSound();
        if (config.settings.Alarm && !win.alarmRunning)
            startAlarm();
        if (config.settings.LaunchOnMail)
            launchReader();
    }
    leavePlacement();
}

// --- Sounds ---------------------------------------------------------------------------

static void playPlanned(const char *file, void *context)
{
    if (file && file[0])
        win.playSoundFile(file);
}

void playNotificationSound(void)
{
    switch (config.settings.SoundOption) {
    case SOUND_BEEP: win.beep(); break;
    case SOUND_CUSTOM: win.playSoundFile(config.settings.SoundFile); break;
    case SOUND_WAVBASE: planWavBaseSounds(notifier.shownCount, playPlanned, nullptr); break;
    default: break;
    }
}

// --- Alarm -------------------------------------------------------------------------------

void startAlarm(void)
{
    if (win.alarmRunning || config.settings.SoundOption == SOUND_NONE)
        return;
    win.alarmCount = 1;
    if (!SetTimer(win.mainWindow, ALARM_TIMER_ID, 1000, AlarmProc)) {
        reportError("Can't set alarm\n\nToo many timers in use");
        return;
    }
    win.alarmRunning = true;
}

void stopAlarm(void)
{
    if (win.alarmRunning)
        KillTimer(win.mainWindow, ALARM_TIMER_ID);
    win.alarmRunning = false;
}

void CALLBACK AlarmProc(HWND window, UINT message, UINT_PTR timerId, DWORD time)
{
    if (notifier.modalOpen)
        return;
    const Settings &s = config.settings;
    if (win.alarmCount == 0) {
        if (s.SoundOption == SOUND_BEEP)
            win.beep();
        else if (s.SoundOption == SOUND_CUSTOM || s.SoundOption == SOUND_WAVBASE)
            win.playSoundFile(s.SoundFile);
    }
    unsigned interval = s.AlarmInterval ? s.AlarmInterval : 1;
    win.alarmCount = (win.alarmCount + 1) % interval;
}

// --- Window placement -----------------------------------------------------------------------

void showWindowPlaced(int showCommand)
{
    notifier.placementDepth++;
    const Geometry &g = config.geometry;
    bool headers = headersMode();
    int width = headers ? g.headerWidth : g.noHeaderWidth;
    int height = headers ? g.headerHeight : g.noHeaderHeight;
    SetRect(&win.placement.rcNormalPosition, win.position.x, win.position.y, win.position.x + width - 1,
            win.position.y + height - 1);
    win.placement.showCmd = (UINT)showCommand;
    HMENU menu = GetSystemMenu(win.mainWindow, FALSE);
    if (showCommand == SW_RESTORE || showCommand == SW_SHOWMAXIMIZED || showCommand == SW_SHOWNOACTIVATE) {
        if (config.settings.ExitMenu)
            EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
        restoreMoveItem();
        if (showCommand != SW_SHOWNOACTIVATE && win.newShell)
            bringForward();
    }
    win.placement.length = sizeof win.placement;
    win.placement.flags = WPF_SETMINPOSITION;
    SetWindowPlacement(win.mainWindow, &win.placement);
    leavePlacement();
}

void savePositions(void)
{
    const char *section = "Pelimbo";
    const Geometry &g = config.geometry;
    char value[SHORT_VALUE_SIZE];
    formatText(value, sizeof value, "%d,%d", toStored(win.position.x), toStored(win.position.y));
    WritePrivateProfileStringA(section, "Position", value, win.iniFile);
    formatText(value, sizeof value, "%d,%d", toStored(win.iconPosition.x), toStored(win.iconPosition.y));
    WritePrivateProfileStringA(section, "IconPosition", value, win.iniFile);
    formatText(value, sizeof value, "%d,%d", toStored(g.headerWidth), toStored(g.headerHeight));
    WritePrivateProfileStringA(section, "HeaderSize", value, win.iniFile);
    formatText(value, sizeof value, "%d,%d", toStored(g.noHeaderWidth), toStored(g.noHeaderHeight));
    WritePrivateProfileStringA(section, "NoHeaderSize", value, win.iniFile);
}

// Brings one top-level window of the running reader forward (restoring it
// when minimised), minimising the notifier first when asked to.
BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    bool iconic = IsIconic(window) != FALSE;
    if (iconic || IsWindowVisible(window)) {
        if (config.settings.MinimizeReader && !win.minimised)
            PostMessageA(win.mainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        if (iconic)
            ShowWindow(window, SW_RESTORE);
        else
            BringWindowToTop(window);
    }
    return TRUE;
}
