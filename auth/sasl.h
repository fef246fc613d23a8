// The two SASL mechanisms that carry an OAuth2 access token to a mail server:
// OAUTHBEARER (RFC 7628) and the older XOAUTH2. The client's messages, ready
// to send as base64, and the server's error that comes back as a
// continuation when it refuses the token.
#ifndef PELIMBO_AUTH_SASL_H
#define PELIMBO_AUTH_SASL_H

#include <stddef.h>

enum SaslMechanism {
    SASL_NONE = 0,
    SASL_XOAUTH2 = 1,
    SASL_OAUTHBEARER = 2,
};

enum {
    // The base64 client message for the longest access token, with its framing.
    SASL_MESSAGE_SIZE = 11264,
    SASL_STATUS_SIZE = 64,
};

// The mechanism's name as it goes into the command.
const char *saslMechanismName(SaslMechanism mechanism);

// The client's first message for mechanism, base64 encoded. OAUTHBEARER
// names the host and port it talks to. Zero when it does not fit, or when
// user holds a character that would end a field early (SOH, or a NUL).
int buildSaslMessage(SaslMechanism mechanism, const char *user, const char *host, unsigned port,
                     const char *token, char *out, size_t size);

// What the client answers to the server's error continuation: OAUTHBEARER
// ends the exchange with a single 0x01, XOAUTH2 with an empty line.
const char *saslErrorAnswer(SaslMechanism mechanism);

// The server's error continuation: base64 of a JSON object whose "status"
// says why ("invalid_token", or an HTTP status such as "401"). Zero when the
// text is not that; status is then empty.
int parseSaslError(const char *base64, size_t length, char status[SASL_STATUS_SIZE]);

#endif
