#include "auth/certificate.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/entrypoint_win32.h"
#include "config/config.h"

namespace
{

typedef BOOL(WINAPI *CertGetCertificateChainFn)(HCERTCHAINENGINE, PCCERT_CONTEXT, LPFILETIME, HCERTSTORE,
                                                PCERT_CHAIN_PARA, DWORD, LPVOID, PCCERT_CHAIN_CONTEXT *);
typedef BOOL(WINAPI *CertVerifyCertificateChainPolicyFn)(LPCSTR, PCCERT_CHAIN_CONTEXT,
                                                         PCERT_CHAIN_POLICY_PARA, PCERT_CHAIN_POLICY_STATUS);
typedef VOID(WINAPI *CertFreeCertificateChainFn)(PCCERT_CHAIN_CONTEXT);
typedef BOOL(WINAPI *CertFreeCertificateContextFn)(PCCERT_CONTEXT);
typedef PCCERT_CONTEXT(WINAPI *CertCreateCertificateContextFn)(DWORD, const BYTE *, DWORD);
typedef HCERTSTORE(WINAPI *CertOpenStoreFn)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void *);
typedef BOOL(WINAPI *CertCloseStoreFn)(HCERTSTORE, DWORD);
typedef BOOL(WINAPI *CertAddCertificateContextToStoreFn)(HCERTSTORE, PCCERT_CONTEXT, DWORD, PCCERT_CONTEXT *);
typedef PCCERT_CONTEXT(WINAPI *CertEnumCertificatesInStoreFn)(HCERTSTORE, PCCERT_CONTEXT);
typedef DWORD(WINAPI *CertGetNameStringAFn)(PCCERT_CONTEXT, DWORD, DWORD, void *, LPSTR, DWORD);
typedef BOOL(WINAPI *CryptStringToBinaryAFn)(LPCSTR, DWORD, DWORD, BYTE *, DWORD *, DWORD *, DWORD *);
typedef LONG(WINAPI *CertVerifyTimeValidityFn)(LPFILETIME, PCERT_INFO);
typedef PCERT_EXTENSION(WINAPI *CertFindExtensionFn)(LPCSTR, DWORD, CERT_EXTENSION *);
typedef BOOL(WINAPI *CryptDecodeObjectExFn)(DWORD, LPCSTR, const BYTE *, DWORD, DWORD, PCRYPT_DECODE_PARA,
                                            void *, DWORD *);

struct Entries {
    CertGetCertificateChainFn getCertificateChain;
    CertVerifyCertificateChainPolicyFn verifyChainPolicy;
    CertFreeCertificateChainFn freeCertificateChain;
    CertFreeCertificateContextFn freeCertificateContext;
    CertCreateCertificateContextFn createCertificateContext;
    CertOpenStoreFn openStore;
    CertCloseStoreFn closeStore;
    CertAddCertificateContextToStoreFn addCertificateToStore;
    CertEnumCertificatesInStoreFn enumCertificatesInStore;
    CertGetNameStringAFn getNameString;
    CryptStringToBinaryAFn stringToBinary;
    CertVerifyTimeValidityFn verifyTimeValidity;
    CertFindExtensionFn findExtension;
    CryptDecodeObjectExFn decodeObjectEx;
};

HMODULE crypt32;
Entries api;
bool loaded;
// The SSL policy's own "unknown CA may pass" check flag (declared with the
// internet functions' headers, which this layer does not otherwise need).
const DWORD IGNORE_UNKNOWN_CA = 0x00000100;

// The trust file's certificate: PEM ("-----BEGIN CERTIFICATE-----") or DER.
PCCERT_CONTEXT loadTrustCertificate(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    // Held on the heap: the token service's thread may check a certificate
    // while the window thread checks a mail server's.
    const DWORD room = 65536;
    BYTE *raw = (BYTE *)malloc(2 * room);
    if (!raw) {
        CloseHandle(file);
        return NULL;
    }
    BYTE *der = raw + room;
    DWORD got = 0;
    BOOL read = ReadFile(file, raw, room - 1, &got, NULL);
    CloseHandle(file);
    if (!read || got == 0) {
        free(raw);
        return NULL;
    }
    raw[got] = 0;
    DWORD derLength = room;
    const BYTE *bytes = raw;
    DWORD length = got;
    if (api.stringToBinary(reinterpret_cast<const char *>(raw), got, CRYPT_STRING_BASE64HEADER, der,
                           &derLength, NULL, NULL)) {
        bytes = der;
        length = derLength;
    }
    PCCERT_CONTEXT certificate =
        api.createCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, bytes, length);
    free(raw);
    return certificate;
}

