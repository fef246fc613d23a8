#include "auth/json.h"

#include <string.h>

#include "base/text.h"

namespace
{

enum {
    MAX_DEPTH = 64 // nesting of skipped values; deeper input is refused
};

struct Cursor {
    const char *data;
    size_t length;
    size_t at;
};

bool atEnd(const Cursor &c)
{
    return c.at >= c.length;
}

void skipSpace(Cursor &c)
{
    while (!atEnd(c)
           && (c.data[c.at] == ' ' || c.data[c.at] == '\t' || c.data[c.at] == '\r' || c.data[c.at] == '\n'))
        c.at++;
}

bool take(Cursor &c, char expected)
{
    skipSpace(c);
    if (atEnd(c) || c.data[c.at] != expected)
        return false;
    c.at++;
    return true;
}

// Appends one byte to out when there is room; remembers a cut otherwise.
void put(char *out, size_t size, size_t *n, bool *cut, char byte)
{
    if (!out)
        return;
    if (*n + 1 < size)
        out[(*n)++] = byte;
    else
        *cut = true;
}

void putUtf8(char *out, size_t size, size_t *n, bool *cut, unsigned long code)
{
    if (code < 0x80) {
        put(out, size, n, cut, (char)code);
    } else if (code < 0x800) {
        put(out, size, n, cut, (char)(0xC0 | code >> 6));
        put(out, size, n, cut, (char)(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        put(out, size, n, cut, (char)(0xE0 | code >> 12));
        put(out, size, n, cut, (char)(0x80 | (code >> 6 & 0x3F)));
        put(out, size, n, cut, (char)(0x80 | (code & 0x3F)));
    } else {
        put(out, size, n, cut, (char)(0xF0 | code >> 18));
        put(out, size, n, cut, (char)(0x80 | (code >> 12 & 0x3F)));
        put(out, size, n, cut, (char)(0x80 | (code >> 6 & 0x3F)));
        put(out, size, n, cut, (char)(0x80 | (code & 0x3F)));
    }
}

bool readHex4(Cursor &c, unsigned long *value)
{
    if (c.length - c.at < 4)
        return false;
    unsigned long v = 0;
    for (int i = 0; i < 4; i++) {
        int digit = hexValue(c.data[c.at + i]);
        if (digit < 0)
            return false;
        v = v << 4 | (unsigned long)digit;
    }
    c.at += 4;
    *value = v;
    return true;
}

// A string at the cursor (its opening quote next). With out, its text
// unescaped; a NUL written as \u0000 would end the text early, so it is refused.
bool readString(Cursor &c, char *out, size_t size, bool *cut)
{
    size_t n = 0;
    if (!take(c, '"'))
        return false;
    for (;;) {
        if (atEnd(c))
            return false;
        unsigned char ch = (unsigned char)c.data[c.at++];
        if (ch == '"')
            break;
        if (ch < 0x20)
            return false;
        if (ch != '\\') {
            put(out, size, &n, cut, (char)ch);
            continue;
        }
        if (atEnd(c))
            return false;
        char escape = c.data[c.at++];
        switch (escape) {
        case '"': put(out, size, &n, cut, '"'); break;
        case '\\': put(out, size, &n, cut, '\\'); break;
        case '/': put(out, size, &n, cut, '/'); break;
        case 'b': put(out, size, &n, cut, '\b'); break;
        case 'f': put(out, size, &n, cut, '\f'); break;
        case 'n': put(out, size, &n, cut, '\n'); break;
        case 'r': put(out, size, &n, cut, '\r'); break;
        case 't': put(out, size, &n, cut, '\t'); break;
        case 'u': {
            unsigned long code = 0;
            if (!readHex4(c, &code) || code == 0)
                return false;
            if (code >= 0xD800 && code < 0xDC00) {
                unsigned long low = 0;
                if (c.length - c.at < 2 || c.data[c.at] != '\\' || c.data[c.at + 1] != 'u')
                    return false;
                c.at += 2;
                if (!readHex4(c, &low) || low < 0xDC00 || low >= 0xE000)
                    return false;
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else if (code >= 0xDC00 && code < 0xE000) {
                return false;
            }
            putUtf8(out, size, &n, cut, code);
            break;
        }
        default: return false;
        }
    }
    if (out)
        out[n] = '\0';
    return true;
}

bool isNumberChar(char ch)
{
    return (ch >= '0' && ch <= '9') || ch == '-' || ch == '+' || ch == '.' || ch == 'e' || ch == 'E';
}

// A number, true or false, as written; null gives nothing. Checked loosely:
// the members read are then judged by their users.
bool readScalar(Cursor &c, char *out, size_t size, bool *cut, bool *isNull)
{
    skipSpace(c);
    *isNull = false;
    size_t start = c.at;
    static const char *const words[] = {"true", "false", "null"};
    for (const char *word : words) {
        size_t n = strlen(word);
        if (c.length - c.at >= n && memcmp(c.data + c.at, word, n) == 0) {
            c.at += n;
            *isNull = word[0] == 'n';
            break;
        }
    }
    if (c.at == start) {
        while (!atEnd(c) && isNumberChar(c.data[c.at]))
            c.at++;
        if (c.at == start)
            return false;
    }
    size_t n = 0;
    for (size_t i = start; i < c.at && !*isNull; i++)
        put(out, size, &n, cut, c.data[i]);
    if (out)
        out[n] = '\0';
    return true;
}

// Passes over an object or array (its opening bracket next) without recursion.
bool skipNested(Cursor &c)
{
    int depth = 0;
    do {
        skipSpace(c);
        if (atEnd(c))
            return false;
        char ch = c.data[c.at];
        if (ch == '"') {
            bool cut = false;
            if (!readString(c, NULL, 0, &cut))
                return false;
            continue;
        }
        c.at++;
        if (ch == '{' || ch == '[') {
            if (++depth > MAX_DEPTH)
                return false;
        } else if (ch == '}' || ch == ']') {
            depth--;
        } else if (ch != ',' && ch != ':' && !isNumberChar(ch) && !(ch >= 'a' && ch <= 'z')) {
            return false;
        }
    } while (depth > 0);
    return true;
}

} // namespace

int readJsonObject(const char *data, size_t length, JsonMember *members, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        members[i].found = false;
        members[i].cut = false;
        if (members[i].size)
            members[i].value[0] = '\0';
    }
    Cursor c = {data, length, 0};
    if (!take(c, '{'))
        return JSON_BAD;
    skipSpace(c);
    if (!atEnd(c) && c.data[c.at] == '}') {
        c.at++;
    } else {
        for (;;) {
            char name[64];
            bool nameCut = false;
            if (!readString(c, name, sizeof name, &nameCut) || !take(c, ':'))
                return JSON_BAD;
            JsonMember *member = NULL;
            for (size_t i = 0; i < count && !nameCut; i++)
                if (strcmp(members[i].name, name) == 0)
                    member = &members[i];
            skipSpace(c);
            if (atEnd(c))
                return JSON_BAD;
            char first = c.data[c.at];
            if (member && member->found)
                return JSON_BAD; // a member given twice: which one would count is not clear
            if (first == '{' || first == '[') {
                if (!skipNested(c))
                    return JSON_BAD;
            } else if (first == '"') {
                bool cut = false;
                if (!readString(c, member ? member->value : NULL, member ? member->size : 0, &cut))
                    return JSON_BAD;
                if (member) {
                    member->found = true;
                    member->cut = cut;
                }
            } else {
                bool cut = false, isNull = false;
                if (!readScalar(c, member ? member->value : NULL, member ? member->size : 0, &cut, &isNull))
                    return JSON_BAD;
                if (member && !isNull) {
                    member->found = true;
                    member->cut = cut;
                }
            }
            if (take(c, ','))
                continue;
            if (take(c, '}'))
                break;
            return JSON_BAD;
        }
    }
    skipSpace(c);
    return atEnd(c) ? JSON_OK : JSON_BAD;
}
