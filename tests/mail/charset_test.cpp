// Header text in its own script: encoded words in the character sets real mail
// uses, raw 8-bit values, characters split across words, and the ANSI form the
// filters and the WAVBase match. The conversions of other code pages than
// UTF-8, windows-1252 and windows-1254 (and Latin-1 for the rest) are the
// platform's, so those rows run under Windows only;
// the ANSI-form tests also run with a Cyrillic and a Japanese system code page.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/mail/mail_fixture.h"

namespace
{

const bool onWindows =
#ifdef _WIN32
    true;
#else
    false;
#endif

std::string wideAsUtf8(const WideChar *text, size_t units)
{
    char out[4 * DECODED_BYTES + 1];
    wideToUtf8(text, units, out, sizeof out);
    return out;
}

std::string decodedUtf8(const std::string &value, size_t maxUnits = 55)
{
    WideChar wide[DECODED_BYTES + 1];
    size_t n = decodeHeaderWide(value.data(), value.size(), wide, maxUnits);
    return wideAsUtf8(wide, n);
}

unsigned ansiCodePage()
{
#ifdef _WIN32
    return GetACP();
#else
    return 1252; // the stand-in converter's
#endif
}

// The blank-separated words of a list of labels.
std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The 32 characters of bytes 0x80-0x9F in the encoding a label names.
struct C1Range {
    uint16_t at[32];
};

C1Range consecutive(uint16_t first)
{
    C1Range r;
    for (int i = 0; i < 32; i++)
        r.at[i] = (uint16_t)(first + i);
    return r;
}

} // namespace

TEST(HeaderText, RealWorldValues)
{
    struct Case {
        bool portable; // what the stand-in converter knows: UTF-8, windows-1252 and -1254, raw text
        const char *value;
        const char *expected;
    } cases[] = {
        {false, "=?koi8-r?B?8NLJ18XULCDNydI=?=", u8"Привет, мир"},
        {true, "=?utf-8?B?0KHRh9GR0YIg0L3QsCDQvtC/0LvQsNGC0YM=?=", u8"Счёт на оплату"},
        {false, "=?iso-8859-7?Q?=CA=E1=EB=E7=EC=DD=F1=E1?=", u8"Καλημέρα"},
        {false, "=?iso-2022-jp?B?GyRCMnE1RCRON28bKEI=?=", u8"会議の件"},
        {false, "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= =?ISO-2022-JP?B?GyhJNjcbKEI=?=", u8"テストｶｷ"},
        {false, "=?shift_jis?B?gqiSbYLngrk=?=", u8"お知らせ"},
        {true, "=?utf-8?B?5pel5pys6Kqe44Gu44OG44K544OI?=", u8"日本語のテスト"},
        {false, "=?gb2312?B?xOO6w8rAvec=?=", u8"你好世界"},
        {false, "=?big5?B?wWPF6aSkpOU=?=", u8"繁體中文"},
        {false, "=?ks_c_5601-1987?B?vsiz58fPvLy/5A==?=", u8"안녕하세요"},
        {false, "Re: =?EUC-KR?B?yLjAxw==?=", u8"Re: 회의"},
        {true, "=?utf-8?Q?J=C3=BCrgen_M=C3=BCller?=", u8"Jürgen Müller"},
        {true, "=?UTF-8?q?=E2=82=AC_100?=", u8"€ 100"},
        {true, "=?iso-8859-1?B?Q2Fm6SBDcuhtZQ==?=", u8"Café Crème"},
        {false, "=?windows-1250?Q?=A3=F3d=9F?=", u8"Łódź"},
        // A character split across two words is joined before conversion,
        // also across the blank between them.
        {true, "=?utf-8?B?5pel5g==?= =?utf-8?B?nKw=?=", u8"日本"},
        {true, "=?utf-8?Q?=C3?=\r\n =?utf-8?Q?=A4x?=", u8"äx"},
        {false, "=?shift_jis?B?iQ==?= =?shift_jis?B?74tj?=", u8"会議"},
        // Adjacent words of different charsets join too.
        {true, "=?iso-8859-1?Q?caf=E9?= =?utf-8?Q?_=E2=82=AC?=", u8"café €"},
        // Raw 8-bit text: UTF-8 when valid; invalid bytes in a UTF-8 word.
        {true, "J\xC3\xBCrgen <j@x>", u8"Jürgen <j@x>"},
        {true, "=?utf-8?Q?a=FFb?=", u8"a\uFFFDb"},
        // An unknown charset keeps the old rules: no "=XX" decoding.
        {true, "=?x-unknown?Q?Andr=E9_Smith?=", u8"Andr=E9 Smith"},
        {true, "=?US-ASCII?Q?Andr=E9_Smith?=", u8"Andr\u00E9 Smith"},
        // Latin-1 labels are read as windows-1252, as mail readers read them,
        // and so is raw text from older programs on a Western system.
        {true, "=?iso-8859-1?Q?Matrox_Parhelia=99_now_available?=", u8"Matrox Parhelia™ now available"},
        {true, "=?ISO-8859-1?B?k1F1b3RlZJQgoCCAIDUgliAxMA==?=", u8"“Quoted” \u00A0 € 5 – 10"},
        {true, "Matrox Parhelia\x99 now available", u8"Matrox Parhelia™ now available"},
        {true, "=?iso-8859-9?Q?=DDstanbul_=D0=FE=9C?=", u8"İstanbul Ğşœ"},
        // UTF-16 keeps its zero bytes; a byte left over is a replacement character.
        {true, "=?utf-16?B?SgD8AHIAZwBlAG4AIAA92EE=?=", u8"Jürgen \uFFFD\uFFFD"},
        {true, "=?UTF-16BE?B?AEoA/AByAGcAZQBuACDYPd4A?=", u8"Jürgen 😀"},
        {true, "=?utf-16le?Q?A=00=AC=20=01?=", u8"A€\uFFFD"},
        // Labels browsers refuse to decode give one replacement character.
        {true, "a =?iso-2022-kr?B?GyQpQw5BIQ8=?= =?ISO-2022-KR?Q?x?= b", u8"a \uFFFD b"},
    };
    for (const Case &c : cases) {
        if (!c.portable && !onWindows)
            continue;
        EXPECT_EQ(decodedUtf8(c.value), c.expected) << c.value;
    }
}

