// The pages that do not depend on the message source: "Window", "Mail
// reader", "Filters", "Colors", "Sound" and "WAVBase". The two list pages edit
// the filter and WAVBase lists in memory; OK writes them with the settings.
#include <windows.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "config/config.h"
#include "base/text.h"
#include "setup/setup.h"
#include "setup/setupids.h"

static const char SOUND_FILTERS[] = "Sound files (*.WAV)\0*.wav\0All files (*.*)\0*.*\0";

// Asks before a list entry is removed.
static bool confirmDelete(HWND page, const char *text)
{
    char question[128];
    formatText(question, sizeof question, "Delete entry for \"%.*s\"?", 60, text);
    return MessageBoxA(page, question, "Pelimbo", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

static void enableRange(HWND page, int first, int last, bool on)
{
    for (int id = first; id <= last; id++)
        enableControl(page, id, on);
}

bool fieldEmpty(HWND page, int id)
{
    return GetWindowTextLengthA(GetDlgItem(page, id)) == 0;
}

void playSoundField(HWND page, int fieldId)
{
    char text[PATH_SIZE];
    getControlText(page, fieldId, text, sizeof text);
    const char *expanded = expandEnvironment(text);
    if (!expanded || !expanded[0])
        return;
    char file[EXPANSION_SIZE];
    copyText(file, expanded);
    // Synchronous and without a fallback: a missing file plays nothing.
    PlaySoundA(file, NULL, SND_FILENAME | SND_SYNC | SND_NODEFAULT);
}

// --- Window page -------------------------------------------------------------------------------

extern "C" INT_PTR CALLBACK WinDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    const Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(page, IDC_WIN_CAPTION, EM_LIMITTEXT, CAPTION_SIZE - 2, 0);
        setControlText(page, IDC_WIN_CAPTION, s.WindowCaptionRaw);
        if (s.WindowAction <= ACTION_NONE)
            CheckRadioButton(page, IDC_WIN_TO_TOP, IDC_WIN_NO_ACTION, IDC_WIN_TO_TOP + (int)s.WindowAction);
        setChecked(page, IDC_WIN_STAY_ON_TOP, s.StayOnTop);
        setChecked(page, IDC_WIN_ICON_POSITION, s.LastIconPosition);
        setChecked(page, IDC_WIN_HIDE_ICON, s.HideIcon);
        setChecked(page, IDC_WIN_BLINK, s.BlinkIconOnPoll);
        setChecked(page, IDC_WIN_SHOW_HEADERS, s.ShowHeaders);
        setChecked(page, IDC_WIN_REVERSE, s.ReverseSort);
        setChecked(page, IDC_WIN_EXIT_MENU, s.ExitMenu);
        setChecked(page, IDC_WIN_BALLOON, s.Balloon);
        if (s.HideIcon && !setup.newShell)
            enableControl(page, IDC_WIN_BLINK, false);
        if (!s.ShowHeaders)
            enableControl(page, IDC_WIN_REVERSE, false);
        if (setup.newShell) {
            enableControl(page, IDC_WIN_ICON_POSITION, false);
            enableControl(page, IDC_WIN_HIDE_ICON, false);
        } else {
            enableControl(page, IDC_WIN_BALLOON, false); // no notification area
        }
        return FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            break;
        if (LOWORD(wParam) == IDC_WIN_HIDE_ICON) {
            enableControl(page, IDC_WIN_BLINK, !isChecked(page, IDC_WIN_HIDE_ICON));
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_WIN_SHOW_HEADERS) {
            enableControl(page, IDC_WIN_REVERSE, isChecked(page, IDC_WIN_SHOW_HEADERS));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// --- Mail reader page ------------------------------------------------------------------------

extern "C" INT_PTR CALLBACK ReaderDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(page, IDC_RD_READER, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        SendDlgItemMessageA(page, IDC_RD_START_IN, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        setControlText(page, IDC_RD_READER, s.MailReaderRaw);
        setControlText(page, IDC_RD_START_IN, s.ReaderStartDirRaw);
        setChecked(page, IDC_RD_LAUNCH, s.LaunchReader);
        setChecked(page, IDC_RD_LAUNCH_ON_MAIL, s.LaunchOnMail);
        setChecked(page, IDC_RD_MINIMIZE, s.MinimizeReader);
        setChecked(page, IDC_RD_SUSPEND, s.SuspendPoll);
        setChecked(page, IDC_RD_DETECT, s.DetectReader);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_RD_BROWSE && HIWORD(wParam) == BN_CLICKED) {
            browseForFile(page, IDC_RD_READER, s.MailReaderRaw, sizeof s.MailReaderRaw,
                          "Programs (*.EXE)\0*.exe\0PIF files (*.PIF)\0*.pif\0All files (*.*)\0*.*\0",
                          "Mail reader");
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// --- Filters page ------------------------------------------------------------------------------

static int filterSelected = -1;
static bool filterAddMode;

static void listFilterTexts(HWND page)
{
    HWND list = GetDlgItem(page, IDC_FL_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (int i = 0; i < config.filterList.count; i++)
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)config.filterList.entries[i].text);
}

static void checkInRange(HWND page, int first, int last, int value)
{
    if (value >= 0 && value <= last - first)
        CheckRadioButton(page, first, last, first + value);
    else
        for (int id = first; id <= last; id++)
            setChecked(page, id, false);
}

static void showFilterEntry(HWND page, int index)
{
    filterSelected = index;
    SendDlgItemMessageA(page, IDC_FL_LIST, LB_SETCURSEL, (WPARAM)index, 0);
    const FilterEntry &entry = config.filterList.entries[index];
    checkInRange(page, IDC_FL_IGNORE, IDC_FL_DELETE_ACTION, entry.action);
    checkInRange(page, IDC_FL_FROM, IDC_FL_EITHER, entry.match);
}

static void enableFilterEntryControls(HWND page, bool on)
{
    enableControl(page, IDC_FL_DELETE, on);
    enableRange(page, IDC_FL_IGNORE, IDC_FL_DELETE_ACTION, on);
    enableRange(page, IDC_FL_FROM, IDC_FL_EITHER, on);
}

static void setFilterAddMode(HWND page, bool on)
{
    filterAddMode = on;
    enableControl(page, IDC_FL_STRING_LABEL, !on);
    enableControl(page, IDC_FL_LIST, !on);
    enableControl(page, IDC_FL_DELETE, !on);
    enableControl(page, IDC_FL_DELETIONS, !on);
    enableControl(page, IDC_FL_CONFIRM, !on);
    enableControl(page, IDC_FL_LOG, !on);
    bool log = !on && config.settings.LogDeletes;
    enableControl(page, IDC_FL_LOG_FILE, log);
    enableControl(page, IDC_FL_LOG_BROWSE, log);
    enableRange(page, IDC_FL_NEW_LABEL, IDC_FL_DONE, on);
}

static void addFilterEntry(HWND page)
{
    char text[LIST_TEXT_MAX + 1];
    getControlText(page, IDC_FL_NEW, text, sizeof text);
    if (text[0]) {
        if (const char *refusal = listTextRefusal(text)) {
            reportSetupError(refusal);
            SetFocus(GetDlgItem(page, IDC_FL_NEW));
            return;
        }
        FilterList &list = config.filterList;
        char *copy = (char *)calloc(LIST_TEXT_MAX + 1, 1);
        FilterEntry *grown =
            copy ? (FilterEntry *)realloc(list.entries, ((size_t)list.count + 1) * sizeof *grown) : NULL;
        if (!grown) {
            free(copy);
            reportSetupError("Can't allocate memory for filter list entry");
            return;
        }
        list.entries = grown;
        copyText(copy, LIST_TEXT_MAX + 1, text);
        int action = checkedButton(page, IDC_FL_IGNORE, IDC_FL_DELETE_ACTION);
        int match = checkedButton(page, IDC_FL_FROM, IDC_FL_EITHER);
        FilterEntry &entry = list.entries[list.count++];
        entry.text = copy;
        entry.action = (uint8_t)(action < 0 ? 0 : action);
        entry.match = (uint8_t)(match < 0 ? 0 : match);
        sortFilterList(&list);
        setControlText(page, IDC_FL_NEW, "");
        listFilterTexts(page);
        setFilterAddMode(page, false);
        showFilterEntry(page, 0);
        return;
    }
    setFilterAddMode(page, false);
    if (config.filterList.count > 0 && filterSelected >= 0 && filterSelected < config.filterList.count)
        showFilterEntry(page, filterSelected);
    else if (config.filterList.count == 0)
        enableFilterEntryControls(page, false);
}

static void deleteFilterEntry(HWND page)
{
    FilterList &list = config.filterList;
    int index = (int)SendDlgItemMessageA(page, IDC_FL_LIST, LB_GETCURSEL, 0, 0);
    if (index < 0 || index >= list.count)
        return;
    if (!confirmDelete(page, list.entries[index].text))
        return;
    free(list.entries[index].text);
    memmove(&list.entries[index], &list.entries[index + 1],
            (size_t)(list.count - index - 1) * sizeof list.entries[0]);
    list.count--;
    listFilterTexts(page);
    if (list.count == 0) {
        filterSelected = -1;
        enableFilterEntryControls(page, false);
        for (int id = IDC_FL_IGNORE; id <= IDC_FL_EITHER; id++)
            setChecked(page, id, false);
        return;
    }
    showFilterEntry(page, index < list.count ? index : list.count - 1);
}

extern "C" INT_PTR CALLBACK FilterDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG:
        filterSelected = -1;
        filterAddMode = false;
        SendDlgItemMessageA(page, IDC_FL_NEW, EM_LIMITTEXT, LIST_TEXT_MAX, 0);
        SendDlgItemMessageA(page, IDC_FL_LOG_FILE, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        listFilterTexts(page);
        if (config.filterList.count > 0)
            showFilterEntry(page, 0);
        enableRange(page, IDC_FL_NEW_LABEL, IDC_FL_DONE, false);
        setChecked(page, IDC_FL_CONFIRM, s.ConfirmDeletes);
        setChecked(page, IDC_FL_LOG, s.LogDeletes);
        setControlText(page, IDC_FL_LOG_FILE, s.DeleteFile);
        enableControl(page, IDC_FL_LOG_FILE, s.LogDeletes);
        enableControl(page, IDC_FL_LOG_BROWSE, s.LogDeletes);
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_FL_LIST) {
            if (code == LBN_SELCHANGE) {
                int index = (int)SendDlgItemMessageA(page, IDC_FL_LIST, LB_GETCURSEL, 0, 0);
                if (index >= 0 && index < config.filterList.count)
                    showFilterEntry(page, index);
            }
            return TRUE;
        }
        if (code != BN_CLICKED)
            break;
        switch (id) {
        case IDC_FL_IGNORE:
        case IDC_FL_DELETE_ACTION:
            if (!filterAddMode && filterSelected >= 0 && filterSelected < config.filterList.count)
                config.filterList.entries[filterSelected].action = (uint8_t)(id - IDC_FL_IGNORE);
            return TRUE;
        case IDC_FL_FROM:
        case IDC_FL_SUBJECT:
        case IDC_FL_EITHER:
            if (!filterAddMode && filterSelected >= 0 && filterSelected < config.filterList.count)
                config.filterList.entries[filterSelected].match = (uint8_t)(id - IDC_FL_FROM);
            return TRUE;
        case IDC_FL_ADD:
            setFilterAddMode(page, true);
            CheckRadioButton(page, IDC_FL_IGNORE, IDC_FL_DELETE_ACTION, IDC_FL_IGNORE);
            CheckRadioButton(page, IDC_FL_FROM, IDC_FL_EITHER, IDC_FL_FROM);
            enableRange(page, IDC_FL_IGNORE, IDC_FL_DELETE_ACTION, true);
            enableRange(page, IDC_FL_FROM, IDC_FL_EITHER, true);
            SendDlgItemMessageA(page, IDC_FL_LIST, LB_SETCURSEL, (WPARAM)-1, 0);
            SetFocus(GetDlgItem(page, IDC_FL_NEW));
            return TRUE;
        case IDC_FL_DONE: addFilterEntry(page); return TRUE;
        case IDC_FL_DELETE: deleteFilterEntry(page); return TRUE;
        case IDC_FL_CONFIRM: s.ConfirmDeletes = isChecked(page, IDC_FL_CONFIRM); return TRUE;
        case IDC_FL_LOG:
            s.LogDeletes = isChecked(page, IDC_FL_LOG);
            enableControl(page, IDC_FL_LOG_FILE, s.LogDeletes);
            enableControl(page, IDC_FL_LOG_BROWSE, s.LogDeletes);
            return TRUE;
        case IDC_FL_LOG_BROWSE:
            browseForFile(page, IDC_FL_LOG_FILE, s.DeleteFile, sizeof s.DeleteFile,
                          "Log files (*.LOG)\0*.log\0All files (*.*)\0*.*\0", "Deletions log file");
            return TRUE;
        }
        break;
    }
    }
    return FALSE;
}

// --- Colors page -------------------------------------------------------------------------------

static const char DEFAULT_COLORS[] = "65535,0,16711680,16777215,65535";
static const char *const areaNames[COLOR_COUNT] = {
    "Headers background", "From line text", "Subject line text", "No mail window", "Have mail window",
};

struct ColorPage {
    HWND page;
    int area;
    int red, green, blue;
    HBRUSH barBrushes[3];
    WNDPROC oldProcs[3];
    // Sample geometry (pixels, client coordinates of the samples).
    int textX, fromY, subjectY, middle, charWidth, charHeight;
    int iconX, iconY;
};
static ColorPage colorPage;

static HWND sampleFor(int area)
{
    int id = area <= COLOR_SUBJECT_TEXT     ? IDC_CL_TEXT_SAMPLE
             : area == COLOR_NO_MAIL_WINDOW ? IDC_CL_NOMAIL_SAMPLE
                                            : IDC_CL_NEWMAIL_SAMPLE;
    return GetDlgItem(colorPage.page, id);
}

static void showAreaColor(void)
{
    uint32_t color = config.settings.colors[colorPage.area];
    colorPage.red = (int)(color & 0xFF);
    colorPage.green = (int)((color >> 8) & 0xFF);
    colorPage.blue = (int)((color >> 16) & 0xFF);
    SetScrollPos(GetDlgItem(colorPage.page, IDC_CL_RED), SB_CTL, colorPage.red, TRUE);
    SetScrollPos(GetDlgItem(colorPage.page, IDC_CL_GREEN), SB_CTL, colorPage.green, TRUE);
    SetScrollPos(GetDlgItem(colorPage.page, IDC_CL_BLUE), SB_CTL, colorPage.blue, TRUE);
}

static void selectArea(int area)
{
    if (area < 0 || area >= COLOR_COUNT)
        return;
    colorPage.area = area;
    SendDlgItemMessageA(colorPage.page, IDC_CL_AREA, LB_SETCURSEL, (WPARAM)area, 0);
    showAreaColor();
}

static void redrawSample(int area)
{
    InvalidateRect(sampleFor(area), NULL, TRUE);
}

static void computeSampleGeometry(void)
{
    HWND text = GetDlgItem(colorPage.page, IDC_CL_TEXT_SAMPLE);
    HDC dc = GetDC(text);
    HFONT font = (HFONT)SendMessageA(text, WM_GETFONT, 0, 0);
    HGDIOBJ old = font ? SelectObject(dc, font) : NULL;
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(text, dc);
    colorPage.charWidth = metrics.tmAveCharWidth;
    colorPage.charHeight = metrics.tmHeight;

    RECT r;
    GetClientRect(text, &r);
    r.top -= 1;
    r.right += 2;
    colorPage.textX = (r.right - r.left + 1 - 11 * colorPage.charWidth) / 2;
    colorPage.middle = (r.bottom - r.top + 1) / 2;
    colorPage.fromY = colorPage.middle - colorPage.charHeight - scaledPixels(4);
    colorPage.subjectY = r.bottom + 2 - colorPage.middle;

    GetClientRect(GetDlgItem(colorPage.page, IDC_CL_NEWMAIL_SAMPLE), &r);
    r.top -= 1;
    r.right += 2;
    // DrawIcon draws the icon at the display's icon size.
    colorPage.iconX = (r.right - r.left + 1) / 2 - GetSystemMetrics(SM_CXICON) / 2;
    colorPage.iconY = (r.bottom - r.top + 1) / 2 - GetSystemMetrics(SM_CYICON) / 2 - scaledPixels(2);
}

// Area of the text sample under a click (client coordinates).
static int textSampleArea(int x, int y)
{
    const ColorPage &c = colorPage;
    int margin = scaledPixels(4);
    if (x >= c.textX - margin && x <= c.textX + 9 * c.charWidth && y >= c.fromY - margin
        && y <= c.middle - margin)
        return COLOR_FROM_TEXT;
    if (x < c.textX - margin || x > c.textX + 11 * c.charWidth + scaledPixels(1) || y < c.subjectY - margin
        || y > c.subjectY + c.charHeight)
        return COLOR_HEADERS_BACKGROUND;
    return COLOR_SUBJECT_TEXT;
}

static void fillSample(HWND box, HDC dc, uint32_t color)
{
    RECT r;
    GetClientRect(box, &r);
    HBRUSH brush = CreateSolidBrush((COLORREF)color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

static LRESULT sampleProc(int which, HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(box, &paint);
        const uint32_t *colors = config.settings.colors;
        if (which == 0) {
            fillSample(box, dc, colors[COLOR_HEADERS_BACKGROUND]);
            HFONT font = (HFONT)SendMessageA(box, WM_GETFONT, 0, 0);
            HGDIOBJ old = font ? SelectObject(dc, font) : NULL;
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, (COLORREF)colors[COLOR_FROM_TEXT]);
            TextOutA(dc, colorPage.textX, colorPage.fromY, "From line", 9);
            SetTextColor(dc, (COLORREF)colors[COLOR_SUBJECT_TEXT]);
            TextOutA(dc, colorPage.textX, colorPage.subjectY, "Subject line", 12);
            if (old)
                SelectObject(dc, old);
        } else {
            fillSample(box, dc, colors[which == 1 ? COLOR_NO_MAIL_WINDOW : COLOR_HAVE_MAIL_WINDOW]);
            HICON icon = which == 1 ? setup.noMailIcon : setup.newMailIcon;
            if (icon)
                DrawIcon(dc, colorPage.iconX, colorPage.iconY, icon);
        }
        EndPaint(box, &paint);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
        selectArea(which == 0   ? textSampleArea(x, y)
                   : which == 1 ? COLOR_NO_MAIL_WINDOW
                                : COLOR_HAVE_MAIL_WINDOW);
        return 0;
    }
    }
    return CallWindowProcA(colorPage.oldProcs[which], box, message, wParam, lParam);
}

