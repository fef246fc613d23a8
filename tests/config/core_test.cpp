// The window-free part of the configuration store: references, the stored
// password form, list keys and value encodings. Runs natively under the
// sanitizers and under Windows alike.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "config/config.h"

static std::vector<std::string> reported;
static void record(const char *text)
{
    reported.push_back(text);
}

static void setVar(const char *name, const char *value)
{
#ifdef _WIN32
    SetEnvironmentVariableA(name, value);
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

class ConfigCore : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        reported.clear();
        config.report = record;
    }
    void TearDown() override
    {
        freeFilterList(&config.filterList);
        freeWavBaseList(&config.wavBaseList);
        config.report = NULL;
    }
};

// --- References -------------------------------------------------------------------

TEST_F(ConfigCore, ExpansionReplacesReferencesAndDollarPairs)
{
    setVar("PelHome", "C:\\USERS\\ANN");
    EXPECT_STREQ("100$", expandEnvironment("100$$"));
    EXPECT_STREQ("$", expandEnvironment("$$"));
    EXPECT_STREQ("", expandEnvironment(""));
    EXPECT_STREQ("C:\\USERS\\ANN\\mail\\in.mbx", expandEnvironment("$PELHOME$\\mail\\in.mbx"));
    EXPECT_STREQ("x C:\\USERS\\ANN $ C:\\USERS\\ANN", expandEnvironment("x $pelhome$ $$ $PelHome$"));
    EXPECT_TRUE(reported.empty());
}

TEST_F(ConfigCore, ExpansionFailuresAreReportedOnce)
{
    setVar("NOSUCHVAR", NULL);
    EXPECT_EQ(NULL, expandEnvironment("$TEMP"));
    EXPECT_EQ(NULL, expandEnvironment("$NOSUCHVAR$\\x"));
    EXPECT_EQ((std::vector<std::string>{"Malformed environment variable",
                                        "Invalid environment variable:\nNOSUCHVAR"}),
              reported);
}

TEST_F(ConfigCore, ExpansionNeverOverrunsItsLimits)
{
    std::string value(200, 'v');
    setVar("PELLONG", value.c_str());
    // 2 x 200 characters do not fit into the 254 of the result.
    EXPECT_EQ(NULL, expandEnvironment("$PELLONG$$PELLONG$"));
    // Exactly 254 fit.
    std::string exact = "$PELLONG$" + std::string(54, 'x');
    const char *r = expandEnvironment(exact.c_str());
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(254u, strlen(r));
    // Plain text longer than the result fails too, rather than being cut.
    EXPECT_EQ(NULL, expandEnvironment(std::string(255, 'a').c_str()));
    // A reference name of 112 characters cannot be looked up.
    std::string name = "$" + std::string(112, 'N') + "$";
    EXPECT_EQ(NULL, expandEnvironment(name.c_str()));
    ASSERT_EQ(3u, reported.size());
    EXPECT_EQ(0u, reported[2].find("Invalid environment variable:\n"));
    EXPECT_EQ(strlen("Invalid environment variable:\n") + 111, reported[2].size());
}

TEST_F(ConfigCore, FileNamePartAndFindNoCase)
{
    EXPECT_STREQ("IN.MBX", fileNamePart("C:\\MAIL\\IN.MBX"));
    EXPECT_STREQ("123", fileNamePart("SYS:MAIL:123"));
    EXPECT_STREQ("mail.mbx", fileNamePart("mail.mbx"));
    EXPECT_STREQ("", fileNamePart("C:\\MAIL\\"));
    const char *text = "* OK [UIDVALIDITY 3] ready";
    EXPECT_EQ(text + 6, findNoCase(text, "uidValidity"));
    EXPECT_EQ(NULL, findNoCase(text, "readyx"));
    EXPECT_EQ(text, findNoCase(text, ""));
}

