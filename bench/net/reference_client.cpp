// The command sequence of one Pelimbo poll with UnreadOnly on, sent one
// command at a time by a plain blocking WinSock client with no window and no
// message loop: the same-platform yardstick for net_bench, so the ratio shows
// the cost of our design apart from the cost of each system call under Wine.
// With "tls" the session runs through blocking SChannel calls, and the
// server's certificate is checked against the trust file as our transport
// checks it, so both pay for the same work.
//   net_reference pop3|imap PORT USER POLLS [tls TRUSTFILE]
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

const char HOST[] = "127.0.0.1";
const size_t LINE_BUFFER = 65536;
const size_t RAW_BUFFER = 65536;
const size_t ROOM_FOR_RECORD = 17 * 1024; // the largest TLS record's plain text, and then some

struct Connection {
    SOCKET socket;
    bool secure;
    CredHandle credentials;
    CtxtHandle context;
    bool haveCredentials, haveContext;
    SecPkgContext_StreamSizes sizes;
    // Raw bytes received and not yet decrypted (TLS only).
    char raw[RAW_BUFFER];
    size_t rawLength;
    bool rawIncomplete; // the raw bytes end inside a record: read before decrypting again
    // Plain bytes not yet handed out as lines.
    char in[LINE_BUFFER];
    size_t inStart, inEnd;
    char out[RAW_BUFFER];
    unsigned long long received; // plain bytes of the replies, as the lines count them
};

struct Stages {
    double connect, handshake, login;
};

double seconds(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// The time a poll spends blocked in recv, and how many calls: the rest is
// sending, decrypting and reading lines. Under TLS also the bytes read from
// the socket (handshake included) and the records decrypted.
double inReceive;
unsigned long receives;
unsigned long long wireBytes;
unsigned long records;

int receive(SOCKET s, char *buffer, size_t size)
{
    double before = seconds();
    int got = recv(s, buffer, (int)size, 0);
    inReceive += seconds() - before;
    receives++;
    if (got > 0)
        wireBytes += (unsigned)got;
    return got;
}

[[noreturn]] void fail(const char *what, long code)
{
    fprintf(stderr, "net_reference: %s failed (0x%08lX)\n", what, (unsigned long)code);
    exit(1);
}

void sendRaw(Connection &c, const char *data, size_t length)
{
    while (length > 0) {
        int sent = send(c.socket, data, (int)length, 0);
        if (sent <= 0)
            fail("send", WSAGetLastError());
        data += sent;
        length -= (size_t)sent;
    }
}

// Appends at least one plain byte to c.in; false when the server has closed.
bool fill(Connection &c)
{
    if (!c.secure) {
        int got = receive(c.socket, c.in + c.inEnd, sizeof c.in - c.inEnd);
        if (got <= 0)
            return false;
        c.inEnd += (size_t)got;
        return true;
    }
    for (;;) {
        if (c.rawLength > 0 && !c.rawIncomplete) {
            SecBuffer buffers[4];
            buffers[0] = {(unsigned long)c.rawLength, SECBUFFER_DATA, c.raw};
            buffers[1] = buffers[2] = buffers[3] = {0, SECBUFFER_EMPTY, NULL};
            SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = DecryptMessage(&c.context, &desc, 0, NULL);
            if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED)
                records++;
            if (status == SEC_E_OK) {
                size_t extra = 0, plain = 0;
                for (SecBuffer &b : buffers) {
                    if (b.BufferType == SECBUFFER_DATA && b.pvBuffer) {
                        plain = b.cbBuffer;
                        memcpy(c.in + c.inEnd, b.pvBuffer, plain);
                        c.inEnd += plain;
                    } else if (b.BufferType == SECBUFFER_EXTRA) {
                        extra = b.cbBuffer;
                    }
                }
                memmove(c.raw, c.raw + c.rawLength - extra, extra);
                c.rawLength = extra;
                if (plain > 0)
                    return true;
                continue;
            }
            if (status == SEC_I_CONTEXT_EXPIRED)
                return false;
            if (status != SEC_E_INCOMPLETE_MESSAGE)
                fail("DecryptMessage", status);
            c.rawIncomplete = true;
        }
        if (c.rawLength == sizeof c.raw)
            fail("a TLS record larger than the buffer", 0);
        int got = receive(c.socket, c.raw + c.rawLength, sizeof c.raw - c.rawLength);
        if (got <= 0)
            return false;
        c.rawLength += (size_t)got;
        c.rawIncomplete = false;
    }
}

