#ifndef PELIMBO_TESTS_NET_DELETION_DOUBLES_H
#define PELIMBO_TESTS_NET_DELETION_DOUBLES_H

#include <functional>
#include <string>
#include <vector>

extern bool deletionAnswer;
extern std::vector<std::string> deletionLog;
// Runs while the (pretend) confirmation box is open.
extern std::function<void()> whileDeletionAsked;

#endif