TEST(HeaderText, RunsAndCodePages)
{
    EXPECT_EQ(charsetCodePage("UTF-8", 5), CODE_PAGE_UTF8);
    EXPECT_EQ(charsetCodePage("Windows-1251", 12), 1251u);
    EXPECT_EQ(charsetCodePage("ISO_8859-15", 11), 28605u);
    EXPECT_EQ(charsetCodePage("iso-8859-11", 11), 874u);
    EXPECT_EQ(charsetCodePage("utf-8*en", 8), CODE_PAGE_UTF8);
    EXPECT_EQ(charsetCodePage("iso-8859-99", 11), CODE_PAGE_UNKNOWN);
    EXPECT_EQ(charsetCodePage("", 0), CODE_PAGE_UNKNOWN);
    // Blanks around a label do not count; inside it they do.
    EXPECT_EQ(charsetCodePage(" latin1\t", 8), 1252u);
    EXPECT_EQ(charsetCodePage("latin 1", 7), CODE_PAGE_UNKNOWN);
    EXPECT_EQ(charsetCodePage("   ", 3), CODE_PAGE_UNKNOWN);
    // A label is a whole word of the table, never a part of one.
    EXPECT_EQ(charsetCodePage("koi8-", 5), CODE_PAGE_UNKNOWN);
    EXPECT_EQ(charsetCodePage("utf-16", 5), CODE_PAGE_UNKNOWN);

    // Raw text that is not valid UTF-8 is the ANSI code page, and so is the
    // text of an unknown charset; a known charset keeps its own.
    DecodedBytes d;
    std::string value = "J\xFCrgen =?koi8-r?B?8NLJ18XU?= =?x?B?QQ==?=";
    decodeHeaderBytes(value.data(), value.size(), &d);
    ASSERT_EQ(d.runCount, 3u);
    EXPECT_EQ(d.runs[0].codePage, CODE_PAGE_ANSI);
    EXPECT_EQ(d.runs[1].codePage, 20866u);
    EXPECT_EQ(d.runs[2].codePage, CODE_PAGE_ANSI);
    EXPECT_EQ(std::string(d.bytes, d.used), "J\xFCrgen \xF0\xD2\xC9\xD7\xC5\xD4"
                                            "A");
}

