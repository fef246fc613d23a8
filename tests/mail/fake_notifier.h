// Test doubles of the notifier's error box and Yes/No question for programs
// that link the mail library without the poll cycle.
#ifndef PELIMBO_TESTS_MAIL_FAKE_NOTIFIER_H
#define PELIMBO_TESTS_MAIL_FAKE_NOTIFIER_H

#include <string>
#include <vector>

extern std::vector<std::string> reportedErrors;
extern std::vector<std::string> askedQuestions;
extern bool questionAnswer; // what askQuestion answers

void resetFakeNotifier(void);

#endif
