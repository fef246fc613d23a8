// The main window procedure: user gestures become the notifier's commands,
// geometry is kept while the user moves and sizes the window, socket events
// go to the transport, and setup and exit run from here.
#include "notifier/window.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include "base/entrypoint_win32.h"
#include "auth/oauth.h"
#include "mail/mail.h"
#include "poll/reader.h"
#include "core/frontend.h"
#include "core/core.h"
#include "poll/pollcycle.h"
#include "sources/notes.h"
#include "sources/sources.h"

const char *setupLibraryName = PELSETUP_LIBRARY_NAME;

// WM_POPUPSYSTEMMENU: pops the window's system menu up at a screen position.
static const UINT popupSystemMenu = 0x313;

bool headersMode(void)
{
    return config.settings.ShowHeaders && notifier.clearItem == MENU_CLEAR && !notifier.clearGrayed
           && notifier.haveMail;
}

static HMENU systemMenu(void)
{
    return GetSystemMenu(win.mainWindow, FALSE);
}

static bool isNormal(void)
{
    return !IsIconic(win.mainWindow) && !IsZoomed(win.mainWindow);
}

static void enableClose(bool enabled)
{
    if (config.settings.ExitMenu)
        EnableMenuItem(systemMenu(), SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

// --- System menu ------------------------------------------------------------------

void buildSystemMenu(void)
{
    HMENU menu = systemMenu();
    if (win.newShell) {
        win.moveItemPosition = 1;
        copyText(win.moveItemText, "&Move");
        int count = GetMenuItemCount(menu);
        for (int i = 0; i < count; i++) {
            if (GetMenuItemID(menu, i) == SC_MOVE) {
                win.moveItemPosition = i;
                char text[64];
                if (GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION) > 0)
                    copyTextN(win.moveItemText, sizeof win.moveItemText, text, MOVE_TEXT_SIZE - 1);
                break;
            }
        }
    }
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    if (config.settings.ExitMenu) {
        AppendMenuA(menu, MF_STRING, MENU_EXIT, "&Exit");
        AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    }
    AppendMenuA(menu, MF_STRING, MENU_POLL_NOW, "&Poll now!");
    AppendMenuA(menu, MF_STRING | MF_GRAYED, MENU_CLEAR, "C&lear\tAlt+F10");
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = true;
    win.toggleItemInMenu = MENU_CLEAR;
    AppendMenuA(menu, MF_STRING, MENU_SETUP, "Se&tup...");
    if (config.settings.PasswordPrompt && config.settings.MessageSource != SOURCE_NOTES)
        AppendMenuA(menu, MF_STRING, MENU_PASSWORD, "Pass&word...");
    if (signsInWithOAuth(config.settings.MessageSource, config.settings.Auth))
        AppendMenuA(menu, MF_STRING, MENU_SIGN_IN, "Sign &in...");
    AppendMenuA(menu, MF_STRING, MENU_HELP, "&Help...");
    AppendMenuA(menu, MF_STRING, MENU_ABOUT, "&About Pelimbo...");
    win.menuBuilt = true;
}

// The toggling item is replaced in place by the command the core chose
// (notifier.clearItem, grayed with notifier.clearGrayed).
void showToggleItem(void)
{
    if (!win.menuBuilt)
        return;
    int id = notifier.clearItem;
    const char *text = id == MENU_CLEAR ? "C&lear\tAlt+F10" : "Sh&ow\tAlt+F10";
    ModifyMenuA(systemMenu(), (UINT)win.toggleItemInMenu,
                MF_BYCOMMAND | MF_STRING | (notifier.clearGrayed ? MF_GRAYED : 0), (UINT_PTR)id, text);
    win.toggleItemInMenu = id;
}

// While minimised to the notification area the Move item is a grayed stand-in.
void substituteMoveItem(void)
{
    if (!win.newShell || win.moveSubstituted || !win.menuBuilt)
        return;
    HMENU menu = systemMenu();
    DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
    InsertMenuA(menu, SC_SIZE, MF_BYCOMMAND | MF_STRING | MF_GRAYED, MENU_MOVE_SUBSTITUTE, win.moveItemText);
    win.moveSubstituted = true;
}

void restoreMoveItem(void)
{
    if (!win.newShell || !win.moveSubstituted)
        return;
    HMENU menu = systemMenu();
    DeleteMenu(menu, MENU_MOVE_SUBSTITUTE, MF_BYCOMMAND);
    InsertMenuA(menu, SC_SIZE, MF_BYCOMMAND | MF_STRING, SC_MOVE, win.moveItemText);
    win.moveSubstituted = false;
}

static int menuPosition(HMENU menu, UINT id)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++)
        if (GetMenuItemID(menu, i) == id)
            return i;
    return -1;
}

