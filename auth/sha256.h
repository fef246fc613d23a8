// SHA-256 (FIPS 180-4), for the sign-in's PKCE challenge: one call over bytes
// in memory.
#ifndef PELIMBO_AUTH_SHA256_H
#define PELIMBO_AUTH_SHA256_H

#include <stddef.h>
#include <stdint.h>

enum {
    SHA256_DIGEST_SIZE = 32
};

void sha256(const uint8_t *data, size_t length, uint8_t digest[SHA256_DIGEST_SIZE]);

#endif
