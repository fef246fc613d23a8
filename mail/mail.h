// The mail model: the header record every source fills, the two header arrays,
// the side buffers of the message being parsed, header-line parsing and MIME
// decoding, filters, WAVBase matching and the mail-file source.
#ifndef PELIMBO_MAIL_MAIL_H
#define PELIMBO_MAIL_MAIL_H

#include <stddef.h>
#include <stdint.h>

#include "config/config.h"
#include "mail/headertext.h"

enum {
    HEADER_SLOTS = 100,    // records per header array
    HEADER_TEXT_SIZE = 56, // from / subject: 55 characters and the terminator
    RAW_HEADER_SIZE = 128, // rawFrom, rawSubject, rawSender: 127 characters
    SENDER_TEXT_SIZE = 61, // senderText: 60 characters
    MAIL_LINE_SIZE = 256,  // one line of a mail file or header block
    SNAPSHOT_ROWS = 100,
    SNAPSHOT_NAME_SIZE = 256,
};

// One waiting message as shown. soundEntry is NO_SOUND (not new / undecided),
// NULL (new, no WAVBase entry matched: the default sound) or an entry of
// config.wavBaseList.
struct MessageHeader {
    int32_t index;
    uint32_t sortKey; // mail files: DOS date << 16 | DOS time; else 0
    WavBaseEntry *soundEntry;
    char from[HEADER_TEXT_SIZE];
    char subject[HEADER_TEXT_SIZE];
};

// The record layout of the 32-bit program: four words and the two texts.
static_assert(sizeof(void *) != 4 || sizeof(MessageHeader) == 124,
              "MessageHeader must be 124 bytes in the 32-bit build");

// The From and Subject of a record in their own script, kept in an array
// parallel to the records (the record's layout is fixed). An empty text means
// the source gave only the ANSI form; headerWideText then converts that.
struct WideHeader {
    WideChar from[HEADER_TEXT_SIZE];
    WideChar subject[HEADER_TEXT_SIZE];
};

// The "no sound for this message" marker. A distinct address rather than an
// all-bits-set pointer, so it never aliases real memory.
extern WavBaseEntry noSoundMarker;
#define NO_SOUND (&noSoundMarker)

// True while soundEntry may still be replaced by a match.
inline bool soundUndecided(const WavBaseEntry *e)
{
    return e == nullptr || e == NO_SOUND;
}

struct ReceivedDate {
    int32_t year;
    uint8_t day;
    uint8_t month;
};

struct ReceivedTime {
    uint8_t minute;
    uint8_t hour;
    uint8_t hundredths;
    uint8_t second;
};

struct HeaderScanResult {
    int32_t isNew;
    int32_t isRead;
    FilterEntry *filterEntry;
};

// One row of a mail-file snapshot: a file name (no directory) and its size.
struct FileSnapshot {
    char name[SNAPSHOT_NAME_SIZE];
    uint32_t size;
};

enum MailFormat {
    MMDF = 0,
    UNIX_FROM = 1,
    SMF = 2,
    SINGLE_MESSAGE = 3,
    MAIL_FORMAT_UNKNOWN = -1
};

struct MailFileMemory;

// All state of the mail model, process-wide, touched on the window thread.
struct MailState {
    MessageHeader *workHeaders;  // filled by the running poll (slot = index mod 100)
    MessageHeader *shownHeaders; // painted
    WideHeader *workWide;        // the wide texts of workHeaders, slot for slot
    WideHeader *shownWide;       // and of shownHeaders
    char rawFrom[RAW_HEADER_SIZE];
    char rawSubject[RAW_HEADER_SIZE];
    char rawSender[RAW_HEADER_SIZE];
    char senderText[SENDER_TEXT_SIZE];

    // Mail-file source.
    FileSnapshot *currentSnapshot;
    FileSnapshot *previousSnapshot;
    int currentSnapshotCount;
    int previousSnapshotCount;
    uint16_t latestFileDate; // latestFileTime, MS-DOS form
    uint16_t latestFileTime;
    // What the last reading left to take up again (mail/mailscan.h).
    MailFileMemory *fileMemory;
};

extern MailState mail;

// The header lines whose values are kept: field names compared case-sensitively.
enum HeaderField {
    FIELD_OTHER,
    FIELD_FROM,
    FIELD_SUBJECT,
    FIELD_SENDER,
    FIELD_COUNT
};

// --- Header list ----------------------------------------------------------------
// Allocates the two arrays and the snapshot tables (zero-filled). Non-zero on success.
int allocateMailBuffers(void);
void freeMailBuffers(void);
// The next reading of the mail files takes every file as unseen: the snapshot
// and everything kept from the last reading are forgotten.
void forgetFileSnapshot(void);
void setNoFrom(MessageHeader *record);
void setNoSubject(MessageHeader *record);
void clearRawHeaders(void);
// Takes slot i mod 100 of workHeaders and opens it with the placeholders.
MessageHeader *openHeaderRecord(int index, uint32_t sortKey);
void commitHeaderList(int count);
// Sorts the first count shown records (and their wide texts) by ReverseSort.
void sortShownHeaders(int count);
// The wide texts that belong to a record of either array; null for any other.
WideHeader *wideHeaderOf(const MessageHeader *record);
// Sets the record's From or Subject from wide text: the ANSI form (best fit)
// into the record, the wide text beside it.
void setHeaderText(MessageHeader *record, HeaderField field, const WideChar *text, size_t units);
// Sets the record's From or Subject from the ANSI text a service returned
// (length bytes at most, or up to a NUL): cut at 55 bytes between characters,
// never inside a double-byte one, and shown in its own script from that cut form.
void setHeaderAnsiText(MessageHeader *record, HeaderField field, const char *text, size_t length);
// The From or Subject of a record as wide text (out holds HEADER_TEXT_SIZE):
// the decoded text, or the ANSI form converted when there is none.
size_t headerWideText(const MessageHeader *record, HeaderField field, WideChar *out);
int compareOldestFirst(const void *a, const void *b);
int compareNewestFirst(const void *a, const void *b);

