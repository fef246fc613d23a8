// Choosing the INI file: the one argument, the name rules, and creating the
// file when it is missing.
#include "config/inifile.h"

#include <windows.h>
#include <string.h>

int iniRefusalExitCode(IniChoiceResult result)
{
    return result == INI_CANNOT_CREATE ? 1 : 0;
}

// The part after the last "\" or ":".
static char *namePart(char *path)
{
    char *name = path;
    for (char *p = path; *p; p++)
        if (*p == '\\' || *p == ':' || *p == '/')
            name = p + 1;
    return name;
}

// Takes the one argument: a quoted name runs to the closing quote (or the end),
// an unquoted one to the first blank.
static void takeArgument(const char *arguments, char *name, size_t size)
{
    while (*arguments == ' ' || *arguments == '\t')
        arguments++;
    const char *end;
    if (*arguments == '"') {
        arguments++;
        end = strchr(arguments, '"');
        if (!end)
            end = arguments + strlen(arguments);
    } else {
        end = arguments;
        while (*end && *end != ' ' && *end != '\t')
            end++;
    }
    copyTextN(name, size, arguments, (size_t)(end - arguments));
}

static IniChoiceResult createIfMissing(IniChoice *choice)
{
    HANDLE file = CreateFileA(choice->path, GENERIC_READ, FILE_SHARE_READ, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(choice->path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        copyText(choice->message, "Can't create .INI file");
        return INI_CANNOT_CREATE;
    }
    FindClose(search);
    if (found.cAlternateFileName[0] != '\0') {
        char *name = namePart(choice->path);
        size_t room = sizeof choice->path - (size_t)(name - choice->path);
        copyText(name, room, found.cAlternateFileName);
    }
    return INI_CHOSEN;
}

IniChoiceResult chooseIniFileName(const char *arguments, const char *currentDirectory, IniChoice *choice)
{
    choice->message[0] = '\0';
    char typed[1024];
    takeArgument(arguments ? arguments : "", typed, sizeof typed);
    if (typed[0] == '\0') {
        if (!formatText(choice->path, sizeof choice->path, "%s\\PELIMBO.INI", currentDirectory)) {
            copyText(choice->message, "Can't create .INI file");
            return INI_CANNOT_CREATE;
        }
        return INI_CHOSEN;
    }

    if (strpbrk(typed, "?*")) {
        formatText(choice->message, sizeof choice->message, "%s\n\n%s",
                   "Wildcard not allowed in configuration filename:", typed);
        return INI_WILDCARD;
    }

    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(typed, sizeof full, full, NULL);
    char *name = namePart(full);
    char *dot = strrchr(name, '.');
    if (dot && dot[1] == '\0') {
        *dot = '\0';
        dot = NULL;
    }
    size_t nameLength = strlen(name);
    // The full path must also fit the INI path buffer; a cut path would name
    // some other file.
    size_t fullLength = strlen(full) + (dot ? 0 : 4);
    if (length == 0 || length >= sizeof full || nameLength > 255 || (!dot && nameLength > 251)
        || (dot && compareNoCase(dot, ".INI") != 0) || fullLength >= sizeof choice->path) {
        formatText(choice->message, sizeof choice->message, "%s\n\n\"%s\"",
                   "Invalid configuration filename:", typed);
        return INI_INVALID_NAME;
    }

    char directory[sizeof full];
    copyTextN(directory, sizeof directory, full, (size_t)(name - full));
    size_t dirLength = strlen(directory);
    // A root keeps its backslash ("C:\"); any other directory loses it.
    if (dirLength > 1 && directory[dirLength - 1] == '\\' && directory[dirLength - 2] != ':')
        directory[dirLength - 1] = '\0';
    DWORD attributes = GetFileAttributesA(directory);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        formatText(choice->message, sizeof choice->message, "%s\n\n\"%s\"",
                   "Invalid drive or directory for configuration file:", directory);
        return INI_BAD_DIRECTORY;
    }

    if (dot)
        copyText(choice->path, full);
    else
        formatText(choice->path, sizeof choice->path, "%s.ini", full);
    return INI_CHOSEN;
}

IniChoiceResult chooseIniFile(const char *arguments, const char *currentDirectory, IniChoice *choice)
{
    IniChoiceResult result = chooseIniFileName(arguments, currentDirectory, choice);
    return result == INI_CHOSEN ? createIfMissing(choice) : result;
}
