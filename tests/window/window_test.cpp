// The window front end in-process: the real start-up, the real main window
// and WndProc, driven with real messages; the timers' callbacks are called
// directly. Sounds are recorded instead of played.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mail/mail.h"
#include "core/core.h"
#include "poll/pollcycle.h"
#include "notifier/window.h"
#include "tests/config/winfiles.h"
#include "tests/setup/setup_driver.h"
#include "tests/support/msgbox_capture.h"
#include "setup/setupids.h"

void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

namespace
{

std::vector<std::string> sounds;

bool recordSound(const char *file)
{
    sounds.push_back(file);
    return true;
}

void recordBeep(void)
{
    sounds.push_back("beep");
}

const char twoMessages[] = "From alice@example.org Mon Dec  7 09:12:44 2026\n"
                           "From: Alice Moreau <alice@example.org>\n"
                           "Subject: Minutes of the planning meeting\n"
                           "\n"
                           "The minutes are below.\n"
                           "\n"
                           "From builds@example.com Mon Dec  7 10:03:01 2026\n"
                           "From: Build Robot <builds@example.com>\n"
                           "Subject: nightly build passed\n"
                           "\n"
                           "All tests passed.\n"
                           "\n";

const char thirdMessage[] = "From carol@example.net Mon Dec  7 12:00:00 2026\n"
                            "From: Carol Lind <carol@example.net>\n"
                            "Subject: Lunch on Friday?\n"
                            "\n"
                            "Shall we meet at noon? There is a new place near the station.\n"
                            "\n";

std::string testDirectory()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "pelimbo-window-test";
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

UINT_PTR WINAPI refuseTimer(HWND, UINT_PTR, UINT, TIMERPROC)
{
    return 0;
}

// Reads the password prompt's text and cancels it, from a thread timer that
// runs inside the prompt's modal loop.
std::string promptSeen;

BOOL CALLBACK cancelIfPrompt(HWND window, LPARAM)
{
    if (!GetDlgItem(window, IDC_PASSWORD_PROMPT))
        return TRUE;
    char text[256] = "";
    GetDlgItemTextA(window, IDC_PASSWORD_PROMPT, text, sizeof text);
    promptSeen = text;
    SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return FALSE;
}

void CALLBACK cancelPasswordPrompt(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), cancelIfPrompt, 0);
}

