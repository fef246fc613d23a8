// Header text in its own script: encoded words in the character sets real mail
// uses, raw 8-bit values, characters split across words, and the ANSI form the
// filters and the WAVBase match. The conversions of other code pages than
// UTF-8 and Latin-1 are the platform's, so those rows run under Windows only;
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
    return 28591;
#endif
}

} // namespace

TEST(HeaderText, RealWorldValues)
{
    struct Case {
        bool portable; // UTF-8, Latin-1 and raw text only: the stand-in converter knows them
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
        {28591, "J\xFCrgen", "=?utf-8?Q?J=C3=BCrgen_M=C3=BCller?= <j@x>", "x"},
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
