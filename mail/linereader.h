// A buffered line reader over any byte source (a Windows file handle, a memory
// block in tests and the fuzzer). The buffer is the caller's and never grows, so
// reading a mailbox of any size takes the same memory.
//
// Line ends: a line ends after LF. Everything else, CR included, is an ordinary
// character: a CR LF line keeps its CR, which the callers strip with the other
// trailing white space, and a file with CR-only line ends reads as long lines
// cut into pieces. NUL bytes are delivered like any other byte (callers that
// treat the line as a C string simply see it end there). The byte 0x1A has no
// meaning: a C runtime in text mode stops reading at it, which would hide every
// message after a stray Ctrl-Z, so the whole file is always read.
#ifndef PELIMBO_MAIL_LINEREADER_H
#define PELIMBO_MAIL_LINEREADER_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Fills buffer with up to size bytes; returns the number read, 0 at the end or
// on a read error.
typedef size_t (*ReadBytesFn)(void *source, char *buffer, size_t size);

struct LineReader {
    char *buffer; // the caller's buffer
    size_t capacity;
    size_t length;   // bytes held
    size_t position; // next byte to hand out
    ReadBytesFn readBytes;
    void *source;
    uint64_t consumed; // bytes taken from the source before the held ones
    int pushedBack;    // a character given back by unreadChar, or -1
    bool atEnd;        // the source reported its end
};

void initLineReader(LineReader *reader, char *buffer, size_t capacity, ReadBytesFn readBytes, void *source);

// The next byte (0..255), or -1 at the end of the data.
int readChar(LineReader *reader);
// Gives back the character just read; the next readChar returns it again.
void unreadChar(LineReader *reader, int c);

// Byte offset of the next character that will be read.
uint64_t readerOffset(const LineReader *reader);
// Before the first read: the source has been positioned at offset (a reading
// that takes up a file where an earlier one ended), readerOffset counts from there.
void setReaderOffset(LineReader *reader, uint64_t offset);

// Reads one line like fgets: at most capacity - 1 characters, the LF kept when
// it fits, always NUL-terminated. The rest of a longer line becomes the next
// line; a line that exactly fills the buffer still takes its own line end with
// it, so it does not produce an empty line after it. Returns the number of
// characters stored (0 only at the end of the data).
size_t readLine(LineReader *reader, char *line, size_t capacity);

// The first LF among the n bytes at text, or null. Word by word: the C
// runtime's memchr is a loop over single bytes on some platforms (Wine's),
// and every byte of a mailbox passes through here.
inline const char *findLineEnd(const char *text, size_t n)
{
    const char *end = text + n;
#if defined(__SSE2__)
    // Sixteen bytes at a time where the processor surely has SSE2 (every
    // x86_64; the 32-bit program is built for processors that may not).
    const __m128i lineEnds = _mm_set1_epi8('\n');
    for (; end - text >= 16; text += 16) {
        __m128i block = _mm_loadu_si128((const __m128i *)text);
        int marks = _mm_movemask_epi8(_mm_cmpeq_epi8(block, lineEnds));
        if (marks)
            return text + __builtin_ctz((unsigned)marks);
    }
#endif
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    for (; end - text >= 8; text += 8) {
        uint64_t word;
        memcpy(&word, text, 8);
        uint64_t x = word ^ (ones * '\n');
        // The lowest marked byte is the first LF (x86 is little-endian);
        // marks above it may be false.
        uint64_t marks = (x - ones) & ~x & highs;
        if (marks)
            return text + (__builtin_ctzll(marks) >> 3);
    }
    for (; text < end; ++text)
        if (*text == '\n')
            return text;
    return nullptr;
}

// The next line exactly as readLine with the same capacity would cut it, shown
// where it lies in the buffer, so that a caller can pass over lines it has no
// use for without copying them.
struct LinePeek {
    const char *text; // the bytes readLine would store (its LF included)
    size_t length;
    size_t span; // the bytes readLine would take: the line end it swallows too
};

// Fills peek and returns true when the next line lies whole in the held bytes,
// together with the two bytes after it that decide a full line's end. False
// near the end of the held bytes or after unreadChar: readLine the line then.
inline bool peekLine(const LineReader *reader, size_t capacity, LinePeek *peek)
{
    if (capacity < 2 || reader->pushedBack >= 0)
        return false;
    size_t room = capacity - 1;
    size_t available = reader->length - reader->position;
    const char *start = reader->buffer + reader->position;
    const char *end = findLineEnd(start, available < room ? available : room);
    if (end) {
        peek->text = start;
        peek->length = peek->span = (size_t)(end - start) + 1;
        return true;
    }
    // A full line: readLine looks at the two bytes after it for its line end.
    if (available < room + 2)
        return false;
    peek->text = start;
    peek->length = peek->span = room;
    if (start[room] == '\n')
        peek->span += 1;
    else if (start[room] == '\r')
        peek->span += start[room + 1] == '\n' ? 2 : 1;
    return true;
}

// Takes the line peekLine showed.
inline void passLine(LineReader *reader, const LinePeek *peek)
{
    reader->position += peek->span;
}

// Unfolds a header line: appends the continuation lines (those that begin with
// a space or a tab) that follow it, each fold becoming one space. Stops when the
// line buffer has fewer than 4 free characters. Returns true when the joining
// ended at a line of only white space (the end of the header block), which it
// has then consumed.
bool joinContinuationLines(LineReader *reader, char *line, size_t capacity);

#endif
