// Common set-up of the mail tests: fresh header arrays, settings cleared, and
// filter and WAVBase lists built from literals (given in list order).
#ifndef PELIMBO_TESTS_MAIL_FIXTURE_H
#define PELIMBO_TESTS_MAIL_FIXTURE_H

#include <gtest/gtest.h>
#include <string.h>

#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include "mail/mail.h"

class MailTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(allocateMailBuffers());
        memset(&config.settings, 0, sizeof config.settings);
        config.filterList = FilterList{};
        config.wavBaseList = WavBaseList{};
    }
    void TearDown() override
    {
        config.filterList = FilterList{};
        config.wavBaseList = WavBaseList{};
        freeMailBuffers();
    }
    // {text, action, match}
    void setFilters(std::vector<std::tuple<std::string, uint8_t, uint8_t>> specs)
    {
        texts = {};
        filters.clear();
        for (auto &s : specs)
            filters.push_back({&texts.emplace_back(std::get<0>(s))[0], std::get<1>(s), std::get<2>(s)});
        config.filterList = FilterList{filters.data(), (int)filters.size()};
    }
    // {text, sound file, match}
    void setSounds(std::vector<std::tuple<std::string, std::string, uint8_t>> specs)
    {
        texts = {};
        sounds.clear();
        for (auto &s : specs)
            sounds.push_back({&texts.emplace_back(std::get<0>(s))[0], &texts.emplace_back(std::get<1>(s))[0],
                              std::get<2>(s), 0});
        config.wavBaseList = WavBaseList{sounds.data(), (int)sounds.size()};
    }

    std::deque<std::string> texts; // stable addresses for the entries' texts
    std::vector<FilterEntry> filters;
    std::vector<WavBaseEntry> sounds;
};

#ifdef _WIN32
#include <windows.h>

// The ANSI text a service returns in 40 double-byte characters of the
// Japanese code page (80 bytes).
inline std::string doubleByteServiceText()
{
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "\x83\x65"; // katakana "te"
    return text;
}

// What a record keeps of that text: cut at 55 bytes between characters (27
// characters under the Japanese code page, 55 single bytes under any other),
// and the wide text made from the cut form.
inline void expectCutBetweenCharacters(const MessageHeader *record, HeaderField field)
{
    std::string full = doubleByteServiceText();
    const bool japanese = GetACP() == 932;
    const int kept = japanese ? 54 : 55;
    EXPECT_EQ(std::string(field == FIELD_SUBJECT ? record->subject : record->from), full.substr(0, kept));
    WideChar wide[HEADER_TEXT_SIZE];
    size_t n = headerWideText(record, field, wide);
    WCHAR cut[HEADER_TEXT_SIZE];
    int units = MultiByteToWideChar(CP_ACP, 0, full.data(), kept, cut, HEADER_TEXT_SIZE);
    EXPECT_EQ(std::u16string(wide, n), std::u16string((const char16_t *)cut, units > 0 ? units : 0));
    if (japanese) {
        EXPECT_EQ(std::u16string(wide, n), std::u16string(27, u'\u30C6'));
    }
}
#endif

#endif
