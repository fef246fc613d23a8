// The stored password form: any text as stored (edited by hand or damaged)
// decodes without reading past its end, and every password of up to 40
// characters survives scrambling and unscrambling.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "config/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input((const char *)data, size);
    std::string stored = input.substr(0, input.find('\0'));
    if (stored.size() >= STORED_PASSWORD_SIZE)
        stored.resize(STORED_PASSWORD_SIZE - 1); // what the readers keep
    char *exact = strdup(stored.c_str());
    char plain[PLAIN_PASSWORD_SIZE] = "previous";
    unscramblePassword(exact, plain);
    if (strlen(plain) > PLAIN_PASSWORD_SIZE - 1)
        abort();
    free(exact);

    std::string password = input.substr(0, PLAIN_PASSWORD_SIZE - 1);
    password = password.substr(0, password.find('\0'));
    char form[STORED_PASSWORD_SIZE];
    if (!scramblePassword(password.c_str(), form, sizeof form) || strlen(form) != 2 + 2 * password.size())
        abort();
    char back[PLAIN_PASSWORD_SIZE];
    unscramblePassword(form, back);
    if (password != back)
        abort();
    return 0;
}