void pump(int rounds = 3)
{
    for (int i = 0; i < rounds; i++) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            if (win.pollWaitDialog && IsDialogMessageA(win.pollWaitDialog, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

std::string menuText(UINT id)
{
    char text[64] = "";
    GetMenuStringA(GetSystemMenu(win.mainWindow, FALSE), id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

bool menuGrayed(UINT id)
{
    UINT state = GetMenuState(GetSystemMenu(win.mainWindow, FALSE), id, MF_BYCOMMAND);
    return state != (UINT)-1 && (state & MF_GRAYED);
}

bool menuHas(UINT id)
{
    return GetMenuState(GetSystemMenu(win.mainWindow, FALSE), id, MF_BYCOMMAND) != (UINT)-1;
}

// The ids of the items the notifier appended: from the separator before its
// first command to the end of the menu.
std::vector<int> appendedIds()
{
    HMENU menu = GetSystemMenu(win.mainWindow, FALSE);
    std::vector<int> ids;
    for (int i = 0; i < GetMenuItemCount(menu); i++)
        ids.push_back((int)GetMenuItemID(menu, i));
    for (size_t i = 0; i < ids.size(); i++)
        if (ids[i] >= MENU_POLL_NOW && ids[i] <= MENU_SIGN_IN)
            return std::vector<int>(ids.begin() + (i > 0 ? i - 1 : 0), ids.end());
    return {};
}

std::string windowText()
{
    char text[256] = "";
    GetWindowTextA(win.mainWindow, text, sizeof text);
    return text;
}

class NotifierWindow : public ::testing::Test
{
  protected:
    std::string dir = testDirectory();
    std::string ini = dir + "\\test.ini";
    std::string mbox = dir + "\\test.mbx";

    void SetUp() override
    {
        sounds.clear();
        win.playSoundFile = recordSound;
        win.beep = recordBeep;
        SetCurrentDirectoryA(dir.c_str());
        DeleteFileA(ini.c_str());
        writeFile(mbox, twoMessages);
    }

    void TearDown() override
    {
        if (win.mainWindow && IsWindow(win.mainWindow))
            DestroyWindow(win.mainWindow);
        pump();
        unregisterClasses();
        releasePictures();
    }

    void writeIni(const std::string &extra)
    {
        // The first of two equal keys counts: the test's own values come first.
        writeFile(ini, "[Pelimbo]\n" + extra + "MessageSource=0\nMailFile=" + mbox
                           + "\nPollInterval=5\nUnreadOnly=TRUE\nSoundOption=0\n");
    }

    int start(int show = SW_SHOWNOACTIVATE)
    {
        std::string arguments = "\"" + ini + "\"";
        return startNotifier(GetModuleHandleA(NULL), arguments.c_str(), show);
    }

    void command(int id)
    {
        SendMessageA(win.mainWindow, WM_SYSCOMMAND, (WPARAM)id, 0);
        pump();
    }
};

// --- Start-up refusals -----------------------------------------------------------------

// Zeros the stack the next call's frame will take, so a buffer read before it
// was written holds a known text (empty) rather than what an earlier call left.
static __attribute__((noinline)) void zeroStackBelow(void)
{
    volatile char junk[16384];
    for (size_t i = 0; i < sizeof junk; i++)
        junk[i] = 0;
}

TEST_F(NotifierWindow, ConfigurationNameErrorsEndWithCodeZeroBeforeAnyWindow)
{
    MessageBoxCapture boxes;
    EXPECT_EQ(startNotifier(GetModuleHandleA(NULL), "work*.ini", SW_SHOWNOACTIVATE), 0);
    EXPECT_EQ(startNotifier(GetModuleHandleA(NULL), "notes.txt", SW_SHOWNOACTIVATE), 0);
    EXPECT_EQ(startNotifier(GetModuleHandleA(NULL), "\"Q:\\no such\\dir\\a.ini\"", SW_SHOWNOACTIVATE), 0);
    // A name longer than any full path the program can hold is refused before
    // any of the full path is looked at.
    std::string longName(600, 'n');
    EXPECT_EQ(startNotifier(GetModuleHandleA(NULL), longName.c_str(), SW_SHOWNOACTIVATE), 0);
    EXPECT_EQ(win.mainWindow, (HWND)NULL);
    ASSERT_EQ(boxes.boxes().size(), 4u);
    EXPECT_EQ(boxes.boxes()[3].text.rfind("Invalid configuration filename:\n\n\"nnnn", 0), 0u);
    EXPECT_EQ(boxes.boxes()[0].text, "Wildcard not allowed in configuration filename:\n\nwork*.ini");
    EXPECT_EQ(boxes.boxes()[1].text, "Invalid configuration filename:\n\n\"notes.txt\"");
    EXPECT_EQ(boxes.boxes()[2].text,
              "Invalid drive or directory for configuration file:\n\n\"Q:\\no such\\dir\"");
    EXPECT_EQ(boxes.boxes()[0].caption, "Pelimbo");
    EXPECT_EQ(iniRefusalExitCode(INI_CANNOT_CREATE), 1);

    // The same name straight to the chooser over a zeroed stack: a chooser that
    // read the path the platform never wrote would see an empty name there and
    // answer with the directory message instead.
    zeroStackBelow();
    IniChoice choice;
    EXPECT_EQ(chooseIniFileName(longName.c_str(), dir.c_str(), &choice), INI_INVALID_NAME);
}

TEST_F(NotifierWindow, IniNamesWithoutExtensionOrWithTrailingDotBecomeDotIni)
{
    IniChoice choice;
    ASSERT_EQ(chooseIniFileName("work", dir.c_str(), &choice), INI_CHOSEN);
    EXPECT_EQ(std::string(choice.path), dir + "\\work.ini");
    ASSERT_EQ(chooseIniFileName("work.", dir.c_str(), &choice), INI_CHOSEN);
    EXPECT_EQ(std::string(choice.path), dir + "\\work.ini");
    EXPECT_EQ(chooseIniFileName("WORK.Ini", dir.c_str(), &choice), INI_CHOSEN);
    ASSERT_EQ(chooseIniFileName("\"my settings.ini\" extra", dir.c_str(), &choice), INI_CHOSEN);
    EXPECT_EQ(std::string(choice.path), dir + "\\my settings.ini");
    ASSERT_EQ(chooseIniFileName("my settings.ini", dir.c_str(), &choice), INI_CHOSEN);
    EXPECT_EQ(std::string(choice.path), dir + "\\my.ini");
    ASSERT_EQ(chooseIniFileName("", "C:", &choice), INI_CHOSEN);
    EXPECT_STREQ(choice.path, "C:\\PELIMBO.INI");
}

TEST_F(NotifierWindow, ExistingIniFileIsNotTruncated)
{
    writeFile(ini, "[Pelimbo]\nPollInterval=77\n");
    IniChoice choice;
    ASSERT_EQ(chooseIniFile(("\"" + ini + "\"").c_str(), dir.c_str(), &choice), INI_CHOSEN);
    std::ifstream in(ini);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "[Pelimbo]\nPollInterval=77\n");
}

TEST_F(NotifierWindow, FirstStartWithoutMailFileRunsSetupAndEndsWhenItCannotLoad)
{
    writeFile(ini, "[Pelimbo]\nMessageSource=0\n");
    MessageBoxCapture boxes;
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Unable to load PELSETUP32.DLL"}));
    EXPECT_EQ(win.mainWindow, (HWND)NULL);
}

TEST_F(NotifierWindow, RefusedTimerCancelledEndsWithCodeOneAndWritesNothing)
{
    writeIni("");
    std::string before = readFile(ini);
    MessageBoxCapture boxes;
    win.startTimer = refuseTimer;
    int code = start();
    win.startTimer = NULL;
    EXPECT_EQ(code, 1);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Too many timers in use"}));
    EXPECT_EQ(readFile(ini), before);
}

// --- Menu, captions and the tooltip -------------------------------------------------------

TEST_F(NotifierWindow, FirstPollShowsHeadersAndTheMenuOffersClear)
{
    writeIni("ShowHeaders=TRUE\nExitMenu=FALSE\n");
    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(notifier.haveMail);
    EXPECT_EQ(notifier.shownCount, 2);
    EXPECT_STREQ(mail.shownHeaders[0].from, "Alice Moreau");
    EXPECT_EQ(sounds, (std::vector<std::string>{"beep"}));
    EXPECT_TRUE(headersMode());
    EXPECT_EQ(windowText(), "Pelimbo - test.mbx");
    EXPECT_STREQ(win.tray.tip, "test.mbx");
    EXPECT_EQ(win.tray.icon, win.smallNewMailIcon);
    EXPECT_EQ(appendedIds(),
              (std::vector<int>{0, MENU_POLL_NOW, MENU_CLEAR, MENU_SETUP, MENU_HELP, MENU_ABOUT}));
    EXPECT_EQ(menuText(MENU_CLEAR), "C&lear\tAlt+F10");
    EXPECT_FALSE(menuGrayed(MENU_CLEAR));
    EXPECT_FALSE(menuGrayed(MENU_POLL_NOW));
}

TEST_F(NotifierWindow, ClearAndShowToggleTheItemWithoutSound)
{
    writeIni("ShowHeaders=TRUE\n");
    ASSERT_EQ(start(), -1);
    sounds.clear();
    command(MENU_CLEAR);
    EXPECT_FALSE(menuHas(MENU_CLEAR));
    EXPECT_EQ(menuText(MENU_SHOW), "Sh&ow\tAlt+F10");
    EXPECT_FALSE(menuGrayed(MENU_SHOW));
    EXPECT_FALSE(headersMode());
    EXPECT_EQ(win.classIcon, win.noMailIcon);
    EXPECT_EQ(windowText(), "test.mbx");
    EXPECT_EQ(win.tray.icon, win.smallNoMailIcon);

    command(MENU_SHOW);
    EXPECT_EQ(menuText(MENU_CLEAR), "C&lear\tAlt+F10");
    EXPECT_TRUE(headersMode());
    EXPECT_EQ(windowText(), "Pelimbo - test.mbx");
    EXPECT_TRUE(sounds.empty());
}

TEST_F(NotifierWindow, MailGoneGraysClearAndCaptionCountsHeaders)
{
    writeIni("WindowCaption=%n new, %n waiting\n");
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(windowText(), "2 new, 2 waiting");
    writeFile(mbox, "");
    notifier.tickCounter = 0;
    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, 0);
    EXPECT_FALSE(notifier.haveMail);
    EXPECT_TRUE(menuGrayed(MENU_CLEAR));
    EXPECT_EQ(notifier.clearItem, MENU_CLEAR);
    EXPECT_EQ(windowText(), "0 new, 0 waiting");
    EXPECT_STREQ(win.tray.tip, "0 new, 0 waiting");
}

TEST_F(NotifierWindow, LongMailFileNameIsWholeInTheCaptionAndCutOnlyInTheTooltip)
{
    std::string name = std::string(80, 'm') + ".mbx";
    writeFile(dir + "\\" + name, twoMessages);
    writeIni("MailFile=" + dir + "\\" + name + "\n");
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(windowText(), name);
    EXPECT_EQ(std::string(win.tray.tip), name.substr(0, 63));
}

TEST_F(NotifierWindow, AppendedMailNotifiesAgain)
{
    writeIni("ShowHeaders=TRUE\n");
    ASSERT_EQ(start(), -1);
    sounds.clear();
    writeFile(mbox, thirdMessage, true);
    notifier.tickCounter = 0;
    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, 0);
    EXPECT_EQ(notifier.shownCount, 3);
    EXPECT_EQ(sounds, (std::vector<std::string>{"beep"}));
}

TEST_F(NotifierWindow, ExitMenuMakesCloseMinimiseToTheNotificationArea)
{
    writeIni("ExitMenu=TRUE\n");
    ASSERT_EQ(start(), -1);
    std::vector<int> ids = appendedIds();
    ASSERT_GE(ids.size(), 4u);
    EXPECT_EQ(std::vector<int>(ids.begin(), ids.begin() + 4),
              (std::vector<int>{0, MENU_EXIT, 0, MENU_POLL_NOW}));

    command(SC_CLOSE);
    EXPECT_TRUE(IsWindow(win.mainWindow));
    EXPECT_TRUE(win.minimised);
    EXPECT_FALSE(IsWindowVisible(win.mainWindow));
    EXPECT_TRUE(menuGrayed(SC_CLOSE));
    EXPECT_TRUE(menuHas(MENU_MOVE_SUBSTITUTE));
    EXPECT_TRUE(menuGrayed(MENU_MOVE_SUBSTITUTE));
    EXPECT_FALSE(menuHas(SC_MOVE));

    command(SC_RESTORE);
    EXPECT_FALSE(win.minimised);
    EXPECT_TRUE(IsWindowVisible(win.mainWindow));
    EXPECT_FALSE(menuGrayed(SC_CLOSE));
    EXPECT_TRUE(menuHas(SC_MOVE));
    EXPECT_FALSE(menuHas(MENU_MOVE_SUBSTITUTE));

    command(MENU_EXIT);
    EXPECT_FALSE(IsWindow(win.mainWindow));
}

TEST_F(NotifierWindow, WithoutExitMenuCloseEndsTheProgramAndSavesGeometry)
{
    writeIni("ExitMenu=FALSE\nLastIconPosition=TRUE\nIconPosition=33,44\n");
    ASSERT_EQ(start(), -1);
    EXPECT_FALSE(menuHas(MENU_EXIT));
    RECT rect;
    GetWindowRect(win.mainWindow, &rect);
    command(SC_CLOSE);
    EXPECT_FALSE(IsWindow(win.mainWindow));
    char value[64];
    GetPrivateProfileStringA("Pelimbo", "Position", "", value, sizeof value, ini.c_str());
    EXPECT_EQ(std::string(value), std::to_string(rect.left) + "," + std::to_string(rect.top));
    GetPrivateProfileStringA("Pelimbo", "NoHeaderSize", "", value, sizeof value, ini.c_str());
    EXPECT_EQ(std::string(value),
              std::to_string(rect.right - rect.left + 1) + "," + std::to_string(rect.bottom - rect.top + 1));
    // Never minimised in this run: the stored icon position is kept.
    GetPrivateProfileStringA("Pelimbo", "IconPosition", "", value, sizeof value, ini.c_str());
    EXPECT_STREQ(value, "33,44");
}

TEST_F(NotifierWindow, PasswordPromptNamesTheExpandedLoginAsItIs)
{
    writeIni("");
    ASSERT_EQ(start(), -1);
    // An expansion that yields a "$" is not expanded a second time.
    copyText(config.settings.Login, "ann$x");
    MessageBoxCapture boxes;
    promptSeen.clear();
    UINT_PTR timer = SetTimer(NULL, 0, 20, cancelPasswordPrompt);
    EXPECT_FALSE(promptPassword(PASSWORD_LOGIN));
    KillTimer(NULL, timer);
    EXPECT_EQ(promptSeen, "Enter password for ann$x:");
    EXPECT_TRUE(boxes.texts().empty());
}

// With OAuth2 the menu offers "Sign &in..." (after "Pass&word..."), no
// password is asked for at start, and a poll without a stored sign-in says
// so once, in a box and in the balloon, however many polls follow. A sign-in
// chosen during a poll waits for its end.
TEST_F(NotifierWindow, OAuthOffersSignInAndSaysOnceThatOneIsNeeded)
{
    MessageBoxCapture boxes;
    writeFile(ini, "[Pelimbo]\nMessageSource=7\nLogin=ann@example.org\nMailHost=127.0.0.1\nSecurity=2\n"
                   "Auth=1\nOAuthProvider=2\nOAuthClientId=id\nPasswordPrompt=TRUE\nPollInterval=5\n");
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(appendedIds(), (std::vector<int>{0, MENU_POLL_NOW, MENU_CLEAR, MENU_SETUP, MENU_PASSWORD,
                                               MENU_SIGN_IN, MENU_HELP, MENU_ABOUT}));
    EXPECT_EQ(menuText(MENU_SIGN_IN), "Sign &in...");
    const std::string needed = "Sign-in needed for ann@example.org: choose Sign in... from the menu";
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{needed})) << "and no password prompt";
    EXPECT_TRUE(win.balloonShown);
    EXPECT_TRUE(notifier.pollFailed);

    notifier.tickCounter = 0;
    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, 0);
    EXPECT_EQ(boxes.texts().size(), 1u) << "once per outage";

    notifier.pollInProgress = true;
    command(MENU_SIGN_IN);
    EXPECT_EQ(notifier.pendingCommand, PENDING_SIGN_IN);
    EXPECT_NE(win.pollWaitDialog, (HWND)NULL);
    notifier.pendingCommand = PENDING_NONE; // the browser sign-in itself is the OAuth tests'
    notifier.pollInProgress = false;
    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, 0);
    EXPECT_EQ(win.pollWaitDialog, (HWND)NULL);
}