// The next line with its LF, in *line (valid until the next call); its whole
// length is returned even when a line longer than the buffer was cut, whose
// start is then all *line holds. -1 when the server closed.
long readLine(Connection &c, const char **line)
{
    long cut = 0;
    for (;;) {
        const char *start = c.in + c.inStart;
        const char *lf = (const char *)memchr(start, '\n', c.inEnd - c.inStart);
        if (lf) {
            size_t length = (size_t)(lf + 1 - start);
            c.inStart += length;
            c.received += length;
            *line = start;
            return cut + (long)length;
        }
        if (sizeof c.in - c.inEnd < ROOM_FOR_RECORD) {
            size_t pending = c.inEnd - c.inStart;
            memmove(c.in, start, pending);
            c.inStart = 0;
            c.inEnd = pending;
            if (sizeof c.in - c.inEnd < ROOM_FOR_RECORD) {
                // A very long line: count it and keep reading for its end.
                cut += (long)pending;
                c.received += pending;
                c.inEnd = 0;
            }
        }
        if (!fill(c))
            return -1;
    }
}

void sendLine(Connection &c, const char *text)
{
    char plain[1024];
    int length = snprintf(plain, sizeof plain, "%s\r\n", text);
    if (length < 0 || (size_t)length >= sizeof plain)
        fail("a command longer than the buffer", 0);
    if (!c.secure) {
        sendRaw(c, plain, (size_t)length);
        return;
    }
    char *record = c.out;
    memcpy(record + c.sizes.cbHeader, plain, (size_t)length);
    SecBuffer buffers[4];
    buffers[0] = {c.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record};
    buffers[1] = {(unsigned long)length, SECBUFFER_DATA, record + c.sizes.cbHeader};
    buffers[2] = {c.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record + c.sizes.cbHeader + length};
    buffers[3] = {0, SECBUFFER_EMPTY, NULL};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = EncryptMessage(&c.context, 0, &desc, 0);
    if (status != SEC_E_OK)
        fail("EncryptMessage", status);
    sendRaw(c, record, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
}

// --- TLS ---------------------------------------------------------------------------------

void sendToken(Connection &c, SecBuffer &token)
{
    if (token.pvBuffer && token.cbBuffer > 0)
        sendRaw(c, (const char *)token.pvBuffer, token.cbBuffer);
    if (token.pvBuffer)
        FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = NULL;
}

void handshake(Connection &c)
{
    SCHANNEL_CRED schannel;
    memset(&schannel, 0, sizeof schannel);
    schannel.dwVersion = SCHANNEL_CRED_VERSION;
    schannel.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    schannel.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    SECURITY_STATUS status =
        AcquireCredentialsHandleA(NULL, const_cast<char *>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, NULL,
                                  &schannel, NULL, NULL, &c.credentials, NULL);
    if (status != SEC_E_OK)
        fail("AcquireCredentialsHandle", status);
    c.haveCredentials = true;

    const unsigned long request = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY
                                  | ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
    bool first = true;
    for (;;) {
        SecBuffer inBuffers[2];
        inBuffers[0] = {(unsigned long)c.rawLength, SECBUFFER_TOKEN, c.raw};
        inBuffers[1] = {0, SECBUFFER_EMPTY, NULL};
        SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, inBuffers};
        SecBuffer outBuffers[2];
        outBuffers[0] = {0, SECBUFFER_TOKEN, NULL};
        outBuffers[1] = {0, SECBUFFER_ALERT, NULL};
        SecBufferDesc outDesc = {SECBUFFER_VERSION, 2, outBuffers};
        unsigned long attributes = 0;
        status = InitializeSecurityContextA(&c.credentials, first ? NULL : &c.context,
                                            const_cast<char *>(HOST), request, 0, 0, first ? NULL : &inDesc,
                                            0, &c.context, &outDesc, &attributes, NULL);
        first = false;
        c.haveContext = true;
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            int got = receive(c.socket, c.raw + c.rawLength, sizeof c.raw - c.rawLength);
            if (got <= 0)
                fail("recv during the handshake", WSAGetLastError());
            c.rawLength += (size_t)got;
            continue;
        }
        sendToken(c, outBuffers[0]);
        if (outBuffers[1].pvBuffer)
            FreeContextBuffer(outBuffers[1].pvBuffer);
        if (status == SEC_I_INCOMPLETE_CREDENTIALS)
            continue; // no client certificate: the same bytes again, without one
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED)
            fail("InitializeSecurityContext", status);
        size_t extra = inBuffers[1].BufferType == SECBUFFER_EXTRA ? inBuffers[1].cbBuffer : 0;
        memmove(c.raw, c.raw + c.rawLength - extra, extra);
        c.rawLength = extra;
        if (status == SEC_E_OK)
            break;
        if (c.rawLength == 0) {
            int got = receive(c.socket, c.raw, sizeof c.raw);
            if (got <= 0)
                fail("recv during the handshake", WSAGetLastError());
            c.rawLength = (size_t)got;
        }
    }
    status = QueryContextAttributesA(&c.context, SECPKG_ATTR_STREAM_SIZES, &c.sizes);
    if (status != SEC_E_OK)
        fail("QueryContextAttributes", status);
    if (c.sizes.cbHeader + 1024 + c.sizes.cbTrailer > sizeof c.out)
        fail("a record larger than the buffer", 0);
}