// Bytes 0x80-0x9F under every label that reads them otherwise than before:
// the Latin-1 and ASCII labels as windows-1252, the Latin-5 ones as
// windows-1254, the other ISO-8859 spellings as C1 controls, the labels new to
// the table as their encodings. The code pages of the single-byte scripts
// beyond those are the platform's, so their rows run under Windows only.
TEST(HeaderText, LabelsReadBytes80To9FAsBrowsersDo)
{
    const C1Range windows1252 = {{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178}};
    C1Range windows1254 = windows1252;
    windows1254.at[0x0E] = 0x008E;
    windows1254.at[0x1E] = 0x009E;
    const C1Range koi8r = {{0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,
                            0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,
                            0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
                            0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7}};
    const C1Range macintosh = {{0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
                                0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
                                0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
                                0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC}};
    C1Range thai = consecutive(0x0080);
    thai.at[0x00] = 0x20AC;
    thai.at[0x05] = 0x2026;
    const uint16_t thaiPunctuation[] = {0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014};
    for (int i = 0; i < 7; i++)
        thai.at[0x11 + i] = thaiPunctuation[i];

    struct Row {
        bool portable;
        const char *labels; // separated by blanks
        C1Range expected;
    } rows[] = {
        {true,
         "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso8859-1 iso88591 "
         "iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii windows-1252 x-cp1252 ISO-8859-1 US-ASCII Latin1",
         windows1252},
        {true,
         "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 iso_8859-9:1989 l5 latin5 "
         "windows-1254 x-cp1254 ISO-8859-9",
         windows1254},
        {true,
         "csisolatin2 iso-ir-101 iso88592 iso_8859-2:1987 l2 csisolatin3 iso-ir-109 iso88593 "
         "iso_8859-3:1988 l3 csisolatin4 iso-ir-110 iso88594 iso_8859-4:1988 l4 csisolatincyrillic "
         "iso-ir-144 iso88595 iso_8859-5:1988 asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 "
         "iso-8859-6-e iso-8859-6-i iso-ir-127 iso88596 iso_8859-6:1987 csisolatingreek ecma-118 elot_928 "
         "greek8 iso-ir-126 iso88597 iso_8859-7:1987 sun_eu_greek csiso88598e csisolatinhebrew "
         "iso-8859-8-e iso-ir-138 iso88598 iso_8859-8:1988 visual csiso88598i iso-8859-8-i logical "
         "csisolatin6 iso-ir-157 iso885910 l6 iso885913 iso885914 csisolatin9 iso885915 l9",
         consecutive(0x0080)},
        {true, "x-user-defined", consecutive(0xF780)},
        {false, "866 cp866 csibm866 ibm866 x-mac-cyrillic x-mac-ukrainian", consecutive(0x0410)},
        {false, "cskoi8r koi koi8 koi8_r", koi8r},
        {false, "csmacintosh mac macintosh x-mac-roman", macintosh},
        {false, "dos-874 iso885911", thai},
    };
    std::string bytes;
    for (int b = 0x80; b <= 0x9F; b++) {
        char escape[4];
        snprintf(escape, sizeof escape, "=%02X", b);
        bytes += escape;
    }
    for (const Row &row : rows) {
        if (!row.portable && !onWindows)
            continue;
        for (const std::string &label : words(row.labels)) {
            std::string value = "=?" + label + "?Q?" + bytes + "?=";
            WideChar wide[DECODED_BYTES + 1];
            size_t n = decodeHeaderWide(value.data(), value.size(), wide, 64);
            EXPECT_EQ(std::vector<uint16_t>(wide, wide + n),
                      std::vector<uint16_t>(row.expected.at, row.expected.at + 32))
                << label;
        }
    }
}

#ifdef _WIN32
// The multi-byte labels new to the table read their scripts (the platform
// converts these code pages).
TEST(HeaderText, NewMultiByteLabelsReadTheirScripts)
{
    struct Case {
        const char *labels;
        const char *base64;
        const char *expected;
    } cases[] = {
        {"chinese csiso58gb231280 gb_2312 gb_2312-80 iso-ir-58", "xOO6w8rAvec=", u8"你好世界"},
        {"csbig5 x-x-big5", "wWPF6aSkpOU=", u8"繁體中文"},
        {"csshiftjis ms932", "gqiSbYLngrk=", u8"お知らせ"},
        {"cseucpkdfmtjapanese", "svG1xA==", u8"会議"},
        {"cseuckr csksc56011987 iso-ir-149 ks_c_5601-1989 ksc_5601 windows-949", "yLjAxw==", u8"회의"},
        {"unicode-1-1-utf-8", "5pel5pys", u8"日本"},
    };
    for (const Case &c : cases) {
        for (const std::string &label : words(c.labels))
            EXPECT_EQ(decodedUtf8("=?" + label + "?B?" + c.base64 + "?="), c.expected) << label;
    }
}
#endif

