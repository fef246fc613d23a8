// Recording doubles of the poll core for the mail-file and deletion tests: what
// the source began, published, reset, reported and asked, and how often it
// dispatched window messages (through the front end resetFakePoll installs).
#ifndef PELIMBO_TESTS_MAIL_FAKE_CORE_H
#define PELIMBO_TESTS_MAIL_FAKE_CORE_H

#include <functional>
#include <string>
#include <vector>

#include "mail/mail.h"
#include "sources/sources.h"

struct PublishedHeader {
    int index;
    uint32_t sortKey;
    const WavBaseEntry *soundEntry;
    std::string from;
    std::string subject;
};

struct FakePoll {
    int begun = 0;
    int finished = 0;
    int failed = 0;
    int resets = 0;
    int published = 0;
    int lastIndex = -2;
    bool force = false;
    int pumps = 0;
    std::vector<PublishedHeader> headers; // in index order, as the source left them
    std::vector<std::string> errors;
    std::vector<std::string> questions;
    bool answer = false;
    std::function<void()> onPump;
};

extern FakePoll fakePoll;
void resetFakePoll(void);

#endif
