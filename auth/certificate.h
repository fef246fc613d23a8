// The check of a server's certificate that the mail connection (SChannel)
// and the token service (WinHTTP) share, so both follow one set of rules: the
// chain must reach a system root or the TrustFile certificate, be within its
// dates and name the host. CRYPT32.DLL is loaded by name at first use.
// Windows only.
#ifndef PELIMBO_AUTH_CERTIFICATE_H
#define PELIMBO_AUTH_CERTIFICATE_H

#include <windows.h>
#include <wincrypt.h>

#include <stddef.h>

// 1 loaded with every entry point, 0 CRYPT32.DLL is missing, -1 an entry point
// is missing (the library has been unloaded again).
int loadCertificateCheck(void);

// The server's certificate (with the intermediates it sent, in its store)
// against host, with the certificate in trustFile (PEM or DER, may be empty)
// as an extra root. False with the reason in message when it must not be
// trusted. The caller keeps and frees server.
bool checkServerCertificate(PCCERT_CONTEXT server, const char *host, const char *trustFile, char *message,
                            size_t size);

// A name of the certificate (CERT_NAME_* type and flags), for descriptions.
void certificateName(PCCERT_CONTEXT certificate, DWORD type, DWORD flags, char *name, size_t size);
void freeCertificate(PCCERT_CONTEXT certificate);

#endif
