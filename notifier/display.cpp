// What the main window shows: the mailbox picture on the state's colour, or
// the list of waiting headers with scroll bars; the caption, the
// notification-area icon and, on the old shell, the hidden minimised icon.
#include "notifier/window.h"

#include <shellapi.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>

#include "mail/mail.h"
#include "core/core.h"
#include "poll/pollcycle.h"

static const COLORREF pureWhite = RGB(255, 255, 255);

// --- Pictures --------------------------------------------------------------------------

// A copy of the picture whose white background (and, in the mail picture, the
// white pocket under the box) takes the state's colour.
HBITMAP recolourBitmap(HBITMAP bitmap, COLORREF colour)
{
    BITMAP info;
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return NULL;
    HDC screen = GetDC(NULL);
    HDC source = CreateCompatibleDC(screen);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP copy = CreateCompatibleBitmap(screen, info.bmWidth, info.bmHeight);
    HGDIOBJ oldSource = SelectObject(source, bitmap);
    HGDIOBJ oldTarget = SelectObject(target, copy);
    BitBlt(target, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ oldBrush = SelectObject(target, brush);
    ExtFloodFill(target, 0, 0, pureWhite, FLOODFILLSURFACE);
    if (bitmap == win.mailPicture)
        ExtFloodFill(target, 32, 77, pureWhite, FLOODFILLSURFACE);
    SelectObject(target, oldBrush);
    DeleteObject(brush);
    SelectObject(target, oldTarget);
    SelectObject(source, oldSource);
    DeleteDC(target);
    DeleteDC(source);
    ReleaseDC(NULL, screen);
    return copy;
}

// Loads the pictures once and rebuilds a recoloured copy whose colour changed.
void makePictures(void)
{
    if (!win.noMailPicture)
        win.noMailPicture = LoadBitmapA(win.instance, "NOMAIL_BMP");
    if (!win.mailPicture)
        win.mailPicture = LoadBitmapA(win.instance, "MAIL_BMP");
    COLORREF noMail = config.settings.colors[COLOR_NO_MAIL_WINDOW];
    COLORREF haveMail = config.settings.colors[COLOR_HAVE_MAIL_WINDOW];
    if (!win.noMailBitmap || noMail != win.noMailColour) {
        if (win.noMailBitmap)
            DeleteObject(win.noMailBitmap);
        win.noMailBitmap = recolourBitmap(win.noMailPicture, noMail);
        win.noMailColour = noMail;
    }
    if (!win.haveMailBitmap || haveMail != win.haveMailColour) {
        if (win.haveMailBitmap)
            DeleteObject(win.haveMailBitmap);
        win.haveMailBitmap = recolourBitmap(win.mailPicture, haveMail);
        win.haveMailColour = haveMail;
    }
    win.currentBitmap =
        (win.classIcon && win.classIcon == win.newMailIcon) ? win.haveMailBitmap : win.noMailBitmap;
    BITMAP info;
    win.bitmapHeight = PICTURE_SIZE;
    if (win.noMailPicture && GetObjectA(win.noMailPicture, sizeof info, &info))
        win.bitmapHeight = info.bmHeight;
    win.bitmapHeight = toDisplay(win.bitmapHeight);
}

RECT pictureRect(int width, int height)
{
    RECT square;
    if (width > height)
        SetRect(&square, (width - height) / 2, 0, (width - height) / 2 + height, height);
    else
        SetRect(&square, 0, (height - width) / 2, width, (height - width) / 2 + width);
    return square;
}

void drawPicture(HDC dc, HBITMAP bitmap)
{
    if (!bitmap)
        return;
    RECT client;
    GetClientRect(win.mainWindow, &client);
    RECT square = pictureRect(client.right, client.bottom);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, square.left, square.top, square.right - square.left, square.bottom - square.top, memory, 0,
               0, PICTURE_SIZE, PICTURE_SIZE, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

// --- Header list -----------------------------------------------------------------------

void updateScrollRanges(int width, int height)
{
    int lines = win.lineHeight > 0 ? height / win.lineHeight : 0;
    win.vmax = notifier.shownCount * 3 - lines - 1;
    if (win.vmax < 0)
        win.vmax = 0;
    if (win.vpos > win.vmax)
        win.vpos = win.vmax;
    win.hmax = win.charWidth > 0 ? (HEADER_TEXT_COLUMNS * win.charWidth - width) / win.charWidth : 0;
    if (win.hmax < 0)
        win.hmax = 0;
    if (win.hpos > win.hmax)
        win.hpos = win.hmax;
    SetScrollRange(win.mainWindow, SB_VERT, 0, win.vmax, FALSE);
    SetScrollPos(win.mainWindow, SB_VERT, win.vpos, TRUE);
    SetScrollRange(win.mainWindow, SB_HORZ, 0, win.hmax, FALSE);
    SetScrollPos(win.mainWindow, SB_HORZ, win.hpos, TRUE);
}

// The character set whose fonts hold the first character the display font
// lacks: the platform's font mapper then picks a font that has the script.
static BYTE scriptCharset(WCHAR c)
{
    if (c >= 0x0370 && c <= 0x03FF)
        return GREEK_CHARSET;
    if (c >= 0x0400 && c <= 0x052F)
        return RUSSIAN_CHARSET;
    if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) || (c >= 0xAC00 && c <= 0xD7AF))
        return HANGUL_CHARSET;
    if (c >= 0x3040 && c <= 0x30FF)
        return SHIFTJIS_CHARSET;
    if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF))
        return GetACP() == 936 ? GB2312_CHARSET : GetACP() == 950 ? CHINESEBIG5_CHARSET : SHIFTJIS_CHARSET;
    if (c >= 0x0E00 && c <= 0x0E7F)
        return THAI_CHARSET;
    if (c >= 0x0590 && c <= 0x05FF)
        return HEBREW_CHARSET;
    if (c >= 0x0600 && c <= 0x06FF)
        return ARABIC_CHARSET;
    return DEFAULT_CHARSET;
}

