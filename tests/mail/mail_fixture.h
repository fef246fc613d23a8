// Common set-up of the mail tests: fresh header arrays, settings cleared, and
// small filter and WAVBase lists built from literals.
#ifndef PELIMBO_TESTS_MAIL_FIXTURE_H
#define PELIMBO_TESTS_MAIL_FIXTURE_H

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "mail/mail.h"

struct FilterSpec {
    const char *text;
    uint8_t action;
    uint8_t match;
};

struct SoundSpec {
    const char *text;
    const char *soundFile;
    uint8_t match;
};

class MailTest : public ::testing::Test {
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

    // The lists keep the order given (tests give them sorted, as loaded).
    void setFilters(std::vector<FilterSpec> specs)
    {
        filterTexts.assign(specs.size(), std::string());
        filters.clear();
        for (size_t i = 0; i < specs.size(); i++) {
            filterTexts[i] = specs[i].text;
            filters.push_back(FilterEntry{&filterTexts[i][0], specs[i].action, specs[i].match});
        }
        config.filterList.entries = filters.data();
        config.filterList.count = (int)filters.size();
    }
    void setSounds(std::vector<SoundSpec> specs)
    {
        soundTexts.assign(specs.size(), std::string());
        soundFiles.assign(specs.size(), std::string());
        sounds.clear();
        for (size_t i = 0; i < specs.size(); i++) {
            soundTexts[i] = specs[i].text;
            soundFiles[i] = specs[i].soundFile;
            sounds.push_back(WavBaseEntry{&soundTexts[i][0], &soundFiles[i][0], specs[i].match, 0});
        }
        config.wavBaseList.entries = sounds.data();
        config.wavBaseList.count = (int)sounds.size();
    }

    std::vector<std::string> filterTexts, soundTexts, soundFiles;
    std::vector<FilterEntry> filters;
    std::vector<WavBaseEntry> sounds;
};

#endif