static void setExitItem(bool present)
{
    HMENU menu = systemMenu();
    int position = menuPosition(menu, MENU_EXIT);
    if (present && position < 0) {
        InsertMenuA(menu, MENU_POLL_NOW, MF_BYCOMMAND | MF_STRING, MENU_EXIT, "&Exit");
        InsertMenuA(menu, MENU_POLL_NOW, MF_BYCOMMAND | MF_SEPARATOR, 0, NULL);
    } else if (!present && position >= 0) {
        MENUITEMINFOA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        if (GetMenuItemInfoA(menu, (UINT)position + 1, TRUE, &info) && (info.fType & MFT_SEPARATOR))
            DeleteMenu(menu, (UINT)position + 1, MF_BYPOSITION);
        DeleteMenu(menu, MENU_EXIT, MF_BYCOMMAND);
    }
}

// An item just before "&Help...", present or not.
static void setItemBeforeHelp(UINT id, const char *text, bool present)
{
    HMENU menu = systemMenu();
    bool there = menuPosition(menu, id) >= 0;
    if (present && !there)
        InsertMenuA(menu, MENU_HELP, MF_BYCOMMAND | MF_STRING, id, text);
    else if (!present && there)
        DeleteMenu(menu, id, MF_BYCOMMAND);
}

// --- Help ----------------------------------------------------------------------------

void openHelp(int context)
{
    char target[PATH_SIZE + 64];
    // A fragment needs a URL; the plain path opens the page at its top (the index).
    if (context == 0) {
        copyText(target, win.helpFile);
    } else {
        copyText(target, "file:///");
        for (const char *p = win.helpFile; *p; p++) {
            char c[2] = {*p == '\\' ? '/' : *p, '\0'};
            appendText(target, c);
        }
        char anchor[32];
        formatText(anchor, sizeof anchor, "#context-%d", context);
        appendText(target, anchor);
    }
    ShellExecuteA(win.mainWindow, "open", target, NULL, NULL, SW_SHOWNORMAL);
}

static void helpIndex(void)
{
    stopAlarm();
    openHelp(0);
}

// --- Geometry ----------------------------------------------------------------------------

// Both mode rectangles have their corner at the window's normal position.
void updateModeRects(void)
{
    const Geometry &g = config.geometry;
    SetRect(&win.headerRect, win.position.x, win.position.y, win.position.x + g.headerWidth - 1,
            win.position.y + g.headerHeight - 1);
    SetRect(&win.noHeaderRect, win.position.x, win.position.y, win.position.x + g.noHeaderWidth - 1,
            win.position.y + g.noHeaderHeight - 1);
}

// The stored size of the current mode and the position follow the window.
static void recordNormalRect(void)
{
    RECT rect;
    GetWindowRect(win.mainWindow, &rect);
    Geometry &g = config.geometry;
    if (headersMode()) {
        g.headerWidth = rect.right - rect.left + 1;
        g.headerHeight = rect.bottom - rect.top + 1;
    } else {
        g.noHeaderWidth = rect.right - rect.left + 1;
        g.noHeaderHeight = rect.bottom - rect.top + 1;
    }
    win.position.x = rect.left;
    win.position.y = rect.top;
    updateModeRects();
}

static void recordIconCorner(void)
{
    RECT rect;
    GetWindowRect(win.mainWindow, &rect);
    win.iconPosition.x = rect.left;
    win.iconPosition.y = rect.top;
    win.placement.ptMinPosition = win.iconPosition;
}

