// The value encodings of section [Pelimbo] that need no platform call.
#include <string.h>

#include "config/config.h"

bool parseFlagText(const char *text)
{
    // Only the exact text counts: "true" or "1" are false on purpose, so that a
    // file edited by hand behaves the same in both programs.
    return strcmp(text, "TRUE") == 0;
}

// Reads one number the way a "%lu"/"%d" conversion does: blanks, an optional
// sign, at least one digit. Wraps like the 32-bit conversion instead of
// overflowing. Returns the position after the number, or NULL when none.
static const char *scanNumber(const char *p, uint32_t *value)
{
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    if (*p < '0' || *p > '9')
        return NULL;
    uint32_t n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10u + (uint32_t)(*p - '0');
        p++;
    }
    *value = negative ? (uint32_t)(0u - n) : n;
    return p;
}

// Stores numbers separated by single commas into values[0..count); stops at the
// first mismatch and leaves the values from there on unchanged.
static void scanList(const char *text, uint32_t *values, int count)
{
    const char *p = text;
    for (int i = 0; i < count; i++) {
        if (i > 0) {
            if (*p != ',')
                return;
            p++;
        }
        uint32_t v;
        p = scanNumber(p, &v);
        if (!p)
            return;
        values[i] = v;
    }
}

void parseColorList(const char *text, uint32_t colors[COLOR_COUNT])
{
    scanList(text, colors, COLOR_COUNT);
}

void parseIntPair(const char *text, int *first, int *second)
{
    uint32_t v[2] = {(uint32_t)*first, (uint32_t)*second};
    scanList(text, v, 2);
    *first = (int)v[0];
    *second = (int)v[1];
}

unsigned parseUnsignedLeading(const char *text, unsigned defaultValue, bool present)
{
    if (!present)
        return defaultValue;
    unsigned n = 0;
    for (const char *p = text; *p >= '0' && *p <= '9'; p++)
        n = n * 10u + (unsigned)(*p - '0');
    return n;
}
