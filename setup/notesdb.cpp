// The Notes lists of the Mailbox page: the servers named in the user's
// address books, and the browser that walks a server's directories to choose
// the mail database.
#include <windows.h>
#include <stddef.h>
#include <string.h>

#include "config/config.h"
#include "base/text.h"
#include "setup/notes.h"
#include "setup/setup.h"
#include "setup/setupids.h"
#include "sources/notes_summary.h"

enum {
    NOTES_CLASS_DOCUMENT = 1,
    NOTES_SEARCH_FILES = 1030,     // list the entries of a directory
    NOTES_CLASS_FILES = 49156,     // databases and directories
    BIG_PATH_SIZE = 4 * PATH_SIZE, // room for any path the interface builds
    // In pixels at 96 DPI, scaled to the display.
    ENTRY_WIDTH = 156, // of an entry in the browser's list
    BITMAP_LEFT = 2,
    BITMAP_TOP = 2, // where an entry's picture goes
    TEXT_LEFT = 16,
    TEXT_TOP = 1, // and its text
    UP_FRAME = 1, // the up button's black frame,
    UP_EDGE = 2,  // its light and shadow edges
    UP_FOCUS = 4, // and its focus rectangle's inset
};

// The item names whose text values name a server.
static const char *const serverItems[] = {"Destination", "MailServer", "DefaultPassthruServer", "InterNotes"};

static HCURSOR showHourglass(void)
{
    return SetCursor(LoadCursor(NULL, IDC_WAIT));
}

// A Notes message without the hourglass over it.
static void reportWithoutHourglass(const char *text, NotesStatus status, HCURSOR previous)
{
    SetCursor(previous);
    reportSetupNotesError(text, status);
    showHourglass();
}

static HWND serverCombo(void)
{
    return GetDlgItem(pageWindow(PAGE_MAILBOX), IDC_MB_NOTES_SERVER);
}

// --- Servers from the address books ---------------------------------------------------------

extern "C" NotesStatus WINAPI scanAction(uint16_t spare, uint16_t flags, char *name, uint16_t nameLength,
                                         void *value, uint32_t valueLength, void *parameter)
{
    if (valueLength < 2 || !name)
        return 0;
    WORD type;
    memcpy(&type, value, sizeof type);
    if (type != NOTES_TEXT_TYPE)
        return 0;
    bool bearsServer = false;
    for (const char *item : serverItems) {
        size_t n = strlen(item);
        bearsServer = bearsServer || (nameLength >= n && compareNoCaseN(name, item, n) == 0);
    }
    if (!bearsServer)
        return 0;
    // Cut at the buffer rather than trusting the stated length.
    char server[NOTES_NAME_SIZE];
    copyTextN(server, sizeof server, static_cast<const char *>(value) + 2, valueLength - 2);
    if (server[0] == '\0' || server[0] == '*')
        return 0;
    char shortName[NOTES_NAME_SIZE + 1] = "";
    if (setupNotes.DNAbbreviate(0, NULL, server, shortName, NOTES_NAME_SIZE, NULL) != 0)
        return 0;
    shortName[NOTES_NAME_SIZE] = '\0';
    SendMessageA(serverCombo(), CB_ADDSTRING, 0, (LPARAM)shortName);
    return 0;
}

extern "C" NotesStatus WINAPI scanForServers(void *parameter, const NotesSearchMatch *match,
                                             const void *summary)
{
    NotesHandle database = (NotesHandle)(uintptr_t)parameter;
    NotesNoteId id;
    memcpy(&id, reinterpret_cast<const char *>(match) + offsetof(NotesSearchMatch, noteId), sizeof id);
    NotesHandle note = 0;
    NotesStatus status = setupNotes.NSFNoteOpen(database, id, 0, &note);
    if (status != 0) {
        // One unreadable entry ends this address book's search; the setup
        // dialog (and the program that opened it) carry on.
        reportSetupNotesError("Error opening address book entry", status);
        return 1;
    }
    status = setupNotes.NSFItemScan(note, scanAction, (void *)(uintptr_t)note);
    setupNotes.NSFNoteClose(note);
    if (status != 0) {
        reportSetupNotesError("Error scanning address book entry", status);
        return 1;
    }
    return 0;
}

static void scanAddressBook(const char *path, HCURSOR previous)
{
    char file[BIG_PATH_SIZE] = "";
    setupNotes.OSPathNetParse(path, NULL, NULL, file);
    file[sizeof file - 1] = '\0';
    NotesHandle database = 0;
    NotesStatus status = setupNotes.NSFDbOpen(file, &database);
    if (status != 0) {
        reportWithoutHourglass("Error opening address book", status, previous);
        return;
    }
    status = setupNotes.NSFSearch(database, 0, NULL, 0, NOTES_CLASS_DOCUMENT, NULL, scanForServers,
                                  (void *)(uintptr_t)database, NULL);
    setupNotes.NSFDbClose(database);
    if (status != 0)
        reportWithoutHourglass("Error searching address book", status, previous);
}

