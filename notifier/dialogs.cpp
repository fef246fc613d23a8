// The About box, the password prompt and the poll-wait notice.
#include "notifier/window.h"

#include <string.h>

#include "auth/signin.h"
#include "core/core.h"

// --- About ---------------------------------------------------------------------------

// The frame shows the state's icon on the state's colour.
static LRESULT CALLBACK aboutIconProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND) {
        HDC dc = (HDC)wParam;
        RECT client;
        GetClientRect(frame, &client);
        const uint32_t *colours = config.settings.colors;
        HBRUSH brush =
            CreateSolidBrush(colours[notifier.haveMail ? COLOR_HAVE_MAIL_WINDOW : COLOR_NO_MAIL_WINDOW]);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        DrawIcon(dc, win.aboutIcon.x, win.aboutIcon.y, notifier.haveMail ? win.newMailIcon : win.noMailIcon);
        return TRUE;
    }
    return CallWindowProcA(win.aboutFrameProc, frame, message, wParam, lParam);
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        if (notifier.pollInProgress) {
            openPollWait();
            if (notifier.pendingCommand == PENDING_NONE)
                notifier.pendingCommand = PENDING_ABOUT;
            EndDialog(dialog, 0);
            return TRUE;
        }
        notifier.modalOpen = true;
        HWND frame = GetDlgItem(dialog, IDC_ABOUT_ICON);
        RECT client;
        GetClientRect(frame, &client);
        // DrawIcon draws the icon at the display's icon size.
        win.aboutIcon.x = client.right / 2 - GetSystemMetrics(SM_CXICON) / 2;
        win.aboutIcon.y = client.bottom / 2 - GetSystemMetrics(SM_CYICON) / 2;
        win.aboutFrameProc = (WNDPROC)SetWindowLongPtrA(frame, GWLP_WNDPROC, (LONG_PTR)aboutIconProc);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        HWND frame = GetDlgItem(dialog, IDC_ABOUT_ICON);
        if (win.aboutFrameProc)
            SetWindowLongPtrA(frame, GWLP_WNDPROC, (LONG_PTR)win.aboutFrameProc);
        win.aboutFrameProc = NULL;
        EndDialog(dialog, 1);
        notifier.modalOpen = false;
        return TRUE;
    }
    return FALSE;
}

void showAboutBox(void)
{
    DialogBoxParamA(win.instance, "ABOUTBOX", win.mainWindow, AboutDlgProc, 0);
}

// --- Password ----------------------------------------------------------------------------

static char *passwordTarget(size_t *size, size_t *limit)
{
    if (win.passwordVariant == PASSWORD_DIALUP) {
        *size = sizeof win.dialUpPassword;
        *limit = DIALUP_PASSWORD_MAX;
        return win.dialUpPassword;
    }
    *size = sizeof config.settings.plainPassword;
    *limit = LOGIN_PASSWORD_MAX;
    return config.settings.plainPassword;
}

INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    size_t size, limit;
    char *target = passwordTarget(&size, &limit);
    if (message == WM_INITDIALOG) {
        notifier.modalOpen = true;
        char prompt[PATH_SIZE + 32];
        if (win.passwordVariant == PASSWORD_LOGIN) {
            // Login is already the expanded text: a "$" it holds is the user's own.
            formatText(prompt, sizeof prompt, "Enter password for %s:", config.settings.Login);
            ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_SAVE), SW_HIDE);
        } else {
            formatText(prompt, sizeof prompt, "Enter password for %s:",
                       win.dialUpEntry ? win.dialUpEntry : config.settings.Connection);
            ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_SAVE), SW_SHOW);
        }
        SetDlgItemTextA(dialog, IDC_PASSWORD_PROMPT, prompt);
        SendDlgItemMessageA(dialog, IDC_PASSWORD_EDIT, EM_LIMITTEXT, limit, 0);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    if (LOWORD(wParam) == IDOK) {
        char typed[DIALUP_PASSWORD_SIZE + 1];
        GetDlgItemTextA(dialog, IDC_PASSWORD_EDIT, typed, sizeof typed);
        copyTextN(target, size, typed, limit);
        SecureZeroMemory(typed, sizeof typed);
        win.savePassword = IsDlgButtonChecked(dialog, IDC_PASSWORD_SAVE) == BST_CHECKED;
        EndDialog(dialog, 1);
        notifier.modalOpen = false;
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        memset(target, 0, size);
        win.savePassword = false;
        notifier.modalOpen = false;
        return TRUE;
    }
    return FALSE;
}

