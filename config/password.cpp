// The stored password form: the length and every character XORed with a key
// byte that advances with the position, written as hex digits. It keeps the
// password out of sight in the INI file; it is not encryption.
#include <string.h>

#include "config/config.h"

static const char hexDigits[] = "0123456789ABCDEF";

int scramblePassword(const char *plain, char *stored, size_t size)
{
    size_t length = strlen(plain);
    if (size == 0)
        return 0;
    if (length > 255 || 2 + 2 * length + 1 > size) {
        stored[0] = '\0';
        return 0;
    }
    unsigned char l = (unsigned char)(length ^ PASSWORD_KEY);
    stored[0] = hexDigits[l >> 4];
    stored[1] = hexDigits[l & 15];
    for (size_t i = 0; i < length; i++) {
        unsigned char b = (unsigned char)((unsigned char)plain[i] ^ (unsigned char)(PASSWORD_KEY + i));
        // The two digits of each character are stored low digit first.
        stored[2 + 2 * i] = hexDigits[b & 15];
        stored[3 + 2 * i] = hexDigits[b >> 4];
    }
    stored[2 + 2 * length] = '\0';
    return 1;
}

void unscramblePassword(const char *stored, char plain[PLAIN_PASSWORD_SIZE])
{
    if (stored[0] == '\0')
        return;
    plain[0] = '\0';
    int high = hexValue(stored[0]);
    int low = high < 0 ? -1 : hexValue(stored[1]);
    if (low < 0)
        return;
    size_t length = (size_t)((high << 4 | low) ^ PASSWORD_KEY);
    if (length > PLAIN_PASSWORD_SIZE - 1)
        length = PLAIN_PASSWORD_SIZE - 1;
    // A form edited by hand may be shorter than its length digits say or hold
    // other characters: decoding stops at the first pair that is not two hex
    // digits, never past the end of the text.
    const char *pair = stored + 2;
    size_t i = 0;
    for (; i < length; i++, pair += 2) {
        int lowDigit = hexValue(pair[0]);
        int highDigit = lowDigit < 0 ? -1 : hexValue(pair[1]);
        if (highDigit < 0)
            break;
        plain[i] = (char)((highDigit << 4 | lowDigit) ^ (unsigned char)(PASSWORD_KEY + i));
    }
    plain[i] = '\0';
}
