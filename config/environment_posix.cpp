// The environment lookup where the platform's names are case-sensitive: the
// settings match names without regard to case, as Windows does.
#include <string.h>

#include "config/config.h"

extern char **environ;

long lookupEnvironment(const char *name, char *value, size_t size)
{
    size_t n = strlen(name);
    for (char **entry = environ; entry && *entry; entry++) {
        if (compareNoCaseN(*entry, name, n) != 0 || (*entry)[n] != '=')
            continue;
        const char *text = *entry + n + 1;
        size_t length = strlen(text);
        if (length < size)
            copyText(value, size, text);
        return (long)length;
    }
    return -1;
}
