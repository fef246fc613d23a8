// A recording front end for tests of the core: every call the core makes into
// the seam is appended to frontLog as one short line.
#ifndef PELIMBO_TESTS_FAKE_FRONTEND_H
#define PELIMBO_TESTS_FAKE_FRONTEND_H

#include <functional>
#include <string>
#include <vector>

extern std::vector<std::string> frontLog;
// Answer of frontAskYesNo.
extern int frontAnswer;
// Runs while an error box is "open" (e.g. timer ticks arriving meanwhile).
extern std::function<void()> whileErrorBoxOpen;

void resetFakeFrontEnd(void);
// The lines of frontLog that start with prefix.
std::vector<std::string> frontCalls(const std::string &prefix);

#endif
