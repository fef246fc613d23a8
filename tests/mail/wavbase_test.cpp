// WAVBase matching and the sounds a notification plays for the shown list.
#include <gtest/gtest.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <string>
#include <vector>

#include "tests/mail/mail_fixture.h"

class WavBase : public MailTest {
protected:
    std::vector<std::string> played;

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
    std::vector<std::string> plan(std::vector<int> shown)
    {
        for (size_t i = 0; i < shown.size(); i++)
            mail.shownHeaders[i].soundEntry = shown[i] == -2 ? NO_SOUND : shown[i] == -1 ? nullptr : &sounds[shown[i]];
        played.clear();
        int n = planWavBaseSounds((int)shown.size(), record, this);
        EXPECT_EQ(n, (int)played.size());
        return played;
    }
};

using Sounds = std::vector<std::string>;

TEST_F(WavBase, MatchingFollowsTheFilterRule)
{
    setSounds({{"boss", "boss.wav", MATCH_SUBJECT}, {"mum", "mum.wav", MATCH_FROM}});
    MessageHeader message = {};
    copyText(message.from, "The Boss");
    copyText(message.subject, "boss meeting, from mum");
    copyText(mail.senderText, "MUM's list");
    EXPECT_EQ(soundMatchFrom(&message), nullptr);
    EXPECT_EQ(soundMatchSubject(&message), &sounds[0]);
    EXPECT_EQ(soundMatchSender(), &sounds[1]);
    EXPECT_EQ(soundMatchFromOrSubject(&message), &sounds[0]);
    config.settings.SoundOption = SOUND_CUSTOM;
    EXPECT_EQ(soundMatchSubject(&message), nullptr);
}

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
        {true, {}, {}},
    };
    for (const Case &c : cases) {
        config.settings.WAVOnce = c.once;
        EXPECT_EQ(plan(c.shown), c.expected);
        // Played flags belong to one notification: the next one plays again.
        EXPECT_EQ(plan(c.shown), c.expected);
    }
}

TEST_F(WavBase, DefaultSoundAndEntryFilesAsConfigured)
{
    config.settings.WAVOnce = true;
    config.settings.WAVBaseDefault[0] = '\0';
    EXPECT_EQ(plan({-1, -1}), Sounds{});

#ifdef _WIN32
    SetEnvironmentVariableA("PELTEST_SOUNDS", "/snd");
#else
    setenv("PELTEST_SOUNDS", "/snd", 1);
#endif
    setSounds({{"a", "$PELTEST_SOUNDS$/a.wav", MATCH_FROM}, {"b", "$unclosed", MATCH_FROM}});
    EXPECT_EQ(plan({1, 0, 1, 0}), Sounds{"/snd/a.wav"});
    EXPECT_EQ(sounds[1].played, 0u);
}

TEST_F(WavBase, ReferencesIntoAReloadedListPlayNothing)
{
    config.settings.WAVOnce = false;
    setSounds({{"a", "a.wav", MATCH_FROM}});
    WavBaseEntry released = sounds[0];
    mail.shownHeaders[0].soundEntry = &released;
    played.clear();
    EXPECT_EQ(planWavBaseSounds(1, record, this), 0);
    EXPECT_TRUE(played.empty());
}
