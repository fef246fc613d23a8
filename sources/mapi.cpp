// The Simple MAPI source (Microsoft Mail, Windows Messaging, GroupWise): one
// logon kept while the source stays configured; each poll walks the inbox in
// the order received, reads only envelopes without marking anything read, and
// commits the list.
#include <string.h>

#include "base/entrypoint_win32.h"
#include "config/config.h"
#include "mail/mail.h"
#include "core/frontend.h"
#include "core/core.h"
#include "sources/services.h"

MapiSource mapiSource;
const char *mapiLibraryName = "MAPI32.DLL";
HWND serviceWindow;

static const char spoolerTitle[] = "MS Mail32 Spooler (auto)";

void setServiceWindow(HWND window)
{
    serviceWindow = window;
}

HMODULE loadServiceLibrary(const char *name)
{
    return loadLibraryQuietly(name);
}

static ULONG_PTR uiParam(void)
{
    return (ULONG_PTR)serviceWindow;
}

static bool loadMapi(void)
{
    MapiSource &m = mapiSource;
    if (m.loaded)
        return true;
    m.library = loadServiceLibrary(mapiLibraryName);
    if (!m.library) {
        m.session = 0;
        reportError("Unable to load MAPI32.DLL");
        return false;
    }
    if (!(resolveEntry(m.library, m.logon, "MAPILogon") && resolveEntry(m.library, m.logoff, "MAPILogoff")
          && resolveEntry(m.library, m.findNext, "MAPIFindNext")
          && resolveEntry(m.library, m.freeBuffer, "MAPIFreeBuffer")
          && resolveEntry(m.library, m.deleteMail, "MAPIDeleteMail")
          && resolveEntry(m.library, m.readMail, "MAPIReadMail"))) {
        FreeLibrary(m.library);
        m.library = NULL;
        reportError("Missing function in MAPI32.DLL");
        return false;
    }
    m.loaded = true;
    return true;
}

// The mail spooler shows a window of its own while a session is open; it is
// kept out of sight.
static void hideSpooler(void)
{
    mapiSource.spoolerWindow = FindWindowA(NULL, spoolerTitle);
    if (mapiSource.spoolerWindow)
        ShowWindow(mapiSource.spoolerWindow, SW_HIDE);
}

void openMapi(void)
{
    MapiSource &m = mapiSource;
    if (!loadMapi())
        return;
    if (m.session == 0) {
        Settings &s = config.settings;
        if (m.logon(uiParam(), s.Login, s.plainPassword, MAPI_LOGON_UI_ALLOWED, 0, &m.session) != MAPI_OK) {
            m.session = 0;
            reportError("MAPI Logon failed");
        }
    }
    hideSpooler();
}

bool mapiSessionOpen(void)
{
    return mapiSource.session != 0;
}

void closeMapi(void)
{
    MapiSource &m = mapiSource;
    if (!m.loaded || m.session == 0)
        return;
    if (m.walking) {
        m.closeAfterWalk = true;
        return;
    }
    if (m.spoolerWindow && IsWindow(m.spoolerWindow) && GetClassLongPtrA(m.spoolerWindow, GCLP_HICON) != 0)
        ShowWindow(m.spoolerWindow, SW_SHOWNA);
    m.logoff(m.session, uiParam(), 0, 0);
    hideSpooler();
    m.session = 0;
}

// A message is new when its date text is later than any seen before in this
// run. Only the first 16 characters (the whole "YYYY/MM/DD HH:MM") are
// compared and kept, so a longer text from the library can neither overrun
// the stored one nor count as newer than itself at every poll.
static bool takeIfLater(const char *dateReceived)
{
    if (!dateReceived || dateReceived[0] == '\0')
        return false;
    if (strncmp(dateReceived, mapiSource.latestDate, MAPI_DATE_TEXT_LENGTH) <= 0)
        return false;
    copyTextN(mapiSource.latestDate, sizeof mapiSource.latestDate, dateReceived, MAPI_DATE_TEXT_LENGTH);
    return true;
}

// From and Subject of the envelope, with the placeholders when either is missing.
static void fillRecord(MessageHeader *record, const MapiMessageRecord *message)
{
    const MapiRecipient *originator = message->originator;
    if (originator && originator->name && originator->name[0] != '\0')
        setHeaderAnsiText(record, FIELD_FROM, originator->name, strlen(originator->name));
    else
        setNoFrom(record);
    if (message->subject && message->subject[0] != '\0')
        setHeaderAnsiText(record, FIELD_SUBJECT, message->subject, strlen(message->subject));
    else
        setNoSubject(record);
}

static void deleteCondemned(char *messageId, const MessageHeader *record, const FilterEntry *entry)
{
    if (!shouldDeleteMessage(record, entry))
        return;
    MapiSource &m = mapiSource;
    if (m.deleteMail(m.session, uiParam(), messageId, 0, 0) != MAPI_OK) {
        reportError("Unable to delete MAPI message");
        return;
    }
    if (config.settings.LogDeletes)
        logDeletion(record, entry);
}

void pollMapi(void)
{
    MapiSource &m = mapiSource;
    if (notifier.pollInProgress || m.session == 0)
        return; // a failed logon is not retried until the settings change
    const Settings &s = config.settings;
    beginPoll();
    int lastIndex = -1;
    bool newMail = false;
    char seed[MAPI_MESSAGE_ID_SIZE] = "";
    char found[MAPI_MESSAGE_ID_SIZE] = "";

    // Windows Messaging brings its own windows forward during a walk; the
    // notifier keeps out of their way until it has finished.
    bool hideWindow = s.MessageSource == SOURCE_WINDOWS_MESSAGING && serviceWindow;
    if (hideWindow)
        ShowWindow(serviceWindow, SW_HIDE);

    ULONG flags = MAPI_FIND_FIFO | (s.UnreadOnly ? MAPI_FIND_UNREAD_ONLY : 0);
    m.walking = true;
    while (m.findNext(m.session, uiParam(), NULL, seed, flags, 0, found) == MAPI_OK) {
        found[sizeof found - 1] = '\0';
        frontPumpMessages();
        if (m.closeAfterWalk)
            break;
        MapiMessageRecord *message = NULL;
        if (m.readMail(m.session, uiParam(), found, MAPI_READ_ENVELOPE_PEEK, 0, &message) != MAPI_OK)
            break;
        if (message) {
            lastIndex++;
            MessageHeader *record = openHeaderRecord(lastIndex, 0);
            fillRecord(record, message);
            FilterEntry *entry = filterMatchFromOrSubject(record);
            if (entry)
                lastIndex--; // the slot is reused and the message not counted
            if (takeIfLater(message->dateReceived)) {
                if (entry) {
                    deleteCondemned(found, record, entry);
                } else {
                    newMail = true;
                    if (s.SoundOption == SOUND_WAVBASE)
                        record->soundEntry = soundMatchFromOrSubject(record);
                }
            }
            m.freeBuffer(message);
        }
        copyText(seed, found);
        if (exitRequested())
            break;
        frontPumpMessages();
        if (m.closeAfterWalk)
            break;
    }
    m.walking = false;

    if (hideWindow) {
        SetWindowPos(serviceWindow, NULL, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        if (IsIconic(serviceWindow))
            SetWindowTextA(serviceWindow, statusText());
    }
    publishPollResult(lastIndex, newMail);
    if (m.closeAfterWalk) {
        m.closeAfterWalk = false;
        closeMapi();
    }
}
