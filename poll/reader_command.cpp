// The reader's command line: MailReader with the mail path in place of "%s".
#include "poll/reader.h"

#include <string.h>

#include "base/text.h"

// The placeholder: the first "%s" that is not the tail of an escaped "%%".
static const char *findPlaceholder(const char *format)
{
    for (const char *p = format; *p; p++) {
        if (p[0] != '%')
            continue;
        if (p[1] == 's')
            return p;
        if (p[1] == '%')
            p++;
    }
    return NULL;
}

// The setting is user text, so it is never handed to a printf-style formatter:
// only the placeholder is replaced, and everything else is copied as it stands.
int formatReaderCommand(char *command, size_t size, const char *format, const char *path)
{
    if (size == 0)
        return 0;
    command[0] = '\0';
    if (!format)
        return 1;
    const char *mark = findPlaceholder(format);
    if (!mark)
        return copyText(command, size, format);
    int whole = copyTextN(command, size, format, (size_t)(mark - format));
    whole = appendText(command, size, path ? path : "") && whole;
    whole = appendText(command, size, mark + 2) && whole;
    return whole;
}