bool sameCertificate(PCCERT_CONTEXT a, PCCERT_CONTEXT b)
{
    return a && b && a->cbCertEncoded == b->cbCertEncoded
           && memcmp(a->pbCertEncoded, b->pbCertEncoded, a->cbCertEncoded) == 0;
}

DWORD policyError(PCCERT_CHAIN_CONTEXT chain, const wchar_t *host, bool allowUnknownRoot)
{
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl;
    memset(&ssl, 0, sizeof ssl);
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t *>(host);
    ssl.fdwChecks = allowUnknownRoot ? IGNORE_UNKNOWN_CA : 0;
    CERT_CHAIN_POLICY_PARA para;
    memset(&para, 0, sizeof para);
    para.cbSize = sizeof para;
    para.dwFlags = allowUnknownRoot ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
    para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status;
    memset(&status, 0, sizeof status);
    status.cbSize = sizeof status;
    if (!api.verifyChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status))
        return (DWORD)CERT_E_UNTRUSTEDROOT;
    return status.dwError;
}

// The chain's last certificate is the trust file's.
bool rootIsTrusted(PCCERT_CHAIN_CONTEXT chain, PCCERT_CONTEXT trusted)
{
    if (!trusted || chain->cChain == 0)
        return false;
    PCERT_SIMPLE_CHAIN simple = chain->rgpChain[0];
    if (simple->cElement == 0)
        return false;
    return sameCertificate(simple->rgpElement[simple->cElement - 1]->pCertContext, trusted);
}

// A host typed as an IPv4 address matches an address among the certificate's
// alternative names, which the platform's name check may not look at.
bool certificateHasAddress(PCCERT_CONTEXT certificate, const char *host)
{
    unsigned part[4];
    char rest;
    if (sscanf(host, "%u.%u.%u.%u%c", &part[0], &part[1], &part[2], &part[3], &rest) != 4)
        return false;
    BYTE address[4];
    for (int i = 0; i < 4; i++) {
        if (part[i] > 255)
            return false;
        address[i] = (BYTE)part[i];
    }
    PCERT_INFO info = certificate->pCertInfo;
    PCERT_EXTENSION extension =
        api.findExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    if (!extension)
        return false;
    CERT_ALT_NAME_INFO *names = NULL;
    DWORD size = 0;
    if (!api.decodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                            extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, NULL, &names, &size)
        || !names)
        return false;
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; i++) {
        const CERT_ALT_NAME_ENTRY &entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == 4
                && memcmp(entry.IPAddress.pbData, address, 4) == 0;
    }
    LocalFree(names);
    return found;
}

enum Verdict {
    VERDICT_TRUSTED,
    VERDICT_UNTRUSTED,
    VERDICT_EXPIRED,
    VERDICT_NOT_YET_VALID,
    VERDICT_OTHER_HOST,
};

// Trust first, then the dates, then the name, so the message names the most
// basic failure whatever order the platform checks in.
Verdict judge(PCCERT_CONTEXT server, PCCERT_CHAIN_CONTEXT chain, PCCERT_CONTEXT trusted, const char *host)
{
    if (!chain)
        return VERDICT_UNTRUSTED;
    bool ownRoot = rootIsTrusted(chain, trusted);
    DWORD timeErrors = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED;
    DWORD ignored = timeErrors | CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION
                    | (ownRoot ? (DWORD)CERT_TRUST_IS_UNTRUSTED_ROOT : 0);
    if (chain->TrustStatus.dwErrorStatus & ~ignored)
        return VERDICT_UNTRUSTED;
    LONG serverTime = api.verifyTimeValidity(NULL, server->pCertInfo);
    if (serverTime < 0)
        return VERDICT_NOT_YET_VALID;
    if (serverTime > 0 || (chain->TrustStatus.dwErrorStatus & timeErrors))
        return VERDICT_EXPIRED;

    wchar_t wideHost[PATH_SIZE];
    if (!MultiByteToWideChar(CP_ACP, 0, host, -1, wideHost, PATH_SIZE))
        return VERDICT_OTHER_HOST;
    wideHost[PATH_SIZE - 1] = 0;
    DWORD error = policyError(chain, wideHost, ownRoot);
    if (error == (DWORD)CERT_E_CN_NO_MATCH)
        return certificateHasAddress(server, host) ? VERDICT_TRUSTED : VERDICT_OTHER_HOST;
    if (error == (DWORD)CERT_E_EXPIRED)
        return VERDICT_EXPIRED;
    return error == 0 ? VERDICT_TRUSTED : VERDICT_UNTRUSTED;
}

} // namespace

