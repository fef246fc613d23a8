// WinSock 1.1 under the transport: WSOCK32.DLL loaded by name on first use,
// its entry points resolved in a fixed order, notifications posted to the
// network window.
#include <winsock2.h>
#include <windows.h>

#include "base/entrypoint_win32.h"

#include <string.h>

#include "core/core.h"
#include "sources/net.h"

namespace
{

typedef int(WINAPI *StartupFn)(WORD, LPWSADATA);
typedef int(WINAPI *CleanupFn)(void);
typedef int(WINAPI *AsyncSelectFn)(SOCKET, HWND, u_int, long);
typedef HANDLE(WINAPI *AsyncGetHostByNameFn)(HWND, u_int, const char *, char *, int);
typedef int(WINAPI *CancelBlockingCallFn)(void);
typedef int(WINAPI *CancelAsyncRequestFn)(HANDLE);
typedef int(WINAPI *GetLastErrorFn)(void);
typedef int(WINAPI *SetSockOptFn)(SOCKET, int, int, const char *, int);
typedef SOCKET(WINAPI *SocketFn)(int, int, int);
typedef int(WINAPI *CloseSocketFn)(SOCKET);
typedef int(WINAPI *SendFn)(SOCKET, const char *, int, int);
typedef int(WINAPI *RecvFn)(SOCKET, char *, int, int);
typedef int(WINAPI *ConnectFn)(SOCKET, const struct sockaddr *, int);
typedef u_short(WINAPI *HtonsFn)(u_short);
typedef unsigned long(WINAPI *InetAddrFn)(const char *);

struct WinSockEntries {
    StartupFn startup;
    CleanupFn cleanup;
    AsyncSelectFn asyncSelect;
    AsyncGetHostByNameFn asyncGetHostByName;
    CancelBlockingCallFn cancelBlockingCall;
    CancelAsyncRequestFn cancelAsyncRequest;
    GetLastErrorFn getLastError;
    SetSockOptFn setSockOpt;
    SocketFn socket;
    CloseSocketFn closeSocket;
    SendFn send;
    RecvFn recv;
    ConnectFn connect;
    HtonsFn htons;
    InetAddrFn inetAddr;
};

HWND networkWindow;
HMODULE library;
WinSockEntries ws;

int load(void)
{
    library = loadLibraryQuietly("WSOCK32.DLL");
    if (!library)
        return 0;
    bool all =
        resolveEntry(library, ws.startup, "WSAStartup") && resolveEntry(library, ws.cleanup, "WSACleanup")
        && resolveEntry(library, ws.asyncSelect, "WSAAsyncSelect")
        && resolveEntry(library, ws.asyncGetHostByName, "WSAAsyncGetHostByName")
        && resolveEntry(library, ws.cancelBlockingCall, "WSACancelBlockingCall")
        && resolveEntry(library, ws.cancelAsyncRequest, "WSACancelAsyncRequest")
        && resolveEntry(library, ws.getLastError, "WSAGetLastError")
        && resolveEntry(library, ws.setSockOpt, "setsockopt") && resolveEntry(library, ws.socket, "socket")
        && resolveEntry(library, ws.closeSocket, "closesocket") && resolveEntry(library, ws.send, "send")
        && resolveEntry(library, ws.recv, "recv") && resolveEntry(library, ws.connect, "connect")
        && resolveEntry(library, ws.htons, "htons") && resolveEntry(library, ws.inetAddr, "inet_addr");
    if (!all) {
        FreeLibrary(library);
        library = NULL;
        return -1;
    }
    return 1;
}

int startup(uint16_t requested, uint16_t *granted)
{
    // WSADATA differs between 32 and 64 bits; only the version is read.
    WSADATA data;
    memset(&data, 0, sizeof data);
    int result = ws.startup(requested, &data);
    *granted = data.wVersion;
    return result;
}

int cleanup(void)
{
    return ws.cleanup();
}

int asyncSelect(NetSocket s, long mask)
{
    return ws.asyncSelect((SOCKET)s, networkWindow, WM_SOCKET, mask);
}

uintptr_t asyncGetHostByName(const char *name, char *buffer, int size)
{
    HANDLE handle = ws.asyncGetHostByName(networkWindow, WM_HOSTRESOLVED, name, buffer, size);
    return reinterpret_cast<uintptr_t>(handle);
}

int cancelBlockingCall(void)
{
    return ws.cancelBlockingCall();
}

int cancelAsyncRequest(uintptr_t handle)
{
    return ws.cancelAsyncRequest(reinterpret_cast<HANDLE>(handle));
}

int lastError(void)
{
    return ws.getLastError();
}

int setLingerOff(NetSocket s)
{
    struct linger off;
    memset(&off, 0, sizeof off);
    return ws.setSockOpt((SOCKET)s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&off), sizeof off);
}

NetSocket openStream(void)
{
    SOCKET s = ws.socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? NET_INVALID_SOCKET : (NetSocket)s;
}

int closeSocket(NetSocket s)
{
    return ws.closeSocket((SOCKET)s);
}
int sendBytes(NetSocket s, const char *data, int length)
{
    return ws.send((SOCKET)s, data, length, 0);
}
int receiveBytes(NetSocket s, char *data, int length)
{
    return ws.recv((SOCKET)s, data, length, 0);
}

int connectTo(NetSocket s, const uint8_t address[16])
{
    struct sockaddr_in target;
    memcpy(&target, address, sizeof target);
    return ws.connect((SOCKET)s, reinterpret_cast<const struct sockaddr *>(&target), sizeof target);
}

uint16_t hostToNetShort(uint16_t value)
{
    return ws.htons(value);
}
uint32_t parseDotted(const char *text)
{
    return (uint32_t)ws.inetAddr(text);
}

// The host entry lies at the start of the lookup buffer; its pointers point
// into the same buffer.
bool firstAddress(const char *buffer, uint8_t address[4])
{
    const struct hostent *entry = reinterpret_cast<const struct hostent *>(buffer);
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list || !entry->h_addr_list[0])
        return false;
    memcpy(address, entry->h_addr_list[0], 4);
    return true;
}

void postStartConnect(void)
{
    PostMessageA(networkWindow, WM_STARTCONNECT, 0, 0);
}

void postMailboxChangedMessage(void)
{
    PostMessageA(networkWindow, WM_MAILBOXCHANGED, 0, 0);
}

const SocketLayer winSockLayer = {
    load,
    startup,
    cleanup,
    asyncSelect,
    asyncGetHostByName,
    cancelBlockingCall,
    cancelAsyncRequest,
    lastError,
    setLingerOff,
    openStream,
    closeSocket,
    sendBytes,
    receiveBytes,
    connectTo,
    hostToNetShort,
    parseDotted,
    firstAddress,
    postStartConnect,
    postMailboxChangedMessage,
};

} // namespace

// Installs the platform layers; the dial-up layer lives beside the RAS code,
// the TLS layer beside the SChannel code, the token layer beside WinHTTP's use.
void installRasLayer(HWND window);
void installSchannelLayer(void);
void installPlatformTokenLayer(HWND window);

void setNetworkWindow(HWND window)
{
    networkWindow = window;
    installSocketLayer(&winSockLayer);
    installRasLayer(window);
    installSchannelLayer();
    installPlatformTokenLayer(window);
}
