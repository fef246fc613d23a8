// Start-up in its fixed order: the INI file, buffers, icons, classes, the
// settings, pictures, windows, menu, first show, the timer and the first poll.
#include "notifier/window.h"

#include <shellapi.h>
#include <string.h>

#include "mail/mail.h"
#include "poll/reader.h"
#include "core/core.h"
#include "core/frontend.h"
#include "poll/pollcycle.h"
#include "sources/notes.h"
#include "sources/sources.h"

WindowState win;

void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

static const char productName[] = "Pelimbo";

// --- Start-up steps ------------------------------------------------------------------------

static void readPlatformVersion(void)
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    GetVersionExA(&version);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    win.newShell = version.dwMajorVersion > 3;
    win.isNT = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

static void buildHelpFile(void)
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, module, sizeof module);
    if (length == 0 || length >= sizeof module)
        module[0] = '\0';
    module[fileNamePart(module) - module] = '\0';
    formatText(win.helpFile, sizeof win.helpFile, "%s%s", module, "PELIMBO.HTM");
}

// An icon file in the current directory replaces the resource icons.
static void loadStateIcon(const char *file, const char *large, const char *small, HICON *largeIcon,
                          HICON *smallIcon)
{
    HICON fromFile = ExtractIconA(win.instance, file, 0);
    if (fromFile != NULL && fromFile != (HICON)1) {
        *largeIcon = fromFile;
        *smallIcon = fromFile;
        return;
    }
    *largeIcon = LoadIconA(win.instance, large);
    *smallIcon = NULL;
    // The resources hold an image for each common display scale.
    if (win.newShell)
        *smallIcon = (HICON)LoadImageA(win.instance, small, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                       GetSystemMetrics(SM_CYSMICON), 0);
    if (*smallIcon == NULL)
        *smallIcon = *largeIcon;
}

static void loadIcons(void)
{
    loadStateIcon("NOMAIL.ICO", "5_NOMAIL_ICON", "2_NOMAIL16_ICON", &win.noMailIcon, &win.smallNoMailIcon);
    loadStateIcon("NEWMAIL.ICO", "4_NEWMAIL_ICON", "1_NEWMAIL16_ICON", &win.newMailIcon,
                  &win.smallNewMailIcon);
    win.blankIcon = (HICON)LoadImageA(win.instance, "3_BLANK16_ICON", IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
}

static bool registerClass(const char *name, WNDPROC procedure)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_DBLCLKS | CS_OWNDC | CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = win.instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass) != 0;
}

static bool registerClasses(void)
{
    unsigned long long id = (unsigned long long)(uintptr_t)win.instance;
    formatText(win.mainClass, sizeof win.mainClass, "%s%llu", productName, id);
    formatText(win.topClass, sizeof win.topClass, "%s%llu", "PelimboTop", id);
    return registerClass(win.mainClass, WndProc) && registerClass(win.topClass, DefWindowProcA);
}

void unregisterClasses(void)
{
    UnregisterClassA(win.mainClass, win.instance);
    UnregisterClassA(win.topClass, win.instance);
}

