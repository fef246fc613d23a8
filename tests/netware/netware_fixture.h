// The PMail/NetWare source run in-process against a stand-in bridge: the
// stand-in lies beside the test program, where LoadLibrary looks first, and
// answers from a data file the test writes (see tests/standins/pelnw32).
// Settings are read as the notifier reads them and polls run through the
// real tick with the recording front end.
#ifndef PELIMBO_TESTS_NETWARE_FIXTURE_H
#define PELIMBO_TESTS_NETWARE_FIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "core/core.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "tests/config/winfiles.h"
#include "tests/fakes/recording_frontend.h"

using Lines = std::vector<std::string>;

class NetWareSource : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof startDirectory, startDirectory);
        memset(&notifier, 0, sizeof notifier);
        notifier.clearItem = MENU_CLEAR;
        notifier.clearGrayed = true;
        config.settings = Settings();
        config.mailPath = NULL;
        config.report = reportError;
        captureStartLocation();
        resetFakeFrontEnd();
        mail.currentSnapshotCount = 0;
        mail.previousSnapshotCount = 0;
        mail.latestFileDate = 0;
        mail.latestFileTime = 0;
        ASSERT_TRUE(allocateMailBuffers());
        SetEnvironmentVariableA("PELNW_STANDIN_DATA", (dir / "bridge.txt").c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("PELNW_STANDIN_DATA", NULL);
        freeMailBuffers();
        freeFilterList(&config.filterList);
        freeWavBaseList(&config.wavBaseList);
        SetCurrentDirectoryA(startDirectory);
        config.report = NULL;
    }
    // What the stand-in answers; see its header for the line forms.
    void bridgeAnswers(const std::string &lines)
    {
        writeFile(dir / "bridge.txt", lines);
    }
    // The calls the stand-in received since the test began.
    Lines bridgeCalls()
    {
        Lines calls;
        std::string text = readFile(dir / "bridge.txt.log");
        size_t start = 0, end;
        while ((end = text.find('\n', start)) != std::string::npos) {
            calls.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return calls;
    }
    // Reads section [Pelimbo] with these lines as the notifier does; true when
    // a value was not taken.
    bool readSettings(const std::string &lines)
    {
        std::string path = dir / ("p" + std::to_string(++files) + ".ini");
        writeFile(path, "[Pelimbo]\r\n" + lines);
        return loadSettings(path.c_str());
    }
    // One poll moment of the notifier's tick.
    void tick()
    {
        notifier.tickCounter = 0;
        pollTick();
    }
    static std::string message(const char *from, const char *subject)
    {
        return std::string("From: ") + from + "\r\nSubject: " + subject
               + "\r\n\r\nThe body of the message, long enough that every file counts as changed mail.\r\n";
    }

    TempDir dir;
    char startDirectory[MAX_PATH];
    int files = 0;
};

#endif
