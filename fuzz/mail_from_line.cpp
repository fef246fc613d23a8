// Fuzzes the display texts of From, Subject and Sender lines and the raw copies
// the filters read, with arbitrary values after the field names.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mail/mail.h"

namespace
{

// An exact-size heap copy without a terminator: the parsers take the length
// and must not read past it.
char *lineOf(const char *name, const uint8_t *data, size_t size, size_t *length)
{
    size_t n = strlen(name);
    char *line = (char *)malloc(n + size > 0 ? n + size : 1);
    memcpy(line, name, n);
    memcpy(line + n, data, size);
    *length = n + size;
    return line;
}

void checkText(const char *text, size_t limit)
{
    if (strnlen(text, limit + 1) > limit)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MessageHeader record = {};
    size_t length;
    char *line = lineOf("From: ", data, size, &length);
    takeHeaderLine(FIELD_FROM, line, length, &record);
    checkText(record.from, HEADER_TEXT_SIZE - 1);
    checkText(mail.rawFrom, RAW_HEADER_SIZE - 1);
    free(line);

    // The value alone, so that it may also be shorter than any field name.
    line = lineOf("", data, size, &length);
    decodeFromLine(&record, line, length);
    checkText(record.from, HEADER_TEXT_SIZE - 1);
    free(line);

    line = lineOf("Subject:", data, size, &length);
    takeHeaderLine(FIELD_SUBJECT, line, length, &record);
    checkText(record.subject, HEADER_TEXT_SIZE - 1);
    free(line);

    line = lineOf("Sender:", data, size, &length);
    takeHeaderLine(FIELD_SENDER, line, length, &record);
    checkText(mail.senderText, SENDER_TEXT_SIZE - 1);
    free(line);
    return 0;
}
