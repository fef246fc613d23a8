// The Lotus Notes source: the session (library, initialisation on the user's
// ID file, the user's canonical name) and the poll of the mail database's
// inbox folder or Notes 3 view.
#include "sources/notes.h"

#include <string.h>

#include "config/config.h"
#include "mail/mail.h"
#include "core/frontend.h"
#include "core/core.h"
#include "sources/sources.h"

NotesSource notesSource;

namespace
{

// A poll is running (the session must not go away beneath it) and a close was
// asked for meanwhile.
bool polling;
bool closeAfterPoll;

// The program's own file, for the interface's initialisation.
NotesStatus initialise(void)
{
    static char program[PATH_SIZE];
    copyText(program, config.modulePath);
    char *arguments[2] = {program, NULL};
    return notesSource.api.NotesInitExtended(1, arguments);
}

// A setting read from the client's environment. Libraries differ in what the
// call returns (true when found, or 0 for success), so the text decides: any
// text replaces the stored value, none leaves it alone.
void readEnvironment(const char *name, char *target, size_t size, uint16_t limit)
{
    char value[LOGIN_SIZE + 1];
    memset(value, 0, sizeof value);
    if (limit > LOGIN_SIZE)
        limit = LOGIN_SIZE;
    notesSource.api.OSGetEnvironmentString(name, value, limit);
    value[limit] = '\0';
    if (value[0] != '\0')
        copyText(target, size, value);
}

void reportPollError(const char *text, NotesStatus status)
{
    if (config.settings.NotesPollErrors)
        reportNotesError(text, status);
}

// One item of a note as native text, or the placeholder when it is missing.
// The whole item is translated, so that the cut to the record's length falls
// between characters.
void readItem(NotesHandle note, uint16_t item, MessageHeader *record, HeaderField field)
{
    char stored[NOTES_ITEM_TEXT_SIZE] = "";
    uint16_t length = 0;
    NotesStatus status =
        notesSource.api.MailGetMessageItem(note, item, stored, NOTES_ITEM_TEXT_SIZE - 1, &length);
    if (length > NOTES_ITEM_TEXT_SIZE - 1)
        length = NOTES_ITEM_TEXT_SIZE - 1;
    stored[length] = '\0';
    if (status != 0 || stored[0] == '\0') {
        if (field == FIELD_FROM)
            setNoFrom(record);
        else
            setNoSubject(record);
        return;
    }
    char native[NOTES_NATIVE_TEXT_SIZE];
    uint16_t written = notesSource.api.OSTranslate(1, stored, length, native, sizeof native - 1);
    if (written > sizeof native - 1)
        written = sizeof native - 1;
    setHeaderAnsiText(record, field, native, written);
}

struct EntryScan {
    NotesHandle database;
    NotesHandle unread; // 0 unless UnreadOnly
    int lastIndex;
    bool newMail;
};

// One entry of the view: true to go on with the next one.
bool examineEntry(EntryScan *scan, int index, NotesNoteId id)
{
    const NotesInterface &api = notesSource.api;
    const bool wavBase = config.settings.SoundOption == SOUND_WAVBASE;
    NotesHandle note = 0;
    NotesStatus status = api.NSFNoteOpen(scan->database, id, 0, &note);
    if (status != 0) {
        reportPollError("Unable to open Notes message", status);
        return true;
    }
    if (scan->unread && !api.IDIsPresent(scan->unread, id)) {
        api.NSFNoteClose(note);
    } else {
        frontPumpMessages();
        scan->lastIndex++;
        MessageHeader *record = openHeaderRecord(scan->lastIndex, 0);
        record->index = index;
        readItem(note, NOTES_ITEM_SENDER, record, FIELD_FROM);
        readItem(note, NOTES_ITEM_SUBJECT, record, FIELD_SUBJECT);

        FilterEntry *filter = filterMatchFromOrSubject(record);
        if (filter)
            scan->lastIndex--;
        // A note without the item compares as the oldest time there is.
        NotesTimeDate posted = {{0, 0}};
        api.MailGetMessageItemTimeDate(note, NOTES_ITEM_POSTED, &posted);
        if (wavBase)
            record->soundEntry = NO_SOUND;

        bool condemned = false;
        if (!notesSource.haveLatest || api.TimeDateCompare(&posted, &notesSource.latest) > 0) {
            notesSource.latest = posted;
            notesSource.haveLatest = true;
            if (filter) {
                condemned = shouldDeleteMessage(record, filter);
            } else {
                scan->newMail = true;
                if (wavBase)
                    record->soundEntry = soundMatchFromOrSubject(record);
            }
        }
        api.NSFNoteClose(note);
        if (condemned) {
            status = api.NSFNoteDelete(scan->database, id, 0);
            if (status != 0)
                reportPollError("Unable to delete Notes message", status);
            else if (config.settings.LogDeletes)
                logDeletion(record, filter);
        }
    }
    if (exitRequested() || closeAfterPoll)
        return false;
    frontPumpMessages();
    return true;
}

// Reads the note ids of the view and examines the last ones. False when the
// entries could not be read.
bool readEntries(EntryScan *scan, NotesHandle collection)
{
    const NotesInterface &api = notesSource.api;
    NotesCollectionPosition position;
    memset(&position, 0, sizeof position);
    NotesHandle buffer = 0;
    uint32_t count = 0;
    uint16_t signal = 0;
    NotesStatus status = api.NIFReadEntries(collection, &position, 1, 1, 1, 0x7FFFFFFF, 1, &buffer, NULL,
                                            NULL, &count, &signal);
    if (status != 0) {
        reportPollError("Unable to read Notes mail messages", status);
        return false;
    }
    if (!buffer)
        return true;
    const NotesNoteId *ids = static_cast<const NotesNoteId *>(api.OSLockObject(buffer));
    if (ids) {
        // Only the last entries are examined, whatever UnreadOnly says: the
        // view's order decides which messages those are.
        uint32_t first = count > NOTES_EXAMINED_MAX ? count - NOTES_EXAMINED_MAX : 0;
        for (uint32_t i = first; i < count; i++) {
            NotesNoteId id;
            memcpy(&id, &ids[i], sizeof id);
            if (!examineEntry(scan, (int)i, id))
                break;
        }
    }
    api.OSUnlockObject(buffer);
    api.OSMemFree(buffer);
    return true;
}

// The database is open: finds the folder or view, reads it, and closes what it
// opened. False when the poll failed.
bool pollDatabase(EntryScan *scan)
{
    const NotesInterface &api = notesSource.api;
    const Settings &s = config.settings;
    const char *view = s.Notes3xMailbox ? s.Notes3xView : s.notesFolderView;
    NotesNoteId viewId = 0;
    NotesStatus status = api.NIFFindDesignNote(scan->database, view, NOTES_VIEW_CLASS, &viewId);
    if (status != 0) {
        reportPollError("Error finding Notes folder", status);
        return false;
    }
    NotesHandle collection = 0;
    status = api.NIFOpenCollection(scan->database, scan->database, viewId, 0, 0, &collection, NULL, NULL,
                                   NULL, NULL);
    if (status != 0) {
        reportPollError("Error opening Notes folder", status);
        return false;
    }
    bool ok = true;
    if (s.UnreadOnly) {
        status = api.NSFDbGetUnreadNoteTable(scan->database, notesSource.canonicalName,
                                             (uint16_t)strlen(notesSource.canonicalName), 1, &scan->unread);
        if (status != 0 || !scan->unread) {
            reportPollError("Unable to get Notes unread note table", status);
            scan->unread = 0;
            ok = false;
        } else {
            frontPumpMessages();
        }
    }
    if (ok)
        ok = readEntries(scan, collection);
    if (scan->unread)
        api.OSMemFree(scan->unread);
    api.NIFCloseCollection(collection);
    return ok;
}

} // namespace