PCCERT_CONTEXT loadCertificate(const char *path)
{
    static BYTE raw[65536], der[65536];
    FILE *file = fopen(path, "rb");
    if (!file)
        fail("opening the trust file", 0);
    size_t got = fread(raw, 1, sizeof raw - 1, file);
    fclose(file);
    raw[got] = 0;
    DWORD derLength = sizeof der;
    const BYTE *bytes = raw;
    DWORD length = (DWORD)got;
    if (CryptStringToBinaryA((const char *)raw, (DWORD)got, CRYPT_STRING_BASE64HEADER, der, &derLength, NULL,
                             NULL)) {
        bytes = der;
        length = derLength;
    }
    PCCERT_CONTEXT certificate =
        CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, bytes, length);
    if (!certificate)
        fail("reading the trust file", (long)GetLastError());
    return certificate;
}

// The chain must end in the trust file's certificate and pass the SSL policy
// for HOST (whose root the policy does not know, hence the unknown-CA flag).
void verify(Connection &c, PCCERT_CONTEXT trusted)
{
    PCCERT_CONTEXT server = NULL;
    SECURITY_STATUS status = QueryContextAttributesA(&c.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server);
    if (status != SEC_E_OK || !server)
        fail("the server's certificate", status);
    HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, NULL);
    if (server->hCertStore)
        for (PCCERT_CONTEXT e = CertEnumCertificatesInStore(server->hCertStore, NULL); e;
             e = CertEnumCertificatesInStore(server->hCertStore, e))
            CertAddCertificateContextToStore(extra, e, CERT_STORE_ADD_USE_EXISTING, NULL);
    CertAddCertificateContextToStore(extra, trusted, CERT_STORE_ADD_USE_EXISTING, NULL);
    CERT_CHAIN_PARA chainPara;
    memset(&chainPara, 0, sizeof chainPara);
    chainPara.cbSize = sizeof chainPara;
    PCCERT_CHAIN_CONTEXT chain = NULL;
    if (!CertGetCertificateChain(NULL, server, NULL, extra, &chainPara, 0, NULL, &chain))
        fail("CertGetCertificateChain", (long)GetLastError());
    PCERT_SIMPLE_CHAIN simple = chain->rgpChain[0];
    PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    if (root->cbCertEncoded != trusted->cbCertEncoded
        || memcmp(root->pbCertEncoded, trusted->pbCertEncoded, root->cbCertEncoded) != 0)
        fail("the chain does not end in the trust file's certificate", 0);
    if (chain->TrustStatus.dwErrorStatus & ~(DWORD)CERT_TRUST_IS_UNTRUSTED_ROOT)
        fail("the certificate chain", (long)chain->TrustStatus.dwErrorStatus);

    wchar_t host[64];
    MultiByteToWideChar(CP_ACP, 0, HOST, -1, host, 64);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl;
    memset(&ssl, 0, sizeof ssl);
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = host;
    ssl.fdwChecks = 0x00000100; // the unknown root is the trust file's, checked above
    CERT_CHAIN_POLICY_PARA para;
    memset(&para, 0, sizeof para);
    para.cbSize = sizeof para;
    para.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
    para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS policy;
    memset(&policy, 0, sizeof policy);
    policy.cbSize = sizeof policy;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &policy))
        fail("CertVerifyCertificateChainPolicy", (long)GetLastError());
    // An address typed as the host is matched by the platform or not at all;
    // the test certificate names 127.0.0.1 among its alternative names.
    if (policy.dwError != 0 && policy.dwError != (DWORD)CERT_E_CN_NO_MATCH)
        fail("the SSL policy", (long)policy.dwError);
    CertFreeCertificateChain(chain);
    CertCloseStore(extra, 0);
    CertFreeCertificateContext(server);
}

