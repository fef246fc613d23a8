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

#endif
