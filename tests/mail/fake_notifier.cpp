#include "tests/mail/fake_notifier.h"

#include "notifier/notifier.h"

std::vector<std::string> reportedErrors;
std::vector<std::string> askedQuestions;
bool questionAnswer;

void resetFakeNotifier(void)
{
    reportedErrors.clear();
    askedQuestions.clear();
    questionAnswer = false;
}

void reportError(const char *text)
{
    reportedErrors.push_back(text);
}

bool askQuestion(const char *text)
{
    askedQuestions.push_back(text);
    return questionAnswer;
}
