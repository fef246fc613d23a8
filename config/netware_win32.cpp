// The PMail/NetWare source reads the new-mail path the NetWare bridge names.
#include <windows.h>

#include "base/entrypoint_win32.h"
#include "config/config.h"
#include "config/netware.h"

static GetNWServerTable32Proc getServerTable;
static GetNWServerIndex32Proc getServerIndex;
static GetNWPmailFile32Proc getPmailFile;
static HMODULE bridge;

bool loadNetWareBridge(void)
{
    if (config.netWareLoaded)
        return true;
    bridge = loadLibraryQuietly("PELNW32.DLL");
    if (bridge) {
        // All three are looked up, though only the path query is used here: a
        // bridge without the others is not the one we expect.
        getServerTable = (GetNWServerTable32Proc)(void *)GetProcAddress(bridge, "getNWServerTable32");
        getServerIndex = getServerTable
                             ? (GetNWServerIndex32Proc)(void *)GetProcAddress(bridge, "getNWServerIndex32")
                             : NULL;
        getPmailFile =
            getServerIndex ? (GetNWPmailFile32Proc)(void *)GetProcAddress(bridge, "getNWPmailFile32") : NULL;
    }
    if (!bridge || !getPmailFile) {
        configReport("Unable to load PELNW32.DLL");
        return false;
    }
    config.netWareLoaded = true;
    return true;
}

// MailFile holds the server name for this source; empty asks for the default
// server. Without an answer from the bridge the source has no path at all:
// whatever mailPath held before belonged to another source or server (after
// a source change it is the server name itself) and must not be read.
void bindNetWarePath(void)
{
    config.mailPath = NULL;
    if (!loadNetWareBridge())
        return;
    const Settings &s = config.settings;
    const char *path = getPmailFile(s.MailFileRaw[0] ? s.MailFile : NULL);
    if (!path) {
        configReport("Can't find NetWare mail path");
        return;
    }
    copyText(config.pmailPath, path);
    config.mailPath = config.pmailPath;
}

// At exit. The flag goes with the library, so nothing calls into a bridge that
// is no longer there.
void unloadNetWareBridge(void)
{
    if (config.netWareLoaded && bridge)
        FreeLibrary(bridge);
    bridge = NULL;
    config.netWareLoaded = false;
    getServerTable = NULL;
    getServerIndex = NULL;
    getPmailFile = NULL;
}
