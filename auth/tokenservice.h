// The token service over HTTPS through the platform's WinHTTP (WINHTTP.DLL,
// loaded by name at first use). Blocking: it runs on a thread of its own,
// never on the window thread. Windows only.
#ifndef PELIMBO_AUTH_TOKENSERVICE_H
#define PELIMBO_AUTH_TOKENSERVICE_H

#include <stddef.h>

// Posts form to url (https only) and reads the answer, within timeoutSeconds
// for each step. The server's certificate is checked with the mail
// connection's own rules (auth/certificate.h, TrustFile honoured) once the TLS
// handshake is done and before the form, the only part that carries a secret,
// is sent. True when the service answered (answer terminated, *length bytes,
// *status its HTTP status); false with the reason in failure.
bool postToTokenService(const char *url, const char *form, const char *trustFile, unsigned timeoutSeconds,
                        char *answer, size_t size, size_t *length, unsigned *status, char *failure,
                        size_t failureSize);

#endif
