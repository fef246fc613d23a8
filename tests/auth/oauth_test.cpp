// The sign-in's window-free parts against the published vectors (FIPS 180,
// RFC 7636, RFC 7628, the providers' own examples) and against the damaged
// answers and requests a hostile service or web page could send.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "auth/oauth.h"
#include "auth/sasl.h"
#include "auth/sha256.h"

namespace
{

std::string hex(const uint8_t *bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; i++)
        out += std::string(1, digits[bytes[i] >> 4]) + digits[bytes[i] & 15];
    return out;
}

std::string digestOf(const std::string &text)
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256((const uint8_t *)text.data(), text.size(), digest);
    return hex(digest, sizeof digest);
}

} // namespace

// The lengths around a block's end (55, 56, 64 bytes) are where the padding of
// a digest goes wrong; the RFC 7636 example ties the digest to the challenge.
TEST(Pkce, DigestAndChallengeMatchThePublishedVectors)
{
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", digestOf(""));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", digestOf("abc"));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              digestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072",
              digestOf(std::string(55, 'x')));
    EXPECT_EQ("04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e",
              digestOf(std::string(56, 'x')));
    EXPECT_EQ("7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c",
              digestOf(std::string(64, 'x')));
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
              digestOf(std::string(1000000, 'a')));

    const uint8_t random[PKCE_RANDOM_BYTES] = {116, 24,  223, 180, 151, 153, 224, 37,  79,  250, 96,
                                               125, 216, 173, 187, 186, 22,  212, 37,  77,  105, 214,
                                               191, 240, 91,  88,  5,   88,  83,  132, 141, 121};
    char verifier[PKCE_TEXT_SIZE], challenge[PKCE_TEXT_SIZE];
    pkceVerifier(random, verifier);
    EXPECT_STREQ("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk", verifier);
    pkceChallenge(verifier, challenge);
    EXPECT_STREQ("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM", challenge);
    char state[STATE_TEXT_SIZE];
    stateText(random, state);
    EXPECT_EQ(22u, strlen(state));
}

TEST(OAuthForms, EndpointsAddressAndFormsAreWhatTheProviderExpects)
{
    Settings s = Settings();
    s.MessageSource = SOURCE_POP3;
    s.OAuthProvider = PROVIDER_MICROSOFT;
    OAuthEndpoints e;
    oauthEndpoints(&s, &e);
    EXPECT_STREQ("https://login.microsoftonline.com/common/oauth2/v2.0/authorize", e.authorizeUrl);
    EXPECT_STREQ("https://login.microsoftonline.com/common/oauth2/v2.0/token", e.tokenUrl);
    EXPECT_STREQ("https://outlook.office.com/POP.AccessAsUser.All offline_access", e.scope);
    s.MessageSource = SOURCE_IMAP4;
    copyText(s.OAuthTokenUrl, "https://login.example.org/t");
    oauthEndpoints(&s, &e);
    EXPECT_STREQ("https://outlook.office.com/IMAP.AccessAsUser.All offline_access", e.scope);
    EXPECT_STREQ("https://login.example.org/t", e.tokenUrl) << "a key typed in wins over the provider's";
    EXPECT_STREQ("pop.gmail.com", providerMailHost(PROVIDER_GOOGLE, SOURCE_POP3));
    EXPECT_EQ(nullptr, providerMailHost(PROVIDER_OWN, SOURCE_IMAP4));
    EXPECT_TRUE(isProviderMailHost("IMAP.gmail.com"));
    EXPECT_FALSE(isProviderMailHost("mail.example.org"));

    OAuthEndpoints own = {"https://auth.example.org/authorize?tenant=a b", "https://auth.example.org/token",
                          "mail offline"};
    SignInValues v = {"id+1", "",    "http://127.0.0.1:5000/", "st",
                      "ver",  "cha", "ann&bob@example.org",    PROVIDER_OWN};
    char url[AUTHORIZE_URL_SIZE];
    ASSERT_TRUE(buildAuthorizeUrl(&own, &v, url, sizeof url));
    EXPECT_STREQ(
        "https://auth.example.org/authorize?tenant=a b&response_type=code&client_id=id%2B1"
        "&redirect_uri=http%3A%2F%2F127.0.0.1%3A5000%2F&scope=mail+offline&state=st&code_challenge=cha"
        "&code_challenge_method=S256&login_hint=ann%26bob%40example.org",
        url);
    v.provider = PROVIDER_GOOGLE;
    ASSERT_TRUE(buildAuthorizeUrl(&own, &v, url, sizeof url));
    EXPECT_NE(nullptr, strstr(url, "&access_type=offline&prompt=consent"))
        << "Google gives no refresh token without";
    EXPECT_FALSE(buildAuthorizeUrl(&own, &v, url, 60));
    EXPECT_STREQ("", url);

    char form[TOKEN_BODY_SIZE];
    ASSERT_TRUE(buildCodeForm(&v, "c/d=", form, sizeof form));
    EXPECT_STREQ("grant_type=authorization_code&code=c%2Fd%3D&redirect_uri=http%3A%2F%2F127.0.0.1%3A5000%2F"
                 "&code_verifier=ver&client_id=id%2B1",
                 form);
    ASSERT_TRUE(buildRefreshForm("id", "s&cret", "1//r t", form, sizeof form));
    EXPECT_STREQ("grant_type=refresh_token&refresh_token=1%2F%2Fr+t&client_id=id&client_secret=s%26cret",
                 form);
    EXPECT_FALSE(buildRefreshForm("id", "", std::string(200, 'r').c_str(), form, 100));
    EXPECT_EQ(std::string(100, '\0'), std::string(form, 100)) << "a form that did not fit is wiped, not cut";
}

