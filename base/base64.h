// Base64 (RFC 4648): the standard alphabet with padding for the protected
// forms in the INI file and the SASL messages, the URL alphabet without
// padding for the sign-in's PKCE values. Pointer and length in, nothing read
// or written past either end.
#ifndef PELIMBO_BASE_BASE64_H
#define PELIMBO_BASE_BASE64_H

#include <stddef.h>
#include <stdint.h>

enum Base64Alphabet {
    BASE64_STANDARD = 0, // A-Z a-z 0-9 + /, padded with '='
    BASE64_URL = 1,      // A-Z a-z 0-9 - _, no padding
};

// The characters the encoding of length bytes takes (without the terminator).
size_t base64EncodedLength(size_t length, Base64Alphabet alphabet);

// Encodes into out (size bytes, terminator included). Zero when it does not
// fit; out then holds an empty text.
int base64Encode(const uint8_t *data, size_t length, char *out, size_t size, Base64Alphabet alphabet);

// Decodes text (either alphabet, padding optional) into out. Zero for a
// character outside the alphabets, padding anywhere but the end, a length no
// encoding has, or a result longer than size; *written is then 0.
int base64Decode(const char *text, size_t length, uint8_t *out, size_t size, size_t *written);

#endif
