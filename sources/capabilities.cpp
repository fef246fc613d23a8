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

void takeMechanism(const char *word, size_t length, SaslOffer *offer)
{
    if (sameWord(word, length, "OAUTHBEARER"))
        offer->oauthBearer = true;
    else if (sameWord(word, length, "XOAUTH2"))
        offer->xoauth2 = true;
}

} // namespace

void readImapCapabilities(const char *line, size_t length, SaslOffer *offer)
{
    if (!beginsNoCase(line, length, "* CAPABILITY "))
        return;
    eachWord(line, length, 13, [offer](const char *word, size_t n) {
        if (n > 5 && beginsNoCase(word, n, "AUTH="))
            takeMechanism(word + 5, n - 5, offer);
        else if (sameWord(word, n, "SASL-IR"))
            offer->initialResponse = true;
    });
}

void readPop3Capability(const char *line, size_t length, SaslOffer *offer)
{
    if (!beginsNoCase(line, length, "SASL "))
        return;
    eachWord(line, length, 5, [offer](const char *word, size_t n) { takeMechanism(word, n, offer); });
}

SaslMechanism chooseSaslMechanism(const SaslOffer *offer)
{
    if (offer->oauthBearer)
        return SASL_OAUTHBEARER;
    if (offer->xoauth2)
        return SASL_XOAUTH2;
    return SASL_NONE;
}
