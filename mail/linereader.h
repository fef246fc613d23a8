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

// Reads one line like fgets: at most capacity - 1 characters, the LF kept when
// it fits, always NUL-terminated. The rest of a longer line becomes the next
// line; a line that exactly fills the buffer still takes its own line end with
// it, so it does not produce an empty line after it. Returns the number of
// characters stored (0 only at the end of the data).
size_t readLine(LineReader *reader, char *line, size_t capacity);

// Unfolds a header line: appends the continuation lines (those that begin with
// a space or a tab) that follow it, each fold becoming one space. Stops when the
// line buffer has fewer than 4 free characters. Returns true when the joining
// ended at a line of only white space (the end of the header block), which it
// has then consumed.
bool joinContinuationLines(LineReader *reader, char *line, size_t capacity);

#endif
