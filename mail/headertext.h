// Header text in any script: RFC 2047 encoded words and raw 8-bit values
// decoded to bytes tagged with their code page, then converted to UTF-16.
//
// The decoding is window-free. The conversion between code pages needs the
// platform: on Windows it is MultiByteToWideChar / WideCharToMultiByte
// (codepages_win32.cpp); elsewhere a small converter that knows UTF-8,
// windows-1252 (the "ANSI" code page there) and windows-1254 stands in, so
// that the tests and the fuzzers drive the same decoder.
#ifndef PELIMBO_MAIL_HEADERTEXT_H
#define PELIMBO_MAIL_HEADERTEXT_H

#include <stddef.h>
#include <stdint.h>

// One UTF-16 code unit (WCHAR on Windows).
typedef char16_t WideChar;

enum : unsigned {
    CODE_PAGE_ANSI = 0,          // the system's ANSI code page
    CODE_PAGE_RAW = 1,           // 8-bit text as sent: UTF-8 when the value is valid UTF-8, else ANSI
    CODE_PAGE_UTF16LE = 1200,    // converted here: the platform's converter does not take them
    CODE_PAGE_UTF16BE = 1201,
    CODE_PAGE_ISO2022JP = 50220, // 7-bit JIS, converted here to EUC-JP before the platform sees it
    CODE_PAGE_EUC_JP = 20932,
    CODE_PAGE_LATIN1 = 28591,
    CODE_PAGE_UTF7 = 65000,
    CODE_PAGE_UTF8 = 65001,
    CODE_PAGE_REPLACEMENT = 0xFFFFFFFDu,  // labels browsers refuse to decode: one U+FFFD for the text
    CODE_PAGE_USER_DEFINED = 0xFFFFFFFEu, // bytes 0x80-0xFF to U+F780-U+F7FF
    CODE_PAGE_UNKNOWN = 0xFFFFFFFFu,
};

// The code page of a MIME charset name as browsers and mail readers read it
// (the Encoding Standard's labels in any case and the older aliases, blanks
// around it and an RFC 2231 language suffix "*lang" ignored), or
// CODE_PAGE_UNKNOWN.
unsigned charsetCodePage(const char *name, size_t length);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(const char *bytes, size_t length);

enum {
    DECODED_BYTES = 512, // more than the longest header line decodes to
    DECODED_RUNS = 64,
};

// A stretch of decoded bytes in one code page.
struct TextRun {
    unsigned codePage;
    size_t start;
    size_t length;
};

// Step one of decoding a header value: the bytes, in runs of one code page.
// Adjacent encoded words of one charset share a run, so a character split
// across two words is whole again before it is converted.
struct DecodedBytes {
    char bytes[DECODED_BYTES];
    size_t used;
    TextRun runs[DECODED_RUNS];
    size_t runCount;
};

// Decodes text (length bytes; an embedded NUL ends it) into runs. Leading
// white space is skipped; an encoded word that is not "?B?" or "?Q?" ends the
// text where it stands. Raw runs are resolved to UTF-8 or ANSI here.
void decodeHeaderBytes(const char *text, size_t length, DecodedBytes *out);

// Step two: the runs as UTF-16, at most maxUnits units and never half a
// surrogate pair; out must hold maxUnits + 1. Returns the units written.
size_t decodedToWide(const DecodedBytes *in, WideChar *out, size_t maxUnits);

// Both steps.
size_t decodeHeaderWide(const char *text, size_t length, WideChar *out, size_t maxUnits);

// --- Platform conversion (codepages_win32.cpp / codepages_portable.cpp) ----------------
// Converts bytes of a code page to UTF-16 (never CODE_PAGE_RAW, nor one of those
// the decoder converts itself: ISO-2022-JP, UTF-16, replacement, user-defined).
// Each byte gives at most one unit, so capacity >= length always suffices.
// Returns the units written; bytes the code page cannot map become U+FFFD or
// the platform's default character.
size_t bytesToWide(unsigned codePage, const char *bytes, size_t length, WideChar *out, size_t capacity);

// The ANSI form of wide text, the platform's best fit for what the ANSI code
// page cannot show: at most size - 1 bytes, cut only between characters (never
// inside a double-byte character or a surrogate pair), always terminated.
// Returns the bytes written.
size_t wideToAnsi(const WideChar *text, size_t units, char *out, size_t size);

// UTF-8 of wide text (lossless; an unpaired surrogate becomes U+FFFD), at most
// size - 1 bytes, cut only between characters, terminated. Window-free.
size_t wideToUtf8(const WideChar *text, size_t units, char *out, size_t size);

// Length of a terminated wide text.
size_t wideLength(const WideChar *text);

#endif
