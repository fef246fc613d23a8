// Paths in settings: making them absolute, the checks that decide whether a
// mail file, mail reader or sound file is usable, the program search, and the
// temporary change of directory while the reader is checked.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "config/config.h"

static char currentDriveNow(void)
{
    char dir[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    return (n > 0 && n < sizeof dir && dir[1] == ':') ? upperChar(dir[0]) : 0;
}

// The current directory of one drive, without a trailing backslash (so a root
// is "X:"); zero when it cannot be had or does not fit.
static int driveDirectory(char letter, char *dir, size_t size)
{
    char drive[3] = {letter, ':', '\0'};
    DWORD n = GetFullPathNameA(drive, (DWORD)size, dir, NULL);
    if (n == 0 || n >= size)
        return 0;
    if (dir[n - 1] == '\\')
        dir[n - 1] = '\0';
    return 1;
}

static const char *pathResult(int fitted)
{
    if (!fitted)
        config.fullPathResult[0] = '\0';
    return fitted ? config.fullPathResult : NULL;
}

static bool hasDrive(const char *path)
{
    return ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':';
}

const char *fullPath(const char *path, const char *base)
{
    char *out = config.fullPathResult;
    size_t size = sizeof config.fullPathResult;
    // UNC names and NetWare volumes are left as they are.
    if ((path[0] == '\\' && path[1] == '\\') || findNoCase(path, "SYS:"))
        return pathResult(copyText(out, size, path));
    if (hasDrive(path) && path[2] == '\\')
        return pathResult(copyText(out, size, path));
    if (hasDrive(path)) {
        char dir[FULL_PATH_SIZE];
        if (!driveDirectory(path[0], dir, sizeof dir))
            return pathResult(0);
        return pathResult(formatText(out, size, "%s\\%s", dir, path + 2));
    }
    if (path[0] == '\\') {
        char drive = currentDriveNow();
        return pathResult(drive && formatText(out, size, "%c:%s", drive, path));
    }
    return pathResult(formatText(out, size, "%s\\%s", base, path));
}

bool isDirectory(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isRegularFile(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool parentDirectoryExists(const char *path)
{
    if (path[0] && strstr(path + 1, "\\\\"))
        return false;
    const char *name = fileNamePart(path);
    size_t length = (size_t)(name - path);
    // A file in a drive's root keeps the root's backslash (X:\).
    if (!(length == 3 && path[1] == ':' && path[2] == '\\') && length > 0)
        length--;
    char dir[FULL_PATH_SIZE];
    if (length >= sizeof dir)
        return false;
    copyTextN(dir, sizeof dir, path, length);
    return isDirectory(dir);
}

bool checkMailFile(const char *expanded)
{
    if (!expanded) {
        configReport("Invalid environment variable in mail file");
        return false;
    }
    if ((expanded[0] == '\\' && expanded[1] == '\\') || config.settings.MessageSource != SOURCE_DISK_FILE)
        return true;
    // The file itself need not exist yet, nor be more than a pattern.
    const char *path = fullPath(expanded, config.currentDirectory);
    if (path && parentDirectoryExists(path))
        return true;
    configReport("Invalid name or path for mail file");
    return false;
}

bool checkSoundFile(const char *expanded)
{
    if (!expanded) {
        configReport("Invalid environment variable in sound file");
        return false;
    }
    if (isRegularFile(expanded))
        return true;
    configReport("Invalid sound file");
    return false;
}

// The command may hold one placeholder for the mail path, and nothing else.
bool checkTrustFile(const char *expanded)
{
    if (!expanded) {
        configReport("Invalid environment variable in trust file");
        return false;
    }
    if (isRegularFile(expanded))
        return true;
    configReport("Invalid trust file");
    return false;
}

static bool validPlaceholders(const char *command)
{
    const char *percent = strchr(command, '%');
    return !percent || (percent[1] == 's' && !strchr(percent + 1, '%'));
}

bool checkMailReader(const char *expanded)
{
    if (!expanded) {
        configReport("Invalid environment variable in mail reader");
        return false;
    }
    char command[PATH_SIZE];
    copyText(command, expanded);
    if (!validPlaceholders(command)) {
        configReport("Invalid mail reader string");
        return false;
    }
    if (command[0] == '\0' || findProgram(command))
        return true;
    // Arguments follow the program name: try ever shorter prefixes, cut at blanks.
    for (size_t i = strlen(command); i-- > 1;) {
        if (command[i] != ' ')
            continue;
        command[i] = '\0';
        if (findProgram(command))
            return true;
    }
    configReport("Can't find mail reader in path");
    return false;
}

bool tryProgram(const char *directory, const char *name, bool hasExtension)
{
    char path[FULL_PATH_SIZE];
    copyText(path, directory);
    size_t n = strlen(path);
    if (n > 0 && path[n - 1] == '\\')
        path[n - 1] = '\0';
    if (!appendText(path, "\\") || !appendText(path, name))
        return false;
    bool found = false;
    if (hasExtension) {
        found = isRegularFile(path);
    } else {
        static const char *const extensions[] = {".EXE", ".COM", ".PIF", ".BAT"};
        size_t stem = strlen(path);
        for (const char *extension : extensions) {
            path[stem] = '\0';
            if (appendText(path, extension) && isRegularFile(path)) {
                found = true;
                break;
            }
        }
    }
    if (found)
        copyText(config.foundProgram, path);
    return found;
}

// Tries every entry of PATH in turn, however long PATH is.
static bool findOnPath(const char *name, bool hasExtension)
{
    char probe[1];
    long length = lookupEnvironment("PATH", probe, sizeof probe);
    if (length <= 0)
        return false;
    char *path = (char *)malloc((size_t)length + 1);
    if (!path)
        return false;
    bool found = false;
    if (lookupEnvironment("PATH", path, (size_t)length + 1) == length) {
        for (const char *entry = path; !found && *entry;) {
            const char *end = strchr(entry, ';');
            size_t n = end ? (size_t)(end - entry) : strlen(entry);
            char dir[FULL_PATH_SIZE];
            if (n > 0 && n < sizeof dir) {
                copyTextN(dir, sizeof dir, entry, n);
                found = tryProgram(dir, name, hasExtension);
            }
            entry += end ? n + 1 : n;
        }
    }
    free(path);
    return found;
}

// The directories searched for a bare program name before PATH.
static bool findInUsualDirectories(const char *name, bool hasExtension)
{
    char dir[FULL_PATH_SIZE];
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    if (n > 0 && n < sizeof dir && tryProgram(dir, name, hasExtension))
        return true;
    n = GetWindowsDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir && tryProgram(dir, name, hasExtension))
        return true;
    n = GetSystemDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir && tryProgram(dir, name, hasExtension))
        return true;
    if (config.modulePath[0]) {
        copyTextN(dir, sizeof dir, config.modulePath,
                  (size_t)(fileNamePart(config.modulePath) - config.modulePath));
        if (tryProgram(dir, name, hasExtension))
            return true;
    }
    return false;
}

bool findProgram(const char *name)
{
    if (strchr(name, ':') || strchr(name, '\\')) {
        char base[FULL_PATH_SIZE];
        DWORD n = GetCurrentDirectoryA(sizeof base, base);
        if (n == 0 || n >= sizeof base)
            return false;
        if (base[n - 1] == '\\')
            base[n - 1] = '\0';
        const char *path = fullPath(name, base);
        if (!path)
            return false;
        const char *file = fileNamePart(path);
        char dir[FULL_PATH_SIZE];
        copyTextN(dir, sizeof dir, path, (size_t)(file - path));
        char fileName[FULL_PATH_SIZE];
        copyText(fileName, file);
        // Only the file name decides whether an extension was given: a dot in a
        // directory name does not make PROG an exact file name.
        return tryProgram(dir, fileName, strchr(fileName, '.') != NULL);
    }
    bool hasExtension = strchr(name, '.') != NULL;
    return findInUsualDirectories(name, hasExtension) || findOnPath(name, hasExtension);
}

static void selectDrive(char letter)
{
    if (!letter || currentDriveNow() == letter)
        return;
    char drive[3] = {letter, ':', '\0'};
    SetCurrentDirectoryA(drive);
}

void enterDirectory(const char *directory)
{
    SetCurrentDirectoryA(directory);
    if (hasDrive(directory))
        selectDrive(upperChar(directory[0]));
}

void restoreStartDirectory(void)
{
    char dir[FULL_PATH_SIZE];
    copyText(dir, config.currentDirectory);
    if (hasDrive(dir) && dir[2] == '\0')
        appendText(dir, "\\");
    SetCurrentDirectoryA(dir);
    selectDrive(config.currentDrive);
}

void captureStartLocation(void)
{
    char dir[FULL_PATH_SIZE];
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) {
        config.currentDirectory[0] = '\0';
        config.currentDrive = 0;
    } else {
        if (n == 3 && hasDrive(dir) && dir[2] == '\\')
            dir[2] = '\0';
        copyText(config.currentDirectory, dir);
        config.currentDrive = hasDrive(dir) ? upperChar(dir[0]) : 0;
    }
    DWORD m = GetModuleFileNameA(NULL, config.modulePath, sizeof config.modulePath);
    if (m == 0 || m >= sizeof config.modulePath)
        config.modulePath[0] = '\0';
}

// The starting folder and file of a file dialog, from what a field holds.
const char *browsePath(const char *path)
{
    char *out = config.fullPathResult;
    size_t size = sizeof config.fullPathResult;
    if (path[0] && path[1] == ':') {
        char letter = upperChar(path[0]);
        if (letter < 'A' || letter > 'Z')
            return pathResult(0);
        if (path[2] == '\\')
            return pathResult(copyText(out, size, path));
        char dir[FULL_PATH_SIZE];
        if (!driveDirectory(letter, dir, sizeof dir))
            return pathResult(0);
        const char *inside = strlen(dir) > 3 ? dir + 3 : ""; // past "X:\"
        return pathResult(
            formatText(out, size, "%c:\\%s%s%s", letter, inside, inside[0] ? "\\" : "", path + 2));
    }
    if (path[0] == '\\') {
        char drive = currentDriveNow();
        return pathResult(drive && formatText(out, size, "%c:%s", drive, path));
    }
    char dir[FULL_PATH_SIZE];
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir)
        return pathResult(0);
    if (dir[n - 1] == '\\')
        dir[n - 1] = '\0'; // a root would otherwise give X:\\name
    return pathResult(formatText(out, size, "%s\\%s", dir, path));
}