extern "C" LRESULT CALLBACK textBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    return sampleProc(0, box, message, wParam, lParam);
}
extern "C" LRESULT CALLBACK noMailBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    return sampleProc(1, box, message, wParam, lParam);
}
extern "C" LRESULT CALLBACK newMailBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    return sampleProc(2, box, message, wParam, lParam);
}

// Applies the scroll bars' colour to the selected area.
static void applyBarColor(void)
{
    uint32_t color =
        (uint32_t)colorPage.red + 256u * (uint32_t)colorPage.green + 65536u * (uint32_t)colorPage.blue;
    uint32_t *colors = config.settings.colors;
    if (colorPage.area == COLOR_HEADERS_BACKGROUND) {
        colors[COLOR_HEADERS_BACKGROUND] = color;
        redrawSample(COLOR_HEADERS_BACKGROUND);
        return;
    }
    HWND sample = sampleFor(colorPage.area);
    HDC dc = GetDC(sample);
    uint32_t nearest = (uint32_t)GetNearestColor(dc, (COLORREF)color) & 0xFFFFFF;
    ReleaseDC(sample, dc);
    if (nearest != colors[colorPage.area]) {
        colors[colorPage.area] = nearest;
        redrawSample(colorPage.area);
    }
}

static void scrollColor(HWND bar, int action, int thumb)
{
    int id = GetDlgCtrlID(bar);
    int *value = id == IDC_CL_RED     ? &colorPage.red
                 : id == IDC_CL_GREEN ? &colorPage.green
                 : id == IDC_CL_BLUE  ? &colorPage.blue
                                      : NULL;
    if (!value)
        return;
    int v = *value;
    switch (action) {
    case SB_LINELEFT: v -= 1; break;
    case SB_LINERIGHT: v += 1; break;
    case SB_PAGELEFT: v -= 16; break;
    case SB_PAGERIGHT: v += 16; break;
    case SB_LEFT: v = 0; break;
    case SB_RIGHT: v = 255; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: v = thumb; break;
    default: return;
    }
    if (v < 0)
        v = 0;
    if (v > 255)
        v = 255;
    *value = v;
    SetScrollPos(bar, SB_CTL, v, TRUE);
    applyBarColor();
}

