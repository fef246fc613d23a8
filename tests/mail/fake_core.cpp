#include "tests/mail/fake_core.h"

#include "core/frontend.h"
#include "core/core.h"

NotifierState notifier;
FakePoll fakePoll;

static void countPump(void)
{
    fakePoll.pumps++;
    if (fakePoll.onPump)
        fakePoll.onPump();
}

// The sources keep the window alive through the front end while they read.
static const FrontEnd pumpCounter = [] {
    FrontEnd table = nullFrontEnd;
    table.pumpMessages = countPump;
    return table;
}();

void resetFakePoll(void)
{
    fakePoll = FakePoll();
    notifier = NotifierState();
    installFrontEnd(&pumpCounter);
}

void beginPoll(void)
{
    fakePoll.begun++;
    notifier.pollInProgress = true;
    clearRawHeaders();
}

void finishPoll(void)
{
    fakePoll.finished++;
    notifier.pollInProgress = false;
}

void failPoll(void)
{
    fakePoll.failed++;
    finishPoll();
}

void publishPollResult(int lastIndex, bool force)
{
    fakePoll.published++;
    fakePoll.lastIndex = lastIndex;
    fakePoll.force = force;
    fakePoll.headers.clear();
    int count = lastIndex + 1;
    int first = count > HEADER_SLOTS ? count - HEADER_SLOTS : 0;
    for (int i = first; i < count; i++) {
        const MessageHeader &h = mail.workHeaders[i % HEADER_SLOTS];
        WideChar wide[HEADER_TEXT_SIZE];
        char from[4 * HEADER_TEXT_SIZE], subject[4 * HEADER_TEXT_SIZE];
        wideToUtf8(wide, headerWideText(&h, FIELD_FROM, wide), from, sizeof from);
        wideToUtf8(wide, headerWideText(&h, FIELD_SUBJECT, wide), subject, sizeof subject);
        fakePoll.headers.push_back(
            PublishedHeader{h.index, h.sortKey, h.soundEntry, h.from, h.subject, from, subject});
    }
    notifier.headerCount = count;
    finishPoll();
}

void resetMailState(void)
{
    fakePoll.resets++;
    notifier.headerCount = 0;
    notifier.mailMeasure = 0;
    forgetFileSnapshot();
}

void reportError(const char *text)
{
    fakePoll.errors.push_back(text);
}

bool askQuestion(const char *text)
{
    fakePoll.questions.push_back(text);
    return fakePoll.answer;
}