void reportNotesError(const char *text, NotesStatus status)
{
    reportError(text);
    char message[NOTES_ERROR_TEXT_SIZE] = "";
    uint16_t length =
        notesSource.api.OSLoadString(NULL, status & NOTES_ERROR_MASK, message, NOTES_ERROR_TEXT_SIZE - 1);
    if (length > NOTES_ERROR_TEXT_SIZE - 1)
        length = NOTES_ERROR_TEXT_SIZE - 1;
    message[length] = '\0';
    reportError(message);
}

void openNotes(void)
{
    if (notesSource.loaded)
        return;
    if (!loadNotesLibrary(&notesSource.api))
        return;
    const NotesInterface &api = notesSource.api;
    Settings &s = config.settings;
    if (!s.UseNotesSettings) {
        if (initialise() != 0) {
            unloadNotesLibrary();
            reportError("Error initializing Notes");
            return;
        }
        // Makes the configured ID file the key file of the user's Notes
        // environment; the change is permanent, as Notes keeps it.
        api.OSSetEnvironmentVariable("KeyFilename", s.LoginRaw);
        api.NotesTerm();
    }
    if (initialise() != 0) {
        unloadNotesLibrary();
        reportError("Error initializing Notes");
        return;
    }
    notesSource.loaded = true;
    if (s.UseNotesSettings) {
        readEnvironment("KeyFilename", s.LoginRaw, sizeof s.LoginRaw, LOGIN_SIZE);
        copyText(s.Login, s.LoginRaw);
        readEnvironment("MailServer", s.NotesServer, sizeof s.NotesServer, PATH_SIZE);
        readEnvironment("MailFile", s.NotesMailDatabase, sizeof s.NotesMailDatabase, PATH_SIZE);
    }
    char name[NOTES_NAME_SIZE + 1] = "";
    uint16_t length = 0;
    NotesStatus status = api.REGGetIDInfo(s.LoginRaw, NOTES_ID_USER_NAME, name, NOTES_NAME_SIZE, &length);
    if (status != 0) {
        reportNotesError("Unable to get Notes user name", status);
        closeNotes();
        return;
    }
    if (length < NOTES_NAME_SIZE)
        name[length] = '\0';
    copyText(notesSource.userName, name);
    char canonical[NOTES_NAME_SIZE + 1] = "";
    status = api.DNCanonicalize(0, NULL, notesSource.userName, canonical, NOTES_NAME_SIZE, NULL);
    if (status != 0) {
        reportNotesError("Unable to get Notes canonical user name", status);
        closeNotes();
        return;
    }
    copyText(notesSource.canonicalName, canonical);
}

