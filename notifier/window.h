// The window front end of the notifier: the main window, its display, the
// mail-state changes, the small dialogs and the start-up and shut-down order.
// Everything here runs on the window thread.
#ifndef PELIMBO_NOTIFIER_WINDOW_H
#define PELIMBO_NOTIFIER_WINDOW_H

#include <windows.h>

#include <stddef.h>

#include "config/config.h"
#include "resources/resource_ids.h"
#include "setup/dosetup.h"
#include "config/inifile.h"

enum {
    POLL_TIMER_ID = 1,
    ALARM_TIMER_ID = 2,
    TRAY_ICON_ID = 0,
    TRAY_TIP_SIZE = 64,
    BALLOON_MESSAGES = 3,       // From and Subject of at most this many in the balloon
    MOVE_TEXT_SIZE = 14,        // the system Move item's text: 13 characters
    DIALUP_PASSWORD_SIZE = 257, // 256 characters and the terminator
    LOGIN_PASSWORD_MAX = 39,
    DIALUP_PASSWORD_MAX = 255,
    HEADER_TEXT_COLUMNS = 56, // width of the header list in characters
    PICTURE_SIZE = 96,        // the two mailbox pictures are 96 x 96
};

enum PasswordVariant {
    PASSWORD_LOGIN = 0,
    PASSWORD_DIALUP = 1
};

// The notification-area icon as last handed to the shell (kept so the state
// can be inspected and the icon added again when the taskbar comes back).
struct TrayIconData {
    bool added;
    HICON icon;
    char tip[TRAY_TIP_SIZE];
};

// A font for a script the display font cannot show.
struct ScriptFont {
    BYTE charset;
    HFONT font;
};
enum {
    SCRIPT_FONT_SLOTS = 8
};

// Sound output, swappable so tests can record what would be heard.
typedef bool (*SoundFilePlayer)(const char *file);
typedef void (*BeepPlayer)(void);
// The poll timer's creation, swappable so tests can have the platform refuse it.
typedef UINT_PTR(WINAPI *TimerStarter)(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback);

struct WindowState {
    HINSTANCE instance;
    HWND mainWindow;
    HWND ownerWindow; // hidden owner on the new shell (keeps the taskbar button away)
    HWND pollWaitDialog;
    bool newShell;
    bool isNT;
    char mainClass[48];
    char topClass[48];
    UINT taskbarCreatedMessage;

    HICON noMailIcon, smallNoMailIcon, newMailIcon, smallNewMailIcon, blankIcon;
    HICON classIcon; // the icon the window classes carry now

    int currentDrive; // 0 = A
    char currentDirectory[PATH_SIZE];
    char iniFile[PATH_SIZE];
    char helpFile[PATH_SIZE];
    bool settingsInvalid;

    int dpi;          // the display's pixels per inch: 96 at 100 %
    HFONT headerFont; // the header list's own font, NULL while the display's serves
    int lineHeight;
    int charWidth;
    ScriptFont scriptFonts[SCRIPT_FONT_SLOTS];
    int scriptFontCount;

    HBITMAP noMailPicture; // the resources as loaded
    HBITMAP mailPicture;
    HBITMAP noMailBitmap; // recoloured copies
    HBITMAP haveMailBitmap;
    HBITMAP currentBitmap;
    int bitmapHeight;
    COLORREF noMailColour; // colours the copies were made with
    COLORREF haveMailColour;

    POINT position;
    POINT iconPosition;
    RECT headerRect; // right = left + width - 1
    RECT noHeaderRect;
    WINDOWPLACEMENT placement;

    bool minimised;
    bool maximised;
    bool windowReady;
    bool menuBuilt;
    int toggleItemInMenu; // MENU_CLEAR or MENU_SHOW: the command id the menu holds now
    bool startCancelled;  // first-start setup cancelled: end with code 1

    int vpos, vmax, hpos, hmax;
    int clientHeight;
    int subjectAdvance; // 2 x lineHeight
    int textWidth;      // 56 x charWidth

    int moveItemPosition;
    char moveItemText[MOVE_TEXT_SIZE];
    bool moveSubstituted;

    HBRUSH backgroundBrush;

    bool alarmRunning;
    unsigned alarmCount;

    bool iconTitleHidden;
    HWND iconTitleWindow;

    TrayIconData tray;
    bool balloonShown; // the shell took the last balloon

    PasswordVariant passwordVariant;
    bool savePassword;
    char dialUpPassword[DIALUP_PASSWORD_SIZE];
    const char *dialUpEntry; // named in the dial-up prompt