bool promptPassword(PasswordVariant variant)
{
    win.passwordVariant = variant;
    return DialogBoxParamA(win.instance, "PASSWORDBOX", NULL, PasswordDlgProc, 0) == 1;
}

bool promptDialUpPassword(const char *entryName, char *password, size_t size, bool *save)
{
    win.dialUpEntry = entryName;
    bool ok = promptPassword(PASSWORD_DIALUP);
    win.dialUpEntry = NULL;
    copyText(password, size, win.dialUpPassword);
    SecureZeroMemory(win.dialUpPassword, sizeof win.dialUpPassword);
    *save = ok && win.savePassword;
    return ok;
}

// --- Poll-wait notice ----------------------------------------------------------------------

INT_PTR CALLBACK PollWaitDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        win.pollWaitDialog = dialog;
        HMENU menu = GetSystemMenu(win.mainWindow, FALSE);
        EnableMenuItem(menu, MENU_SETUP, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(menu, MENU_ABOUT, MF_BYCOMMAND | MF_GRAYED);
        RECT box;
        GetWindowRect(dialog, &box);
        int x = (GetSystemMetrics(SM_CXSCREEN) - (box.right - box.left)) / 2;
        int y = (GetSystemMetrics(SM_CYSCREEN) - (box.bottom - box.top)) / 2;
        SetWindowPos(dialog, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
        return TRUE;
    }
    case WM_ACTIVATEAPP:
        if (wParam)
            SetActiveWindow(dialog);
        return FALSE;
    case WM_NCACTIVATE:
        // The main window comes forward: the notice keeps its active caption.
        if (!wParam && (HWND)lParam == win.mainWindow) {
            DefWindowProcA(dialog, WM_NCACTIVATE, TRUE, 0);
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

void openPollWait(void)
{
    if (!win.pollWaitDialog) {
        CreateDialogParamA(win.instance, "POLLWAIT", win.mainWindow, PollWaitDlgProc, 0);
        if (win.pollWaitDialog)
            ShowWindow(win.pollWaitDialog, SW_SHOWNORMAL);
    }
    notifier.pollWaitOpen = true;
}

// --- Sign-in ---------------------------------------------------------------------------

// "Sign &in...": the browser sign-in under its wait box, the refresh token
// stored, the access token kept for the poll that follows at once. Never
// during a poll (it waits for its end) and never by itself.
void signInFromMenu(void)
{
    if (notifier.pollInProgress) {
        openPollWait();
        if (notifier.pendingCommand == PENDING_NONE)
            notifier.pendingCommand = PENDING_SIGN_IN;
        return;
    }
    notifier.modalOpen = true;
    static SignInRequest request;
    static SignInResult result;
    signInRequestFrom(&config.settings, &request);
    if (signInWithBox(win.mainWindow, &request, &result)) {
        if (!saveOAuthToken(result.storedToken)) {
            char text[PATH_SIZE + 64];
            formatText(text, sizeof text, "The sign-in could not be written to %s", config.iniPath);
            reportError(text);
        }
        keepAccessToken(result.accessToken, result.lifetime, GetTickCount());
        oauth.signInNeededTold = false;
        notifier.tickCounter = 0; // poll at the next tick
    } else if (!result.cancelled) {
        reportError(result.message);
    }
    SecureZeroMemory(&result, sizeof result);
    SecureZeroMemory(&request, sizeof request);
    notifier.modalOpen = false;
}