// Fonts for scripts the display font cannot show, made once per character set
// at the display font's height and kept until the window goes.
static HFONT scriptFont(HDC dc, BYTE charset)
{
    for (int i = 0; i < win.scriptFontCount; i++)
        if (win.scriptFonts[i].charset == charset)
            return win.scriptFonts[i].font;
    if (win.scriptFontCount >= SCRIPT_FONT_SLOTS)
        return NULL;
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    HFONT font =
        CreateFontW(metrics.tmHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_TT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, NULL);
    win.scriptFonts[win.scriptFontCount].charset = charset;
    win.scriptFonts[win.scriptFontCount].font = font;
    win.scriptFontCount++;
    return font;
}

void releaseScriptFonts(void)
{
    for (int i = 0; i < win.scriptFontCount; i++)
        if (win.scriptFonts[i].font)
            DeleteObject(win.scriptFonts[i].font);
    win.scriptFontCount = 0;
}

// One header text in its own script. When the display font lacks one of its
// characters, the whole text is drawn with a font for that script.
static void drawHeaderText(HDC dc, int x, int y, const MessageHeader *header, HeaderField field)
{
    WideChar text[HEADER_TEXT_SIZE];
    int n = (int)headerWideText(header, field, text);
    if (n == 0)
        return;
    const WCHAR *wide = (const WCHAR *)text;
    WORD glyphs[HEADER_TEXT_SIZE];
    HFONT font = NULL;
    if (GetGlyphIndicesW(dc, wide, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == (DWORD)n) {
        for (int i = 0; i < n && !font; i++)
            if (glyphs[i] == 0xFFFF && wide[i] > 0x7F)
                font = scriptFont(dc, scriptCharset(wide[i]));
    }
    HGDIOBJ old = font ? SelectObject(dc, font) : NULL;
    TextOutW(dc, x, y, wide, n);
    if (old)
        SelectObject(dc, old);
}

void drawHeaders(HDC dc, const RECT *paint, int vpos, int hpos)
{
    if (!mail.shownHeaders || win.lineHeight <= 0)
        return;
    HGDIOBJ oldFont = win.headerFont ? SelectObject(dc, win.headerFont) : NULL;
    SetBkMode(dc, TRANSPARENT);
    int top = paint->top / win.lineHeight;
    int bottom = paint->bottom / win.lineHeight;
    int first = (top + vpos) / 3;
    if (first < 0)
        first = 0;
    int end = (bottom + vpos) / 3 + 1;
    if (end > notifier.shownCount)
        end = notifier.shownCount;
    int x = win.charWidth - hpos * win.charWidth;
    int y = (top - (top + vpos) % 3) * win.lineHeight;
    const uint32_t *colours = config.settings.colors;
    for (int i = first; i < end; i++) {
        const MessageHeader &header = mail.shownHeaders[i];
        SetTextColor(dc, colours[COLOR_FROM_TEXT]);
        drawHeaderText(dc, x, y, &header, FIELD_FROM);
        SetTextColor(dc, colours[COLOR_SUBJECT_TEXT]);
        drawHeaderText(dc, x, y + win.lineHeight, &header, FIELD_SUBJECT);
        y += 3 * win.lineHeight;
    }
    if (oldFont)
        SelectObject(dc, oldFont);
}

static void fillClient(HDC dc, COLORREF colour)
{
    RECT client;
    GetClientRect(win.mainWindow, &client);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
}

void paintMainWindow(HDC dc, const RECT *paint)
{
    const uint32_t *colours = config.settings.colors;
    if (!headersMode()) {
        SetScrollRange(win.mainWindow, SB_VERT, 0, 0, FALSE);
        SetScrollRange(win.mainWindow, SB_HORZ, 0, 0, FALSE);
        bool haveMail = win.classIcon == win.newMailIcon;
        fillClient(dc, colours[haveMail ? COLOR_HAVE_MAIL_WINDOW : COLOR_NO_MAIL_WINDOW]);
        drawPicture(dc, win.currentBitmap);
        return;
    }
    if (notifier.layoutDirty || !IsIconic(win.mainWindow)) {
        RECT client;
        GetClientRect(win.mainWindow, &client);
        updateScrollRanges(client.right, client.bottom);
        notifier.layoutDirty = false;
    }
    fillClient(dc, colours[COLOR_HEADERS_BACKGROUND]);
    drawHeaders(dc, paint, win.vpos, win.hpos);
}

// --- Scrolling -------------------------------------------------------------------------

static int clampStep(int step, int position, int maximum)
{
    if (position + step < 0)
        step = -position;
    if (position + step > maximum)
        step = maximum - position;
    return step;
}

void scrollVertical(int request, int thumb)
{
    RECT client;
    GetClientRect(win.mainWindow, &client);
    int page = win.lineHeight > 0 ? client.bottom / win.lineHeight : 1;
    if (page < 1)
        page = 1;
    int step;
    switch (request) {
    case SB_LINEUP: step = -1; break;
    case SB_LINEDOWN: step = 1; break;
    case SB_PAGEUP: step = -page; break;
    case SB_PAGEDOWN: step = page; break;
    case SB_THUMBTRACK: step = thumb - win.vpos; break;
    case SB_TOP: step = -win.vpos; break;
    case SB_BOTTOM: step = win.vmax - win.vpos; break;
    default: step = 0; break;
    }
    step = clampStep(step, win.vpos, win.vmax);
    if (step == 0)
        return;
    win.vpos += step;
    ScrollWindow(win.mainWindow, 0, -step * win.lineHeight, NULL, NULL);
    SetScrollPos(win.mainWindow, SB_VERT, win.vpos, TRUE);
    UpdateWindow(win.mainWindow);
}

void scrollHorizontal(int request, int thumb)
{
    int step;
    switch (request) {
    case SB_LINELEFT: step = -1; break;
    case SB_LINERIGHT: step = 1; break;
    case SB_PAGELEFT: step = -8; break;
    case SB_PAGERIGHT: step = 8; break;
    case SB_THUMBPOSITION: step = thumb - win.hpos; break;
    default: step = 0; break;
    }
    step = clampStep(step, win.hpos, win.hmax);
    if (step == 0)
        return;
    win.hpos += step;
    ScrollWindow(win.mainWindow, -step * win.charWidth, 0, NULL, NULL);
    SetScrollPos(win.mainWindow, SB_HORZ, win.hpos, TRUE);
}

// --- Notification-area icon --------------------------------------------------------------

static void notifyShell(DWORD operation)
{
    NOTIFYICONDATAW data;
    memset(&data, 0, sizeof data);
    // The first layout of the record is understood by every shell version.
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = win.mainWindow;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = win.tray.icon;
    if (MultiByteToWideChar(CP_ACP, 0, win.tray.tip, -1, data.szTip, TRAY_TIP_SIZE) <= 0)
        data.szTip[0] = 0;
    data.szTip[TRAY_TIP_SIZE - 1] = 0;
    Shell_NotifyIconW(operation, &data);
}

// --- New-mail balloon --------------------------------------------------------------------

namespace
{

// Appends text to a wide buffer of size units, cut between characters.
void appendWide(WCHAR *target, size_t size, const WCHAR *text)
{
    size_t n = wcslen(target);
    for (; *text && n + 1 < size; text++) {
        if (*text >= 0xD800 && *text <= 0xDBFF && n + 2 >= size)
            break;
        target[n++] = *text;
    }
    target[n] = 0;
}

} // namespace

// An ANSI text into a wide field of the balloon, cut to its room.
static void copyWideTitle(WCHAR *target, size_t size, const char *text)
{
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, target, (int)size) <= 0) {
        // Too long for the room: the part that fits.
        target[0] = 0;
        int n = MultiByteToWideChar(CP_ACP, 0, text, (int)strnlen(text, size - 1), target, (int)size - 1);
        target[n > 0 ? n : 0] = 0;
    }
    target[size - 1] = 0;
}

