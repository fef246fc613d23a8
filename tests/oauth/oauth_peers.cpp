// The Windows side of the sign-in peers: their files, their control port and
// the registry value that makes Wine's shell open the stand-in browser.
#include <winsock2.h>
#include <windows.h>

#include "tests/oauth/oauth_peers.h"

#include <sstream>

#include "tests/config/winfiles.h"

namespace
{

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            result.push_back(line);
    return result;
}

std::wstring wide(const std::string &text)
{
    std::wstring result(text.size(), L'\0');
    result.resize((size_t)MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &result[0],
                                              (int)result.size()));
    return result;
}

} // namespace

std::string oauthDir()
{
    return PELIMBO_OAUTH_DIR;
}

std::string oauthTrustFile()
{
    return oauthDir() + "\\tls\\ca.pem";
}

std::string oauthControl(const std::string &query)
{
    WSADATA data;
    if (WSAStartup(0x0202, &data) != 0)
        return "";
    std::string reply;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)oauthControlPort);
    a.sin_addr.s_addr = htonl(0x7F000001);
    if (s != INVALID_SOCKET && connect(s, (sockaddr *)&a, sizeof a) == 0) {
        std::string request =
            "GET /control?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(s, request.data(), (int)request.size(), 0);
        char buffer[4096];
        for (int n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, (size_t)n);
    }
    if (s != INVALID_SOCKET)
        closesocket(s);
    WSACleanup();
    size_t body = reply.find("\r\n\r\n");
    if (reply.compare(0, 12, "HTTP/1.1 200") != 0 && reply.compare(0, 12, "HTTP/1.0 200") != 0)
        return "";
    return body == std::string::npos ? "" : reply.substr(body + 4);
}

std::vector<std::string> oauthServerLog()
{
    return lines(readFile(oauthDir() + "\\server.log"));
}

std::vector<std::string> oauthBrowserLog()
{
    return lines(readFile(oauthDir() + "\\browser.log"));
}

bool useTestBrowser(const char *mode)
{
    // winebrowser splits the value at commas and each command with the
    // Windows command-line rules, runs it as a Unix program with the address
    // as its last argument, and reads at most 255 characters of it.
    std::wstring command =
        wide("\"" PELIMBO_PYTHON "\" \"" PELIMBO_OAUTH_BROWSER "\" \"" PELIMBO_OAUTH_UNIX_DIR "\"");
    if (command.size() > 255 || command.find(L',') != std::wstring::npos)
        return false;
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", 0, NULL, 0, KEY_SET_VALUE, NULL,
                        &key, NULL)
        != ERROR_SUCCESS)
        return false;
    LONG set = RegSetValueExW(key, L"Browsers", 0, REG_SZ, (const BYTE *)command.c_str(),
                              (DWORD)((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    DeleteFileA((oauthDir() + "\\browser.log").c_str());
    return set == ERROR_SUCCESS && writeFile(oauthDir() + "\\browser-mode", std::string(mode) + "\n");
}

bool waitBrowserDone(unsigned timeoutMs)
{
    for (DWORD start = GetTickCount();; Sleep(50)) {
        for (const std::string &line : oauthBrowserLog())
            if (line.find("\"step\":\"done\"") != std::string::npos)
                return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
    }
}
