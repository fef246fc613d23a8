#include "tests/notifier/fake_frontend.h"

#include "notifier/frontend.h"
#include "notifier/notifier.h"

std::vector<std::string> frontLog;
int frontAnswer;
std::function<void()> whileErrorBoxOpen;

void resetFakeFrontEnd(void)
{
    frontLog.clear();
    frontAnswer = 0;
    whileErrorBoxOpen = nullptr;
}

std::vector<std::string> frontCalls(const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &line : frontLog)
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}

void frontShowError(const char *text)
{
    frontLog.push_back(std::string("error:") + text);
    if (whileErrorBoxOpen)
        whileErrorBoxOpen();
}

int frontAskYesNo(const char *text)
{
    frontLog.push_back(std::string("ask:") + text);
    return frontAnswer;
}

void frontPumpMessages(void)
{
}

void frontEnableMenuItem(int id, bool enabled)
{
    frontLog.push_back("menu:" + std::to_string(id) + (enabled ? ":on" : ":off"));
}

void frontRefreshStatus(void)
{
    frontLog.push_back("status");
}

// The menu bookkeeping the window's state changes do, so the measure rule
// sees what it would see in the program.
void enterNoMailState(bool actions)
{
    frontLog.push_back(actions ? "nomail:actions" : "nomail:quiet");
    if (notifier.mailMeasure == 0) {
        notifier.shownCount = 0;
        notifier.headerCount = 0;
        notifier.clearItem = MENU_CLEAR;
        notifier.clearGrayed = true;
    } else {
        notifier.clearItem = MENU_SHOW;
    }
}

void enterHaveMailState(bool notify)
{
    frontLog.push_back(notify ? "havemail:notify" : "havemail:quiet");
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = false;
}

void frontPollFinished(void)
{
    frontLog.push_back("finished");
}
void frontBlinkStep(bool blankPhase)
{
    frontLog.push_back(blankPhase ? "blink:blank" : "blink:icon");
}
void frontHiddenIconHover(void)
{
}
void frontClosePollWait(void)
{
    frontLog.push_back("closewait");
}
void frontPostCommand(int command)
{
    frontLog.push_back("post:" + std::to_string(command));
}
void frontOpenPollWait(void)
{
    frontLog.push_back("openwait");
}
void frontMinimizeForReader(void)
{
    frontLog.push_back("minimize");
}

#ifdef _WIN32
#include <windows.h>
// The window program raises the reader's windows; the tests only count.
BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    return TRUE;
}
#endif
