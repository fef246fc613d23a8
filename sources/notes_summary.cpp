// The item table of a directory entry's summary, read defensively: every
// length it states is checked against what is there before anything is used.
#include "sources/notes_summary.h"

#include <string.h>

#include "base/text.h"

namespace
{

uint16_t word(const unsigned char *p)
{
    uint16_t value;
    memcpy(&value, p, sizeof value);
    return value;
}

// Compares the first n characters of an item name (which need not be
// terminated) without regard to case.
bool nameIs(const char *name, size_t length, const char *wanted, size_t n)
{
    return length >= n && compareNoCaseN(name, wanted, n) == 0;
}

void keepText(char *target, const char *text, size_t length)
{
    copyTextN(target, NOTES_ENTRY_TEXT_SIZE, text, length);
}

} // namespace

size_t notesSummaryLength(const void *summary)
{
    return word(static_cast<const unsigned char *>(summary));
}

bool readNotesDirectoryEntry(const void *summary, size_t size, const NotesEntrySink *sink)
{
    const unsigned char *table = static_cast<const unsigned char *>(summary);
    if (!table || size < 4)
        return false;
    size_t total = word(table);
    if (total < size)
        size = total;
    size_t count = word(table + 2);
    size_t read = count < (size_t)NOTES_SUMMARY_MAX_ITEMS ? count : (size_t)NOTES_SUMMARY_MAX_ITEMS;
    // The items follow all the descriptors, including those not read.
    size_t offset = 4 + 4 * count;
    if (offset > size)
        return false;
    size_t end = offset;
    for (size_t i = 0; i < read; i++) {
        end += (size_t)word(table + 4 + 4 * i) + word(table + 6 + 4 * i);
        if (end > size)
            return false;
    }

    char title[NOTES_ENTRY_TEXT_SIZE] = "";
    char fileName[NOTES_ENTRY_TEXT_SIZE] = "";
    bool haveFile = false;
    for (size_t i = 0; i < read; i++) {
        size_t nameLength = word(table + 4 + 4 * i);
        size_t valueLength = word(table + 6 + 4 * i);
        const char *name = reinterpret_cast<const char *>(table + offset);
        const char *text = name + nameLength + 2;
        offset += nameLength + valueLength;
        if (valueLength < 2)
            continue; // no type word: no text to take
        size_t textLength = valueLength - 2;
        if (nameIs(name, nameLength, "$Title", 6)) {
            keepText(title, text, textLength);
        } else if (nameIs(name, nameLength, "$Type", 5)) {
            if (textLength >= 9 && compareNoCaseN(text, "$NOTEFILE", 9) == 0) {
                copyText(fileName, title);
                haveFile = true;
            } else {
                sink->addDirectory(sink->context, title);
            }
        } else if (nameIs(name, nameLength, "$Info", 5)) {
            size_t line = 0;
            while (line < textLength && text[line] != '\r' && text[line] != '\n' && text[line] != '\0')
                line++;
            char shown[NOTES_ENTRY_TEXT_SIZE];
            keepText(shown, text, line);
            sink->addDatabase(sink->context, shown, haveFile ? fileName : NULL);
        }
    }
    return true;
}
