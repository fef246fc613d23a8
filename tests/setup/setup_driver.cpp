#include "tests/setup/setup_driver.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "setup/dosetup.h"

std::vector<int> SetupLibrary::helpRequests;

// --- Scratch files ---------------------------------------------------------------------------------

ScratchDir::ScratchDir()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[MAX_PATH];
    static int serial;
    snprintf(name, sizeof name, "%spelsetup-%lu-%d", temp, GetCurrentProcessId(), ++serial);
    CreateDirectoryA(name, NULL);
    dir_ = name;
}

static void removeTree(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

ScratchDir::~ScratchDir()
{
    removeTree(dir_);
}

void ScratchDir::write(const std::string &name, const std::string &text) const
{
    FILE *f = fopen(file(name).c_str(), "wb");
    if (!f)
        return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

std::string ScratchDir::read(const std::string &name) const
{
    std::string text;
    FILE *f = fopen(file(name).c_str(), "rb");
    if (!f)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

bool ScratchDir::exists(const std::string &name) const
{
    return GetFileAttributesA(file(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// --- The library -----------------------------------------------------------------------------------

static void recordHelp(const char *, int context)
{
    SetupLibrary::helpRequests.push_back(context);
}

SetupLibrary::SetupLibrary()
{
    // The library lies beside the notifier in the build's bin folder; under
    // Wine the build tree is reached through drive Z:.
    SetDllDirectoryA(setupLibraryFolder().c_str());
    module_ = LoadLibraryA(PELSETUP_LIBRARY_NAME);
    SetDllDirectoryA(NULL);
    if (!module_)
        return;
    doSetup_ = GetProcAddress(module_, PELSETUP_ENTRY_NAME);
    typedef void (*Setter)(void (*)(const char *, int));
    Setter setter = (Setter)(void *)GetProcAddress(module_, "setSetupHelpOpener");
    if (setter)
        setter(recordHelp);
    helpRequests.clear();
}

SetupLibrary::~SetupLibrary()
{
    if (module_)
        FreeLibrary(module_);
}

namespace
{

struct Script {
    const std::vector<Step> *steps;
    size_t next;
    bool inStep;
    bool leftOpen;
    int idleTicks;
};
Script *script;

BOOL CALLBACK findSetupWindow(HWND window, LPARAM found)
{
    char title[32] = "";
    GetWindowTextA(window, title, sizeof title);
    if (strcmp(title, "Pelimbo Setup") != 0)
        return TRUE;
    *(HWND *)found = window;
    return FALSE;
}

// Only this thread's dialog: other test programs may have theirs on the same display.
HWND findDialog(void)
{
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), findSetupWindow, (LPARAM)&found);
    return found;
}

VOID CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD)
{
    // A step may show a message box whose own loop ticks again: one at a time.
    if (!script || script->inStep)
        return;
    // The dialog shows itself once its queue is idle: act only on what the user sees.
    HWND dialog = findDialog();
    if (!dialog || !IsWindowVisible(dialog))
        return;
    script->inStep = true;
    // Other test programs share the display and may have taken the activation;
    // the user acts on the window in front, so bring it back first.
    if (GetForegroundWindow() != dialog)
        SetForegroundWindow(dialog);
    if (script->next < script->steps->size()) {
        (*script->steps)[script->next++](dialog);
    } else if (++script->idleTicks > 2) {
        // The steps are done and nobody closed the dialog.
        script->leftOpen = true;
        pressCancel(dialog);
    }
    script->inStep = false;
}

} // namespace

int runScripted(const std::vector<Step> &steps, const std::function<int()> &body, bool *leftOpen)
{
    Script current = {&steps, 0, false, false, 0};
    script = &current;
    UINT_PTR timer = SetTimer(NULL, 0, 15, onTick);
    int result = body();
    KillTimer(NULL, timer);
    script = NULL;
    if (leftOpen)
        *leftOpen = current.leftOpen || current.next < steps.size();
    return result;
}

int SetupLibrary::run(const std::string &ini, const std::vector<Step> &steps,
                      const std::string &startDirectory)
{
    if (!loaded())
        return -1;
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string start = startDirectory.empty() ? cwd : startDirectory;
    int drive = (start.size() > 1 && start[1] == ':') ? (toupper((unsigned char)start[0]) - 'A') : 2;
    HICON noMail = LoadIconA(NULL, (LPCSTR)IDI_INFORMATION);
    HICON newMail = LoadIconA(NULL, (LPCSTR)IDI_WARNING);
    DoSetupProc doSetup = (DoSetupProc)(void *)doSetup_;
    return runScripted(
        steps,
        [&] {
            return doSetup(NULL, GetModuleHandleA(NULL), drive, start.c_str(), "C:\\pelimbo\\PELIMBO.HTM",
                           ini.c_str(), noMail, newMail);
        },
        &leftOpen);
}

std::string setupLibraryFolder(void)
{
    std::string bin = "Z:" PELSETUP_BIN_DIR;
    for (char &c : bin)
        if (c == '/')
            c = '\\';
    return bin;
}

// --- Acting on the dialog -------------------------------------------------------------------------

HWND pageOf(HWND dialog, const char *label)
{
    return FindWindowExA(dialog, NULL, "#32770", label);
}

HWND control(HWND dialog, const char *label, int id)
{
    return GetDlgItem(pageOf(dialog, label), id);
}

void click(HWND dialog, const char *label, int id)
{
    SendMessageA(control(dialog, label, id), BM_CLICK, 0, 0);
}

void setText(HWND dialog, const char *label, int id, const char *value)
{
    SetWindowTextA(control(dialog, label, id), value);
}

std::string text(HWND dialog, const char *label, int id)
{
    char buffer[2048] = "";
    GetWindowTextA(control(dialog, label, id), buffer, sizeof buffer);
    return buffer;
}

bool checked(HWND dialog, const char *label, int id)
{
    return SendMessageA(control(dialog, label, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool enabled(HWND dialog, const char *label, int id)
{
    return IsWindowEnabled(control(dialog, label, id)) != FALSE;
}

bool visible(HWND dialog, const char *label, int id)
{
    return (GetWindowLongA(control(dialog, label, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void selectListEntry(HWND dialog, const char *label, int id, int index)
{
    HWND list = control(dialog, label, id);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(pageOf(dialog, label), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), (LPARAM)list);
}

void selectComboEntry(HWND dialog, const char *label, int id, int index)
{
    HWND combo = control(dialog, label, id);
    SendMessageA(combo, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(pageOf(dialog, label), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)combo);
}

int comboSelection(HWND dialog, const char *label, int id)
{
    return (int)SendMessageA(control(dialog, label, id), CB_GETCURSEL, 0, 0);
}

int listSelection(HWND dialog, const char *label, int id)
{
    return (int)SendMessageA(control(dialog, label, id), LB_GETCURSEL, 0, 0);
}

std::vector<std::string> listTexts(HWND dialog, const char *label, int id)
{
    std::vector<std::string> result;
    HWND list = control(dialog, label, id);
    int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        char buffer[512] = "";
        SendMessageA(list, LB_GETTEXT, (WPARAM)i, (LPARAM)buffer);
        result.push_back(buffer);
    }
    return result;
}

std::vector<std::string> comboTexts(HWND dialog, const char *label, int id)
{
    std::vector<std::string> result;
    HWND combo = control(dialog, label, id);
    int count = (int)SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        char buffer[512] = "";
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)i, (LPARAM)buffer);
        result.push_back(buffer);
    }
    return result;
}

void scroll(HWND dialog, int barId, int action, int position)
{
    HWND page = pageOf(dialog, "Colors");
    SendMessageA(page, WM_HSCROLL, MAKEWPARAM(action, position), (LPARAM)GetDlgItem(page, barId));
}

int scrollPos(HWND dialog, int barId)
{
    return GetScrollPos(control(dialog, "Colors", barId), SB_CTL);
}

void pressOk(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
}

void pressCancel(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
}

static HWND tabsOf(HWND dialog)
{
    return GetDlgItem(dialog, 120);
}

static std::string tabLabel(HWND tabs, int index)
{
    char buffer[64] = "";
    TCITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessageA(tabs, TCM_GETITEMA, (WPARAM)index, (LPARAM)&item);
    return buffer;
}

std::vector<std::string> tabLabels(HWND dialog)
{
    std::vector<std::string> labels;
    HWND tabs = tabsOf(dialog);
    int count = (int)SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; i++)
        labels.push_back(tabLabel(tabs, i));
    return labels;
}

std::string selectedTab(HWND dialog)
{
    HWND tabs = tabsOf(dialog);
    int selected = (int)SendMessageA(tabs, TCM_GETCURSEL, 0, 0);
    return selected < 0 ? "" : tabLabel(tabs, selected);
}

void selectTab(HWND dialog, const char *label)
{
    HWND tabs = tabsOf(dialog);
    std::vector<std::string> labels = tabLabels(dialog);
    for (size_t i = 0; i < labels.size(); i++) {
        if (labels[i] != label)
            continue;
        SendMessageA(tabs, TCM_SETCURSEL, (WPARAM)i, 0);
        NMHDR header = {tabs, 120, (UINT)TCN_SELCHANGE};
        SendMessageA(dialog, WM_NOTIFY, 120, (LPARAM)&header);
    }
}

std::string shownPage(HWND dialog)
{
    std::string shown;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[16] = "";
        GetClassNameA(child, name, sizeof name);
        if (strcmp(name, "#32770") == 0 && IsWindowVisible(child)) {
            char title[64] = "";
            GetWindowTextA(child, title, sizeof title);
            shown += shown.empty() ? title : std::string("+") + title;
        }
    }
    return shown;
}

std::pair<std::string, int> focusedControl(HWND dialog)
{
    HWND focus = GetFocus();
    while (focus) {
        HWND parent = GetParent(focus);
        if (!parent)
            break;
        if (GetParent(parent) == dialog) {
            char title[64] = "";
            GetWindowTextA(parent, title, sizeof title);
            return {title, GetDlgCtrlID(focus)};
        }
        if (parent == dialog)
            return {"", GetDlgCtrlID(focus)};
        focus = parent;
    }
    return {"", 0};
}

void postKey(HWND dialog, UINT key, bool control)
{
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_CONTROL] = control ? 0x80 : 0;
    state[VK_LCONTROL] = control ? 0x80 : 0;
    SetKeyboardState(state);
    HWND target = GetFocus();
    if (!target)
        target = tabsOf(dialog);
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, (LPARAM)0xC0000001);
}

// --- INI files -----------------------------------------------------------------------------------

static std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        result.push_back(line);
        start = end + 1;
    }
    return result;
}