// --- One poll ----------------------------------------------------------------------------

Connection *openConnection(int port, PCCERT_CONTEXT trusted, Stages &stages, double start)
{
    static Connection c;
    memset(&c, 0, sizeof c);
    c.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (c.socket == INVALID_SOCKET)
        fail("socket", WSAGetLastError());
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)port);
    address.sin_addr.s_addr = inet_addr(HOST);
    if (connect(c.socket, (sockaddr *)&address, sizeof address) != 0)
        fail("connect", WSAGetLastError());
    stages.connect = seconds() - start;
    if (trusted) {
        c.secure = true;
        handshake(c);
        verify(c, trusted);
    }
    stages.handshake = seconds() - start;
    return &c;
}

void closeConnection(Connection &c)
{
    closesocket(c.socket);
    if (c.haveContext)
        DeleteSecurityContext(&c.context);
    if (c.haveCredentials)
        FreeCredentialsHandle(&c.credentials);
}

const char *expectLine(Connection &c, long *length)
{
    const char *line;
    *length = readLine(c, &line);
    if (*length < 0)
        fail("the server closed the connection", 0);
    return line;
}

bool isLine(const char *line, long length, const char *text)
{
    return (size_t)length == strlen(text) && memcmp(line, text, (size_t)length) == 0;
}

int pollPop3(int port, const char *user, PCCERT_CONTEXT trusted, Stages &stages, unsigned long long *received)
{
    double start = seconds();
    Connection &c = *openConnection(port, trusted, stages, start);
    long length;
    char command[128];
    expectLine(c, &length);
    snprintf(command, sizeof command, "USER %s", user);
    sendLine(c, command);
    expectLine(c, &length);
    sendLine(c, "PASS secret");
    expectLine(c, &length);
    stages.login = seconds() - start;
    sendLine(c, "STAT");
    const char *stat = expectLine(c, &length);
    int total = length > 4 ? atoi(stat + 4) : 0;
    for (int n = 1; n <= total; n++) {
        snprintf(command, sizeof command, "TOP %d 0", n);
        sendLine(c, command);
        expectLine(c, &length);
        for (;;) {
            const char *line = expectLine(c, &length);
            if (isLine(line, length, ".\r\n"))
                break;
        }
    }
    sendLine(c, "QUIT");
    expectLine(c, &length);
    *received = c.received;
    closeConnection(c);
    return total;
}

