#include "base/base64.h"

static const char standardDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
static const char urlDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

size_t base64EncodedLength(size_t length, Base64Alphabet alphabet)
{
    if (alphabet == BASE64_STANDARD)
        return (length + 2) / 3 * 4;
    return length / 3 * 4 + (length % 3 ? length % 3 + 1 : 0);
}

int base64Encode(const uint8_t *data, size_t length, char *out, size_t size, Base64Alphabet alphabet)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    if (length > (size_t)-1 / 2 || base64EncodedLength(length, alphabet) >= size)
        return 0;
    const char *digits = alphabet == BASE64_URL ? urlDigits : standardDigits;
    size_t n = 0;
    for (size_t i = 0; i < length; i += 3) {
        size_t left = length - i;
        uint32_t group = (uint32_t)data[i] << 16;
        if (left > 1)
            group |= (uint32_t)data[i + 1] << 8;
        if (left > 2)
            group |= data[i + 2];
        out[n++] = digits[group >> 18 & 63];
        out[n++] = digits[group >> 12 & 63];
        if (left > 1)
            out[n++] = digits[group >> 6 & 63];
        else if (alphabet == BASE64_STANDARD)
            out[n++] = '=';
        if (left > 2)
            out[n++] = digits[group & 63];
        else if (alphabet == BASE64_STANDARD)
            out[n++] = '=';
    }
    out[n] = '\0';
    return 1;
}

// The value of one digit of either alphabet, -1 for anything else.
static int digitValue(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+' || c == '-')
        return 62;
    if (c == '/' || c == '_')
        return 63;
    return -1;
}

int base64Decode(const char *text, size_t length, uint8_t *out, size_t size, size_t *written)
{
    *written = 0;
    // Padding is allowed only as the last one or two characters of a whole group.
    size_t digits = length;
    while (digits > 0 && text[digits - 1] == '=' && length - digits < 2)
        digits--;
    if (digits < length && length % 4 != 0)
        return 0;
    if (digits % 4 == 1)
        return 0; // no byte count encodes to that many digits
    size_t bytes = digits / 4 * 3 + (digits % 4 ? digits % 4 - 1 : 0);
    if (bytes > size)
        return 0;
    uint32_t group = 0;
    size_t n = 0;
    for (size_t i = 0; i < digits; i++) {
        int value = digitValue(text[i]);
        if (value < 0)
            return 0;
        group = group << 6 | (uint32_t)value;
        if (i % 4 == 3) {
            out[n++] = (uint8_t)(group >> 16);
            out[n++] = (uint8_t)(group >> 8);
            out[n++] = (uint8_t)group;
            group = 0;
        }
    }
    size_t rest = digits % 4;
    if (rest == 2) {
        out[n++] = (uint8_t)(group >> 4);
    } else if (rest == 3) {
        out[n++] = (uint8_t)(group >> 10);
        out[n++] = (uint8_t)(group >> 2);
    }
    *written = n;
    return 1;
}
