// TLS under the transport through the platform's own SChannel: SECUR32.DLL
// for the session, loaded by name on first use, and the certificate check the
// token service shares (auth/certificate.h, CRYPT32.DLL). The transport owns
// every buffer and the socket; this layer only turns bytes into bytes.
#include <windows.h>

#include "base/entrypoint_win32.h"
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <stdio.h>
#include <string.h>

#include "auth/certificate.h"
#include "config/config.h"
#include "sources/net.h"

namespace
{

typedef SECURITY_STATUS(WINAPI *AcquireCredentialsHandleFn)(LPSTR, LPSTR, unsigned long, void *, void *,
                                                            SEC_GET_KEY_FN, void *, PCredHandle, PTimeStamp);
typedef SECURITY_STATUS(WINAPI *InitializeSecurityContextFn)(PCredHandle, PCtxtHandle, SEC_CHAR *,
                                                             unsigned long, unsigned long, unsigned long,
                                                             PSecBufferDesc, unsigned long, PCtxtHandle,
                                                             PSecBufferDesc, unsigned long *, PTimeStamp);
typedef SECURITY_STATUS(WINAPI *DeleteSecurityContextFn)(PCtxtHandle);
typedef SECURITY_STATUS(WINAPI *FreeCredentialsHandleFn)(PCredHandle);
typedef SECURITY_STATUS(WINAPI *FreeContextBufferFn)(void *);
typedef SECURITY_STATUS(WINAPI *QueryContextAttributesFn)(PCtxtHandle, unsigned long, void *);
typedef SECURITY_STATUS(WINAPI *EncryptMessageFn)(PCtxtHandle, unsigned long, PSecBufferDesc, unsigned long);
typedef SECURITY_STATUS(WINAPI *DecryptMessageFn)(PCtxtHandle, PSecBufferDesc, unsigned long,
                                                  unsigned long *);

struct Entries {
    AcquireCredentialsHandleFn acquireCredentialsHandle;
    InitializeSecurityContextFn initializeSecurityContext;
    DeleteSecurityContextFn deleteSecurityContext;
    FreeCredentialsHandleFn freeCredentialsHandle;
    FreeContextBufferFn freeContextBuffer;
    QueryContextAttributesFn queryContextAttributes;
    EncryptMessageFn encryptMessage;
    DecryptMessageFn decryptMessage;
};

HMODULE secur32;
Entries api;
bool loaded;

CredHandle credentials;
CtxtHandle context;
bool haveCredentials, haveContext;
SecPkgContext_StreamSizes sizes;
long lastStatus;
char targetName[PATH_SIZE];

const unsigned long CONTEXT_REQUEST = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT
                                      | ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR
                                      | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

void unloadLibraries(void)
{
    if (secur32)
        FreeLibrary(secur32);
    secur32 = NULL;
}

int load(void)
{
    if (loaded)
        return 1;
    secur32 = loadLibraryQuietly("SECUR32.DLL");
    int certificates = loadCertificateCheck();
    if (!secur32 || certificates == 0) {
        unloadLibraries();
        return 0;
    }
    bool all = resolveEntry(secur32, api.acquireCredentialsHandle, "AcquireCredentialsHandleA")
               && resolveEntry(secur32, api.initializeSecurityContext, "InitializeSecurityContextA")
               && resolveEntry(secur32, api.deleteSecurityContext, "DeleteSecurityContext")
               && resolveEntry(secur32, api.freeCredentialsHandle, "FreeCredentialsHandle")
               && resolveEntry(secur32, api.freeContextBuffer, "FreeContextBuffer")
               && resolveEntry(secur32, api.queryContextAttributes, "QueryContextAttributesA")
               && resolveEntry(secur32, api.encryptMessage, "EncryptMessage")
               && resolveEntry(secur32, api.decryptMessage, "DecryptMessage");
    if (!all || certificates < 0) {
        unloadLibraries();
        return -1;
    }
    loaded = true;
    return 1;
}

void end(void)
{
    if (haveContext)
        api.deleteSecurityContext(&context);
    if (haveCredentials)
        api.freeCredentialsHandle(&credentials);
    haveContext = haveCredentials = false;
    memset(&sizes, 0, sizeof sizes);
}

// Copies the token SChannel allocated into out and frees it.
bool takeToken(SecBuffer &token, SecureOutput *out)
{
    bool fits = true;
    if (token.pvBuffer) {
        if (token.cbBuffer > out->size - out->length) {
            fits = false;
        } else {
            memcpy(out->data + out->length, token.pvBuffer, token.cbBuffer);
            out->length += token.cbBuffer;
        }
        api.freeContextBuffer(token.pvBuffer);
        token.pvBuffer = NULL;
    }
    return fits;
}

// One call of InitializeSecurityContext over in (NULL for the first message).
int step(const char *in, size_t length, size_t *used, SecureOutput *out)
{
    SecBuffer inBuffers[2];
    inBuffers[0].BufferType = SECBUFFER_TOKEN;
    inBuffers[0].pvBuffer = const_cast<char *>(in);
    inBuffers[0].cbBuffer = (unsigned long)length;
    inBuffers[1].BufferType = SECBUFFER_EMPTY;
    inBuffers[1].pvBuffer = NULL;
    inBuffers[1].cbBuffer = 0;
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, inBuffers};