void fillNotesServerList(void)
{
    if (setup.notesServersFilled || !loadSetupNotes())
        return;
    HCURSOR previous = showHourglass();
    WORD count = 0, length = 0;
    NotesHandle books = 0;
    NotesStatus status = setupNotes.NAMEGetAddressBooks(NULL, 0, &count, &length, &books);
    if (status != 0) {
        SetCursor(previous);
        reportSetupNotesError("Error obtaining address books", status);
        return;
    }
    setup.notesServersFilled = true;
    const char *block = static_cast<const char *>(setupNotes.OSLockObject(books));
    // The paths follow one another, each terminated; one without its
    // terminator ends the walk.
    size_t offset = 0;
    for (WORD i = 0; block && i < count && offset < length; i++) {
        const char *path = block + offset;
        size_t n = strnlen(path, length - offset);
        if (n == length - offset || n >= BIG_PATH_SIZE)
            break;
        offset += n + 1;
        if (n > 0)
            scanAddressBook(path, previous);
    }
    setupNotes.OSUnlockObject(books);
    setupNotes.OSMemFree(books);

    // The list is sorted: equal names stand together.
    HWND combo = serverCombo();
    char before[NOTES_NAME_SIZE + 1] = "", current[NOTES_NAME_SIZE + 1];
    for (LRESULT i = 0; i < SendMessageA(combo, CB_GETCOUNT, 0, 0);) {
        current[0] = '\0';
        if (SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)i, 0) <= NOTES_NAME_SIZE)
            SendMessageA(combo, CB_GETLBTEXT, (WPARAM)i, (LPARAM)current);
        if (i > 0 && strcmp(current, before) == 0) {
            SendMessageA(combo, CB_DELETESTRING, (WPARAM)i, 0);
            continue;
        }
        copyText(before, current);
        i++;
    }
    SendMessageA(combo, CB_INSERTSTRING, 0, (LPARAM) "Local");
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    LRESULT stored = SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)config.settings.NotesServer);
    if (stored != CB_ERR)
        SendMessageA(combo, CB_SETCURSEL, (WPARAM)stored, 0);
    SetCursor(previous);
}

// --- The database browser ---------------------------------------------------------------------

static struct {
    char server[NOTES_NAME_SIZE];              // empty for the local machine
    char canonicalServer[NOTES_NAME_SIZE + 1]; //
    char directory[PATH_SIZE];                 // relative to the data directory; empty at the top
    HBITMAP directoryBitmap, fileBitmap, upBitmap;
    COLORREF text, highlightText, window, highlight;
    WNDPROC listProc;
    HWND dialog;
} browse;

// An entry's datum: the database's file name in global memory, or 0 for a
// directory.
static HGLOBAL entryFile(HWND list, LRESULT index)
{
    LRESULT datum = SendMessageA(list, LB_GETITEMDATA, (WPARAM)index, 0);
    return datum == LB_ERR ? NULL : (HGLOBAL)datum;
}

static void freeEntries(HWND list)
{
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        HGLOBAL file = entryFile(list, i);
        if (file)
            GlobalFree(file);
        SendMessageA(list, LB_SETITEMDATA, (WPARAM)i, 0);
    }
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
}

static void addEntry(HWND list, const char *text, const char *fileName)
{
    HGLOBAL block = NULL;
    if (fileName) {
        size_t size = strlen(fileName) + 1;
        block = GlobalAlloc(GHND, size);
        if (!block)
            return;
        char *copy = static_cast<char *>(GlobalLock(block));
        copyText(copy, size, fileName);
        GlobalUnlock(block);
    }
    LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)text);
    if (index < 0) {
        if (block)
            GlobalFree(block);
        return;
    }
    SendMessageA(list, LB_SETITEMDATA, (WPARAM)index, (LPARAM)block);
}

static void addDirectoryEntry(void *list, const char *name)
{
    addEntry(static_cast<HWND>(list), name, NULL);
}

static void addDatabaseEntry(void *list, const char *title, const char *fileName)
{
    addEntry(static_cast<HWND>(list), title, fileName);
}

extern "C" NotesStatus WINAPI scanForDatabases(void *parameter, const NotesSearchMatch *match,
                                               const void *summary)
{
    NotesEntrySink sink = {addDirectoryEntry, addDatabaseEntry, parameter};
    if (summary)
        readNotesDirectoryEntry(summary, notesSummaryLength(summary), &sink);
    return 0;
}

