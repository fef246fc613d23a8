// pelnw32.dll: carries three NetWare questions from the 32-bit programs to the
// 16-bit library PELNW16.DLL, which talks to the NetWare client. It holds no
// logic of its own: each export turns its pointer argument into a 16:16 one,
// calls the matching entry of PELNW16.DLL through a flat thunk, and turns a
// returned 16:16 pointer back into a flat one.
//
// The flat-thunk services (ThunkConnect32, QT_Thunk, MapLS, UnMapLS, MapSL)
// exist only in the KERNEL32 of the 16-bit-capable Windows family. They are
// looked up by name when the library is loaded, never imported: where they are
// missing (the NT family, every 64-bit Windows) the library still loads far
// enough for its entry to refuse, and the caller reports that it cannot load
// PELNW32.DLL instead of the loader failing with a missing-import box.
#include <windows.h>

#include <stddef.h>

// The 32-bit half of the thunk connection. The 16-bit library exports its own
// half as "thk_ThunkData16" and finds this one by the name "thk_ThunkData32";
// the connection service checks that both carry the same signature and
// checksum, then fills in the table of 16:16 addresses of the 16-bit entries.
// The two stub areas receive code the service writes; this library calls the
// 16-bit side itself and never runs them, but they must exist.
struct ThunkData32 {
    char signature[4];   // "LS01": a flat thunk from 32 to 16 bits
    DWORD checksum;      // must equal the 16-bit half's
    DWORD *targetTable;  // written by the connection: entry n's 16:16 address
    char lateBinding[4]; // zero: connect at load, not at first call
    DWORD flags;
    DWORD reserved1;
    DWORD reserved2;
    DWORD callStubOffset;   // where the service writes its call stub
    DWORD prologStubOffset; // where the service writes its prologue stub
    BYTE callStub[32];
    BYTE prologStub[32];
};

namespace
{

// The value PELNW16.DLL's "thk_ThunkData16" carries: both halves are built
// from the same three-entry description, and a mismatch refuses the connection.
const DWORD THUNK_CHECKSUM = 0x504E5733;

// The entries of PELNW16.DLL, by their position in its target table.
enum {
    ENTRY_PMAIL_FILE = 0,
    ENTRY_SERVER_INDEX = 1,
    ENTRY_SERVER_TABLE = 2,
};

typedef UINT(WINAPI *ThunkConnectProc)(void *data32, LPSTR data16Name, LPSTR module16, LPSTR module32,
                                       HMODULE instance, DWORD reason);
typedef DWORD(WINAPI *MapLSProc)(LPCVOID address);
typedef void(WINAPI *UnMapLSProc)(DWORD segmented);
typedef LPVOID(WINAPI *MapSLProc)(DWORD segmented);

ThunkConnectProc thunkConnect;
MapLSProc mapLS;
UnMapLSProc unMapLS;
MapSLProc mapSL;
bool connected;

// The connection service takes writable texts.
char data16Name[] = "thk_ThunkData16";
char module16Name[] = "PELNW16.DLL";
char module32Name[] = "PELNW32.DLL";

} // namespace

extern "C" {
ThunkData32 thk_ThunkData32 = {
    {'L', 'S', '0', '1'},
    THUNK_CHECKSUM,
    NULL,
    {0, 0, 0, 0},
    0,
    0,
    0,
    offsetof(ThunkData32, callStub),
    offsetof(ThunkData32, prologStub),
    {0},
    {0},
};
// Read by the call below; the service's entry that switches to the 16-bit stack.
void *pelnwCallService;
}