static void resizeToMode(void)
{
    const RECT &r = headersMode() ? win.headerRect : win.noHeaderRect;
    SetWindowPos(win.mainWindow, NULL, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Setup -----------------------------------------------------------------------------------

static void resortShownList(void)
{
    sortShownHeaders(notifier.shownCount);
}

static bool uncleared(void)
{
    return notifier.haveMail && notifier.clearItem == MENU_CLEAR;
}

static bool differ(const char *a, const char *b)
{
    return strcmp(a, b) != 0;
}

// The service sessions follow the source and its credentials: a changed
// login (or post office) clears what the old session found and logs on again.
static void applyServiceSessions(const Settings &before)
{
    const Settings &now = config.settings;
    bool credentials = differ(now.Login, before.Login) || differ(now.Password, before.Password);
    if (isMapiMessageSource(now.MessageSource)) {
        if (isMapiMessageSource(before.MessageSource) && credentials && mapiSessionOpen()) {
            resetMailState();
            enterNoMailState(false);
            closeMapi();
        }
        openMapi();
    } else if (isMapiMessageSource(before.MessageSource)) {
        closeMapi();
    }
    if (now.MessageSource == SOURCE_CCMAIL) {
        if (before.MessageSource == SOURCE_CCMAIL && vimSessionOpen()
            && (credentials || differ(now.MailHost, before.MailHost))) {
            resetMailState();
            enterNoMailState(false);
            closeVim();
        }
        openVim();
    } else if (before.MessageSource == SOURCE_CCMAIL) {
        closeVim();
    }
}

static void applyNewSettings(const Settings &before)
{
    const Settings &now = config.settings;
    win.settingsInvalid = loadSettings(win.iniFile);
    loadFilterList(win.iniFile);
    loadWavBaseList(win.iniFile);

    if (win.menuBuilt) {
        if (now.ExitMenu != before.ExitMenu)
            setExitItem(now.ExitMenu);
        bool passwordItem = now.PasswordPrompt && now.MessageSource != SOURCE_NOTES;
        // "Pass&word..." first when both are there, as at start.
        setItemBeforeHelp(MENU_SIGN_IN, "Sign &in...", false);
        setItemBeforeHelp(MENU_PASSWORD, "Pass&word...", passwordItem);
        setItemBeforeHelp(MENU_SIGN_IN, "Sign &in...", signsInWithOAuth(now.MessageSource, now.Auth));
    }

    if (now.colors[COLOR_NO_MAIL_WINDOW] != before.colors[COLOR_NO_MAIL_WINDOW]
        || now.colors[COLOR_HAVE_MAIL_WINDOW] != before.colors[COLOR_HAVE_MAIL_WINDOW])
        makePictures();

    if (now.UseFilters != before.UseFilters || now.MessageSource != before.MessageSource
        || differ(now.MailFile, before.MailFile)) {
        resetMailState();
        enterNoMailState(false);
        mail.latestFileDate = 0;
        mail.latestFileTime = 0;
    } else if (now.ShowHeaders && uncleared()) {
        if (!before.ShowHeaders && notifier.shownCount == 0) {
            if (now.MessageSource == SOURCE_DISK_FILE || now.MessageSource == SOURCE_PMAIL_NETWARE)
                pollMailFile();
        } else if (now.ReverseSort != before.ReverseSort && notifier.shownCount > 1) {
            resortShownList();
        }
    }

    if (now.ShowHeaders != before.ShowHeaders && isNormal())
        resizeToMode();

    if (!win.minimised) {
        refreshCaption();
    } else if (now.HideIcon && !before.HideIcon && !uncleared()) {
        hideIcon();
    } else if (!now.HideIcon && before.HideIcon && !uncleared()) {
        revealIcon();
    } else if (differ(now.WindowCaption, before.WindowCaption) && !win.iconTitleHidden) {
        setCaption(statusText());
        if (win.newShell)
            trayTip();
    }

    if (headersMode())
        setBackgroundColour(now.colors[COLOR_HEADERS_BACKGROUND]);
    else if (notifier.clearItem == MENU_CLEAR && !notifier.clearGrayed)
        setBackgroundColour(now.colors[COLOR_HAVE_MAIL_WINDOW]);
    else
        setBackgroundColour(now.colors[COLOR_NO_MAIL_WINDOW]);

    unsigned source = now.MessageSource;
    bool asks = (source == SOURCE_CCMAIL || source == SOURCE_MSMAIL || source == SOURCE_GROUPWISE
                 || isNetworkSource(source))
                && !signsInWithOAuth(source, now.Auth);
    if (now.PasswordPrompt && asks
        && (!before.PasswordPrompt || source != before.MessageSource || differ(now.Login, before.Login)
            || differ(now.MailHost, before.MailHost)))
        promptPassword(PASSWORD_LOGIN);

    applyServiceSessions(before);
    bool network = isNetworkSource(source);
    if (network) {
        loadDialUp();
        if (differ(now.Login, before.Login) || differ(now.Password, before.Password)
            || differ(now.plainPassword, before.plainPassword) || differ(now.MailHost, before.MailHost)
            || differ(now.IMAPMailBox, before.IMAPMailBox) || now.POP3Port != before.POP3Port
            || now.IMAP4Port != before.IMAP4Port || now.Auth != before.Auth) {
            forgetHostAddress();
            resetMailState();
            enterNoMailState(false);
        }
        // An access token belongs to the sign-in, client and service it came from.
        if (now.Auth != before.Auth || now.OAuthProvider != before.OAuthProvider
            || differ(now.OAuthToken, before.OAuthToken) || differ(now.OAuthClientId, before.OAuthClientId)
            || differ(now.OAuthTokenUrl, before.OAuthTokenUrl) || differ(now.Login, before.Login)) {
            forgetAccessToken();
            oauth.signInNeededTold = false;
        }
    } else if (isNetworkSource(before.MessageSource)) {
        leaveDialUp();
    }

    // Notes first, then the comparison: with UseNotesSettings the session
    // puts the client's own ID file, server and database into the settings,
    // and they must not count as changed each time.
    if (source == SOURCE_NOTES) {
        openNotes();
        if (differ(now.Login, before.Login) || differ(now.Password, before.Password)
            || differ(now.NotesFolder, before.NotesFolder) || differ(now.NotesServer, before.NotesServer)
            || differ(now.NotesMailDatabase, before.NotesMailDatabase)
            || now.UseNotesSettings != before.UseNotesSettings
            || now.Notes3xMailbox != before.Notes3xMailbox) {
            resetMailState();
            enterNoMailState(false);
        }
    }

    if (now.UnreadOnly != before.UnreadOnly) {
        resetMailState();
        enterNoMailState(false);
    }

    if (now.StayOnTop != before.StayOnTop && notifier.haveMail)
        setTopmost(now.StayOnTop);
}

bool runSetup(void)
{
    if (notifier.pollInProgress) {
        openPollWait();
        if (notifier.pendingCommand == PENDING_NONE)
            notifier.pendingCommand = PENDING_SETUP;
        return false;
    }
    HMODULE library = loadLibraryQuietly(setupLibraryName);
    if (!library) {
        reportError("Unable to load PELSETUP32.DLL");
        return false;
    }
    DoSetupProc doSetup = (DoSetupProc)(void *)GetProcAddress(library, PELSETUP_ENTRY_NAME);
    if (!doSetup) {
        reportError("Missing function in PELSETUP32.DLL");
        FreeLibrary(library);
        return false;
    }
    notifier.modalOpen = true;
    // The watch ends for the dialog and starts again, with the settings then in
    // force, at the first tick after it.
    bool watched = netStages.watching;
    endNetworkWatch();
    bool network = isNetworkSource(config.settings.MessageSource);
    // The setup library uses the dial-up and Notes interfaces itself.
    if (network)
        unloadDialUp();
    bool notes = config.settings.MessageSource == SOURCE_NOTES;
    if (notes)
        closeNotes();
    static Settings before;
    before = config.settings;
    int saved = doSetup(win.mainWindow, win.instance, win.currentDrive, win.currentDirectory, win.helpFile,
                        win.iniFile, win.noMailIcon, win.newMailIcon);
    FreeLibrary(library);
    if (watched)
        notifier.tickCounter = 0;
    if (!saved) {
        SecureZeroMemory(&before, sizeof before);
        if (network)
            loadDialUp();
        if (notes)
            openNotes();
        notifier.modalOpen = false;
        return false;
    }
    applyNewSettings(before);
    // The copy holds the old plain password.
    SecureZeroMemory(&before, sizeof before);
    if (win.mainWindow)
        InvalidateRect(win.mainWindow, NULL, TRUE);
    notifier.modalOpen = false;
    return true;
}

void closeSource(void)
{
    unsigned source = config.settings.MessageSource;
    if (isNetworkSource(source)) {
        endNetworkWatch();
        abortNetworkPoll();
        hangUpDialUp();
    }
    if (source == SOURCE_CCMAIL)
        closeVim();
    if (isMapiMessageSource(source))
        closeMapi();
    if (source == SOURCE_NOTES)
        closeNotes();
}

// --- Message handlers ------------------------------------------------------------------------

static LRESULT onCreate(HWND window)
{
    win.mainWindow = window;
    win.subjectAdvance = 2 * win.lineHeight;
    win.textWidth = HEADER_TEXT_COLUMNS * win.charWidth;
    RECT client;
    GetClientRect(window, &client);
    win.clientHeight = client.bottom;
    const Settings &s = config.settings;
    if (win.settingsInvalid || (s.MessageSource == SOURCE_DISK_FILE && s.MailFile[0] == '\0')) {
        if (!runSetup()) {
            win.startCancelled = true;
            return -1;
        }
    }
    win.settingsInvalid = false;
    win.windowReady = true;
    return 0;
}

static LRESULT onDestroy(HWND window)
{
    KillTimer(window, POLL_TIMER_ID);
    stopAlarm();
    if (win.startCancelled) {
        win.mainWindow = NULL;
        return 0;
    }
    closeSource();
    SetClassLongPtrA(window, GCLP_HBRBACKGROUND, (LONG_PTR)GetStockObject(WHITE_BRUSH));
    if (win.backgroundBrush)
        DeleteObject(win.backgroundBrush);
    win.backgroundBrush = NULL;
    if (win.windowReady)
        savePositions();
    freeMailBuffers();
    if (win.socketBuffer)
        GlobalFree(win.socketBuffer);
    win.socketBuffer = NULL;
    freeFilterList(&config.filterList);
    freeWavBaseList(&config.wavBaseList);
    unloadNetWareBridge();
    unloadDialUp();
    unloadServiceLibraries();
    unloadReaderLibraries();
    if (win.newShell)
        trayRemove();
    if (win.pollWaitDialog)
        DestroyWindow(win.pollWaitDialog);
    win.pollWaitDialog = NULL;
    notifier.pollWaitOpen = false;
    win.windowReady = false;
    win.menuBuilt = false;
    PostQuitMessage(0);
    return 0;
}

static LRESULT onMove(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (notifier.placementDepth > 0)
        return DefWindowProcA(window, WM_MOVE, wParam, lParam);
    if (!win.minimised && !IsIconic(window) && !win.maximised && !IsZoomed(window)) {
        recordNormalRect();
    } else if (win.minimised && IsIconic(window) && !win.newShell) {
        win.iconPosition.x = (short)LOWORD(lParam);
        win.iconPosition.y = (short)HIWORD(lParam);
        win.placement.ptMinPosition = win.iconPosition;
        showWindowPlaced(SW_SHOWNA);
    }
    return 0;
}

static LRESULT onSize(HWND window, WPARAM kind, LPARAM lParam)
{
    notifier.iconRevealed = false;
    if (kind == SIZE_RESTORED) {
        enableClose(true);
        restoreMoveItem();
        if (notifier.placementDepth == 0 && isNormal())
            recordNormalRect();
        setCaption(headersMode() ? captionText() : statusText());
        win.minimised = IsIconic(window) != FALSE;
        win.maximised = IsZoomed(window) != FALSE;
    } else if (kind == SIZE_MINIMIZED) {
        enableClose(false);
        substituteMoveItem();
        if (!win.newShell) {
            recordIconCorner();
            if (!config.settings.HideIcon || uncleared())
                revealIcon();
            else
                hideIcon();
        } else {
            ShowWindow(window, SW_HIDE);
        }
        win.minimised = true;
        win.maximised = false;
    } else if (kind == SIZE_MAXIMIZED) {
        enableClose(true);
        setCaption(captionText());
        win.minimised = false;
        win.maximised = true;
    }
    win.clientHeight = HIWORD(lParam);
    if (!IsIconic(window) && !headersMode()) {
        SetScrollRange(window, SB_VERT, 0, 0, FALSE);
        SetScrollRange(window, SB_HORZ, 0, 0, FALSE);
    }
    return 0;
}

static LRESULT onGetText(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (win.minimised && win.iconTitleHidden && win.iconTitleWindow)
        ShowWindow(win.iconTitleWindow, SW_HIDE);
    return DefWindowProcA(window, WM_GETTEXT, wParam, lParam);
}

static LRESULT onPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    paintMainWindow(dc, &paint.rcPaint);
    EndPaint(window, &paint);
    return 0;
}

static LRESULT onEndSession(WPARAM ending)
{
    if (ending) {
        if (win.windowReady)
            savePositions();
        closeSource();
    }
    return 0;
}

static LRESULT onSetCursor(HWND window, WPARAM wParam, LPARAM lParam)
{
    UINT mouse = HIWORD(lParam);
    if (IsIconic(window) && (mouse == WM_LBUTTONDOWN || mouse == WM_MBUTTONDOWN || mouse == WM_RBUTTONDOWN))
        stopAlarm();
    return DefWindowProcA(window, WM_SETCURSOR, wParam, lParam);
}

static LRESULT onIconEraseBackground(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (config.settings.HideIcon && !notifier.iconRevealed && !uncleared()) {
        hideIcon();
        return 0;
    }
    if (win.classIcon == win.newMailIcon) {
        HDC dc = (HDC)wParam;
        RECT rect;
        GetClientRect(window, &rect);
        HBRUSH brush = CreateSolidBrush(config.settings.colors[COLOR_HAVE_MAIL_WINDOW]);
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
        return 0;
    }
    return DefWindowProcA(window, WM_ICONERASEBKGND, wParam, lParam);
}

static LRESULT onPositionChanging(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (win.newShell && win.minimised) {
        WINDOWPLACEMENT current;
        current.length = sizeof current;
        GetWindowPlacement(window, &current);
        if (current.showCmd == SW_SHOWMINIMIZED) {
            WINDOWPOS *pos = (WINDOWPOS *)lParam;
            pos->flags &= ~(UINT)SWP_SHOWWINDOW;
            pos->flags |= SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
        }
    }
    return DefWindowProcA(window, WM_WINDOWPOSCHANGING, wParam, lParam);
}

static LRESULT onNcActivate(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (win.pollWaitDialog && wParam)
        return TRUE;
    return DefWindowProcA(window, WM_NCACTIVATE, wParam, lParam);
}

static LRESULT onDoubleClick(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    launchReader();
    return DefWindowProcA(window, message, wParam, lParam);
}

static LRESULT onKeyDown(HWND window, WPARAM key, LPARAM lParam)
{
    if (key == VK_F1)
        helpIndex();
    if (headersMode()) {
        switch (key) {
        case VK_PRIOR: scrollVertical(SB_PAGEUP, 0); break;
        case VK_NEXT: scrollVertical(SB_PAGEDOWN, 0); break;
        case VK_HOME: scrollVertical(SB_TOP, 0); break;
        case VK_END: scrollVertical(SB_BOTTOM, 0); break;
        case VK_UP: scrollVertical(SB_LINEUP, 0); break;
        case VK_DOWN: scrollVertical(SB_LINEDOWN, 0); break;
        case VK_LEFT: scrollHorizontal(SB_PAGELEFT, 0); break;
        case VK_RIGHT: scrollHorizontal(SB_PAGERIGHT, 0); break;
        default: break;
        }
    }
    return DefWindowProcA(window, WM_KEYDOWN, key, lParam);
}

static LRESULT onChar(HWND window, WPARAM character, LPARAM lParam)
{
    if (character == ' ')
        stopAlarm();
    if (character == '\r') {
        stopAlarm();
        launchReader();
    }
    return DefWindowProcA(window, WM_CHAR, character, lParam);
}

static LRESULT onSysKeyDown(HWND window, WPARAM key, LPARAM lParam)
{
    bool alt = (lParam & (1 << 29)) != 0;
    if (key == VK_F1 && !alt) {
        helpIndex();
        return 0;
    }
    if (key == VK_F10 && alt) {
        if (notifier.clearItem == MENU_SHOW)
            PostMessageA(window, WM_SYSCOMMAND, MENU_SHOW, 0);
        else if (notifier.clearItem == MENU_CLEAR && !notifier.clearGrayed)
            PostMessageA(window, WM_SYSCOMMAND, MENU_CLEAR, 0);
        return 0;
    }
    return DefWindowProcA(window, WM_SYSKEYDOWN, key, lParam);
}

static void minimiseToTray(void)
{
    recordIconCorner();
    ShowWindow(win.mainWindow, SW_HIDE);
    showWindowPlaced(SW_MINIMIZE);
    ShowWindow(win.mainWindow, SW_HIDE);
}

static void commandShow(void)
{
    if (notifier.mailMeasure != 0)
        notifier.haveMail = true;
    unsigned source = config.settings.MessageSource;
    if (notifier.shownCount == 0 && (source == SOURCE_DISK_FILE || source == SOURCE_PMAIL_NETWARE))
        pollMailFile();
    else
        enterHaveMailState(false);
}

static void commandExit(void)
{
    if (notifier.pollInProgress) {
        openPollWait();
        notifier.pendingCommand = PENDING_EXIT;
    } else {
        DestroyWindow(win.mainWindow);
    }
}

static bool ownCommand(WPARAM command)
{
    switch (command) {
    case MENU_POLL_NOW: notifier.tickCounter = 0; return true;
    case MENU_SETUP:
        stopAlarm();
        if (!notifier.modalOpen)
            runSetup();
        return true;
    case MENU_ABOUT:
        stopAlarm();
        if (!notifier.modalOpen)
            showAboutBox();
        return true;
    case MENU_CLEAR: enterNoMailState(false); return true;
    case MENU_SHOW: commandShow(); return true;
    case MENU_HELP: helpIndex(); return true;
    case MENU_EXIT: commandExit(); return true;
    case MENU_PASSWORD:
        stopAlarm();
        if (!notifier.modalOpen)
            promptPassword(PASSWORD_LOGIN);
        return true;
    case MENU_SIGN_IN:
        stopAlarm();
        if (!notifier.modalOpen)
            signInFromMenu();
        return true;
    default: return false;
    }
}

static LRESULT onSysCommand(HWND window, WPARAM command, LPARAM lParam)
{
    if (ownCommand(command))
        return 0;
    switch (command & 0xFFF0) {
    case SC_MINIMIZE:
        if (!win.newShell)
            break;
        minimiseToTray();
        return 0;
    case SC_MAXIMIZE:
        stopAlarm();
        showWindowPlaced(SW_SHOWMAXIMIZED);
        return 0;
    case SC_CLOSE:
        PostMessageA(window, WM_SYSCOMMAND, config.settings.ExitMenu ? SC_MINIMIZE : MENU_EXIT, 0);
        return 0;
    case SC_RESTORE:
        stopAlarm();
        showWindowPlaced(SW_RESTORE);
        return 0;
    default: break;
    }
    return DefWindowProcA(window, WM_SYSCOMMAND, command, lParam);
}

static LRESULT onScroll(UINT message, WPARAM wParam)
{
    stopAlarm();
    int request = LOWORD(wParam);
    int thumb = (short)HIWORD(wParam);
    if (message == WM_VSCROLL)
        scrollVertical(request, thumb);
    else
        scrollHorizontal(request, thumb);
    return 0;
}

static LRESULT onInitMenu(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    stopAlarm();
    return DefWindowProcA(window, message, wParam, lParam);
}

static LRESULT onButtonDown(void)
{
    stopAlarm();
    return 0;
}

static LRESULT onTrayNotify(HWND window, LPARAM lParam)
{
    UINT mouse = (UINT)(lParam & 0xFFFF);
    switch (mouse) {
    case WM_LBUTTONDOWN:
    case NIN_BALLOONUSERCLICK: stopAlarm(); break; // a click on the balloon is a click on the icon
    case WM_LBUTTONDBLCLK: PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0); break;
    case WM_RBUTTONDOWN: {
        stopAlarm();
        POINT pointer;
        GetCursorPos(&pointer);
        SetForegroundWindow(window);
        PostMessageA(window, popupSystemMenu, 0, MAKELPARAM(pointer.x, pointer.y));
        break;
    }
    case WM_RBUTTONDBLCLK: launchReader(); break;
    default: break;
    }
    return 0;
}