// The name an entry stands for, with the directory being listed in front.
static void fullEntryName(HWND list, LRESULT index, char *name, size_t size)
{
    char own[PATH_SIZE] = "";
    HGLOBAL file = entryFile(list, index);
    if (file) {
        const char *text = static_cast<const char *>(GlobalLock(file));
        copyText(own, text ? text : "");
        GlobalUnlock(file);
    } else if (SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0) < (LRESULT)sizeof own) {
        SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)own);
    }
    if (browse.directory[0])
        formatText(name, size, "%s\\%s", browse.directory, own);
    else
        copyText(name, size, own);
}

static void showSelectedName(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_DB_LIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    char name[2 * PATH_SIZE] = "";
    if (selected != LB_ERR)
        fullEntryName(list, selected, name, sizeof name);
    SetDlgItemTextA(dialog, IDC_DB_FILENAME, name);
}

static bool fillDatabaseList(HWND dialog)
{
    HCURSOR previous = showHourglass();
    HWND list = GetDlgItem(dialog, IDC_DB_LIST);
    freeEntries(list);
    char path[BIG_PATH_SIZE] = "";
    NotesHandle directory = 0;
    NotesStatus status = setupNotes.OSPathNetConstruct(NULL, browse.canonicalServer, browse.directory, path);
    path[sizeof path - 1] = '\0';
    if (status == 0)
        status = setupNotes.NSFDbOpen(path, &directory);
    if (status != 0) {
        SetCursor(previous);
        reportSetupNotesError("Error getting databases", status);
        return false;
    }
    status = setupNotes.NSFSearch(directory, 0, NULL, NOTES_SEARCH_FILES, (WORD)NOTES_CLASS_FILES, NULL,
                                  scanForDatabases, list, NULL);
    setupNotes.NSFDbClose(directory);
    SetCursor(previous);
    if (status != 0) {
        reportSetupNotesError("Error scanning server directory", status);
        return false;
    }
    if (SendMessageA(list, LB_GETCOUNT, 0, 0) > 0)
        SendMessageA(list, LB_SETCURSEL, 0, 0);
    showSelectedName(dialog);
    return true;
}

static void closeBrowser(HWND dialog)
{
    freeEntries(GetDlgItem(dialog, IDC_DB_LIST));
    EndDialog(dialog, 0);
}

static void chooseEntry(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_DB_LIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) {
        closeBrowser(dialog);
        return;
    }
    if (entryFile(list, selected)) {
        char name[2 * PATH_SIZE];
        fullEntryName(list, selected, name, sizeof name);
        setControlText(pageWindow(PAGE_MAILBOX), IDC_MB_DATABASE, name);
        closeBrowser(dialog);
        return;
    }
    char name[PATH_SIZE] = "";
    if (SendMessageA(list, LB_GETTEXTLEN, (WPARAM)selected, 0) < (LRESULT)sizeof name)
        SendMessageA(list, LB_GETTEXT, (WPARAM)selected, (LPARAM)name);
    if (browse.directory[0]) {
        appendText(browse.directory, "\\");
        appendText(browse.directory, name);
    } else {
        copyText(browse.directory, name);
    }
    EnableWindow(GetDlgItem(dialog, IDC_DB_UP), browse.directory[0] != '\0');
    if (!fillDatabaseList(dialog))
        closeBrowser(dialog);
}

static void goUp(HWND dialog)
{
    if (browse.directory[0] == '\0')
        return;
    char *cut = strrchr(browse.directory, '\\');
    char *slash = strrchr(browse.directory, '/');
    if (slash > cut)
        cut = slash;
    if (cut)
        *cut = '\0';
    else
        browse.directory[0] = '\0';
    HWND up = GetDlgItem(dialog, IDC_DB_UP);
    // The focus must not stay on a button that is about to be disabled.
    if (browse.directory[0] == '\0' && GetFocus() == up)
        SetFocus(GetDlgItem(dialog, IDC_DB_LIST));
    EnableWindow(up, browse.directory[0] != '\0');
    if (!fillDatabaseList(dialog))
        closeBrowser(dialog);
}

extern "C" LRESULT CALLBACK dbListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDBLCLK)
        PostMessageA(GetParent(list), WM_COMMAND, IDOK, 0);
    return CallWindowProcA(browse.listProc, list, message, wParam, lParam);
}

