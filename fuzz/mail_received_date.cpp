// Fuzzes the Received date parser with arbitrary lines.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mail/mail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *line = (char *)malloc(size + 1);
    memcpy(line, data, size);
    line[size] = '\0';
    ReceivedDate date;
    ReceivedTime time;
    if (parseReceivedDate(line, &date, &time)) {
        if (date.month < 1 || date.month > 12 || date.year < 0)
            abort();
        if (compareDates(&date, &date) != 0 || compareTimes(&time, &time) != 0)
            abort();
    }
    free(line);
    return 0;
}
