#include "tests/fakes/recording_frontend.h"

std::vector<std::string> frontLog;
int frontAnswer;
std::function<void()> whileErrorBoxOpen;

std::vector<std::string> frontCalls(const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &line : frontLog)
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}

static void recordError(const char *text)
{
    frontLog.push_back(std::string("error:") + text);
    if (whileErrorBoxOpen)
        whileErrorBoxOpen();
}

static int recordQuestion(const char *text)
{
    frontLog.push_back(std::string("ask:") + text);
    return frontAnswer;
}

static void recordMenuItem(int id, bool enabled)
{
    frontLog.push_back("menu:" + std::to_string(id) + (enabled ? ":on" : ":off"));
}

static void recordStatus(void)
{
    frontLog.push_back("status");
}

static void recordNoMail(bool actions)
{
    frontLog.push_back(actions ? "nomail:actions" : "nomail:quiet");
}

static void recordHaveMail(bool notify)
{
    frontLog.push_back(notify ? "havemail:notify" : "havemail:quiet");
}

static void recordFinished(void)
{
    frontLog.push_back("finished");
}

static void recordBlink(bool blankPhase)
{
    frontLog.push_back(blankPhase ? "blink:blank" : "blink:icon");
}

static void recordCloseWait(void)
{
    frontLog.push_back("closewait");
}

static void recordPost(int command)
{
    frontLog.push_back("post:" + std::to_string(command));
}

static void recordOpenWait(void)
{
    frontLog.push_back("openwait");
}

static void recordMinimize(void)
{
    frontLog.push_back("minimize");
}

static void recordNotice(const char *text)
{
    frontLog.push_back(std::string("notice:") + text);
}

const FrontEnd recordingFrontEnd = [] {
    FrontEnd table = nullFrontEnd;
    table.showError = recordError;
    table.askYesNo = recordQuestion;
    table.enableMenuItem = recordMenuItem;
    table.refreshStatus = recordStatus;
    table.showNoMail = recordNoMail;
    table.showHaveMail = recordHaveMail;
    table.pollFinished = recordFinished;
    table.blinkStep = recordBlink;
    table.closePollWait = recordCloseWait;
    table.postCommand = recordPost;
    table.openPollWait = recordOpenWait;
    table.minimizeForReader = recordMinimize;
    table.showNotice = recordNotice;
    return table;
}();

void resetFakeFrontEnd(void)
{
    frontLog.clear();
    frontAnswer = 0;
    whileErrorBoxOpen = nullptr;
    installFrontEnd(&recordingFrontEnd);
}

#ifdef _WIN32
#include <windows.h>
// The window program raises the reader's windows; the tests only count.
BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    return TRUE;
}
#endif
