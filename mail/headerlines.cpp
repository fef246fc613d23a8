// Header lines: trimming, folded lines of a header block, the raw values the
// filters and the deletions log print, the display texts of From, Subject and
// Sender, and the parser the network sources run once per message.
#include <string.h>

#include "mail/mail.h"

namespace
{

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

const char *skipWhite(const char *text)
{
    while (isWhite(*text))
        text++;
    return text;
}

bool beginsWith(const char *data, size_t length, const char *name, size_t nameLength)
{
    return length >= nameLength && memcmp(data, name, nameLength) == 0;
}

// Moves the cursor as copyLine does with a buffer of capacity characters,
// without copying: past at most capacity - 1 characters up to the line end,
// then past the line ends.
void passLine(HeaderBlockCursor *cursor, size_t capacity)
{
    size_t span = (size_t)(cursor->end - cursor->pos);
    const char *stop = cursor->pos + (span < capacity - 1 ? span : capacity - 1);
    while (cursor->pos < stop && !isLineEnd(*cursor->pos))
        cursor->pos++;
    while (cursor->pos < cursor->end && isLineEnd(*cursor->pos))
        cursor->pos++;
}

// A half-open range [begin, end) of the value being examined.
struct Span {
    const char *begin;
    const char *end;
};

const char *findIn(Span s, char c)
{
    return s.begin < s.end ? (const char *)memchr(s.begin, c, (size_t)(s.end - s.begin)) : nullptr;
}

Span trimRight(Span s, const char *drop)
{
    while (s.end > s.begin && (isWhite(s.end[-1]) || strchr(drop, s.end[-1]) != nullptr) && s.end[-1] != '\0')
        s.end--;
    return s;
}

Span trimLeft(Span s, const char *drop)
{
    while (s.begin < s.end && (isWhite(*s.begin) || strchr(drop, *s.begin) != nullptr) && *s.begin != '\0')
        s.begin++;
    return s;
}

// Rule 4 of the display part: a value ending in "}", e.g. "addr (Name){x}".
Span braceDisplay(Span value)
{
    Span inner = {value.begin, value.end - 1}; // without the "}"
    const char *brace = findIn(inner, '{');
    if (!brace)
        return inner;
    if (brace > inner.begin && brace[-1] == ')') {
        const char *close = brace - 1;
        int depth = 0;
        for (const char *k = close; k >= inner.begin; k--) {
            if (*k == ')')
                depth++;
            else if (*k == '(' && --depth == 0) {
                Span group = trimLeft({k + 1, close}, "");
                if (group.begin < group.end)
                    return group;
                return trimRight({inner.begin, k}, "");
            }
            if (k == inner.begin)
                break;
        }
        return inner;
    }
    return {brace + 1, inner.end};
}

// The part of a From value that names the sender.
Span fromDisplay(Span value)
{
    if (value.begin == value.end)
        return value;
    if (*value.begin == '"') {
        Span rest = {value.begin + 1, value.end};
        const char *quote = findIn(rest, '"');
        if (quote)
            return {rest.begin, quote};
        return trimRight(rest, "");
    }
    const char *paren = findIn(value, '(');
    if (paren) {
        Span rest = trimLeft({paren + 1, value.end}, "(");
        const char *close = findIn(rest, ')');
        if (close)
            rest.end = close;
        return trimRight(rest, ")");
    }
    if (value.end[-1] == '>') {
        Span inner = {value.begin, value.end - 1};
        if (*value.begin == '<')
            return {value.begin + 1, inner.end};
        const char *open = findIn(inner, '<');
        // "name>" without any "<" is no address form: show it as written.
        if (!open)
            return value;
        return trimLeft(trimRight({inner.begin, open}, "\""), "\"");
    }
    if (value.end[-1] == '}')
        return braceDisplay(value);
    return value;
}

} // namespace

void trimTrailingSpace(char *line)
{
    size_t n = strlen(line);
    while (n > 0 && isWhite(line[n - 1]))
        n--;
    line[n] = '\0';
}

bool isBlankLine(const char *line)
{
    return *skipWhite(line) == '\0';
}

