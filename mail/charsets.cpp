// MIME charset names and the code pages that convert them. Labels are read as
// web browsers and mail readers read them (the label table of the Encoding
// Standard), so a label means the encoding real mail so labelled is written
// in: every Latin-1 and ASCII label is windows-1252, whose bytes 0x80-0x9F are
// the euro sign, quotes, dashes and the trade mark sign that mail programs
// have always put there, and every Latin-5 label is windows-1254.
#include <string.h>

#include "base/text.h"
#include "mail/headertext.h"

namespace
{

// One encoding and all its labels, separated by single blanks.
struct Encoding {
    unsigned codePage;
    const char *labels;
};

const Encoding standardLabels[] = {
    {CODE_PAGE_UTF8, "unicode-1-1-utf-8 utf-8 utf8"},
    {866, "866 cp866 csibm866 ibm866"},
    {28592, "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 latin2"},
    {28593, "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 latin3"},
    {28594, "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 latin4"},
    {28595,
     "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 iso_8859-5 iso_8859-5:1988"},
    {28596, "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6 iso-8859-6-e "
            "iso-8859-6-i iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987"},
    {28597, "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso8859-7 iso88597 "
            "iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    {28598, "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 iso8859-8 iso88598 "
            "iso_8859-8 iso_8859-8:1988 visual"},
    // The logical-order form: the same characters, only shown in another order.
    {28598, "csiso88598i iso-8859-8-i logical"},
    {28600, "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6"},
    {28603, "iso-8859-13 iso8859-13 iso885913"},
    {28604, "iso-8859-14 iso8859-14 iso885914"},
    {28605, "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    {28606, "iso-8859-16"},
    {20866, "cskoi8r koi koi8 koi8-r koi8_r"},
    {21866, "koi8-u"},
    {10000, "csmacintosh mac macintosh x-mac-roman"},
    {874, "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    {1250, "cp1250 windows-1250 x-cp1250"},
    {1251, "cp1251 windows-1251 x-cp1251"},
    {1252, "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso8859-1 iso88591 "
           "iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii windows-1252 x-cp1252"},
    {1253, "cp1253 windows-1253 x-cp1253"},
    {1254, "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 iso_8859-9:1989 l5 latin5 "
           "windows-1254 x-cp1254"},
    {1255, "cp1255 windows-1255 x-cp1255"},
    {1256, "cp1256 windows-1256 x-cp1256"},
    {1257, "cp1257 windows-1257 x-cp1257"},
    {1258, "cp1258 windows-1258 x-cp1258"},
    {10007, "x-mac-cyrillic x-mac-ukrainian"},
    {936, "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 x-gbk"},
    {54936, "gb18030"},
    {950, "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {CODE_PAGE_EUC_JP, "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    {CODE_PAGE_ISO2022JP, "csiso2022jp iso-2022-jp"},
    {932, "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    {949, "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 ksc_5601 "
          "windows-949"},
    {CODE_PAGE_REPLACEMENT, "csiso2022kr hz-gb-2312 iso-2022-cn iso-2022-cn-ext iso-2022-kr"},
    {CODE_PAGE_UTF16BE, "utf-16be"},
    {CODE_PAGE_UTF16LE, "utf-16 utf-16le"},
    {CODE_PAGE_USER_DEFINED, "x-user-defined"},
};

// Labels outside that table which mail read here before has used; they keep
// the meaning they had.
const Encoding olderLabels[] = {
    {CODE_PAGE_UTF7, "utf-7 unicode-1-1-utf-7"},
    {28603, "latin7"},
    {28604, "latin8"},
    {28605, "latin9"},
    {28606, "latin10"},
    {CODE_PAGE_EUC_JP, "eucjp"},
    {932, "cp932"},
    {936, "euc-cn cp936"},
    {950, "x-big5 cp950"},
    {949, "ks_c_5601 cp949"},
};

// True when label (length bytes) is one of the blank-separated words of labels.
bool listedIn(const char *labels, const char *label, size_t length)
{
    for (const char *word = labels; *word;) {
        const char *end = strchr(word, ' ');
        size_t n = end ? (size_t)(end - word) : strlen(word);
        if (n == length && compareNoCaseN(word, label, length) == 0)
            return true;
        if (!end)
            break;
        word = end + 1;
    }
    return false;
}

template <size_t N>
unsigned lookUp(const Encoding (&table)[N], const char *label, size_t length)
{
    for (const Encoding &e : table)
        if (listedIn(e.labels, label, length))
            return e.codePage;
    return CODE_PAGE_UNKNOWN;
}

// Other spellings of "iso-8859-N" ("iso8859-N", "iso_8859-N"), read as the
// standard reads the parts it names: Latin-1 as windows-1252, Latin-5 as
// windows-1254, Thai as 874.
unsigned isoCodePage(const char *name, size_t length)
{
    static const char *const prefixes[] = {"iso-8859-", "iso8859-", "iso_8859-"};
    for (const char *prefix : prefixes) {
        size_t n = strlen(prefix);
        if (length <= n || length > n + 2 || compareNoCaseN(name, prefix, n) != 0)
            continue;
        unsigned part = 0;
        for (size_t i = n; i < length; i++) {
            if (name[i] < '0' || name[i] > '9')
                return CODE_PAGE_UNKNOWN;
            part = part * 10 + (unsigned)(name[i] - '0');
        }
        switch (part) {
        case 1: return 1252;
        case 9: return 1254;
        case 11: return 874;
        default: break;
        }
        if (part >= 2 && part <= 16 && part != 12)
            return 28590 + part;
        return CODE_PAGE_UNKNOWN;
    }
    return CODE_PAGE_UNKNOWN;
}

// Other spellings of "windows-125N" and "cp125N".
unsigned windowsCodePage(const char *name, size_t length)
{
    static const char *const prefixes[] = {"windows-", "cp", "x-cp"};
    for (const char *prefix : prefixes) {
        size_t n = strlen(prefix);
        if (length != n + 4 || compareNoCaseN(name, prefix, n) != 0)
            continue;
        if (memcmp(name + n, "125", 3) != 0 || name[n + 3] < '0' || name[n + 3] > '8')
            return CODE_PAGE_UNKNOWN;
        return 1250 + (unsigned)(name[n + 3] - '0');
    }
    return CODE_PAGE_UNKNOWN;
}

bool isLabelSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

} // namespace

unsigned charsetCodePage(const char *name, size_t length)
{
    // RFC 2231 lets a language follow the charset: "utf-8*en".
    const char *star = length > 0 ? (const char *)memchr(name, '*', length) : nullptr;
    if (star)
        length = (size_t)(star - name);
    // Blanks around a label do not count, as in browsers.
    while (length > 0 && isLabelSpace(*name)) {
        name++;
        length--;
    }
    while (length > 0 && isLabelSpace(name[length - 1]))
        length--;
    if (length == 0)
        return CODE_PAGE_UNKNOWN;
    unsigned codePage = lookUp(standardLabels, name, length);
    if (codePage == CODE_PAGE_UNKNOWN)
        codePage = lookUp(olderLabels, name, length);
    if (codePage == CODE_PAGE_UNKNOWN)
        codePage = isoCodePage(name, length);
    if (codePage == CODE_PAGE_UNKNOWN)
        codePage = windowsCodePage(name, length);
    return codePage;
}

bool isValidUtf8(const char *bytes, size_t length)
{
    const unsigned char *p = (const unsigned char *)bytes;
    size_t i = 0;
    while (i < length) {
        unsigned c = p[i];
        if (c < 0x80) {
            i++;
            continue;
        }
        size_t extra;
        unsigned min;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (length - i <= extra)
            return false;
        unsigned value = c & (0x3Fu >> extra);
        for (size_t k = 1; k <= extra; k++) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (p[i + k] & 0x3Fu);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

size_t wideLength(const WideChar *text)
{
    size_t n = 0;
    while (text[n] != 0)
        n++;
    return n;
}

size_t wideToUtf8(const WideChar *text, size_t units, char *out, size_t size)
{
    if (size == 0)
        return 0;
    size_t used = 0;
    for (size_t i = 0; i < units; i++) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t)(text[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        char bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = (char)c;
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = (char)(0xC0 | (c >> 6));
            bytes[1] = (char)(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = (char)(0xE0 | (c >> 12));
            bytes[1] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = (char)(0x80 | (c & 0x3F));
            n = 3;
        } else {
            bytes[0] = (char)(0xF0 | (c >> 18));
            bytes[1] = (char)(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = (char)(0x80 | (c & 0x3F));
            n = 4;
        }
        if (used + n > size - 1)
            break;
        memcpy(out + used, bytes, n);
        used += n;
    }
    out[used] = '\0';
    return used;
}