TEST(HeaderText, CutsNeverSplitACharacter)
{
    // A surrogate pair that does not fit whole is left out.
    std::string value = std::string(54, 'a') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(decodedUtf8(value), std::string(54, 'a'));
    EXPECT_EQ(decodedUtf8(value, 56), value);

    // The ANSI form of 55 characters never ends in half a double-byte one.
    MessageHeader *record = nullptr;
    ASSERT_TRUE(allocateMailBuffers());
    record = openHeaderRecord(0, 0);
    std::string line = "Subject: a";
    for (int i = 0; i < 30; i++)
        line += u8"テ";
    decodeSubjectLine(record, line.data(), line.size());
    size_t n = strlen(record->subject);
    EXPECT_LE(n, 55u);
    if (ansiCodePage() == 932) {
        EXPECT_EQ(n, 55u); // "a" and 27 double-byte characters
        EXPECT_EQ(std::string(record->subject, 3), "a\x83\x65");
    }
    WideChar wide[HEADER_TEXT_SIZE];
    EXPECT_EQ(headerWideText(record, FIELD_SUBJECT, wide), 31u);
    EXPECT_EQ(wideAsUtf8(wide, 31), line.substr(9));
    freeMailBuffers();
}

class AnsiForm : public MailTest
{
};

// Filters and the WAVBase match the ANSI form, whatever the system code page:
// a filter written in it matches mail sent in any charset that holds it.
TEST_F(AnsiForm, FiltersAndWavBaseMatchTheConvertedForm)
{
    struct Case {
        unsigned codePage;
        const char *filterText; // in that ANSI code page
        const char *from;
        const char *subject;
    } cases[] = {
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "=?koi8-r?B?8NLJ18XULCDNydI=?= <a@b>", "x"},
        {1251, "\xD1\xF7\xB8\xF2", "a@b", "=?utf-8?B?0KHRh9GR0YIg0L3QsCDQvtC/0LvQsNGC0YM=?="},
        {1252, "J\xFCrgen", "=?utf-8?Q?J=C3=BCrgen_M=C3=BCller?= <j@x>", "x"},
        {1252, "Cr\xE8me", "a@b", "=?iso-8859-1?B?Q2Fm6SBDcuhtZQ==?="},
        {1252, "Parhelia\x99", "a@b", "=?iso-8859-1?Q?Matrox_Parhelia=99_now_available?="},
        {1252, "Parhelia\x99", "a@b", "Matrox Parhelia\x99 now available"},
        {932, "\x83\x65\x83\x58\x83\x67", "a@b", "=?utf-8?B?5pel5pys6Kqe44Gu44OG44K544OI?="},
        {932, "\x89\xEF\x8B\x63", "a@b", "=?iso-2022-jp?B?GyRCMnE1RCRON28bKEI=?="},
    };
    config.settings.UseFilters = true;
    config.settings.SoundOption = SOUND_WAVBASE;
    int ran = 0;
    for (const Case &c : cases) {
        if (c.codePage != ansiCodePage())
            continue;
        ran++;
        setFilters({{c.filterText, FILTER_IGNORE, MATCH_EITHER}});
        MessageHeader *record = openHeaderRecord(0, 0);
        std::string from = std::string("From: ") + c.from, subject = std::string("Subject: ") + c.subject;
        takeHeaderLine(FIELD_FROM, from.data(), from.size(), record);
        takeHeaderLine(FIELD_SUBJECT, subject.data(), subject.size(), record);
        EXPECT_NE(filterMatchFromOrSubject(record), nullptr) << c.from << " / " << c.subject;
        setSounds({{c.filterText, "ding.wav", MATCH_EITHER}});
        EXPECT_NE(soundMatchFromOrSubject(record), nullptr) << c.from << " / " << c.subject;
    }
    EXPECT_GT(ran, 0) << "no case for ANSI code page " << ansiCodePage();
}