namespace
{

// The value after a field name of nameLength characters and the white space
// after it, with trailing white space dropped. An embedded NUL ends the line.
Span fieldValue(const char *line, size_t length, size_t nameLength)
{
    Span s = {line, line + strnlen(line, length)};
    s.begin += nameLength < (size_t)(s.end - s.begin) ? nameLength : (size_t)(s.end - s.begin);
    return trimLeft(trimRight(s, ""), "");
}

const struct {
    const char *name;
    size_t length;
    HeaderField field;
} fieldNames[] = {
    {"From:", 5, FIELD_FROM},
    {"Subject:", 8, FIELD_SUBJECT},
    {"Sender:", 7, FIELD_SENDER},
};

} // namespace

HeaderField headerFieldOf(const char *line, size_t length)
{
    for (const auto &f : fieldNames)
        if (length >= f.length && memcmp(line, f.name, f.length) == 0)
            return f.field;
    return FIELD_OTHER;
}

void copyRawValue(const char *line, size_t length, char *target, const char *fieldName, size_t nameLength)
{
    length = strnlen(line, length);
    if (length >= nameLength && compareNoCaseN(line, fieldName, nameLength) == 0) {
        line += nameLength;
        length -= nameLength;
        while (length > 0 && isWhite(*line)) {
            line++;
            length--;
        }
    }
    copyTextN(target, RAW_HEADER_SIZE, line, length < RAW_HEADER_SIZE - 1 ? length : RAW_HEADER_SIZE - 1);
}

int copyLine(HeaderBlockCursor *cursor, char *line, size_t capacity)
{
    if (capacity == 0)
        return 0;
    if (cursor->pos >= cursor->end) {
        line[0] = '\0';
        return 0;
    }
    size_t n = 0;
    while (cursor->pos < cursor->end && !isLineEnd(*cursor->pos) && n + 1 < capacity)
        line[n++] = *cursor->pos++;
    line[n] = '\0';
    // A cut line leaves its remainder for the next call; otherwise the line
    // ends (and any empty lines after it) are passed.
    while (cursor->pos < cursor->end && isLineEnd(*cursor->pos))
        cursor->pos++;
    return 1;
}

void appendContinuation(HeaderBlockCursor *cursor, char *line, size_t capacity)
{
    size_t n = strnlen(line, capacity);
    while (cursor->pos < cursor->end && (*cursor->pos == ' ' || *cursor->pos == '\t')) {
        // Room for the joining space and at least one character.
        if (n + 2 >= capacity)
            return;
        while (cursor->pos < cursor->end && (*cursor->pos == ' ' || *cursor->pos == '\t'))
            cursor->pos++;
        line[n++] = ' ';
        while (cursor->pos < cursor->end && !isLineEnd(*cursor->pos) && n + 1 < capacity)
            line[n++] = *cursor->pos++;
        line[n] = '\0';
        while (cursor->pos < cursor->end && isLineEnd(*cursor->pos))
            cursor->pos++;
    }
}

void decodeFromLine(MessageHeader *record, const char *line, size_t length)
{
    Span part = fromDisplay(fieldValue(line, length, 5));
    WideChar wide[HEADER_TEXT_SIZE];
    size_t units = decodeHeaderWide(part.begin, (size_t)(part.end - part.begin), wide, HEADER_TEXT_SIZE - 1);
    setHeaderText(record, FIELD_FROM, wide, units);
}

void decodeSubjectLine(MessageHeader *record, const char *line, size_t length)
{
    Span value = fieldValue(line, length, 8);
    WideChar wide[HEADER_TEXT_SIZE];
    size_t units =
        decodeHeaderWide(value.begin, (size_t)(value.end - value.begin), wide, HEADER_TEXT_SIZE - 1);
    setHeaderText(record, FIELD_SUBJECT, wide, units);
}

void decodeSenderLine(const char *line, size_t length, char *target, size_t size)
{
    if (size == 0)
        return;
    Span value = fieldValue(line, length, 7);
    decodeEncodedWordsN(target, value.begin, (size_t)(value.end - value.begin), size - 1);
}

void takeHeaderLine(HeaderField field, const char *line, size_t length, MessageHeader *record)
{
    switch (field) {
    case FIELD_FROM:
        copyRawValue(line, length, mail.rawFrom, "From:", 5);
        decodeFromLine(record, line, length);
        break;
    case FIELD_SUBJECT:
        copyRawValue(line, length, mail.rawSubject, "Subject:", 8);
        decodeSubjectLine(record, line, length);
        break;
    case FIELD_SENDER:
        copyRawValue(line, length, mail.rawSender, "Sender:", 7);
        decodeSenderLine(line, length, mail.senderText, sizeof mail.senderText);
        break;
    default: break;
    }
}

