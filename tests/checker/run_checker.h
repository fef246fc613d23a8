// pelcheck32 run as a program under Wine, its output and exit status caught,
// without a display.
#ifndef PELIMBO_TESTS_CHECKER_RUN_CHECKER_H
#define PELIMBO_TESTS_CHECKER_RUN_CHECKER_H

#include <string>

struct CheckRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Z:\... for a path of the machine the tests run on.
std::string windowsPath(const std::string &unixPath);
// Runs pelcheck32 with the arguments in directory; waits up to a minute.
CheckRun runChecker(const std::string &arguments, const std::string &directory);

#endif