#if defined(__i386__)
// Calls a 16-bit entry: EDX holds its 16:16 address, the arguments lie at the
// top of the stack in 16-bit layout, and the service copies the bytes between
// ESP and EBP-64 to the 16-bit stack (the 64 bytes below EBP are its scratch).
// The 16-bit result comes back in DX:AX and is returned as one value. The
// caller's registers are saved above the frame, out of the scratch area.
//   DWORD pelnwCall16(DWORD target, const void *arguments, DWORD argumentBytes)
extern "C" DWORD pelnwCall16(DWORD target, const void *arguments, DWORD argumentBytes);
__asm__(".text\n"
        ".globl _pelnwCall16\n"
        "_pelnwCall16:\n"
        "    pushl %ebx\n"
        "    pushl %esi\n"
        "    pushl %edi\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    subl $0x40, %esp\n"
        "    movl 28(%ebp), %ecx\n"
        "    subl %ecx, %esp\n"
        "    movl 24(%ebp), %esi\n"
        "    movl %esp, %edi\n"
        "    cld\n"
        "    rep movsb\n"
        "    movl 20(%ebp), %edx\n"
        "    call *_pelnwCallService\n"
        "    movzwl %ax, %eax\n"
        "    shll $16, %edx\n"
        "    orl %edx, %eax\n"
        "    movl %ebp, %esp\n"
        "    popl %ebp\n"
        "    popl %edi\n"
        "    popl %esi\n"
        "    popl %ebx\n"
        "    ret\n");

// A connection whose table lacks the entry would jump to 0:0.
static bool callable(int entry)
{
    return connected && thk_ThunkData32.targetTable != NULL && thk_ThunkData32.targetTable[entry] != 0;
}

// Calls entry `entry` with one text argument (or none), translated to 16:16
// for the call and released after it.
static DWORD callEntry(int entry, const char *text, bool hasArgument)
{
    DWORD target = thk_ThunkData32.targetTable[entry];
    if (!hasArgument)
        return pelnwCall16(target, NULL, 0);
    DWORD segmented = text ? mapLS(text) : 0;
    DWORD result = pelnwCall16(target, &segmented, sizeof segmented);
    if (segmented)
        unMapLS(segmented);
    return result;
}

static const char *flatPointer(DWORD segmented)
{
    return segmented ? static_cast<const char *>(mapSL(segmented)) : NULL;
}
#else
// Only the 32-bit x86 Windows of the 16-bit family can connect; elsewhere the
// entry has already refused and these are never reached.
static bool callable(int)
{
    return false;
}
static DWORD callEntry(int, const char *, bool)
{
    return 0;
}
static const char *flatPointer(DWORD)
{
    return NULL;
}
#endif

extern "C" {

// Up to 8 entries of 48 bytes, each a NUL-terminated server name, in the
// 16-bit library's memory; null when there is none.
const char *WINAPI getNWServerTable32(void)
{
    return callable(ENTRY_SERVER_TABLE) ? flatPointer(callEntry(ENTRY_SERVER_TABLE, NULL, false)) : NULL;
}

// The server's position in the table, or -1 when it is not known. The 16-bit
// answer is widened with its sign.
long WINAPI getNWServerIndex32(const char *server)
{
    if (!callable(ENTRY_SERVER_INDEX))
        return -1;
    return (long)(short)LOWORD(callEntry(ENTRY_SERVER_INDEX, server, true));
}

// The Pegasus Mail new-mail path on the server; a null server asks for the
// default one.
const char *WINAPI getNWPmailFile32(const char *server)
{
    return callable(ENTRY_PMAIL_FILE) ? flatPointer(callEntry(ENTRY_PMAIL_FILE, server, true)) : NULL;
}

} // extern "C"

static bool resolveServices(void)
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (!kernel)
        return false;
    thunkConnect = (ThunkConnectProc)(void *)GetProcAddress(kernel, "ThunkConnect32");
    pelnwCallService = (void *)GetProcAddress(kernel, "QT_Thunk");
    mapLS = (MapLSProc)(void *)GetProcAddress(kernel, "MapLS");
    unMapLS = (UnMapLSProc)(void *)GetProcAddress(kernel, "UnMapLS");
    mapSL = (MapSLProc)(void *)GetProcAddress(kernel, "MapSL");
    return thunkConnect && pelnwCallService && mapLS && unMapLS && mapSL;
}

// Connects the thunk when a process loads the library and drops it when the
// process lets go; a refused connection makes the load fail.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        if (!resolveServices())
            return FALSE;
        connected =
            thunkConnect(&thk_ThunkData32, data16Name, module16Name, module32Name, instance, reason) != 0;
        return connected ? TRUE : FALSE;
    }
    if (reason == DLL_PROCESS_DETACH && connected) {
        thunkConnect(&thk_ThunkData32, data16Name, module16Name, module32Name, instance, reason);
        connected = false;
    }
    return TRUE;
}
