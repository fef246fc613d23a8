// Decoding of RFC 2047 encoded words ("=?charset?B?...?=" and "=?charset?Q?...?=")
// and of raw 8-bit header text, as far as a one-line display needs it. Every
// read is checked against the end of the input, so a word cut short anywhere
// (in its charset, in a Base64 group, after a "=") ends cleanly.
#include <string.h>

#include "mail/headertext.h"
#include "mail/mail.h"

namespace
{

// The decoded bytes being collected, each tagged with its code page.
struct Output {
    DecodedBytes *d;
    unsigned codePage; // of the bytes put next

    // False once there is no more room: the caller stops.
    bool put(char c)
    {
        if (d->used >= DECODED_BYTES)
            return false;
        TextRun *last = d->runCount > 0 ? &d->runs[d->runCount - 1] : nullptr;
        if (!last || last->codePage != codePage || last->start + last->length != d->used) {
            if (d->runCount >= DECODED_RUNS)
                return false;
            last = &d->runs[d->runCount++];
            *last = TextRun{codePage, d->used, 0};
        }
        d->bytes[d->used++] = c;
        last->length++;
        return true;
    }
    bool full() const
    {
        return d->used >= DECODED_BYTES;
    }
    // A zero byte ends the text of an 8-bit charset and is left out; in
    // UTF-16 it is half of almost every character.
    bool keepsZeros() const
    {
        return codePage == CODE_PAGE_UTF16LE || codePage == CODE_PAGE_UTF16BE;
    }
    // Takes back everything from position to on.
    void truncate(size_t to)
    {
        while (d->runCount > 0 && d->runs[d->runCount - 1].start >= to)
            d->runCount--;
        if (d->runCount > 0) {
            TextRun &last = d->runs[d->runCount - 1];
            if (last.start + last.length > to)
                last.length = to - last.start;
        }
        if (d->used > to)
            d->used = to;
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
        int taken = 0, padding = 0;
        while (taken < 4 && p < end && !atWordEnd(p, end)) {
            padding += *p == '=';
            bits = (bits << 6) | (unsigned)base64Value(*p++);
            taken++;
        }
        bits <<= 6 * (4 - taken);
        unsigned char bytes[3] = {(unsigned char)(bits >> 16), (unsigned char)(bits >> 8),
                                  (unsigned char)bits};
        // Where zero bytes are text, the padding must not add any.
        int usable = (out->keepsZeros() ? taken - padding : taken) * 6 / 8;
        for (int i = 0; i < usable && (bytes[i] != 0 || out->keepsZeros()); i++) {
            if (!out->put((char)bytes[i])) {
                more = false;
                break;
            }
        }
    }
    *pos = p;
    return more;
}

// Quoted-printable text up to "?=" or the end. "=XX" is decoded only for a
// charset that allows it and only when both characters belong to this word (a "="
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
            if (byte != '\0' || out->keepsZeros())
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

namespace
{

// Raw 8-bit text of one header value is UTF-8 when every raw stretch of it is
// well-formed UTF-8, else the ANSI code page (mail from older programs).
void resolveRawRuns(DecodedBytes *d)
{
    bool utf8 = true;
    for (size_t i = 0; i < d->runCount && utf8; i++)
        if (d->runs[i].codePage == CODE_PAGE_RAW)
            utf8 = isValidUtf8(d->bytes + d->runs[i].start, d->runs[i].length);
    for (size_t i = 0; i < d->runCount; i++)
        if (d->runs[i].codePage == CODE_PAGE_RAW)
            d->runs[i].codePage = utf8 ? CODE_PAGE_UTF8 : CODE_PAGE_ANSI;
}

} // namespace

void decodeHeaderBytes(const char *text, size_t length, DecodedBytes *decoded)
{
    decoded->used = 0;
    decoded->runCount = 0;
    Output out = {decoded, CODE_PAGE_RAW};
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
            out.codePage = CODE_PAGE_RAW;
            if (!out.put(*p++))
                break;
            continue;
        }
        // Adjacent encoded words join without the white space between them.
        bool onlyWhite = true;
        for (size_t i = plainStart; i < decoded->used; i++)
            if (!isWhite(decoded->bytes[i]))
                onlyWhite = false;
        if (onlyWhite)
            out.truncate(plainStart);