    SecBuffer outBuffers[2];
    outBuffers[0].BufferType = SECBUFFER_TOKEN;
    outBuffers[0].pvBuffer = NULL;
    outBuffers[0].cbBuffer = 0;
    outBuffers[1].BufferType = SECBUFFER_ALERT;
    outBuffers[1].pvBuffer = NULL;
    outBuffers[1].cbBuffer = 0;
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 2, outBuffers};

    unsigned long attributes = 0;
    SECURITY_STATUS status = api.initializeSecurityContext(
        &credentials, haveContext ? &context : NULL, targetName, CONTEXT_REQUEST, 0, 0, in ? &inDesc : NULL,
        0, &context, &outDesc, &attributes, NULL);
    if (!haveContext
        && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_INCOMPLETE_CREDENTIALS))
        haveContext = true;
    lastStatus = status;
    bool fits = takeToken(outBuffers[0], out);
    if (outBuffers[1].pvBuffer) {
        // An alert the server should see before the session ends.
        takeToken(outBuffers[1], out);
    }

    *used = 0;
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return SECURE_MORE;
    if (in) {
        *used = length;
        if (inBuffers[1].BufferType == SECBUFFER_EXTRA && inBuffers[1].cbBuffer <= length)
            *used = length - inBuffers[1].cbBuffer;
    }
    if (!fits)
        return SECURE_FAILED;
    if (status == SEC_E_OK)
        return SECURE_DONE;
    if (status == SEC_I_CONTINUE_NEEDED)
        return SECURE_MORE;
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
        // The server asks for a client certificate; there is none to give, and
        // the next call goes on without one.
        *used = 0;
        return SECURE_MORE;
    }
    return SECURE_FAILED;
}

int begin(const char *host, SecureOutput *out)
{
    end();
    copyText(targetName, host);
    SCHANNEL_CRED schannel;
    memset(&schannel, 0, sizeof schannel);
    schannel.dwVersion = SCHANNEL_CRED_VERSION;
    schannel.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    // The certificate is checked here, with the trust file, after the handshake;
    // no client certificate is ever offered.
    schannel.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    SECURITY_STATUS status =
        api.acquireCredentialsHandle(NULL, const_cast<char *>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, NULL,
                                     &schannel, NULL, NULL, &credentials, NULL);
    lastStatus = status;
    if (status != SEC_E_OK)
        return SECURE_FAILED;
    haveCredentials = true;
    size_t used = 0;
    return step(NULL, 0, &used, out);
}

int handshake(const char *in, size_t length, size_t *used, SecureOutput *out)
{
    int result = step(in, length, used, out);
    if (result == SECURE_MORE && lastStatus == SEC_I_INCOMPLETE_CREDENTIALS) {
        // Answer at once with the same bytes, now without a certificate.
        result = step(in, length, used, out);
    }
    if (result == SECURE_DONE) {
        SECURITY_STATUS status = api.queryContextAttributes(&context, SECPKG_ATTR_STREAM_SIZES, &sizes);
        if (status != SEC_E_OK) {
            lastStatus = status;
            return SECURE_FAILED;
        }
    }
    return result;
}

bool seal(const char *plain, size_t length, SecureOutput *out)
{
    while (length > 0) {
        size_t piece = length < sizes.cbMaximumMessage ? length : sizes.cbMaximumMessage;
        size_t need = sizes.cbHeader + piece + sizes.cbTrailer;
        if (piece == 0 || need > out->size - out->length)
            return false;
        char *record = out->data + out->length;
        memcpy(record + sizes.cbHeader, plain, piece);
        SecBuffer buffers[4];
        buffers[0] = {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record};
        buffers[1] = {(unsigned long)piece, SECBUFFER_DATA, record + sizes.cbHeader};
        buffers[2] = {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record + sizes.cbHeader + piece};
        buffers[3] = {0, SECBUFFER_EMPTY, NULL};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = api.encryptMessage(&context, 0, &desc, 0);
        lastStatus = status;
        if (status != SEC_E_OK) {
            SecureZeroMemory(record, need);
            return false;
        }
        out->length += buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        plain += piece;
        length -= piece;
    }
    return true;
}

