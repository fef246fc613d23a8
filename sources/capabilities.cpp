#include "sources/capabilities.h"

#include "base/text.h"
#include "sources/net.h"

namespace
{

bool sameWord(const char *word, size_t length, const char *name)
{
    size_t i = 0;
    for (; i < length && name[i]; i++)
        if (lowerChar(word[i]) != lowerChar(name[i]))
            return false;
    return i == length && name[i] == '\0';
}

// Calls take for each blank-separated word of line from start on (line ends dropped).
template <typename Take>
void eachWord(const char *line, size_t length, size_t start, Take take)
{
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n'))
        length--;
    size_t at = start;
    while (at < length) {
        while (at < length && (line[at] == ' ' || line[at] == '\t'))
            at++;
        size_t end = at;
        while (end < length && line[end] != ' ' && line[end] != '\t')
            end++;
        if (end > at)
            take(line + at, end - at);
        at = end;
    }
}

void takeMechanism(const char *word, size_t length, ServerOffer *offer)
{
    if (sameWord(word, length, "OAUTHBEARER"))
        offer->oauthBearer = true;
    else if (sameWord(word, length, "XOAUTH2"))
        offer->xoauth2 = true;
}

// Where the list of a "[CAPABILITY ...]" code runs in "<tag> OK [CAPABILITY
// ...] text" or "* PREAUTH [CAPABILITY ...] text": from *start to *end, the
// closing bracket. False for any other line.
bool capabilityCode(const char *line, size_t length, size_t *start, size_t *end)
{
    size_t at = 0;
    while (at < length && line[at] != ' ')
        at++; // the tag, or "*"
    if (at == 0 || at >= length)
        return false;
    at++;
    if (beginsNoCase(line + at, length - at, "OK "))
        at += 3;
    else if (beginsNoCase(line + at, length - at, "PREAUTH "))
        at += 8;
    else
        return false;
    if (!beginsNoCase(line + at, length - at, "[CAPABILITY "))
        return false;
    *start = at + 12;
    for (*end = *start; *end < length; (*end)++)
        if (line[*end] == ']')
            return true;
    return false; // no closing bracket: not a code
}

} // namespace

bool readImapCapabilities(const char *line, size_t length, ServerOffer *offer)
{
    size_t start = 13, end = length;
    if (!beginsNoCase(line, length, "* CAPABILITY ") && !capabilityCode(line, length, &start, &end))
        return false;
    eachWord(line, end, start, [offer](const char *word, size_t n) {
        if (n > 5 && beginsNoCase(word, n, "AUTH="))
            takeMechanism(word + 5, n - 5, offer);
        else if (sameWord(word, n, "SASL-IR"))
            offer->initialResponse = true;
        else if (sameWord(word, n, "IDLE"))
            offer->idle = true;
    });
    return true;
}

void readPop3Capability(const char *line, size_t length, ServerOffer *offer)
{
    if (!beginsNoCase(line, length, "SASL "))
        return;
    eachWord(line, length, 5, [offer](const char *word, size_t n) { takeMechanism(word, n, offer); });
}

SaslMechanism chooseSaslMechanism(const ServerOffer *offer)
{
    if (offer->oauthBearer)
        return SASL_OAUTHBEARER;
    if (offer->xoauth2)
        return SASL_XOAUTH2;
    return SASL_NONE;
}
