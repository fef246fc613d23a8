// Reading single IMAP4 server lines: the mailbox changes a watching client is
// told of, and the server's goodbye. Each takes one line (line end included
// or not) as pointer and length and never reads past it.
#include "sources/net.h"

#include <string.h>

static bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

static bool isWordEnd(const char *line, size_t length, size_t at)
{
    return at >= length || line[at] == ' ' || isLineEnd(line[at]);
}

// The word at *at (up to a blank, a bracket or the line end), and *at past it.
static size_t takeWord(const char *line, size_t length, size_t *at, const char **word)
{
    size_t start = *at;
    while (*at < length && line[*at] != ' ' && line[*at] != ']' && !isLineEnd(line[*at]))
        (*at)++;
    *word = line + start;
    return *at - start;
}

static bool sameWord(const char *word, size_t length, const char *name)
{
    return length == strlen(name) && beginsNoCase(word, length, name);
}

MailboxChange imapMailboxChange(const char *line, size_t length)
{
    if (length < 2 || line[0] != '*' || line[1] != ' ')
        return MAILBOX_UNCHANGED;
    size_t at = 2;
    size_t digits = at;
    while (at < length && line[at] >= '0' && line[at] <= '9')
        at++;
    if (at == digits || at >= length || line[at] != ' ')
        return MAILBOX_UNCHANGED;
    at++;
    const char *word;
    size_t wordLength = takeWord(line, length, &at, &word);
    if (!isWordEnd(line, length, at))
        return MAILBOX_UNCHANGED; // "* 3 EXISTS]": not the response
    if (sameWord(word, wordLength, "EXISTS"))
        return MAILBOX_EXISTS;
    if (sameWord(word, wordLength, "EXPUNGE"))
        return MAILBOX_EXPUNGE;
    if (sameWord(word, wordLength, "FETCH"))
        return MAILBOX_FETCH;
    return MAILBOX_UNCHANGED;
}

bool imapByeLine(const char *line, size_t length)
{
    return length >= 5 && line[0] == '*' && line[1] == ' ' && beginsNoCase(line + 2, length - 2, "BYE")
           && isWordEnd(line, length, 5);
}