void formatBalloon(WCHAR *title, size_t titleSize, WCHAR *text, size_t textSize)
{
    int count = notifier.newCount > 0 ? notifier.newCount : 1;
    char heading[64];
    formatText(heading, sizeof heading, count == 1 ? "%d new message" : "%d new messages", count);
    MultiByteToWideChar(CP_ACP, 0, heading, -1, title, (int)titleSize);
    title[titleSize - 1] = 0;
    text[0] = 0;

    // The newest first, whatever order the list is shown in.
    int order[HEADER_SLOTS];
    int shown = notifier.shownCount < HEADER_SLOTS ? notifier.shownCount : HEADER_SLOTS;
    for (int i = 0; i < shown; i++)
        order[i] = i;
    std::sort(order, order + shown, [](int a, int b) {
        return compareNewestFirst(&mail.shownHeaders[a], &mail.shownHeaders[b]) < 0;
    });
    int listed = shown < count ? shown : count;
    if (listed > BALLOON_MESSAGES)
        listed = BALLOON_MESSAGES;
    for (int i = 0; i < listed; i++) {
        WideChar from[HEADER_TEXT_SIZE], subject[HEADER_TEXT_SIZE];
        headerWideText(&mail.shownHeaders[order[i]], FIELD_FROM, from);
        headerWideText(&mail.shownHeaders[order[i]], FIELD_SUBJECT, subject);
        if (i > 0)
            appendWide(text, textSize, L"\n");
        appendWide(text, textSize, (const WCHAR *)from);
        appendWide(text, textSize, L": ");
        appendWide(text, textSize, (const WCHAR *)subject);
    }
}