        p += 2;
        const char *charset = p;
        while (p < end && *p != '?')
            p++;
        if (p >= end)
            break;
        size_t charsetLength = (size_t)(p - charset);
        unsigned codePage = charsetCodePage(charset, charsetLength);
        // "=XX" escapes are decoded for every charset we can convert. An
        // unknown one keeps the old rule (only ISO-8859 names) and its bytes
        // are shown as ANSI text, as they always were.
        static const char isoPrefix[] = "ISO-8859-";
        const size_t isoLength = sizeof isoPrefix - 1;
        bool escapes = codePage != CODE_PAGE_UNKNOWN
                       || (charsetLength >= isoLength && compareNoCaseN(charset, isoPrefix, isoLength) == 0);
        out.codePage = codePage != CODE_PAGE_UNKNOWN ? codePage : CODE_PAGE_ANSI;

        if (end - p < 3 || p[2] != '?')
            break;
        char encoding = upperChar(p[1]);
        if (encoding != 'B' && encoding != 'Q')
            break;
        p += 3;

        bool more = encoding == 'B' ? decodeBase64(&p, end, &out) : decodeQuoted(&p, end, escapes, &out);
        if (!more)
            break;
        if (atWordEnd(p, end))
            p += 2;
        plainStart = decoded->used;
    }
    resolveRawRuns(decoded);
}