extern "C" INT_PTR CALLBACK ColorDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const int bars[3] = {IDC_CL_RED, IDC_CL_GREEN, IDC_CL_BLUE};
    static const int samples[3] = {IDC_CL_TEXT_SAMPLE, IDC_CL_NOMAIL_SAMPLE, IDC_CL_NEWMAIL_SAMPLE};
    static const WNDPROC sampleProcs[3] = {textBoxProc, noMailBoxProc, newMailBoxProc};
    switch (message) {
    case WM_INITDIALOG: {
        memset(&colorPage, 0, sizeof colorPage);
        colorPage.page = page;
        colorPage.barBrushes[0] = CreateSolidBrush(RGB(255, 0, 0));
        colorPage.barBrushes[1] = CreateSolidBrush(RGB(0, 255, 0));
        colorPage.barBrushes[2] = CreateSolidBrush(RGB(0, 0, 255));
        for (int i = 0; i < COLOR_COUNT; i++)
            SendDlgItemMessageA(page, IDC_CL_AREA, LB_ADDSTRING, 0, (LPARAM)areaNames[i]);
        for (int i = 0; i < 3; i++)
            SetScrollRange(GetDlgItem(page, bars[i]), SB_CTL, 0, 255, FALSE);
        selectArea(COLOR_HEADERS_BACKGROUND);
        computeSampleGeometry();
        for (int i = 0; i < 3; i++) {
            HWND box = GetDlgItem(page, samples[i]);
            colorPage.oldProcs[i] = (WNDPROC)SetWindowLongPtrA(box, GWLP_WNDPROC, (LONG_PTR)sampleProcs[i]);
        }
        SetFocus(GetDlgItem(page, IDC_CL_AREA));
        return FALSE;
    }
    case WM_CTLCOLORSCROLLBAR: {
        int id = GetDlgCtrlID((HWND)lParam);
        for (int i = 0; i < 3; i++)
            if (id == bars[i]) {
                // Keep the brush pattern lined up with the page.
                POINT origin = {0, 0};
                MapWindowPoints(page, (HWND)lParam, &origin, 1);
                SetBrushOrgEx((HDC)wParam, origin.x, origin.y, NULL);
                return (INT_PTR)colorPage.barBrushes[i];
            }
        return FALSE;
    }
    case WM_HSCROLL: scrollColor((HWND)lParam, LOWORD(wParam), (short)HIWORD(wParam)); return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_CL_AREA && code == LBN_SELCHANGE) {
            selectArea((int)SendDlgItemMessageA(page, IDC_CL_AREA, LB_GETCURSEL, 0, 0));
            return TRUE;
        }
        if (id == IDC_CL_DEFAULTS && code == BN_CLICKED) {
            parseColorList(DEFAULT_COLORS, config.settings.colors);
            for (int i = 0; i < 3; i++)
                InvalidateRect(GetDlgItem(page, samples[i]), NULL, TRUE);
            showAreaColor();
            return TRUE;
        }
        if (id == IDC_CL_DESKTOP && code == BN_CLICKED) {
            config.settings.colors[colorPage.area] = (uint32_t)GetSysColor(COLOR_DESKTOP);
            redrawSample(colorPage.area);
            showAreaColor();
            return TRUE;
        }
        break;
    }
    case WM_DESTROY:
        for (int i = 0; i < 3; i++) {
            HWND box = GetDlgItem(page, samples[i]);
            if (box && colorPage.oldProcs[i])
                SetWindowLongPtrA(box, GWLP_WNDPROC, (LONG_PTR)colorPage.oldProcs[i]);
            colorPage.oldProcs[i] = NULL;
            if (colorPage.barBrushes[i])
                DeleteObject(colorPage.barBrushes[i]);
            colorPage.barBrushes[i] = NULL;
        }
        break;
    }
    return FALSE;
}