void closeNotes(void)
{
    if (!notesSource.loaded)
        return;
    // The poll that runs beneath (messages are dispatched between notes) ends
    // first and then closes the session.
    if (polling) {
        closeAfterPoll = true;
        return;
    }
    notesSource.loaded = false;
    notesSource.api.NotesTerm();
    unloadNotesLibrary();
}

void pollNotes(void)
{
    if (notifier.pollInProgress || !notesSource.loaded)
        return;
    beginPoll();
    polling = true;
    const NotesInterface &api = notesSource.api;
    const Settings &s = config.settings;

    // "Local" in any letter case is the local machine.
    const char *server = compareNoCase(s.NotesServer, "Local") == 0 ? "" : s.NotesServer;
    // Room for the longest server and database names the settings hold and
    // the separator the interface puts between them.
    char path[4 * NOTES_PATH_SIZE] = "";
    EntryScan scan = {0, 0, -1, false};
    bool failed = true;
    NotesStatus status = api.OSPathNetConstruct(NULL, server, s.NotesMailDatabase, path);
    path[sizeof path - 1] = '\0';
    if (status != 0) {
        reportPollError("Error constructing Notes mail file path", status);
    } else if ((status = api.NSFDbOpen(path, &scan.database)) != 0) {
        reportPollError("Error opening mail database", status);
    } else {
        failed = !pollDatabase(&scan);
        api.NSFDbClose(scan.database);
    }

    polling = false;
    if (failed)
        failPoll();
    else
        publishPollResult(scan.lastIndex, scan.newMail);
    if (closeAfterPoll) {
        closeAfterPoll = false;
        closeNotes();
    }
}