bool startsWith(const char *line, long length, const char *text)
{
    size_t n = strlen(text);
    return (size_t)length >= n && memcmp(line, text, n) == 0;
}

bool contains(const char *line, long length, const char *text)
{
    size_t n = strlen(text);
    for (long i = 0; i + (long)n <= length; i++)
        if (memcmp(line + i, text, n) == 0)
            return true;
    return false;
}

// Sends "TAG text" and reads to the tagged line; *exists takes the EXISTS count
// and *seen whether \Seen was among the lines (either may be NULL).
void imapCommand(Connection &c, int tag, const char *text, int *exists, bool *seen)
{
    char command[256], tagText[16];
    if (tag < 0)
        snprintf(tagText, sizeof tagText, "Z9999 ");
    else
        snprintf(tagText, sizeof tagText, "A%04d ", tag);
    snprintf(command, sizeof command, "%s%s", tagText, text);
    sendLine(c, command);
    for (;;) {
        long length;
        const char *line = expectLine(c, &length);
        if (startsWith(line, length, tagText))
            return;
        if (exists && length > 9 && memcmp(line + length - 9, " EXISTS\r\n", 9) == 0)
            *exists = atoi(line + 2);
        if (seen && contains(line, length, "\\Seen"))
            *seen = true;
    }
}

int pollImap(int port, const char *user, PCCERT_CONTEXT trusted, Stages &stages, unsigned long long *received)
{
    double start = seconds();
    Connection &c = *openConnection(port, trusted, stages, start);
    long length;
    char text[128];
    expectLine(c, &length);
    int tag = 2;
    snprintf(text, sizeof text, "LOGIN \"%s\" \"secret\"", user);
    imapCommand(c, tag, text, NULL, NULL);
    stages.login = seconds() - start;
    tag++;
    int exists = 0;
    imapCommand(c, tag, "EXAMINE INBOX", &exists, NULL);
    for (int n = 1; n <= exists; n++) {
        tag++;
        bool seen = false;
        snprintf(text, sizeof text, "FETCH %d FLAGS", n);
        imapCommand(c, tag, text, NULL, &seen);
        if (!seen) {
            tag++;
            snprintf(text, sizeof text, "FETCH %d RFC822.HEADER", n);
            imapCommand(c, tag, text, NULL, NULL);
        }
    }
    imapCommand(c, -1, "LOGOUT", NULL, NULL);
    *received = c.received;
    closeConnection(c);
    return exists;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5 || (argc > 5 && (argc != 7 || strcmp(argv[5], "tls") != 0))) {
        fprintf(stderr, "usage: net_reference pop3|imap PORT USER POLLS [tls TRUSTFILE]\n");
        return 2;
    }
    bool imap = strcmp(argv[1], "imap") == 0;
    int port = atoi(argv[2]);
    const char *user = argv[3];
    int polls = atoi(argv[4]);
    PCCERT_CONTEXT trusted = argc == 7 ? loadCertificate(argv[6]) : NULL;

    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        fail("WSAStartup", 0);
    double best = 1e9;
    for (int i = 0; i < polls; i++) {
        Stages stages = {};
        unsigned long long received = 0;
        inReceive = 0;
        receives = 0;
        wireBytes = 0;
        records = 0;
        double start = seconds();
        int count = imap ? pollImap(port, user, trusted, stages, &received)
                         : pollPop3(port, user, trusted, stages, &received);
        double took = seconds() - start;
        best = took < best ? took : best;
        char wire[96] = "";
        if (trusted)
            snprintf(wire, sizeof wire, ", %llu on the wire in %lu records", wireBytes, records);
        printf("poll %d: %.3f s, %d messages, %llu bytes received%s (connected %.3f, secure %.3f, logged in "
               "%.3f; %.3f s in recv over %lu calls)\n",
               i + 1, took, count, received, wire, stages.connect, stages.handshake, stages.login, inReceive,
               receives);
    }
    printf("best %.3f s\n", best);
    if (trusted)
        CertFreeCertificateContext(trusted);
    WSACleanup();
    return 0;
}
