// Internal declarations of the setup library: the page table, the frame state
// shared by all pages, and the operations the pages use on each other.
#ifndef PELIMBO_SETUP_SETUP_H
#define PELIMBO_SETUP_SETUP_H

#include <windows.h>

#include "config/config.h"

enum {
    PAGE_MSGSRC = 0,
    PAGE_MAILBOX = 1,
    PAGE_WINDOW = 2,
    PAGE_READER = 3,
    PAGE_FILTER = 4,
    PAGE_COLOR = 5,
    PAGE_SOUND = 6,
    PAGE_WAVBASE = 7,
    PAGE_NETWORK = 8,
    PAGE_SIGNIN = 9,
    PAGE_COUNT = 10,
    PAGE_NAME_SIZE = 20, // resource names and tab labels: at most 19 characters
};

struct SetupPage {
    char resource[PAGE_NAME_SIZE];
    char label[PAGE_NAME_SIZE];
    DLGPROC procedure;
    HWND window;
    int helpContext;
};

// Private message the keyboard hook posts for F1 (wParam HELP_REQUEST).
enum {
    WM_SETUP_HELP = WM_USER,
    HELP_REQUEST = 100
};

// Opens the help at a context number. Swappable so tests can see the requests.
typedef void (*HelpOpener)(const char *helpFile, int context);

struct SetupState {
    HINSTANCE module; // this library: its resources and exports
    HWND dialog;      // SETUP_MAIN while it is up
    HWND tabs;
    int currentPage; // -1 while no dialog is up
    HWND owner;
    char helpFile[PATH_SIZE];
    char iniFile[PATH_SIZE];
    HICON noMailIcon;
    HICON newMailIcon;
    bool newShell; // platform major version above 3
    HHOOK hook;
    int pageFontHeight; // icon-title font height, read by the first placePage
    HelpOpener openHelp;
    int dpi; // the display's pixels per inch: 96 at 100 %

    // Libraries the pages load on demand, freed by endSetup.
    HMODULE netWareLibrary;
    bool netWareTried;
    HMODULE rasLibrary;
    HMODULE notesLibrary;
    HMODULE themeLibrary;

    // Source-dependent pages.
    bool mailFileSetAtOpen; // MailFile was not empty when the dialog opened
    bool mailFileBrowsed;   // a mail file was chosen with Browse since
    bool connectionListFilled;
    bool profileListFilled;
    bool netWareServersFilled;
    bool notesServersFilled;
    bool notesLayoutDone; // the Notes lists were prepared in this dialog
    bool mailboxReady;    // the Mailbox page finished its creation
    char lastBrowsePath[PATH_SIZE];
};

extern SetupPage setupPages[PAGE_COUNT];
extern SetupState setup;

// A length in pixels at 96 DPI as the display needs it (what the pages draw
// themselves; the dialog templates scale with their font).
int scaledPixels(int pixels);

// Frame operations used by the pages.
HWND showPageByLabel(const char *label);
void placePage(int index);
void addTab(const char *label);
void removeTab(const char *label);
void reportInvalidField(const char *label, const char *field, int controlId);
void reportMissingField(const char *label, const char *field, int controlId);
void reportSetupError(const char *text);
int findTab(const char *label);
HWND pageWindow(int index);

// Pages (source, mailbox, network).
void layoutMailboxPage(int source);
void fillConnectionList(void);
int browseForFile(HWND page, int fieldId, char *setting, size_t size, const char *filters, const char *title);
bool loadSetupNetWare(void);
int netWareServerIndex(const char *server);

// The Sign-in page: the provider's mail host and ports follow a change of
// source, unless the user typed a host of their own.
void applyProviderHost(int source);

// Pages (window, reader, filters, colours, sound, WAVBase).
void disableEmptyListControls(void);
int takeEntrySoundFile(int entry);
int selectedWavBaseEntry(void);
void playSoundField(HWND page, int fieldId);

// Lotus Notes and NetWare lists of the Mailbox page.
bool loadSetupNotes(void);
void releaseSetupNotes(void);
void fillNotesServerList(void);
void selectNotesFolder(void);
void fillNetWareServerList(void);
void showNotesUserName(void);
void browseNotesIdFile(void);
void browseNotesDatabase(void);

// Small control helpers.
bool isChecked(HWND page, int id);
void setChecked(HWND page, int id, bool on);
void enableControl(HWND page, int id, bool on);
void showControl(HWND page, int id, bool on);
int checkedButton(HWND page, int first, int last); // index from first, -1 when none
void setControlText(HWND page, int id, const char *text);
void getControlText(HWND page, int id, char *buffer, size_t size);
// True when the edit field id of page holds no text.
bool fieldEmpty(HWND page, int id);

// Dialog procedures (exported by name).
extern "C" {
INT_PTR CALLBACK SetupDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK MsgSrcDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK MailboxDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK WinDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ReaderDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK FilterDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ColorDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK SoundDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK WavBaseDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK NetworkDlgProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK SignInDlgProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogFilterProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK textBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK noMailBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK newMailBoxProc(HWND, UINT, WPARAM, LPARAM);
}

#endif