int loadCertificateCheck(void)
{
    if (loaded)
        return 1;
    crypt32 = loadLibraryQuietly("CRYPT32.DLL");
    if (!crypt32)
        return 0;
    bool all = resolveEntry(crypt32, api.getCertificateChain, "CertGetCertificateChain")
               && resolveEntry(crypt32, api.verifyChainPolicy, "CertVerifyCertificateChainPolicy")
               && resolveEntry(crypt32, api.freeCertificateChain, "CertFreeCertificateChain")
               && resolveEntry(crypt32, api.freeCertificateContext, "CertFreeCertificateContext")
               && resolveEntry(crypt32, api.createCertificateContext, "CertCreateCertificateContext")
               && resolveEntry(crypt32, api.openStore, "CertOpenStore")
               && resolveEntry(crypt32, api.closeStore, "CertCloseStore")
               && resolveEntry(crypt32, api.addCertificateToStore, "CertAddCertificateContextToStore")
               && resolveEntry(crypt32, api.enumCertificatesInStore, "CertEnumCertificatesInStore")
               && resolveEntry(crypt32, api.getNameString, "CertGetNameStringA")
               && resolveEntry(crypt32, api.stringToBinary, "CryptStringToBinaryA")
               && resolveEntry(crypt32, api.verifyTimeValidity, "CertVerifyTimeValidity")
               && resolveEntry(crypt32, api.findExtension, "CertFindExtension")
               && resolveEntry(crypt32, api.decodeObjectEx, "CryptDecodeObjectEx");
    if (!all) {
        FreeLibrary(crypt32);
        crypt32 = NULL;
        return -1;
    }
    loaded = true;
    return 1;
}

bool checkServerCertificate(PCCERT_CONTEXT server, const char *host, const char *trustFile, char *message,
                            size_t size)
{
    message[0] = '\0';
    if (!loaded || !server) {
        formatText(message, size, "The certificate of %s is not trusted", host);
        return false;
    }
    PCCERT_CONTEXT trusted = NULL;
    if (trustFile && trustFile[0]) {
        trusted = loadTrustCertificate(trustFile);
        if (!trusted) {
            formatText(message, size, "The trust file %s holds no certificate", trustFile);
            return false;
        }
    }
    // The server's own intermediates and the trust file's certificate help
    // build the chain; the chain itself trusts only the system's roots.
    HCERTSTORE extra = api.openStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, NULL);
    if (extra) {
        if (server->hCertStore)
            for (PCCERT_CONTEXT c = api.enumCertificatesInStore(server->hCertStore, NULL); c;
                 c = api.enumCertificatesInStore(server->hCertStore, c))
                api.addCertificateToStore(extra, c, CERT_STORE_ADD_USE_EXISTING, NULL);
        if (trusted)
            api.addCertificateToStore(extra, trusted, CERT_STORE_ADD_USE_EXISTING, NULL);
    }
    CERT_CHAIN_PARA chainPara;
    memset(&chainPara, 0, sizeof chainPara);
    chainPara.cbSize = sizeof chainPara;
    PCCERT_CHAIN_CONTEXT chain = NULL;
    if (!api.getCertificateChain(NULL, server, NULL, extra, &chainPara, 0, NULL, &chain))
        chain = NULL;

    Verdict verdict = judge(server, chain, trusted, host);
    switch (verdict) {
    case VERDICT_TRUSTED: break;
    case VERDICT_OTHER_HOST: {
        char name[PATH_SIZE] = "";
        api.getNameString(server, CERT_NAME_DNS_TYPE, 0, NULL, name, sizeof name);
        formatText(message, size, "The certificate of %s is for another host: %s", host, name);
        break;
    }
    case VERDICT_EXPIRED: formatText(message, size, "The certificate of %s has expired", host); break;
    case VERDICT_NOT_YET_VALID:
        formatText(message, size, "The certificate of %s is not valid yet", host);
        break;
    default: formatText(message, size, "The certificate of %s is not trusted", host); break;
    }
    if (chain)
        api.freeCertificateChain(chain);
    if (extra)
        api.closeStore(extra, 0);
    if (trusted)
        api.freeCertificateContext(trusted);
    return verdict == VERDICT_TRUSTED;
}

void certificateName(PCCERT_CONTEXT certificate, DWORD type, DWORD flags, char *name, size_t size)
{
    if (size)
        name[0] = '\0';
    if (loaded && certificate && size)
        api.getNameString(certificate, type, flags, NULL, name, (DWORD)size);
}

void freeCertificate(PCCERT_CONTEXT certificate)
{
    if (loaded && certificate)
        api.freeCertificateContext(certificate);
}
