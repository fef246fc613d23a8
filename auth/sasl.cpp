#include "auth/sasl.h"

#include <stdint.h>
#include <string.h>

#include "auth/json.h"
#include "base/base64.h"
#include "base/text.h"

const char *saslMechanismName(SaslMechanism mechanism)
{
    switch (mechanism) {
    case SASL_OAUTHBEARER: return "OAUTHBEARER";
    case SASL_XOAUTH2: return "XOAUTH2";
    default: return "";
    }
}

// The user as a GS2 saslname: ',' and '=' written as =2C and =3D.
static bool appendSaslName(char *out, size_t size, const char *user)
{
    for (const char *p = user; *p; p++) {
        const char *piece = *p == ',' ? "=2C" : *p == '=' ? "=3D" : NULL;
        char one[2] = {*p, '\0'};
        if (!appendText(out, size, piece ? piece : one))
            return false;
    }
    return true;
}

int buildSaslMessage(SaslMechanism mechanism, const char *user, const char *host, unsigned port,
                     const char *token, char *out, size_t size)
{
    if (size)
        out[0] = '\0';
    if (strchr(user, '\x01') || strchr(host, '\x01') || strchr(token, '\x01'))
        return 0;
    char plain[SASL_MESSAGE_SIZE];
    bool fits = false;
    if (mechanism == SASL_OAUTHBEARER) {
        char portText[16];
        formatText(portText, sizeof portText, "%u", port);
        plain[0] = '\0';
        fits = appendText(plain, "n,a=") && appendSaslName(plain, sizeof plain, user)
               && appendText(plain, ",\x01host=") && appendText(plain, host) && appendText(plain, "\x01port=")
               && appendText(plain, portText)
               && appendText(plain, "\x01"
                                    "auth=Bearer ")
               && appendText(plain, token) && appendText(plain, "\x01\x01");
    } else if (mechanism == SASL_XOAUTH2) {
        fits = formatText(plain, sizeof plain,
                          "user=%s\x01"
                          "auth=Bearer %s\x01\x01",
                          user, token);
    }
    int encoded = fits && base64Encode((const uint8_t *)plain, strlen(plain), out, size, BASE64_STANDARD);
    wipeBytes(plain, sizeof plain);
    if (!encoded && size)
        wipeBytes(out, size);
    return encoded;
}

const char *saslErrorAnswer(SaslMechanism mechanism)
{
    return mechanism == SASL_OAUTHBEARER ? "AQ==" : "";
}

int parseSaslError(const char *base64, size_t length, char status[SASL_STATUS_SIZE])
{
    status[0] = '\0';
    uint8_t json[2048];
    size_t decoded = 0;
    if (!base64Decode(base64, length, json, sizeof json, &decoded))
        return 0;
    JsonMember member = {"status", status, SASL_STATUS_SIZE, false, false};
    if (readJsonObject((const char *)json, decoded, &member, 1) != JSON_OK || !member.found || member.cut) {
        status[0] = '\0';
        return 0;
    }
    return 1;
}
