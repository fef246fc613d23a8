// The setup frame: the library entry, the tabbed dialog, switching between
// pages, the keyboard hook, help, the OK validation and the collection of the
// page values into the settings record.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "base/entrypoint_win32.h"
#include "config/config.h"
#include "base/text.h"
#include "setup/dosetup.h"
#include "setup/setup.h"
#include "setup/setupids.h"

SetupPage setupPages[PAGE_COUNT] = {
    {"SETUP_MSGSRC", "Message source", MsgSrcDlgProc, NULL, 1},
    {"SETUP_MAILBOX", "Mailbox", MailboxDlgProc, NULL, 2},
    {"SETUP_WINDOW", "Window", WinDlgProc, NULL, 3},
    {"SETUP_READER", "Mail reader", ReaderDlgProc, NULL, 4},
    {"SETUP_FILTER", "Filters", FilterDlgProc, NULL, 5},
    {"SETUP_COLOR", "Colors", ColorDlgProc, NULL, 6},
    {"SETUP_SOUND", "Sound", SoundDlgProc, NULL, 7},
    {"SETUP_WAVBASE", "WAVBase", WavBaseDlgProc, NULL, 8},
    {"SETUP_NETWORK", "Network", NetworkDlgProc, NULL, 9},
    {"SETUP_SIGNIN", "Sign-in", SignInDlgProc, NULL, 10},
};

SetupState setup;

static const char *const MAILBOX = "Mailbox";

// --- Small control helpers -----------------------------------------------------

bool isChecked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

void setChecked(HWND page, int id, bool on)
{
    CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void enableControl(HWND page, int id, bool on)
{
    HWND control = GetDlgItem(page, id);
    if (control)
        EnableWindow(control, on ? TRUE : FALSE);
}

void showControl(HWND page, int id, bool on)
{
    HWND control = GetDlgItem(page, id);
    if (control)
        ShowWindow(control, on ? SW_SHOWNA : SW_HIDE);
}

int checkedButton(HWND page, int first, int last)
{
    for (int id = first; id <= last; id++)
        if (isChecked(page, id))
            return id - first;
    return -1;
}

void setControlText(HWND page, int id, const char *text)
{
    SetDlgItemTextA(page, id, text ? text : "");
}

void getControlText(HWND page, int id, char *buffer, size_t size)
{
    if (size == 0)
        return;
    buffer[0] = '\0';
    if (size > 0x7FFFFFFF)
        size = 0x7FFFFFFF;
    GetDlgItemTextA(page, id, buffer, (int)size);
    buffer[size - 1] = '\0';
}

HWND pageWindow(int index)
{
    return index >= 0 && index < PAGE_COUNT ? setupPages[index].window : NULL;
}

// --- Display scale and visual styles ------------------------------------------------

int scaledPixels(int pixels)
{
    return MulDiv(pixels, setup.dpi > 0 ? setup.dpi : 96, 96);
}

// The pages take the tab control's themed background. UXTHEME.DLL is missing
// before Windows XP, so the call is looked up by name.
typedef HRESULT(WINAPI *EnableThemeDialogTextureProc)(HWND window, DWORD flags);
enum {
    THEME_TAB_BACKGROUND = 6 // ETDT_ENABLE | ETDT_USETABTEXTURE
};

static void themePageBackground(HWND page)
{
    if (!setup.themeLibrary) {
        setup.themeLibrary = loadLibraryQuietly("UXTHEME.DLL");
    }
    EnableThemeDialogTextureProc enable =
        setup.themeLibrary ? (EnableThemeDialogTextureProc)(void *)GetProcAddress(setup.themeLibrary,
                                                                                  "EnableThemeDialogTexture")
                           : NULL;
    if (enable && page)
        enable(page, THEME_TAB_BACKGROUND);
}

// The dialogs run in the activation context of the library's own manifest:
// common controls 6 (visual styles) whatever program loaded the library.
// Windows before XP has no activation contexts, so the calls are looked up by name.
typedef HANDLE(WINAPI *CreateActCtxProc)(const ACTCTXA *context);
typedef BOOL(WINAPI *ActivateActCtxProc)(HANDLE context, ULONG_PTR *cookie);
typedef BOOL(WINAPI *DeactivateActCtxProc)(DWORD flags, ULONG_PTR cookie);
typedef void(WINAPI *ReleaseActCtxProc)(HANDLE context);

struct ManifestContext {
    HANDLE context;
    ULONG_PTR cookie;
    bool active;
};

static void enterManifestContext(ManifestContext *manifest)
{
    memset(manifest, 0, sizeof *manifest);
    manifest->context = INVALID_HANDLE_VALUE;
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    CreateActCtxProc create =
        kernel ? (CreateActCtxProc)(void *)GetProcAddress(kernel, "CreateActCtxA") : NULL;
    ActivateActCtxProc activate =
        kernel ? (ActivateActCtxProc)(void *)GetProcAddress(kernel, "ActivateActCtx") : NULL;
    if (!create || !activate)
        return;
    ACTCTXA description;
    memset(&description, 0, sizeof description);
    description.cbSize = sizeof description;
    description.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    description.lpSource = config.modulePath;
    description.hModule = setup.module;
    description.lpResourceName = MAKEINTRESOURCEA(2); // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
    manifest->context = create(&description);
    if (manifest->context != INVALID_HANDLE_VALUE)
        manifest->active = activate(manifest->context, &manifest->cookie) != FALSE;
}

static void leaveManifestContext(ManifestContext *manifest)
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (!kernel || manifest->context == INVALID_HANDLE_VALUE)
        return;
    DeactivateActCtxProc deactivate =
        (DeactivateActCtxProc)(void *)GetProcAddress(kernel, "DeactivateActCtx");
    ReleaseActCtxProc release = (ReleaseActCtxProc)(void *)GetProcAddress(kernel, "ReleaseActCtx");
    if (manifest->active && deactivate)
        deactivate(0, manifest->cookie);
    if (release)
        release(manifest->context);
    manifest->context = INVALID_HANDLE_VALUE;
}

