// A reader for the one JSON shape the sign-in meets: an object whose members
// of interest are strings or numbers (the token service's answer, a mail
// server's SASL error). Pointer and length in; values of the asked members
// out, bounded; nothing read past the end, no recursion however deep the
// nesting of the members skipped.
#ifndef PELIMBO_AUTH_JSON_H
#define PELIMBO_AUTH_JSON_H

#include <stddef.h>

struct JsonMember {
    const char *name; // compared exactly
    char *value;      // the string unescaped (UTF-8), or a number, true, false as written
    size_t size;      // of value, terminator included
    bool found;
    bool cut; // the value did not fit: it must not be used
};

enum JsonResult {
    JSON_OK = 0,
    JSON_BAD = -1, // not one well-formed object, or a member asked for twice
};

// Fills the members asked for (their found flags first cleared). An object or
// array value leaves its member not found; null likewise.
int readJsonObject(const char *data, size_t length, JsonMember *members, size_t count);

#endif
