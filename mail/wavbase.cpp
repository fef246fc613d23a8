// The WAVBase: which entry's sound a new message plays, and which sounds a
// notification plays for the shown list.
#include "mail/mail.h"
#include "mail/textmatch.h"

namespace
{

WavBaseEntry *firstSoundMatch(MatchLine line, const MessageHeader *record)
{
    if (config.settings.SoundOption != SOUND_WAVBASE || config.wavBaseList.entries == nullptr)
        return nullptr;
    MatchTexts texts;
    prepareMatchTexts(&texts, line, record);
    for (int i = 0; i < config.wavBaseList.count; i++) {
        WavBaseEntry *entry = &config.wavBaseList.entries[i];
        if (entryMatches(entry->text, entry->match, &texts))
            return entry;
    }
    return nullptr;
}

} // namespace

WavBaseEntry *soundMatchFrom(const MessageHeader *record)
{
    return firstSoundMatch(LINE_FROM, record);
}

WavBaseEntry *soundMatchSubject(const MessageHeader *record)
{
    return firstSoundMatch(LINE_SUBJECT, record);
}

WavBaseEntry *soundMatchSender(void)
{
    return firstSoundMatch(LINE_SENDER, nullptr);
}

WavBaseEntry *soundMatchFromOrSubject(const MessageHeader *record)
{
    WavBaseEntry *entry = soundMatchFrom(record);
    return entry ? entry : soundMatchSubject(record);
}

bool isCurrentWavBaseEntry(const WavBaseEntry *entry)
{
    if (entry == nullptr || config.wavBaseList.entries == nullptr)
        return false;
    for (int i = 0; i < config.wavBaseList.count; i++)
        if (entry == &config.wavBaseList.entries[i])
            return true;
    return false;
}

int planWavBaseSounds(int shownCount, WavBasePlayer play, void *context)
{
    const bool once = config.settings.WAVOnce;
    if (once && config.wavBaseList.entries != nullptr)
        for (int i = 0; i < config.wavBaseList.count; i++)
            config.wavBaseList.entries[i].played = 0;
    if (mail.shownHeaders == nullptr)
        return 0;
    if (shownCount > HEADER_SLOTS)
        shownCount = HEADER_SLOTS;

    int planned = 0;
    bool defaultPlayed = false;
    for (int i = 0; i < shownCount; i++) {
        WavBaseEntry *entry = mail.shownHeaders[i].soundEntry;
        if (entry == NO_SOUND)
            continue;
        if (entry == nullptr) {
            if (config.settings.WAVBaseDefault[0] == '\0' || (once && defaultPlayed))
                continue;
            play(config.settings.WAVBaseDefault, context);
            planned++;
            defaultPlayed = true;
            continue;
        }
        // A reference into a list that has since been reloaded plays nothing.
        if (!isCurrentWavBaseEntry(entry) || (once && entry->played))
            continue;
        const char *path = expandEnvironment(entry->soundFile ? entry->soundFile : "");
        if (!path)
            continue;
        play(path, context);
        planned++;
        if (once)
            entry->played = 1;
    }
    return planned;
}
