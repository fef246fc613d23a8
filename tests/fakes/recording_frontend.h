// The recording front end of the tests: the null front end with every
// operation the tests observe appended to frontLog as one short line.
#ifndef PELIMBO_TESTS_FAKES_RECORDING_FRONTEND_H
#define PELIMBO_TESTS_FAKES_RECORDING_FRONTEND_H

#include <functional>
#include <string>
#include <vector>

#include "core/frontend.h"

extern std::vector<std::string> frontLog;
// Answer of askYesNo.
extern int frontAnswer;
// Runs while an error box is "open" (e.g. timer ticks arriving meanwhile).
extern std::function<void()> whileErrorBoxOpen;

// The recording table; a test that observes more copies it and overrides.
extern const FrontEnd recordingFrontEnd;

// Clears the log and the answers and installs recordingFrontEnd.
void resetFakeFrontEnd(void);
// The lines of frontLog that start with prefix.
std::vector<std::string> frontCalls(const std::string &prefix);

#endif
