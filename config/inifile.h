// Choosing the INI file from the program's one argument. Window-free, so the
// notifier and the command-line checker apply the same name rules.
#ifndef PELIMBO_CONFIG_INIFILE_H
#define PELIMBO_CONFIG_INIFILE_H

#include "config/config.h"

// How the configuration file named on the command line was judged.
enum IniChoiceResult {
    INI_CHOSEN = 0,
    INI_WILDCARD,      // "Wildcard not allowed in configuration filename:"
    INI_INVALID_NAME,  // "Invalid configuration filename:"
    INI_BAD_DIRECTORY, // "Invalid drive or directory for configuration file:"
    INI_CANNOT_CREATE, // "Can't create .INI file"
};

struct IniChoice {
    char path[PATH_SIZE];        // the chosen file, full path (short name when there is one)
    char message[3 * PATH_SIZE]; // the refusal text
};

// Chooses the INI file from the program's arguments and creates it when it is
// missing (an existing file is never touched). The current directory is that
// of the process (a drive root is held as "C:").
IniChoiceResult chooseIniFile(const char *arguments, const char *currentDirectory, IniChoice *choice);
// The name rules alone: the full path the file would have, or the refusal.
// Nothing is created.
IniChoiceResult chooseIniFileName(const char *arguments, const char *currentDirectory, IniChoice *choice);
// The exit code of a refusal: 0 for the name errors, 1 when the file cannot be made.
int iniRefusalExitCode(IniChoiceResult result);

#endif
