// Environment references: expansion, and putting references back into a path.
// Input: the text to expand; after the first NUL, the old text and chosen path
// for the reverse operation (split at a second NUL).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "config/config.h"

static void quiet(const char *)
{
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("FZ", "C:\\USERS\\ANN", 1);
    setenv("FZDOLLAR", "a$b$$c", 1);
    setenv("FZLONG", std::string(200, 'L').c_str(), 1);
    setenv("FZEMPTY", "", 1);
    config.report = quiet;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input((const char *)data, size);
    std::string text = input.substr(0, input.find('\0'));
    const char *expanded = expandEnvironment(text.c_str());
    if (expanded && strlen(expanded) > EXPANSION_SIZE - 1)
        abort();

    size_t first = input.find('\0');
    std::string rest = first == std::string::npos ? "" : input.substr(first + 1);
    std::string oldText = rest.substr(0, rest.find('\0'));
    std::string chosen = rest.find('\0') == std::string::npos ? "" : rest.substr(rest.find('\0') + 1);
    chosen = chosen.substr(0, chosen.find('\0'));
    char result[PATH_SIZE];
    restoreReferences(oldText.c_str(), chosen.c_str(), result, sizeof result);

    char escaped[128];
    escapeDollars(text.c_str(), escaped, sizeof escaped);
    if (strlen(escaped) > sizeof escaped - 2)
        abort();
    std::string lowered = text;
    lowerOutsideReferences(&lowered[0]);
    const char *found = findNoCase(text.c_str(), oldText.c_str());
    if (found && (found < text.c_str() || found > text.c_str() + text.size()))
        abort();
    fileNamePart(text.c_str());
    return 0;
}