// --- Header-line parsing and MIME decoding -------------------------------------------
void trimTrailingSpace(char *line);
bool isBlankLine(const char *line);
HeaderField headerFieldOf(const char *line, size_t length);
// Lines are given by text and length; none of these writes into the line.
void copyRawValue(const char *line, size_t length, char *target, const char *fieldName, size_t nameLength);
void decodeFromLine(MessageHeader *record, const char *line, size_t length);
void decodeSubjectLine(MessageHeader *record, const char *line, size_t length);
// The decoded Sender value into target (size bytes, at most 60 characters used
// by the caller's buffer).
void decodeSenderLine(const char *line, size_t length, char *target, size_t size);
// One unfolded From, Subject or Sender line of the message being parsed: its
// raw value into the side buffer, its display text into the record (Sender:
// into senderText). Both mail-file and network sources go through here.
void takeHeaderLine(HeaderField field, const char *line, size_t length, MessageHeader *record);
// The filter entry or WAVBase entry that matches what takeHeaderLine stored.
FilterEntry *filterMatchField(HeaderField field, const MessageHeader *record);
WavBaseEntry *soundMatchField(HeaderField field, const MessageHeader *record);
void decodeEncodedWords(char *target, const char *text, size_t maxChars);
// The same over text + length (the input need not be terminated).
void decodeEncodedWordsN(char *target, const char *text, size_t length, size_t maxChars);

// Reading position in a header block that a network source collected.
struct HeaderBlockCursor {
    const char *pos;
    const char *end;
};
// Copies the next line (up to CR or LF, at most capacity - 1 characters) and
// skips the line ends after it. Zero when the block is used up.
int copyLine(HeaderBlockCursor *cursor, char *line, size_t capacity);
// Appends the folded continuation lines that follow, one space per fold, while
// the line buffer has room.
void appendContinuation(HeaderBlockCursor *cursor, char *line, size_t capacity);
bool parseReceivedDate(const char *line, ReceivedDate *date, ReceivedTime *time);
int compareDates(const ReceivedDate *a, const ReceivedDate *b);
int compareTimes(const ReceivedTime *a, const ReceivedTime *b);
// True when date and time come after thanDate and thanTime.
bool laterThan(const ReceivedDate *date, const ReceivedTime *time, const ReceivedDate *thanDate,
               const ReceivedTime *thanTime);
// The header block a network source collected for one message (text, length).
void parseHeaderBlock(const char *block, size_t length, MessageHeader *record, HeaderScanResult *result,
                      const ReceivedDate *storedDate, const ReceivedTime *storedTime,
                      ReceivedDate *newestDate, ReceivedTime *newestTime);

// --- Filters and deletions log -----------------------------------------------------------
FilterEntry *filterMatchFrom(const MessageHeader *record);
FilterEntry *filterMatchSubject(const MessageHeader *record);
FilterEntry *filterMatchSender(void);
FilterEntry *filterMatchFromOrSubject(const MessageHeader *record);
bool stopAfterFilterMatch(const FilterEntry *entry);
const char *matchFieldName(uint8_t match);
// The confirmation question shouldDeleteMessage asks. Zero when it was cut.
int formatDeleteQuestion(char *text, size_t size, const MessageHeader *record, const FilterEntry *entry);
// The local time a deletions log entry is stamped with.
struct LogTimestamp {
    int year, month, day, hour, minute, second;
};
enum {
    DELETION_LOG_ENTRY_SIZE = 1024
}; // room for the longest entry
// One deletions log entry, lines ended by "\n" (the file gets CR LF). Zero when cut.
int formatDeletionLog(char *text, size_t size, const MessageHeader *record, const FilterEntry *entry,
                      const LogTimestamp *when);

// --- WAVBase -----------------------------------------------------------------------------
WavBaseEntry *soundMatchFrom(const MessageHeader *record);
WavBaseEntry *soundMatchSubject(const MessageHeader *record);
WavBaseEntry *soundMatchSender(void);
WavBaseEntry *soundMatchFromOrSubject(const MessageHeader *record);
// True when entry is one of the current config.wavBaseList (a record may still
// refer to an entry of a list that has since been reloaded).
bool isCurrentWavBaseEntry(const WavBaseEntry *entry);
// Receives each sound of a notification in turn, to be played to its end.
typedef void (*WavBasePlayer)(const char *soundFile, void *context);
// Which sounds a notification plays for the first shownCount records of
// mail.shownHeaders, in shown order; with WAVOnce each entry and the default
// sound at most once. Returns the number of sounds handed to play.
int planWavBaseSounds(int shownCount, WavBasePlayer play, void *context);

#endif
