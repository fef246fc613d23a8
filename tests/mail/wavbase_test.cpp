// The sounds a notification plays for the shown list.
#include <gtest/gtest.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/mail/mail_fixture.h"

using Sounds = std::vector<std::string>;

class WavBase : public MailTest
{
  protected:
    Sounds played;

    void SetUp() override
    {
        MailTest::SetUp();
        config.settings.SoundOption = SOUND_WAVBASE;
        copyText(config.settings.WAVBaseDefault, "default.wav");
    }
    static void record(const char *soundFile, void *context)
    {
        static_cast<WavBase *>(context)->played.push_back(soundFile);
    }
    // Shown records with these sounds: -2 no sound, -1 default, else an entry.
    Sounds plan(std::vector<int> shown)
    {
        for (size_t i = 0; i < shown.size(); i++)
            mail.shownHeaders[i].soundEntry = shown[i] == -2   ? NO_SOUND
                                              : shown[i] == -1 ? nullptr
                                                               : &sounds[shown[i]];
        played.clear();
        int count = planWavBaseSounds((int)shown.size(), record, this);
        EXPECT_EQ(count, (int)played.size());
        return played;
    }
};

TEST_F(WavBase, PlanTable)
{
    setSounds({{"a", "a.wav", MATCH_FROM}, {"b", "b.wav", MATCH_FROM}});
    struct Case {
        bool once;
        std::vector<int> shown;
        Sounds expected;
    } cases[] = {
        {true, {-1, -1, -1}, {"default.wav"}},
        {false, {-1, -1, -1}, {"default.wav", "default.wav", "default.wav"}},
        {true, {0, -2, 1, 0, -1, 1, -1}, {"a.wav", "b.wav", "default.wav"}},
        {false, {0, -2, 0}, {"a.wav", "a.wav"}},
        {true, {-2, -2}, {}},
    };
    for (const Case &c : cases) {
        config.settings.WAVOnce = c.once;
        EXPECT_EQ(plan(c.shown), c.expected);
        // Played flags belong to one notification: the next one plays again.
        EXPECT_EQ(plan(c.shown), c.expected);
    }
}

TEST_F(WavBase, SoundFilesAsConfigured)
{
    config.settings.WAVOnce = true;
    config.settings.WAVBaseDefault[0] = '\0';
    EXPECT_EQ(plan({-1, -1}), Sounds{});

#ifdef _WIN32
    SetEnvironmentVariableA("PELTEST_SOUNDS", "/snd");
#else
    setenv("PELTEST_SOUNDS", "/snd", 1);
#endif
    // A file whose references cannot be expanded is skipped, not marked played.
    setSounds({{"a", "$PELTEST_SOUNDS$/a.wav", MATCH_FROM}, {"b", "$unclosed", MATCH_FROM}});
    EXPECT_EQ(plan({1, 0, 1, 0}), Sounds{"/snd/a.wav"});
    EXPECT_EQ(sounds[1].played, 0u);

    // A record still referring to an entry of a released list plays nothing.
    WavBaseEntry released = sounds[0];
    released.played = 0;
    mail.shownHeaders[0].soundEntry = &released;
    played.clear();
    EXPECT_EQ(planWavBaseSounds(1, record, this), 0);
}