static std::vector<std::pair<std::string, std::string>> sectionEntries(const std::string &iniText,
                                                                       const std::string &section)
{
    std::vector<std::pair<std::string, std::string>> entries;
    bool inside = false;
    for (const std::string &line : lines(iniText)) {
        if (!line.empty() && line[0] == '[') {
            inside = _stricmp(line.c_str(), ("[" + section + "]").c_str()) == 0;
            continue;
        }
        if (!inside || line.empty())
            continue;
        size_t equals = line.find('=');
        entries.push_back(
            {line.substr(0, equals), equals == std::string::npos ? "" : line.substr(equals + 1)});
    }
    return entries;
}

std::vector<std::string> sectionKeys(const std::string &iniText, const std::string &section)
{
    std::vector<std::string> keys;
    for (const auto &entry : sectionEntries(iniText, section))
        keys.push_back(entry.first);
    return keys;
}

std::string iniValue(const std::string &iniText, const std::string &section, const std::string &key)
{
    for (const auto &entry : sectionEntries(iniText, section))
        if (_stricmp(entry.first.c_str(), key.c_str()) == 0)
            return entry.second;
    return "<absent>";
}

// --- Screenshots ---------------------------------------------------------------------------------

bool captureWindow(HWND window, const std::string &bmpPath)
{
    RedrawWindow(window, NULL, NULL,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // What the display shows (children included), so the window must be on top.
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);

    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    DWORD imageSize = stride * (DWORD)height;
    BITMAPFILEHEADER file;
    memset(&file, 0, sizeof file);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    FILE *f = fopen(bmpPath.c_str(), "wb");
    bool ok = f != NULL;
    if (f) {
        info.bmiHeader.biSizeImage = imageSize;
        fwrite(&file, sizeof file, 1, f);
        fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f);
        fwrite(bits, 1, imageSize, f);
        fclose(f);
    }
    DeleteObject(bitmap);
    return ok;
}