// --- Errors and help ---------------------------------------------------------------

// The library's error box; it has no owner window.
void reportSetupError(const char *text)
{
    MessageBoxA(NULL, text, "Pelimbo", MB_OK | MB_ICONEXCLAMATION);
}

// Opens the HTML help at "context-N". Characters that would end or break a
// file URL are escaped.
static void openHelpFile(const char *helpFile, int context)
{
    char url[3 * PATH_SIZE + 40];
    copyText(url, "file:///");
    size_t used = strlen(url);
    for (const char *p = helpFile; *p && used + 4 < sizeof url; p++) {
        unsigned char c = (unsigned char)*p;
        if (c == '\\') {
            url[used++] = '/';
        } else if (c == ' ' || c == '#' || c == '%' || c >= 0x80) {
            static const char hex[] = "0123456789ABCDEF";
            url[used++] = '%';
            url[used++] = hex[c >> 4];
            url[used++] = hex[c & 15];
        } else {
            url[used++] = (char)c;
        }
    }
    url[used] = '\0';
    char anchor[32];
    formatText(anchor, sizeof anchor, "#context-%d", context);
    appendText(url, anchor);
    ShellExecuteA(setup.dialog, "open", url, NULL, NULL, SW_SHOWNORMAL);
}

static void showHelp(void)
{
    if (setup.currentPage < 0 || setup.currentPage >= PAGE_COUNT)
        return;
    HelpOpener open = setup.openHelp ? setup.openHelp : openHelpFile;
    open(setup.helpFile, setupPages[setup.currentPage].helpContext);
}

// Lets a test see help requests instead of starting a browser; null restores
// the real opener.
extern "C" void setSetupHelpOpener(HelpOpener opener)
{
    setup.openHelp = opener;
}

// --- Tabs and pages ------------------------------------------------------------------

int findTab(const char *label)
{
    if (!setup.tabs)
        return -1;
    int count = TabCtrl_GetItemCount(setup.tabs);
    for (int i = 0; i < count; i++) {
        char text[PAGE_NAME_SIZE] = "";
        TCITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        if (SendMessageA(setup.tabs, TCM_GETITEMA, (WPARAM)i, (LPARAM)&item) && strcmp(text, label) == 0)
            return i;
    }
    return -1;
}

static void selectedTabLabel(char *label, size_t size)
{
    label[0] = '\0';
    int selected = TabCtrl_GetCurSel(setup.tabs);
    if (selected < 0)
        return;
    TCITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TCIF_TEXT;
    item.pszText = label;
    item.cchTextMax = (int)size;
    SendMessageA(setup.tabs, TCM_GETITEMA, (WPARAM)selected, (LPARAM)&item);
    label[size - 1] = '\0';
}

// The tab control's display area, below its rows of tabs, in the dialog's
// client coordinates.
static RECT tabDisplayArea(void)
{
    RECT area;
    GetClientRect(setup.tabs, &area);
    TabCtrl_AdjustRect(setup.tabs, FALSE, &area);
    MapWindowPoints(setup.tabs, setup.dialog, (POINT *)&area, 2);
    return area;
}

// Where a page goes, in the dialog's client coordinates. The formula assumes
// the platform's classic metrics, so the place is kept from reaching above or
// left of the display area whatever the fonts and tab rows; fitFrameToPages
// leaves room below and to the right.
static POINT pagePlace(void)
{
    if (!setup.pageFontHeight) {
        LOGFONTA font;
        memset(&font, 0, sizeof font);
        if (SystemParametersInfoA(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0))
            setup.pageFontHeight = abs((int)font.lfHeight);
        if (!setup.pageFontHeight)
            setup.pageFontHeight = 11;
    }
    int h = setup.pageFontHeight;
    RECT tab = {0, 0, 0, 0};
    int selected = TabCtrl_GetCurSel(setup.tabs);
    TabCtrl_GetItemRect(setup.tabs, selected < 0 ? 0 : selected, &tab);
    RECT area = tabDisplayArea();
    POINT place = {std::max(area.left, (LONG)(h + 3)), std::max(area.top, (LONG)(tab.top / 2 + 4 * h + 5))};
    return place;
}