int open(char *in, size_t length, size_t *used, char **plain, size_t *plainLength)
{
    *used = 0;
    *plain = NULL;
    *plainLength = 0;
    SecBuffer buffers[4];
    buffers[0] = {(unsigned long)length, SECBUFFER_DATA, in};
    buffers[1] = {0, SECBUFFER_EMPTY, NULL};
    buffers[2] = {0, SECBUFFER_EMPTY, NULL};
    buffers[3] = {0, SECBUFFER_EMPTY, NULL};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = api.decryptMessage(&context, &desc, 0, NULL);
    lastStatus = status;
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return SECURE_MORE;
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED)
        return SECURE_FAILED;
    *used = length;
    for (SecBuffer &b : buffers) {
        if (b.BufferType == SECBUFFER_DATA && b.pvBuffer) {
            *plain = static_cast<char *>(b.pvBuffer);
            *plainLength = b.cbBuffer;
        } else if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer <= length) {
            *used = length - b.cbBuffer;
        }
    }
    // Plain text must lie inside the bytes given.
    if (*plain && (*plain < in || *plain + *plainLength > in + length)) {
        *plain = NULL;
        *plainLength = 0;
        return SECURE_FAILED;
    }
    if (status == SEC_I_CONTEXT_EXPIRED)
        return SECURE_CLOSED;
    if (status == SEC_I_RENEGOTIATE)
        return SECURE_RENEGOTIATE;
    return SECURE_DONE;
}

// --- The certificate ---------------------------------------------------------------------

bool verify(const char *host, const char *trustFile, char *message, size_t size)
{
    message[0] = '\0';
    PCCERT_CONTEXT server = NULL;
    SECURITY_STATUS status = api.queryContextAttributes(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server);
    if (status != SEC_E_OK || !server) {
        lastStatus = status;
        formatText(message, size, "The certificate of %s is not trusted", host);
        return false;
    }
    bool trusted = checkServerCertificate(server, host, trustFile, message, size);
    freeCertificate(server);
    return trusted;
}

long status(void)
{
    return lastStatus;
}

const char *protocolName(DWORD protocol)
{
    if (protocol & SP_PROT_TLS1_3_CLIENT)
        return "TLS 1.3";
    if (protocol & SP_PROT_TLS1_2_CLIENT)
        return "TLS 1.2";
    if (protocol & SP_PROT_TLS1_1_CLIENT)
        return "TLS 1.1";
    if (protocol & SP_PROT_TLS1_0_CLIENT)
        return "TLS 1.0";
    return "unknown protocol";
}

const char *algorithmName(ALG_ID id)
{
    switch (id) {
    case CALG_AES_128: return "AES-128";
    case CALG_AES_192: return "AES-192";
    case CALG_AES_256: return "AES-256";
    case CALG_3DES: return "3DES";
    case CALG_RC4: return "RC4";
    case CALG_SHA1: return "SHA-1";
    case CALG_SHA_256: return "SHA-256";
    case CALG_SHA_384: return "SHA-384";
    case CALG_SHA_512: return "SHA-512";
    case CALG_RSA_KEYX: return "RSA";
    case CALG_DH_EPHEM: return "DHE";
    case CALG_ECDH: return "ECDH";
    case CALG_ECDH_EPHEM: return "ECDHE";
    default: return NULL;
    }
}

void appendAlgorithm(char *text, size_t size, ALG_ID id)
{
    const char *name = algorithmName(id);
    char piece[32];
    if (name)
        formatText(piece, sizeof piece, " %s", name);
    else
        formatText(piece, sizeof piece, " 0x%04X", (unsigned)id);
    size_t used = strlen(text);
    copyText(text + used, size - used, piece);
}

void describe(char *text, size_t size)
{
    text[0] = '\0';
    SecPkgContext_ConnectionInfo info;
    memset(&info, 0, sizeof info);
    if (api.queryContextAttributes(&context, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK) {
        formatText(text, size, "protocol: %s\ncipher:", protocolName(info.dwProtocol));
        appendAlgorithm(text, size, info.aiCipher);
        size_t used = strlen(text);
        formatText(text + used, size - used, " (%lu bits),", (unsigned long)info.dwCipherStrength);
        appendAlgorithm(text, size, info.aiHash);
        used = strlen(text);
        copyText(text + used, size - used, ",");
        appendAlgorithm(text, size, info.aiExch);
    }
    PCCERT_CONTEXT server = NULL;
    if (api.queryContextAttributes(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) == SEC_E_OK
        && server) {
        char subject[PATH_SIZE] = "", issuer[PATH_SIZE] = "";
        certificateName(server, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, subject, sizeof subject);
        certificateName(server, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, issuer, sizeof issuer);
        size_t used = strlen(text);
        formatText(text + used, size - used, "%ssubject: %s\nissuer: %s", text[0] ? "\n" : "", subject,
                   issuer);
        freeCertificate(server);
    }
}

const SecureLayer schannelLayer = {
    load, begin, handshake, verify, seal, open, end, status, describe,
};

} // namespace

void installSchannelLayer(void)
{
    installSecureLayer(&schannelLayer);
}
