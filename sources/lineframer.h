// Splitting a server's reply into lines. The POP3 and IMAP4 clients judge a
// status word or a tag only once the whole line that holds it has arrived, so
// a reply cut anywhere by the network reads the same as one that came whole.
#ifndef PELIMBO_SOURCES_LINEFRAMER_H
#define PELIMBO_SOURCES_LINEFRAMER_H

#include <stddef.h>

enum {
    REPLY_LINE_SIZE = 512
};

struct LineFramer {
    // The line so far, line end included, always terminated. Bytes beyond its
    // room are dropped: the beginning, where the status word and the tag
    // stand, is what the clients read.
    char line[REPLY_LINE_SIZE];
    size_t length;
    bool complete; // the line has ended; the next byte starts a new one
};

// Forgets any partial line (a new reply begins).
void resetLineFramer(LineFramer *framer);

// Takes bytes of data from *at up to and including the next line feed (never
// past length) and moves *at past them. True when a whole line is in
// framer->line; the next call then starts a new line.
bool takeLine(LineFramer *framer, const char *data, size_t length, size_t *at);

#endif