static SIZE windowSize(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    SIZE size = {r.right - r.left, r.bottom - r.top};
    return size;
}

static void moveBy(HWND window, int dx, int dy)
{
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(NULL, setup.dialog, (POINT *)&r, 2);
    SetWindowPos(window, NULL, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The template's frame is drawn for pages of the usual size below one row of
// tabs; a taller page, a second row of tabs or the display's fonts leave less
// room. The frame grows until its largest page fits where pages are placed,
// OK, Cancel and Help moving with its bottom right corner, and stays centred
// where it was. It never shrinks, so it keeps its size as tabs come and go.
static void fitFrameToPages(void)
{
    LONG width = 0, height = 0;
    for (int i = 0; i < PAGE_COUNT; i++) {
        if (!setupPages[i].window)
            continue;
        SIZE size = windowSize(setupPages[i].window);
        width = std::max(width, size.cx);
        height = std::max(height, size.cy);
    }
    POINT place = pagePlace();
    RECT area = tabDisplayArea();
    int dx = (int)std::max(0L, place.x + width - area.right);
    int dy = (int)std::max(0L, place.y + height - area.bottom);
    if (!dx && !dy)
        return;
    SIZE tabs = windowSize(setup.tabs);
    SetWindowPos(setup.tabs, NULL, 0, 0, tabs.cx + dx, tabs.cy + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    static const int buttons[] = {IDOK, IDCANCEL, IDC_SETUP_HELP};
    for (int id : buttons)
        moveBy(GetDlgItem(setup.dialog, id), dx, dy);
    RECT frame;
    GetWindowRect(setup.dialog, &frame);
    SetWindowPos(setup.dialog, NULL, frame.left - dx / 2, frame.top - dy / 2, frame.right - frame.left + dx,
                 frame.bottom - frame.top + dy, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(setup.dialog, DM_REPOSITION, 0, 0); // whole on the screen
}

void placePage(int index)
{
    HWND page = pageWindow(index);
    if (!page || !setup.tabs)
        return;
    fitFrameToPages();
    POINT place = pagePlace();
    SetWindowPos(page, HWND_TOP, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND showPageByLabel(const char *label)
{
    int found = -1;
    for (int i = 0; i < PAGE_COUNT; i++)
        if (strcmp(setupPages[i].label, label) == 0)
            found = i;
    if (found >= 0 && found != setup.currentPage) {
        HWND old = pageWindow(setup.currentPage);
        if (old)
            ShowWindow(old, SW_HIDE);
        setup.currentPage = found;
        placePage(found);
        ShowWindow(setupPages[found].window, SW_SHOW);
    }
    return pageWindow(setup.currentPage);
}

void removeTab(const char *label)
{
    int tab = findTab(label);
    if (tab < 0)
        return;
    TabCtrl_DeleteItem(setup.tabs, tab);
    placePage(setup.currentPage);
}

void addTab(const char *label)
{
    if (!setup.tabs || findTab(label) >= 0)
        return;
    char text[PAGE_NAME_SIZE];
    copyText(text, label);
    TCITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TCIF_TEXT;
    item.pszText = text;
    SendMessageA(setup.tabs, TCM_INSERTITEMA, (WPARAM)TabCtrl_GetItemCount(setup.tabs), (LPARAM)&item);
    placePage(setup.currentPage);
}

static void focusField(const char *label, int controlId)
{
    int tab = findTab(label);
    if (tab >= 0)
        TabCtrl_SetCurSel(setup.tabs, tab);
    HWND page = showPageByLabel(label);
    HWND control = page ? GetDlgItem(page, controlId) : NULL;
    if (control)
        SendMessageA(setup.dialog, WM_NEXTDLGCTL, (WPARAM)control, TRUE);
}

static void reportField(const char *format, const char *label, const char *field, int controlId)
{
    char message[128];
    formatText(message, sizeof message, format, field);
    reportSetupError(message);
    focusField(label, controlId);
}

void reportInvalidField(const char *label, const char *field, int controlId)
{
    reportField("Invalid field: %s", label, field, controlId);
}

void reportMissingField(const char *label, const char *field, int controlId)
{
    reportField("Missing field: %s", label, field, controlId);
}

// --- Keyboard hook -------------------------------------------------------------------

static bool belongsToSetup(HWND window)
{
    return setup.dialog && window && (window == setup.dialog || IsChild(setup.dialog, window));
}

extern "C" LRESULT CALLBACK DialogFilterProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code < 0)
        return CallNextHookEx(setup.hook, code, wParam, lParam);
    const MSG *message = (const MSG *)lParam;
    if (code != MSGF_DIALOGBOX || !message || message->message != WM_KEYDOWN)
        return 0;
    if (message->wParam == VK_F1) {
        PostMessageA(setup.dialog, WM_SETUP_HELP, HELP_REQUEST, 0);
        return 1;
    }
    // Ctrl+Tab steps through the tabs; only for the setup dialog itself, not
    // for a message box shown over it.
    if (message->wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0 && belongsToSetup(message->hwnd)) {
        int count = TabCtrl_GetItemCount(setup.tabs);
        if (count > 0) {
            int next = (TabCtrl_GetCurSel(setup.tabs) + 1) % count;
            if (next < 0)
                next = 0;
            TabCtrl_SetCurSel(setup.tabs, next);
            char label[PAGE_NAME_SIZE];
            selectedTabLabel(label, sizeof label);
            showPageByLabel(label);
        }
        return 1;
    }
    return 0;
}

// --- Validation ------------------------------------------------------------------------

// Expands the text of a field into result; false (already reported by the
// expansion) when a reference is bad.
static bool expandField(HWND page, int id, char *result, size_t size)
{
    char text[LOGIN_SIZE];
    getControlText(page, id, text, sizeof text);
    const char *expanded = expandEnvironment(text);
    if (!expanded)
        return false;
    copyText(result, size, expanded);
    return true;
}

static bool startsHttps(const char *text)
{
    return compareNoCaseN(text, "https://", 8) == 0;
}

// OAuth2: a bearer token is as good as a password, so never without TLS; a
// client ID, and for own endpoints the two addresses, over https.
static bool validSignIn(bool encrypted)
{
    const char *const SIGN_IN = "Sign-in";
    HWND page = pageWindow(PAGE_SIGNIN);
    if (!encrypted) {
        reportSetupError("OAuth2 sign-in needs TLS: choose STARTTLS or TLS from the first byte as Security");
        return reportInvalidField("Network", "Security", IDC_NW_SECURITY), false;
    }
    if (fieldEmpty(page, IDC_SI_CLIENT_ID))
        return reportMissingField(SIGN_IN, "Client ID", IDC_SI_CLIENT_ID), false;
    if (SendDlgItemMessageA(page, IDC_SI_PROVIDER, CB_GETCURSEL, 0, 0) > 0)
        return true;
    static const struct {
        int id;
        const char *name;
    } addresses[] = {{IDC_SI_AUTHORIZE, "Authorize URL"}, {IDC_SI_TOKEN, "Token URL"}};
    for (const auto &address : addresses) {
        char text[OAUTH_URL_SIZE];
        getControlText(page, address.id, text, sizeof text);
        if (!text[0])
            return reportMissingField(SIGN_IN, address.name, address.id), false;
        if (!startsHttps(text))
            return reportInvalidField(SIGN_IN, address.name, address.id), false;
    }
    return true;
}

static bool validateSetup(void)
{
    Settings &s = config.settings;
    HWND source = pageWindow(PAGE_MSGSRC), mailbox = pageWindow(PAGE_MAILBOX);
    HWND window = pageWindow(PAGE_WINDOW), reader = pageWindow(PAGE_READER);
    HWND sound = pageWindow(PAGE_SOUND), wavBase = pageWindow(PAGE_WAVBASE);
    char expanded[EXPANSION_SIZE];

    int button = checkedButton(source, IDC_SRC_FIRST, IDC_SRC_LAST);
    if (button >= 0)
        s.MessageSource = (unsigned)button;

    BOOL number = FALSE;
    GetDlgItemInt(mailbox, IDC_MB_INTERVAL, &number, FALSE);
    if (!number)
        return reportInvalidField(MAILBOX, "Poll interval", IDC_MB_INTERVAL), false;

    char mailFile[EXPANSION_SIZE];
    if (!expandField(mailbox, IDC_MB_MAILFILE, mailFile, sizeof mailFile))
        return reportInvalidField(MAILBOX, "Mail file", IDC_MB_MAILFILE), false;

    bool oauth = SendDlgItemMessageA(pageWindow(PAGE_SIGNIN), IDC_SI_AUTH, CB_GETCURSEL, 0, 0) == 1;
    switch (s.MessageSource) {
    case SOURCE_POP3:
    case SOURCE_IMAP4:
        if (fieldEmpty(mailbox, IDC_MB_LOGIN))
            return reportMissingField(MAILBOX, "Login", IDC_MB_LOGIN), false;
        // With OAuth2 the login is the access token's: no password is sent.
        if (!s.PasswordPrompt && !oauth && fieldEmpty(mailbox, IDC_MB_PASSWORD))
            return reportMissingField(MAILBOX, "Password", IDC_MB_PASSWORD), false;
        if (fieldEmpty(mailbox, IDC_MB_HOST))
            return reportMissingField(MAILBOX, "Mail host", IDC_MB_HOST), false;
        break;
    case SOURCE_DISK_FILE:
        if (fieldEmpty(mailbox, IDC_MB_MAILFILE))
            return reportMissingField(MAILBOX, "Mail file", IDC_MB_MAILFILE), false;
        if (!checkMailFile(mailFile))
            return reportInvalidField(MAILBOX, "Mail file", IDC_MB_MAILFILE), false;
        break;
    case SOURCE_PMAIL_NETWARE:
        // An empty server field stands for the default server and needs no check.
        if ((setup.mailFileSetAtOpen || setup.mailFileBrowsed) && mailFile[0] && loadSetupNetWare()
            && netWareServerIndex(mailFile) == -1)
            return reportInvalidField(MAILBOX, "Server", IDC_MB_MAILFILE), false;
        break;
    case SOURCE_MSMAIL:
    case SOURCE_GROUPWISE:
        if (fieldEmpty(mailbox, IDC_MB_LOGIN))
            return reportMissingField(MAILBOX, "Login", IDC_MB_LOGIN), false;
        break;
    default: break;
    }

    if (!expandField(mailbox, IDC_MB_LOGIN, expanded, sizeof expanded))
        return reportInvalidField(MAILBOX, "Login", IDC_MB_LOGIN), false;
    if (!expandField(mailbox, IDC_MB_HOST, expanded, sizeof expanded))
        return reportInvalidField(MAILBOX, "Mail host", IDC_MB_HOST), false;
    if (!expandField(mailbox, IDC_MB_IMAP, expanded, sizeof expanded))
        return reportInvalidField(MAILBOX, "IMAP mailbox", IDC_MB_IMAP), false;
    if (!expandField(window, IDC_WIN_CAPTION, expanded, sizeof expanded))
        return reportInvalidField("Window", "Window caption", IDC_WIN_CAPTION), false;
    char startIn[EXPANSION_SIZE];
    if (!expandField(reader, IDC_RD_START_IN, startIn, sizeof startIn))
        return reportInvalidField("Mail reader", "Start in", IDC_RD_START_IN), false;

    bool entered = false;
    if (startIn[0]) {
        if (!isDirectory(startIn))
            return reportInvalidField("Mail reader", "Start in", IDC_RD_START_IN), false;
        enterDirectory(startIn);
        entered = true;
    }
    char mailReader[EXPANSION_SIZE];
    bool readerOk = expandField(reader, IDC_RD_READER, mailReader, sizeof mailReader);
    if (readerOk && mailReader[0])
        readerOk = checkMailReader(mailReader);
    // Leave the process where the notifier started it, whatever the outcome.
    if (entered)
        restoreStartDirectory();
    if (!readerOk)
        return reportInvalidField("Mail reader", "Mail reader", IDC_RD_READER), false;

    char soundFile[EXPANSION_SIZE];
    if (!expandField(sound, IDC_SN_FILE, soundFile, sizeof soundFile))
        return reportInvalidField("Sound", "Sound file", IDC_SN_FILE), false;
    button = checkedButton(sound, IDC_SN_BEEP, IDC_SN_NONE);
    if (button >= 0)
        s.SoundOption = (unsigned)button;
    if (s.SoundOption == SOUND_CUSTOM) {
        if (!soundFile[0])
            return reportMissingField("Sound", "Sound file", IDC_SN_FILE), false;
        if (!checkSoundFile(soundFile))
            return reportInvalidField("Sound", "Sound file", IDC_SN_FILE), false;
    }

    // The trust file is read only by an encrypted network poll.
    HWND network = pageWindow(PAGE_NETWORK);
    char trustFile[EXPANSION_SIZE];
    if (!expandField(network, IDC_NW_TRUST, trustFile, sizeof trustFile))
        return reportInvalidField("Network", "Trust file", IDC_NW_TRUST), false;
    bool encrypted = SendDlgItemMessageA(network, IDC_NW_SECURITY, CB_GETCURSEL, 0, 0) > SECURITY_PLAIN;
    bool networkSource = s.MessageSource == SOURCE_POP3 || s.MessageSource == SOURCE_IMAP4;
    if (networkSource && encrypted && trustFile[0] && !checkTrustFile(trustFile))
        return reportInvalidField("Network", "Trust file", IDC_NW_TRUST), false;
    if (networkSource && oauth && !validSignIn(encrypted))
        return false;

    char wavDefault[EXPANSION_SIZE];
    if (!expandField(wavBase, IDC_WB_DEFAULT, wavDefault, sizeof wavDefault))
        return reportInvalidField("WAVBase", "Default", IDC_WB_DEFAULT), false;
    if (s.SoundOption != SOUND_WAVBASE)
        return true;

    int entry = selectedWavBaseEntry();
    if (config.wavBaseList.count > 0 && entry >= 0 && !takeEntrySoundFile(entry))
        return reportInvalidField("WAVBase", "Sound file", IDC_WB_SOUND), false;
    if (wavDefault[0] && !checkSoundFile(wavDefault))
        return reportInvalidField("WAVBase", "Default", IDC_WB_DEFAULT), false;
    return true;
}

// --- Collection ------------------------------------------------------------------------

static unsigned fieldNumber(HWND page, int id)
{
    return GetDlgItemInt(page, id, NULL, FALSE);
}

// The selected entry of a list into buffer; false (buffer untouched) when no
// entry is selected, so a list that could not be filled here does not wipe
// the stored value.
static bool selectedComboText(HWND page, int id, char *buffer, size_t size)
{
    HWND combo = GetDlgItem(page, id);
    LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return false;
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)selected, 0);
    if (length == CB_ERR)
        return false;
    char *text = (char *)calloc((size_t)length + 1, 1);
    if (!text)
        return false;
    SendMessageA(combo, CB_GETLBTEXT, (WPARAM)selected, (LPARAM)text);
    copyText(buffer, size, text);
    free(text);
    return true;
}

static void collectSetup(void)
{
    Settings &s = config.settings;
    HWND page = pageWindow(PAGE_MSGSRC);
    s.UnreadOnly = isChecked(page, IDC_SRC_UNREAD);

    page = pageWindow(PAGE_MAILBOX);
    s.PollInterval = fieldNumber(page, IDC_MB_INTERVAL);
    if (s.PollInterval < 5)
        s.PollInterval = 5;
    getControlText(page, IDC_MB_MAILFILE, s.MailFileRaw, sizeof s.MailFileRaw);
    if (s.MessageSource == SOURCE_WINDOWS_MESSAGING)
        selectedComboText(page, IDC_MB_PROFILE, s.LoginRaw, sizeof s.LoginRaw);
    else
        getControlText(page, IDC_MB_LOGIN, s.LoginRaw, sizeof s.LoginRaw);
    getControlText(page, IDC_MB_PASSWORD, s.plainPassword, PASSWORD_FIELD_MAX + 1);
    if (s.MessageSource == SOURCE_NOTES) {
        selectedComboText(page, IDC_MB_FOLDER, s.NotesFolder, sizeof s.NotesFolder);
        selectedComboText(page, IDC_MB_NOTES_SERVER, s.NotesServer, sizeof s.NotesServer);
        getControlText(page, IDC_MB_IDFILE, s.LoginRaw, sizeof s.LoginRaw);
        getControlText(page, IDC_MB_DATABASE, s.NotesMailDatabase, sizeof s.NotesMailDatabase);
    }
    getControlText(page, IDC_MB_HOST, s.MailHostRaw, sizeof s.MailHostRaw);
    getControlText(page, IDC_MB_IMAP, s.IMAPMailBoxRaw, sizeof s.IMAPMailBoxRaw);
    s.Idle = isChecked(page, IDC_MB_IDLE);

    page = pageWindow(PAGE_WINDOW);
    getControlText(page, IDC_WIN_CAPTION, s.WindowCaptionRaw, CAPTION_SIZE - 1);
    int button = checkedButton(page, IDC_WIN_TO_TOP, IDC_WIN_NO_ACTION);
    if (button >= 0)
        s.WindowAction = (unsigned)button;
    s.StayOnTop = isChecked(page, IDC_WIN_STAY_ON_TOP);
    s.LastIconPosition = isChecked(page, IDC_WIN_ICON_POSITION);
    s.HideIcon = isChecked(page, IDC_WIN_HIDE_ICON);
    s.BlinkIconOnPoll = isChecked(page, IDC_WIN_BLINK);
    s.ShowHeaders = isChecked(page, IDC_WIN_SHOW_HEADERS);
    s.ReverseSort = isChecked(page, IDC_WIN_REVERSE);
    s.ExitMenu = isChecked(page, IDC_WIN_EXIT_MENU);
    s.Balloon = isChecked(page, IDC_WIN_BALLOON);

    page = pageWindow(PAGE_READER);
    getControlText(page, IDC_RD_READER, s.MailReaderRaw, sizeof s.MailReaderRaw);
    getControlText(page, IDC_RD_START_IN, s.ReaderStartDirRaw, sizeof s.ReaderStartDirRaw);
    s.LaunchReader = isChecked(page, IDC_RD_LAUNCH);
    s.LaunchOnMail = isChecked(page, IDC_RD_LAUNCH_ON_MAIL);
    s.MinimizeReader = isChecked(page, IDC_RD_MINIMIZE);
    s.SuspendPoll = isChecked(page, IDC_RD_SUSPEND);
    s.DetectReader = isChecked(page, IDC_RD_DETECT);

    page = pageWindow(PAGE_FILTER);
    getControlText(page, IDC_FL_LOG_FILE, s.DeleteFile, sizeof s.DeleteFile);

    page = pageWindow(PAGE_SOUND);
    getControlText(page, IDC_SN_FILE, s.SoundFileRaw, sizeof s.SoundFileRaw);
    s.Alarm = isChecked(page, IDC_SN_ALARM);
    s.AlarmInterval = fieldNumber(page, IDC_SN_INTERVAL);
    if (s.AlarmInterval == 0)
        s.AlarmInterval = 1;

    page = pageWindow(PAGE_WAVBASE);
    getControlText(page, IDC_WB_DEFAULT, s.WAVBaseDefaultRaw, sizeof s.WAVBaseDefaultRaw);
    s.WAVOnce = isChecked(page, IDC_WB_ONCE);

    page = pageWindow(PAGE_NETWORK);
    s.WinSockInitTimeout = fieldNumber(page, IDC_NW_WINSOCK);
    if (s.WinSockInitTimeout == 0)
        s.WinSockInitTimeout = 120;
    s.ConnectTimeout = fieldNumber(page, IDC_NW_CONNECT);
    if (s.ConnectTimeout == 0)
        s.ConnectTimeout = 60;
    s.InactivityTimeout = fieldNumber(page, IDC_NW_INACTIVITY);
    if (s.InactivityTimeout == 0)
        s.InactivityTimeout = 30;
    s.POP3Port = fieldNumber(page, IDC_NW_POP3);
    if (s.POP3Port == 0)
        s.POP3Port = 110;
    s.IMAP4Port = fieldNumber(page, IDC_NW_IMAP4);
    if (s.IMAP4Port == 0)
        s.IMAP4Port = 143;
    s.NetErrors = isChecked(page, IDC_NW_ERRORS);
    LRESULT security = SendDlgItemMessageA(page, IDC_NW_SECURITY, CB_GETCURSEL, 0, 0);
    s.Security = security >= SECURITY_PLAIN && security <= SECURITY_TLS ? (unsigned)security : 0u;
    getControlText(page, IDC_NW_TRUST, s.TrustFileRaw, sizeof s.TrustFileRaw);
    selectedComboText(page, IDC_NW_CONNECTION, s.Connection, sizeof s.Connection);
    s.DialConnection = isChecked(page, IDC_NW_DIAL);
    s.HangupConnection = isChecked(page, IDC_NW_HANGUP);

    // The addresses and scope of own endpoints are kept as they are for a
    // provider, whose own values stand in while they are empty.
    page = pageWindow(PAGE_SIGNIN);
    s.Auth = SendDlgItemMessageA(page, IDC_SI_AUTH, CB_GETCURSEL, 0, 0) == 1 ? 1u : 0u;
    LRESULT provider = SendDlgItemMessageA(page, IDC_SI_PROVIDER, CB_GETCURSEL, 0, 0);
    s.OAuthProvider = provider >= 0 && provider <= 2 ? (unsigned)provider : 0u;
    getControlText(page, IDC_SI_CLIENT_ID, s.OAuthClientId, sizeof s.OAuthClientId);
    getControlText(page, IDC_SI_SECRET, s.OAuthClientSecret, sizeof s.OAuthClientSecret);
    getControlText(page, IDC_SI_AUTHORIZE, s.OAuthAuthorizeUrl, sizeof s.OAuthAuthorizeUrl);
    getControlText(page, IDC_SI_TOKEN, s.OAuthTokenUrl, sizeof s.OAuthTokenUrl);
    getControlText(page, IDC_SI_SCOPE, s.OAuthScope, sizeof s.OAuthScope);
    s.ProtectPassword = isChecked(page, IDC_SI_PROTECT);
}

// --- The dialog --------------------------------------------------------------------------

static void endSetup(void)
{
    if (setup.hook)
        UnhookWindowsHookEx(setup.hook);
    setup.hook = NULL;
    // The HTML help needs no "help quit"; the browser window stays the user's.
    setup.currentPage = -1;
    for (int i = 0; i < PAGE_COUNT; i++) {
        if (setupPages[i].window)
            DestroyWindow(setupPages[i].window);
        setupPages[i].window = NULL;
    }
    if (setup.netWareLibrary)
        FreeLibrary(setup.netWareLibrary);
    setup.netWareLibrary = NULL;
    if (setup.rasLibrary)
        FreeLibrary(setup.rasLibrary);
    setup.rasLibrary = NULL;
    if (setup.themeLibrary)
        FreeLibrary(setup.themeLibrary);
    setup.themeLibrary = NULL;
    releaseSetupNotes();
}

static void initSetupDialog(HWND dialog)
{
    setup.dialog = dialog;
    setup.tabs = GetDlgItem(dialog, IDC_SETUP_TABS);

    for (int i = 0; i < PAGE_COUNT; i++) {
        setupPages[i].window =
            CreateDialogParamA(setup.module, setupPages[i].resource, dialog, setupPages[i].procedure, 0);
        // Pages have no caption bar; the name is for accessibility tools (and tests).
        if (setupPages[i].window)
            SetWindowTextA(setupPages[i].window, setupPages[i].label);
        themePageBackground(setupPages[i].window);
    }
    for (int i = 0; i < PAGE_COUNT; i++) {
        TCITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = TCIF_TEXT;
        item.pszText = setupPages[i].label;
        SendMessageA(setup.tabs, TCM_INSERTITEMA, (WPARAM)i, (LPARAM)&item);
    }
    // With every tab in, before any is removed: the rows are at their most,
    // so the frame keeps its size while the user works.
    fitFrameToPages();

    HOOKPROC filter = (HOOKPROC)(void *)GetProcAddress(setup.module, "DialogFilterProc");
    if (!filter)
        filter = DialogFilterProc;
    setup.hook = SetWindowsHookExA(WH_MSGFILTER, filter, NULL, GetCurrentThreadId());

    const Settings &s = config.settings;
    if (isNetworkSource(s.MessageSource)) {
        fillConnectionList();
    } else {
        removeTab("Network");
        removeTab("Sign-in");
    }
    if (s.SoundOption != SOUND_WAVBASE)
        removeTab("WAVBase");
    if (!s.UseFilters)
        removeTab("Filters");

    layoutMailboxPage((int)s.MessageSource);
    disableEmptyListControls();

    TabCtrl_SetCurSel(setup.tabs, 0);
    setup.currentPage = 0;
    placePage(0);
    ShowWindow(setupPages[0].window, SW_SHOW);
}

extern "C" INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: initSetupDialog(dialog); return TRUE;
    case WM_NOTIFY: {
        const NMHDR *header = (const NMHDR *)lParam;
        if (header && header->idFrom == IDC_SETUP_TABS && header->code == TCN_SELCHANGE) {
            char label[PAGE_NAME_SIZE];
            selectedTabLabel(label, sizeof label);
            showPageByLabel(label);
        }
        return TRUE;
    }
    case WM_SETUP_HELP:
        // WM_USER is also the dialog manager's DM_GETDEFID: only the hook's
        // request is ours.
        if (wParam != HELP_REQUEST)
            break;
        showHelp();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            // The error boxes have no owner, so the dialog stays usable behind
            // them: an OK pressed while one is up must not validate again.
            static bool validating;
            if (validating)
                return TRUE;
            validating = true;
            bool valid = validateSetup();
            validating = false;
            if (valid) {
                collectSetup();
                saveSetupSettings();
                EndDialog(dialog, 1);
                endSetup();
            }
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, 0);
            endSetup();
            return TRUE;
        case IDC_SETUP_HELP: showHelp(); return TRUE;
        }
        break;
    }
    return FALSE;
}