    POINT aboutIcon;
    WNDPROC aboutFrameProc;

    void *socketBuffer;

    SoundFilePlayer playSoundFile;
    BeepPlayer beep;
    TimerStarter startTimer;
};

extern WindowState win;

// --- Start-up and shut-down (startup.cpp) ------------------------------------------
// Steps up to the first poll. Returns -1 when the message loop should run,
// otherwise the exit code.
int startNotifier(HINSTANCE instance, const char *arguments, int showCommand);
int runMessageLoop(void);
// After the loop: the pictures are released.
void releasePictures(void);
// The classes are unregistered (so a test can start the notifier again).
void unregisterClasses(void);
// The display's nearest match for a colour, or the colour itself when there is none.
COLORREF nearestDisplayColour(HDC ic, COLORREF stored);

// --- The display's scale (dpi.cpp) ------------------------------------------------------
// The display's DPI and the header list's font, from the display's information context.
void readDisplayScale(HDC ic);
void releaseHeaderFont(void);
// A length in pixels at 96 DPI as the display needs it, and back. The stored
// geometry keeps its 96-DPI meaning: what the program read and wrote while
// Windows stretched it.
int toDisplay(int value);
int toStored(int value);

// --- Window procedure and commands (window.cpp) ------------------------------------
LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool headersMode(void);
bool runSetup(void);
void closeSource(void);
void buildSystemMenu(void);
void updateModeRects(void);
void showToggleItem(void);
void substituteMoveItem(void);
void restoreMoveItem(void);
// Opens the help page beside the program; context 0 is the index.
void openHelp(int context);
// Loads the setup library by name (tests may point this elsewhere).
extern const char *setupLibraryName;

// --- Display (display.cpp) ----------------------------------------------------------------
void paintMainWindow(HDC dc, const RECT *paint);
HBITMAP recolourBitmap(HBITMAP bitmap, COLORREF colour);
void makePictures(void);
void drawPicture(HDC dc, HBITMAP bitmap);
// The square the picture is stretched into for a client area of width x height.
RECT pictureRect(int width, int height);
void drawHeaders(HDC dc, const RECT *paint, int vpos, int hpos);
void releaseScriptFonts(void);
void updateScrollRanges(int width, int height);
void scrollVertical(int request, int thumb);
void scrollHorizontal(int request, int thumb);
void trayIcon(DWORD operation, HICON icon);
void trayTip(void);
void trayRemove(void);
// The new-mail balloon: the title counts the new messages, the text gives From
// and Subject of up to three of the newest. Nothing happens without a
// notification-area icon, with Balloon off, or on a shell without balloons.
void showBalloon(void);
// A balloon with a notice (title "Pelimbo"), whatever Balloon says; none
// without a notification-area icon.
void showNoticeBalloon(const char *text);
void formatBalloon(WCHAR *title, size_t titleSize, WCHAR *text, size_t textSize);
void updateTrayIcon(void);
void hideIcon(void);
void revealIcon(void);
void setCaption(const char *text);
void refreshCaption(void);
void refreshStatus(void);
void setTopmost(bool topmost);
void setClassIcon(HICON icon);
void setBackgroundColour(COLORREF colour);

// --- Mail-state changes and notification actions (mailstate.cpp) ---------------------------
void startAlarm(void);
void stopAlarm(void);
void CALLBACK AlarmProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
void showWindowPlaced(int showCommand);
void savePositions(void);
void playNotificationSound(void);
// The two mail states as the window shows them (the front-end table's
// showNoMail and showHaveMail).
void showNoMailState(bool actions);
void showHaveMailState(bool notify);
// The window program's front-end table, installed by startNotifier.
struct FrontEnd;
extern const FrontEnd windowFrontEnd;
BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter);

// --- Small dialogs (dialogs.cpp) -------------------------------------------------------------
void showAboutBox(void);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Modal, no owner. True when closed with OK. The login variant writes the
// password held in memory; the dial-up variant writes win.dialUpPassword.
bool promptPassword(PasswordVariant variant);
// The dial-up link's prompt: the entry's password into password (size bytes).
bool promptDialUpPassword(const char *entryName, char *password, size_t size, bool *save);
INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// "Sign &in...": the browser sign-in (waits for a running poll to end).
void signInFromMenu(void);
// The modeless "Waiting to complete mail poll..." notice (opened once).
void openPollWait(void);
INT_PTR CALLBACK PollWaitDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