TEST_F(ConfigCore, EscapingAndLowerCasingKeepReferences)
{
    char out[16];
    escapeDollars("a$b$$", out, sizeof out);
    EXPECT_STREQ("a$$b$$$$", out);
    // Stays below limit - 1 characters and never splits a doubled $.
    escapeDollars("abcd$", out, 7);
    EXPECT_STREQ("abcd", out);
    escapeDollars("abcdefgh", out, 7);
    EXPECT_STREQ("abcde", out);

    char text[] = "C:\\Snd\\$UserName$\\Boss.WAV";
    EXPECT_STREQ("c:\\snd\\$UserName$\\boss.wav", lowerOutsideReferences(text));
}

TEST_F(ConfigCore, RestoreReferencesPutsVariablesBackIntoChosenPaths)
{
    char out[PATH_SIZE];
    setVar("HOME", "C:\\USERS\\ANN");
    EXPECT_STREQ("$HOME$\\mail\\new.mbx",
                 restoreReferences("$HOME$\\mail\\in.mbx", "c:\\users\\ann\\mail\\new.mbx", out, sizeof out));
    // Dollars of the chosen path are escaped, and $$ in the old text is no reference.
    EXPECT_STREQ("$HOME$\\a$$b", restoreReferences("$$x$HOME$", "c:\\users\\ann\\a$b", out, sizeof out));
    // A reference that is not set (or not closed) gives the chosen path unchanged.
    setVar("PELUNSET", NULL);
    EXPECT_STREQ("c:\\a$b", restoreReferences("$PELUNSET$\\x", "c:\\a$b", out, sizeof out));
    EXPECT_STREQ("c:\\users\\ann", restoreReferences("$HOME", "c:\\users\\ann", out, sizeof out));
    // A value that is not in the chosen path leaves it as it is.
    EXPECT_STREQ("d:\\other", restoreReferences("$HOME$\\x", "d:\\other", out, sizeof out));
    EXPECT_TRUE(reported.empty());
}

// --- Password form -------------------------------------------------------------------

static std::string roundTrip(const std::string &plain, std::string *stored = NULL)
{
    char form[STORED_PASSWORD_SIZE];
    EXPECT_TRUE(scramblePassword(plain.c_str(), form, sizeof form));
    if (stored)
        *stored = form;
    char back[PLAIN_PASSWORD_SIZE] = "previous";
    unscramblePassword(form, back);
    return back;
}

TEST_F(ConfigCore, PasswordFormRoundTripsEveryAcceptedLength)
{
    std::string stored;
    EXPECT_EQ("", roundTrip("", &stored));
    EXPECT_EQ("6B", stored);
    for (size_t length : {1u, 23u, 24u, 39u, 40u}) {
        std::string plain;
        for (size_t i = 0; i < length; i++)
            plain += (char)('!' + (i * 7) % 90);
        EXPECT_EQ(plain, roundTrip(plain, &stored)) << length;
        EXPECT_EQ(2 + 2 * length, stored.size());
        EXPECT_EQ(std::string::npos, stored.find_first_not_of("0123456789ABCDEF"));
    }
    // Bytes of 128 and more give one pair each.
    std::string high = "\x80\xff\xe9x";
    EXPECT_EQ(high, roundTrip(high, &stored));
    EXPECT_EQ(10u, stored.size());
}

TEST_F(ConfigCore, PasswordFormLayout)
{
    char form[STORED_PASSWORD_SIZE];
    scramblePassword("aa", form, sizeof form);
    // Length 2 ^ 0x6B = 0x69; 'a' ^ 0x6B = 0x0A stored as "A0"; 'a' ^ 0x6C = 0x0D as "D0".
    EXPECT_STREQ("69A0D0", form);
    // A form that does not fit is not written at all.
    char small[6];
    EXPECT_FALSE(scramblePassword("abc", small, sizeof small));
    EXPECT_STREQ("", small);
}

TEST_F(ConfigCore, DamagedPasswordFormsDecodeSafely)
{
    char plain[PLAIN_PASSWORD_SIZE] = "kept";
    unscramblePassword("", plain);
    EXPECT_STREQ("kept", plain);
    // Length says 40, only one pair is present: decoding stops at the end.
    unscramblePassword("43A0", plain);
    EXPECT_STREQ("a", plain);
    // Length 255 is held to the 40 the record keeps.
    unscramblePassword("94", plain);
    EXPECT_STREQ("", plain);
    // Not hex: nothing (or only what came before) is decoded.
    unscramblePassword("zz", plain);
    EXPECT_STREQ("", plain);
    unscramblePassword("69A0Q0", plain);
    EXPECT_STREQ("a", plain);
    unscramblePassword("6", plain);
    EXPECT_STREQ("", plain);
}

