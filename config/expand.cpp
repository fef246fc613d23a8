// Environment references in settings: $NAME$ stands for the variable's value,
// $$ for one dollar sign. Also the helpers the setup library uses to put
// references back into a path chosen by browsing.
#include <string.h>

#include "config/config.h"

// Appends n characters to the shared expansion result; zero when they do not fit.
static int appendExpansion(size_t *used, const char *text, size_t n)
{
    if (*used + n > EXPANSION_SIZE - 1)
        return 0;
    memcpy(config.expansion + *used, text, n);
    *used += n;
    config.expansion[*used] = '\0';
    return 1;
}

static const char *expansionTooLong(void)
{
    configReport("Expanded text too long");
    return NULL;
}

static const char *invalidReference(const char *name, size_t length)
{
    char message[40 + REFERENCE_NAME_SIZE];
    char shown[REFERENCE_NAME_SIZE];
    copyTextN(shown, sizeof shown, name, length);
    formatText(message, sizeof message, "%s:\n%s", "Invalid environment variable", shown);
    configReport(message);
    return NULL;
}

const char *expandEnvironment(const char *text)
{
    size_t used = 0;
    config.expansion[0] = '\0';
    const char *p = text;
    while (*p) {
        if (*p != '$') {
            const char *run = p;
            while (*p && *p != '$')
                p++;
            if (!appendExpansion(&used, run, (size_t)(p - run)))
                return expansionTooLong();
            continue;
        }
        if (p[1] == '$') {
            if (!appendExpansion(&used, "$", 1))
                return expansionTooLong();
            p += 2;
            continue;
        }
        const char *name = p + 1;
        const char *close = strchr(name, '$');
        if (!close) {
            configReport("Malformed environment variable");
            return NULL;
        }
        size_t nameLength = (size_t)(close - name);
        // A name too long for its area cannot be a variable we look up.
        if (nameLength > REFERENCE_NAME_SIZE - 1)
            return invalidReference(name, nameLength);
        char nameText[REFERENCE_NAME_SIZE];
        copyTextN(nameText, sizeof nameText, name, nameLength);
        char value[EXPANSION_SIZE];
        long valueLength = lookupEnvironment(nameText, value, sizeof value);
        if (valueLength < 0)
            return invalidReference(name, nameLength);
        if ((size_t)valueLength >= sizeof value || !appendExpansion(&used, value, (size_t)valueLength))
            return expansionTooLong();
        p = close + 1;
    }
    return config.expansion;
}

const char *fileNamePart(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == ':')
            name = p + 1;
    return name;
}

const char *findNoCase(const char *text, const char *pattern)
{
    size_t n = strlen(pattern);
    for (const char *p = text;; p++) {
        if (compareNoCaseN(p, pattern, n) == 0)
            return p;
        if (*p == '\0')
            return NULL;
    }
}

void escapeDollars(const char *text, char *result, size_t limit)
{
    if (limit == 0)
        return;
    // The copy stays below limit - 1 characters, and a doubled $ is never split.
    size_t max = limit >= 2 ? limit - 2 : 0;
    size_t n = 0;
    for (const char *p = text; *p; p++) {
        size_t need = *p == '$' ? 2 : 1;
        if (n + need > max)
            break;
        if (*p == '$')
            result[n++] = '$';
        result[n++] = *p;
    }
    result[n] = '\0';
}

char *lowerOutsideReferences(char *text)
{
    bool inside = false;
    for (char *p = text; *p; p++) {
        if (*p == '$')
            inside = !inside;
        if (!inside)
            *p = lowerChar(*p);
    }
    return text;
}

enum {
    RESTORE_LIMIT = 256,
    RESTORE_VALUE_LIMIT = 128
};

// Replaces the occurrence of length `length` at `at` in result by $name$, unless
// the text would then no longer fit; returns the position after the reference.
static size_t insertReference(char *result, size_t size, size_t at, size_t length, const char *name)
{
    char rest[EXPANSION_SIZE];
    copyTextN(rest, sizeof rest, result + at + length, EXPANSION_SIZE - 1);
    char replaced[RESTORE_LIMIT + 1];
    copyTextN(replaced, sizeof replaced, result, at);
    size_t mark = strlen(replaced) + strlen(name) + 2;
    if (!formatText(replaced + at, sizeof replaced - at, "$%s$%s", name, rest)
        || strlen(replaced) > RESTORE_LIMIT - 2 || !copyText(result, size, replaced))
        return at + length; // keep the literal path rather than a cut one
    return mark;
}

const char *restoreReferences(const char *oldText, const char *chosenPath, char *result, size_t size)
{
    char work[RESTORE_LIMIT + 1];
    escapeDollars(chosenPath, work, RESTORE_LIMIT);
    size_t cursor = 0;
    for (const char *p = oldText; *p; p++) {
        if (*p != '$')
            continue;
        if (p[1] == '$') {
            p++;
            continue;
        }
        const char *name = p + 1;
        const char *close = strchr(name, '$');
        size_t nameLength = close ? (size_t)(close - name) : 0;
        char nameText[REFERENCE_NAME_SIZE];
        char value[EXPANSION_SIZE];
        long valueLength = -1;
        if (close && nameLength < REFERENCE_NAME_SIZE) {
            copyTextN(nameText, sizeof nameText, name, nameLength);
            valueLength = lookupEnvironment(nameText, value, sizeof value);
        }
        if (valueLength < 0 || (size_t)valueLength >= sizeof value) {
            copyText(result, size, chosenPath);
            return result;
        }
        p = close;
        char escaped[RESTORE_VALUE_LIMIT];
        escapeDollars(value, escaped, sizeof escaped);
        if (escaped[0] == '\0')
            continue; // an empty value would insert a reference anywhere
        const char *found = findNoCase(work + cursor, escaped);
        if (found)
            cursor = insertReference(work, sizeof work, (size_t)(found - work), strlen(escaped), nameText);
    }
    copyText(result, size, work);
    return result;
}