// A copy of a picture whose outer area, bounded by black, takes the colour,
// drawn at the display's scale (each pixel repeated, never blurred).
static void drawPicture(HDC target, HBITMAP picture, int x, int y, COLORREF background, bool fillOutside)
{
    BITMAP info;
    if (!picture || !GetObjectA(picture, sizeof info, &info))
        return;
    HDC source = CreateCompatibleDC(target);
    HDC copy = CreateCompatibleDC(target);
    HBITMAP canvas = CreateCompatibleBitmap(target, info.bmWidth, info.bmHeight);
    HGDIOBJ oldSource = SelectObject(source, picture);
    HGDIOBJ oldCopy = SelectObject(copy, canvas);
    BitBlt(copy, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    if (fillOutside) {
        HBRUSH brush = CreateSolidBrush(background);
        HGDIOBJ oldBrush = SelectObject(copy, brush);
        ExtFloodFill(copy, 0, 0, RGB(0, 0, 0), FLOODFILLBORDER);
        SelectObject(copy, oldBrush);
        DeleteObject(brush);
    }
    SetStretchBltMode(target, COLORONCOLOR);
    StretchBlt(target, x, y, scaledPixels(info.bmWidth), scaledPixels(info.bmHeight), copy, 0, 0,
               info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(source, oldSource);
    SelectObject(copy, oldCopy);
    DeleteObject(canvas);
    DeleteDC(source);
    DeleteDC(copy);
}

static void drawEntry(const DRAWITEMSTRUCT *item)
{
    if (item->itemID == (UINT)-1)
        return;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    COLORREF background = selected ? browse.highlight : browse.window;
    COLORREF foreground = selected ? browse.highlightText : browse.text;
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(item->hDC, &item->rcItem, brush);
    DeleteObject(brush);
    bool database = entryFile(item->hwndItem, item->itemID) != NULL;
    drawPicture(item->hDC, database ? browse.fileBitmap : browse.directoryBitmap,
                item->rcItem.left + scaledPixels(BITMAP_LEFT), item->rcItem.top + scaledPixels(BITMAP_TOP),
                background, true);
    char text[PATH_SIZE] = "";
    if (SendMessageA(item->hwndItem, LB_GETTEXTLEN, item->itemID, 0) < (LRESULT)sizeof text)
        SendMessageA(item->hwndItem, LB_GETTEXT, item->itemID, (LPARAM)text);
    SetTextColor(item->hDC, foreground);
    SetBkColor(item->hDC, background);
    SetBkMode(item->hDC, TRANSPARENT);
    TextOutA(item->hDC, item->rcItem.left + scaledPixels(TEXT_LEFT),
             item->rcItem.top + scaledPixels(TEXT_TOP), text, (int)strlen(text));
}

// The up button: a black frame, the face, two-unit edges that swap when the
// button is pressed, and the arrow in yellow (or in the shadow colour when
// the button is disabled).
static void drawUpButton(const DRAWITEMSTRUCT *item)
{
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    bool pressed = (item->itemState & ODS_SELECTED) != 0;
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    HBRUSH black = (HBRUSH)GetStockObject(BLACK_BRUSH);
    FillRect(dc, &r, black);
    InflateRect(&r, -scaledPixels(UP_FRAME), -scaledPixels(UP_FRAME));
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    HBRUSH light = GetSysColorBrush(pressed ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT);
    HBRUSH shade = GetSysColorBrush(pressed ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW);
    int width = scaledPixels(UP_EDGE);
    RECT edge = {r.left, r.top, r.right, r.top + width};
    FillRect(dc, &edge, light);
    edge = {r.left, r.top, r.left + width, r.bottom};
    FillRect(dc, &edge, light);
    edge = {r.left, r.bottom - width, r.right, r.bottom};
    FillRect(dc, &edge, shade);
    edge = {r.right - width, r.top, r.right, r.bottom};
    FillRect(dc, &edge, shade);

    BITMAP info;
    if (browse.upBitmap && GetObjectA(browse.upBitmap, sizeof info, &info)) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, browse.upBitmap);
        // White leaves the face as it is; black draws the outline.
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, item->rcItem.left, item->rcItem.top, scaledPixels(info.bmWidth),
                   scaledPixels(info.bmHeight), source, 0, 0, info.bmWidth, info.bmHeight, SRCAND);
        SelectObject(source, old);
        DeleteDC(source);
        COLORREF faceColour = GetSysColor(COLOR_BTNFACE);
        HBRUSH arrow = CreateSolidBrush(disabled ? GetSysColor(COLOR_BTNSHADOW) : RGB(255, 255, 0));
        HGDIOBJ oldBrush = SelectObject(dc, arrow);
        // The fills start in the middle of the picture's pixels (8,5) and (8,15)
        // as drawn at the display's scale.
        int x = item->rcItem.left + scaledPixels(2 * 8 + 1) / 2;
        ExtFloodFill(dc, x, item->rcItem.top + scaledPixels(2 * 5 + 1) / 2, faceColour, FLOODFILLSURFACE);
        ExtFloodFill(dc, x, item->rcItem.top + scaledPixels(2 * 15 + 1) / 2, faceColour, FLOODFILLSURFACE);
        SelectObject(dc, oldBrush);
        DeleteObject(arrow);
    }
    if (item->itemState & ODS_FOCUS) {
        RECT focus = item->rcItem;
        InflateRect(&focus, -scaledPixels(UP_FOCUS), -scaledPixels(UP_FOCUS));
        DrawFocusRect(dc, &focus);
    }
}