extern "C" int WINAPI doSetup(HWND owner, HINSTANCE instance, int currentDrive, const char *currentDirectory,
                              const char *helpFile, const char *iniFile, HICON noMailIcon, HICON newMailIcon)
{
    // One setup dialog at a time.
    if (setup.dialog || !iniFile)
        return 0;

    HelpOpener opener = setup.openHelp;
    HINSTANCE module = setup.module;
    bool newShell = setup.newShell;
    memset(&setup, 0, sizeof setup);
    setup.module = module;
    setup.newShell = newShell;
    setup.openHelp = opener;
    setup.currentPage = -1;
    setup.owner = owner;
    copyText(setup.helpFile, helpFile ? helpFile : "");
    copyText(setup.iniFile, iniFile);
    setup.noMailIcon = noMailIcon;
    setup.newMailIcon = newMailIcon;

    config.report = reportSetupError;
    config.isSetupLibrary = true;
    config.currentDrive = currentDrive >= 0 && currentDrive < 26 ? (char)('A' + currentDrive) : 0;
    copyText(config.currentDirectory, currentDirectory ? currentDirectory : "");
    GetModuleFileNameA(setup.module, config.modulePath, sizeof config.modulePath);
    config.modulePath[sizeof config.modulePath - 1] = '\0';
    copyText(config.iniPath, iniFile);

    memset(&config.settings, 0, sizeof config.settings);
    loadSetupSettings(iniFile);
    loadFilterList(iniFile);
    loadWavBaseList(iniFile);
    setup.mailFileSetAtOpen = config.settings.MailFileRaw[0] != '\0';

    HDC screen = GetDC(NULL);
    setup.dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(NULL, screen);

    ManifestContext manifest;
    enterManifestContext(&manifest);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    INT_PTR result = DialogBoxParamA(setup.module, "SETUP_MAIN", owner, SetupDlgProc, 0);
    if (setup.currentPage != -1)
        endSetup(); // the dialog was torn down from outside
    leaveManifestContext(&manifest);
    setup.dialog = NULL;
    setup.tabs = NULL;

    freeFilterList(&config.filterList);
    freeWavBaseList(&config.wavBaseList);
    return result == 1 ? 1 : 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        setup.module = instance;
        setup.currentPage = -1;
        OSVERSIONINFOA version;
        memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = sizeof version;
        if (GetVersionExA(&version))
            setup.newShell = version.dwMajorVersion > 3;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
