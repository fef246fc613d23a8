// The matching rule filters and the WAVBase share: a case-insensitive substring
// test of an entry's text on the display text or the raw (undecoded) text.
#ifndef PELIMBO_MAIL_TEXTMATCH_H
#define PELIMBO_MAIL_TEXTMATCH_H

#include <stddef.h>
#include <stdint.h>

#include "mail/mail.h"

// Which header line is being matched: From-type entries also match Sender.
enum MatchLine {
    LINE_FROM,
    LINE_SUBJECT,
    LINE_SENDER
};

// Lower-case copies of one line's display and raw texts, cut to their limits.
struct MatchTexts {
    MatchLine line;
    char display[SENDER_TEXT_SIZE];
    char raw[RAW_HEADER_SIZE];
};

// The texts of the record's From or Subject line, or of the Sender side buffers.
void prepareMatchTexts(MatchTexts *texts, MatchLine line, const MessageHeader *record);

// True when an entry with this text and match field applies to the line and
// its text occurs in either copy. An empty text matches every message.
bool entryMatches(const char *entryText, uint8_t entryMatch, const MatchTexts *texts);

#endif