// --- List keys ----------------------------------------------------------------------

static std::string keyBuffer(std::initializer_list<const char *> keys)
{
    std::string buffer;
    for (const char *key : keys) {
        buffer += key;
        buffer += '\0';
    }
    buffer += '\0';
    return buffer;
}

TEST_F(ConfigCore, FilterKeysParseAndSortWithoutRegardToCase)
{
    std::string text80(80, 'T');
    std::string keys = keyBuffer({"urgent#1#2", "Beta#0#0", "alpha#0#1", (text80 + "#1#1").c_str()});
    ASSERT_EQ(0, buildFilterList(&config.filterList, keys.data(), keys.size()));
    ASSERT_EQ(4, config.filterList.count);
    const FilterEntry *e = config.filterList.entries;
    EXPECT_STREQ("alpha", e[0].text);
    EXPECT_STREQ("Beta", e[1].text);
    EXPECT_EQ(std::string(59, 'T'), e[2].text);
    EXPECT_STREQ("urgent", e[3].text);
    EXPECT_EQ(FILTER_DELETE, e[3].action);
    EXPECT_EQ(MATCH_EITHER, e[3].match);
    EXPECT_EQ(MATCH_SUBJECT, e[0].match);

    char key[LIST_KEY_SIZE];
    formatFilterKey(key, sizeof key, &e[3]);
    EXPECT_STREQ("urgent#1#2", key);
    EXPECT_TRUE(reported.empty());
}

TEST_F(ConfigCore, MalformedFilterKeysNeverDelete)
{
    char text[LIST_TEXT_MAX + 1];
    uint8_t action = 9, match = 9;
    EXPECT_TRUE(parseFilterKey("plain", text, &action, &match));
    EXPECT_STREQ("plain", text);
    EXPECT_EQ(0, action);
    EXPECT_EQ(0, match);
    EXPECT_TRUE(parseFilterKey("x#1", text, &action, &match));
    EXPECT_EQ(1, action);
    EXPECT_EQ(0, match);
    EXPECT_TRUE(parseFilterKey("x#a#z", text, &action, &match));
    EXPECT_EQ(0, action);
    EXPECT_EQ(0, match);
    EXPECT_TRUE(parseFilterKey("x#7#5", text, &action, &match));
    EXPECT_EQ(0, action);
    EXPECT_EQ(0, match);
    // An empty text would match every message: such a key gives no entry.
    EXPECT_FALSE(parseFilterKey("#1#2", text, &action, &match));

    std::string keys = keyBuffer({"#1#2", "keep#1#0"});
    ASSERT_EQ(0, buildFilterList(&config.filterList, keys.data(), keys.size()));
    ASSERT_EQ(1, config.filterList.count);
    EXPECT_STREQ("keep", config.filterList.entries[0].text);
}

// Texts the setup pages refuse: as key names they would read back as other
// entries ("a=b" as the key "a"), as a comment or a section, or trimmed.
TEST_F(ConfigCore, ListTextsAKeyCannotHoldAreRefused)
{
    const struct {
        const char *text;
        const char *refusal;
    } cases[] = {
        {"Urgent notice", NULL},
        {"50% off; today", NULL},
        {"a#b", "String may not contain '#'"},
        {"a=b", "String may not contain '='"},
        {";comment", "String may not begin with ';'"},
        {"[section]", "String may not begin with '['"},
        {" lead", "String may not begin or end with a blank"},
        {"trail\t", "String may not begin or end with a blank"},
    };
    for (const auto &c : cases) {
        const char *refusal = listTextRefusal(c.text);
        EXPECT_STREQ(c.refusal, refusal) << c.text;
    }
}

