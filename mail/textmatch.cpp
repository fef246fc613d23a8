// The matching rule filters and the WAVBase share.
#include "mail/textmatch.h"

#include <string.h>

namespace
{

void lowerInPlace(char *text)
{
    for (; *text != '\0'; text++)
        *text = lowerChar(*text);
}

} // namespace

void prepareMatchTexts(MatchTexts *texts, MatchLine line, const MessageHeader *record)
{
    texts->line = line;
    const char *display = "";
    const char *raw = "";
    size_t displayLimit = HEADER_TEXT_SIZE - 1;
    switch (line) {
    case LINE_FROM:
        display = record->from;
        raw = mail.rawFrom;
        break;
    case LINE_SUBJECT:
        display = record->subject;
        raw = mail.rawSubject;
        break;
    case LINE_SENDER:
        display = mail.senderText;
        raw = mail.rawSender;
        displayLimit = LIST_TEXT_MAX;
        break;
    }
    copyTextN(texts->display, sizeof texts->display, display, displayLimit);
    copyTextN(texts->raw, sizeof texts->raw, raw, RAW_HEADER_SIZE - 1);
    lowerInPlace(texts->display);
    lowerInPlace(texts->raw);
}

bool entryMatches(const char *entryText, uint8_t entryMatch, const MatchTexts *texts)
{
    bool applies = entryMatch == MATCH_EITHER || (entryMatch == MATCH_FROM && texts->line != LINE_SUBJECT)
                   || (entryMatch == MATCH_SUBJECT && texts->line == LINE_SUBJECT);
    if (!applies || entryText == nullptr)
        return false;
    char pattern[LIST_TEXT_MAX + 1];
    copyTextN(pattern, sizeof pattern, entryText, LIST_TEXT_MAX);
    lowerInPlace(pattern);
    return strstr(texts->raw, pattern) != nullptr || strstr(texts->display, pattern) != nullptr;
}