// --- Sound page --------------------------------------------------------------------------------

static int soundOption;
static bool soundAlarm;

static void applySoundRules(HWND page)
{
    bool file = soundOption == SOUND_CUSTOM || (soundOption == SOUND_WAVBASE && soundAlarm);
    enableRange(page, IDC_SN_FILE_LABEL, IDC_SN_BROWSE, file);
    enableControl(page, IDC_SN_TEST, file && !fieldEmpty(page, IDC_SN_FILE));
    enableControl(page, IDC_SN_ALARM, soundOption != SOUND_NONE);
    bool interval = soundAlarm && soundOption != SOUND_NONE;
    enableRange(page, IDC_SN_INTERVAL_LABEL, IDC_SN_SECONDS, interval);
}

extern "C" INT_PTR CALLBACK SoundDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG:
        soundOption = (int)s.SoundOption;
        soundAlarm = s.Alarm;
        SendDlgItemMessageA(page, IDC_SN_FILE, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        SendDlgItemMessageA(page, IDC_SN_INTERVAL, EM_LIMITTEXT, 4, 0);
        setControlText(page, IDC_SN_FILE, s.SoundFileRaw);
        if (s.SoundOption <= SOUND_NONE)
            CheckRadioButton(page, IDC_SN_BEEP, IDC_SN_NONE, IDC_SN_BEEP + soundOption);
        setChecked(page, IDC_SN_ALARM, s.Alarm);
        SetDlgItemInt(page, IDC_SN_INTERVAL, s.AlarmInterval, FALSE);
        applySoundRules(page);
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_SN_FILE && code == EN_CHANGE) {
            applySoundRules(page);
            return TRUE;
        }
        if (code != BN_CLICKED)
            break;
        if (id >= IDC_SN_BEEP && id <= IDC_SN_NONE) {
            soundOption = id - IDC_SN_BEEP;
            applySoundRules(page);
            if (soundOption == SOUND_WAVBASE)
                addTab("WAVBase");
            else
                removeTab("WAVBase");
            return TRUE;
        }
        switch (id) {
        case IDC_SN_ALARM:
            soundAlarm = isChecked(page, IDC_SN_ALARM);
            applySoundRules(page);
            return TRUE;
        case IDC_SN_BROWSE:
            browseForFile(page, IDC_SN_FILE, s.SoundFileRaw, sizeof s.SoundFileRaw, SOUND_FILTERS,
                          "Sound file");
            return TRUE;
        case IDC_SN_TEST: playSoundField(page, IDC_SN_FILE); return TRUE;
        }
        break;
    }
    }
    return FALSE;
}