TEST_F(ConfigCore, WavBaseKeysParse)
{
    char text[LIST_TEXT_MAX + 1], sound[LIST_SOUND_MAX + 1];
    uint8_t match = 9;
    EXPECT_TRUE(parseWavBaseKey("boss#c:\\snd\\boss.wav#1", text, sound, &match));
    EXPECT_STREQ("boss", text);
    EXPECT_STREQ("c:\\snd\\boss.wav", sound);
    EXPECT_EQ(1, match);
    EXPECT_TRUE(parseWavBaseKey("boss#c:\\snd\\boss.wav", text, sound, &match));
    EXPECT_STREQ("c:\\snd\\boss.wav", sound);
    EXPECT_EQ(0, match);
    // A "#" inside the path stays in the path.
    EXPECT_TRUE(parseWavBaseKey("boss#c:\\snd#2\\boss.wav#2", text, sound, &match));
    EXPECT_STREQ("c:\\snd#2\\boss.wav", sound);
    EXPECT_EQ(2, match);
    EXPECT_FALSE(parseWavBaseKey("nosound", text, sound, &match));
    EXPECT_FALSE(parseWavBaseKey("#x.wav#0", text, sound, &match));

    std::string longSound(150, 's');
    std::string keys = keyBuffer({("z#" + longSound + "#2").c_str(), "A#a.wav#1", "nosound"});
    ASSERT_EQ(0, buildWavBaseList(&config.wavBaseList, keys.data(), keys.size()));
    ASSERT_EQ(2, config.wavBaseList.count);
    EXPECT_STREQ("A", config.wavBaseList.entries[0].text);
    EXPECT_EQ(std::string(126, 's'), config.wavBaseList.entries[1].soundFile);
    EXPECT_EQ(0u, config.wavBaseList.entries[1].played);
}

TEST_F(ConfigCore, KeyBufferWithoutFinalTerminatorEndsAtItsSize)
{
    const char keys[] = {'a', '#', '1', '#', '1', '\0', 'b', '#', '0'};
    ASSERT_EQ(0, buildFilterList(&config.filterList, keys, sizeof keys));
    ASSERT_EQ(2, config.filterList.count);
    EXPECT_STREQ("b", config.filterList.entries[1].text);
    std::string empty(1, '\0');
    ASSERT_EQ(0, buildFilterList(&config.filterList, empty.data(), empty.size()));
    EXPECT_EQ(0, config.filterList.count);
}

// --- Values --------------------------------------------------------------------------

TEST_F(ConfigCore, FlagsColorsAndPairs)
{
    EXPECT_TRUE(parseFlagText("TRUE"));
    EXPECT_FALSE(parseFlagText("true"));
    EXPECT_FALSE(parseFlagText("1"));
    EXPECT_FALSE(parseFlagText("TRUE "));

    uint32_t colors[COLOR_COUNT] = {1, 2, 3, 4, 5};
    parseColorList("255", colors);
    EXPECT_EQ((std::vector<uint32_t>{255, 2, 3, 4, 5}), std::vector<uint32_t>(colors, colors + 5));
    parseColorList("65535,0,16711680,16777215,65535", colors);
    EXPECT_EQ((std::vector<uint32_t>{65535, 0, 16711680, 16777215, 65535}),
              std::vector<uint32_t>(colors, colors + 5));
    parseColorList("7,x,9", colors);
    EXPECT_EQ(7u, colors[0]);
    EXPECT_EQ(0u, colors[1]);

    int x = 11, y = 12;
    parseIntPair("-5,30", &x, &y);
    EXPECT_EQ(-5, x);
    EXPECT_EQ(30, y);
    parseIntPair("40", &x, &y);
    EXPECT_EQ(40, x);
    EXPECT_EQ(30, y);
    parseIntPair("bad", &x, &y);
    EXPECT_EQ(40, x);

    EXPECT_EQ(60u, parseUnsignedLeading("", 60, false));
    EXPECT_EQ(0u, parseUnsignedLeading("word", 60, true));
    EXPECT_EQ(12u, parseUnsignedLeading("12abc", 60, true));
}
