// The buffered line reader of the mail-file source (see linereader.h).
#include "mail/linereader.h"

#include "base/text.h"

#include <string.h>

void initLineReader(LineReader *reader, char *buffer, size_t capacity, ReadBytesFn readBytes, void *source)
{
    reader->buffer = buffer;
    reader->capacity = capacity;
    reader->length = 0;
    reader->position = 0;
    reader->readBytes = readBytes;
    reader->source = source;
    reader->consumed = 0;
    reader->pushedBack = -1;
    reader->atEnd = false;
}

// Replaces the held bytes with the next block. False at the end of the data.
static bool refill(LineReader *reader)
{
    if (reader->atEnd)
        return false;
    reader->consumed += reader->length;
    reader->position = 0;
    reader->length = reader->readBytes(reader->source, reader->buffer, reader->capacity);
    if (reader->length > reader->capacity)
        reader->length = reader->capacity;
    if (reader->length == 0) {
        reader->atEnd = true;
        return false;
    }
    return true;
}

int readChar(LineReader *reader)
{
    if (reader->pushedBack >= 0) {
        int c = reader->pushedBack;
        reader->pushedBack = -1;
        return c;
    }
    if (reader->position >= reader->length && !refill(reader))
        return -1;
    return (unsigned char)reader->buffer[reader->position++];
}

void unreadChar(LineReader *reader, int c)
{
    if (c < 0)
        return;
    // The usual case gives back the byte just taken from the buffer.
    if (reader->pushedBack < 0 && reader->position > 0
        && (unsigned char)reader->buffer[reader->position - 1] == (unsigned)c)
        reader->position--;
    else
        reader->pushedBack = c;
}

uint64_t readerOffset(const LineReader *reader)
{
    return reader->consumed + reader->position - (reader->pushedBack >= 0 ? 1 : 0);
}

void setReaderOffset(LineReader *reader, uint64_t offset)
{
    reader->consumed = offset;
}

size_t readLine(LineReader *reader, char *line, size_t capacity)
{
    if (capacity == 0)
        return 0;
    size_t room = capacity - 1;
    size_t n = 0;
    if (room > 0 && reader->pushedBack >= 0) {
        char c = (char)reader->pushedBack;
        reader->pushedBack = -1;
        line[n++] = c;
        if (c == '\n') {
            line[n] = '\0';
            return n;
        }
    }
    while (n < room) {
        if (reader->position >= reader->length && !refill(reader))
            break;
        size_t want = room - n;
        size_t available = reader->length - reader->position;
        if (available < want)
            want = available;
        const char *start = reader->buffer + reader->position;
        const char *end = findLineEnd(start, want);
        size_t take = end ? (size_t)(end - start) + 1 : want;
        memcpy(line + n, start, take);
        n += take;
        reader->position += take;
        if (end) {
            line[n] = '\0';
            return n;
        }
    }
    line[n] = '\0';
    // A line that exactly fills the buffer: its own line end (LF or CR LF) is
    // taken with it. Left behind it would read as an empty line, which ends the
    // header block of a message in the middle.
    if (n == room && n > 0) {
        int c = readChar(reader);
        if (c == '\r') {
            int d = readChar(reader);
            if (d != '\n')
                unreadChar(reader, d); // a lone CR is dropped: it is white space anyway
        } else if (c != '\n') {
            unreadChar(reader, c);
        }
    }
    return n;
}

static bool blankText(const char *text)
{
    for (; *text; ++text)
        if (!isWhite(*text))
            return false;
    return true;
}

bool joinContinuationLines(LineReader *reader, char *line, size_t capacity)
{
    for (;;) {
        int c = readChar(reader);
        if (c != ' ' && c != '\t') {
            unreadChar(reader, c);
            return false;
        }
        size_t end = strlen(line);
        while (end > 0 && isWhite(line[end - 1]))
            --end;
        // Too little room: the blank just read is lost and the rest of that
        // physical line is read as a line of its own.
        if (end > 0 && end - 1 + 4 >= capacity)
            return false;
        if (capacity < 4)
            return false;
        size_t at = end;
        if (end > 0)
            line[at++] = ' ';
        line[at] = '\0';
        readLine(reader, line + at, capacity - at);
        if (blankText(line + at)) {
            line[end] = '\0';
            return true;
        }
        size_t skip = 0;
        while (isWhite(line[at + skip]))
            ++skip;
        if (skip > 0)
            memmove(line + at, line + at + skip, strlen(line + at + skip) + 1);
    }
}
