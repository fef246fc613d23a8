// Decoding of RFC 2047 encoded words ("=?charset?B?...?=" and "=?charset?Q?...?=")
// in header values, as far as a one-line display needs it. Every read is
// checked against the end of the input, so a word cut short anywhere (in its
// charset, in a Base64 group, after a "=") ends cleanly.
#include <string.h>

#include "mail/mail.h"

namespace
{

struct Output {
    char *text;
    size_t used;
    size_t limit;

    // False once the limit is reached: the caller stops.
    bool put(char c)
    {
        if (used >= limit)
            return false;
        text[used++] = c;
        return true;
    }
    bool full() const
    {
        return used >= limit;
    }
};

// The end of an encoded word: "?=" starting at p.
bool atWordEnd(const char *p, const char *end)
{
    return end - p >= 2 && p[0] == '?' && p[1] == '=';
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0; // "=" padding and anything else
}

// Hexadecimal digits are not checked: anything else counts as 0.
int escapedDigit(char c)
{
    int value = hexValue(c);
    return value < 0 ? 0 : value;
}

// Base64 text up to "?=" or the end. A group cut short gives only the bytes
// its characters fully determine (two characters one byte, three two).
// Returns false when the output is full.
bool decodeBase64(const char **pos, const char *end, Output *out)
{
    const char *p = *pos;
    bool more = true;
    while (p < end && !atWordEnd(p, end) && more) {
        unsigned bits = 0;
        int taken = 0;
        while (taken < 4 && p < end && !atWordEnd(p, end)) {
            bits = (bits << 6) | (unsigned)base64Value(*p++);
            taken++;
        }
        bits <<= 6 * (4 - taken);
        unsigned char bytes[3] = {(unsigned char)(bits >> 16), (unsigned char)(bits >> 8),
                                  (unsigned char)bits};
        int usable = taken * 6 / 8;
        for (int i = 0; i < usable && bytes[i] != 0; i++) {
            if (!out->put((char)bytes[i])) {
                more = false;
                break;
            }
        }
    }
    *pos = p;
    return more;
}

// Quoted-printable text up to "?=" or the end. "=XX" is decoded only with an
// ISO-8859 charset and only when both characters belong to this word (a "="
// just before "?=" or the end is copied as it stands). A decoded zero byte
// is left out: it would end the display text early.
bool decodeQuoted(const char **pos, const char *end, bool decodeEscapes, Output *out)
{
    const char *p = *pos;
    bool more = true;
    while (p < end && !atWordEnd(p, end)) {
        char c = *p;
        if (c == '_') {
            more = out->put(' ');
            p++;
        } else if (c == '=' && decodeEscapes && end - p >= 3 && !atWordEnd(p + 1, end)
                   && !atWordEnd(p + 2, end)) {
            char byte = (char)(escapedDigit(p[1]) * 16 + escapedDigit(p[2]));
            if (byte != '\0')
                more = out->put(byte);
            p += 3;
        } else {
            more = out->put(c);
            p++;
        }
        if (!more)
            break;
    }
    *pos = p;
    return more;
}

} // namespace

void decodeEncodedWordsN(char *target, const char *text, size_t length, size_t maxChars)
{
    Output out = {target, 0, maxChars};
    const char *p = text;
    const char *end = text + length;
    // An embedded terminator ends the input as well.
    const char *nul = length > 0 ? (const char *)memchr(text, '\0', length) : nullptr;
    if (nul)
        end = nul;

    while (p < end && isWhite(*p))
        p++;

    size_t plainStart = 0; // output position where the text after the last encoded word began
    while (p < end && !out.full()) {
        if (!(end - p >= 2 && p[0] == '=' && p[1] == '?')) {
            out.put(*p++);
            continue;
        }
        // Adjacent encoded words join without the white space between them.
        bool onlyWhite = true;
        for (size_t i = plainStart; i < out.used; i++)
            if (!isWhite(target[i]))
                onlyWhite = false;
        if (onlyWhite)
            out.used = plainStart;

        p += 2;
        const char *charset = p;
        while (p < end && *p != '?')
            p++;
        if (p >= end)
            break;
        static const char isoPrefix[] = "ISO-8859-";
        const size_t isoLength = sizeof isoPrefix - 1;
        bool iso = (size_t)(p - charset) >= isoLength && compareNoCaseN(charset, isoPrefix, isoLength) == 0;

        if (end - p < 3 || p[2] != '?')
            break;
        char encoding = upperChar(p[1]);
        if (encoding != 'B' && encoding != 'Q')
            break;
        p += 3;

        bool more = encoding == 'B' ? decodeBase64(&p, end, &out) : decodeQuoted(&p, end, iso, &out);
        if (!more)
            break;
        if (atWordEnd(p, end))
            p += 2;
        plainStart = out.used;
    }
    target[out.used] = '\0';
}

void decodeEncodedWords(char *target, const char *text, size_t maxChars)
{
    decodeEncodedWordsN(target, text, strlen(text), maxChars);
}