// --- Commands that wait for the poll --------------------------------------------------------

TEST_F(NotifierWindow, ExitDuringAPollWaitsForItsEnd)
{
    writeIni("");
    ASSERT_EQ(start(), -1);
    notifier.pollInProgress = true;
    command(MENU_EXIT);
    EXPECT_TRUE(IsWindow(win.mainWindow));
    EXPECT_EQ(notifier.pendingCommand, PENDING_EXIT);
    ASSERT_NE(win.pollWaitDialog, (HWND)NULL);
    EXPECT_TRUE(menuGrayed(MENU_SETUP));
    EXPECT_TRUE(menuGrayed(MENU_ABOUT));

    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, 0); // still polling
    EXPECT_TRUE(IsWindow(win.mainWindow));
    notifier.pollInProgress = false;
    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, 0);
    EXPECT_EQ(win.pollWaitDialog, (HWND)NULL);
    pump();
    EXPECT_FALSE(IsWindow(win.mainWindow));
}

TEST_F(NotifierWindow, AboutDuringAPollIsParkedAndSetupDoesNotOverwriteIt)
{
    writeIni("");
    ASSERT_EQ(start(), -1);
    notifier.pollInProgress = true;
    command(MENU_ABOUT);
    EXPECT_EQ(notifier.pendingCommand, PENDING_ABOUT);
    EXPECT_FALSE(notifier.modalOpen);
    command(MENU_SETUP);
    EXPECT_EQ(notifier.pendingCommand, PENDING_ABOUT);
    notifier.pollInProgress = false;
    TimerProc(win.mainWindow, WM_TIMER, POLL_TIMER_ID, 0);
    EXPECT_EQ(notifier.pendingCommand, PENDING_NONE);
    EXPECT_FALSE(menuGrayed(MENU_SETUP));
    EXPECT_FALSE(menuGrayed(MENU_ABOUT));
    MSG posted;
    ASSERT_TRUE(PeekMessageA(&posted, win.mainWindow, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    EXPECT_EQ(posted.wParam, (WPARAM)MENU_ABOUT);
}

// --- Alarm and sounds -----------------------------------------------------------------------------

TEST_F(NotifierWindow, AlarmSoundsEveryIntervalAndStopsOnAGesture)
{
    writeIni("SoundOption=0\nAlarm=TRUE\nAlarmInterval=3\n");
    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(win.alarmRunning);
    sounds.clear();
    std::vector<int> beeps;
    for (int second = 1; second <= 7; second++) {
        size_t before = sounds.size();
        AlarmProc(win.mainWindow, WM_TIMER, ALARM_TIMER_ID, 0);
        if (sounds.size() > before)
            beeps.push_back(second);
    }
    EXPECT_EQ(beeps, (std::vector<int>{3, 6}));

    notifier.modalOpen = true;
    for (int i = 0; i < 6; i++)
        AlarmProc(win.mainWindow, WM_TIMER, ALARM_TIMER_ID, 0);
    notifier.modalOpen = false;
    EXPECT_EQ(sounds.size(), 2u);

    SendMessageA(win.mainWindow, WM_LBUTTONDOWN, 0, 0);
    EXPECT_FALSE(win.alarmRunning);
}

TEST_F(NotifierWindow, NoSoundOptionNeverStartsTheAlarm)
{
    writeIni("SoundOption=3\nAlarm=TRUE\n");
    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(notifier.haveMail);
    EXPECT_FALSE(win.alarmRunning);
    EXPECT_TRUE(sounds.empty());
}

TEST_F(NotifierWindow, WavOncePlaysEachSoundOncePerNotification)
{
    writeIni("SoundOption=3\n");
    ASSERT_EQ(start(), -1);
    static WavBaseEntry entries[2] = {};
    char textA[] = "alice", soundA[] = "C:\\sounds\\alice.wav";
    char textB[] = "robot", soundB[] = "C:\\sounds\\robot.wav";
    entries[0] = {textA, soundA, 0, 0};
    entries[1] = {textB, soundB, 0, 0};
    WavBaseList saved = config.wavBaseList;
    config.wavBaseList = {entries, 2};
    for (int i = 0; i < 5; i++)
        mail.shownHeaders[i].soundEntry = &entries[0];
    mail.shownHeaders[5].soundEntry = nullptr; // new, no match: the default sound
    mail.shownHeaders[6].soundEntry = NO_SOUND;
    mail.shownHeaders[7].soundEntry = &entries[1];
    notifier.shownCount = 8;
    config.settings.SoundOption = SOUND_WAVBASE;
    copyText(config.settings.WAVBaseDefault, "C:\\sounds\\default.wav");

    config.settings.WAVOnce = true;
    sounds.clear();
    playNotificationSound();
    EXPECT_EQ(sounds, (std::vector<std::string>{"C:\\sounds\\alice.wav", "C:\\sounds\\default.wav",
                                                "C:\\sounds\\robot.wav"}));
    sounds.clear();
    playNotificationSound();
    EXPECT_EQ(sounds.size(), 3u);

    config.settings.WAVOnce = false;
    sounds.clear();
    playNotificationSound();
    EXPECT_EQ(sounds.size(), 7u);

    config.settings.WAVBaseDefault[0] = '\0';
    for (int i = 0; i < 5; i++)
        mail.shownHeaders[i].soundEntry = nullptr;
    notifier.shownCount = 5;
    sounds.clear();
    playNotificationSound();
    EXPECT_TRUE(sounds.empty());
    config.wavBaseList = saved;
    notifier.shownCount = 0;
}

// --- Display --------------------------------------------------------------------------------------

TEST(Display, PictureIsACentredSquare)
{
    RECT wide = pictureRect(200, 100);
    EXPECT_EQ(wide.left, 50);
    EXPECT_EQ(wide.right - wide.left, 100);
    EXPECT_EQ(wide.top, 0);
    RECT tall = pictureRect(80, 121);
    EXPECT_EQ(tall.top, 20);
    EXPECT_EQ(tall.bottom - tall.top, 80);
}

COLORREF pixel(HBITMAP bitmap, int x, int y)
{
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ old = SelectObject(dc, bitmap);
    COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return colour;
}

TEST_F(NotifierWindow, RecolouredPicturesTakeTheStateColours)
{
    writeIni("SoundOption=3\nColorList=65535,0,16711680,16777215,65280\n");
    ASSERT_EQ(start(), -1);
    const COLORREF green = RGB(0, 255, 0);
    EXPECT_EQ(pixel(win.haveMailBitmap, 0, 0), green);
    EXPECT_EQ(pixel(win.haveMailBitmap, 32, 77), green);
    EXPECT_EQ(pixel(win.haveMailBitmap, 95, 0), green);
    // The letters stay white, and the loaded picture is untouched.
    EXPECT_EQ(pixel(win.haveMailBitmap, 12, 40), RGB(255, 255, 255));
    EXPECT_EQ(pixel(win.mailPicture, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(pixel(win.noMailBitmap, 0, 0), RGB(255, 255, 255));
    // Without a display context the stored colour stays (not CLR_INVALID).
    EXPECT_EQ(nearestDisplayColour(NULL, RGB(1, 2, 3)), RGB(1, 2, 3));
}

TEST_F(NotifierWindow, ScrollRangesFollowTheListAndTheClientArea)
{
    writeIni("ShowHeaders=TRUE\nSoundOption=3\n");
    ASSERT_EQ(start(SW_SHOWNORMAL), -1);
    notifier.shownCount = 3;
    updateScrollRanges(HEADER_TEXT_COLUMNS * win.charWidth + 10, 5 * win.lineHeight);
    EXPECT_EQ(win.vmax, 3);
    EXPECT_EQ(win.hmax, 0);

    // A window narrower than the text gets a horizontal range at its next paint.
    SetWindowPos(win.mainWindow, NULL, 0, 0, 30 * win.charWidth, 200,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(win.mainWindow, NULL, TRUE);
    UpdateWindow(win.mainWindow);
    RECT client;
    GetClientRect(win.mainWindow, &client);
    EXPECT_EQ(win.hmax, (HEADER_TEXT_COLUMNS * win.charWidth - client.right) / win.charWidth);
    EXPECT_GT(win.hmax, 0);

    // A shorter list pulls the position back within the new maximum.
    notifier.shownCount = 40;
    updateScrollRanges(client.right, client.bottom);
    win.vpos = win.vmax;
    notifier.shownCount = 1;
    updateScrollRanges(client.right, client.bottom);
    EXPECT_EQ(win.vmax, 0);
    EXPECT_EQ(win.vpos, 0);
}

// Copies the window's client area as it is on the screen.
std::vector<COLORREF> grabClient(HWND window, int *width, int *height)
{
    RECT client;
    GetClientRect(window, &client);
    *width = client.right;
    *height = client.bottom;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP shot = CreateCompatibleBitmap(source, *width, *height);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, *width, *height, source, 0, 0, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < *height; y++)
        for (int x = 0; x < *width; x++)
            pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return pixels;
}

int countColour(const std::vector<COLORREF> &pixels, COLORREF colour)
{
    int n = 0;
    for (COLORREF c : pixels)
        n += c == colour;
    return n;
}

TEST_F(NotifierWindow, ScreenShowsHeadersOnTheHeaderBackgroundAndThePictureWithout)
{
    writeIni("ShowHeaders=TRUE\nSoundOption=3\n");
    ASSERT_EQ(start(SW_SHOWNORMAL), -1);
    UpdateWindow(win.mainWindow);
    pump();
    int width, height;
    std::vector<COLORREF> shot = grabClient(win.mainWindow, &width, &height);
    ASSERT_GT(width * height, 0);
    int yellow = countColour(shot, RGB(255, 255, 0));
    int black = countColour(shot, RGB(0, 0, 0));
    int blue = countColour(shot, RGB(0, 0, 255));
    EXPECT_GT(yellow, width * height / 2); // the header background
    EXPECT_GT(black, 20);                  // From lines
    EXPECT_GT(blue, 20);                   // Subject lines

    command(MENU_CLEAR); // the no-mail picture on white
    UpdateWindow(win.mainWindow);
    shot = grabClient(win.mainWindow, &width, &height);
    EXPECT_GT(countColour(shot, RGB(255, 255, 255)), width * height / 4);
    EXPECT_GT(countColour(shot, RGB(0, 0, 255)), width * height / 20); // the mailbox
    EXPECT_EQ(countColour(shot, RGB(255, 255, 0)), 0);
}

// Writes a 24-bit BMP of pixels (rows top first) when PELIMBO_SCREENSHOTS names
// a folder, for looking at by eye.
void writeBmp(const std::string &path, const std::vector<COLORREF> &pixels, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + (DWORD)(stride * height);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string data((size_t)(stride * height), '\0');
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            COLORREF c = pixels[(size_t)y * width + x];
            char *p = &data[(size_t)(height - 1 - y) * stride + x * 3];
            p[0] = (char)GetBValue(c);
            p[1] = (char)GetGValue(c);
            p[2] = (char)GetRValue(c);
        }
    std::ofstream out(path, std::ios::binary);
    out.write((const char *)&file, sizeof file);
    out.write((const char *)&info, sizeof info);
    out << data;
}

void saveScreenshot(const char *name, const std::vector<COLORREF> &pixels, int width, int height)
{
    char folder[MAX_PATH];
    if (GetEnvironmentVariableA("PELIMBO_SCREENSHOTS", folder, sizeof folder))
        writeBmp(std::string(folder) + "\\" + name, pixels, width, height);
}

std::vector<COLORREF> grabScreen(int *width, int *height)
{
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
    HDC source = GetDC(NULL);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP shot = CreateCompatibleBitmap(source, *width, *height);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, *width, *height, source, 0, 0, SRCCOPY);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = *width;
    info.bmiHeader.biHeight = -*height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> raw((size_t)*width * *height);
    SelectObject(memory, old);
    GetDIBits(memory, shot, 0, (UINT)*height, raw.data(), &info, DIB_RGB_COLORS);
    std::vector<COLORREF> pixels;
    for (DWORD v : raw)
        pixels.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(NULL, source);
    return pixels;
}

// The text of the balloon the shell shows for us: its tip window belongs to
// the shell's process and answers WM_GETTEXT with the text it was handed.
std::wstring shellBalloonText()
{
    std::wstring found;
    EnumWindows(
        [](HWND window, LPARAM result) -> BOOL {
            char className[64] = "";
            GetClassNameA(window, className, sizeof className);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == GetCurrentProcessId() || strcmp(className, "tooltips_class32") != 0
                || !IsWindowVisible(window))
                return TRUE;
            WCHAR text[512] = L"";
            LRESULT n = SendMessageW(window, WM_GETTEXT, sizeof text / sizeof *text, (LPARAM)text);
            if (n <= 0)
                return TRUE;
            *reinterpret_cast<std::wstring *>(result) = std::wstring(text, (size_t)n);
            return FALSE;
        },
        (LPARAM)&found);
    return found;
}

// Mail in eight scripts: every From and Subject line is drawn (its own colour
// in its own band of the list), and the balloon names the three newest.
TEST_F(NotifierWindow, HeadersInEveryScriptAreDrawnAndTheBalloonNamesTheNewest)
{
    std::ifstream sample(PELIMBO_EXAMPLES_DIR "/international.mbx", std::ios::binary);
    std::string box((std::istreambuf_iterator<char>(sample)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(box.empty());
    writeFile(mbox, box);
    writeIni("ShowHeaders=TRUE\nSoundOption=3\nHeaderSize=560,480\n");
    ASSERT_EQ(start(SW_SHOWNORMAL), -1);
    ASSERT_EQ(notifier.shownCount, 8);
    UpdateWindow(win.mainWindow);
    pump();
    int width, height;
    std::vector<COLORREF> shot = grabClient(win.mainWindow, &width, &height);
    saveScreenshot("headers-every-script.bmp", shot, width, height);
    ASSERT_GE(height, 8 * 3 * win.lineHeight);
    // Scripts drawn with a smoothed font blend their colour into the yellow:
    // black text leaves no blue in its pixels, blue text more blue than red.
    for (int i = 0; i < 8; i++) {
        int black = 0, blue = 0;
        for (int y = 3 * i * win.lineHeight; y < (3 * i + 2) * win.lineHeight; y++)
            for (int x = 0; x < width; x++) {
                COLORREF c = shot[(size_t)y * width + x];
                bool subjectRow = y >= (3 * i + 1) * win.lineHeight;
                black += !subjectRow && GetRValue(c) < 160 && GetBValue(c) == 0;
                blue += subjectRow && GetBValue(c) > GetRValue(c);
            }
        EXPECT_GT(black, 30) << "From of message " << i;
        EXPECT_GT(blue, 30) << "Subject of message " << i;
    }

    const std::wstring expected =
        L"Zo\u00e9 Lef\u00e8vre: Cr\u00e8me br\u00fbl\u00e9e \u00e0 midi\n"
        L"\u0395\u03bb\u03ad\u03bd\u03b7: \u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1\n"
        L"\uae40\ubbfc\uc218: \ud68c\uc758 \uc77c\uc815";
    WCHAR title[64], text[256];
    formatBalloon(title, 64, text, 256);
    EXPECT_EQ(std::wstring(title), L"8 new messages");
    EXPECT_EQ(std::wstring(text), expected);
    EXPECT_TRUE(win.balloonShown);
    // The shell shows a balloon after a moment, holding the text whole (Wine
    // then draws its longest line a character or two short: its sizing).
    std::wstring shown;
    for (int i = 0; i < 30; i++) {
        pump();
        Sleep(100);
        if (shown.empty())
            shown = shellBalloonText();
    }
    EXPECT_EQ(shown, expected);
    int screenWidth, screenHeight;
    std::vector<COLORREF> screen = grabScreen(&screenWidth, &screenHeight);
    saveScreenshot("balloon.bmp", screen, screenWidth, screenHeight);
}

TEST_F(NotifierWindow, NoBalloonWhenTurnedOff)
{
    writeIni("Balloon=FALSE\nSoundOption=3\n");
    win.balloonShown = false;
    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(notifier.haveMail);
    EXPECT_FALSE(win.balloonShown);
}

// --- The display's scale ------------------------------------------------------------------
// These run in every test prefix: the usual one at 96 DPI and, as a test of its
// own, one whose display has 144 DPI (LogPixels). Each run leaves its figures
// and pictures in PELIMBO_DPI_RESULTS; the run at 144 DPI compares its figures
// with those of the run at 96, which CTest runs first.

std::string dpiResultsFolder()
{
    char folder[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("PELIMBO_DPI_RESULTS", folder, sizeof folder))
        return "";
    std::string path = folder;
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    CreateDirectoryA(path.c_str(), NULL);
    return path;
}

int screenDpi()
{
    HDC screen = GetDC(NULL);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    return dpi;
}

// The figures of one run: "name value" lines, one file per DPI.
class DpiFigures
{
  public:
    void put(const std::string &name, int value)
    {
        std::string folder = dpiResultsFolder();
        if (folder.empty())
            return;
        std::ofstream(folder + "\\dpi-" + std::to_string(screenDpi()) + ".txt", std::ios::app)
            << name << " " << value << "\n";
    }
    // The figure of the run at 96 DPI; -1 when there is none.
    int at96(const std::string &name)
    {
        std::ifstream in(dpiResultsFolder() + "\\dpi-96.txt");
        std::string key;
        int value, found = -1;
        while (in >> key >> value)
            if (key == name)
                found = value;
        return found;
    }
    // At 96 DPI the figure is recorded; at another it must be the one at 96
    // scaled to the display, within the tolerance given in percent.
    void expectScaled(const std::string &name, int value, int tolerance)
    {
        int dpi = screenDpi();
        if (dpi == 96) {
            put(name, value);
            return;
        }
        int base = at96(name);
        ASSERT_GT(base, 0) << name << ": no figure of the run at 96 DPI";
        int wanted = MulDiv(base, dpi, 96);
        EXPECT_LE(abs(value - wanted) * 100, wanted * tolerance)
            << name << " is " << value << " at " << dpi << " DPI, " << base << " at 96";
    }
};

void saveDpiPicture(const std::string &name, const std::vector<COLORREF> &pixels, int width, int height)
{
    std::string folder = dpiResultsFolder();
    if (!folder.empty())
        writeBmp(folder + "\\" + name + "-" + std::to_string(screenDpi()) + ".bmp", pixels, width, height);
}

// The rows and columns holding a colour within a band of rows.
struct Ink {
    int top = -1, bottom = -1, left = -1, right = -1;
    int height() const
    {
        return top < 0 ? 0 : bottom - top + 1;
    }
};

Ink inkIn(const std::vector<COLORREF> &shot, int width, int fromRow, int toRow, bool (*is)(COLORREF))
{
    Ink ink;
    for (int y = fromRow; y < toRow && y < (int)(shot.size() / width); y++)
        for (int x = 0; x < width; x++)
            if (is(shot[(size_t)y * width + x])) {
                if (ink.top < 0)
                    ink.top = y;
                ink.bottom = y;
                if (ink.left < 0 || x < ink.left)
                    ink.left = x;
                if (x > ink.right)
                    ink.right = x;
            }
    return ink;
}

bool isFromText(COLORREF c)
{
    return GetRValue(c) < 128 && GetBValue(c) < 64;
}

bool isSubjectText(COLORREF c)
{
    return GetBValue(c) > 128 && GetRValue(c) < 128;
}

bool isMailbox(COLORREF c)
{
    return c == RGB(0, 0, 255);
}

class DisplayScale : public NotifierWindow
{
  protected:
    DpiFigures figures;
};

// The window at its default size: the header list in a font scaled with the
// display, every line whole inside the window; the picture as large again.
TEST_F(DisplayScale, HeaderListAndPictureGrowWithTheDisplay)
{
    writeIni("ShowHeaders=TRUE\nSoundOption=3\n");
    ASSERT_EQ(start(SW_SHOWNORMAL), -1);
    ASSERT_EQ(win.dpi, screenDpi());
    if (win.dpi == 96) {
        EXPECT_EQ(win.headerFont, (HFONT)NULL); // the display's own font, as always
    }
    UpdateWindow(win.mainWindow);
    pump();
    int width, height;
    std::vector<COLORREF> shot = grabClient(win.mainWindow, &width, &height);
    saveDpiPicture("window-headers", shot, width, height);
    figures.expectScaled("lineHeight", win.lineHeight, 5);
    figures.expectScaled("charWidth", win.charWidth, 10);
    int line = win.lineHeight;
    for (int i = 0; i < notifier.shownCount; i++) {
        Ink from = inkIn(shot, width, 3 * i * line, (3 * i + 1) * line, isFromText);
        Ink subject = inkIn(shot, width, (3 * i + 1) * line, (3 * i + 2) * line, isSubjectText);
        ASSERT_GT(from.height(), 0) << "From of message " << i;
        ASSERT_GT(subject.height(), 0) << "Subject of message " << i;
        // Nothing cut: the text keeps clear of the window's right and bottom edges.
        EXPECT_LT(from.right, width - 1);
        EXPECT_LT(subject.right, width - 1);
        EXPECT_LT(subject.bottom, height - 1);
        if (i == 0) {
            figures.expectScaled("fromInkHeight", from.height(), 15);
            figures.expectScaled("subjectInkWidth", subject.right - subject.left + 1, 15);
        }
    }
    figures.expectScaled("headersClientWidth", width, 10);

    command(MENU_CLEAR);
    UpdateWindow(win.mainWindow);
    shot = grabClient(win.mainWindow, &width, &height);
    saveDpiPicture("window-picture", shot, width, height);
    Ink box = inkIn(shot, width, 0, height, isMailbox);
    figures.expectScaled("pictureClientHeight", height, 10);
    figures.expectScaled("mailboxHeight", box.height(), 10);
    EXPECT_LT(box.bottom, height - 1);
}

// The stored geometry keeps its meaning: sizes and places are read as at 96
// DPI and written back as they were read.
TEST_F(DisplayScale, StoredGeometryIsReadAndWrittenAtItsOwnScale)
{
    writeIni("SoundOption=3\nPosition=120,90\nNoHeaderSize=300,200\n");
    ASSERT_EQ(start(SW_SHOWNORMAL), -1);
    RECT rect;
    GetWindowRect(win.mainWindow, &rect);
    int dpi = win.dpi;
    EXPECT_EQ(rect.left, MulDiv(120, dpi, 96));
    EXPECT_EQ(rect.top, MulDiv(90, dpi, 96));
    EXPECT_EQ(rect.right - rect.left + 1, MulDiv(300, dpi, 96));
    EXPECT_EQ(rect.bottom - rect.top + 1, MulDiv(200, dpi, 96));
    command(MENU_EXIT);
    pump();
    char value[64];
    GetPrivateProfileStringA("Pelimbo", "Position", "", value, sizeof value, ini.c_str());
    EXPECT_STREQ(value, "120,90");
    GetPrivateProfileStringA("Pelimbo", "NoHeaderSize", "", value, sizeof value, ini.c_str());
    EXPECT_STREQ(value, "300,200");
}

// The width of the exact image a resource icon holds for a size, 0 when it
// has none (the platform would then scale another one).
int exactIconImage(const char *name, int size)
{
    HINSTANCE module = GetModuleHandleA(NULL);
    HRSRC group = FindResourceA(module, name, (LPCSTR)RT_GROUP_ICON);
    if (!group)
        return 0;
    PBYTE directory = (PBYTE)LockResource(LoadResource(module, group));
    int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_ICON);
    if (!image)
        return 0;
    const BITMAPINFOHEADER *header = (const BITMAPINFOHEADER *)LockResource(LoadResource(module, image));
    return header && header->biWidth == size ? size : 0;
}

int iconWidth(HICON icon)
{
    ICONINFO info;
    if (!GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap;
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The notification-area and balloon icons, and the large ones of the About box
// and the colour samples, come from images made for the display's size.
TEST_F(DisplayScale, IconsComeFromImagesOfTheDisplaysSize)
{
    writeIni("SoundOption=3\n");
    ASSERT_EQ(start(SW_SHOWNORMAL), -1);
    int small = GetSystemMetrics(SM_CXSMICON), large = GetSystemMetrics(SM_CXICON);
    EXPECT_EQ(iconWidth(win.tray.icon), small);
    EXPECT_EQ(iconWidth(win.smallNoMailIcon), small);
    EXPECT_EQ(iconWidth(win.blankIcon), small);
    EXPECT_EQ(iconWidth(win.newMailIcon), large);
    for (const char *name : {"1_NEWMAIL16_ICON", "2_NOMAIL16_ICON", "3_BLANK16_ICON"})
        EXPECT_EQ(exactIconImage(name, small), small) << name;
    for (const char *name : {"4_NEWMAIL_ICON", "5_NOMAIL_ICON"})
        EXPECT_EQ(exactIconImage(name, large), large) << name;
    figures.expectScaled("trayIcon", small, 0);

    // The icons as the shell and the About box show them, for looking at.
    int side = 2 * small + large + 4 * 4;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, side, large + 8);
    HGDIOBJ old = SelectObject(memory, canvas);
    RECT all = {0, 0, side, large + 8};
    FillRect(memory, &all, (HBRUSH)GetStockObject(LTGRAY_BRUSH));
    DrawIconEx(memory, 4, 4, win.smallNoMailIcon, small, small, 0, NULL, DI_NORMAL);
    DrawIconEx(memory, 8 + small, 4, win.smallNewMailIcon, small, small, 0, NULL, DI_NORMAL);
    DrawIconEx(memory, 12 + 2 * small, 4, win.newMailIcon, large, large, 0, NULL, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < large + 8; y++)
        for (int x = 0; x < side; x++)
            pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(canvas);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    saveDpiPicture("icons", pixels, side, large + 8);
}

// The width and line height a control needs to show its text on one line.
SIZE textExtent(HWND control, const std::string &text)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0));
    RECT r = {0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right, r.bottom};
}