// --- WAVBase page --------------------------------------------------------------------------------

static int wavSelected = -1;
static bool wavAddMode;

int selectedWavBaseEntry(void)
{
    HWND page = pageWindow(PAGE_WAVBASE);
    if (!page)
        return -1;
    return (int)SendDlgItemMessageA(page, IDC_WB_LIST, LB_GETCURSEL, 0, 0);
}

static void listWavBaseTexts(HWND page)
{
    HWND list = GetDlgItem(page, IDC_WB_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (int i = 0; i < config.wavBaseList.count; i++)
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)config.wavBaseList.entries[i].text);
}

static void showWavBaseEntry(HWND page, int index)
{
    wavSelected = index;
    SendDlgItemMessageA(page, IDC_WB_LIST, LB_SETCURSEL, (WPARAM)index, 0);
    const WavBaseEntry &entry = config.wavBaseList.entries[index];
    setControlText(page, IDC_WB_SOUND, entry.soundFile);
    checkInRange(page, IDC_WB_FROM, IDC_WB_EITHER, entry.match);
}

static void enableWavBaseEntryControls(HWND page, bool on)
{
    enableRange(page, IDC_WB_SOUND_LABEL, IDC_WB_SOUND_BROWSE, on);
    enableControl(page, IDC_WB_SOUND_TEST, on && !fieldEmpty(page, IDC_WB_SOUND));
    enableControl(page, IDC_WB_DELETE, on);
    enableRange(page, IDC_WB_MATCH_LABEL, IDC_WB_EITHER, on);
}