// The balloon needs the second layout; a shell that does not know it refuses
// the call, and there is then simply no balloon.
static void balloonData(NOTIFYICONDATAW *data, DWORD icon)
{
    memset(data, 0, sizeof *data);
    data->cbSize = NOTIFYICONDATAW_V2_SIZE;
    data->hWnd = win.mainWindow;
    data->uID = TRAY_ICON_ID;
    data->uFlags = NIF_INFO;
    data->dwInfoFlags = icon;
    data->uTimeout = 10000;
}

void showBalloon(void)
{
    if (!win.newShell || !win.tray.added || !config.settings.Balloon)
        return;
    NOTIFYICONDATAW data;
    balloonData(&data, NIIF_INFO);
    formatBalloon(data.szInfoTitle, sizeof data.szInfoTitle / sizeof *data.szInfoTitle, data.szInfo,
                  sizeof data.szInfo / sizeof *data.szInfo);
    win.balloonShown = Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// A notice needs no new mail and no Balloon setting: it says why the mail
// cannot be checked ("Sign-in needed ..."), which the icon alone cannot.
void showNoticeBalloon(const char *text)
{
    if (!win.newShell || !win.tray.added)
        return;
    NOTIFYICONDATAW data;
    balloonData(&data, NIIF_WARNING);
    copyWideTitle(data.szInfoTitle, sizeof data.szInfoTitle / sizeof *data.szInfoTitle, "Pelimbo");
    copyWideTitle(data.szInfo, sizeof data.szInfo / sizeof *data.szInfo, text);
    win.balloonShown = Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void trayIcon(DWORD operation, HICON icon)
{
    if (!win.mainWindow)
        return;
    if (operation == NIM_MODIFY && !win.tray.added)
        return;
    win.tray.icon = icon;
    copyText(win.tray.tip, statusText());
    notifyShell(operation);
    if (operation == NIM_ADD)
        win.tray.added = true;
}

void trayTip(void)
{
    if (!win.tray.added)
        return;
    copyText(win.tray.tip, statusText());
    notifyShell(NIM_MODIFY);
}

void trayRemove(void)
{
    if (!win.tray.added)
        return;
    NOTIFYICONDATAW data;
    memset(&data, 0, sizeof data);
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = win.mainWindow;
    data.uID = TRAY_ICON_ID;
    Shell_NotifyIconW(NIM_DELETE, &data);
    win.tray.added = false;
}

void updateTrayIcon(void)
{
    trayIcon(NIM_MODIFY, win.classIcon == win.newMailIcon ? win.smallNewMailIcon : win.smallNoMailIcon);
}

// --- Hidden minimised icon (old shell) ----------------------------------------------------

static BOOL CALLBACK GetIconTitleWindowProc(HWND window, LPARAM parameter)
{
    char name[16];
    if (GetClassNameA(window, name, sizeof name) && strcmp(name, "#32772") == 0
        && (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE) == win.instance) {
        win.iconTitleWindow = window;
        return FALSE;
    }
    return TRUE;
}

void hideIcon(void)
{
    if (win.newShell)
        return;
    win.iconTitleHidden = true;
    SetWindowTextA(win.mainWindow, " ");
    showWindowPlaced(SW_HIDE);
    if (!win.iconTitleWindow)
        EnumChildWindows(GetDesktopWindow(), GetIconTitleWindowProc, 0);
    if (win.iconTitleWindow)
        ShowWindow(win.iconTitleWindow, SW_HIDE);
}

void revealIcon(void)
{
    win.iconTitleHidden = false;
    setCaption(statusText());
    ShowWindow(win.mainWindow, SW_SHOWNA);
}

// --- Caption, status, z-order and class attributes -------------------------------------------

void setCaption(const char *text)
{
    if (!win.mainWindow)
        return;
    SetWindowTextA(win.mainWindow, text);
    InvalidateRect(win.mainWindow, NULL, TRUE);
    UpdateWindow(win.mainWindow);
}

void refreshCaption(void)
{
    if (win.minimised || !headersMode())
        setCaption(statusText());
    else
        setCaption(captionText());
}

void refreshStatus(void)
{
    if (!win.mainWindow)
        return;
    if (win.newShell) {
        refreshCaption();
        trayTip();
    } else if (!win.iconTitleHidden) {
        refreshCaption();
    }
}

void setTopmost(bool topmost)
{
    SetWindowPos(win.mainWindow, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void setClassIcon(HICON icon)
{
    win.classIcon = icon;
    if (win.mainWindow)
        SetClassLongPtrA(win.mainWindow, GCLP_HICON, (LONG_PTR)icon);
    if (win.newShell && win.ownerWindow)
        SetClassLongPtrA(win.ownerWindow, GCLP_HICON, (LONG_PTR)icon);
}

void setBackgroundColour(COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (win.mainWindow)
        SetClassLongPtrA(win.mainWindow, GCLP_HBRBACKGROUND, (LONG_PTR)brush);
    if (win.backgroundBrush)
        DeleteObject(win.backgroundBrush);
    win.backgroundBrush = brush;
}