// Where the frame leaves a page room, in screen coordinates: the tab
// control's display area, and the frame's own buttons beneath it.
struct FrameRoom {
    RECT area;
    RECT buttons[3];
};

FrameRoom frameRoom(HWND dialog)
{
    FrameRoom room;
    HWND tabs = GetDlgItem(dialog, IDC_SETUP_TABS);
    GetClientRect(tabs, &room.area);
    TabCtrl_AdjustRect(tabs, FALSE, &room.area);
    MapWindowPoints(tabs, NULL, (POINT *)&room.area, 2);
    const int ids[3] = {IDOK, IDCANCEL, IDC_SETUP_HELP};
    for (int i = 0; i < 3; i++)
        GetWindowRect(GetDlgItem(dialog, ids[i]), &room.buttons[i]);
    return room;
}

bool contains(const RECT &outer, const RECT &inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right
           && inner.bottom <= outer.bottom;
}

struct ClipCheck {
    HWND page;
    FrameRoom room;
    std::vector<std::string> problems;
};

// Every shown control of a page lies inside the page and inside the tab
// control's display area, clear of OK, Cancel and Help, and a label, check
// box or push button has room for its text (a label two lines high may wrap).
BOOL CALLBACK checkControl(HWND control, LPARAM parameter)
{
    ClipCheck *check = (ClipCheck *)parameter;
    if (!IsWindowVisible(control) || GetParent(control) != check->page)
        return TRUE;
    RECT page, r, onScreen, overlap;
    GetClientRect(check->page, &page);
    GetWindowRect(control, &onScreen);
    r = onScreen;
    MapWindowPoints(NULL, check->page, (POINT *)&r, 2);
    char className[32] = "", text[256] = "";
    GetClassNameA(control, className, sizeof className);
    GetWindowTextA(control, text, sizeof text);
    std::string name = std::string(className) + " \"" + text + "\"";
    if (!contains(page, r))
        check->problems.push_back(name + " reaches outside its page");
    if (!contains(check->room.area, onScreen))
        check->problems.push_back(name + " reaches outside the tab control's display area");
    for (const RECT &button : check->room.buttons)
        if (IntersectRect(&overlap, &button, &onScreen)) {
            check->problems.push_back(name + " lies under a button of the frame");
            break;
        }
    LONG style = GetWindowLongA(control, GWL_STYLE);
    LONG kind = style & BS_TYPEMASK;
    bool button = _stricmp(className, "Button") == 0;
    bool box = button && kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON && kind != BS_GROUPBOX
               && kind != BS_OWNERDRAW;
    bool push = button && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
    bool label = _stricmp(className, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
    if (!text[0] || !(box || push || label))
        return TRUE;
    std::string shown;
    for (const char *p = text; *p; p++)
        if (*p != '&')
            shown += *p;
    SIZE needed = textExtent(control, shown);
    int room = r.right - r.left - (box ? GetSystemMetrics(SM_CXMENUCHECK) + 3 : 0);
    bool wraps = label && r.bottom - r.top >= 2 * needed.cy;
    if (needed.cx > room && !wraps)
        check->problems.push_back(name + " is cut: needs " + std::to_string(needed.cx) + ", has "
                                  + std::to_string(room));
    if (needed.cy > r.bottom - r.top)
        check->problems.push_back(name + " is too low for its text");
    return TRUE;
}

// The setup dialog: every page with its text in a font scaled with the
// display, nothing cut off, nothing out of the tabs or under the frame's buttons.
TEST(DisplayScaleSetup, SetupPagesShowEveryTextWhole)
{
    ScratchDir dir;
    dir.write("demo.mbx", "");
    dir.write("PELIMBO.INI",
              "[Pelimbo]\r\nMessageSource=7\r\nLogin=ann\r\nMailHost=mail.example.org\r\n"
              "Password=6A\r\nSoundOption=2\r\nUseFilters=TRUE\r\n"
              "[Filters]\r\nalpha#0#0=\r\n[WAVBase]\r\nboss#c:\\windows\\media\\ding.wav#0=\r\n");
    MessageBoxCapture boxes;
    SetupLibrary library;
    ASSERT_TRUE(library.loaded());
    static const char *const pages[] = {"Message source", "Mailbox", "Window",  "Mail reader", "Filters",
                                        "Colors",         "Sound",   "WAVBase", "Network",     "Sign-in"};
    DpiFigures figures;
    std::vector<std::string> problems;
    int fontHeight = 0, dialogHeight = 0;
    std::vector<Step> steps;
    for (const char *page : pages) {
        steps.push_back([page](HWND dialog) { selectTab(dialog, page); });
        steps.push_back([page, &problems, &fontHeight, &dialogHeight](HWND dialog) {
            ClipCheck check = {pageOf(dialog, page), frameRoom(dialog), {}};
            EnumChildWindows(check.page, checkControl, (LPARAM)&check);
            for (const std::string &problem : check.problems)
                problems.push_back(std::string(page) + ": " + problem);
            // The frame's buttons themselves are whole and below the tabs.
            RECT client;
            GetClientRect(dialog, &client);
            dialogHeight = client.bottom;
            MapWindowPoints(dialog, NULL, (POINT *)&client, 2);
            for (const RECT &button : check.room.buttons)
                if (!contains(client, button) || button.top < check.room.area.bottom)
                    problems.push_back(std::string(page) + ": a button of the frame is out of place");
            HDC dc = GetDC(dialog);
            HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0));
            TEXTMETRICA metrics;
            GetTextMetricsA(dc, &metrics);
            fontHeight = metrics.tmHeight;
            SelectObject(dc, old);
            ReleaseDC(dialog, dc);
            std::string name = page;
            for (char &c : name)
                c = c == ' ' ? '-' : (char)tolower((unsigned char)c);
            std::string folder = dpiResultsFolder();
            if (!folder.empty())
                captureWindow(dialog,
                              folder + "\\setup-" + name + "-" + std::to_string(screenDpi()) + ".bmp");
        });
    }
    steps.push_back([](HWND dialog) { pressCancel(dialog); });
    library.run(dir.file("PELIMBO.INI"), steps);
    EXPECT_FALSE(library.leftOpen);
    EXPECT_EQ(problems, std::vector<std::string>{});
    figures.expectScaled("setupFontHeight", fontHeight, 10);
    figures.expectScaled("setupDialogHeight", dialogHeight, 10);
}

} // namespace