static void setWavBaseAddMode(HWND page, bool on)
{
    wavAddMode = on;
    enableRange(page, IDC_WB_DEFAULT_LABEL, IDC_WB_DELETE, !on);
    if (!on)
        enableControl(page, IDC_WB_DEFAULT_TEST, !fieldEmpty(page, IDC_WB_DEFAULT));
    enableRange(page, IDC_WB_NEW_LABEL, IDC_WB_DONE, on);
}

int takeEntrySoundFile(int index)
{
    HWND page = pageWindow(PAGE_WAVBASE);
    WavBaseList &list = config.wavBaseList;
    if (!page || index < 0 || index >= list.count)
        return 1;
    char field[PATH_SIZE - 1];
    getControlText(page, IDC_WB_SOUND, field, sizeof field);
    const char *expanded = expandEnvironment(field);
    char file[EXPANSION_SIZE];
    copyText(file, expanded ? expanded : "");
    if (!checkSoundFile(file))
        return 0;
    WavBaseEntry &entry = list.entries[index];
    if (compareNoCase(field, entry.soundFile ? entry.soundFile : "") != 0) {
        char *changed = (char *)calloc(LIST_SOUND_MAX + 1, 1);
        if (!changed) {
            reportSetupError("Can't allocate memory for modified sound file");
            return 0;
        }
        copyText(changed, LIST_SOUND_MAX + 1, field);
        lowerOutsideReferences(changed);
        free(entry.soundFile);
        entry.soundFile = changed;
    }
    return 1;
}