static bool initBrowser(HWND dialog, const char *server)
{
    browse.dialog = dialog;
    if (!loadSetupNotes())
        return false;
    copyText(browse.server, compareNoCase(server, "Local") == 0 ? "" : server);
    char caption[NOTES_NAME_SIZE + 32];
    formatText(caption, sizeof caption, "Notes databases on %s", browse.server[0] ? browse.server : "Local");
    SetWindowTextA(dialog, caption);
    browse.directoryBitmap = LoadBitmapA(setup.module, "DIRECTORY_BMP");
    browse.fileBitmap = LoadBitmapA(setup.module, "FILE_BMP");
    browse.upBitmap = LoadBitmapA(setup.module, "UPDIR_BMP");
    browse.text = GetSysColor(COLOR_WINDOWTEXT);
    browse.highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    browse.window = GetSysColor(COLOR_WINDOW);
    browse.highlight = GetSysColor(COLOR_HIGHLIGHT);
    HWND list = GetDlgItem(dialog, IDC_DB_LIST);
    browse.listProc = (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)dbListProc);
    browse.canonicalServer[0] = '\0';
    if (setupNotes.DNCanonicalize(0, NULL, browse.server, browse.canonicalServer, NOTES_NAME_SIZE, NULL) != 0)
        copyText(browse.canonicalServer, browse.server);
    browse.canonicalServer[NOTES_NAME_SIZE] = '\0';
    browse.directory[0] = '\0';
    EnableWindow(GetDlgItem(dialog, IDC_DB_UP), FALSE);
    return fillDatabaseList(dialog);
}

static void endBrowser(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_DB_LIST);
    freeEntries(list);
    if (browse.listProc)
        SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)browse.listProc);
    browse.listProc = NULL;
    HBITMAP *bitmaps[] = {&browse.directoryBitmap, &browse.fileBitmap, &browse.upBitmap};
    for (HBITMAP *bitmap : bitmaps) {
        if (*bitmap)
            DeleteObject(*bitmap);
        *bitmap = NULL;
    }
    browse.dialog = NULL;
}

extern "C" INT_PTR CALLBACK NotesDbDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!initBrowser(dialog, (const char *)lParam))
            closeBrowser(dialog);
        return TRUE;
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT *item = (MEASUREITEMSTRUCT *)lParam;
        if (item->CtlID != IDC_DB_LIST)
            return FALSE;
        HDC dc = GetDC(dialog);
        HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0));
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(dialog, dc);
        item->itemWidth = (UINT)scaledPixels(ENTRY_WIDTH);
        item->itemHeight = (UINT)(metrics.tmHeight + metrics.tmExternalLeading);
        return TRUE;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *item = (const DRAWITEMSTRUCT *)lParam;
        if (item->CtlID == IDC_DB_LIST)
            drawEntry(item);
        else if (item->CtlID == IDC_DB_UP)
            drawUpButton(item);
        else
            return FALSE;
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: chooseEntry(dialog); return TRUE;
        case IDCANCEL: closeBrowser(dialog); return TRUE;
        case IDC_DB_UP:
            if (HIWORD(wParam) == BN_CLICKED)
                goUp(dialog);
            return TRUE;
        case IDC_DB_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE)
                showSelectedName(dialog);
            return TRUE;
        default: return FALSE;
        }
    case WM_DESTROY: endBrowser(dialog); return FALSE;
    default: return FALSE;
    }
}

void browseNotesDatabase(void)
{
    if (!setup.notesLibrary)
        return;
    char server[NOTES_NAME_SIZE] = "";
    HWND combo = serverCombo();
    LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR && SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)selected, 0) < NOTES_NAME_SIZE)
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)selected, (LPARAM)server);
    DialogBoxParamA(setup.module, "SETUP_NOTESDB", setup.dialog, NotesDbDlgProc, (LPARAM)server);
}
