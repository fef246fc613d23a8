// The cc:Mail source through VIM: one session on the post office kept while
// the source stays configured; each poll opens the inbox, enumerates it one
// message at a time with four attributes, and always closes it again.
#include <string.h>

#include "config/config.h"
#include "mail/mail.h"
#include "core/frontend.h"
#include "core/core.h"
#include "sources/services.h"

VimSource vimSource;
const char *vimLibraryName = "VIM32.DLL";

static bool loadVim(void)
{
    VimSource &v = vimSource;
    if (v.loaded)
        return true;
    v.library = loadServiceLibrary(vimLibraryName);
    if (!v.library) {
        reportError("Unable to load VIM32.DLL");
        return false;
    }
    HMODULE l = v.library;
    if (!(resolveEntry(l, v.initialize, "VIMInitialize") && resolveEntry(l, v.terminate, "VIMTerminate")
          && resolveEntry(l, v.queryCapability, "VIMQueryCapability")
          && resolveEntry(l, v.openSession, "VIMOpenSession")
          && resolveEntry(l, v.closeSession, "VIMCloseSession")
          && resolveEntry(l, v.openContainer, "VIMOpenMessageContainer")
          && resolveEntry(l, v.closeContainer, "VIMCloseMessageContainer")
          && resolveEntry(l, v.removeMessage, "VIMRemoveMessage")
          && resolveEntry(l, v.enumerateMessages, "VIMEnumerateMessages")
          && resolveEntry(l, v.statusText, "VIMStatusText"))) {
        reportError("Missing function in VIM32.DLL");
        FreeLibrary(l);
        v.library = NULL;
        return false;
    }
    v.loaded = true;
    return true;
}

void reportVimStatus(long status)
{
    char first[VIM_STATUS_TEXT_SIZE];
    char second[VIM_STATUS_TEXT_SIZE];
    memset(first, 0, sizeof first);
    memset(second, 0, sizeof second);
    if (!vimSource.loaded)
        return;
    if (vimSource.statusText(vimSource.session, status, sizeof first, first, sizeof second, second) != 0)
        return;
    // The library's texts are shown only as far as their buffers reach.
    first[sizeof first - 1] = '\0';
    second[sizeof second - 1] = '\0';
    reportError(first);
    reportError(second);
}

// VIM is initialised once per open session; VIMTerminate is owed only for a
// VIMInitialize that succeeded.
static void terminateVim(void)
{
    if (vimSource.initialised)
        vimSource.terminate();
    vimSource.initialised = false;
}

static void failOpen(const char *text, VimStatus status)
{
    vimSource.session = 0;
    terminateVim();
    reportError(text);
    reportVimStatus(status);
}

void openVim(void)
{
    VimSource &v = vimSource;
    if (!loadVim() || v.session != 0)
        return;
    VimStatus status = v.initialize();
    if (status != 0) {
        v.session = 0;
        reportError("VIM initialization failed");
        reportVimStatus(status);
        return;
    }
    v.initialised = true;
    uint8_t capability[VIM_CAPABILITY_SIZE];
    memset(capability, 0, sizeof capability);
    status = v.queryCapability(VIM_CAPABILITY_ITEM, sizeof capability, capability);
    if (status != 0) {
        failOpen("VIM capability query failed", status);
        return;
    }
    const Settings &s = config.settings;
    status = v.openSession(s.MailHost, s.Login, s.plainPassword, VIM_SESSION_VERSION, VIM_SESSION_CHARSET,
                           &v.session);
    if (status != 0)
        failOpen("Unable to open cc:Mail session", status);
}

bool vimSessionOpen(void)
{
    return vimSource.session != 0;
}

void closeVim(void)
{
    VimSource &v = vimSource;
    if (!v.loaded)
        return;
    if (v.walking) {
        v.closeAfterWalk = true;
        return;
    }
    if (v.session != 0) {
        v.closeSession(v.session);
        v.session = 0;
    }
    terminateVim();
}

// The attributes of one message, refilled by every enumeration step.
struct VimMessageBuffers {
    char sender[VIM_SENDER_RECORD_SIZE];
    char subject[VIM_SUBJECT_SIZE];
    uint8_t date[VIM_DATE_SIZE];
    VimReference reference;
    VimAttribute attributes[4];
};

static VimMessageBuffers buffers;

// Cleared before each step, so an attribute the library leaves out reads as
// empty instead of as the previous message's.
static void prepareAttributes(VimMessageBuffers *b)
{
    memset(b, 0, sizeof *b);
    b->attributes[0] = {VIM_SELECT_SENDER, sizeof b->sender, b->sender};
    b->attributes[1] = {VIM_SELECT_SUBJECT, sizeof b->subject, b->subject};
    b->attributes[2] = {VIM_SELECT_DATE, sizeof b->date, b->date};
    b->attributes[3] = {VIM_SELECT_REFERENCE, sizeof b->reference, &b->reference};
}