TEST(TokenAnswer, GrantsRefusalsAndAnswersThatMustNotBeUsed)
{
    TokenAnswer a;
    const std::string granted = R"({"token_type":"Bearer","scope":["a","b"],"expires_in":3599,
        "ext":{"x":[1,{"y":null}]},"access_token":"eyJ0.eyJ1.sig-_","refresh_token":"1//0g-r"})";
    ASSERT_EQ(TOKEN_GRANTED, parseTokenAnswer(granted.data(), granted.size(), &a));
    EXPECT_STREQ("eyJ0.eyJ1.sig-_", a.accessToken);
    EXPECT_STREQ("1//0g-r", a.refreshToken);
    EXPECT_EQ(3599u, a.lifetime);

    const std::string lean = R"({"access_token":"t","expires_in":"2"})";
    ASSERT_EQ(TOKEN_GRANTED, parseTokenAnswer(lean.data(), lean.size(), &a));
    EXPECT_STREQ("", a.refreshToken) << "no rotation: the stored refresh token stays";
    EXPECT_EQ(2u, a.lifetime);
    const std::string noLifetime = R"({"access_token":"t","token_type":"bearer"})";
    ASSERT_EQ(TOKEN_GRANTED, parseTokenAnswer(noLifetime.data(), noLifetime.size(), &a));
    EXPECT_EQ((unsigned)DEFAULT_TOKEN_LIFETIME, a.lifetime);

    const std::string refused =
        R"({"error":"invalid_grant","error_description":"AADSTS70008: \"expired\"\u00e9 \ud83d\ude00"})";
    ASSERT_EQ(TOKEN_REFUSED, parseTokenAnswer(refused.data(), refused.size(), &a));
    EXPECT_STREQ("invalid_grant", a.error);
    EXPECT_STREQ("AADSTS70008: \"expired\"\xc3\xa9 \xf0\x9f\x98\x80", a.errorDescription);
    EXPECT_STREQ("", a.accessToken);

    const std::string unusable[] = {
        "",
        "[]",
        "{\"access_token\":\"t\"",
        R"({"access_token":"t"} trailing)",
        R"({"refresh_token":"r"})",
        R"({"access_token":"t","token_type":"mac"})",
        R"({"access_token":"has space"})",
        R"({"access_token":"line\r\nA9 LOGOUT"})",
        R"({"access_token":"t","refresh_token":"\u0000"})",
        R"({"access_token":"t","access_token":"u"})",
        R"({"access_token":"t","refresh_token":"r","x":)",
        "{\"access_token\":\"" + std::string(ACCESS_TOKEN_SIZE, 'a') + "\"}",
        "{\"x\":" + std::string(100, '[') + std::string(100, ']') + ",\"access_token\":\"t\"}",
        R"({"access_token":"t\ud800"})",
    };
    for (const std::string &text : unusable) {
        EXPECT_EQ(TOKEN_UNREADABLE, parseTokenAnswer(text.data(), text.size(), &a)) << text.substr(0, 80);
        EXPECT_STREQ("", a.accessToken);
    }
}

