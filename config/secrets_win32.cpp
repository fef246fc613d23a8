// Protected secrets through the platform's data protection (DPAPI):
// CryptProtectData and CryptUnprotectData of CRYPT32.DLL, loaded by name on
// first use, bound to the Windows account, never asking the user anything.
#include <windows.h>
#include <wincrypt.h>

#include <string.h>

#include "base/entrypoint_win32.h"
#include "base/base64.h"
#include "config/config.h"

namespace
{

typedef BOOL(WINAPI *CryptProtectDataFn)(DATA_BLOB *, LPCWSTR, DATA_BLOB *, PVOID,
                                         CRYPTPROTECT_PROMPTSTRUCT *, DWORD, DATA_BLOB *);
typedef BOOL(WINAPI *CryptUnprotectDataFn)(DATA_BLOB *, LPWSTR *, DATA_BLOB *, PVOID,
                                           CRYPTPROTECT_PROMPTSTRUCT *, DWORD, DATA_BLOB *);

HMODULE crypt32;
CryptProtectDataFn cryptProtectData;
CryptUnprotectDataFn cryptUnprotectData;

// The program's own entropy, one per kind: a blob of another program, or the
// password's blob put into OAuthToken, does not open.
const char passwordEntropy[] = "Pelimbo\1PasswordProtected";
const char tokenEntropy[] = "Pelimbo\1OAuthToken";

DATA_BLOB entropyOf(SecretKind kind)
{
    const char *text = kind == SECRET_PASSWORD ? passwordEntropy : tokenEntropy;
    DATA_BLOB blob;
    blob.pbData = (BYTE *)text;
    blob.cbData = (DWORD)strlen(text);
    return blob;
}

bool load(void)
{
    if (cryptProtectData && cryptUnprotectData)
        return true;
    crypt32 = loadLibraryQuietly("CRYPT32.DLL");
    if (!crypt32) {
        configReport("Unable to load CRYPT32.DLL");
        return false;
    }
    cryptProtectData = (CryptProtectDataFn)(void *)GetProcAddress(crypt32, "CryptProtectData");
    cryptUnprotectData = (CryptUnprotectDataFn)(void *)GetProcAddress(crypt32, "CryptUnprotectData");
    if (!cryptProtectData || !cryptUnprotectData) {
        cryptProtectData = NULL;
        cryptUnprotectData = NULL;
        FreeLibrary(crypt32);
        crypt32 = NULL;
        configReport("Missing function in CRYPT32.DLL");
        return false;
    }
    return true;
}

} // namespace

int protectSecret(SecretKind kind, const char *plain, char *stored, size_t size)
{
    if (size)
        stored[0] = '\0';
    if (!load())
        return SECRET_UNAVAILABLE;
    DATA_BLOB in, out, entropy = entropyOf(kind);
    in.pbData = (BYTE *)plain;
    in.cbData = (DWORD)strlen(plain);
    memset(&out, 0, sizeof out);
    if (!cryptProtectData(&in, L"Pelimbo", &entropy, NULL, NULL, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return SECRET_FAILED;
    int encoded = base64Encode(out.pbData, out.cbData, stored, size, BASE64_STANDARD);
    LocalFree(out.pbData);
    return encoded ? SECRET_OK : SECRET_FAILED;
}

int unprotectSecret(SecretKind kind, const char *stored, char *plain, size_t size)
{
    if (size)
        plain[0] = '\0';
    static BYTE blob[PROTECTED_TEXT_SIZE];
    size_t length = 0;
    if (!base64Decode(stored, strlen(stored), blob, sizeof blob, &length) || length == 0)
        return SECRET_FAILED;
    if (!load())
        return SECRET_UNAVAILABLE;
    DATA_BLOB in, out, entropy = entropyOf(kind);
    in.pbData = blob;
    in.cbData = (DWORD)length;
    memset(&out, 0, sizeof out);
    if (!cryptUnprotectData(&in, NULL, &entropy, NULL, NULL, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return SECRET_FAILED;
    // A secret holds no NUL and fits its buffer, or it is not ours.
    bool usable = out.cbData < size && !memchr(out.pbData, 0, out.cbData);
    if (usable) {
        memcpy(plain, out.pbData, out.cbData);
        plain[out.cbData] = '\0';
    }
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return usable ? SECRET_OK : SECRET_FAILED;
}