static void recordStartLocation(void)
{
    char directory[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    if (length == 0 || length >= sizeof directory)
        copyText(directory, "C:\\");
    size_t used = strlen(directory);
    if (used == 3 && directory[1] == ':' && directory[2] == '\\')
        directory[2] = '\0';
    copyText(win.currentDirectory, directory);
    char drive = upperChar(directory[0]);
    win.currentDrive = (drive >= 'A' && drive <= 'Z' && directory[1] == ':') ? drive - 'A' : 2;
}

// Without a display context (or a colour it cannot match) the stored colour
// is kept: CLR_INVALID would paint the window in no defined colour.
COLORREF nearestDisplayColour(HDC ic, COLORREF stored)
{
    COLORREF nearest = ic ? GetNearestColor(ic, stored) : CLR_INVALID;
    return nearest == CLR_INVALID ? stored : nearest;
}

static void readDisplayMetrics(void)
{
    HDC ic = CreateICA("DISPLAY", NULL, NULL, NULL);
    readDisplayScale(ic);
    TEXTMETRICA metrics;
    memset(&metrics, 0, sizeof metrics);
    HGDIOBJ oldFont = ic && win.headerFont ? SelectObject(ic, win.headerFont) : NULL;
    GetTextMetricsA(ic, &metrics);
    if (oldFont)
        SelectObject(ic, oldFont);
    win.lineHeight = (int)(metrics.tmHeight + metrics.tmExternalLeading);
    win.charWidth = (int)metrics.tmAveCharWidth;
    if (win.lineHeight < 1)
        win.lineHeight = 16;
    if (win.charWidth < 1)
        win.charWidth = 8;
    uint32_t *colours = config.settings.colors;
    colours[COLOR_NO_MAIL_WINDOW] = nearestDisplayColour(ic, colours[COLOR_NO_MAIL_WINDOW]);
    colours[COLOR_HAVE_MAIL_WINDOW] = nearestDisplayColour(ic, colours[COLOR_HAVE_MAIL_WINDOW]);
    if (ic)
        DeleteDC(ic);
}

// A stored size below 20 gets the default; the others are scaled to the display.
static int displaySize(int stored, int fallback)
{
    return stored < 20 ? fallback : toDisplay(stored);
}

static void applyStoredGeometry(void)
{
    Geometry &g = config.geometry;
    int border = 2 * GetSystemMetrics(SM_CXFRAME);
    int height = GetSystemMetrics(SM_CYMIN) + win.bitmapHeight;
    int captionLength = (int)strlen(config.settings.WindowCaption);
    if (captionLength < 12)
        captionLength = 12;
    g.headerWidth = displaySize(g.headerWidth, GetSystemMetrics(SM_CXVSCROLL)
                                                   + HEADER_TEXT_COLUMNS * win.charWidth + border);
    g.noHeaderWidth = displaySize(g.noHeaderWidth,
                                  3 * GetSystemMetrics(SM_CXSIZE) + captionLength * win.charWidth + border);
    g.headerHeight = displaySize(g.headerHeight, height);
    g.noHeaderHeight = displaySize(g.noHeaderHeight, height);
    g.positionX = toDisplay(g.positionX);
    g.positionY = toDisplay(g.positionY);
    // The stored icon position is what the exit writes back unless the window
    // is minimised somewhere else in this run.
    win.iconPosition.x = toDisplay(g.iconX);
    win.iconPosition.y = toDisplay(g.iconY);
}

static bool createWindows(void)
{
    if (win.newShell) {
        win.ownerWindow = CreateWindowExA(0, win.topClass, "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 0, 0, NULL, NULL, win.instance, NULL);
        SetActiveWindow(win.ownerWindow);
        ShowWindow(win.ownerWindow, SW_HIDE);
    }
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX
                  | WS_VSCROLL | WS_HSCROLL;
    if (win.newShell)
        style |= WS_POPUP;
    const Geometry &g = config.geometry;
    int fallback = win.newShell ? toDisplay(100) : CW_USEDEFAULT;
    int x = g.positionX ? g.positionX : fallback;
    int y = g.positionY ? g.positionY : fallback;
    win.mainWindow =
        CreateWindowExA(0, win.mainClass, productName, style, x, y, g.noHeaderWidth - 1, g.noHeaderHeight - 1,
                        win.newShell ? win.ownerWindow : NULL, NULL, win.instance, NULL);
    return win.mainWindow != NULL;
}

static void freeBuffers(void)
{
    freeMailBuffers();
    if (win.socketBuffer) {
        GlobalFree(win.socketBuffer);
        win.socketBuffer = NULL;
    }
}

void releasePictures(void)
{
    HBITMAP *pictures[] = {&win.noMailPicture, &win.mailPicture, &win.noMailBitmap, &win.haveMailBitmap};
    for (HBITMAP *picture : pictures) {
        if (*picture)
            DeleteObject(*picture);
        *picture = NULL;
    }
    win.currentBitmap = NULL;
    releaseScriptFonts();
    releaseHeaderFont();
}

// The show command is the one the program was started with (the platform
// derives WinMain's from the start-up information).
static void firstShow(int showCommand)
{
    win.minimised =
        showCommand == SW_SHOWMINIMIZED || showCommand == SW_MINIMIZE || showCommand == SW_SHOWMINNOACTIVE;
    refreshCaption();
    if (win.minimised) {
        if (config.settings.ExitMenu)
            EnableMenuItem(GetSystemMenu(win.mainWindow, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        substituteMoveItem();
    }
    win.placement.length = sizeof win.placement;
    GetWindowPlacement(win.mainWindow, &win.placement);
    win.placement.flags = WPF_SETMINPOSITION;
    if (win.newShell) {
        trayIcon(NIM_ADD, win.smallNoMailIcon);
        win.placement.ptMinPosition = win.position;
        showWindowPlaced(win.minimised ? SW_MINIMIZE : showCommand);
    } else {
        if (config.settings.LastIconPosition)
            win.placement.ptMinPosition = win.iconPosition;
        showWindowPlaced(showCommand);
    }
}

static bool needsPasswordAtStart(void)
{
    unsigned source = config.settings.MessageSource;
    return config.settings.PasswordPrompt && !signsInWithOAuth(source, config.settings.Auth)
           && (source == SOURCE_CCMAIL || source == SOURCE_MSMAIL || source == SOURCE_GROUPWISE
               || isNetworkSource(source));
}

static bool startPollTimer(void)
{
    TimerStarter start = win.startTimer ? win.startTimer : SetTimer;
    while (!start(win.mainWindow, POLL_TIMER_ID, 1000, TimerProc)) {
        MessageBeep(0);
        if (MessageBoxA(win.mainWindow, "Too many timers in use", productName,
                        MB_RETRYCANCEL | MB_ICONEXCLAMATION)
            == IDCANCEL)
            return false;
    }
    return true;
}

static void initialState(void)
{
    memset(&notifier, 0, sizeof notifier);
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = true;
    SoundFilePlayer player = win.playSoundFile;
    BeepPlayer beep = win.beep;
    TimerStarter startTimer = win.startTimer;
    memset(&win, 0, sizeof win);
    win.playSoundFile = player;
    win.beep = beep;
    win.startTimer = startTimer;
}

static bool playSoundWithPlatform(const char *file);
static void beepWithPlatform(void)
{
    MessageBeep(MB_OK);
}

int startNotifier(HINSTANCE instance, const char *arguments, int showCommand)
{
    installFrontEnd(&windowFrontEnd);
    initialState();
    if (!win.playSoundFile)
        win.playSoundFile = playSoundWithPlatform;
    if (!win.beep)
        win.beep = beepWithPlatform;
    win.instance = instance;
    config.report = reportError;

    readPlatformVersion();
    win.socketBuffer = GlobalAlloc(GPTR, 4096);
    if (!win.socketBuffer) {
        reportError("Socket buffer allocation failure");
        return 1;
    }
    if (!allocateMailBuffers()) {
        freeBuffers();
        reportError("Buffer handle allocation failure");
        return 1;
    }
    buildHelpFile();
    loadIcons();
    registerClasses();
    win.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");

    recordStartLocation();
    captureStartLocation();
    IniChoice choice;
    IniChoiceResult chosen = chooseIniFile(arguments, win.currentDirectory, &choice);
    if (chosen != INI_CHOSEN) {
        reportError(choice.message);
        freeBuffers();
        return iniRefusalExitCode(chosen);
    }
    copyText(win.iniFile, choice.path);
    copyText(config.iniPath, choice.path);

    win.settingsInvalid = loadSettings(win.iniFile);
    loadGeometry(win.iniFile);
    readDisplayMetrics();
    makePictures();
    applyStoredGeometry();
    loadFilterList(win.iniFile);
    loadWavBaseList(win.iniFile);

    if (!createWindows()) {
        freeBuffers();
        releasePictures();
        return 1;
    }

    setNetworkWindow(win.mainWindow);
    setServiceWindow(win.mainWindow);
    setDialUpPasswordPrompt(promptDialUpPassword);
    RECT normal;
    WINDOWPLACEMENT current;
    current.length = sizeof current;
    GetWindowPlacement(win.mainWindow, &current);
    normal = current.rcNormalPosition;
    win.position.x = normal.left;
    win.position.y = normal.top;
    updateModeRects();
    buildSystemMenu();
    setClassIcon(win.noMailIcon);
    firstShow(showCommand);

    if (needsPasswordAtStart())
        promptPassword(PASSWORD_LOGIN);
    if (!startPollTimer()) {
        // This end of start-up writes nothing: the geometry is not saved.
        win.windowReady = false;
        DestroyWindow(win.mainWindow);
        releasePictures();
        return 1;
    }
    // The service sources open their sessions here; the network sources need
    // the dial-up interface.
    if (isNetworkSource(config.settings.MessageSource))
        loadDialUp();
    openSourceSession();
    if (config.settings.LaunchReader)
        launchReader();
    notifier.tickCounter = 0;
    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, GetTickCount());
    return -1;
}

int runMessageLoop(void)
{
    MSG message;
    int result;
    while ((result = GetMessageA(&message, NULL, 0, 0)) != 0) {
        if (result == -1)
            break;
        if (win.pollWaitDialog && IsDialogMessageA(win.pollWaitDialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}

#include <mmsystem.h>

static bool playSoundWithPlatform(const char *file)
{
    return PlaySoundA(file, NULL, SND_SYNC | SND_NODEFAULT | SND_FILENAME) != FALSE;
}