static void addWavBaseEntry(HWND page)
{
    char text[LIST_TEXT_MAX + 1];
    getControlText(page, IDC_WB_NEW, text, sizeof text);
    if (text[0]) {
        if (const char *refusal = listTextRefusal(text)) {
            reportSetupError(refusal);
            SetFocus(GetDlgItem(page, IDC_WB_NEW));
            return;
        }
        char field[LIST_SOUND_MAX + 1];
        getControlText(page, IDC_WB_SOUND, field, sizeof field);
        const char *expanded = expandEnvironment(field);
        char file[EXPANSION_SIZE];
        copyText(file, expanded ? expanded : "");
        if (!checkSoundFile(file)) {
            SetFocus(GetDlgItem(page, IDC_WB_SOUND));
            return;
        }
        WavBaseList &list = config.wavBaseList;
        char *textCopy = (char *)calloc(LIST_TEXT_MAX + 1, 1);
        char *soundCopy = (char *)calloc(LIST_SOUND_MAX + 1, 1);
        WavBaseEntry *grown =
            textCopy && soundCopy
                ? (WavBaseEntry *)realloc(list.entries, ((size_t)list.count + 1) * sizeof *grown)
                : NULL;
        if (!grown) {
            free(textCopy);
            free(soundCopy);
            reportSetupError("Can't allocate memory for WAVBase entry");
            return;
        }
        list.entries = grown;
        copyText(textCopy, LIST_TEXT_MAX + 1, text);
        copyText(soundCopy, LIST_SOUND_MAX + 1, file);
        int match = checkedButton(page, IDC_WB_FROM, IDC_WB_EITHER);
        WavBaseEntry &entry = list.entries[list.count++];
        memset(&entry, 0, sizeof entry);
        entry.text = textCopy;
        entry.soundFile = soundCopy;
        entry.match = (uint8_t)(match < 0 ? 0 : match);
        sortWavBaseList(&list);
        setControlText(page, IDC_WB_NEW, "");
        listWavBaseTexts(page);
        setWavBaseAddMode(page, false);
        showWavBaseEntry(page, 0);
        enableWavBaseEntryControls(page, true);
        return;
    }
    setWavBaseAddMode(page, false);
    if (config.wavBaseList.count > 0 && wavSelected >= 0 && wavSelected < config.wavBaseList.count) {
        showWavBaseEntry(page, wavSelected);
        enableWavBaseEntryControls(page, true);
    } else if (config.wavBaseList.count == 0) {
        setControlText(page, IDC_WB_SOUND, "");
        enableWavBaseEntryControls(page, false);
    }
}

static void deleteWavBaseEntry(HWND page)
{
    WavBaseList &list = config.wavBaseList;
    int index = (int)SendDlgItemMessageA(page, IDC_WB_LIST, LB_GETCURSEL, 0, 0);
    if (index < 0 || index >= list.count)
        return;
    if (!confirmDelete(page, list.entries[index].text))
        return;
    free(list.entries[index].text);
    free(list.entries[index].soundFile);
    memmove(&list.entries[index], &list.entries[index + 1],
            (size_t)(list.count - index - 1) * sizeof list.entries[0]);
    list.count--;
    listWavBaseTexts(page);
    if (list.count == 0) {
        wavSelected = -1;
        setControlText(page, IDC_WB_SOUND, "");
        enableWavBaseEntryControls(page, false);
        for (int id = IDC_WB_FROM; id <= IDC_WB_EITHER; id++)
            setChecked(page, id, false);
        return;
    }
    showWavBaseEntry(page, index < list.count ? index : list.count - 1);
}

