// The window program run in a test's scratch folder, with the real setup
// library found in the build's bin folder: what the tests that open setup from
// a running notifier share.
#ifndef PELIMBO_TESTS_SETUP_NOTIFIER_FIXTURE_H
#define PELIMBO_TESTS_SETUP_NOTIFIER_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "notifier/window.h"
#include "tests/setup/setup_driver.h"

class NotifierWithSetup : public ::testing::Test
{
  protected:
    // The tests make no sound.
    static void silentSound(void)
    {
    }
    static bool silentSoundFile(const char *)
    {
        return true;
    }

    void SetUp() override
    {
        win.beep = silentSound;
        win.playSoundFile = silentSoundFile;
        SetCurrentDirectoryA(dir.path().c_str());
        // The notifier loads the library by name; here it lies in the build's bin folder.
        SetDllDirectoryA(setupLibraryFolder().c_str());
    }
    // Starts the notifier on the scratch folder's PELIMBO.INI, named on its
    // command line as a user's shortcut names it.
    int startOnIni(void)
    {
        std::string arguments = "\"" + dir.file("PELIMBO.INI") + "\"";
        return startNotifier(GetModuleHandleA(NULL), arguments.c_str(), SW_SHOWNOACTIVATE);
    }
    // Runs body, which opens the setup dialog, with the steps acting on the
    // dialog; the steps must close it. Returns what body returned.
    int withSetupDialog(const std::vector<Step> &steps, const std::function<int()> &body)
    {
        bool leftOpen = true;
        int result = runScripted(steps, body, &leftOpen);
        EXPECT_FALSE(leftOpen) << "the steps left the setup dialog open";
        return result;
    }
    // Ends what the notifier left: its window, pending messages, classes and
    // pictures; the scratch folder is left so that it can be removed.
    void TearDown() override
    {
        SetDllDirectoryA(NULL);
        if (win.mainWindow && IsWindow(win.mainWindow))
            DestroyWindow(win.mainWindow);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        unregisterClasses();
        releasePictures();
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        SetCurrentDirectoryA(temp);
    }

    ScratchDir dir;
};

#endif
