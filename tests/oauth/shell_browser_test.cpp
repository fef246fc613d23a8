// The shell's open of an https address, under Wine, reaches the stand-in
// browser, which follows it to our authorization server and brings the
// redirect back to a loopback port of ours: the road every sign-in test of
// the program takes, checked here once for each thing the user may do.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/oauth/oauth_peers.h"

namespace
{

// A loopback listener on a port the system picks, as a program's redirect
// address is (RFC 8252).
struct Loopback {
    SOCKET s = INVALID_SOCKET;
    unsigned port = 0;
    Loopback()
    {
        WSADATA data;
        WSAStartup(0x0202, &data);
        s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(0x7F000001);
        bind(s, (sockaddr *)&a, sizeof a);
        listen(s, 4);
        int size = sizeof a;
        getsockname(s, (sockaddr *)&a, &size);
        port = ntohs(a.sin_port);
    }
    ~Loopback()
    {
        closesocket(s);
        WSACleanup();
    }
    // Answers every request (200 for one carrying a code or an error, 400 for
    // anything else) until the browser has finished; returns the request targets.
    std::vector<std::string> serveUntilBrowserDone()
    {
        std::vector<std::string> targets;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(s, &readable);
            timeval wait = {0, 100000};
            if (select(0, &readable, NULL, NULL, &wait) == 1) {
                targets.push_back(answerOne());
                continue;
            }
            if (waitBrowserDone(0))
                break;
        }
        return targets;
    }
    std::string answerOne()
    {
        SOCKET c = accept(s, NULL, NULL);
        std::string request;
        char buffer[2048];
        for (int n;
             request.find("\r\n\r\n") == std::string::npos && (n = recv(c, buffer, sizeof buffer, 0)) > 0;)
            request.append(buffer, (size_t)n);
        std::string target = request.substr(0, request.find("\r\n"));
        if (target.compare(0, 4, "GET ") == 0)
            target = target.substr(4, target.rfind(' ') - 4);
        bool answer = target.find("code=") != std::string::npos || target.find("error=") != std::string::npos;
        std::string body = answer ? "Signed in: you can close this tab.\n" : "Not this.\n";
        std::string reply = std::string(answer ? "HTTP/1.1 200 OK" : "HTTP/1.1 400 Bad Request")
                            + "\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: "
                            + std::to_string(body.size()) + "\r\n\r\n" + body;
        send(c, reply.data(), (int)reply.size(), 0);
        closesocket(c);
        return target;
    }
};

std::wstring authorizeAddress(unsigned port, const std::string &state)
{
    std::string url =
        std::string(oauthAuthorizeUrl) + "?response_type=code&client_id=" + oauthClientId
        + "&redirect_uri=http%3A%2F%2F127.0.0.1%3A" + std::to_string(port)
        + "%2F&scope=mail%20offline_access&state=" + state
        + "&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM&code_challenge_method=S256";
    return std::wstring(url.begin(), url.end());
}

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

TEST(ShellBrowser, TheShellOpensTheStandInForEveryThingTheUserMayDo)
{
    const std::string state = "st8Rq2";
    struct Case {
        const char *mode;
        size_t requests;
        const char *lastHas[2];
    } cases[] = {
        {"consent", 1, {"/?code=c-", "&state=st8Rq2"}},
        {"deny", 1, {"state=st8Rq2", "error=access_denied"}},
        {"wrong-state", 1, {"/?code=c-", "&state=forged"}},
        {"stray", 3, {"/?code=c-", "&state=st8Rq2"}},
        {"never", 0, {"", ""}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(useTestBrowser(c.mode));
        Loopback loopback;
        HINSTANCE opened = ShellExecuteW(NULL, L"open", authorizeAddress(loopback.port, state).c_str(), NULL,
                                         NULL, SW_SHOWNORMAL);
        EXPECT_GT((INT_PTR)opened, 32) << c.mode;
        std::vector<std::string> targets = loopback.serveUntilBrowserDone();
        ASSERT_TRUE(waitBrowserDone(0)) << c.mode << ": the browser never finished";
        ASSERT_EQ(c.requests, targets.size()) << c.mode;
        if (c.requests == 0)
            continue;
        for (const char *part : c.lastHas)
            EXPECT_TRUE(has(targets.back(), part)) << c.mode << ": " << targets.back();
        if (c.requests == 3) {
            EXPECT_EQ((std::vector<std::string>{"/favicon.ico", "/"}),
                      std::vector<std::string>(targets.begin(), targets.begin() + 2));
        }
        std::vector<std::string> log = oauthBrowserLog();
        ASSERT_GE(log.size(), 2u);
        EXPECT_TRUE(has(log[log.size() - 2], "\"step\":\"redirect\"")
                    && has(log[log.size() - 2], "\"status\":200"))
            << log[log.size() - 2];
    }
}

} // namespace