static void wavBaseSelectionChanged(HWND page)
{
    int index = (int)SendDlgItemMessageA(page, IDC_WB_LIST, LB_GETCURSEL, 0, 0);
    if (wavSelected >= 0 && wavSelected < config.wavBaseList.count && !takeEntrySoundFile(wavSelected)) {
        SendDlgItemMessageA(page, IDC_WB_LIST, LB_SETCURSEL, (WPARAM)wavSelected, 0);
        SetFocus(GetDlgItem(page, IDC_WB_SOUND));
        return;
    }
    if (index >= 0 && index < config.wavBaseList.count)
        showWavBaseEntry(page, index);
}

extern "C" INT_PTR CALLBACK WavBaseDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG:
        wavSelected = -1;
        wavAddMode = false;
        SendDlgItemMessageA(page, IDC_WB_DEFAULT, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        SendDlgItemMessageA(page, IDC_WB_SOUND, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        SendDlgItemMessageA(page, IDC_WB_NEW, EM_LIMITTEXT, LIST_TEXT_MAX, 0);
        setChecked(page, IDC_WB_ONCE, s.WAVOnce);
        listWavBaseTexts(page);
        setControlText(page, IDC_WB_DEFAULT, s.WAVBaseDefaultRaw);
        if (config.wavBaseList.count > 0)
            showWavBaseEntry(page, 0);
        enableRange(page, IDC_WB_NEW_LABEL, IDC_WB_DONE, false);
        enableControl(page, IDC_WB_DEFAULT_TEST, !fieldEmpty(page, IDC_WB_DEFAULT));
        enableControl(page, IDC_WB_SOUND_TEST, !fieldEmpty(page, IDC_WB_SOUND));
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_WB_DEFAULT && code == EN_CHANGE) {
            if (!wavAddMode)
                enableControl(page, IDC_WB_DEFAULT_TEST, !fieldEmpty(page, IDC_WB_DEFAULT));
            return TRUE;
        }
        if (id == IDC_WB_SOUND && code == EN_CHANGE) {
            enableControl(page, IDC_WB_SOUND_TEST,
                          IsWindowEnabled(GetDlgItem(page, IDC_WB_SOUND)) && !fieldEmpty(page, IDC_WB_SOUND));
            return TRUE;
        }
        if (id == IDC_WB_LIST) {
            if (code == LBN_SELCHANGE)
                wavBaseSelectionChanged(page);
            return TRUE;
        }
        if (code != BN_CLICKED)
            break;
        switch (id) {
        case IDC_WB_DEFAULT_BROWSE:
            browseForFile(page, IDC_WB_DEFAULT, s.WAVBaseDefaultRaw, sizeof s.WAVBaseDefaultRaw,
                          SOUND_FILTERS, "WAVBase default");
            return TRUE;
        case IDC_WB_DEFAULT_TEST: playSoundField(page, IDC_WB_DEFAULT); return TRUE;
        case IDC_WB_SOUND_BROWSE: {
            char file[PATH_SIZE];
            browseForFile(page, IDC_WB_SOUND, file, sizeof file, SOUND_FILTERS, "WAVBase sound file");
            return TRUE;
        }
        case IDC_WB_SOUND_TEST: playSoundField(page, IDC_WB_SOUND); return TRUE;
        case IDC_WB_FROM:
        case IDC_WB_SUBJECT:
        case IDC_WB_EITHER:
            if (!wavAddMode && wavSelected >= 0 && wavSelected < config.wavBaseList.count)
                config.wavBaseList.entries[wavSelected].match = (uint8_t)(id - IDC_WB_FROM);
            return TRUE;
        case IDC_WB_ADD:
            setWavBaseAddMode(page, true);
            setControlText(page, IDC_WB_SOUND, "");
            enableRange(page, IDC_WB_SOUND_LABEL, IDC_WB_SOUND_BROWSE, true);
            enableControl(page, IDC_WB_SOUND_TEST, false);
            CheckRadioButton(page, IDC_WB_FROM, IDC_WB_EITHER, IDC_WB_FROM);
            enableRange(page, IDC_WB_MATCH_LABEL, IDC_WB_EITHER, true);
            SendDlgItemMessageA(page, IDC_WB_LIST, LB_SETCURSEL, (WPARAM)-1, 0);
            SetFocus(GetDlgItem(page, IDC_WB_NEW));
            return TRUE;
        case IDC_WB_DONE: addWavBaseEntry(page); return TRUE;
        case IDC_WB_DELETE: deleteWavBaseEntry(page); return TRUE;
        }
        break;
    }
    }
    return FALSE;
}

// Controls that act on a list entry are off while the list is empty.
void disableEmptyListControls(void)
{
    HWND filters = pageWindow(PAGE_FILTER);
    if (filters && config.filterList.count == 0)
        enableFilterEntryControls(filters, false);
    HWND wavBase = pageWindow(PAGE_WAVBASE);
    if (wavBase && config.wavBaseList.count == 0)
        enableWavBaseEntryControls(wavBase, false);
}