// Sleep ends the watch cleanly; waking treats every connection as dead and polls.
static LRESULT onPowerBroadcast(HWND window, WPARAM event, LPARAM data)
{
    if (event == PBT_APMSUSPEND)
        endNetworkWatch();
    else if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND
             || event == PBT_APMRESUMECRITICAL)
        pollAfterResume();
    return DefWindowProcA(window, WM_POWERBROADCAST, event, data);
}

// The taskbar was restarted: the notification-area icon must be added again.
static LRESULT onTaskbarCreated(void)
{
    if (win.newShell && win.windowReady) {
        win.tray.added = false;
        trayIcon(NIM_ADD, win.classIcon == win.newMailIcon ? win.smallNewMailIcon : win.smallNoMailIcon);
    }
    return 0;
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return onCreate(window);
    case WM_DESTROY: return onDestroy(window);
    case WM_MOVE: return onMove(window, wParam, lParam);
    case WM_SIZE: return onSize(window, wParam, lParam);
    case WM_GETTEXT: return onGetText(window, wParam, lParam);
    case WM_PAINT: return onPaint(window);
    case WM_CLOSE: PostMessageA(window, WM_SYSCOMMAND, MENU_EXIT, 0); return 0;
    case WM_ENDSESSION: return onEndSession(wParam);
    case WM_SETCURSOR: return onSetCursor(window, wParam, lParam);
    case WM_ICONERASEBKGND: return onIconEraseBackground(window, wParam, lParam);
    case WM_WINDOWPOSCHANGING: return onPositionChanging(window, wParam, lParam);
    case WM_NCACTIVATE: return onNcActivate(window, wParam, lParam);
    case WM_NCRBUTTONDBLCLK:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK: return onDoubleClick(window, message, wParam, lParam);
    case WM_KEYDOWN: return onKeyDown(window, wParam, lParam);
    case WM_CHAR: return onChar(window, wParam, lParam);
    case WM_SYSKEYDOWN: return onSysKeyDown(window, wParam, lParam);
    case WM_SYSCOMMAND: return onSysCommand(window, wParam, lParam);
    case WM_HSCROLL:
    case WM_VSCROLL: return onScroll(message, wParam);
    case WM_INITMENU: return onInitMenu(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: return onButtonDown();
    case WM_SOCKET: handleSocketMessage(wParam, lParam); return 0;
    case WM_HOSTRESOLVED: handleHostResolved(wParam, lParam); return 0;
    case WM_STARTCONNECT: handleStartConnect(); return 0;
    case WM_TOKENDONE: handleTokenDone(wParam, lParam); return 0;
    case WM_TRAYNOTIFY: return onTrayNotify(window, lParam);
    case WM_MAILBOXCHANGED: pollOnMailboxChange(); return 0;
    case WM_POWERBROADCAST: return onPowerBroadcast(window, wParam, lParam);
    default: break;
    }
    if (message == win.taskbarCreatedMessage && message != 0)
        return onTaskbarCreated();
    return DefWindowProcA(window, message, wParam, lParam);
}