// The browser's request comes a piece at a time: only the whole header block
// counts, and only a GET of the redirect address carries a code.
TEST(LoopbackRequest, TheRedirectIsReadWholeAndAnythingElseIsRefused)
{
    const std::string redirect = "GET /?code=M.C5%2Fab+c&state=Xy_z&session_state=1 HTTP/1.1\r\n"
                                 "Host: 127.0.0.1:5000\r\nUser-Agent: x\r\n\r\n";
    LoopbackRequest r;
    for (size_t n = 0; n < redirect.size(); n++)
        ASSERT_EQ(LOOPBACK_INCOMPLETE, parseLoopbackRequest(redirect.data(), n, &r)) << n;
    ASSERT_EQ(LOOPBACK_COMPLETE, parseLoopbackRequest(redirect.data(), redirect.size(), &r));
    EXPECT_TRUE(r.rootPath);
    EXPECT_TRUE(r.hasCode && r.hasState && !r.hasError);
    EXPECT_STREQ("M.C5/ab c", r.code);
    EXPECT_STREQ("Xy_z", r.state);

    const std::string denied =
        "GET /?error=access_denied&error_description=The+user+said+no&state=Q HTTP/1.0\n\n";
    ASSERT_EQ(LOOPBACK_COMPLETE, parseLoopbackRequest(denied.data(), denied.size(), &r));
    EXPECT_TRUE(r.hasError && !r.hasCode);
    EXPECT_STREQ("access_denied", r.error);
    EXPECT_STREQ("The user said no", r.errorDescription);

    for (const std::string &other : {std::string("GET /favicon.ico HTTP/1.1\r\n\r\n"),
                                     std::string("POST /?code=a&state=b HTTP/1.1\r\n\r\n"),
                                     std::string("GET /x?code=a&state=b HTTP/1.1\r\n\r\n")}) {
        ASSERT_EQ(LOOPBACK_COMPLETE, parseLoopbackRequest(other.data(), other.size(), &r)) << other;
        EXPECT_FALSE(r.rootPath) << other;
        EXPECT_FALSE(r.hasCode) << other;
    }
    const std::string bad[] = {
        "GET /?code=a&state=b&state=c HTTP/1.1\r\n\r\n",
        "GET /?code=a%00b&state=b HTTP/1.1\r\n\r\n",
        "GET /?code=a%4&state=b HTTP/1.1\r\n\r\n",
        "GET /?code=a\x01&state=b HTTP/1.1\r\n\r\n",
        "GET /?code=a&state=b\r\n\r\n",
        "hello\r\n\r\n",
        "GET /?code=" + std::string(AUTH_CODE_SIZE, 'c') + "&state=b HTTP/1.1\r\n\r\n",
        "GET /?code=a HTTP/1.1\r\nX: " + std::string(LOOPBACK_REQUEST_MAX, 'x'),
    };
    for (const std::string &text : bad) {
        EXPECT_EQ(LOOPBACK_BAD, parseLoopbackRequest(text.data(), text.size(), &r)) << text.substr(0, 60);
        EXPECT_FALSE(r.hasCode);
    }
}

TEST(Sasl, MessagesMatchTheRfcsAndErrorsAreRead)
{
    char out[SASL_MESSAGE_SIZE];
    ASSERT_TRUE(buildSaslMessage(SASL_XOAUTH2, "someuser@example.com", "imap.gmail.com", 993,
                                 "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg", out, sizeof out));
    EXPECT_STREQ(
        "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNrQmhkSFJoZG1semRH"
        "RXVZMjl0Q2cBAQ==",
        out);
    ASSERT_TRUE(buildSaslMessage(SASL_OAUTHBEARER, "user@example.com", "server.example.com", 143,
                                 "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==", out, sizeof out));
    EXPECT_STREQ(
        "bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVhcmVyIHZGOWRmdDRx"
        "bVRjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB",
        out);
    ASSERT_TRUE(buildSaslMessage(SASL_OAUTHBEARER, "a=b,c", "h", 1, "t", out, sizeof out));
    EXPECT_STREQ("bixhPWE9M0RiPTJDYywBaG9zdD1oAXBvcnQ9MQFhdXRoPUJlYXJlciB0AQE=", out)
        << "',' and '=' escaped";
    EXPECT_FALSE(buildSaslMessage(SASL_XOAUTH2,
                                  "a\x01"
                                  "b",
                                  "h", 1, "t", out, sizeof out));
    EXPECT_FALSE(buildSaslMessage(SASL_XOAUTH2, "u", "h", 1, "t", out, 8));
    EXPECT_EQ(std::string(8, '\0'), std::string(out, 8));
    EXPECT_STREQ("AQ==", saslErrorAnswer(SASL_OAUTHBEARER));
    EXPECT_STREQ("", saslErrorAnswer(SASL_XOAUTH2));

    char status[SASL_STATUS_SIZE];
    const char *rfc =
        "eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJleGFtcGxlX3Njb3BlIiwib3BlbmlkLWNvbmZpZ3VyYXRpb24iOiJo"
        "dHRwczovL2V4YW1wbGUuY29tLy53ZWxsLWtub3duL29wZW5pZC1jb25maWd1cmF0aW9uIn0=";
    ASSERT_TRUE(parseSaslError(rfc, strlen(rfc), status));
    EXPECT_STREQ("invalid_token", status);
    const char *google =
        "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiQmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZ29vZ2xlLmNvbS8ifQ==";
    ASSERT_TRUE(parseSaslError(google, strlen(google), status));
    EXPECT_STREQ("401", status);
    for (const char *bad : {"", "not base64!", "e30=" /* {} */, "W10=" /* [] */})
        EXPECT_FALSE(parseSaslError(bad, strlen(bad), status)) << bad;
}

TEST(AccessToken, UsableUntilAMinuteBeforeItsEndAcrossAClockWrap)
{
    uint32_t start = 0xFFFFFFFFu - 10000; // the millisecond clock wraps in ten seconds
    keepAccessToken("tok", 120, start);
    EXPECT_TRUE(accessTokenUsable(start));
    EXPECT_TRUE(accessTokenUsable(start + 59000));
    EXPECT_FALSE(accessTokenUsable(start + 60000)) << "a minute before its end it is renewed";
    keepAccessToken("tok", 2, start);
    EXPECT_FALSE(accessTokenUsable(start)) << "a token shorter than the margin is renewed before every poll";
    forgetAccessToken();
    EXPECT_FALSE(accessTokenUsable(start));
    EXPECT_STREQ("", oauth.accessToken);
}