FilterEntry *filterMatchField(HeaderField field, const MessageHeader *record)
{
    switch (field) {
    case FIELD_FROM: return filterMatchFrom(record);
    case FIELD_SUBJECT: return filterMatchSubject(record);
    case FIELD_SENDER: return filterMatchSender();
    default: return nullptr;
    }
}

WavBaseEntry *soundMatchField(HeaderField field, const MessageHeader *record)
{
    switch (field) {
    case FIELD_FROM: return soundMatchFrom(record);
    case FIELD_SUBJECT: return soundMatchSubject(record);
    case FIELD_SENDER: return soundMatchSender();
    default: return nullptr;
    }
}

bool stopAfterFilterMatch(const FilterEntry *entry)
{
    if (!entry)
        return false;
    if (entry->action != FILTER_DELETE)
        return true;
    // A deletion that is confirmed or logged needs the rest of the header.
    return !config.settings.ConfirmDeletes && !config.settings.LogDeletes;
}

void parseHeaderBlock(const char *block, size_t length, MessageHeader *record, HeaderScanResult *result,
                      const ReceivedDate *storedDate, const ReceivedTime *storedTime,
                      ReceivedDate *newestDate, ReceivedTime *newestTime)
{
    const bool wavBase = config.settings.SoundOption == SOUND_WAVBASE;
    const bool useFilters = config.settings.UseFilters;
    const bool unreadOnly = config.settings.UnreadOnly;

    setNoFrom(record);
    setNoSubject(record);
    clearRawHeaders();
    bool receivedSeen = false, statusSeen = false;
    bool seen[FIELD_COUNT] = {};
    result->isNew = 0;
    result->isRead = 0;
    result->filterEntry = nullptr;
    if (wavBase)
        record->soundEntry = NO_SOUND;

    HeaderBlockCursor cursor = {block, block + length};
    char line[MAIL_LINE_SIZE];
    while (!(seen[FIELD_FROM] && seen[FIELD_SUBJECT] && (seen[FIELD_SENDER] || !useFilters)
             && (statusSeen || !unreadOnly))) {
        if (cursor.pos >= cursor.end)
            break;
        // A line is judged by the name at its start in the block (a name holds
        // no NUL or line end, so these are the first bytes of its copy). Only
        // a line that can change the result is copied; most lines of a header
        // (every one, with UnreadOnly and no Status line) are passed over.
        size_t left = (size_t)(cursor.end - cursor.pos);
        bool received = !receivedSeen && beginsWith(cursor.pos, left, "Received:", 9);
        bool status = !received && unreadOnly && !statusSeen && beginsWith(cursor.pos, left, "Status:", 7);
        HeaderField field = received || status ? FIELD_OTHER : headerFieldOf(cursor.pos, left);
        if (field != FIELD_OTHER && (seen[field] || (field == FIELD_SENDER && !useFilters)))
            field = FIELD_OTHER;
        if (!received && !status && field == FIELD_OTHER) {
            passLine(&cursor, sizeof line);
            continue;
        }
        copyLine(&cursor, line, sizeof line);

        if (received) {
            appendContinuation(&cursor, line, sizeof line);
            ReceivedDate date;
            ReceivedTime time;
            if (parseReceivedDate(line, &date, &time) && laterThan(&date, &time, storedDate, storedTime)) {
                result->isNew = 1;
                // The newest of the poll, whatever order the server lists the
                // messages in: the stored date must not move back to an older
                // message's and count a later one new again at the next poll.
                if (laterThan(&date, &time, newestDate, newestTime)) {
                    *newestDate = date;
                    *newestTime = time;
                }
                if (wavBase)
                    record->soundEntry = nullptr;
            }
            receivedSeen = true;
        } else if (status) {
            if (strchr(line + 7, 'R')) {
                result->isRead = 1;
                result->isNew = 0;
                if (wavBase)
                    record->soundEntry = NO_SOUND;
                return;
            }
            statusSeen = true;
        } else {
            // Sender lines are taken as they stand, without their folds.
            if (field != FIELD_SENDER)
                appendContinuation(&cursor, line, sizeof line);
            takeHeaderLine(field, line, strlen(line), record);
            seen[field] = true;
            if (!result->filterEntry) {
                result->filterEntry = filterMatchField(field, record);
                if (stopAfterFilterMatch(result->filterEntry))
                    return;
            }
            if (wavBase && result->isNew && soundUndecided(record->soundEntry))
                record->soundEntry = soundMatchField(field, record);
        }
    }
}
