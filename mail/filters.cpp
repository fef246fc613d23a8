// Filters: which entry of the filter list matches a message, and the texts
// of the deletion question and of a deletions log entry.
#include <string.h>

#include "mail/mail.h"
#include "mail/textmatch.h"

namespace
{

// First entry in list order (the list is sorted by text) that matches the line.
FilterEntry *firstFilterMatch(MatchLine line, const MessageHeader *record)
{
    if (!config.settings.UseFilters || config.filterList.entries == nullptr)
        return nullptr;
    MatchTexts texts;
    prepareMatchTexts(&texts, line, record);
    for (int i = 0; i < config.filterList.count; i++) {
        FilterEntry *entry = &config.filterList.entries[i];
        if (entryMatches(entry->text, entry->match, &texts))
            return entry;
    }
    return nullptr;
}

const char *entryText(const FilterEntry *entry)
{
    return entry->text ? entry->text : "";
}

} // namespace

FilterEntry *filterMatchFrom(const MessageHeader *record)
{
    return firstFilterMatch(LINE_FROM, record);
}

FilterEntry *filterMatchSubject(const MessageHeader *record)
{
    return firstFilterMatch(LINE_SUBJECT, record);
}

FilterEntry *filterMatchSender(void)
{
    return firstFilterMatch(LINE_SENDER, nullptr);
}

FilterEntry *filterMatchFromOrSubject(const MessageHeader *record)
{
    FilterEntry *entry = filterMatchFrom(record);
    return entry ? entry : filterMatchSubject(record);
}

const char *matchFieldName(uint8_t match)
{
    switch (match) {
    case MATCH_FROM: return "from";
    case MATCH_SUBJECT: return "subject";
    default: return "from or subject";
    }
}

int formatDeleteQuestion(char *text, size_t size, const MessageHeader *record, const FilterEntry *entry)
{
    return formatText(text, size,
                      "Filter \"%.59s\" for %s line matches:\n\n  %s\n  %s\n\nDelete this message?",
                      entryText(entry), matchFieldName(entry->match), record->from, record->subject);
}

namespace
{

int appendLine(char *text, size_t size, const char *label, const char *value)
{
    size_t used = strnlen(text, size);
    if (used >= size)
        return 0;
    return formatText(text + used, size - used, "%s%s\n", label, value);
}

} // namespace

// Every value starts in the tenth column; a "(raw):" line follows a value only
// when the text as written differs from what is shown.
int formatDeletionLog(char *text, size_t size, const MessageHeader *record, const FilterEntry *entry,
                      const LogTimestamp *when)
{
    if (size == 0)
        return 0;
    int whole = formatText(text, size, "Date: %02d/%02d/%02d  Time: %02d:%02d:%02d\n", when->month, when->day,
                           ((when->year % 100) + 100) % 100, when->hour, when->minute, when->second);
    size_t used = strnlen(text, size);
    whole &= formatText(text + used, size - used, "Filter \"%.59s\" for %s line matched message\n",
                        entryText(entry), matchFieldName(entry->match));
    whole &= appendLine(text, size, "From:    ", record->from);
    if (mail.rawFrom[0] != '\0' && strcmp(mail.rawFrom, record->from) != 0)
        whole &= appendLine(text, size, "(raw):   ", mail.rawFrom);
    whole &= appendLine(text, size, "Subject: ", record->subject);
    if (mail.rawSubject[0] != '\0' && strcmp(mail.rawSubject, record->subject) != 0)
        whole &= appendLine(text, size, "(raw):   ", mail.rawSubject);
    if (mail.senderText[0] != '\0')
        whole &= appendLine(text, size, "Sender:  ", mail.senderText);
    if (mail.rawSender[0] != '\0' && strcmp(mail.rawSender, mail.senderText) != 0)
        whole &= appendLine(text, size, "(raw):   ", mail.rawSender);
    whole &= appendText(text, size, "\n");
    return whole;
}
