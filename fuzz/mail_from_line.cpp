// Fuzzes the display texts of From, Subject and Sender lines and the raw copies
// the filters read, with arbitrary values after the field names.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mail/mail.h"

namespace
{

char *lineOf(const char *name, const uint8_t *data, size_t size)
{
    size_t n = strlen(name);
    char *line = (char *)malloc(n + size + 1);
    memcpy(line, name, n);
    memcpy(line + n, data, size);
    line[n + size] = '\0';
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
    char *line = lineOf("From: ", data, size);
    copyRawValue(line, mail.rawFrom, "From:", 5);
    decodeFromLine(&record, line);
    checkText(record.from, HEADER_TEXT_SIZE - 1);
    checkText(mail.rawFrom, RAW_HEADER_SIZE - 1);
    free(line);

    // The value alone, so that it may also be shorter than any field name.
    line = lineOf("", data, size);
    decodeFromLine(&record, line);
    checkText(record.from, HEADER_TEXT_SIZE - 1);
    free(line);

    line = lineOf("Subject:", data, size);
    copyRawValue(line, mail.rawSubject, "Subject:", 8);
    decodeSubjectLine(&record, line);
    checkText(record.subject, HEADER_TEXT_SIZE - 1);
    free(line);

    line = lineOf("Sender:", data, size);
    copyRawValue(line, mail.rawSender, "Sender:", 7);
    decodeSenderLine(line);
    checkText(mail.senderText, SENDER_TEXT_SIZE - 1);
    free(line);
    return 0;
}