namespace
{

// ISO-2022-JP (7-bit JIS with escape sequences) to EUC-JP, which every
// platform converts: two-byte JIS X 0208 and 0212 characters get the high bit
// (0212 behind 0x8F), half-width katakana go behind 0x8E. Returns the bytes
// written; out holds twice the input.
size_t iso2022JpToEucJp(const char *in, size_t length, char *out)
{
    enum Mode {
        ASCII,
        JIS0208,
        JIS0212,
        KATAKANA
    } mode = ASCII;
    size_t n = 0;
    for (size_t i = 0; i < length;) {
        unsigned char c = (unsigned char)in[i];
        if (c == 0x1B && length - i >= 3) {
            const char *e = in + i + 1;
            if (e[0] == '(' && (e[1] == 'B' || e[1] == 'J')) {
                mode = ASCII;
                i += 3;
                continue;
            }
            if (e[0] == '(' && e[1] == 'I') {
                mode = KATAKANA;
                i += 3;
                continue;
            }
            if (e[0] == '$' && (e[1] == '@' || e[1] == 'B')) {
                mode = JIS0208;
                i += 3;
                continue;
            }
            if (length - i >= 4 && e[0] == '$' && e[1] == '(' && e[2] == 'D') {
                mode = JIS0212;
                i += 4;
                continue;
            }
        }
        if (c == 0x0E || c == 0x0F) { // shift out / in: half-width katakana
            mode = c == 0x0E ? KATAKANA : ASCII;
            i++;
            continue;
        }
        if ((mode == JIS0208 || mode == JIS0212) && c >= 0x21 && c <= 0x7E && length - i >= 2
            && (unsigned char)in[i + 1] >= 0x21 && (unsigned char)in[i + 1] <= 0x7E) {
            if (mode == JIS0212)
                out[n++] = (char)0x8F;
            out[n++] = (char)(c | 0x80);
            out[n++] = (char)((unsigned char)in[i + 1] | 0x80);
            i += 2;
            continue;
        }
        if (mode == KATAKANA && c >= 0x21 && c <= 0x5F) {
            out[n++] = (char)0x8E;
            out[n++] = (char)(c | 0x80);
            i++;
            continue;
        }
        if (c == '\n' || c == '\r')
            mode = ASCII;
        out[n++] = (char)c;
        i++;
    }
    return n;
}

bool isHighSurrogate(WideChar c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(WideChar c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The encodings the platform's converter does not take: UTF-16 in either byte
// order (a byte left over is U+FFFD), the replacement encoding (the whole text
// is one U+FFFD) and x-user-defined. Returns the units written; out holds as
// many as there are bytes.
size_t convertHere(unsigned codePage, const char *in, size_t length, WideChar *out)
{
    const unsigned char *p = (const unsigned char *)in;
    size_t n = 0;
    if (codePage == CODE_PAGE_UTF16LE || codePage == CODE_PAGE_UTF16BE) {
        size_t i = 0;
        for (; i + 1 < length; i += 2)
            out[n++] = codePage == CODE_PAGE_UTF16LE ? (WideChar)(p[i] | p[i + 1] << 8)
                                                     : (WideChar)(p[i] << 8 | p[i + 1]);
        if (i < length)
            out[n++] = 0xFFFD;
    } else if (codePage == CODE_PAGE_REPLACEMENT) {
        if (length > 0)
            out[n++] = 0xFFFD;
    } else {
        for (size_t i = 0; i < length; i++)
            out[n++] = p[i] < 0x80 ? (WideChar)p[i] : (WideChar)(0xF780 + p[i] - 0x80);
    }
    return n;
}

} // namespace

size_t decodedToWide(const DecodedBytes *in, WideChar *out, size_t maxUnits)
{
    size_t n = 0;
    WideChar wide[DECODED_BYTES * 2];
    char jis[DECODED_BYTES * 2];
    for (size_t r = 0; r < in->runCount && n < maxUnits; r++) {
        const TextRun &run = in->runs[r];
        const char *bytes = in->bytes + run.start;
        size_t length = run.length;
        unsigned codePage = run.codePage;
        if (codePage == CODE_PAGE_ISO2022JP) {
            length = iso2022JpToEucJp(bytes, length, jis);
            bytes = jis;
            codePage = CODE_PAGE_EUC_JP;
        }
        size_t got;
        if (codePage == CODE_PAGE_UTF16LE || codePage == CODE_PAGE_UTF16BE
            || codePage == CODE_PAGE_REPLACEMENT || codePage == CODE_PAGE_USER_DEFINED)
            got = convertHere(codePage, bytes, length, wide);
        else
            got = bytesToWide(codePage, bytes, length, wide, sizeof wide / sizeof *wide);
        for (size_t k = 0; k < got && n < maxUnits; k++) {
            if (wide[k] == 0)
                continue;
            // A surrogate pair goes in whole or not at all.
            if (isHighSurrogate(wide[k]) && k + 1 < got && isLowSurrogate(wide[k + 1])) {
                if (n + 2 > maxUnits)
                    break;
                out[n++] = wide[k++];
                out[n++] = wide[k];
            } else if (isHighSurrogate(wide[k]) || isLowSurrogate(wide[k])) {
                out[n++] = 0xFFFD; // half a pair, as UTF-16 text may hold
            } else {
                out[n++] = wide[k];
            }
        }
    }
    out[n] = 0;
    return n;
}

size_t decodeHeaderWide(const char *text, size_t length, WideChar *out, size_t maxUnits)
{
    DecodedBytes decoded;
    decodeHeaderBytes(text, length, &decoded);
    return decodedToWide(&decoded, out, maxUnits);
}

void decodeEncodedWordsN(char *target, const char *text, size_t length, size_t maxChars)
{
    WideChar wide[DECODED_BYTES + 1];
    size_t units = decodeHeaderWide(text, length, wide,
                                    maxChars < (size_t)DECODED_BYTES ? maxChars : (size_t)DECODED_BYTES);
    wideToAnsi(wide, units, target, maxChars + 1);
}

void decodeEncodedWords(char *target, const char *text, size_t maxChars)
{
    decodeEncodedWordsN(target, text, strlen(text), maxChars);
}