// The byte count the library reports for an attribute, never more than the buffer.
static size_t attributeLength(const VimAttribute &attribute, size_t capacity)
{
    return attribute.size < capacity ? attribute.size : capacity;
}

// The sender's display text lies at a fixed offset of the sender record; a
// record that ends before it has no text, and the text never runs past the
// record's end.
static void takeSender(MessageHeader *record, const VimMessageBuffers *b)
{
    size_t length = attributeLength(b->attributes[0], sizeof b->sender);
    if (length > VIM_SENDER_TEXT_OFFSET)
        setHeaderAnsiText(record, FIELD_FROM, b->sender + VIM_SENDER_TEXT_OFFSET,
                          length - VIM_SENDER_TEXT_OFFSET);
    else
        setHeaderAnsiText(record, FIELD_FROM, "", 0);
}

static void takeSubject(MessageHeader *record, const VimMessageBuffers *b)
{
    setHeaderAnsiText(record, FIELD_SUBJECT, b->subject,
                      attributeLength(b->attributes[1], sizeof b->subject));
}

static bool allOnes(const uint8_t *word)
{
    return word[0] == 0xFF && word[1] == 0xFF && word[2] == 0xFF && word[3] == 0xFF;
}

// Words 1 and 2 of the date, compared byte by byte in memory order. A word
// with every bit set is always new; such a date is not kept as the latest,
// since nothing could ever be later than it and every later arrival would go
// unnoticed for the rest of the run.
static bool takeIfNewer(const uint8_t *date)
{
    if (allOnes(date + 4) || allOnes(date + 8))
        return true;
    int byFirst = memcmp(date + 4, vimSource.latestDate + 4, 4);
    if (byFirst < 0 || (byFirst == 0 && memcmp(date + 8, vimSource.latestDate + 8, 4) <= 0))
        return false;
    memcpy(vimSource.latestDate, date, VIM_DATE_SIZE);
    return true;
}

static void removeCondemned(VimContainerHandle container, const MessageHeader *record,
                            const FilterEntry *entry)
{
    if (!shouldDeleteMessage(record, entry))
        return;
    VimStatus status = vimSource.removeMessage(container, buffers.reference);
    if (status != 0) {
        reportError("Unable to delete cc:Mail message");
        reportVimStatus(status);
        return;
    }
    if (config.settings.LogDeletes)
        logDeletion(record, entry);
}

void pollVim(void)
{
    VimSource &v = vimSource;
    if (notifier.pollInProgress || v.session == 0)
        return;
    beginPoll();
    VimContainerHandle container = NULL;
    VimStatus status = v.openContainer(v.session, NULL, &container);
    if (status != 0) {
        reportError("Unable to open cc:Mail mailbox");
        reportVimStatus(status);
        failPoll();
        return;
    }

    const Settings &s = config.settings;
    bool newMail = false;
    int lastIndex = -1;
    VimReference position;
    memset(&position, 0, sizeof position);
    uint32_t more = 0;
    v.walking = true;
    do {
        prepareAttributes(&buffers);
        uint32_t count = 1;
        more = 0;
        status = v.enumerateMessages(container, &position, 1, 4, buffers.attributes, &count,
                                     VIM_ENUMERATE_FILTER, NULL, s.UnreadOnly ? 1 : 0, &more);
        if (status != 0 || count != 1)
            break;
        lastIndex++;
        MessageHeader *record = openHeaderRecord(lastIndex, 0);
        takeSender(record, &buffers);
        takeSubject(record, &buffers);
        FilterEntry *entry = filterMatchFromOrSubject(record);
        if (entry)
            lastIndex--;
        if (takeIfNewer(buffers.date)) {
            if (entry) {
                removeCondemned(container, record, entry);
            } else {
                newMail = true;
                if (s.SoundOption == SOUND_WAVBASE)
                    record->soundEntry = soundMatchFromOrSubject(record);
            }
        }
        if (exitRequested())
            break;
        frontPumpMessages();
    } while (more != 0 && !v.closeAfterWalk);
    v.walking = false;

    v.closeContainer(container);
    publishPollResult(lastIndex, newMail);
    if (v.closeAfterWalk) {
        v.closeAfterWalk = false;
        closeVim();
    }
}

void unloadServiceLibraries(void)
{
    if (mapiSource.library)
        FreeLibrary(mapiSource.library);
    mapiSource.library = NULL;
    mapiSource.loaded = false;
    mapiSource.session = 0;
    if (vimSource.library)
        FreeLibrary(vimSource.library);
    vimSource.library = NULL;
    vimSource.loaded = false;
    vimSource.session = 0;
    vimSource.initialised = false;
}
